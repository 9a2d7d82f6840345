// `halvane run` from the outside on pages that read the request and shape
// the response: each case writes its files, runs the program with options
// and compares standard output, the start of standard error and the exit
// status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct PageCase {
  const char* what;
  std::map<std::string, std::string> files;  // name -> text; the page is "page.hvp" unless args say
  std::vector<std::string> args;             // after "run"
  std::string out;
  int status = 0;
  std::string err = "";  // standard error must start with this ("" = must be empty)
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class RunPage : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef HALVANE_BIN
    GTEST_SKIP() << "the halvane program is not built";
#endif
    dir_ = fs::temp_directory_path() / ("halvane-run-page-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Check(const PageCase& c) {
#ifdef HALVANE_BIN
    const fs::path site = dir_ / "site";
    fs::remove_all(site);
    fs::create_directories(site);
    for (const auto& [name, text] : c.files) {
      fs::create_directories((site / name).parent_path());
      std::ofstream(site / name, std::ios::binary) << text;
    }
    std::string cmd = "cd " + Quote(site.string()) + " && " + Quote(HALVANE_BIN) + " run";
    for (const std::string& a : c.args) cmd += " " + Quote(a);
    cmd += " > " + Quote((dir_ / "out").string()) + " 2> " + Quote((dir_ / "err").string());
    cmd += c.files.count("stdin") ? " < stdin" : " < /dev/null";
    const int raw = std::system(cmd.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    EXPECT_EQ(Slurp(dir_ / "out"), c.out) << c.what;
    EXPECT_EQ(status, c.status) << c.what;
    const std::string err = Slurp(dir_ / "err");
    if (c.err.empty()) {
      EXPECT_EQ(err, "") << c.what;
    } else {
      EXPECT_EQ(err.substr(0, c.err.size()), c.err) << c.what;
    }
#else
    (void)c;
#endif
  }

  fs::path dir_;
};

const char* const kHead = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n";

