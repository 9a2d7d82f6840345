// The value-level built-in functions, driven by functions_cases.txt, their
// string limit and the clock.
#include "host/script/functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/strings.h"
#include "support/expect_error.h"
#include "support/value_cases.h"

namespace halvane::script::functions {
namespace {

// Calls the named function as the interpreter would, after checking that it
// takes that many arguments.
Variant Call(std::string_view name, std::span<const Variant> args) {
  const Function* f = Find(name);
  const int n = static_cast<int>(args.size());
  if (f != nullptr && n >= f->min_args && n <= f->max_args) return f->call(args, Context{});
  ADD_FAILURE() << "no function " << name << " of " << n << " arguments";
  return Variant();
}

TEST(Functions, CaseFile) {
  EXPECT_GT(test_support::RunValueCases(std::filesystem::path(HALVANE_TEST_DIR) / "functions_cases.txt", Call), 300);
}

TEST(Functions, StringLimitOfTheContext) {
  const Context small{10, {}};
  auto call = [&](std::string_view name, std::vector<Variant> args) {
    return test_support::ErrorNumber([&] { Find(name)->call(args, small); });
  };
  EXPECT_EQ(call("Space", {Variant(10)}), 0);
  EXPECT_EQ(call("Space", {Variant(11)}), kErrOutOfStringSpace);
  EXPECT_EQ(call("String", {Variant(5), Variant("é")}), 0);  // 10 bytes
  EXPECT_EQ(call("String", {Variant(6), Variant("é")}), kErrOutOfStringSpace);
  EXPECT_EQ(call("Replace", {Variant("aaaaa"), Variant("a"), Variant("bb")}), 0);
  EXPECT_EQ(call("Replace", {Variant("aaaaaa"), Variant("a"), Variant("bb")}), kErrOutOfStringSpace);
  // The default is 64 MiB: a huge request fails without being built.
  EXPECT_EQ(
      test_support::ErrorNumber([] { Find("Space")->call(std::vector<Variant>{Variant(2000000000)}, Context{}); }),
      kErrOutOfStringSpace);
}

// Texts of several megabytes are worked on in slices: the results are those
// of the whole text, also where a slice ends beside a character of several
// bytes, a surrogate pair in its two three-byte forms or a byte that is not
// UTF-8, and where a match crosses the end of a slice.
TEST(Functions, LongTextsGiveTheResultsOfTheWholeText) {
  const std::size_t slice = std::size_t{1} << 20;
  std::vector<std::string> texts;
  for (std::size_t shift : {0, 3}) {
    std::string t(slice - shift, 'a');
    t += "\xED\xA0\xBD\xED\xB8\x80" "\xC3\xA9xY\xF0\x9F\x98\x80\xE2\x82" "Ab";
    t += std::string(slice + 7, 'b') + "\xC3\x89X" + std::string(slice / 2, 'c') + "xy";
    texts.push_back(std::move(t));
  }
  std::string wide;
  for (std::size_t i = 0; i < slice; ++i) wide += "\xC3\xA9";
  texts.push_back(wide + "Xy" + wide);
  const Context ctx;
  auto call = [&](std::string_view name, std::vector<Variant> args) { return Find(name)->call(args, ctx); };
  for (const std::string& t : texts) {
    const Variant v(t);
    EXPECT_EQ(call("UCase", {v}).RawString(), strings::UCase(t));
    EXPECT_EQ(call("LCase", {v}).RawString(), strings::LCase(t));
    EXPECT_EQ(call("StrReverse", {v}).RawString(), strings::StrReverse(t));
    for (const char* find : {"x", "xy", "\xC3\xA9X", "aaaa\xED\xA0\xBD", "b\xC3\x89", "zzz", ""}) {
      for (int compare : {0, 1}) {
        const auto c = static_cast<strings::Compare>(compare);
        for (std::int32_t start : {1, static_cast<std::int32_t>(slice + 3), static_cast<std::int32_t>(3 * slice)}) {
          EXPECT_EQ(call("InStr", {Variant(start), v, Variant(find), Variant(compare)}).RawInt(),
                    strings::InStr(start, t, find, c))
              << find << " from " << start;
        }
      }
      EXPECT_EQ(call("InStrRev", {v, Variant(find)}).RawInt(), strings::InStrRev(t, find)) << find;
    }
  }
  EXPECT_EQ(call("Space", {Variant(3000001)}).RawString(), std::string(3000001, ' '));
  EXPECT_EQ(call("String", {Variant(2000000), Variant("\xC3\xA9t")}).RawString(), strings::Repeat(2000000, "\xC3\xA9"));
  EXPECT_EQ(call("String", {Variant(2000000), Variant(233)}).RawString(), strings::Repeat(2000000, "\xC3\xA9"));
}

TEST(Functions, CurrentDateAndTime) {
  const Variant now = Find("Now")->call({}, Context{});
  const Variant today = Find("Date")->call({}, Context{});
  const Variant time = Find("Time")->call({}, Context{});
  for (const Variant* v : {&now, &today, &time}) ASSERT_EQ(v->Type(), VarType::Date);
  EXPECT_EQ(today.RawDouble(), std::floor(today.RawDouble()));
  EXPECT_GE(time.RawDouble(), 0.0);
  EXPECT_LT(time.RawDouble(), 1.0);
  // The three readings may straddle midnight; they agree otherwise.
  if (std::floor(now.RawDouble()) == today.RawDouble()) {
    EXPECT_NEAR(now.RawDouble() - today.RawDouble(), time.RawDouble(), 2.0 / 86400);
  }
  EXPECT_GT(today.RawDouble(), 46000.0);
  // Time writes with its date, day 0.
  EXPECT_EQ(ToString(time).substr(0, 11), "12/30/1899 ");
}

}  // namespace
}  // namespace halvane::script::functions
