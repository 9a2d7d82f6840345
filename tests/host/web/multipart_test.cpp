// multipart/form-data bodies read as form fields, and the malformed ones
// refused with the reason; also how PageRequest shows them to a page.
#include "host/web/multipart.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvane::web {
namespace {

const std::string kType = "multipart/form-data; boundary=XyZ";

struct Row {
  const char* what;
  std::string type;
  std::string body;
  Pairs fields;       // when error is empty
  std::string error;  // the reason a malformed body gives
};

TEST(Multipart, PartsBecomeFieldsAndMalformedBodiesSayWhy) {
  const std::vector<Row> rows = {
      {"text and file parts, a preamble and an epilogue", kType,
       "preamble\r\n--XyZ\r\nContent-Disposition: form-data; name=\"city\"\r\n\r\nS\xC3\xA3o Paulo\r\n"
       "--XyZ\r\ncontent-disposition: FORM-DATA; filename=\"a b.txt\"; name=\"up\"\r\nContent-Type: text/plain\r\n\r\n"
       "file bytes\r\n--XyZ\r\n"
       "Content-Disposition: form-data; name=empty\r\n\r\n\r\n--XyZ--\r\nepilogue --XyZ",
       {{"city", "S\xC3\xA3o Paulo"}, {"up", "a b.txt"}, {"empty", ""}},
       ""},
      {"content keeps its line ends and lookalike boundaries", "Multipart/Form-Data ; Boundary=\"XyZ\"",
       "--XyZ\r\nContent-Disposition: form-data; name=\"t\"\r\n\r\na\r\nb\n--XyZx\r\n--XyZ-- \r\n", {{"t", "a\r\nb\n--XyZx"}},
       ""},
      {"a quoted name with escapes and a ';'; an empty file name; invalid UTF-8", kType,
       "--XyZ  \r\nContent-Disposition: form-data; name=\"a\\\"b;c\"\r\n\r\n\xFFx\r\n"
       "--XyZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"\"\r\n\r\nxx\r\n--XyZ--",
       {{"a\"b;c", "\xEF\xBF\xBDx"}, {"f", ""}},
       ""},
      {"only the closing boundary", kType, "--XyZ--", {}, ""},
      {"no boundary", "multipart/form-data", "--XyZ--", {}, "the multipart body has no boundary"},
      {"an empty boundary", "multipart/form-data; boundary=", "----", {}, "the multipart body has no boundary"},
      {"a boundary too long", "multipart/form-data; boundary=" + std::string(71, 'b'),
       "--" + std::string(71, 'b') + "--", {}, "the multipart body has no boundary"},
      {"an empty body", kType, "", {}, "the multipart body has no closing boundary"},
      {"no closing boundary", kType, "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n", {},
       "the multipart body has no closing boundary"},
      {"the body stops after a boundary", kType, "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--XyZ",
       {}, "the multipart body has no closing boundary"},
      {"a part without headers", kType, "--XyZ\r\n\r\nvalue\r\n--XyZ--", {}, "a part has no headers"},
      {"headers without their empty line", kType, "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n--XyZ--", {},
       "a part's headers do not end with an empty line"},
      {"a header line without a colon", kType, "--XyZ\r\nContent-Disposition form-data\r\n\r\nv\r\n--XyZ--", {},
       "a part's header line is not \"Name: value\""},
      {"no Content-Disposition", kType, "--XyZ\r\nContent-Type: text/plain\r\n\r\nv\r\n--XyZ--", {},
       "a part has no Content-Disposition header"},
      {"another disposition", kType, "--XyZ\r\nContent-Disposition: attachment; name=\"a\"\r\n\r\nv\r\n--XyZ--", {},
       "a part's Content-Disposition is not form-data"},
      {"no name, only a file name", kType,
       "--XyZ\r\nContent-Disposition: form-data; filename=\"x\"\r\n\r\nv\r\n--XyZ--", {}, "a part has no name"},
      {"an unclosed quote", kType, "--XyZ\r\nContent-Disposition: form-data; name=\"a\r\n\r\nv\r\n--XyZ--", {},
       "a part has no name"},
      {"text after a boundary", kType, "--XyZjunk\r\nContent-Disposition: form-data; name=a\r\n\r\nv\r\n--XyZ--", {},
       "a boundary line has text after the boundary"},
  };
  for (const Row& row : rows) {
    const MultipartFields got = ParseMultipart(row.type, row.body);
    EXPECT_EQ(got.error, row.error) << row.what;
    if (row.error.empty()) {
      EXPECT_EQ(got.fields, row.fields) << row.what;
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