TEST_F(RunPage, Requests) {
  const std::vector<PageCase> cases = {
      {"query values, raw text, Empty when absent",
       {{"page.hvp",
         "<%= Request.QueryString(\"A\") %>|<%= Request.QueryString %>|"
         "<%= IsEmpty(Request.QueryString(\"zz\")) %>|<%= IsEmpty(Request.QueryString) %>"}},
       {"page.hvp", "--query", "a=1+2&a=%41%"},
       "1 2, A%|a=1+2&a=%41%|True|False"},
      {"nothing sent: raw texts are empty Strings",
       {{"page.hvp", "[<%= Request.QueryString %>][<%= Request.Form %>]<%= TypeName(Request.Form) %>"}},
       {"page.hvp"},
       "[][]String"},
      {"a leading ? belongs to the first name",
       {{"page.hvp", "<%= Request.QueryString(\"?x\") %>,<%= IsEmpty(Request.QueryString(\"x\")) %>"}},
       {"--query", "?x=1", "page.hvp"},
       "1,True"},
      {"a form makes a POST with its type and length",
       {{"page.hvp",
         "<%= Request.ServerVariables(\"REQUEST_METHOD\") %> <%= Request.Form(\"city\") %> "
         "<%= Request.ServerVariables(\"CONTENT_TYPE\") %> <%= Request.ServerVariables(\"CONTENT_LENGTH\") %>"}},
       {"page.hvp", "--form", "city=S%C3%A3o+Paulo"},
       "POST S\xC3\xA3o Paulo application/x-www-form-urlencoded 19"},
      {"a GET has no content type or length",
       {{"page.hvp",
         "<%= Request.ServerVariables(\"REQUEST_METHOD\") %>[<%= Request.ServerVariables(\"CONTENT_TYPE\") %>]"
         "[<%= Request.ServerVariables(\"CONTENT_LENGTH\") %>]"}},
       {"page.hvp"},
       "GET[][]"},
      {"cookies: the first of a name wins, quotes kept, also HTTP_COOKIE",
       {{"page.hvp",
         "<%= Request.Cookies(\"THEME\") %> <%= Request.Cookies(\"q\") %> "
         "<%= Request.ServerVariables(\"HTTP_COOKIE\") %>"}},
       {"page.hvp", "--cookie", "theme=dark+blue; Theme=light; q=\"a\""},
       "dark blue \"a\" theme=dark+blue; Theme=light; q=\"a\""},
      {"headers of one name joined, values trimmed",
       {{"page.hvp",
         "<%= Request.ServerVariables(\"HTTP_X_TRACE_ID\") %>|<%= Request.ServerVariables(\"http_accept\") %>"}},
       {"page.hvp", "--header", "X-Trace-Id:  one ", "--header", "x-trace-id: two", "--header", "Accept: */*"},
       "one, two|*/*"},
      {"the server variables of a run",
       {{"dir/My Page.HVP",
         "<%= Request.ServerVariables(\"SCRIPT_NAME\") %> <%= Request.ServerVariables(\"PATH_INFO\") %> "
         "<%= Request.ServerVariables(\"REMOTE_ADDR\") %> <%= Request.ServerVariables(\"SERVER_NAME\") %> "
         "<%= Request.ServerVariables(\"SERVER_PORT\") %> <%= Request.ServerVariables(\"SERVER_PROTOCOL\") %> "
         "<%= Request.ServerVariables(\"HTTPS\") %> <%= IsEmpty(Request.ServerVariables(\"NOPE\")) %>"}},
       {"dir/My Page.HVP"},
       "/My Page.HVP /My Page.HVP 127.0.0.1 localhost 80 HTTP/1.1 off True"},
      {"Request(name): query, then form, then cookies, then server variables",
       {{"page.hvp",
         "<%= Request(\"a\") %><%= Request(\"b\") %><%= Request(\"c\") %>"
         "<%= Request(\"server_port\") %><%= IsEmpty(Request(\"d\")) %>"}},
       {"page.hvp", "--query", "a=q", "--form", "a=f&b=f", "--cookie", "a=c; b=c; c=c"},
       "qfc80True"},
      {"invalid UTF-8 and malformed escapes",
       {{"page.hvp", "<%= Request.QueryString(\"s\") %>|<%= Len(Request.QueryString(\"s\")) %>"}},
       {"page.hvp", "--query", "s=%E2%82%41%ZZ"},
       "\xEF\xBF\xBD"
       "A%ZZ|5"},
      {"Request values in a script read from standard input",
       {{"stdin", "Response.Write Request.QueryString(\"q\") & Request.ServerVariables(\"SCRIPT_NAME\")\n"}},
       {"-", "--query", "q=hi"},
       "hi/"},
  };
  for (const PageCase& c : cases) Check(c);
}

