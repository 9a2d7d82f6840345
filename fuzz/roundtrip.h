// The round-trip properties of number and date texts, shared by the text and
// the Variant fuzz targets.
#pragma once

#include <cmath>
#include <string>

#include "core/date_text.h"
#include "core/dates.h"
#include "core/number_text.h"
#include "core/variant.h"
#include "fuzz/fuzz_input.h"

namespace halvane::fuzz {

// A Double's text (at most 15 significant digits) reads back to the same
// Double within 15 digits.  Near the top of the range the 15-digit text can
// lie above the largest Double; reading it then overflows, as it should.
inline void CheckDoubleText(double d) {
  if (!std::isfinite(d)) return;
  const std::string text = DoubleToText(d);
  if (ToString(Variant(d)) != text) Fail("Variant to String differs from DoubleToText", text);
  const NumberReading r = ReadNumber(text);
  if (r.status == NumberReading::Status::Overflow && std::fabs(d) > 1.797693134862315e308) return;
  if (r.status != NumberReading::Status::Ok) Fail("a Double's text does not read back", text);
  const double a = std::fabs(d);
  // Fifteen digits, or the spacing of Doubles where there are fewer bits
  // than that (subnormal numbers).
  const double tolerance = std::fmax(a * 1e-14, 2 * (std::nextafter(a, INFINITY) - a));
  if (std::fabs(r.value - d) > tolerance) Fail("a Double's text reads back to another number", text);
  if (!(std::signbit(d) == std::signbit(r.value) || d == 0)) Fail("sign lost in a Double's text", text);
}

inline void CheckSingleText(float f) {
  if (!std::isfinite(f)) return;
  const std::string text = SingleToText(f);
  const NumberReading r = ReadNumber(text);
  if (r.status != NumberReading::Status::Ok) Fail("a Single's text does not read back", text);
  const double a = std::fabs(static_cast<double>(f));
  const double spacing = static_cast<double>(std::nextafter(std::fabs(f), INFINITY) - std::fabs(f));
  const double tolerance = std::fmax(a * 1e-6, 2 * spacing);
  if (std::fabs(r.value - static_cast<double>(f)) > tolerance)
    Fail("a Single's text reads back to another number", text);
}

// A date's texts read back: the "mm/dd/yyyy" form to the same day, the full
// Variant to String form to the same moment (to the second).
inline void CheckDateText(double d) {
  if (!std::isfinite(d) || d < kMinDate || d >= kMaxDate + 1) return;
  const DateParts p = SplitDate(d);
  const std::optional<double> day = DateSerial(p.year, p.month, p.day);
  if (!day) Fail("SplitDate gave a day that does not exist", DateToText(d));

  const std::string formatted = FormatDate(Variant::Date(d), "mm/dd/yyyy");
  const std::optional<double> back = ReadDate(formatted);
  if (!back) Fail("a formatted date does not read back", formatted);
  if (*back != *day) Fail("a formatted date reads back to another day", formatted);

  const std::string text = DateToText(d);
  if (ToString(Variant::Date(d)) != text) Fail("Variant to String differs from DateToText", text);
  const std::optional<double> moment = ReadDate(text);
  if (!moment) Fail("a date's text does not read back", text);
  const DateParts q = SplitDate(*moment);
  if (q.year != p.year || q.month != p.month || q.day != p.day || q.hour != p.hour || q.minute != p.minute ||
      q.second != p.second) {
    Fail("a date's text reads back to another moment", text);
  }
}

}  // namespace halvane::fuzz
