// Faults the fuzz targets found, kept as plain tests.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "components/calendar/calendar.h"
#include "core/date_text.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/variant.h"
#include "support/expect_error.h"

namespace halvane {
namespace {

using test_support::ErrorNumber;

// A Date Variant may hold any Double (from C++ or from an automation
// client); one outside 1 January 100 .. 31 December 9999 has no calendar day
// and raises overflow instead of converting an out-of-range number.
TEST(FuzzFound, DateOutsideTheValidRangeRaisesOverflow) {
  for (double d : {1e300, -1e300, kMaxDate + 1.0, kMinDate - 1.0, std::numeric_limits<double>::quiet_NaN(),
                   std::numeric_limits<double>::infinity()}) {
    const Variant v = Variant::Date(d);
    EXPECT_EQ(ErrorNumber([&] { (void)ToString(v); }), kErrOverflow) << d;
    EXPECT_EQ(ErrorNumber([&] { (void)FormatDate(v, "mm/dd/yyyy"); }), kErrOverflow) << d;
    EXPECT_EQ(ErrorNumber([&] { (void)Month(v); }), kErrOverflow) << d;
  }
  // The last moment of 9999 that rounds to a second of it is still a date;
  // half a second before midnight rounds into the year 10000.
  EXPECT_EQ(ToString(Variant::Date(kMaxDate + 86399.0 / 86400)), "12/31/9999 11:59:59 PM");
  EXPECT_EQ(ErrorNumber([&] { (void)ToString(Variant::Date(kMaxDate + 86399.6 / 86400)); }), kErrOverflow);
  EXPECT_EQ(ToString(Variant::Date(kMinDate)), "1/1/100");
}

TEST(FuzzFound, CalendarRejectsAnOutOfRangeDateAndKeepsItsOwn) {
  Calendar c([] { return 46360.0; });
  c.ActiveDate(Variant("3/5/2004"));
  try {
    c.ActiveDate(Variant::Date(3.6e109));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), kErrOverflow);
    EXPECT_EQ(e.Source(), "Halvane.Calendar");
  }
  EXPECT_EQ(ToString(c.ActiveDate()), "03/05/2004");
}

}  // namespace
}  // namespace halvane