TEST_F(RunPage, Responses) {
  const std::vector<PageCase> cases = {
      {"-i: the default head", {{"page.hvp", "body"}}, {"-i", "page.hvp"}, std::string(kHead) + "body"},
      {"-i: status, type, headers and cookies in the order of the calls, a cookie replaced in place",
       {{"page.hvp",
         "<% Response.Cookies(\"Sid\") = \"a b;\" : Response.AddHeader \"X-One\", 1 : Response.Status = \"201 "
         "Created\"\n"
         "Response.ContentType = \"text/plain\" : Response.Cookies(\"sid\") = 2 : Response.AddHeader \"X-One\", "
         "\"\xC3\xA9\" %>ok"}},
       {"page.hvp", "-i"},
       "HTTP/1.1 201 Created\r\nContent-Type: text/plain\r\nSet-Cookie: sid=2; Path=/; SameSite=Lax\r\n"
       "X-One: 1\r\nX-One: \xC3\xA9\r\n\r\nok"},
      {"a redirect clears the output and ends the page",
       {{"page.hvp", "gone<% Response.AddHeader \"X-A\", \"1\" : Response.Redirect \"next.hvp?a=1\" %>never"}},
       {"page.hvp", "-i"},
       "HTTP/1.1 302 Found\r\nContent-Type: text/html; charset=utf-8\r\nX-A: 1\r\nLocation: next.hvp?a=1\r\n\r\n"},
      {"Response.End keeps what was written", {{"page.hvp", "kept<% Response.End %>never"}}, {"page.hvp"}, "kept"},
      {"Response.End inside a procedure under On Error Resume Next still ends the page",
       {{"page.hvp",
         "<% On Error Resume Next : Stop1 : Response.Write \"never\"\nSub Stop1\nResponse.End\nEnd Sub %>"}},
       {"page.hvp"},
       ""},
      {"Response.Clear drops what was not flushed",
       {{"page.hvp", "a<% Response.Flush %>b<% Response.Clear %>c"}},
       {"page.hvp"},
       "ac"},
      {"refused values give 5",
       {{"page.hvp",
         "<% On Error Resume Next\n"
         "Response.Status = \"20 OK\" : Response.Write Err.Number : Err.Clear\n"
         "Response.Status = \"200\" : Response.Write Err.Number : Err.Clear\n"
         "Response.AddHeader \"Bad Name\", \"v\" : Response.Write Err.Number : Err.Clear\n"
         "Response.AddHeader \"X\", \"a\" & vbTab & \"b\" : Response.Write Err.Number : Err.Clear\n"
         "Response.AddHeader \"X\", \"a\" & vbCrLf & \"Set-Cookie: x=1\" : Response.Write Err.Number : Err.Clear\n"
         "Response.ContentType = \"text/html\" & vbLf : Response.Write Err.Number : Err.Clear\n"
         "Response.Cookies(\"a b\") = 1 : Response.Write Err.Number : Err.Clear\n"
         "Response.Redirect \"x\" & Chr(0) : Response.Write Err.Number : Err.Clear %>"}},
       {"-i", "page.hvp"},
       std::string(kHead) + "55555555"},
      {"after the first flush the head is gone: 5",
       {{"page.hvp",
         "a<% Response.Flush : On Error Resume Next\n"
         "Response.Status = \"404 Not Found\" : Response.Write Err.Number : Err.Clear\n"
         "Response.ContentType = \"text/plain\" : Response.Write Err.Number : Err.Clear\n"
         "Response.AddHeader \"X\", \"1\" : Response.Write Err.Number : Err.Clear\n"
         "Response.Cookies(\"c\") = 1 : Response.Write Err.Number : Err.Clear\n"
         "Response.Redirect \"x\" : Response.Write Err.Number : Err.Clear %>"}},
       {"-i", "page.hvp"},
       std::string(kHead) + "a55555"},
      {"an unhandled error: the head as set, the body so far, the line on standard error",
       {{"page.hvp", "<% Response.Status = \"404 Not Found\" %>so far\n<% x = 1 / 0 %>never"}},
       {"-i", "page.hvp"},
       "HTTP/1.1 404 Not Found\r\nContent-Type: text/html; charset=utf-8\r\n\r\nso far\n",
       1,
       "page.hvp:2: error 0x800A000B: number 11, source \"Halvane\": Division by zero\n"},
      {"a get of a Response property, and Request or Server members as statements: 438",
       {{"page.hvp",
         "<% On Error Resume Next\n"
         "x = Response.Status : Response.Write Err.Number : Err.Clear\n"
         "Request.QueryString(\"a\") : Response.Write Err.Number : Err.Clear\n"
         "Server.HTMLEncode \"a\" : Response.Write Err.Number : Err.Clear\n"
         "Response.ContentType : Response.Write Err.Number : Err.Clear %>"}},
       {"page.hvp"},
       "438438438438"},
      {"Server.HTMLEncode and Server.URLEncode",
       {{"page.hvp",
         "<%= Server.HTMLEncode(\"<a href='x'>\"\"&\"\"</a>\") %> <%= IsNull(Server.HTMLEncode(Null)) %> "
         "<%= Server.URLEncode(\"a b/\xC3\xA9*~\") %> <%= Server.HTMLEncode(12) %> "
         "<%= TypeName(Server.CreateObject(\"Halvane.Tree\")) %>"}},
       {"page.hvp"},
       "&lt;a href=&#39;x&#39;&gt;&quot;&amp;&quot;&lt;/a&gt; True a+b%2F%C3%A9*%7E 12 Tree"},
  };
  for (const PageCase& c : cases) Check(c);
}

