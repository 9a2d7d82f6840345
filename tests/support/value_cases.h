// A runner for files of value cases, one a line:
//
//   Name(arg, arg, ...) -> expected
//
// Arguments: a number (whole numbers are Integer in -32768..32767, else
// Long; with a point or exponent Double), I:n L:n S:x D:x for an explicit
// Integer, Long, Single or Double, T:x for a Date of day number x, "text" ("" for a quote), #date text#
// (read as a date), True, False, Null, Empty, Error (an omitted argument).
// Expected: "Kind text" as the kind's name and its Variant to String text
// (Strings quoted), Null, Empty, or "error N".  \xHH anywhere in a line
// stands for that byte, \t for a tab.  Lines starting with # and blank
// lines are skipped.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/date_text.h"
#include "core/variant.h"
#include "support/data_files.h"

namespace halvane::test_support {

inline Variant ParseCaseValue(std::string_view t) {
  auto number = [](std::string_view s) {
    double d = 0;
    std::from_chars(s.data(), s.data() + s.size(), d);
    return d;
  };
  if (t == "Null") return Variant::Null();
  if (t == "Empty") return Variant();
  if (t == "Error") return Variant::Missing();
  if (t == "True") return Variant(true);
  if (t == "False") return Variant(false);
  if (t.size() >= 2 && t.front() == '"') {
    std::string s;
    for (std::size_t i = 1; i + 1 < t.size(); ++i) {
      s.push_back(t[i]);
      if (t[i] == '"') ++i;
    }
    return Variant(std::move(s));
  }
  if (t.size() >= 2 && t.front() == '#') {
    auto d = ReadDate(t.substr(1, t.size() - 2));
    if (!d) ADD_FAILURE() << "bad date in case file: " << t;
    return Variant::Date(d.value_or(0));
  }
  if (t.size() > 2 && t[1] == ':') {
    const double d = number(t.substr(2));
    switch (t[0]) {
      case 'I': return Variant(static_cast<std::int16_t>(d));
      case 'L': return Variant(static_cast<std::int32_t>(d));
      case 'S': return Variant(static_cast<float>(d));
      case 'T': return Variant::Date(d);
      default: return Variant(d);
    }
  }
  const double d = number(t);
  if (t.find_first_of(".Ee") != std::string_view::npos) return Variant(d);
  if (d >= -32768 && d <= 32767) return Variant(static_cast<std::int16_t>(d));
  if (d >= -2147483648.0 && d <= 2147483647.0) return Variant(static_cast<std::int32_t>(d));
  return Variant(d);
}

// What a result or an error looks like in a case file.
inline std::string DescribeCaseResult(const std::function<Variant()>& f) {
  try {
    const Variant v = f();
    switch (v.Type()) {
      case VarType::Null: return "Null";
      case VarType::Empty: return "Empty";
      case VarType::String: return "String \"" + v.RawString() + "\"";
      default: return std::string(TypeName(v)) + " " + ToString(v);
    }
  } catch (const Error& e) {
    return "error " + std::to_string(e.Number());
  }
}

// Splits "a, "b, c", d" at the commas outside quotes and date marks.
inline std::vector<std::string_view> SplitCaseArgs(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  bool quoted = false, dated = false;
  auto push = [&](std::size_t end) {
    std::string_view a = s.substr(start, end - start);
    while (!a.empty() && a.front() == ' ') a.remove_prefix(1);
    while (!a.empty() && a.back() == ' ') a.remove_suffix(1);
    if (!a.empty()) out.push_back(a);
  };
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"' && !dated)
      quoted = !quoted;
    else if (s[i] == '#' && !quoted)
      dated = !dated;
    else if (s[i] == ',' && !quoted && !dated) {
      push(i);
      start = i + 1;
    }
  }
  push(s.size());
  return out;
}

using CaseCall = std::function<Variant(std::string_view name, std::span<const Variant> args)>;

// Runs every case of `file` (read as data_files.h reads a table: \t for a
// tab); returns the number run.
inline int RunValueCases(const std::filesystem::path& file, const CaseCall& call) {
  int run = 0;
  for (const auto& row : ReadRows(file)) {
    const std::string& line = row[0];
    const std::size_t arrow = line.rfind(" -> ");
    const std::size_t open = line.find('(');
    const std::size_t close = line.rfind(')', arrow);
    if (row.size() > 1 || arrow == std::string::npos || open == std::string::npos || close == std::string::npos) {
      ADD_FAILURE() << file.filename() << ": malformed case: " << line;
      continue;
    }
    const std::string name = line.substr(0, open);
    std::vector<Variant> args;
    for (std::string_view a : SplitCaseArgs(std::string_view(line).substr(open + 1, close - open - 1)))
      args.push_back(ParseCaseValue(a));
    const std::string expected = line.substr(arrow + 4);
    const std::string actual = DescribeCaseResult([&] { return call(name, args); });
    EXPECT_EQ(actual, expected) << file.filename() << ": " << line.substr(0, arrow);
    ++run;
  }
  return run;
}

}  // namespace halvane::test_support
