// The value-level built-in functions, driven by functions_cases.txt, their
// string limit and the clock.
#include "host/script/functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/dates.h"
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
  EXPECT_GT(test_support::RunValueCases(std::filesystem::path(__FILE__).parent_path() / "functions_cases.txt", Call),
            300);
}

TEST(Functions, StringLimitOfTheContext) {
  const Context small{10};
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
