// Tree menus and nodes: the markup, the numbering of menus and nodes, and the
// 16-bit menu counter running out.
#include <gtest/gtest.h>

#include "support/expect_error.h"

#include <functional>
#include <string>

#include "components/tree/tree.h"
#include "core/error.h"
#include "tree_expected.h"

namespace halvane {
namespace {

using namespace tree_expected;

TEST(TreeMenu, FirstHeaderCarriesTheScriptAndNumberOne) {
  Tree tree;
  EXPECT_EQ(tree.WriteMenuHeader("Reports"), Script() + Header(1, "Reports"));
  EXPECT_EQ(tree.WriteMenuHeader("Sales"), Header(2, "Sales"));
}

// Header A, two nodes, header B, one node, footer, one node, footer.
TEST(TreeMenu, NumberingExample) {
  Tree tree;
  EXPECT_EQ(tree.WriteMenuHeader("A"), Script() + Header(1, "A"));
  EXPECT_EQ(tree.WriteNode("a1", "a1.asp", "main"), Node(2, "a1", "a1.asp", "main"));
  EXPECT_EQ(tree.WriteNode("a2", "a2.asp", "main", "doc.gif"), Node(2, "a2", "a2.asp", "main", "doc.gif"));
  EXPECT_EQ(tree.WriteMenuHeader("B"), Header(2, "B"));
  EXPECT_EQ(tree.WriteNode("b1", "b1.asp", "main"), Node(3, "b1", "b1.asp", "main"));
  EXPECT_EQ(tree.WriteMenuFooter(), kFooter);
  EXPECT_EQ(tree.WriteNode("a3", "a3.asp", "main"), Node(3, "a3", "a3.asp", "main"));
  EXPECT_EQ(tree.WriteMenuFooter(), kFooter);
}

TEST(TreeMenu, NodeIdIsOnePastTheHeadersWritten) {
  Tree tree;
  EXPECT_EQ(tree.WriteNode("x", "x.htm", "_top"), Script() + Node(1, "x", "x.htm", "_top"));
  for (int i = 0; i < 3; ++i) {
    tree.WriteMenuHeader("m");
    tree.WriteMenuFooter();
  }
  tree.WriteMenuFooter();
  EXPECT_EQ(tree.WriteNode("y", "y.htm", "_top"), Node(4, "y", "y.htm", "_top"));
}

TEST(TreeMenu, OmittedAndEmptyImageGiveTheFormWithoutImage) {
  Tree tree;
  tree.Initialize();
  const std::string omitted = tree.WriteNode("n", "u", "t");
  EXPECT_EQ(omitted, Node(1, "n", "u", "t"));
  EXPECT_EQ(tree.WriteNode("n", "u", "t", ""), omitted);
  // A blank is an image path like any other.
  EXPECT_EQ(tree.WriteNode("n", "u", "t", " "), Node(1, "n", "u", "t", " "));
}

TEST(TreeMenu, SettingsAreSplicedUnquotedAndUnescaped) {
  Tree tree;
  tree.Initialize();
  EXPECT_NE(tree.WriteMenuHeader("A").find("<font class=>A</font>"), std::string::npos);
  EXPECT_NE(tree.WriteNode("B", "b", "t").find("<font class=>B</font>"), std::string::npos);

  tree.TextClass("menu");
  tree.Width("100%");
  tree.CollapsedImage("c.gif");
  EXPECT_EQ(tree.WriteMenuHeader("<b>R&D</b>"), Header(2, "<b>R&D</b>", "100%", "menu", "c.gif"));
  EXPECT_EQ(tree.WriteNode("a\"b", "p?x=1&y=2", "f\"r", "i.gif"),
            Node(3, "a\"b", "p?x=1&y=2", "f\"r", "i.gif", "menu"));
  // Field markers inside values are plain text.
  EXPECT_EQ(tree.WriteNode("@n@", "@URI@", "t"), Node(3, "@n@", "@URI@", "t", "", "menu"));
}

TEST(TreeMenu, FooterOnANewObjectCarriesTheScript) {
  Tree tree;
  EXPECT_EQ(tree.WriteMenuFooter(), Script() + "</td></tr></table>\r\n");
}

void ExpectOverflow(const std::function<void()>& call) { test_support::ExpectStandardError(call, 6, "Halvane.Tree"); }

TEST(TreeMenu, CounterRunsOutAfter32767Headers) {
  Tree tree;
  for (int i = 1; i <= 32766; ++i) tree.WriteMenuHeader("m");
  EXPECT_EQ(tree.WriteNode("n", "u", "t"), Node(32767, "n", "u", "t"));
  EXPECT_EQ(tree.WriteMenuHeader("last"), Header(32767, "last"));

  ExpectOverflow([&] { tree.WriteMenuHeader("one more"); });
  ExpectOverflow([&] { tree.WriteNode("n", "u", "t"); });
  ExpectOverflow([&] { tree.WriteNode("n", "u", "t", "i.gif"); });
  // The counter kept 32767: the next header fails the same way.
  ExpectOverflow([&] { tree.WriteMenuHeader("again"); });

  EXPECT_EQ(tree.WriteMenuFooter(), kFooter);
  EXPECT_EQ(tree.WriteExpandCollapse(), Images());
  EXPECT_EQ(tree.Initialize(), Script());
}

}  // namespace
}  // namespace halvane
