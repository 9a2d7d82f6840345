// The template front end: where blocks end, how the text is cut into
// pieces with their positions, and include lines with their limits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/web/template.h"

namespace halvane::web {
namespace {

namespace fs = std::filesystem;
using Kind = TemplatePiece::Kind;

TEST(TemplateBlockEnd, FirstCloseOutsideStringsAndComments) {
  struct Case {
    std::string code;
    std::size_t end;
  };
  const std::size_t npos = std::string::npos;
  const std::vector<Case> cases = {
      {" x = 1 %>", 7},
      {"%>", 0},
      {" s = \"a%>b\" %> tail", 12},
      {" s = \"say \"\"%>\"\" now\" %>", 22},
      {" ' it's a comment %> text", 18},
      {" ' a \"quote %>", 12},
      {" x = 1 ' comment\n y = \"%>\" %>", 27},
      {" Rem note \" %>", 12},
      {" REM\n x %>", 8},
      {" Remark = \"%>\" %>", 15},
      {" x.Rem = \"%>\" %>", 14},
      // An unterminated string ends at the line end; the parser reports it.
      {" s = \"open\n %>", 12},
      {" x = 1", npos},
      {" s = \"%>", npos},
      {" ' comment only", npos},
  };
  for (const Case& c : cases) EXPECT_EQ(BlockEnd(c.code), c.end) << c.code;
}

class TemplateFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("halvane-template-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "site");
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const std::string& rel, const std::string& text) {
    const fs::path p = root_ / "site" / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }

  ExpandedTemplate Expand(const std::string& source, const std::string& rel = "page.hvp") {
    Write(rel, source);
    TemplateOptions o;
    o.root = root_ / "site";
    return ExpandTemplate(source, "/" + rel, root_ / "site" / rel, o);
  }

  // The expansion's error as "file:line:column: message".
  std::string ErrorOf(const std::string& source) {
    try {
      Expand(source);
    } catch (const TemplateError& e) {
      return e.File() + ":" + std::to_string(e.Line()) + ":" + std::to_string(e.Column()) + ": " + e.Message();
    }
    return "no error";
  }

  fs::path root_;
};

// Pieces as "K@file:line:column[text]" for compact comparison.
std::vector<std::string> Shown(const ExpandedTemplate& t) {
  std::vector<std::string> out;
  for (const TemplatePiece& p : t.pieces) {
    const char k = p.kind == Kind::Text ? 'T' : p.kind == Kind::Code ? 'C' : 'E';
    out.push_back(std::string(1, k) + "@" + p.file + ":" + std::to_string(p.line) + ":" + std::to_string(p.column) +
                  "[" + p.text + "]");
  }
  return out;
}

TEST_F(TemplateFiles, PiecesAndTheirPositions) {
  const auto t = Expand("\xEF\xBB\xBF<ul>\r\n<% For i = 1 To 2 %><li><%= i %></li>\r<% Next %>\n\xC3\xA9<%=x%>");
  const std::vector<std::string> expected = {
      "T@/page.hvp:1:1[<ul>\r\n]",    "C@/page.hvp:2:3[ For i = 1 To 2 ]",
      "T@/page.hvp:2:21[<li>]",       "E@/page.hvp:2:28[ i ]",
      "T@/page.hvp:2:33[</li>\r]",    "C@/page.hvp:3:3[ Next ]",
      "T@/page.hvp:3:11[\n\xC3\xA9]", "E@/page.hvp:4:5[x]",
  };
  EXPECT_EQ(Shown(t), expected);
  EXPECT_TRUE(t.includes.empty());
}

TEST_F(TemplateFiles, TextOnlyAndEmpty) {
  EXPECT_EQ(Shown(Expand("just <b>text</b> 100% %> <")),
            std::vector<std::string>{"T@/page.hvp:1:1[just <b>text</b> 100% %> <]"});
  EXPECT_TRUE(Expand("").pieces.empty());
  EXPECT_TRUE(Expand("\xEF\xBB\xBF").pieces.empty());
}

TEST_F(TemplateFiles, UnclosedBlockNamesItsStart) {
  EXPECT_EQ(ErrorOf("a\n  <% x = \"%>"), "/page.hvp:2:3: \"<%\" without its closing \"%>\"");
  EXPECT_EQ(ErrorOf("<%= 1 + 2\n"), "/page.hvp:1:1: \"<%=\" without its closing \"%>\"");
}

TEST_F(TemplateFiles, IncludesArePulledInWithTheirOwnPositions) {
  Write("parts/head.inc", "\xEF\xBB\xBF<h1><%= title %></h1>\n<!-- #INCLUDE   FILE = \"nav.inc\" -->!");
  Write("parts/nav.inc", "<nav/>");
  const auto t = Expand("<% title = 1 %>\n<!--#include file=\"parts/head.inc\"-->\n<p>");
  const std::vector<std::string> expected = {
      "C@/page.hvp:1:3[ title = 1 ]",    "T@/page.hvp:1:16[\n]",
      "T@/parts/head.inc:1:1[<h1>]",     "E@/parts/head.inc:1:8[ title ]",
      "T@/parts/head.inc:1:17[</h1>\n]", "T@/parts/nav.inc:1:1[<nav/>]",
      "T@/parts/head.inc:2:37[!]",       "T@/page.hvp:2:38[\n<p>]",
  };
  EXPECT_EQ(Shown(t), expected);
  ASSERT_EQ(t.includes.size(), 2u);
  EXPECT_EQ(t.includes[1].second, "<nav/>");
}

TEST_F(TemplateFiles, LinesThatAreNotIncludesStayText) {
  Write("a.inc", "A");
  const std::vector<std::string> texts = {
      "<!--#include file='a.inc'-->",       // single quotes
      "<!--#include virtual=\"a.inc\"-->",  // not "file"
      "<!--#includefile=\"a.inc\"-->",      // no blank before file
      "<!--#include file=\"a.inc\"->",      // not closed
      "<!-- a comment -->",
      "<!--#include file=\"a\n.inc\"-->",
  };
  for (const std::string& text : texts) {
    const auto t = Expand("x" + text);
    ASSERT_EQ(t.pieces.size(), 1u) << text;
    EXPECT_EQ(t.pieces[0].text, "x" + text);
  }
  // Inside a block an include line is code, not an include.
  const auto t = Expand("<% ' <!--#include file=\"a.inc\"--> %>");
  ASSERT_EQ(t.pieces.size(), 1u);
  EXPECT_EQ(t.pieces[0].kind, Kind::Code);
}

TEST_F(TemplateFiles, IncludeFaultsNameTheIncludingFileAndLine) {
  Write("self.inc", "x<!--#include file=\"self.inc\"-->");
  Write("ping.inc", "\n<!--#include file=\"pong.inc\"-->");
  Write("pong.inc", "<!--#include file=\"ping.inc\"-->");
  Write("open.inc", "<% x = 1 ");
  fs::create_directories(root_ / "site" / "dir");
  std::ofstream(root_ / "outside.inc") << "secret";
  fs::create_symlink(root_ / "outside.inc", root_ / "site" / "link.inc");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\n\n  <!--#include file=\"missing.inc\"-->", "/page.hvp:3:3: the include file \"missing.inc\" does not exist"},
      {"<!--#include file=\"\"-->", "/page.hvp:1:1: an include line without a file name"},
      {"<!--#include file=\"dir\"-->", "/page.hvp:1:1: the include file \"dir\" does not exist"},
      {"<!--#include file=\"../outside.inc\"-->",
       "/page.hvp:1:1: the include \"../outside.inc\" leads outside the served folder"},
      {"<!--#include file=\"dir/../../outside.inc\"-->",
       "/page.hvp:1:1: the include \"dir/../../outside.inc\" leads outside the served folder"},
      {"<!--#include file=\"/etc/passwd\"-->",
       "/page.hvp:1:1: the include \"/etc/passwd\" leads outside the served folder"},
      {"<!--#include file=\"\\x.inc\"-->", "/page.hvp:1:1: the include \"\\x.inc\" leads outside the served folder"},
      {"<!--#include file=\"link.inc\"-->", "/page.hvp:1:1: the include \"link.inc\" leads outside the served folder"},
      {"<!--#include file=\"self.inc\"-->",
       "/self.inc:1:2: the include \"self.inc\" includes itself (an include cycle)"},
      {"<!--#include file=\"ping.inc\"-->",
       "/pong.inc:1:1: the include \"ping.inc\" includes itself (an include cycle)"},
      {"<!--#include file=\"page.hvp\"-->",
       "/page.hvp:1:1: the include \"page.hvp\" includes itself (an include cycle)"},
      {"<!--#include file=\"open.inc\"-->%>", "/open.inc:1:1: \"<%\" without its closing \"%>\""},
  };
  for (const auto& [source, error] : cases) EXPECT_EQ(ErrorOf(source), error) << source;
}