TEST_F(RunPage, Templates) {
  const std::vector<PageCase> cases = {
      {"blocks open and close structures across text",
       {{"page.hvp", "<ul>\n<% For i = 1 To 3 %><li><%= i %></li><% Next %>\n</ul><% If i > 3 Then %>!<% End If %>"}},
       {"page.hvp"},
       "<ul>\n<li>1</li><li>2</li><li>3</li>\n</ul>!"},
      {"text in a procedure is written when it is called",
       {{"page.hvp", "<% Sub Item(x) %><li><%= x %></li>\r\n<% End Sub\nItem 1 : Item \"b\" %>end"}},
       {"page.hvp"},
       "<li>1</li>\r\n<li>b</li>\r\nend"},
      {"blank text before the first Case is dropped",
       {{"page.hvp", "<% x = 2 : Select Case x %>\n  <% Case 1 %>one<% Case 2 %>two<% End Select %>"}},
       {"page.hvp"},
       "two"},
      {"other text before the first Case is an error",
       {{"page.hvp", "<% Select Case 1 %>\nhi\n<% Case 1 %><% End Select %>"}},
       {"page.hvp", "-i"},
       "",
       2,
       "page.hvp:1:20: syntax error: page text between 'Select Case' and its first 'Case'\n"},
      {"a string holding %> does not end a block; a comment does",
       {{"page.hvp", "<%= \"50%>\" %>|<% ' it's 100%> done"}},
       {"page.hvp"},
       "50%>| done"},
      {"<%= %> holds one expression",
       {{"page.hvp", "a\n<%= 1 : 2 %>"}},
       {"page.hvp"},
       "",
       2,
       "page.hvp:2:7: syntax error: \"<%=\" ... \"%>\" holds one expression\n"},
      {"an empty <%= %>",
       {{"page.hvp", "<%=  %>"}},
       {"page.hvp"},
       "",
       2,
       "page.hvp:1:4: syntax error: expected an expression"},
      {"an unclosed block",
       {{"page.hvp", "x\n <% y = 1"}},
       {"page.hvp"},
       "",
       2,
       "page.hvp:2:2: syntax error: \"<%\" without its closing \"%>\"\n"},
      {"Option Explicit in the first block",
       {{"page.hvp", "\xEF\xBB\xBF<% Option Explicit\nDim a : a = 1 %><%= a %>"}},
       {"page.hvp"},
       "1"},
      {"Option Explicit after text",
       {{"page.hvp", " <% Option Explicit %>"}},
       {"page.hvp"},
       "",
       2,
       "page.hvp:1:5: syntax error: 'Option Explicit' must be the first statement of the page\n"},
      {"includes with their own positions for run-time errors",
       {{"page.hvp", "<% n = 0 %>top\n<!--#include file=\"parts/inc.inc\"-->\nafter"},
        {"parts/inc.inc", "\xEF\xBB\xBF[<%= n %>]\n<%= 1 / n %>"}},
       {"page.hvp"},
       "top\n[0]\n",
       1,
       "parts/inc.inc:2: error 0x800A000B: number 11, source \"Halvane\": Division by zero\n"},
      {"a syntax error in an include names the include; nothing is written",
       {{"page.hvp", "<!--#include file=\"inc.inc\"-->"}, {"inc.inc", "ok\n<% If %>"}},
       {"page.hvp", "-i"},
       "",
       2,
       "inc.inc:2:"},
      {"a missing include names the including line",
       {{"page.hvp", "a\n<!--#include file=\"nope.inc\"-->"}},
       {"page.hvp"},
       "",
       2,
       "page.hvp:2:1: syntax error: the include file \"nope.inc\" does not exist\n"},
      {"an include outside the page's folder",
       {{"dir/page.hvp", "<!--#include file=\"../secret.inc\"-->"}, {"secret.inc", "x"}},
       {"dir/page.hvp"},
       "",
       2,
       "dir/page.hvp:1:1: syntax error: the include \"../secret.inc\" leads outside the served folder\n"},
      {"a Sub from an include inside an If",
       {{"page.hvp", "<% If True Then %><!--#include file=\"s.inc\"--><% End If %>"},
        {"s.inc", "<% Sub S\nEnd Sub %>"}},
       {"page.hvp"},
       "",
       2,
       "s.inc:1:4: syntax error: a procedure may be declared only at the top level\n"},
      {"a procedure of an include, called from the page",
       {{"page.hvp", "<!--#include file=\"lib.inc\"--><%= Twice(21) %>"},
        {"lib.inc", "<% Function Twice(x)\nTwice = x * 2\nEnd Function %>"}},
       {"page.hvp"},
       "42"},
      {"unknown member of Response is a syntax error",
       {{"page.hvp", "<% Response.Wrte 1 %>"}},
       {"page.hvp"},
       "",
       2,
       "page.hvp:1:13: syntax error: 'Response' has no member 'Wrte'"},
      {"a .hvs page is a script even with template marks",
       {{"page.hvs", "Response.Write \"<%= 1 %>\""}},
       {"page.hvs"},
       "<%= 1 %>"},
  };
  for (const PageCase& c : cases) Check(c);
}

