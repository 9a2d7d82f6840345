// PopupMenu rows: the markup of titles, items and rules, the settings each
// row takes at the moment it is added, and the failures that must leave the
// menu as it was.
#include <gtest/gtest.h>

#include "support/expect_error.h"

#include <chrono>
#include <functional>
#include <string>

#include "components/popupmenu/popupmenu.h"
#include "core/error.h"
#include "popupmenu_expected.h"

namespace halvane {
namespace {

using namespace popupmenu_expected;

TEST(PopupMenuRows, NewObjectHasNoRows) {
  PopupMenu menu;
  EXPECT_EQ(menu.EmbedPopupMenu(), Menu("", 0));
}

TEST(PopupMenuRows, SampleTitle) {
  PopupMenu menu;
  menu.AddMenuTitle("Edit");
  EXPECT_EQ(menu.EmbedPopupMenu(),
            Menu(Lines({"<tr>", "<td nowrap", "Align = center", "bgcolor = \"e4e4e4\"",
                        "Style = \"border:1pt solid #e4e4e4;font-size:8pt\"", ">Edit</td>", "</tr>"}),
                 18));
}

// The onclick handler is quoted like every other attribute of the row.
TEST(PopupMenuRows, SampleItem) {
  PopupMenu menu;
  menu.AddMenuItem("Open", "doOpen()", "open.gif");
  EXPECT_EQ(menu.EmbedPopupMenu(),
            Menu(Lines({"<tr>", "<td nowrap", "Align = Left", "bgcolor = \"e4e4e4\"", "OnClick = \"doOpen()\"",
                        "Style = \"cursor:hand;border:1pt solid #e4e4e4;font-size:8pt\"",
                        "onmouseover = \"this.style.color='white';this.style.background='navy';"
                        "this.style.border='1pt solid #000000'\"",
                        "onmouseout = \"this.style.color='black';this.style.background='#e4e4e4';"
                        "this.style.border='1pt solid #e4e4e4'\"",
                        ">&nbsp;<img src=\"open.gif\" border=0 width=12 height=12 "
                        "align=\"absmiddle\">&nbsp;Open</td>",
                        "</tr>"}),
                 18));
}

TEST(PopupMenuRows, SampleRule) {
  PopupMenu menu;
  menu.AddHorizontalRule("dot.gif");
  EXPECT_EQ(menu.EmbedPopupMenu(), Menu(Lines({"<tr>", "<td nowrap", "Align = center", "bgcolor = \"e4e4e4\"",
                                               "Style = \"border:1pt solid #e4e4e4;font-size:8pt\"",
                                               "><img border=0 height=1 width=\"140\" src=\"dot.gif\"></td>", "</tr>"}),
                                        18));
}

TEST(PopupMenuRows, RuleWidthIsTenLessThanTheMenu) {
  PopupMenu menu;
  menu.Width(5);
  menu.AddHorizontalRule("d.gif");
  menu.Width(-32758);
  menu.AddHorizontalRule("e.gif");
  menu.Width(150);
  EXPECT_EQ(menu.EmbedPopupMenu(), Menu(Rule("d.gif", "-5") + Rule("e.gif", "-32768"), 36));
}

// Each row reads the settings current when it is added; the default
// handlers keep the colours of creation.
TEST(PopupMenuRows, RowsTakeTheSettingsOfTheirMoment) {
  PopupMenu menu;
  menu.AddMenuItem("A", "a()", "");
  menu.BGColor("ffffff");
  menu.BorderColor("ff0000");
  menu.AddMenuTitle("T");
  menu.AddMenuItem("B", "b()", "b.gif");
  menu.OnMouseOver("hi()");
  menu.OnMouseOut("lo()");
  menu.AddMenuItem("C", "c()", "c.gif");
  menu.AddHorizontalRule("dot.gif");
  menu.Width(200);
  const std::string rows = Item("A", "a()", "") + Title("T", "ffffff") + Item("B", "b()", "b.gif", "ffffff") +
                           Item("C", "c()", "c.gif", "ffffff", "hi()", "lo()") + Rule("dot.gif", "140", "ffffff");
  EXPECT_EQ(menu.EmbedPopupMenu(), Menu(rows, 90, 200, "ff0000", "ffffff"));
}

TEST(PopupMenuRows, ValuesAreSplicedUnescaped) {
  PopupMenu menu;
  menu.AddMenuItem("<b>x</b>", "go(\"a\")", "@ImagePath@");
  EXPECT_EQ(menu.EmbedPopupMenu(), Menu(Item("<b>x</b>", "go(\"a\")", "@ImagePath@"), 18));
}

void ExpectOverflow(const std::function<void()>& call) {
  test_support::ExpectStandardError(call, 6, "Halvane.PopupMenu");
}

// A rule whose width would fall below -32768 is refused whole: no half row,
// no extra row counted.
TEST(PopupMenuRows, RuleWidthOverflowChangesNothing) {
  PopupMenu menu;
  menu.AddMenuTitle("T");
  menu.Width(-32759);
  ExpectOverflow([&] { menu.AddHorizontalRule("dot.gif"); });
  menu.Width(-32768);
  ExpectOverflow([&] { menu.AddHorizontalRule("dot.gif"); });
  menu.Width(150);
  EXPECT_EQ(menu.EmbedPopupMenu(), Menu(Title("T"), 18));
  menu.AddHorizontalRule("dot.gif");
  EXPECT_EQ(menu.EmbedPopupMenu(), Menu(Title("T") + Rule("dot.gif"), 36));
}

// Building 32767 rows also shows that adding a row does not copy the rows
// before it: copying would take far longer than the test's time limit.
TEST(PopupMenuRows, RowCountStopsAt32767) {
  PopupMenu menu;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 32767; ++i) {
    switch (i % 3) {
      case 0: menu.AddMenuTitle("Title"); break;
      case 1: menu.AddMenuItem("Item", "run()", "i.gif"); break;
      default: menu.AddHorizontalRule("dot.gif"); break;
    }
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(20));

  ExpectOverflow([&] { menu.AddMenuTitle("x"); });
  ExpectOverflow([&] { menu.AddMenuItem("x", "y", "z"); });
  ExpectOverflow([&] { menu.AddHorizontalRule("x"); });
  // Too many rows for the menu's 16-bit height.
  ExpectOverflow([&] { menu.EmbedPopupMenu(); });
}

}  // namespace
}  // namespace halvane
