// Dates as day numbers: day 0 is 30 December 1899, the time of day the
// fraction (counted forward from midnight on both sides of day 0).  The
// calendar (DateSerial, TimeSerial, SplitDate), the date parts (Month, Day,
// Year, Weekday, Hour, Minute, Second), date arithmetic (DateSerialCarry,
// DateAdd, DateDiff), month and weekday names, and the local date and time.
// Reading and writing dates as text is in core/date_text.h.
//
// A date argument is made a Date as ToDate does: a Date as it is, a String
// by date reading, a number as a day number.  Null raises 94 here; the
// script host turns a Null date argument into a Null result before calling.
// A result outside 1 January 100 .. 31 December 9999 raises 5.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/variant.h"

namespace halvane {

inline constexpr double kMinDate = -657434.0;  // 1 January 100
inline constexpr double kMaxDate = 2958465.0;  // 31 December 9999 (day part)
// True for a day number within the valid dates (false for NaN).
constexpr bool InDateRange(double d) { return d >= kMinDate && d < kMaxDate + 1.0; }

struct DateParts {
  int year, month, day, hour, minute, second;
};
// Day number of a calendar day; nullopt if it is not a valid day of the
// years 100..9999.
std::optional<double> DateSerial(int year, int month, int day);
double TimeSerial(int hour, int minute, int second);
// A whole day number and a time fraction combined as dates store them:
// before day 0 the fraction still counts forward from midnight.
double CombineDateTime(double day, double time);
// Splits a day number into its parts (the time rounded to the second); a
// value outside the valid dates (or NaN) raises 6.
DateParts SplitDate(double day_number);

Variant Month(const Variant& d);  // Integer 1..12
Variant Day(const Variant& d);    // Integer 1..31
Variant Year(const Variant& d);   // Integer 100..9999
// Sunday 1 .. Saturday 7, as an Integer.
Variant Weekday(const Variant& d);
Variant Hour(const Variant& d);    // Integer 0..23
Variant Minute(const Variant& d);  // Integer 0..59
Variant Second(const Variant& d);  // Integer 0..59

// The Date of a year, month and day; a month or day out of range carries
// into the next (or previous) year or month: (2026, 13, 1) is 1/1/2027 and
// (2026, 3, 0) is 2/28/2026.  The year is taken as given.
Variant DateSerialCarry(std::int32_t year, std::int32_t month, std::int32_t day);

// DateAdd: interval "yyyy", "q", "m", "d", "ww", "h", "n" or "s" (any letter
// case; anything else raises 5) times `count` added to the date.  Adding
// years, quarters or months keeps the day, or takes the month's last day.
Variant DateAdd(std::string_view interval, std::int32_t count, const Variant& d);

// DateDiff: the number of interval boundaries from d1 to d2 as a Long
// (calendar years, quarters, months, days, hours, minutes, seconds; "ww" is
// the day difference \ 7).  A count beyond the Long range raises 6.
Variant DateDiff(std::string_view interval, const Variant& d1, const Variant& d2);

// "January" .. "December" ("Jan" .. "Dec" abbreviated); a month outside
// 1..12 raises 5.
std::string_view MonthName(std::int32_t month, bool abbreviate = false);
// "Sunday" .. "Saturday" ("Sun" .. "Sat"); outside 1..7 raises 5.
std::string_view WeekdayName(std::int32_t weekday, bool abbreviate = false);

// The local date and time, the local date without a time, and the local
// time of day on day 0.
Variant Now();
Variant Today();
Variant TimeOfDay();

// Makes Now(), Today(), TimeOfDay() and every component's "today" give the
// instant `day_number` (a Date's day number) from here on, in the whole
// process; nullopt gives the local clock back.  For a host that repeats a
// run exactly: set it before anything reads the clock.
void FixNow(std::optional<double> day_number);

}  // namespace halvane
