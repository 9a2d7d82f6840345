// String functions on UTF-8 text counted in UTF-16 units: Split, Join, the
// case mapping, surrogates and the string limit.
#include "core/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/utf.h"
#include "support/expect_error.h"

namespace halvane::strings {
namespace {

using test_support::ErrorNumber;

std::string Joined(const std::vector<std::string>& parts) {
  std::string out = std::to_string(parts.size()) + ":";
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "|" : "") + parts[i];
  return out;
}

TEST(Split, Forms) {
  struct Case {
    std::string_view s, delim;
    int count;
    Compare compare;
    std::string_view expected;
  } cases[] = {
      {"a b c", " ", -1, Compare::Binary, "3:a|b|c"},
      {"a,,b,", ",", -1, Compare::Binary, "4:a||b|"},
      {"a,b,c,d", ",", 2, Compare::Binary, "2:a|b,c,d"},
      {"a,b,c", ",", 1, Compare::Binary, "1:a,b,c"},
      {"a,b,c", ",", 0, Compare::Binary, "0:"},
      {"a,b", ",", 5, Compare::Binary, "2:a|b"},
      {"abc", "", -1, Compare::Binary, "1:abc"},
      {"", ",", -1, Compare::Binary, "0:"},
      {"", "", -1, Compare::Binary, "0:"},
      {"aXbxc", "x", -1, Compare::Binary, "2:aXb|c"},
      {"aXbxc", "x", -1, Compare::Text, "3:a|b|c"},
      {"é😀é😀", "😀", -1, Compare::Binary, "3:é|é|"},
      {"abc", "abcd", -1, Compare::Binary, "1:abc"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Joined(Split(c.s, c.delim, c.count, c.compare)), c.expected) << c.s << " / " << c.delim;
  EXPECT_EQ(ErrorNumber([] { Split("a", ",", -2); }), kErrInvalidCall);
}

TEST(Join, PartsAndLimit) {
  const std::string_view parts[] = {"a", "", "é"};
  EXPECT_EQ(Join(parts, ", "), "a, , é");
  EXPECT_EQ(Join(std::span<const std::string_view>(), ","), "");
  EXPECT_EQ(Join(parts, "--", 7), "a----é");  // exactly 7 bytes
  EXPECT_EQ(ErrorNumber([&] { Join(parts, "--", 6); }), kErrOutOfStringSpace);
}

TEST(CaseMapping, PairsRoundTrip) {
  // Every letter that changes maps back, except the few whose mapping is
  // not one-to-one in the other direction.
  const char16_t one_way[] = {0xB5, 0xFF, 0x130, 0x131, 0x17F, 0x3C2, 0x1E9E};
  int pairs = 0;
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const auto u = static_cast<char16_t>(c);
    if (std::find(std::begin(one_way), std::end(one_way), u) != std::end(one_way)) continue;
    const char16_t up = ToUpper(u);
    const char16_t low = ToLower(u);
    if (up != u) {
      ++pairs;
      EXPECT_EQ(ToLower(up), u) << std::hex << static_cast<int>(c);
      EXPECT_EQ(ToUpper(up), up) << std::hex << static_cast<int>(c);
    }
    if (low != u) {
      EXPECT_EQ(ToUpper(low), u) << std::hex << static_cast<int>(c);
    }
    EXPECT_FALSE(up != u && low != u) << std::hex << static_cast<int>(c);
  }
  // Latin-1, Latin Extended-A, Greek, Cyrillic, Armenian and more.
  EXPECT_GT(pairs, 450);
  EXPECT_EQ(ToUpper(0xFF), 0x178);
  EXPECT_EQ(ToLower(0x178), 0xFF);
  EXPECT_EQ(ToUpper(0xDF), 0xDF);  // sharp s has no one-unit capital
  EXPECT_EQ(ToUpper(0xF7), 0xF7);  // division sign
  EXPECT_EQ(ToLower(0xD7), 0xD7);  // multiplication sign
  EXPECT_EQ(ToUpper(0x138), 0x138);
}

TEST(Surrogates, ReversedAndMeasured) {
  const std::string lone = utf::ToUtf8(std::u16string{u'a', static_cast<char16_t>(0xD800)});
  EXPECT_EQ(StrReverse(lone),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(StrReverse("x😀y"), "y\xEF\xBF\xBD\xEF\xBF\xBDx");
  EXPECT_EQ(AscW(ChrW(0xD800)), 0xD800);
  EXPECT_EQ(utf::Utf16Length(ChrW(0xDFFF)), 1u);
  EXPECT_EQ(FirstCharacter("😀x"), "😀");
  EXPECT_EQ(FirstCharacter("\xFFz"), "\xFF");
  EXPECT_EQ(Mid("a😀b", 3), utf::ToUtf8(std::u16string{static_cast<char16_t>(0xDE00), u'b'}));
}

TEST(Trim, OnlyBlanks) {
  EXPECT_EQ(Trim("\t a \t"), "\t a \t");
  EXPECT_EQ(Trim("\xC2\xA0"
                 "a "),
            "\xC2\xA0"
            "a");  // U+00A0 stays
  EXPECT_EQ(LTrim("   "), "");
  EXPECT_EQ(RTrim(""), "");
}

TEST(StringLimit, BigResultsFailBeforeTheyAreBuilt) {
  const std::string many(1000, 'a');
  const std::string big(100000, 'b');
  EXPECT_EQ(ErrorNumber([&] { Replace(many, "a", big, 1, -1, Compare::Binary, 1 << 20); }), kErrOutOfStringSpace);
  EXPECT_EQ(Replace(many, "a", big, 1, 10, Compare::Binary, 1 << 20).size(), 990u + 10 * big.size());
  EXPECT_EQ(ErrorNumber([] { Repeat(2000000000, "é"); }), kErrOutOfStringSpace);
  EXPECT_EQ(Space(5, 5), "     ");
  EXPECT_EQ(ErrorNumber([] { Space(6, 5); }), kErrOutOfStringSpace);
}

TEST(Oct, Widths) {
  EXPECT_EQ(Oct(511, 32), "777");
  EXPECT_EQ(Oct(-8, 16), "177770");
  EXPECT_EQ(Oct(-2147483647 - 1, 32), "20000000000");
}

}  // namespace
}  // namespace halvane::strings
