// Request, Response and Server held in variables, passed to procedures and
// compared, with their members called through the variable: the same
// results and errors as on the literal names.  Then, under halvane serve,
// a page's own status code and include files kept from clients.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <unistd.h>

#include "host/script/interpreter.h"
#include "host/serve/server.h"
#include "host/web/page_io.h"
#include "serve/http_client.h"

namespace halvane::script {
namespace {

// The head (status line, then every header line) and the body, as sent.
struct Sink : web::ResponseSink {
  std::string text;
  void SendHead(const web::PageResponse& r) override {
    text += r.Status() + "|" + r.ContentType() + "\n";
    for (const auto& h : r.Headers()) text += h.name + ": " + h.value + "\n";
  }
  void SendBody(std::string_view b) override { text += b; }
};

std::string RunWithRequest(const std::string& source) {
  web::RequestData d;
  d.method = "POST";
  d.query = "x=1&y=2";
  d.body = "f=a+b";
  d.content_type = "application/x-www-form-urlencoded";
  Sink sink;
  web::PageResponse response(sink);
  auto program = Parse(source, "t.hvs");
  Result r = RunPage(*program, web::PageRequest(d), response);
  response.Finish();
  return sink.text + (r.outcome == Outcome::Completed ? "" : "\n" + Describe(*program, r));
}

TEST(PageObjectValues, BehaveAsTheLiteralNames) {
  const char* const kCases[][2] = {
      {"Set r = Request : Set o = Response : Set s = Server : Set n = Nothing\n"
       "o.Write TypeName(r) & VarType(o) & IsObject(s) & TypeName(n) & (r Is Request) & (o Is r) & (n Is s)\n"
       "o.Write \"|\" & r(\"x\") & r.QueryString(\"y\") & r.QueryString & r.Form & r.Form(\"F\") & "
       "r.ServerVariables(\"REQUEST_METHOD\") & s.HTMLEncode(\"<\") & TypeName(s.CreateObject(\"Halvane.Tree\"))\n"
       "Server.CreateObject(\"Halvane.Tree\").Width = 5 : o.Write Server.CreateObject(\"Halvane.Tree\").Width",
       "200 OK|text/html; charset=utf-8\nObject9TrueNothingTrueFalseFalse|12x=1&y=2f=a+ba bPOST&lt;Tree1"},
      {"Function G()\nSet G = Response\nEnd Function\nSub W(o, q)\no.Write q.Form(\"f\")\nEnd Sub\n"
       "Dim a(1) : Set a(0) = Request : W G, a(0) : G().Write \"(\" & a(0)(\"y\") : Call G.Write(\")\")\n"
       "Set o = G : o.Status = \"299 Own Words\" : o.ContentType = \"text/plain\" : o.Cookies(\"c\") = \"d e\"\n"
       "o.AddHeader \"X-A\", 1 : o.Flush : o.Write \"!\" : o.End : o.Write \"never\"",
       "299 Own Words|text/plain\nSet-Cookie: c=d+e; Path=/; SameSite=Lax\nX-A: 1\na b(2)!"},
      // The errors of the literal names, then the same and more through variables.
      {"Sub E\nResponse.Write Err.Number & \" \" : Err.Clear\nEnd Sub\nOn Error Resume Next\n"
       "x = Response.Status : E : Response.Status \"1\" : E : Request.Form \"x\" : E : Request(\"x\") : E\n"
       "Response.Write Request : E : x = (Request = Request) : E",
       "200 OK|text/html; charset=utf-8\n438 438 438 438 438 438 "},
      {"Sub E\nResponse.Write Err.Number & \" \" : Err.Clear\nEnd Sub\n"
       "Set o = Response : Set q = Request : On Error Resume Next\n"
       "x = o.Status : E : o.Status \"1\" : E : q.Form \"x\" : E : q(\"x\") : E\n"
       "o.Write q : E : x = (q = q) : E : o.Nope : E : x = q.Form(\"a\", \"b\") : E : o.AddHeader , 1 : E\n"
       "Set z = 1 : E : o.Status = \"100 Continue\" : E",
       "200 OK|text/html; charset=utf-8\n438 438 438 438 438 438 438 450 13 424 5 "},
  };
  for (const auto& c : kCases) EXPECT_EQ(RunWithRequest(c[0]), c[1]) << c[0];
  // The literal names keep their parse-time checks.
  for (const char* bad : {"x = Request.Nope", "Set e = Err", "x = Err", "Set Request = Nothing"}) {
    EXPECT_THROW(Parse(bad, "t.hvs"), SyntaxError) << bad;
  }
}

TEST(PageObjectValues, ServeSendsThePagesCodeAndKeepsIncludesBack) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("halvane-page-values-" + std::to_string(::getpid()));
  fs::create_directories(root / "parts");
  std::ofstream(root / "own.hvp") << "<!--#include file=\"parts/a.INC\"--><% Response.Status = \"299 Own Words\" %>";
  std::ofstream(root / "parts" / "a.INC") << "included ";
  std::ofstream(root / "cross.hvp") << "<!--#include file=\"parts/open.inc\"--><% End If %>";
  std::ofstream(root / "parts" / "open.inc") << "<% If True Then %>";
  serve::Options o;
  o.root = fs::canonical(root);
  o.port = 0;
  o.log = nullptr;
  serve::Server server(o);
  const int port = server.Bind();
  std::thread t([&] { server.Serve(); });
  auto r = serve::testing::Get(port, "/own.hvp");
  EXPECT_EQ(r.status, 299);
  EXPECT_EQ(r.body, serve::HtmlPrefix(o) + "included ");
  EXPECT_EQ(serve::testing::Get(port, "/parts/a.INC").status, 404);
  // A block opened in an include cannot be closed by the page.
  EXPECT_NE(serve::testing::Get(port, "/cross.hvp").body.find("a block must open and close in one file"),
            std::string::npos);
  server.Stop();
  t.join();
  fs::remove_all(root);
}

}  // namespace
}  // namespace halvane::script
