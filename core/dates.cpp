#include "core/dates.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>

#include "core/text.h"

namespace halvane {
namespace {

[[noreturn]] void InvalidCall() { RaiseStandard(kErrInvalidCall); }

// ---- calendar arithmetic (proleptic Gregorian) -----------------------------

constexpr std::int64_t kEpochShift = 25569;  // days from 1899-12-30 to 1970-01-01

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(y + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

bool IsLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(std::int64_t y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// ---- date arithmetic -------------------------------------------------------

// A date as a whole day number (of its calendar day) and the seconds since
// that day's midnight, so that arithmetic runs forward on both sides of
// day 0 (where the stored fraction of a negative date counts forward too).
struct Linear {
  std::int64_t day;
  std::int64_t seconds;
  DateParts parts;
};

Linear LinearOf(const Variant& d) {
  const DateParts p = SplitDate(ToDate(d));
  const double day = DateSerial(p.year, p.month, p.day).value_or(0.0);
  return {static_cast<std::int64_t>(day), p.hour * 3600 + p.minute * 60 + p.second, p};
}

// The Date of a whole day and seconds since its midnight; 5 outside the
// valid dates.
Variant FromLinear(std::int64_t day, std::int64_t seconds) {
  day += seconds / 86400;
  seconds %= 86400;
  if (seconds < 0) {
    seconds += 86400;
    --day;
  }
  if (day < static_cast<std::int64_t>(kMinDate) || day > static_cast<std::int64_t>(kMaxDate)) InvalidCall();
  return Variant::Date(CombineDateTime(static_cast<double>(day), static_cast<double>(seconds) / 86400.0));
}

enum class Interval { Year, Quarter, Month, Day, Week, Hour, Minute, Second };

Interval IntervalOf(std::string_view s) {
  const std::string low = text::ToLowerAscii(s);
  if (low == "yyyy") return Interval::Year;
  if (low == "q") return Interval::Quarter;
  if (low == "m") return Interval::Month;
  if (low == "d") return Interval::Day;
  if (low == "ww") return Interval::Week;
  if (low == "h") return Interval::Hour;
  if (low == "n") return Interval::Minute;
  if (low == "s") return Interval::Second;
  InvalidCall();
}

// The year of a 0-based month count from January of year 0 (division by 12
// rounded down, negative counts included).
std::int64_t YearOfMonth(std::int64_t month0) { return month0 / 12 - (month0 % 12 < 0 ? 1 : 0); }

// The day number of the first of month `month0` (0-based, any whole value,
// counted from January of year 0).  Years outside 100..9999 are shifted by
// whole 400-year cycles (146097 days each) so that day carry-over may still
// bring a result back into range; the caller checks the final date.
std::int64_t FirstOfMonth(std::int64_t month0) {
  const std::int64_t y = YearOfMonth(month0);
  const int m = static_cast<int>(month0 - y * 12) + 1;
  std::int64_t cycles = 0;
  if (y < 100) cycles = -((100 - y + 399) / 400);
  if (y > 9999) cycles = (y - 9999 + 399) / 400;
  const int shifted = static_cast<int>(y - cycles * 400);
  return static_cast<std::int64_t>(*DateSerial(shifted, m, 1)) + cycles * 146097;
}

Variant Part(const Variant& d, int DateParts::*field) {
  return Variant(static_cast<std::int16_t>(SplitDate(ToDate(d)).*field));
}

constexpr std::string_view kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};
constexpr std::string_view kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

}  // namespace

// ---- the calendar ----------------------------------------------------------

std::optional<double> DateSerial(int year, int month, int day) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;
  return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                             kEpochShift);
}

double TimeSerial(int hour, int minute, int second) { return (hour * 3600 + minute * 60 + second) / 86400.0; }

double CombineDateTime(double day, double time) { return day >= 0 ? day + time : day - time; }

DateParts SplitDate(double v) {
  // A Date Variant can hold any Double; outside the valid dates (and for
  // NaN) there is no calendar day, and the conversions below would not be
  // defined.
  if (!InDateRange(v)) RaiseStandard(kErrOverflow);
  double day = std::trunc(v);
  const double frac = std::fabs(v - day);
  auto secs = static_cast<std::int64_t>(std::llround(frac * 86400.0));
  if (secs >= 86400) {
    secs -= 86400;
    day += 1;
  }
  if (day > kMaxDate) RaiseStandard(kErrOverflow);
  DateParts p{};
  CivilFromDays(static_cast<std::int64_t>(day) - kEpochShift, p.year, p.month, p.day);
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>(secs / 60 % 60);
  p.second = static_cast<int>(secs % 60);
  return p;
}

// ---- date parts and arithmetic ---------------------------------------------

Variant Weekday(const Variant& d) {
  const Linear l = LinearOf(d);
  // Day 0 (30 December 1899) was a Saturday.
  const std::int64_t w = ((l.day % 7) + 7 + 6) % 7;
  return Variant(static_cast<std::int16_t>(w + 1));
}

