// Dates as text, in fixed English (United States) form: reading every date
// form a page or a caller may give, the text a Date converts to, and the
// pattern formatting the Calendar stores its date with ("mm/dd/yyyy").
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/variant.h"

namespace halvane {

// Reads a date from text: m/d/y or m-d-y (two- or four-digit year; 00..29 is
// 2000..2029, 30..99 is 1930..1999), y-m-d and y/m/d, English month names
// full or abbreviated ("December 4, 2026", "4 Dec 2026"), each optionally
// followed by a time (h:mm or h:mm:ss, optionally AM or PM); a time alone.
std::optional<double> ReadDate(std::string_view text);
// True for a Date value and for a String that ReadDate accepts.
bool IsDate(const Variant& v);
// Formats with a pattern of "mm", "m", "dd", "d", "yyyy", "yy" and literal
// characters; the time of day is dropped.  Non-dates raise 13.
std::string FormatDate(const Variant& v, std::string_view pattern);
// Date text as Variant to String gives it: 12/4/2026, or 3/5/2004 2:30:00 PM.
std::string DateToText(double day_number);

}  // namespace halvane
