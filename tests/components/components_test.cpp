// The components through the automation layer, driven by the case files of
// data/ (calls and their exact results), and what those files cannot say.
#include <gtest/gtest.h>

#include <filesystem>

#include "components/calendar/calendar.h"
#include "support/call_cases.h"

namespace halvane {
namespace {

TEST(Components, CaseFiles) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(HALVANE_TEST_DIR) / "data")) {
    if (entry.path().extension() != ".txt") continue;
    test_support::RunCallCases(entry.path());
    ++files;
  }
  EXPECT_GE(files, 6);
}

// ActiveDate starts as the clock's day, without its time.
TEST(Components, CalendarTakesItsDateFromTheClock) {
  Calendar fixed([] { return 46360.75; });  // 18:00 on 4 December 2026
  EXPECT_EQ(ToString(fixed.ActiveDate()), "12/04/2026");
  const std::string today = ToString(Calendar().ActiveDate());
  EXPECT_EQ(today.size(), 10u);
  EXPECT_TRUE(IsDate(Variant(today))) << today;
}

}  // namespace
}  // namespace halvane