Variant Month(const Variant& d) { return Part(d, &DateParts::month); }
Variant Day(const Variant& d) { return Part(d, &DateParts::day); }
Variant Year(const Variant& d) { return Part(d, &DateParts::year); }
Variant Hour(const Variant& d) { return Part(d, &DateParts::hour); }
Variant Minute(const Variant& d) { return Part(d, &DateParts::minute); }
Variant Second(const Variant& d) { return Part(d, &DateParts::second); }

Variant DateSerialCarry(std::int32_t year, std::int32_t month, std::int32_t day) {
  const std::int64_t first =
      FirstOfMonth(static_cast<std::int64_t>(year) * 12 + (static_cast<std::int64_t>(month) - 1));
  return FromLinear(first + (static_cast<std::int64_t>(day) - 1), 0);
}

Variant DateAdd(std::string_view interval, std::int32_t count, const Variant& d) {
  const Interval iv = IntervalOf(interval);
  const Linear l = LinearOf(d);
  const std::int64_t n = count;
  switch (iv) {
    case Interval::Year:
    case Interval::Quarter:
    case Interval::Month: {
      const std::int64_t months = iv == Interval::Year ? n * 12 : (iv == Interval::Quarter ? n * 3 : n);
      const std::int64_t month0 = static_cast<std::int64_t>(l.parts.year) * 12 + (l.parts.month - 1) + months;
      const std::int64_t first = FirstOfMonth(month0);
      const std::int64_t y = YearOfMonth(month0);
      const int dd = std::min(l.parts.day, DaysInMonth(y, static_cast<int>(month0 - y * 12) + 1));
      return FromLinear(first + dd - 1, l.seconds);
    }
    case Interval::Day: return FromLinear(l.day + n, l.seconds);
    case Interval::Week: return FromLinear(l.day + 7 * n, l.seconds);
    case Interval::Hour: return FromLinear(l.day, l.seconds + 3600 * n);
    case Interval::Minute: return FromLinear(l.day, l.seconds + 60 * n);
    case Interval::Second: return FromLinear(l.day, l.seconds + n);
  }
  InvalidCall();
}

Variant DateDiff(std::string_view interval, const Variant& d1, const Variant& d2) {
  const Interval iv = IntervalOf(interval);
  const Linear a = LinearOf(d1);
  const Linear b = LinearOf(d2);
  std::int64_t r = 0;
  switch (iv) {
    case Interval::Year: r = b.parts.year - a.parts.year; break;
    case Interval::Quarter:
      r = (b.parts.year * 4 + (b.parts.month - 1) / 3) - (a.parts.year * 4 + (a.parts.month - 1) / 3);
      break;
    case Interval::Month: r = (b.parts.year * 12 + b.parts.month) - (a.parts.year * 12 + a.parts.month); break;
    case Interval::Day: r = b.day - a.day; break;
    case Interval::Week: r = (b.day - a.day) / 7; break;
    case Interval::Hour: r = (b.day * 24 + b.parts.hour) - (a.day * 24 + a.parts.hour); break;
    case Interval::Minute: r = (b.day * 1440 + b.seconds / 60) - (a.day * 1440 + a.seconds / 60); break;
    case Interval::Second: r = (b.day * 86400 + b.seconds) - (a.day * 86400 + a.seconds); break;
  }
  if (r < std::numeric_limits<std::int32_t>::min() || r > std::numeric_limits<std::int32_t>::max())
    RaiseStandard(kErrOverflow);
  return Variant(static_cast<std::int32_t>(r));
}

std::string_view MonthName(std::int32_t month, bool abbreviate) {
  if (month < 1 || month > 12) InvalidCall();
  const std::string_view name = kMonthNames[month - 1];
  return abbreviate ? name.substr(0, 3) : name;
}

std::string_view WeekdayName(std::int32_t weekday, bool abbreviate) {
  if (weekday < 1 || weekday > 7) InvalidCall();
  const std::string_view name = kDayNames[weekday - 1];
  return abbreviate ? name.substr(0, 3) : name;
}

namespace {
// The fixed instant of FixNow, when `fixed` is set.
std::atomic<bool> fixed{false};
std::atomic<double> fixed_day{0.0};
}  // namespace

void FixNow(std::optional<double> day_number) {
  if (day_number) fixed_day.store(*day_number, std::memory_order_relaxed);
  fixed.store(day_number.has_value(), std::memory_order_release);
}

Variant Now() {
  if (fixed.load(std::memory_order_acquire)) return Variant::Date(fixed_day.load(std::memory_order_relaxed));
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  localtime_r(&t, &tm);
  const double day = DateSerial(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday).value_or(0.0);
  return Variant::Date(CombineDateTime(day, TimeSerial(tm.tm_hour, tm.tm_min, tm.tm_sec)));
}

Variant Today() {
  const DateParts p = SplitDate(Now().RawDouble());
  return Variant::Date(*DateSerial(p.year, p.month, p.day));
}

Variant TimeOfDay() {
  const DateParts p = SplitDate(Now().RawDouble());
  return Variant::Date(TimeSerial(p.hour, p.minute, p.second));
}

}  // namespace halvane
