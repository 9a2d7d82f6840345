// Request and response text: how ill-formed UTF-8 is repaired on the way in
// and on the way out, and how names are matched without regard to case.
#include "host/web/page_io.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace halvane::web {
namespace {

const std::string kBad = "\xEF\xBF\xBD";

TEST(PageText, IllFormedBytesBecomeOneReplacementPerMaximalSubpart) {
  EXPECT_EQ(RepairUtf8("plain \x7F text"), "plain \x7F text");
  EXPECT_EQ(RepairUtf8("\xC2\x80\xE2\x82\xAC\xF0\x9F\x98\x80"), "\xC2\x80\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(RepairUtf8("a\x80z"), "a" + kBad + "z");
  EXPECT_EQ(RepairUtf8("\xE2\x82z"), kBad + "z");                           // one subpart, one U+FFFD
  EXPECT_EQ(RepairUtf8("\xF0\x9F\x98"), kBad);
  EXPECT_EQ(RepairUtf8("\xC0\xAF"), kBad + kBad);                           // overlong
  EXPECT_EQ(RepairUtf8("\xF4\x90\x80\x80"), kBad + kBad + kBad + kBad);     // above U+10FFFF
  EXPECT_EQ(RepairUtf8("\xED\xA0\x80!"), kBad + kBad + kBad + "!");         // a surrogate's form
  EXPECT_EQ(RepairUtf8("\xC3"), kBad);
  // Page strings carry an unpaired surrogate in its three-byte form: it
  // leaves as one U+FFFD; other bytes are repaired as above.
  EXPECT_EQ(SendableText("a\xED\xA0\x80" "b\xED\xBF\xBF"), "a" + kBad + "b" + kBad);
  EXPECT_EQ(SendableText("\xED\xA0" "c\xE2\x82"), kBad + kBad + "c" + kBad);
  EXPECT_EQ(SendableText("\xED\x9F\xBF\xC3\xA9"), "\xED\x9F\xBF\xC3\xA9");
  EXPECT_EQ(UrlEncode("\xED\xA0\x80\x7F"), "%EF%BF%BD%7F");
  EXPECT_EQ(UrlDecode("%C2%80%80+%7f"), "\xC2\x80" + kBad + " \x7F");
}

TEST(PageText, NamesMatchAsLowerCaseLettersOfEveryScriptTheCaseMappingKnows) {
  EXPECT_TRUE(NamesEqual("Content-TYPE", "content-type"));
  EXPECT_TRUE(NamesEqual("\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"));             // ÉTÉ
  EXPECT_TRUE(NamesEqual("\xCE\x86\xCE\xA3", "\xCE\xAC\xCF\x83"));              // ΆΣ
  EXPECT_TRUE(NamesEqual("\xD0\x81\xD0\x96", "\xD1\x91\xD0\xB6"));              // ЁЖ
  EXPECT_TRUE(NamesEqual("\xD4\xB1", "\xD5\xA1"));                              // Armenian
  EXPECT_FALSE(NamesEqual("name", "names"));
  EXPECT_FALSE(NamesEqual("\x7F", "\x5F"));
  EXPECT_FALSE(NamesEqual("\xC3\x80", "\xC3\xA1"));
  RequestData data;
  data.query = "Color=red&size=9&COLOR=blue&%C3%89t%C3%A9=1";
  const PageRequest request(std::move(data));
  EXPECT_EQ(request.QueryString("color"), "red, blue");
  EXPECT_EQ(request.QueryString("\xC3\xA9T\xC3\x89"), "1");
  EXPECT_EQ(request.QueryString("colour"), std::nullopt);
}

}  // namespace
}  // namespace halvane::web