TEST_F(TemplateFiles, IncludesNestSixteenDeep) {
  // d1.inc includes d2.inc ... up to d17.inc.
  for (int i = 1; i <= 17; ++i) {
    Write("d" + std::to_string(i) + ".inc",
          i < 17 ? "<!--#include file=\"d" + std::to_string(i + 1) + ".inc\"-->" : std::string("deep"));
  }
  Write("d16b.inc", "deep");
  // Sixteen levels below the page are fine.
  Write("d16.inc", "<!--#include file=\"d16b.inc\"-->");
  const auto ok = Expand("<!--#include file=\"d2.inc\"-->");  // d2 .. d16, d16b: 16 levels
  ASSERT_EQ(ok.pieces.size(), 1u);
  EXPECT_EQ(ok.pieces[0].text, "deep");
  EXPECT_EQ(ok.pieces[0].file, "/d16b.inc");
  // The seventeenth is refused, naming the file that asked for it.
  Write("d16.inc", "<!--#include file=\"d17.inc\"-->");
  Write("d17.inc", "<!--#include file=\"d16b.inc\"-->");
  EXPECT_EQ(ErrorOf("<!--#include file=\"d2.inc\"-->"), "/d17.inc:1:1: includes nest deeper than 16 (\"d16b.inc\")");
}

TEST_F(TemplateFiles, IncludedNamesFollowTheIncludingFolder) {
  Write("a/b/inner.inc", "<%= 1 %>");
  Write("a/outer.inc", "<!--#include file=\"b/inner.inc\"-->");
  const auto t = Expand("<!--#include file=\"outer.inc\"-->", "a/page.hvp");
  ASSERT_EQ(t.pieces.size(), 1u);
  EXPECT_EQ(t.pieces[0].file, "/a/b/inner.inc");
}

TEST_F(TemplateFiles, SizeLimitHoldsForIncludes) {
  Write("big.inc", std::string(100, 'x'));
  TemplateOptions o;
  o.root = root_ / "site";
  o.max_file_size = 99;
  const std::string source = "<!--#include file=\"big.inc\"-->";
  Write("page.hvp", source);
  EXPECT_THROW(ExpandTemplate(source, "/page.hvp", root_ / "site" / "page.hvp", o), TemplateError);
  o.max_file_size = 100;
  EXPECT_EQ(ExpandTemplate(source, "/page.hvp", root_ / "site" / "page.hvp", o).pieces.size(), 1u);
}

}  // namespace
}  // namespace halvane::web
