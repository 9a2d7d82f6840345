// halvane serve over raw requests on 127.0.0.1: what pages read from the
// request (query, form bodies, cookies, headers, server variables) and how
// their status, content type, headers, cookies and redirects are answered,
// streamed or not; templates with includes; the body limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/serve/server.h"
#include "serve/http_client.h"

namespace halvane::serve {
namespace {

namespace fs = std::filesystem;
using testing::Fetch;
using testing::Get;

void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// Older than the page cache's "just changed" window, so cached pages are used.
void Age(const fs::path& p) { fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::minutes(5)); }

const char* const kEcho =
    "<%= Request.ServerVariables(\"REQUEST_METHOD\") %>|<%= Request.QueryString(\"q\") %>|<%= Request.QueryString %>"
    "|<%= Request.Form(\"city\") %>|<%= Request.Form %>|<%= Request.Cookies(\"Theme\") %>"
    "|<%= Request.ServerVariables(\"HTTP_X_TRACE\") %>|<%= Request.ServerVariables(\"CONTENT_TYPE\") %>"
    "|<%= Request.ServerVariables(\"CONTENT_LENGTH\") %>|<%= Request.ServerVariables(\"SCRIPT_NAME\") %>"
    "|<%= Request.ServerVariables(\"REMOTE_ADDR\") %>|<%= Request(\"both\") %>";

class ServePages : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("halvane-serve-pages-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(base_);
    root_ = base_ / "site";
    WriteFile(base_ / "secret.inc", "SECRET");
    WriteFile(root_ / "sub" / "echo.hvp", kEcho);
    WriteFile(root_ / "head.hvp",
              "<% Response.Status = \"201 Created\" : Response.ContentType = \"text/plain; charset=utf-8\"\n"
              "Response.Cookies(\"sid\") = \"a b\" : Response.AddHeader \"X-Page\", \"one\"\n"
              "Response.Cookies(\"SID\") = \"c\" %>plain");
    WriteFile(root_ / "html.hvp", "<% Response.AddHeader \"X-Page\", \"html\" %>page");
    WriteFile(root_ / "redirect.hvp",
              "gone<% Response.Cookies(\"a\") = 1 : Response.Redirect \"/html.hvp?x=1\" %>never");
    WriteFile(root_ / "stream.hvp",
              "<% Response.Status = \"202 Accepted\" : Response.AddHeader \"X-Early\", \"yes\" %>first"
              "<% Response.Flush : Sleep 20 %>second<% Response.AddHeader \"X-Late\", \"no\" %>NOT-REACHED");
    WriteFile(root_ / "fails.hvp", "<% Response.AddHeader \"X-Page\", \"lost\" %>lost<% x = 1 / 0 %>");
    WriteFile(root_ / "ended.hvp", "kept<% Response.End %>never");
    WriteFile(root_ / "include.hvp", "<!--#include file=\"parts/top.inc\"-->|page");
    WriteFile(root_ / "parts" / "top.inc", "top <%= 1 + 1 %>");
    WriteFile(root_ / "outside.hvp", "<!--#include file=\"../secret.inc\"-->");
    WriteFile(root_ / "index.hvs", "Response.Write \"script index\"");
    WriteFile(root_ / "index.hvp", "template index");
    WriteFile(root_ / "only" / "index.hvs", "Response.Write \"only script\"");
    Options o;
    o.root = root_;
    o.port = 0;
    o.timeout = std::chrono::milliseconds(5000);
    o.max_body = 64;
    o.log = nullptr;
    server_ = std::make_unique<Server>(o);
    port_ = server_->Bind();
    thread_ = std::thread([this] { server_->Serve(); });
    prefix_ = HtmlPrefix(o);
  }
  void TearDown() override {
    server_->Stop();
    thread_.join();
    server_.reset();
    fs::remove_all(base_);
  }

  fs::path base_, root_;
  std::unique_ptr<Server> server_;
  std::thread thread_;
  int port_ = 0;
  std::string prefix_;
};

TEST_F(ServePages, WhatARequestCarries) {
  struct Case {
    const char* what;
    const char* method;
    const char* target;
    std::string extra;
    std::string body;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"a GET with query, cookies and a header", "GET", "/sub/echo.hvp?q=a+b%21&both=Q",
       "Cookie: theme=dark; Theme=light; both=C\r\nX-Trace: one\r\nX-Trace: two\r\n", "",
       "GET|a b!|q=a+b%21&both=Q|||dark|one, two|||/sub/echo.hvp|127.0.0.1|Q"},
      {"a url-encoded POST", "POST", "/sub/echo.hvp",
       "Content-Type: application/x-www-form-urlencoded\r\nCookie: both=C\r\n", "city=S%C3%A3o+Paulo&both=F",
       "POST|||S\xC3\xA3o Paulo|city=S%C3%A3o+Paulo&both=F|||application/x-www-form-urlencoded|26|/sub/echo.hvp|"
       "127.0.0.1|F"},
      {"a POST of another type has no form", "POST", "/sub/echo.hvp", "Content-Type: text/plain\r\n", "city=x",
       "POST|||||||text/plain|6|/sub/echo.hvp|127.0.0.1|"},
      {"posted markup comes back as the page writes it", "POST", "/sub/echo.hvp?q=%3Cb%3E",
       "Content-Type: application/x-www-form-urlencoded\r\n", "city=%3Cscript%3E",
       "POST|<b>|q=%3Cb%3E|<script>|city=%3Cscript%3E|||application/x-www-form-urlencoded|17|/sub/echo.hvp|"
       "127.0.0.1|"},
  };
  for (const Case& c : cases) {
    auto r = Fetch(port_, c.method, c.target, c.extra, c.body);
    EXPECT_EQ(r.status, 200) << c.what;
    EXPECT_EQ(r.body, prefix_ + c.expected) << c.what;
  }
}

