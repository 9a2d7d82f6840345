// The request and response model of pages: decoding of what clients send,
// the page's lookups, response validation and the head block.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/web/page_io.h"

namespace halvane::web {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct TextCase {
  std::string input;
  std::string expected;
};

TEST(PageText, RepairUtf8ReplacesEachMaximalSubpart) {
  const std::vector<TextCase> cases = {
      {"plain", "plain"},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"a\xFF"
       "b",
       "a" + kFffd + "b"},
      // A truncated 3-byte sequence is one subpart, then the next character.
      {"\xE2\x82"
       "A",
       kFffd + "A"},
      // C0 and C1 never start a sequence: one replacement each.
      {"\xC0\x80", kFffd + kFffd},
      // F0 needs 90..BF next: F0 alone is the subpart, 80 another.
      {"\xF0\x80\x80", kFffd + kFffd + kFffd},
      // Encoded surrogates are ill-formed: ED then two stray bytes.
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},
      // A 4-byte sequence cut after three bytes: one replacement.
      {"\xF0\x9F\x98", kFffd},
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},
      {"\x80\x80", kFffd + kFffd},
  };
  for (const TextCase& c : cases) EXPECT_EQ(RepairUtf8(c.input), c.expected) << c.input;
}

TEST(PageText, SendableTextTurnsALoneSurrogateIntoOneReplacement) {
  EXPECT_EQ(SendableText("a\xED\xA0\x80z"), "a" + kFffd + "z");
  EXPECT_EQ(SendableText("\xED\xBF\xBF"), kFffd);
  EXPECT_EQ(SendableText("x\xFF"), "x" + kFffd);
  EXPECT_EQ(SendableText("\xE2\x82\xAC"), "\xE2\x82\xAC");
}

