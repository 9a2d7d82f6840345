// A runner for files of component calls made through the automation layer,
// as a late-bound page makes them; their form is described in
// tests/components/data/README.md.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "server/automation.h"
#include "support/data_files.h"
#include "support/value_cases.h"

namespace halvane::test_support {

// The result of a call as a case file writes it inline.
inline std::string DescribeCall(automation::HResult hr, const Variant& v, const automation::ExceptionInfo& e,
                                std::uint32_t arg_err) {
  char buf[48];
  if (hr == automation::kDispEException)
    return "error " + std::to_string(e.status - 0x800A0000u) + " " + e.source + ": " + e.description;
  if (hr != automation::kOk) {
    std::snprintf(buf, sizeof buf, "status %08X", static_cast<unsigned>(hr));
    return arg_err != 0xFFFFFFFFu ? buf + std::string(" arg ") + std::to_string(arg_err) : buf;
  }
  return DescribeCaseResult([&] { return v; });
}

// Position of " -> " outside quotes, or npos.
inline std::size_t FindArrow(std::string_view s) {
  bool quoted = false;
  for (std::size_t i = 0; i + 4 <= s.size(); ++i) {
    if (s[i] == '"') quoted = !quoted;
    if (!quoted && s.substr(i, 4) == " -> ") return i;
  }
  return std::string_view::npos;
}

inline void RunCallCases(const std::filesystem::path& file) {
  ASSERT_TRUE(std::ifstream(file).good()) << "cannot read " << file;
  const std::string text = ReadFile(file);
  std::map<std::string, automation::ObjectPtr, std::less<>> objects;
  std::string regen;
  std::size_t pos = 0;
  while (pos < text.size()) {
    // The call line, then its block: up to the LF before the next call.
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    std::size_t next = text.find("\n> ", eol);
    next = next == std::string::npos ? text.size() : next + 1;
    const std::string block = eol + 1 < next ? text.substr(eol + 1, next - eol - 2) : "";
    pos = next;
    SCOPED_TRACE(file.filename().string() + ": " + line);
    if (line.rfind("> ", 0) != 0) {
      ADD_FAILURE() << "not a call line";
      break;
    }
    std::string call = line.substr(2);
    if (call.rfind("#", 0) == 0) {
      regen += line + "\n";
      continue;
    }
    const std::size_t arrow = FindArrow(call);
    const bool inline_expect = arrow != std::string::npos;
    const std::string expected = inline_expect ? call.substr(arrow + 4) : block;
    call = call.substr(0, arrow);
    int times = 1;
    const bool repeat = call[0] == '*';
    if (repeat) {
      times = std::atoi(call.c_str() + 1);
      call = call.substr(call.find(' ') + 1);
    }
    if (const std::size_t is_new = call.find(" = new "); is_new != std::string::npos) {
      automation::ObjectPtr& o = objects[call.substr(0, is_new)];
      ASSERT_EQ(automation::CreateObject("Halvane." + call.substr(is_new + 7), o), automation::kOk);
      regen += line + "\n";
      continue;
    }
    // obj.Member(args) | obj.Member = value | obj.Member
    const std::size_t dot = call.find('.');
    const std::size_t open = call.find('(');
    const std::size_t let = call.find(" = ");
    auto kind = automation::InvokeKind::PropertyGet;
    std::size_t name_end = call.size();
    std::vector<Variant> args;
    if (open != std::string::npos && (let == std::string::npos || open < let)) {
      kind = automation::InvokeKind::Method;
      name_end = open;
      for (std::string_view a : SplitCaseArgs(std::string_view(call).substr(open + 1, call.rfind(')') - open - 1)))
        args.push_back(ParseCaseValue(a));
    } else if (let != std::string::npos) {
      kind = automation::InvokeKind::PropertyLet;
      name_end = let;
      args.push_back(ParseCaseValue(std::string_view(call).substr(let + 3)));
    }
    const auto found = objects.find(std::string_view(call).substr(0, dot));
    ASSERT_NE(found, objects.end()) << "no such object";
    automation::Object& o = *found->second;
    std::int32_t id = 0;
    ASSERT_EQ(o.GetIDOfName(call.substr(dot + 1, name_end - dot - 1), id), automation::kOk);
    std::string actual;
    bool is_text = false;
    for (int i = 0; i < times; ++i) {
      std::vector<Variant> copy = args;
      Variant result;
      automation::ExceptionInfo e;
      std::uint32_t arg_err = 0xFFFFFFFFu;
      const automation::HResult hr = o.Invoke(id, kind, copy, &result, &e, &arg_err);
      is_text = hr == automation::kOk && result.Type() == VarType::String && !inline_expect;
      actual = is_text ? result.RawString() : DescribeCall(hr, result, e, arg_err);
      if (i + 1 < times || (repeat && !inline_expect)) {
        ASSERT_EQ(hr, automation::kOk) << "call " << i + 1 << ": " << actual;
        actual = "";
      }
    }
    if (!inline_expect && !is_text && actual == "Empty") actual = "";
    EXPECT_EQ(actual, expected);
    regen += inline_expect ? "> " + line.substr(2, FindArrow(line.substr(2))) + " -> " + actual + "\n"
                           : line + "\n" + (actual.empty() ? "" : actual + "\n");
  }
  if (std::getenv("HALVANE_REGEN_CASES") != nullptr) std::ofstream(file, std::ios::binary) << regen;
}

}  // namespace halvane::test_support
