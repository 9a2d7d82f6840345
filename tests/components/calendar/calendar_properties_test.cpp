// Calendar properties: the defaults taken from the clock, ActiveDate's date
// test and stored text, and ImageURL's conversion.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "components/calendar/calendar.h"
#include "core/date_text.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/variant.h"

namespace halvane {
namespace {

constexpr double k4Dec2026 = 46360.0;
constexpr double k5Mar2004 = 38051.0;

Calendar At(double day) {
  return Calendar([day] { return day; });
}

// The month and year as the output methods splice them.
std::string MonthYear(Calendar& cal) {
  const std::string out = cal.DisplayPopup(Variant("d"));
  const std::string key = "buildPopupCal(";
  const std::size_t from = out.rfind(key) + key.size();
  return out.substr(from, out.find(", '", from) - from);
}

void ExpectString(const Variant& v, const std::string& text) {
  EXPECT_EQ(v.Type(), VarType::String);
  EXPECT_EQ(ToString(v), text);
}

TEST(CalendarDefaults, TakeTheDateFromTheClock) {
  Calendar cal = At(k4Dec2026 + 0.75);  // 18:00 on 4 December 2026
  ExpectString(cal.ActiveDate(), "12/04/2026");
  ExpectString(cal.ImageURL(), "Calendar.gif");
  EXPECT_EQ(MonthYear(cal), "12, 2026");
}

TEST(CalendarDefaults, ReadTheLocalClockWhenNoneIsGiven) {
  Calendar cal;
  const std::string text = ToString(cal.ActiveDate());
  ASSERT_EQ(text.size(), 10u) << text;
  EXPECT_EQ(text[2], '/');
  EXPECT_EQ(text[5], '/');
  EXPECT_TRUE(IsDate(Variant(text))) << text;
}

TEST(CalendarActiveDate, DateValueDropsTheTime) {
  Calendar cal = At(k4Dec2026);
  cal.ActiveDate(Variant::Date(k5Mar2004 + 14.5 / 24));  // 14:30
  ExpectString(cal.ActiveDate(), "03/05/2004");
  EXPECT_EQ(MonthYear(cal), "3, 2004");
}

struct DateForm {
  Variant value;
  const char* stored;
};

void PrintTo(const DateForm& form, std::ostream* os) {
  *os << TypeName(form.value) << ' '
      << (form.value.Type() == VarType::String ? form.value.RawString() : DateToText(form.value.RawDouble()));
}

class AcceptedForms : public ::testing::TestWithParam<DateForm> {};

TEST_P(AcceptedForms, StoreTwoDigitMonthAndDayAndFourDigitYear) {
  Calendar cal = At(k5Mar2004);
  cal.ActiveDate(GetParam().value);
  const std::string stored = GetParam().stored;
  ExpectString(cal.ActiveDate(), stored);
  // Month and year follow the stored text, without leading zeros.
  EXPECT_EQ(MonthYear(cal),
            std::to_string(std::stoi(stored.substr(0, 2))) + ", " + std::to_string(std::stoi(stored.substr(6))));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, AcceptedForms,
    ::testing::Values(
        DateForm{Variant("12/4/2026"), "12/04/2026"}, DateForm{Variant("12/04/2026"), "12/04/2026"},
        DateForm{Variant("1/2/2026"), "01/02/2026"}, DateForm{Variant("12-4-2026"), "12/04/2026"},
        DateForm{Variant("12/4/26"), "12/04/2026"}, DateForm{Variant("12/4/29"), "12/04/2029"},
        DateForm{Variant("12/4/30"), "12/04/1930"}, DateForm{Variant("1/1/00"), "01/01/2000"},
        DateForm{Variant("7/9/99"), "07/09/1999"}, DateForm{Variant("2026-12-04"), "12/04/2026"},
        DateForm{Variant("2026/12/04"), "12/04/2026"}, DateForm{Variant("December 4, 2026"), "12/04/2026"},
        DateForm{Variant("Dec 4, 2026"), "12/04/2026"}, DateForm{Variant("4 Dec 2026"), "12/04/2026"},
        DateForm{Variant("4 December 2026"), "12/04/2026"}, DateForm{Variant("12/4/2026 14:30"), "12/04/2026"},
        DateForm{Variant("12/4/2026 2:30:15 PM"), "12/04/2026"}, DateForm{Variant("2026-12-04 9:05 AM"), "12/04/2026"},
        DateForm{Variant("2/29/2004"), "02/29/2004"}, DateForm{Variant::Date(36525.0), "12/31/1999"},
        DateForm{Variant::Date(-657434.0), "01/01/0100"}));

class RejectedValues : public ::testing::TestWithParam<Variant> {};

TEST_P(RejectedValues, RaiseError1AndKeepTheOldDate) {
  Calendar cal = At(k4Dec2026);
  cal.ActiveDate(Variant("3/5/2004"));
  try {
    cal.ActiveDate(GetParam());
    FAIL() << "no error for " << TypeName(GetParam());
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 1);
    EXPECT_EQ(e.Source(), "Halvane.Calendar");
    EXPECT_EQ(e.Description(), "ActiveDate Property not a valid date.");
    EXPECT_EQ(e.Status(), 0x800A0001u);
  }
  ExpectString(cal.ActiveDate(), "03/05/2004");
  EXPECT_EQ(MonthYear(cal), "3, 2004");
}

INSTANTIATE_TEST_SUITE_P(Values, RejectedValues,
                         ::testing::Values(Variant("2/30/2004"), Variant(""), Variant("13/45/2026"),
                                           Variant("2/29/2003"), Variant("not a date"), Variant(46000.0),
                                           Variant(static_cast<std::int32_t>(38051)), Variant(true), Variant::Empty(),
                                           Variant::Null(), Variant::Missing()));

TEST(CalendarActiveDate, ReadsThroughAReference) {
  Calendar cal = At(k4Dec2026);
  Variant caller("3/5/2004");
  cal.ActiveDate(Variant::Ref(caller));
  ExpectString(cal.ActiveDate(), "03/05/2004");
  EXPECT_EQ(ToString(caller), "3/5/2004");  // the argument is not changed
}

TEST(CalendarImageURL, StoresTheTextOfAnyValue) {
  Calendar cal = At(k4Dec2026);
  cal.ImageURL(Variant(static_cast<std::int16_t>(5)));
  ExpectString(cal.ImageURL(), "5");
  cal.ImageURL(Variant(""));
  ExpectString(cal.ImageURL(), "");
  cal.ImageURL(Variant::Empty());
  ExpectString(cal.ImageURL(), "");
  cal.ImageURL(Variant(2.5));
  ExpectString(cal.ImageURL(), "2.5");
}

TEST(CalendarImageURL, ValuesWithoutTextRaiseAndKeepTheOldValue) {
  Calendar cal = At(k4Dec2026);
  cal.ImageURL(Variant("/img/cal.gif"));
  struct Case {
    Variant value;
    int number;
    const char* description;
  };
  for (const Case& c :
       {Case{Variant::Null(), 94, "Invalid use of Null"}, Case{Variant::Missing(), 13, "Type mismatch"}}) {
    try {
      cal.ImageURL(c.value);
      ADD_FAILURE() << "no error for " << c.number;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), c.number);
      EXPECT_EQ(e.Source(), "Halvane.Calendar");
      EXPECT_EQ(e.Description(), c.description);
    }
    ExpectString(cal.ImageURL(), "/img/cal.gif");
  }
}

}  // namespace
}  // namespace halvane
