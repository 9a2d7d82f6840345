// The value type, its operators and conversions, number text, dates and the
// string functions, driven by the case files beside this one; below them the
// properties a case line cannot state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "core/arith.h"
#include "core/date_text.h"
#include "core/dates.h"
#include "core/number_text.h"
#include "core/strings.h"
#include "core/utf.h"
#include "support/expect_error.h"
#include "support/value_cases.h"

namespace halvane {
namespace {

using Args = std::span<const Variant>;
using test_support::ErrorNumber;

Variant Opt(std::optional<int> c) { return c ? Variant(static_cast<std::int16_t>(*c)) : Variant::Null(); }
Variant OptDate(std::optional<double> d) { return d ? Variant::Date(*d) : Variant::Null(); }
std::int32_t L(const Variant& v) { return ToLong(v); }
std::string S(const Variant& v) { return ToString(v); }

// "count:a|b|c"; a fifth argument is the most parts allowed.
Variant SplitText(Args a) {
  const std::size_t most = a.size() > 4 ? static_cast<std::size_t>(L(a[4])) : std::size_t{1} << 24;
  const auto parts = strings::Split(S(a[0]), S(a[1]), L(a[2]), strings::CompareOf(L(a[3])), most);
  std::string out = std::to_string(parts.size()) + ":";
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "|" : "") + parts[i];
  return Variant(out);
}

const std::map<std::string_view, Variant (*)(Args)> kOps = {
    {"Multiply", [](Args a) { return Multiply(a[0], a[1]); }},
    {"Divide", [](Args a) { return Divide(a[0], a[1]); }},
    {"IntDivide", [](Args a) { return IntDivide(a[0], a[1]); }},
    {"Mod", [](Args a) { return Modulo(a[0], a[1]); }},
    {"Power", [](Args a) { return Power(a[0], a[1]); }},
    {"Plus", [](Args a) { return a.size() > 2 ? Plus(a[0], a[1], L(a[2])) : Plus(a[0], a[1]); }},
    {"Minus", [](Args a) { return Subtract(a[0], a[1]); }},
    {"Negate", [](Args a) { return Negate(a[0]); }},
    {"Compare", [](Args a) { return Opt(CompareValues(a[0], a[1])); }},
    {"VariantCompare", [](Args a) { return Opt(Compare(a[0], a[1])); }},
    {"Not", [](Args a) { return Not(a[0]); }},
    {"And", [](Args a) { return And(a[0], a[1]); }},
    {"Or", [](Args a) { return Or(a[0], a[1]); }},
    {"Xor", [](Args a) { return Xor(a[0], a[1]); }},
    {"Add", [](Args a) { return Add(a[0], a[1]); }},
    {"ToString", [](Args a) { return Variant(S(a[0])); }},
    {"ToLong", [](Args a) { return Variant(L(a[0])); }},
    {"ToInteger", [](Args a) { return Variant(ToInteger(a[0])); }},
    {"ToBoolean", [](Args a) { return Variant(ToBoolean(a[0])); }},
    {"TruthTest", [](Args a) { return Variant(TruthTest(a[0])); }},
    {"Concat", [](Args a) { return Concat(a[0], a[1]); }},
    {"IIf", [](Args a) { return IIf(a[0], a[1], a[2]); }},
    {"Chr", [](Args a) { return Chr(L(a[0])); }},
    {"Len", [](Args a) { return Len(a[0]); }},
    {"Mid", [](Args a) { return Mid(a[0], L(a[1]), L(a[2])); }},
    {"Hex", [](Args a) { return Hex(a[0]); }},
    {"ReadNumber",
     [](Args a) {
       const NumberReading r = ReadNumber(S(a[0]));
       return r.status == NumberReading::Status::Ok ? Variant(r.value) : Variant::Null();
     }},
    {"DoubleToText", [](Args a) { return Variant(DoubleToText(ToDouble(a[0]))); }},
    {"DoubleToTextOfZeroOver", [](Args a) { return Variant(DoubleToText(ToDouble(a[0]) / 0.0)); }},
    {"SingleToText", [](Args a) { return Variant(SingleToText(static_cast<float>(ToDouble(a[0])))); }},
    {"AddInteger", [](Args a) { return Variant(AddInteger(ToInteger(a[0]), ToInteger(a[1]))); }},
    {"SubInteger", [](Args a) { return Variant(SubInteger(ToInteger(a[0]), ToInteger(a[1]))); }},
    {"MulInteger", [](Args a) { return Variant(MulInteger(ToInteger(a[0]), ToInteger(a[1]))); }},
    {"AddLong", [](Args a) { return Variant(AddLong(L(a[0]), L(a[1]))); }},
    {"SubLong", [](Args a) { return Variant(SubLong(L(a[0]), L(a[1]))); }},
    {"MulLong", [](Args a) { return Variant(MulLong(L(a[0]), L(a[1]))); }},
    {"ReadDate", [](Args a) { return OptDate(ReadDate(S(a[0]))); }},
    {"DateSerial", [](Args a) { return OptDate(DateSerial(L(a[0]), L(a[1]), L(a[2]))); }},
    {"IsDate", [](Args a) { return Variant(IsDate(a[0])); }},
    {"FormatDate", [](Args a) { return Variant(FormatDate(a[0], S(a[1]))); }},
    {"Month", [](Args a) { return Month(a[0]); }},
    {"Day", [](Args a) { return Day(a[0]); }},
    {"Year", [](Args a) { return Year(a[0]); }},
    {"DateAdd", [](Args a) { return DateAdd(S(a[0]), L(a[1]), a[2]); }},
    {"DateSerialCarry", [](Args a) { return DateSerialCarry(L(a[0]), L(a[1]), L(a[2])); }},
    {"DateDiff", [](Args a) { return DateDiff(S(a[0]), a[1], a[2]); }},
    {"Round", [](Args a) { return Round(a[0], L(a[1])); }},
    {"FormatNumber", [](Args a) { return Variant(FormatNumber(a[0], L(a[1]))); }},
    {"Split", SplitText},
    {"Trim", [](Args a) { return Variant(strings::Trim(S(a[0]))); }},
    {"LTrim", [](Args a) { return Variant(strings::LTrim(S(a[0]))); }},
    {"RTrim", [](Args a) { return Variant(strings::RTrim(S(a[0]))); }},
    {"Space", [](Args a) { return Variant(strings::Space(L(a[0]), L(a[1]))); }},
    {"Repeat", [](Args a) { return Variant(strings::Repeat(L(a[0]), S(a[1]))); }},
    {"Oct", [](Args a) { return Variant(strings::Oct(L(a[0]), L(a[1]))); }},
    {"StrReverse", [](Args a) { return Variant(strings::StrReverse(S(a[0]))); }},
    {"Description", [](Args a) { return Variant(std::string(DescriptionOrDefault(L(a[0])))); }},
    {"StandardDescription", [](Args a) { return Variant(std::string(StandardDescription(L(a[0])))); }},
    {"IsAscii", [](Args a) { return Variant(utf::IsAscii(S(a[0]))); }},
    {"UCase", [](Args a) { return Variant(strings::UCase(S(a[0]))); }},
    {"LCase", [](Args a) { return Variant(strings::LCase(S(a[0]))); }},
    {"MidText", [](Args a) { return Variant(strings::Mid(S(a[0]), L(a[1]))); }},
    {"Left", [](Args a) { return Variant(strings::Left(S(a[0]), L(a[1]))); }},
    {"Right", [](Args a) { return Variant(strings::Right(S(a[0]), L(a[1]))); }},
    {"FirstCharacter", [](Args a) { return Variant(std::string(strings::FirstCharacter(S(a[0])))); }},
    {"AscW", [](Args a) { return Variant(strings::AscW(S(a[0]))); }},
    {"ToLowerUnit", [](Args a) { return Variant(std::int32_t{strings::ToLower(static_cast<char16_t>(L(a[0])))}); }},
    {"ToUpperUnit", [](Args a) { return Variant(std::int32_t{strings::ToUpper(static_cast<char16_t>(L(a[0])))}); }},
    {"CharacterStart",
     [](Args a) { return Variant(static_cast<std::int32_t>(utf::CharacterStart(S(a[0]), L(a[1])))); }},
    // "well-formed code point (hex) length" of the sequence at the start;
    // True reads an encoded surrogate as a character.
    {"DecodeAt",
     [](Args a) {
       const utf::Sequence q =
           utf::DecodeAt(S(a[0]), 0, ToBoolean(a[1]) ? utf::Surrogates::Accepted : utf::Surrogates::Refused);
       char out[40];
       std::snprintf(out, sizeof out, "%d %X %zu", q.well_formed, static_cast<unsigned>(q.code_point), q.length);
       return Variant(std::string(out));
     }},
};

TEST(Core, CaseFiles) {
  const std::filesystem::path dir = HALVANE_TEST_DIR;
  for (const char* file : {"operators_cases.txt", "values_cases.txt"}) {
    const int run = test_support::RunValueCases(dir / file, [](std::string_view name, Args args) {
      const auto it = kOps.find(name);
      if (it != kOps.end()) return it->second(args);
      ADD_FAILURE() << "unknown operation " << name;
      return Variant();
    });
    EXPECT_GT(run, 100) << file;
  }
}

TEST(Core, ErrorsCarryTheirSource) {
  test_support::ExpectStandardError([] { Divide(Variant(1), Variant()); }, 11, "");
  test_support::ExpectStandardError([] { WithSource("Halvane.Test", [] { return ToLong(Variant("x")); }); }, 13,
                                    "Halvane.Test");
  try {
    WithSource("Halvane.Test", []() -> int { throw Error(1, "Own", "Mine"); });
  } catch (const Error& err) {
    EXPECT_EQ(err.Source(), "Own");  // an error's own source is kept
  }
}

TEST(Core, KindsAndReferences) {
  const std::pair<Variant, int> tags[] = {{Variant(), 0},        {Variant::Null(), 1}, {Variant::Integer(5), 2},
                                          {Variant(5), 3},       {Variant(1.5f), 4},   {Variant(1.5), 5},
                                          {Variant::Date(1), 7}, {Variant("x"), 8},    {Variant::Missing(), 10},
                                          {Variant(true), 11}};
  for (const auto& [v, tag] : tags) EXPECT_EQ(v.Tag(), tag);
  EXPECT_EQ(Variant(true).RawInt(), -1);
  Variant target("abc");
  Variant ref = Variant::Ref(target);
  EXPECT_EQ(ref.Tag(), 16392);
  ref.Assign(Variant::Integer(7));
  EXPECT_EQ(target.Tag(), 2);
  EXPECT_EQ(ref.Tag(), 16386);
}

TEST(Core, DatesReadBackAndNow) {
  for (double d = kMinDate; d <= kMaxDate; d += 997) {
    const std::string s = FormatDate(Variant::Date(d), "mm/dd/yyyy");
    EXPECT_EQ(ReadDate(s), d) << s;
  }
  EXPECT_GT(Now().RawDouble(), *DateSerial(2020, 1, 1));
}

TEST(Core, CaseMappingPairsRoundTrip) {
  // Every letter that changes maps back, except the few whose mapping is
  // not one-to-one in the other direction.
  const char16_t one_way[] = {0xB5, 0xFF, 0x130, 0x131, 0x17F, 0x3C2, 0x1E9E};
  int pairs = 0;
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const auto u = static_cast<char16_t>(c);
    if (std::find(std::begin(one_way), std::end(one_way), u) != std::end(one_way)) continue;
    const char16_t up = strings::ToUpper(u), low = strings::ToLower(u);
    if (up != u) ++pairs;
    EXPECT_TRUE(up == u || (strings::ToLower(up) == u && strings::ToUpper(up) == up))
        << std::hex << static_cast<int>(c);
    EXPECT_TRUE(low == u || strings::ToUpper(low) == u) << std::hex << static_cast<int>(c);
    EXPECT_FALSE(up != u && low != u) << std::hex << static_cast<int>(c);
  }
  EXPECT_GT(pairs, 450);
  EXPECT_EQ(strings::ToUpper(0xFF), 0x178);
  EXPECT_EQ(strings::ToUpper(0xDF), 0xDF);  // sharp s has no one-unit capital
}

