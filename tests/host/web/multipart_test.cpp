// multipart/form-data bodies read as form fields, and the malformed ones
// refused with the reason; also how PageRequest shows them to a page.
#include "host/web/multipart.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/data_files.h"

namespace halvane::web {
namespace {

const std::string kType = "multipart/form-data; boundary=XyZ";

TEST(Multipart, PartsBecomeFieldsAndMalformedBodiesSayWhy) {
  const auto rows = test_support::ReadRows(HALVANE_TEST_DIR "/multipart_cases.txt");
  EXPECT_GT(rows.size(), 15u);
  for (const auto& row : rows) {
    ASSERT_GE(row.size(), 4u) << row[0];
    const MultipartFields got = ParseMultipart(row[1], row[2]);
    EXPECT_EQ(got.error, row[3]) << row[0];
    Pairs fields;
    for (std::size_t i = 4; i + 1 < row.size(); i += 2) fields.emplace_back(row[i], row[i + 1]);
    if (row[3].empty()) {
      EXPECT_EQ(got.fields, fields) << row[0];
    }
  }
}

TEST(Multipart, FormBodyKindsByContentType) {
  EXPECT_EQ(FormBodyOf("application/x-www-form-urlencoded; charset=UTF-8"), FormBody::UrlEncoded);
  EXPECT_EQ(FormBodyOf(" MULTIPART/form-data;boundary=a"), FormBody::Multipart);
  EXPECT_EQ(FormBodyOf("multipart/mixed; boundary=a"), FormBody::None);
  EXPECT_EQ(FormBodyOf("text/plain"), FormBody::None);
  EXPECT_EQ(FormBodyOf(""), FormBody::None);
}

// A page sees the parts as Request.Form fields (several of one name joined
// with ", ") and an empty raw form; a malformed body gives no fields.
TEST(Multipart, PageRequestReadsThePartsAsItsForm) {
  RequestData d;
  d.method = "POST";
  d.content_type = kType;
  d.body =
      "--XyZ\r\nContent-Disposition: form-data; name=\"Tag\"\r\n\r\none\r\n"
      "--XyZ\r\nContent-Disposition: form-data; name=\"tag\"\r\n\r\ntwo\r\n"
      "--XyZ\r\nContent-Disposition: form-data; name=\"doc\"; filename=\"r\xC3\xA9sum\xC3\xA9.pdf\"\r\n\r\n%PDF\r\n"
      "--XyZ--\r\n";
  const PageRequest ok(d);
  EXPECT_EQ(ok.BodyError(), "");
  EXPECT_EQ(ok.RawForm(), "");
  EXPECT_EQ(ok.Form("TAG"), "one, two");
  EXPECT_EQ(ok.Form("doc"), "r\xC3\xA9sum\xC3\xA9.pdf");
  EXPECT_EQ(ok.Form("missing"), std::nullopt);
  EXPECT_EQ(ok.Item("tag"), "one, two");

  d.body.resize(d.body.size() - 9);  // without the closing boundary
  const PageRequest bad(d);
  EXPECT_EQ(bad.BodyError(), "the multipart body has no closing boundary");
  EXPECT_EQ(bad.Form("tag"), std::nullopt);
  EXPECT_EQ(bad.RawForm(), "");
}

}  // namespace
}  // namespace halvane::web
