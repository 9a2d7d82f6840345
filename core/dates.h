// Date arithmetic and date parts beyond Month, Day and Year
// (core/variant.h): Weekday, Hour, Minute, Second, DateSerial with carry-over,
// DateAdd, DateDiff, month and weekday names, today and the time of day.
//
// A date argument is made a Date as ToDate does: a Date as it is, a String
// by date reading, a number as a day number.  Null raises 94 here; the
// script host turns a Null date argument into a Null result before calling.
// A result outside 1 January 100 .. 31 December 9999 raises 5.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/variant.h"

namespace halvane {

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

// The local date without a time, and the local time of day on day 0.
Variant Today();
Variant TimeOfDay();

}  // namespace halvane
