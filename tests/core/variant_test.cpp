#include "core/variant.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/date_text.h"
#include "core/dates.h"
#include "core/number_text.h"
#include "core/utf.h"
#include "support/expect_error.h"

namespace halvane {
namespace {

double D(int y, int m, int d) { return *DateSerial(y, m, d); }

TEST(VariantKinds, TagsAndReferences) {
  EXPECT_EQ(Variant().Tag(), 0);
  EXPECT_EQ(Variant::Null().Tag(), 1);
  EXPECT_EQ(Variant(std::int16_t{5}).Tag(), 2);
  EXPECT_EQ(Variant(5).Tag(), 3);
  EXPECT_EQ(Variant(1.5f).Tag(), 4);
  EXPECT_EQ(Variant(1.5).Tag(), 5);
  EXPECT_EQ(Variant::Date(1).Tag(), 7);
  EXPECT_EQ(Variant("x").Tag(), 8);
  EXPECT_EQ(Variant::Missing().Tag(), 10);
  EXPECT_EQ(Variant(true).Tag(), 11);
  EXPECT_EQ(Variant(true).RawInt(), -1);

  Variant target("abc");
  Variant ref = Variant::Ref(target);
  EXPECT_EQ(ref.Tag(), 16392);
  EXPECT_EQ(ToString(ref), "abc");
  ref.Assign(Variant(std::int16_t{7}));
  EXPECT_EQ(target.Tag(), 2);
  EXPECT_EQ(ref.Tag(), 16386);
  EXPECT_TRUE(Variant::Missing().IsMissing());
  EXPECT_FALSE(IsNull(Variant(std::int16_t{0})));
  EXPECT_TRUE(IsNull(Variant::Null()));
}

TEST(VariantToString, EveryKind) {
  EXPECT_EQ(ToString(Variant()), "");
  EXPECT_EQ(ToString(Variant(std::int16_t{-32768})), "-32768");
  EXPECT_EQ(ToString(Variant(std::int16_t{0})), "0");
  EXPECT_EQ(ToString(Variant(2147483647)), "2147483647");
  EXPECT_EQ(ToString(Variant(true)), "True");
  EXPECT_EQ(ToString(Variant(false)), "False");
  EXPECT_EQ(ToString(Variant::Date(D(2026, 12, 4))), "12/4/2026");
  EXPECT_EQ(ToString(Variant::Date(D(2004, 3, 5) + 14.5 / 24)), "3/5/2004 2:30:00 PM");
  EXPECT_EQ(ToString(Variant::Date(D(2004, 3, 5) + 0.25)), "3/5/2004 6:00:00 AM");
  EXPECT_EQ(ToString(Variant::Date(0.5)), "12/30/1899 12:00:00 PM");
  EXPECT_EQ(ToString(Variant::Date(0.0)), "12/30/1899");
  EXPECT_EQ(ToString(Variant::Date(-1.25)), "12/29/1899 6:00:00 AM");
  EXPECT_EQ(test_support::ErrorNumber([] { ToString(Variant::Null()); }), 94);
  EXPECT_EQ(test_support::ErrorNumber([] { ToString(Variant::Missing()); }), 13);
}

TEST(VariantToString, FloatingPointForms) {
  EXPECT_EQ(DoubleToText(2.5), "2.5");
  EXPECT_EQ(DoubleToText(-0.5), "-0.5");
  EXPECT_EQ(DoubleToText(0.1 + 0.2), "0.3");
  EXPECT_EQ(DoubleToText(239), "239");
  EXPECT_EQ(DoubleToText(1e15), "1E+15");
  EXPECT_EQ(DoubleToText(999999999999999.0), "999999999999999");
  EXPECT_EQ(DoubleToText(123456789012345678.0), "1.23456789012346E+17");
  EXPECT_EQ(DoubleToText(0.00001), "1E-05");
  EXPECT_EQ(DoubleToText(0.0001), "0.0001");
  EXPECT_EQ(DoubleToText(-1.5e-7), "-1.5E-07");
  EXPECT_EQ(DoubleToText(1e100), "1E+100");
  EXPECT_EQ(DoubleToText(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(DoubleToText(-0.0), "0");
  EXPECT_EQ(SingleToText(0.1f), "0.1");
  EXPECT_EQ(SingleToText(1.0f / 3), "0.3333333");
  EXPECT_EQ(SingleToText(3.14159265f), "3.141593");
  EXPECT_EQ(SingleToText(1e-5f), "1E-05");
}

TEST(VariantToLong, RoundingAndErrors) {
  EXPECT_EQ(ToLong(Variant(2.5)), 2);
  EXPECT_EQ(ToLong(Variant(3.5)), 4);
  EXPECT_EQ(ToLong(Variant(-2.5)), -2);
  EXPECT_EQ(ToLong(Variant(-3.5)), -4);
  EXPECT_EQ(ToLong(Variant(2.51)), 3);
  EXPECT_EQ(ToLong(Variant("12")), 12);
  EXPECT_EQ(ToLong(Variant("&H10")), 16);
  EXPECT_EQ(ToLong(Variant("&hff")), 255);
  EXPECT_EQ(ToLong(Variant(" 1,234 ")), 1234);
  EXPECT_EQ(ToLong(Variant("-1.5E+2")), -150);
  EXPECT_EQ(ToLong(Variant()), 0);
  EXPECT_EQ(ToLong(Variant(true)), -1);
  EXPECT_EQ(ToLong(Variant::Date(D(2004, 3, 5) + 0.75)), 38052);
  EXPECT_EQ(test_support::ErrorNumber([] { ToLong(Variant("12/4/2026")); }), 13);
  EXPECT_EQ(test_support::ErrorNumber([] { ToLong(Variant::Null()); }), 94);
  EXPECT_EQ(test_support::ErrorNumber([] { ToLong(Variant(2147483648.0)); }), 6);
  EXPECT_EQ(test_support::ErrorNumber([] { ToLong(Variant("2147483648")); }), 6);
  EXPECT_EQ(test_support::ErrorNumber([] { ToLong(Variant("1E400")); }), 6);
  EXPECT_EQ(test_support::ErrorNumber([] { ToLong(Variant(std::nan(""))); }), 6);
  EXPECT_EQ(test_support::ErrorNumber([] { ToLong(Variant::Missing()); }), 13);
  EXPECT_EQ(ToLong(Variant(-2147483648.0)), std::numeric_limits<std::int32_t>::min());
}

TEST(VariantToInteger, RangeAndRounding) {
  EXPECT_EQ(ToInteger(Variant(32767)), 32767);
  EXPECT_EQ(ToInteger(Variant(-32768.4)), -32768);
  EXPECT_EQ(ToInteger(Variant(0.5)), 0);
  EXPECT_EQ(ToInteger(Variant(1.5)), 2);
  EXPECT_EQ(test_support::ErrorNumber([] { ToInteger(Variant(32768)); }), 6);
  EXPECT_EQ(test_support::ErrorNumber([] { ToInteger(Variant(32767.5)); }), 6);
  EXPECT_EQ(test_support::ErrorNumber([] { ToInteger(Variant("abc")); }), 13);
}

TEST(ReadNumberText, AcceptedAndRejectedForms) {
  auto ok = [](const char* s) { return ReadNumber(s).status == NumberReading::Status::Ok; };
  EXPECT_TRUE(ok("  +12  "));
  EXPECT_TRUE(ok(".5"));
  EXPECT_TRUE(ok("1."));
  EXPECT_TRUE(ok("1,000,000.25"));
  EXPECT_TRUE(ok("1e-3"));
  EXPECT_FALSE(ok(""));
  EXPECT_FALSE(ok("   "));
  EXPECT_FALSE(ok("&H"));
  EXPECT_FALSE(ok("#e0"));
  EXPECT_FALSE(ok("&Hxy"));
  EXPECT_FALSE(ok(",5"));
  EXPECT_FALSE(ok("1e"));
  EXPECT_FALSE(ok("inf"));
  EXPECT_FALSE(ok("nan"));
  EXPECT_FALSE(ok("0x10"));
  EXPECT_FALSE(ok("12/4/2026"));
  EXPECT_FALSE(ok("1 2"));
  EXPECT_DOUBLE_EQ(ReadNumber("&He0").value, 224);
  EXPECT_DOUBLE_EQ(ReadNumber("&HFFFF").value, 65535);
  EXPECT_DOUBLE_EQ(ReadNumber("1E-400").value, 0);
}

TEST(VariantToBoolean, TextsNumbersAndErrors) {
  EXPECT_FALSE(ToBoolean(Variant("false")));
  EXPECT_TRUE(ToBoolean(Variant("TRUE")));
  EXPECT_FALSE(ToBoolean(Variant("0")));
  EXPECT_TRUE(ToBoolean(Variant("-0.5")));
  EXPECT_TRUE(ToBoolean(Variant(7)));
  EXPECT_FALSE(ToBoolean(Variant()));
  EXPECT_EQ(test_support::ErrorNumber([] { ToBoolean(Variant("yes")); }), 13);
  EXPECT_EQ(test_support::ErrorNumber([] { ToBoolean(Variant::Null()); }), 94);
  EXPECT_FALSE(TruthTest(Variant::Null()));
  EXPECT_TRUE(TruthTest(Variant(std::int16_t{2})));
}

TEST(VariantConcat, NullAndKinds) {
  EXPECT_EQ(ToString(Concat(Variant("a"), Variant::Null())), "a");
  EXPECT_TRUE(Concat(Variant::Null(), Variant::Null()).IsNullValue());
  EXPECT_EQ(ToString(Concat(Variant("a"), Variant(true))), "aTrue");
  EXPECT_EQ(ToString(Concat(Variant("a"), Variant(2.5))), "a2.5");
  EXPECT_EQ(ToString(Concat(Variant(), Variant(std::int16_t{3}))), "3");
  EXPECT_EQ(test_support::ErrorNumber([] { Concat(Variant("a"), Variant::Missing()); }), 13);
  EXPECT_EQ(ToString(IIf(Variant(std::int16_t{5}), Variant("true"), Variant("false"))), "true");
  EXPECT_EQ(ToString(IIf(Variant(false), Variant("true"), Variant("false"))), "false");
  EXPECT_EQ(ToString(Chr(47)), "/");
  EXPECT_EQ(ToString(Chr(233)), "\xC3\xA9");
  EXPECT_EQ(test_support::ErrorNumber([] { Chr(256); }), 5);
}

TEST(CheckedArithmetic, SixteenAndThirtyTwoBit) {
  EXPECT_EQ(test_support::ErrorNumber([] { AddInteger(32767, 1); }), 6);
  EXPECT_EQ(test_support::ErrorNumber([] { SubInteger(-32768, 1); }), 6);
  EXPECT_EQ(MulInteger(1820, 18), 32760);
  EXPECT_EQ(test_support::ErrorNumber([] { MulInteger(1821, 18); }), 6);
  EXPECT_EQ(test_support::ErrorNumber([] { AddLong(2147483647, 1); }), 6);
  EXPECT_EQ(test_support::ErrorNumber([] { MulLong(65536, 32768); }), 6);
  EXPECT_EQ(SubLong(-2147483647, 1), std::numeric_limits<std::int32_t>::min());
}

TEST(VariantArithmetic, StringPlusIntegerAndWidening) {
  Variant sum = Add(Variant("&He0"), Variant(std::int16_t{15}));
  EXPECT_EQ(sum.Type(), VarType::Double);
  EXPECT_EQ(sum.RawDouble(), 239);
  EXPECT_EQ(Subtract(Variant("&He0"), Variant(std::int16_t{15})).RawDouble(), 209);
  EXPECT_EQ(test_support::ErrorNumber([] { Add(Variant("&H"), Variant(std::int16_t{15})); }), 13);
  EXPECT_EQ(test_support::ErrorNumber([] { Add(Variant("#e0"), Variant(std::int16_t{15})); }), 13);
  Variant wide = Add(Variant(std::int16_t{32767}), Variant(std::int16_t{1}));
  EXPECT_EQ(wide.Type(), VarType::Long);
  EXPECT_EQ(wide.RawInt(), 32768);
  Variant wider = Add(Variant(2147483647), Variant(1));
  EXPECT_EQ(wider.Type(), VarType::Double);
  EXPECT_TRUE(Add(Variant::Null(), Variant(1)).IsNullValue());
  EXPECT_EQ(ToString(Add(Variant("a"), Variant("b"))), "ab");
  EXPECT_EQ(Negate(Variant(std::int16_t{-32768})).Type(), VarType::Long);
  EXPECT_EQ(ToString(Add(Variant::Date(D(2004, 3, 5)), Variant(std::int16_t{1}))), "3/6/2004");
}

TEST(VariantCompare, NumericAndText) {
  EXPECT_EQ(Compare(Variant(239.0), Variant(std::int16_t{255})), -1);
  EXPECT_EQ(Compare(Variant(269.0), Variant(std::int16_t{255})), 1);
  EXPECT_EQ(Compare(Variant(-1.0), Variant(std::int16_t{0})), -1);
  EXPECT_EQ(Compare(Variant(5), Variant(5.0)), 0);
  EXPECT_EQ(Compare(Variant("a"), Variant("b")), -1);
  EXPECT_EQ(Compare(Variant(), Variant("")), 0);
  EXPECT_EQ(Compare(Variant(5), Variant("1")), -1);
  EXPECT_FALSE(Compare(Variant::Null(), Variant(1)).has_value());
}

TEST(StringFunctions, LenMidHex) {
  EXPECT_EQ(Len(Variant("e0e0e0")).RawInt(), 6);
  EXPECT_EQ(Len(Variant(std::int16_t{123})).RawInt(), 3);
  EXPECT_EQ(Len(Variant("\xF0\x9F\x98\x80")).RawInt(), 2);  // one character outside the BMP
  EXPECT_TRUE(Len(Variant::Null()).IsNullValue());
  EXPECT_EQ(ToString(Mid(Variant("e0e0e0"), 5, 2)), "e0");
  EXPECT_EQ(ToString(Mid(Variant("e0e"), 3, 2)), "e");
  EXPECT_EQ(ToString(Mid(Variant("e0e"), 5, 2)), "");
  EXPECT_EQ(ToString(Mid(Variant("h\xC3\xA9llo"), 2, 2)), "\xC3\xA9l");
  EXPECT_TRUE(Mid(Variant::Null(), 1, 2).IsNullValue());
  EXPECT_EQ(test_support::ErrorNumber([] { Mid(Variant("abc"), 0, 1); }), 5);
  EXPECT_EQ(ToString(Hex(Variant(239.0))), "EF");
  EXPECT_EQ(ToString(Hex(Variant(0.0))), "0");
  EXPECT_EQ(ToString(Hex(Variant(255.0))), "FF");
  EXPECT_EQ(ToString(Hex(Variant())), "0");
  EXPECT_EQ(ToString(Hex(Variant(std::int16_t{-1}))), "FFFF");
  EXPECT_EQ(ToString(Hex(Variant(-1))), "FFFFFFFF");
  EXPECT_EQ(ToString(Hex(Variant(-2.0))), "FFFFFFFE");
  EXPECT_TRUE(Hex(Variant::Null()).IsNullValue());
}

TEST(Dates, ReadingEveryForm) {
  const double dec4 = D(2026, 12, 4);
  EXPECT_EQ(ReadDate("12/4/2026"), dec4);
  EXPECT_EQ(ReadDate("12/04/2026"), dec4);
  EXPECT_EQ(ReadDate("12-4-2026"), dec4);
  EXPECT_EQ(ReadDate("12/4/26"), dec4);
  EXPECT_EQ(ReadDate("2026-12-04"), dec4);
  EXPECT_EQ(ReadDate("2026/12/4"), dec4);
  EXPECT_EQ(ReadDate("December 4, 2026"), dec4);
  EXPECT_EQ(ReadDate("Dec 4 2026"), dec4);
  EXPECT_EQ(ReadDate("4 Dec 2026"), dec4);
  EXPECT_EQ(ReadDate("4 december 2026"), dec4);
  EXPECT_EQ(ReadDate("4-Dec-2026"), dec4);
  EXPECT_EQ(ReadDate(" Friday, December 4, 2026 "), dec4);
  EXPECT_EQ(ReadDate("3/5/2004 14:30"), D(2004, 3, 5) + 14.5 / 24);
  EXPECT_EQ(ReadDate("3/5/2004 2:30 PM"), D(2004, 3, 5) + 14.5 / 24);
  EXPECT_EQ(ReadDate("3/5/2004 12:00:00 AM"), D(2004, 3, 5));
  EXPECT_EQ(ReadDate("December 4, 2026 9:05:07 am"), dec4 + (9 * 3600 + 5 * 60 + 7) / 86400.0);
  EXPECT_EQ(ReadDate("14:30"), 14.5 / 24);
  // two-digit year window
  EXPECT_EQ(ReadDate("1/1/29"), D(2029, 1, 1));
  EXPECT_EQ(ReadDate("1/1/30"), D(1930, 1, 1));
  EXPECT_EQ(ReadDate("1/1/00"), D(2000, 1, 1));
  EXPECT_EQ(ReadDate("1/1/99"), D(1999, 1, 1));
  // not dates
  for (const char* bad : {"2/30/2026", "13/45/2026", "2/29/2026", "", "46000", "abc", "12/4", "12/4/2026 25:00",
                          "12/4/2026 10:60", "13:00 PM", "Dec 32 2026", "1/1/99999", "1/1/0099", "12/4/2026x"}) {
    EXPECT_FALSE(ReadDate(bad).has_value()) << bad;
  }
  EXPECT_EQ(ReadDate("2/29/2024"), D(2024, 2, 29));
  EXPECT_EQ(*DateSerial(1899, 12, 30), 0);
  EXPECT_EQ(*DateSerial(100, 1, 1), kMinDate);
  EXPECT_EQ(*DateSerial(9999, 12, 31), kMaxDate);
}

TEST(Dates, TestFormatAndParts) {
  EXPECT_TRUE(IsDate(Variant("12/04/2026")));
  EXPECT_TRUE(IsDate(Variant("2026-12-04")));
  EXPECT_TRUE(IsDate(Variant::Date(1)));
  EXPECT_FALSE(IsDate(Variant(46000)));
  EXPECT_FALSE(IsDate(Variant("2/30/2026")));
  EXPECT_FALSE(IsDate(Variant("")));
  EXPECT_FALSE(IsDate(Variant()));
  EXPECT_FALSE(IsDate(Variant::Null()));
  EXPECT_EQ(FormatDate(Variant("12/4/2026"), "mm/dd/yyyy"), "12/04/2026");
  EXPECT_EQ(FormatDate(Variant::Date(D(2004, 3, 5) + 14.5 / 24), "mm/dd/yyyy"), "03/05/2004");
  EXPECT_EQ(FormatDate(Variant::Date(kMinDate), "mm/dd/yyyy"), "01/01/0100");
  EXPECT_EQ(FormatDate(Variant::Date(D(2004, 3, 5)), "m/d/yy"), "3/5/04");
  EXPECT_EQ(test_support::ErrorNumber([] { FormatDate(Variant("nope"), "mm/dd/yyyy"); }), 13);
  EXPECT_EQ(Month(Variant("12/4/2026")).RawInt(), 12);
  EXPECT_EQ(Day(Variant("12/4/2026")).RawInt(), 4);
  EXPECT_EQ(Year(Variant("12/4/2026")).RawInt(), 2026);
  EXPECT_EQ(Month(Variant("12/4/2026")).Type(), VarType::Integer);
  // the formatted text reads back to the same day
  for (double d = kMinDate; d <= kMaxDate; d += 997) {
    const std::string s = FormatDate(Variant::Date(d), "mm/dd/yyyy");
    EXPECT_EQ(ReadDate(s), d) << s;
  }
  // dates before day 0 keep the time counting from midnight
  const DateParts p = SplitDate(-1.25);
  EXPECT_EQ(p.year, 1899);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 6);
  const Variant now = Now();
  EXPECT_EQ(now.Type(), VarType::Date);
  EXPECT_GT(now.RawDouble(), D(2020, 1, 1));
}

TEST(Utf, LosslessRoundTrip) {
  const std::u16string odd = {u'a', 0xD800, u'b', 0xDC00, 0xD83D, 0xDE00, 0xDFFF};
  EXPECT_EQ(utf::ToUtf16(utf::ToUtf8(odd)), odd);
  EXPECT_EQ(utf::ToUtf8(u"\u00e9\u20ac"), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(utf::ToUtf16("\xFF"), u"\uFFFD");
  EXPECT_EQ(utf::ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");
}

TEST(Errors, StatusAndSource) {
  Error e(6, "", "Overflow");
  EXPECT_EQ(e.Status(), 0x800A0006u);
  EXPECT_EQ(Error(94, "x", "y").Status(), 0x800A005Eu);
  try {
    WithSource("Halvane.Test", [] { return ToLong(Variant("x")); });
    FAIL();
  } catch (const Error& err) {
    EXPECT_EQ(err.Number(), 13);
    EXPECT_EQ(err.Source(), "Halvane.Test");
    EXPECT_EQ(err.Description(), "Type mismatch");
  }
  try {
    WithSource("Halvane.Test", []() -> int { throw Error(1, "Own", "Mine"); });
  } catch (const Error& err) {
    EXPECT_EQ(err.Source(), "Own");
  }
}

}  // namespace
}  // namespace halvane
