// The Variant operators, driven by operators_cases.txt.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/arith.h"
#include "support/expect_error.h"
#include "support/value_cases.h"

namespace halvane {
namespace {

using Args = std::span<const Variant>;

Variant CompareResult(Args a) {
  const std::optional<int> c = CompareValues(a[0], a[1]);
  return c ? Variant(static_cast<std::int16_t>(*c)) : Variant::Null();
}

TEST(Operators, CaseFile) {
  const std::map<std::string_view, Variant (*)(Args)> ops = {
      {"Multiply", [](Args a) { return Multiply(a[0], a[1]); }},
      {"Divide", [](Args a) { return Divide(a[0], a[1]); }},
      {"IntDivide", [](Args a) { return IntDivide(a[0], a[1]); }},
      {"Mod", [](Args a) { return Modulo(a[0], a[1]); }},
      {"Power", [](Args a) { return Power(a[0], a[1]); }},
      {"Plus", [](Args a) { return Plus(a[0], a[1]); }},
      {"Minus", [](Args a) { return Subtract(a[0], a[1]); }},
      {"Negate", [](Args a) { return Negate(a[0]); }},
      {"Compare", CompareResult},
      {"Not", [](Args a) { return Not(a[0]); }},
      {"And", [](Args a) { return And(a[0], a[1]); }},
      {"Or", [](Args a) { return Or(a[0], a[1]); }},
      {"Xor", [](Args a) { return Xor(a[0], a[1]); }},
  };
  const int run = test_support::RunValueCases(std::filesystem::path(__FILE__).parent_path() / "operators_cases.txt",
                                              [&](std::string_view name, Args args) {
                                                auto it = ops.find(name);
                                                if (it == ops.end()) {
                                                  ADD_FAILURE() << "unknown operator " << name;
                                                  return Variant();
                                                }
                                                return it->second(args);
                                              });
  EXPECT_GT(run, 100);
}

TEST(Operators, StringPlusHonoursTheLimit) {
  EXPECT_EQ(ToString(Plus(Variant("abc"), Variant("de"), 5)), "abcde");
  EXPECT_EQ(test_support::ErrorNumber([] { Plus(Variant("abc"), Variant("def"), 5); }), kErrOutOfStringSpace);
  // Only joined Strings count: a number beside a long String is arithmetic.
  EXPECT_EQ(ToString(Plus(Variant("123456"), Variant(std::int16_t{1}), 5)), "123457");
}

TEST(ErrorTable, NumbersAndDescriptions) {
  const std::pair<int, std::string_view> table[] = {
      {kErrInvalidCall, "Invalid procedure call or argument"},
      {kErrOverflow, "Overflow"},
      {kErrSubscript, "Subscript out of range"},
      {kErrDivisionByZero, "Division by zero"},
      {kErrTypeMismatch, "Type mismatch"},
      {kErrOutOfStringSpace, "Out of string space"},
      {kErrOutOfStack, "Out of stack space"},
      {kErrNotDefined, "Sub or Function not defined"},
      {kErrInvalidUseOfNull, "Invalid use of Null"},
      {kErrObjectRequired, "Object required"},
      {kErrCannotCreate, "Cannot create object"},
      {kErrNoMember, "Object has no such property or method"},
      {kErrArgCount, "Wrong number of arguments"},
      {kErrUndefinedVariable, "Variable is undefined"},
  };
  const int numbers[] = {5, 6, 9, 11, 13, 14, 28, 35, 94, 424, 429, 438, 450, 500};
  for (std::size_t i = 0; i < std::size(table); ++i) {
    EXPECT_EQ(table[i].first, numbers[i]);
    EXPECT_EQ(StandardDescription(table[i].first), table[i].second);
    EXPECT_EQ(DescriptionOrDefault(table[i].first), table[i].second);
  }
  EXPECT_EQ(StandardDescription(1000), "");
  EXPECT_EQ(DescriptionOrDefault(1000), "Application-defined or object-defined error");
  test_support::ExpectStandardError([] { Divide(Variant(1), Variant()); }, 11, "");
}

}  // namespace
}  // namespace halvane
