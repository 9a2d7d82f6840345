// EmbedPopupMenu: the hidden menu table with its script, the height of 18
// pixels a row and where it runs out, and calls leaving the object alone.
#include <gtest/gtest.h>

#include <string>

#include "components/popupmenu/popupmenu.h"
#include "core/error.h"
#include "popupmenu_expected.h"

namespace halvane {
namespace {

using namespace popupmenu_expected;

TEST(PopupMenuEmbed, ThreeRowsAreFiftyFourPixelsHigh) {
  PopupMenu menu;
  menu.AddMenuTitle("Edit");
  menu.AddMenuItem("Open", "doOpen()", "open.gif");
  menu.AddHorizontalRule("dot.gif");
  const std::string out = menu.EmbedPopupMenu();
  EXPECT_EQ(out, Menu(Title("Edit") + Item("Open", "doOpen()", "open.gif") + Rule("dot.gif"), 54));
  EXPECT_NE(out.find("\r\n<table STYLE=\"border:1pt solid #000000\" BGCOLOR=\"#e4e4e4\" width=150 height=\"54\" "
                     "cellpadding=0 cellspacing=1>\r\n"),
            std::string::npos);
  EXPECT_NE(out.find("\r\noPopup.show(lefter, topper, 150, 54, document.body);\r\n"), std::string::npos);
  // The last row's line end, then the empty line of the rows' own line end.
  EXPECT_NE(out.find("</tr>\r\n\r\n</table>\r\n"), std::string::npos);
}

TEST(PopupMenuEmbed, EmptyMenuHasAnEmptyRowsLine) {
  PopupMenu menu;
  const std::string out = menu.EmbedPopupMenu();
  EXPECT_EQ(out, Menu("", 0));
  EXPECT_NE(out.find("cellspacing=1>\r\n\r\n</table>"), std::string::npos);
  EXPECT_NE(out.find("oPopup.show(lefter, topper, 150, 0, document.body);"), std::string::npos);
}

TEST(PopupMenuEmbed, TableReadsColoursAndWidthAtOutput) {
  PopupMenu menu;
  menu.AddHorizontalRule("dot.gif");
  menu.BorderColor("ff0000");
  menu.BGColor("00ff00");
  menu.Width(-200);
  EXPECT_EQ(menu.EmbedPopupMenu(), Menu(Rule("dot.gif"), 18, -200, "ff0000", "00ff00"));
}

TEST(PopupMenuEmbed, CallsLeaveTheObjectUnchanged) {
  PopupMenu menu;
  menu.AddMenuItem("Open", "doOpen()", "open.gif");
  const std::string first = menu.EmbedPopupMenu();
  EXPECT_EQ(menu.EmbedPopupMenu(), first);
  menu.AddMenuTitle("Later");
  EXPECT_EQ(menu.EmbedPopupMenu(), Menu(Item("Open", "doOpen()", "open.gif") + Title("Later"), 36));
}

TEST(PopupMenuEmbed, HeightOverflowsAfter1820Rows) {
  PopupMenu menu;
  std::string rows;
  for (int i = 0; i < 1820; ++i) {
    menu.AddHorizontalRule("dot.gif");
    rows += Rule("dot.gif");
  }
  EXPECT_EQ(menu.EmbedPopupMenu(), Menu(rows, 32760));

  menu.AddMenuTitle("one too many");
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      menu.EmbedPopupMenu();
      ADD_FAILURE() << "no error raised";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 6);
      EXPECT_EQ(e.Source(), "Halvane.PopupMenu");
      EXPECT_EQ(e.Status(), 0x800A0006u);
    }
  }
}

}  // namespace
}  // namespace halvane