TEST(PageText, UrlDecode) {
  const std::vector<TextCase> cases = {
      {"a+b", "a b"},
      {"%41%62%2b", "Ab+"},
      {"%e2%82%ac", "\xE2\x82\xAC"},
      // Malformed escapes stay as they stand.
      {"100%", "100%"},
      {"%4", "%4"},
      {"%G1x", "%G1x"},
      {"%%41", "%A"},
      // Decoded bytes that are not UTF-8.
      {"%FF%41", kFffd + "A"},
      {"%E2%82", kFffd},
      {"%3Cscript%3E", "<script>"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(UrlDecode(c.input), c.expected) << c.input;
}

TEST(PageText, NamesEqualFoldsCase) {
  EXPECT_TRUE(NamesEqual("City", "cITY"));
  EXPECT_TRUE(NamesEqual("\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"));  // ÉTÉ / été
  EXPECT_TRUE(NamesEqual("\xD0\x94", "\xD0\xB4"));                    // Д / д
  EXPECT_TRUE(NamesEqual("\xC5\x81", "\xC5\x82"));                    // Ł / ł
  EXPECT_FALSE(NamesEqual("city", "cities"));
  EXPECT_FALSE(NamesEqual("a", "b"));
}

TEST(PageText, HtmlEncodeAndUrlEncode) {
  EXPECT_EQ(HtmlEncode("<a href=\"x\">Tom & 'Jerry'</a>"),
            "&lt;a href=&quot;x&quot;&gt;Tom &amp; &#39;Jerry&#39;&lt;/a&gt;");
  EXPECT_EQ(HtmlEncode("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(UrlEncode("a b&c=d/e"), "a+b%26c%3Dd%2Fe");
  EXPECT_EQ(UrlEncode("Az09-_.*~!"), "Az09-_.*%7E%21");
  EXPECT_EQ(UrlEncode("\xC3\xA9"), "%C3%A9");
  EXPECT_EQ(UrlEncode("\r\n"), "%0D%0A");
  EXPECT_EQ(UrlEncode("\xED\xA0\x80"), "%EF%BF%BD");
  // Decoding undoes encoding.
  const std::string tricky = "x+y %41 & \xE2\x82\xAC;\"'";
  EXPECT_EQ(UrlDecode(UrlEncode(tricky)), tricky);
}

TEST(PageText, Tokens) {
  for (const char* good : {"X-Frame-Options", "a", "!#$%&'*+-.^_`|~09"}) EXPECT_TRUE(IsToken(good)) << good;
  for (const char* bad : {"", "a b", "a:b", "a\tb", "na\xC3\xAFve", "a(b)", "a\"b", "a,b", "a;b", "a=b"}) {
    EXPECT_FALSE(IsToken(bad)) << bad;
  }
}

TEST(PageRequestParsing, Params) {
  const Pairs p = ParseParams("a=1&&b=x+y&c&=v&%41%3d=%3D&d=1=2");
  const Pairs expected = {{"a", "1"}, {"b", "x y"}, {"c", ""}, {"", "v"}, {"A=", "="}, {"d", "1=2"}};
  EXPECT_EQ(p, expected);
  EXPECT_TRUE(ParseParams("").empty());
}

TEST(PageRequestParsing, Cookies) {
  const Pairs c = ParseCookies(" a=1; B = x+y%21 ;c;=skip; d=\"q\" ;a=2;e=");
  const Pairs expected = {{"a", "1"}, {"B", "x y!"}, {"c", ""}, {"d", "\"q\""}, {"a", "2"}, {"e", ""}};
  EXPECT_EQ(c, expected);
}

PageRequest Sample() {
  RequestData d;
  d.method = "POST";
  d.path = "/forms/calendar.hvp";
  d.query = "due=3%2F5%2F2004&tag=a&TAG=b&both=q&x=%FF";
  d.body = "city=S%C3%A3o+Paulo&both=f&empty=&Tag=c";
  d.content_type = "application/x-www-form-urlencoded; charset=UTF-8";
  d.content_length = "39";
  d.headers = {{"Host", "localhost:8080"},
               {"Cookie", "theme=dark; THEME=light; both=c; sid=\"a b\""},
               {"X-Trace-Id", "  one  "},
               {"x-trace-id", "two"},
               {"Cookie", "late=1"}};
  d.remote_addr = "10.0.0.7";
  d.server_name = "example.test";
  d.server_port = "8080";
  return PageRequest(d);
}

TEST(PageRequestLookup, CollectionsAndRawText) {
  const PageRequest r = Sample();
  struct Case {
    const char* what;
    std::optional<std::string> got, expected;
  };
  const std::vector<Case> cases = {
      {"query value", r.QueryString("DUE"), "3/5/2004"},
      {"query values joined", r.QueryString("tag"), "a, b"},
      {"query invalid UTF-8", r.QueryString("x"), kFffd},
      {"query missing", r.QueryString("city"), std::nullopt},
      {"form value", r.Form("City"), "S\xC3\xA3o Paulo"},
      {"form empty value", r.Form("empty"), ""},
      {"form missing", r.Form("due"), std::nullopt},
      {"first cookie wins", r.Cookie("Theme"), "dark"},
      {"cookie quotes kept", r.Cookie("sid"), "\"a b\""},
      {"cookie of a later header", r.Cookie("late"), "1"},
      {"cookie missing", r.Cookie("city"), std::nullopt},
      {"item: query first", r.Item("both"), "q"},
      {"item: then form", r.Item("city"), "S\xC3\xA3o Paulo"},
      {"item: then cookies", r.Item("theme"), "dark"},
      {"item: then server variables", r.Item("remote_addr"), "10.0.0.7"},
      {"item: none", r.Item("nothing"), std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
  EXPECT_EQ(r.RawQuery(), "due=3%2F5%2F2004&tag=a&TAG=b&both=q&x=%FF");
  EXPECT_EQ(r.RawForm(), "city=S%C3%A3o+Paulo&both=f&empty=&Tag=c");
}

TEST(PageRequestLookup, ServerVariables) {
  const PageRequest r = Sample();
  const std::vector<std::pair<const char*, std::optional<std::string>>> cases = {
      {"REQUEST_METHOD", "POST"},
      {"query_string", "due=3%2F5%2F2004&tag=a&TAG=b&both=q&x=%FF"},
      {"SCRIPT_NAME", "/forms/calendar.hvp"},
      {"PATH_INFO", "/forms/calendar.hvp"},
      {"CONTENT_TYPE", "application/x-www-form-urlencoded; charset=UTF-8"},
      {"CONTENT_LENGTH", "39"},
      {"REMOTE_ADDR", "10.0.0.7"},
      {"SERVER_NAME", "example.test"},
      {"SERVER_PORT", "8080"},
      {"SERVER_PROTOCOL", "HTTP/1.1"},
      {"HTTPS", "off"},
      {"HTTP_HOST", "localhost:8080"},
      {"HTTP_X_TRACE_ID", "one, two"},
      {"http_x_trace_id", "one, two"},
      {"HTTP_ACCEPT", std::nullopt},
      {"HTTP_", std::nullopt},
      {"NO_SUCH", std::nullopt},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(r.ServerVariable(name), expected) << name;
}

TEST(PageRequestLookup, FormOnlyForUrlEncodedBodies) {
  RequestData d;
  d.method = "POST";
  d.body = "a=1";
  for (const char* type : {"text/plain", "multipart/form-data; boundary=x", ""}) {
    d.content_type = type;
    const PageRequest r(d);
    EXPECT_FALSE(r.Form("a")) << type;
    EXPECT_EQ(r.RawForm(), "") << type;
  }
  d.content_type = "Application/X-WWW-Form-Urlencoded";
  EXPECT_EQ(PageRequest(d).Form("a"), "1");
  // Nothing sent: raw texts are empty, values Empty.
  const PageRequest none{RequestData{}};
  EXPECT_EQ(none.RawQuery(), "");
  EXPECT_EQ(none.RawForm(), "");
  EXPECT_FALSE(none.QueryString("a"));
}

// A sink that records what a response sends, in order.
class RecordingSink final : public ResponseSink {
 public:
  void SendHead(const PageResponse& r) override { log += "[head " + r.Status() + "]"; }
  void SendBody(std::string_view bytes) override { log += std::string(bytes); }
  void Flushed() override { log += "[flush]"; }
  std::string log;
};

TEST(PageResponseState, WriteFlushClearFinish) {
  RecordingSink sink;
  PageResponse r(sink);
  r.Write("a");
  r.Clear();
  r.Write("b");
  EXPECT_EQ(sink.log, "");
  r.Flush();
  r.Write("c");
  r.Clear();
  r.Write("d");
  r.Flush();
  r.Write("e");
  r.Finish();
  EXPECT_EQ(sink.log, "[head 200 OK]b[flush]d[flush]e");
}

TEST(PageResponseState, Validation) {
  struct Case {
    const char* what;
    bool (*call)(PageResponse&);
    bool ok;
  };
  const std::vector<Case> cases = {
      {"status", [](PageResponse& r) { return r.SetStatus("404 Not Found"); }, true},
      {"status with a non-ASCII reason", [](PageResponse& r) { return r.SetStatus("200 D\xC3\xA9j\xC3\xA0"); }, true},
      {"status without reason", [](PageResponse& r) { return r.SetStatus("404"); }, false},
      {"status with an empty reason", [](PageResponse& r) { return r.SetStatus("404 "); }, false},
      {"status of two digits", [](PageResponse& r) { return r.SetStatus("40 Not Found"); }, false},
      {"status of four digits", [](PageResponse& r) { return r.SetStatus("4040 Not Found"); }, false},
      {"status without its blank", [](PageResponse& r) { return r.SetStatus("404-Not Found"); }, false},
      {"status with a letter", [](PageResponse& r) { return r.SetStatus("4O4 Not Found"); }, false},
      {"status below 100", [](PageResponse& r) { return r.SetStatus("099 Early"); }, false},
      {"an interim 1xx status", [](PageResponse& r) { return r.SetStatus("100 Continue"); }, false},
      {"status 999", [](PageResponse& r) { return r.SetStatus("999 Odd"); }, true},
      {"status with LF", [](PageResponse& r) { return r.SetStatus("200 OK\nX: y"); }, false},
      {"content type", [](PageResponse& r) { return r.SetContentType("text/plain"); }, true},
      {"content type with CR", [](PageResponse& r) { return r.SetContentType("text/plain\r"); }, false},
      {"header", [](PageResponse& r) { return r.AddHeader("X-A", "v \xC3\xA9 \"q\""); }, true},
      {"header empty value", [](PageResponse& r) { return r.AddHeader("X-A", ""); }, true},
      {"header name with a blank", [](PageResponse& r) { return r.AddHeader("X A", "v"); }, false},
      {"header name with a colon", [](PageResponse& r) { return r.AddHeader("X:", "v"); }, false},
      {"header empty name", [](PageResponse& r) { return r.AddHeader("", "v"); }, false},
      {"header value with TAB", [](PageResponse& r) { return r.AddHeader("X-A", "a\tb"); }, false},
      {"header value with DEL", [](PageResponse& r) { return r.AddHeader("X-A", "a\x7F"); }, false},
      {"header value with NUL", [](PageResponse& r) { return r.AddHeader("X-A", std::string_view("a\0b", 3)); }, false},
      {"header value with CR LF", [](PageResponse& r) { return r.AddHeader("X-A", "a\r\nSet-Cookie: x"); }, false},
      {"cookie", [](PageResponse& r) { return r.SetCookie("sid", "a;b\r\n"); }, true},
      {"cookie name not a token", [](PageResponse& r) { return r.SetCookie("s id", "v"); }, false},
      {"cookie name with =", [](PageResponse& r) { return r.SetCookie("a=b", "v"); }, false},
      {"redirect", [](PageResponse& r) { return r.Redirect("/done.hvp?x=1"); }, true},
      {"redirect with LF", [](PageResponse& r) { return r.Redirect("/x\nSet-Cookie: a=b"); }, false},
  };
  for (const Case& c : cases) {
    RecordingSink sink;
    PageResponse fresh(sink);
    EXPECT_EQ(c.call(fresh), c.ok) << c.what;
    if (!c.ok) {
      // A refused call changes nothing.
      EXPECT_EQ(fresh.Status(), "200 OK") << c.what;
      EXPECT_EQ(fresh.ContentType(), "text/html; charset=utf-8") << c.what;
      EXPECT_TRUE(fresh.Headers().empty()) << c.what;
    }
    // Every valid call is refused once the head has gone out.
    PageResponse flushed(sink);
    flushed.Flush();
    EXPECT_FALSE(c.call(flushed)) << c.what << " after a flush";
    EXPECT_TRUE(flushed.Headers().empty()) << c.what << " after a flush";
  }
}

TEST(PageResponseState, HeadBlockInCallOrderWithCookiesReplacedInPlace) {
  RecordingSink sink;
  PageResponse r(sink);
  ASSERT_TRUE(r.SetCookie("Theme", "dark blue"));
  ASSERT_TRUE(r.AddHeader("X-One", "1"));
  ASSERT_TRUE(r.AddHeader("X-One", "2"));
  ASSERT_TRUE(r.SetCookie("sid", "<\xC3\xA9>"));
  ASSERT_TRUE(r.SetCookie("theme", "light"));
  ASSERT_TRUE(r.SetContentType("text/plain"));
  ASSERT_TRUE(r.SetStatus("201 Created"));
  EXPECT_EQ(HeadBlock(r),
            "HTTP/1.1 201 Created\r\n"
            "Content-Type: text/plain\r\n"
            "Set-Cookie: theme=light; Path=/; SameSite=Lax\r\n"
            "X-One: 1\r\n"
            "X-One: 2\r\n"
            "Set-Cookie: sid=%3C%C3%A9%3E; Path=/; SameSite=Lax\r\n"
            "\r\n");
  EXPECT_EQ(r.StatusCode(), 201);
}

TEST(PageResponseState, RedirectDropsUnflushedOutput) {
  RecordingSink sink;
  PageResponse r(sink);
  r.Write("gone");
  ASSERT_TRUE(r.AddHeader("X-Kept", "yes"));
  ASSERT_TRUE(r.Redirect("other.hvp"));
  EXPECT_TRUE(r.Redirected());
  EXPECT_EQ(r.StatusCode(), 302);
  r.Finish();
  EXPECT_EQ(sink.log, "[head 302 Found]");
  EXPECT_EQ(HeadBlock(r),
            "HTTP/1.1 302 Found\r\nContent-Type: text/html; charset=utf-8\r\nX-Kept: yes\r\n"
            "Location: other.hvp\r\n\r\n");
}

TEST(PageResponseState, SinkSeesTheRunningTotal) {
  struct Counting final : ResponseSink {
    void SendHead(const PageResponse&) override {}
    void SendBody(std::string_view) override {}
    void Wrote(std::size_t total) override { totals.push_back(total); }
    std::vector<std::size_t> totals;
  } sink;
  PageResponse r(sink);
  r.Write("abc");
  r.Clear();
  r.Write("de");
  EXPECT_EQ(sink.totals, (std::vector<std::size_t>{3, 5}));
}

}  // namespace
}  // namespace halvane::web