TEST_F(ServePages, ServerVariablesOfTheConnection) {
  WriteFile(root_ / "vars.hvp",
            "<%= Request.ServerVariables(\"SERVER_PORT\") %> <%= Request.ServerVariables(\"SERVER_PROTOCOL\") %> "
            "<%= Request.ServerVariables(\"HTTPS\") %> <%= Request.ServerVariables(\"SERVER_NAME\") %>");
  auto r = Get(port_, "/vars.hvp");
  EXPECT_EQ(r.body, prefix_ + std::to_string(port_) + " HTTP/1.1 off 127.0.0.1");
}

TEST_F(ServePages, StatusTypeHeadersAndCookies) {
  auto r = Get(port_, "/head.hvp");
  EXPECT_EQ(r.status, 201);
  EXPECT_EQ(r.Header("content-type"), "text/plain; charset=utf-8");
  EXPECT_EQ(r.Header("x-page"), "one");
  EXPECT_EQ(r.Header("set-cookie"), "SID=c; Path=/; SameSite=Lax");
  // Not HTML: no compatibility script in front.
  EXPECT_EQ(r.body, "plain");

  r = Get(port_, "/html.hvp");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.Header("content-type"), "text/html; charset=utf-8");
  EXPECT_EQ(r.Header("x-page"), "html");
  EXPECT_EQ(r.body, prefix_ + "page");

  r = Fetch(port_, "HEAD", "/head.hvp");
  EXPECT_EQ(r.status, 201);
  EXPECT_EQ(r.Header("x-page"), "one");
  EXPECT_EQ(r.body, "");
}

TEST_F(ServePages, RedirectEndAndErrors) {
  auto r = Get(port_, "/redirect.hvp");
  EXPECT_EQ(r.status, 302);
  EXPECT_EQ(r.Header("location"), "/html.hvp?x=1");
  EXPECT_EQ(r.Header("set-cookie"), "a=1; Path=/; SameSite=Lax");
  EXPECT_EQ(r.body, "");

  r = Get(port_, "/ended.hvp");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, prefix_ + "kept");

  // An error before anything was sent: a 500 page, without the page's head.
  r = Get(port_, "/fails.hvp");
  EXPECT_EQ(r.status, 500);
  EXPECT_FALSE(r.Has("x-page"));
  EXPECT_NE(r.body.find("/fails.hvp:1: error 0x800A000B"), std::string::npos) << r.body;
  EXPECT_EQ(r.body.find("lost"), std::string::npos) << r.body;
}

TEST_F(ServePages, StreamingSendsThePageHeadWithTheFirstFlush) {
  auto r = Get(port_, "/stream.hvp");
  EXPECT_EQ(r.status, 202);
  EXPECT_TRUE(r.chunked);
  EXPECT_EQ(r.Header("x-early"), "yes");
  EXPECT_FALSE(r.Has("x-late"));
  // A header after the first flush is error 5, appended to the stream.
  EXPECT_EQ(r.body.rfind(prefix_ + "firstsecond", 0), 0u) << r.body;
  EXPECT_NE(r.body.find("/stream.hvp:1: error 0x800A0005"), std::string::npos) << r.body;
  EXPECT_EQ(r.body.find("NOT-REACHED"), std::string::npos);
}

TEST_F(ServePages, TemplatesIncludesAndIndexes) {
  EXPECT_EQ(Get(port_, "/").body, prefix_ + "template index");
  EXPECT_EQ(Get(port_, "/only/").body, prefix_ + "only script");
  EXPECT_EQ(Get(port_, "/include.hvp").body, prefix_ + "top 2|page");

  auto r = Get(port_, "/outside.hvp");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("/outside.hvp:1:1: syntax error: the include &quot;../secret.inc&quot; leads outside"),
            std::string::npos)
      << r.body;
  EXPECT_EQ(r.body.find("SECRET"), std::string::npos);

  // A cached template is compiled again when one of its includes changes.
  Age(root_ / "include.hvp");
  Age(root_ / "parts" / "top.inc");
  EXPECT_EQ(Get(port_, "/include.hvp").body, prefix_ + "top 2|page");
  WriteFile(root_ / "parts" / "top.inc", "new top");
  Age(root_ / "parts" / "top.inc");
  EXPECT_EQ(Get(port_, "/include.hvp").body, prefix_ + "new top|page");
}

TEST_F(ServePages, BodiesOverTheLimitAreRefusedBeforeThePageRuns) {
  WriteFile(root_ / "count.hvp", "<% Response.Cookies(\"ran\") = 1 %>ran");
  auto r = Fetch(port_, "POST", "/count.hvp", "Content-Type: application/x-www-form-urlencoded\r\n",
                 "a=" + std::string(100, 'x'));
  EXPECT_EQ(r.status, 413);
  EXPECT_FALSE(r.Has("set-cookie"));
  r = Fetch(port_, "POST", "/count.hvp", "Content-Type: application/x-www-form-urlencoded\r\n", "a=1");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.Header("set-cookie"), "ran=1; Path=/; SameSite=Lax");
}

}  // namespace
}  // namespace halvane::serve
