// The `halvane run` command line and the request it stands for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/run_options.h"

namespace halvane::host {
namespace {

TEST(RunOptions, OptionsBeforeAndAfterTheFile) {
  const auto r = ParseRunOptions({"--query", "a=1", "page.hvp", "-i", "--form=b=2&c", "--header", " X-A :  v w ",
                                  "--cookie", "s=1", "--header", "X-A: again", "--query", "a=2"});
  ASSERT_EQ(r.error, "");
  const RunOptions& o = r.options;
  EXPECT_EQ(o.file, "page.hvp");
  EXPECT_TRUE(o.show_head);
  EXPECT_EQ(o.query, "a=2");  // the later one wins
  EXPECT_EQ(o.form, "b=2&c");
  EXPECT_EQ(o.cookie, "s=1");
  EXPECT_EQ(o.headers, (web::Pairs{{"X-A", "v w"}, {"X-A", "again"}}));
}

TEST(RunOptions, Faults) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{}, "which page? (a file, or - for standard input)"},
      {{"-i"}, "which page? (a file, or - for standard input)"},
      {{"a.hvs", "b.hvs"}, "one page at a time"},
      {{"a.hvs", "--quiet"}, "unknown option --quiet"},
      {{"-x", "a.hvs"}, "unknown option -x"},
      {{"a.hvs", "--query"}, "--query needs a value"},
      {{"a.hvs", "--header", "NoColon"}, "--header needs \"Name: value\" (got \"NoColon\")"},
      {{"a.hvs", "--header", "Bad Name: v"}, "--header needs \"Name: value\" (got \"Bad Name: v\")"},
      {{"a.hvs", "--header", ": v"}, "--header needs \"Name: value\" (got \": v\")"},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseRunOptions(c.args).error, c.error) << c.error;
}

TEST(RunOptions, StandardInputHelpAndDoubleDash) {
  EXPECT_EQ(ParseRunOptions({"-"}).options.file, "-");
  EXPECT_TRUE(ParseRunOptions({"--help", "--bogus"}).options.help);
  const auto r = ParseRunOptions({"--", "-odd.hvs"});
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.options.file, "-odd.hvs");
  // An option value may start with "-".
  EXPECT_EQ(ParseRunOptions({"--query", "-1", "p.hvs"}).options.query, "-1");
}

TEST(RunOptions, TemplateNames) {
  for (const char* t : {"a.hvp", "A.HVP", "dir.x/page.Hvp", ".hvp"}) EXPECT_TRUE(IsTemplateName(t)) << t;
  for (const char* s : {"a.hvs", "-", "hvp", "a.hvpx", "a_hvp", "a.hv"}) EXPECT_FALSE(IsTemplateName(s)) << s;
}

TEST(RunOptions, RequestOfARun) {
  RunOptions o;
  o.file = "some/dir/page.hvp";
  web::RequestData get = RunRequest(o);
  EXPECT_EQ(get.method, "GET");
  EXPECT_EQ(get.path, "/page.hvp");
  EXPECT_EQ(get.content_type, "");
  EXPECT_EQ(get.content_length, "");
  EXPECT_EQ(get.remote_addr, "127.0.0.1");
  EXPECT_EQ(get.server_name, "localhost");
  EXPECT_EQ(get.server_port, "80");

  o.form = "city=Z%C3%BCrich";
  o.cookie = "a=1";
  o.headers = {{"Cookie", "b=2"}, {"X-Y", "z"}};
  const web::PageRequest post(RunRequest(o));
  EXPECT_EQ(post.ServerVariable("REQUEST_METHOD"), "POST");
  EXPECT_EQ(post.ServerVariable("CONTENT_TYPE"), "application/x-www-form-urlencoded");
  EXPECT_EQ(post.ServerVariable("CONTENT_LENGTH"), "16");
  EXPECT_EQ(post.ServerVariable("HTTP_COOKIE"), "a=1, b=2");
  EXPECT_EQ(post.Form("city"), "Z\xC3\xBCrich");
  EXPECT_EQ(post.Cookie("b"), "2");
  EXPECT_EQ(post.ServerVariable("HTTP_X_Y"), "z");

  o.file = "-";
  EXPECT_EQ(RunRequest(o).path, "/");
}

}  // namespace
}  // namespace halvane::host
