// Heap allocations per output call, counted with a replaced global operator
// new: every result is built in one allocation (a first call with its page-wide
// script block in front included), and no argument is copied
// on the way.  Arguments are longer than a short string kept in place, so a
// copy would show.
#include <gtest/gtest.h>

#include <string>

#include "bench/alloc_counter.h"
#include "halvane.h"

namespace halvane {
namespace {

const std::string kName = "customerDeliveryAddress";
const std::string kUri = "/documentation/installation/index.htm";
const std::string kImage = "/images/icons/document-page.gif";
const std::string kTitle = "Documentation and guides";
const std::string kOnClick = "location.href='/documentation/open.htm'";

// Runs `call` once and returns its allocations; it must return text.
template <class F>
std::size_t Allocations(F&& call) {
  std::string out;
  const std::size_t n = alloc_count::During([&] { out = call(); });
  EXPECT_FALSE(out.empty());
  return n;
}

TEST(Allocations, OneForEachResult) {
  AutoComplete a;
  EXPECT_EQ(Allocations([&] { return a.EmbedAutoComplete(kName, kName, true, false); }), 1u);
  EXPECT_EQ(Allocations([&] { return a.EmbedAutoComplete(kName, kName, false, true); }), 1u);

  Calendar c([] { return 46360.0; });
  c.ImageURL(Variant(kImage));
  const Variant name(kName);
  EXPECT_EQ(Allocations([&] { return c.DisplayEmbedded(name); }), 1u);
  EXPECT_EQ(Allocations([&] { return c.DisplayEmbedded(name); }), 1u);
  EXPECT_EQ(Allocations([&] { return c.DisplayPopup(name); }), 1u);
  EXPECT_EQ(Allocations([&] { return c.DisplayPopup(name); }), 1u);

  ProgressBar b;
  b.Color(Variant("00aa00"));
  Variant hide(true), keep(false);
  EXPECT_EQ(Allocations([&] { return b.Show(hide, hide); }), 1u);
  EXPECT_EQ(Allocations([&] { return b.Show(keep, keep); }), 1u);
  EXPECT_EQ(Allocations([&] { return b.SetValue(Variant(42)); }), 1u);
  EXPECT_EQ(Allocations([&] { return b.HideOutput(keep); }), 1u);

  Tabs t;
  t.TabName(kTitle);
  t.JavaScriptOnClick(kOnClick);
  const Variant content(kName), url(kUri);
  EXPECT_EQ(Allocations([&] { return t.WriteTab(content, url); }), 1u);
  t.JavaScriptOnClick(kOnClick);  // into the capacity WriteTab kept
  EXPECT_EQ(Allocations([&] { return t.WriteTab(content, url); }), 1u);
  EXPECT_EQ(Allocations([&] { return t.WriteTab(Variant(12345), Variant(2.5)); }), 1u);  // numbers in place

  Tree tree;
  tree.TextClass(kName);
  EXPECT_EQ(Allocations([&] { return tree.WriteNode(kTitle, kUri, kName, kImage); }), 1u);
  EXPECT_EQ(Allocations([&] { return tree.WriteExpandCollapse(); }), 1u);
  EXPECT_EQ(Allocations([&] { return tree.Initialize(); }), 1u);
  EXPECT_EQ(Allocations([&] { return tree.WriteMenuHeader(kTitle); }), 1u);
  EXPECT_EQ(Allocations([&] { return tree.WriteNode(kTitle, kUri, kName); }), 1u);
  EXPECT_EQ(Allocations([&] { return tree.WriteMenuFooter(); }), 1u);
}

// The stored menu rows grow geometrically: 1000 rows take a few dozen
// allocations, not one or more per row.
TEST(Allocations, PopupMenuRowsGrowGeometrically) {
  PopupMenu m;
  const std::size_t adds = alloc_count::During([&] {
    for (int i = 0; i < 1000; ++i) {
      if (i % 20 == 0) {
        m.AddMenuTitle(kTitle);
      } else if (i % 10 == 0) {
        m.AddHorizontalRule(kImage);
      } else {
        m.AddMenuItem(kTitle, kOnClick, kImage);
      }
    }
  });
  EXPECT_LE(adds, 40u);
  EXPECT_EQ(Allocations([&] { return m.EmbedPopupMenu(); }), 1u);
}

}  // namespace
}  // namespace halvane