TEST_F(RunPage, CommandLine) {
  const std::vector<PageCase> cases = {
      {"an unknown option",
       {{"page.hvp", "x"}},
       {"page.hvp", "--verbose"},
       "",
       2,
       "halvane: run: unknown option --verbose\n"},
      {"a header without a colon",
       {{"page.hvp", "x"}},
       {"page.hvp", "--header", "X"},
       "",
       2,
       "halvane: run: --header needs"},
      {"an unreadable file", {}, {"missing.hvp"}, "", 2, "halvane: cannot read missing.hvp"},
      {"-i with a script", {{"p.hvs", "Response.Write 1"}}, {"p.hvs", "-i"}, std::string(kHead) + "1"},
  };
  for (const PageCase& c : cases) Check(c);
}

// Every form of the gallery, sent markup in each of its fields, answers
// with it encoded: the pages never write what the client sent as it stands.
TEST(GalleryForms, ClientTextComesBackEncoded) {
#if !defined(HALVANE_BIN) || !defined(HALVANE_EXAMPLES_DIR)
  GTEST_SKIP() << "the halvane program is not built";
#else
  const std::string payload = "<script>alert('x')</script>";
  const std::string sent = "%3Cscript%3Ealert('x')%3C%2Fscript%3E";
  const std::string encoded = "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;";
  struct Form {
    const char* page;
    const char* option;  // --form or --query
    std::vector<std::string> fields;
  };
  const std::vector<Form> forms = {
      {"calendar.hvp", "--form", {"due", "start", "clicked"}},
      {"autocomplete.hvp", "--form", {"city", "code"}},
      {"tabs.hvp", "--query", {"tab"}},
      {"menu.hvp", "--query", {"item"}},
  };
  const fs::path out = fs::temp_directory_path() / ("halvane-gallery-forms-" + std::to_string(::getpid()));
  for (const Form& f : forms) {
    for (const std::string& field : f.fields) {
      const std::string cmd = Quote(HALVANE_BIN) + " run " + Quote(std::string(HALVANE_EXAMPLES_DIR) + "/" + f.page) +
                              " " + f.option + " " + Quote(field + "=" + sent) + " > " + Quote(out.string());
      ASSERT_EQ(std::system(cmd.c_str()), 0) << f.page << " " << field;
      const std::string page = Slurp(out);
      EXPECT_EQ(page.find(payload), std::string::npos) << f.page << " " << field;
      EXPECT_NE(page.find(encoded), std::string::npos) << f.page << " " << field;
    }
  }
  fs::remove(out);
#endif
}

}  // namespace
