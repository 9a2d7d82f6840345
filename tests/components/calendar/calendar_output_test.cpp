// Calendar output byte for byte: the script blocks in the first result that
// needs them, the per-call parts, both call orders, the spliced values, and
// failed calls that must leave the blocks for the next good call.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "calendar_expected.h"
#include "components/calendar/calendar.h"
#include "core/error.h"
#include "core/variant.h"

namespace halvane {
namespace {

using calendar_expected::EmbeddedCall;
using calendar_expected::FieldAndButton;
using calendar_expected::kCommon;
using calendar_expected::kEmbedded;
using calendar_expected::kPopup;

constexpr double k4Dec2026 = 46360.0;
constexpr double k5Mar2004 = 38051.0;

Calendar At(double day) {
  return Calendar([day] { return day; });
}

TEST(CalendarBlocks, HaveTheirLineCounts) {
  // Guards the expected texts themselves against a lost or doubled line.
  EXPECT_EQ(calendar_expected::kCommonLines.size(), 37u);
  EXPECT_EQ(calendar_expected::kEmbeddedLines.size(), 99u);
  EXPECT_EQ(calendar_expected::kPopupLines.size(), 101u);
}

TEST(CalendarEmbedded, FirstCallCarriesBothBlocksLaterCallsTheSixLines) {
  Calendar cal = At(k4Dec2026);
  EXPECT_EQ(cal.DisplayEmbedded(Variant("cal1")), kCommon + kEmbedded + EmbeddedCall("cal1", "12", "2026"));
  EXPECT_EQ(cal.DisplayEmbedded(Variant("cal2")), EmbeddedCall("cal2", "12", "2026"));
  EXPECT_EQ(cal.DisplayEmbedded(Variant("cal1")), EmbeddedCall("cal1", "12", "2026"));
}

TEST(CalendarEmbedded, StartLineForTheActiveDate) {
  Calendar cal = At(k4Dec2026);
  cal.ActiveDate(Variant::Date(k5Mar2004 + 14.5 / 24));
  const std::string out = cal.DisplayEmbedded(Variant("cal1"));
  EXPECT_NE(out.find("\r\ndocument.write( buildCal(3, 2004, 'cal1') );\r\n"), std::string::npos);
}

TEST(CalendarEmbedded, ActiveDateSetBetweenCallsChangesOnlyTheStartLine) {
  Calendar cal = At(k4Dec2026);
  cal.DisplayEmbedded(Variant("a"));
  cal.ActiveDate(Variant("1/15/2004"));
  EXPECT_EQ(cal.DisplayEmbedded(Variant("a")), EmbeddedCall("a", "1", "2004"));
}

TEST(CalendarPopup, FirstCallCarriesBothBlocksLaterCallsTheFieldAlone) {
  Calendar cal = At(k4Dec2026);
  EXPECT_EQ(cal.DisplayPopup(Variant("d1")), kCommon + kPopup + FieldAndButton("d1", "12/04/2026", "12", "2026"));
  const std::string second = cal.DisplayPopup(Variant("d2"));
  EXPECT_EQ(second, FieldAndButton("d2", "12/04/2026", "12", "2026"));
  EXPECT_EQ(second.find_first_of("\r\n"), std::string::npos);
}

TEST(CalendarPopup, SplicesTheActiveDateAndImage) {
  Calendar cal = At(k4Dec2026);
  cal.DisplayPopup(Variant("d"));
  cal.ActiveDate(Variant::Date(k5Mar2004 + 14.5 / 24));
  cal.ImageURL(Variant("/img/c.gif"));
  EXPECT_EQ(cal.DisplayPopup(Variant("d")), FieldAndButton("d", "03/05/2004", "3", "2004", "/img/c.gif"));
  cal.ImageURL(Variant(""));
  EXPECT_EQ(cal.DisplayPopup(Variant("d")), FieldAndButton("d", "03/05/2004", "3", "2004", ""));
}

TEST(CalendarOrder, EmbeddedFirstThenPopup) {
  Calendar cal = At(k4Dec2026);
  EXPECT_EQ(cal.DisplayEmbedded(Variant("cal1")), kCommon + kEmbedded + EmbeddedCall("cal1", "12", "2026"));
  EXPECT_EQ(cal.DisplayPopup(Variant("d1")), kPopup + FieldAndButton("d1", "12/04/2026", "12", "2026"));
  EXPECT_EQ(cal.DisplayPopup(Variant("d2")), FieldAndButton("d2", "12/04/2026", "12", "2026"));
  EXPECT_EQ(cal.DisplayEmbedded(Variant("cal2")), EmbeddedCall("cal2", "12", "2026"));
}

TEST(CalendarOrder, PopupFirstThenEmbedded) {
  Calendar cal = At(k4Dec2026);
  EXPECT_EQ(cal.DisplayPopup(Variant("d1")), kCommon + kPopup + FieldAndButton("d1", "12/04/2026", "12", "2026"));
  EXPECT_EQ(cal.DisplayEmbedded(Variant("cal1")), kEmbedded + EmbeddedCall("cal1", "12", "2026"));
  EXPECT_EQ(cal.DisplayEmbedded(Variant("cal2")), EmbeddedCall("cal2", "12", "2026"));
  EXPECT_EQ(cal.DisplayPopup(Variant("d2")), FieldAndButton("d2", "12/04/2026", "12", "2026"));
}

TEST(CalendarOrder, EachObjectEmitsItsOwnBlocks) {
  Calendar first = At(k4Dec2026);
  Calendar second = At(k4Dec2026);
  first.DisplayEmbedded(Variant("a"));
  EXPECT_EQ(second.DisplayEmbedded(Variant("b")), kCommon + kEmbedded + EmbeddedCall("b", "12", "2026"));
}

TEST(CalendarName, IsSplicedAsConcatenationText) {
  Calendar cal = At(k4Dec2026);
  cal.DisplayEmbedded(Variant("x"));
  cal.DisplayPopup(Variant("x"));
  EXPECT_EQ(cal.DisplayEmbedded(Variant::Null()), EmbeddedCall("", "12", "2026"));
  EXPECT_EQ(cal.DisplayEmbedded(Variant::Empty()), EmbeddedCall("", "12", "2026"));
  EXPECT_EQ(cal.DisplayEmbedded(Variant(static_cast<std::int16_t>(12))), EmbeddedCall("12", "12", "2026"));
  EXPECT_EQ(cal.DisplayPopup(Variant(true)), FieldAndButton("True", "12/04/2026", "12", "2026"));
  EXPECT_EQ(cal.DisplayPopup(Variant(2.5)), FieldAndButton("2.5", "12/04/2026", "12", "2026"));
  // Unescaped, as given.
  EXPECT_EQ(cal.DisplayPopup(Variant("a'b\"<c>")), FieldAndButton("a'b\"<c>", "12/04/2026", "12", "2026"));
  Variant caller("byref");
  EXPECT_EQ(cal.DisplayEmbedded(Variant::Ref(caller)), EmbeddedCall("byref", "12", "2026"));
  EXPECT_EQ(ToString(caller), "byref");
}

// A name without a text form fails the call with the conversion error.
void ExpectTypeMismatch(const std::function<std::string()>& call) {
  try {
    const std::string out = call();
    ADD_FAILURE() << "no error; returned " << out.size() << " characters";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 13);
    EXPECT_EQ(e.Source(), "Halvane.Calendar");
    EXPECT_EQ(e.Description(), "Type mismatch");
  }
}

TEST(CalendarFailedCall, EmbeddedLeavesTheBlocksForTheNextCall) {
  Calendar cal = At(k4Dec2026);
  ExpectTypeMismatch([&] { return cal.DisplayEmbedded(Variant::Missing()); });
  ExpectTypeMismatch([&] { return cal.DisplayEmbedded(Variant::ErrorCode(5)); });
  EXPECT_EQ(cal.DisplayEmbedded(Variant("cal1")), kCommon + kEmbedded + EmbeddedCall("cal1", "12", "2026"));
}

TEST(CalendarFailedCall, PopupLeavesTheBlocksForTheNextCall) {
  Calendar cal = At(k4Dec2026);
  ExpectTypeMismatch([&] { return cal.DisplayPopup(Variant::Missing()); });
  EXPECT_EQ(cal.DisplayPopup(Variant("d1")), kCommon + kPopup + FieldAndButton("d1", "12/04/2026", "12", "2026"));
}

TEST(CalendarFailedCall, ChangesNoFlagOfTheOtherMethod) {
  // A failed popup call must not mark the common block emitted, and a failed
  // embedded call after a good popup one must not mark the embedded block.
  Calendar cal = At(k4Dec2026);
  ExpectTypeMismatch([&] { return cal.DisplayPopup(Variant::Missing()); });
  EXPECT_EQ(cal.DisplayEmbedded(Variant("cal1")), kCommon + kEmbedded + EmbeddedCall("cal1", "12", "2026"));
  Calendar other = At(k4Dec2026);
  other.DisplayPopup(Variant("d1"));
  ExpectTypeMismatch([&] { return other.DisplayEmbedded(Variant::Missing()); });
  EXPECT_EQ(other.DisplayEmbedded(Variant("cal1")), kEmbedded + EmbeddedCall("cal1", "12", "2026"));
  ExpectTypeMismatch([&] { return other.DisplayPopup(Variant::Missing()); });
  EXPECT_EQ(other.DisplayPopup(Variant("d2")), FieldAndButton("d2", "12/04/2026", "12", "2026"));
}

}  // namespace
}  // namespace halvane
