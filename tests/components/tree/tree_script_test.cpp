// Tree settings, the page script and the rule that puts it once in front of
// an object's first output.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "components/tree/tree.h"
#include "tree_expected.h"

namespace halvane {
namespace {

using namespace tree_expected;

TEST(TreeSettings, DefaultsAndCopies) {
  Tree tree;
  EXPECT_EQ(tree.Width(), "1");
  EXPECT_EQ(tree.TextClass(), "");
  EXPECT_EQ(tree.ExpandedImage(), "/images/icons/FolderOpen.gif");
  EXPECT_EQ(tree.CollapsedImage(), "/images/icons/FolderClosed.gif");
  EXPECT_EQ(tree.ExpandAllImage(), "/images/icons/treeplus.gif");
  EXPECT_EQ(tree.CollapseAllImage(), "/images/icons/treeminus.gif");

  std::string value = "a\"b";
  tree.CollapseAllImage(value);
  value = "changed";
  EXPECT_EQ(tree.CollapseAllImage(), "a\"b");
  tree.Width("100%");
  EXPECT_EQ(tree.Width(), "100%");
}

TEST(TreeScript, FirstExpandCollapseCarriesTheScriptOnce) {
  Tree tree;
  EXPECT_EQ(tree.WriteExpandCollapse(), Script() + Images());
  EXPECT_EQ(tree.WriteExpandCollapse(), Images());
}

// Initialize never tests the flag; the outputs after it carry no script.
TEST(TreeScript, InitializeReturnsTheScriptOnEveryCall) {
  Tree tree;
  const std::string first = tree.Initialize();
  EXPECT_EQ(first, Script());
  EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 25);
  EXPECT_EQ(tree.Initialize(), first);
  EXPECT_EQ(tree.WriteExpandCollapse(), Images());
  EXPECT_EQ(tree.WriteMenuHeader("A"), Header(1, "A"));
  EXPECT_EQ(tree.WriteNode("n", "u", "t"), Node(2, "n", "u", "t"));
  EXPECT_EQ(tree.WriteMenuFooter(), kFooter);
}

// Whichever output comes first carries the script; none after it does.
TEST(TreeScript, EveryOutputMethodAppliesThePrefixRule) {
  struct Case {
    const char* name;
    std::function<std::string(Tree&)> call;
    std::string own;
  };
  const Case cases[] = {
      {"WriteExpandCollapse", [](Tree& t) { return t.WriteExpandCollapse(); }, Images()},
      {"WriteMenuHeader", [](Tree& t) { return t.WriteMenuHeader("M"); }, Header(1, "M")},
      {"WriteMenuFooter", [](Tree& t) { return t.WriteMenuFooter(); }, kFooter},
      {"WriteNode", [](Tree& t) { return t.WriteNode("N", "u", "_self", "i.gif"); },
       Node(1, "N", "u", "_self", "i.gif")},
  };
  for (const Case& first : cases) {
    SCOPED_TRACE(first.name);
    Tree tree;
    EXPECT_EQ(first.call(tree), Script() + first.own);
    EXPECT_EQ(tree.WriteMenuFooter(), kFooter);
    EXPECT_EQ(tree.WriteExpandCollapse(), Images());
  }
}

TEST(TreeScript, ImageTextsAreSplicedWhenTheScriptIsEmitted) {
  Tree tree;
  tree.ExpandedImage("img/o\"pen.gif");
  tree.CollapsedImage("http://x.test/shut.gif");
  tree.ExpandAllImage("plus.gif");
  tree.CollapseAllImage("minus.gif");
  EXPECT_EQ(tree.WriteExpandCollapse(),
            Script("img/o\"pen.gif", "http://x.test/shut.gif") + Images("minus.gif", "plus.gif"));

  // Changes after the script went out reach later markup only.
  tree.ExpandedImage("other.gif");
  tree.CollapsedImage("c2.gif");
  EXPECT_EQ(tree.WriteMenuHeader("A"), Header(1, "A", "1", "", "c2.gif"));
  EXPECT_EQ(tree.Initialize(), Script("other.gif", "c2.gif"));
}

TEST(TreeScript, EachObjectEmitsItsOwnScript) {
  Tree one;
  Tree two;
  EXPECT_EQ(one.WriteMenuHeader("A"), Script() + Header(1, "A"));
  EXPECT_EQ(two.WriteMenuHeader("B"), Script() + Header(1, "B"));
  EXPECT_EQ(one.WriteMenuHeader("C"), Header(2, "C"));
}

}  // namespace
}  // namespace halvane
