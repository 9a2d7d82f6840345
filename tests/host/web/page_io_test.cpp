// Request and response text: how ill-formed UTF-8 is repaired on the way in
// and on the way out, and how names are matched without regard to case.
#include "host/web/page_io.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "support/data_files.h"

namespace halvane::web {
namespace {

// The rows of page_io_cases.txt: the repairs of ill-formed UTF-8 on the way
// in and on the way out, and which names match.
TEST(PageText, RepairsAndNameMatchesOfTheTable) {
  const auto rows = test_support::ReadRows(HALVANE_TEST_DIR "/page_io_cases.txt");
  EXPECT_EQ(rows.size(), 22u);
  const std::map<std::string, std::string (*)(std::string_view)> text = {
      {"RepairUtf8", RepairUtf8}, {"SendableText", SendableText}, {"UrlEncode", UrlEncode}, {"UrlDecode", UrlDecode}};
  for (const auto& row : rows) {
    if (row[0] == "NamesEqual") {
      EXPECT_EQ(NamesEqual(row[1], row[2]), row.at(3) == "1") << row[1] << " " << row[2];
    } else {
      EXPECT_EQ(text.at(row[0])(row[1]), row.at(2)) << row[0] << " " << row[1];
    }
  }
}

TEST(PageText, QueryNamesMatchWithoutRegardToCase) {
  RequestData data;
  data.query = "Color=red&size=9&COLOR=blue&%C3%89t%C3%A9=1";
  const PageRequest request(std::move(data));
  EXPECT_EQ(request.QueryString("color"), "red, blue");
  EXPECT_EQ(request.QueryString("\xC3\xA9T\xC3\x89"), "1");
  EXPECT_EQ(request.QueryString("colour"), std::nullopt);
}

}  // namespace
}  // namespace halvane::web