TEST(Core, TextOutsideTheBasicPlaneAndTheStringLimit) {
  const std::u16string odd = {u'a', 0xD800, u'b', 0xDC00, 0xD83D, 0xDE00, 0xDFFF};
  EXPECT_EQ(utf::ToUtf16(utf::ToUtf8(odd)), odd);
  EXPECT_EQ(utf::ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");
  EXPECT_EQ(strings::AscW(strings::ChrW(0xD800)), 0xD800);
  const std::string_view parts[] = {"a", "", "é"};
  EXPECT_EQ(strings::Join(parts, "--", 7), "a----é");  // exactly 7 bytes
  EXPECT_EQ(ErrorNumber([&] { strings::Join(parts, "--", 6); }), kErrOutOfStringSpace);
  const std::string many(1000, 'a'), big(100000, 'b');
  EXPECT_EQ(ErrorNumber([&] { strings::Replace(many, "a", big, 1, -1, strings::Compare::Binary, 1 << 20); }),
            kErrOutOfStringSpace);
  EXPECT_EQ(strings::Replace(many, "a", big, 1, 10, strings::Compare::Binary, 1 << 20).size(), 990u + 10 * big.size());
  // The limit is checked as the text grows, counting each kept character's
  // UTF-8 bytes: a result of exactly the limit passes, one byte more fails.
  const std::string mixed = "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xF0\x9F\x98\x80-x-";
  const std::string replaced = strings::Replace(mixed, "-", "==", 1, -1, strings::Compare::Binary, 17);
  EXPECT_EQ(replaced, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xF0\x9F\x98\x80==x==");
  EXPECT_EQ(ErrorNumber([&] { strings::Replace(mixed, "-", "==", 1, -1, strings::Compare::Binary, 16); }),
            kErrOutOfStringSpace);
  // Two unpaired units that the replacement brings together are one pair.
  const std::string high = utf::ToUtf8(u"\xD800"), low = utf::ToUtf8(u"\xDC00");
  EXPECT_EQ(strings::Replace(high + "-", "-", low, 1, -1, strings::Compare::Binary, 4), "\xF0\x90\x80\x80");
  EXPECT_EQ(ErrorNumber([&] { strings::Replace(high + "-", "-", low, 1, -1, strings::Compare::Binary, 3); }),
            kErrOutOfStringSpace);
  EXPECT_EQ(strings::Replace("ab" + high + "-x-" + low, "-", "", 3, 1, strings::Compare::Binary, 10),
            "ab" + high + "x-" + low);
}

// Replace and Split work on a text a million characters at a time, polling
// between pieces: a match across a piece's end, a character of two bytes or
// a surrogate pair cut there, and a search longer than the short-search
// path all come out as in a short text.
TEST(Core, ReplaceAndSplitOfLongTexts) {
  const std::size_t piece = std::size_t{1} << 20;
  int polls = 0;
  const strings::Poll poll{[](void* n) { ++*static_cast<int*>(n); }, &polls};
  const std::string pair = "\xF0\x9F\x98\x80";
  for (const std::string find : {"Xy", "XyXyXyXyXyXyXyXyX"}) {
    for (std::size_t before : {piece - 1, piece - 1 - find.size(), piece}) {
      const std::string head(before, 'a'), mid = "\xC3\xA9" + std::string(piece, 'b') + pair;
      const std::string s = head + find + mid + find + "c";
      for (const auto c : {strings::Compare::Binary, strings::Compare::Text}) {
        const std::string f = c == strings::Compare::Text ? strings::UCase(find) : find;
        EXPECT_EQ(strings::Replace(s, f, "-", 1, -1, c, kMaxStringBytes, poll), head + "-" + mid + "-c");
        EXPECT_EQ(strings::Split(s, f, -1, c, 5, poll), (std::vector<std::string>{head, mid, "c"}));
      }
    }
  }
  EXPECT_GT(polls, 24);
  const std::string split_pair = std::string(piece - 1, 'a') + pair;
  EXPECT_EQ(strings::Replace(split_pair + "-", "-", "+", 1, -1, strings::Compare::Binary, kMaxStringBytes, poll),
            split_pair + "+");
  EXPECT_EQ(strings::Split(split_pair + "-", "-", -1, strings::Compare::Binary, 5, poll),
            (std::vector<std::string>{split_pair, ""}));
  // A poll that throws stops the call.
  const strings::Poll stop{[](void*) { throw Error(kErrOutOfMemory, "", ""); }, nullptr};
  EXPECT_EQ(ErrorNumber([&] { strings::Replace(split_pair, "b", "c", 1, -1, strings::Compare::Binary, piece * 8, stop); }),
            kErrOutOfMemory);
  EXPECT_EQ(strings::Split("a-b", "-", -1, strings::Compare::Binary, 5, stop), (std::vector<std::string>{"a", "b"}));
}

// (Single sequences at their edges are lines of values_cases.txt.)
TEST(Core, Utf8SequencesAtTheirEdges) {
  EXPECT_EQ(utf::DecodeAt("a\xC3\xA9", 1).code_point, 0xE9u);
  // The transcoder: one U+FFFD for each byte of an ill-formed sequence.
  EXPECT_EQ(utf::ToUtf16("\x7F\xC2\x80\x80\xE2\x82"), u"\x7F\x80\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf::Utf16Length("\xF0\x9F\x98\x80\xF0\x9F\x98"), 5u);
  EXPECT_EQ(utf::ToUtf8(u"\x7F\x80\u07FF\u0800\uFFFF"), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");

  // Where a cut may fall: never inside a well-formed sequence.
  const std::string_view euro = "a\xE2\x82\xAC", face = "abcd\xF0\x9F\x98\x80";
  const std::size_t starts[] = {0, 1, 1, 1, 4};
  for (std::size_t i = 0; i <= euro.size(); ++i) EXPECT_EQ(utf::CharacterStart(euro, i), starts[i]) << i;
  for (std::size_t i = 4; i < face.size(); ++i) EXPECT_EQ(utf::CharacterStart(face, i), 4u) << i;
}

}  // namespace
}  // namespace halvane
