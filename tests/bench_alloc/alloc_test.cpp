// Heap allocations per output call, counted with a replaced global operator
// new: every result is built in one allocation (a first call with its
// page-wide script block in front included), and no argument is copied on the
// way.  Arguments are longer than a short string kept in place, so a
// copy would show.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "bench/alloc_counter.h"
#include "halvane.h"

namespace halvane {
namespace {

using alloc_count::During;

// Values too long for the short-string buffer.
const std::string kLongName = "customerDeliveryAddress";
const std::string kLongList = "customerDeliveryAddressList";
const std::string kUri = "/documentation/installation/index.htm";
const std::string kTarget = "contentFrameOnTheRight";
const std::string kImage = "/images/icons/document-page.gif";
const std::string kTitle = "Documentation and guides";
const std::string kOnClick = "location.href='/documentation/open.htm'";

// Runs `call` once, checks it returned text, and returns its allocations.
template <class F>
std::size_t Allocations(F&& call) {
  std::string out;
  const std::size_t n = During([&] { out = call(); });
  EXPECT_FALSE(out.empty());
  return n;
}

TEST(Allocations, AutoCompleteFirstAndLater) {
  AutoComplete a;
  EXPECT_EQ(Allocations([&] { return a.EmbedAutoComplete(kLongName, kLongList, true, false); }), 1u);
  EXPECT_EQ(Allocations([&] { return a.EmbedAutoComplete(kLongName, kLongList, false, true); }), 1u);
}

TEST(Allocations, CalendarFirstAndLater) {
  Calendar c([] { return 46360.0; });
  c.ActiveDate(Variant("3/5/2004"));
  c.ImageURL(Variant(kImage));
  const Variant name(kLongName);
  EXPECT_EQ(Allocations([&] { return c.DisplayEmbedded(name); }), 1u);
  EXPECT_EQ(Allocations([&] { return c.DisplayEmbedded(name); }), 1u);
  EXPECT_EQ(Allocations([&] { return c.DisplayPopup(name); }), 1u);
  EXPECT_EQ(Allocations([&] { return c.DisplayPopup(name); }), 1u);
}

TEST(Allocations, PopupMenuEmbedAndAddCalls) {
  PopupMenu m;
  // The stored rows grow geometrically: 1000 rows take a few dozen
  // allocations, not one or more per row.
  const std::size_t adds = During([&] {
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

TEST(Allocations, ProgressBarEveryOutput) {
  ProgressBar b;
  b.Max(Variant(250));
  b.Color(Variant("00aa00"));
  Variant hide(true), hide_after(true);
  EXPECT_EQ(Allocations([&] { return b.Show(hide, hide_after); }), 1u);
  Variant visible(false), keep(false);
  EXPECT_EQ(Allocations([&] { return b.Show(visible, keep); }), 1u);
  EXPECT_EQ(Allocations([&] { return b.SetValue(Variant(42)); }), 1u);
  Variant hidden(false);
  EXPECT_EQ(Allocations([&] { return b.HideOutput(hidden); }), 1u);
}

TEST(Allocations, TabsFirstAndLater) {
  Tabs t;
  t.TabCount(3);
  t.TabWidth(90);
  t.PanelWidth(600);
  t.PanelHeight(400);
  t.TabName(kTitle);
  const Variant content(kLongName), url(kUri);
  t.JavaScriptOnClick(kOnClick);
  EXPECT_EQ(Allocations([&] { return t.WriteTab(content, url); }), 1u);
  t.JavaScriptOnClick(kOnClick);  // into the capacity WriteTab kept
  EXPECT_EQ(Allocations([&] { return t.WriteTab(content, url); }), 1u);
  // A number is converted to its text in place.
  EXPECT_EQ(Allocations([&] { return t.WriteTab(Variant(12345), Variant(2.5)); }), 1u);
}

TEST(Allocations, TreeEveryOutput) {
  Tree t;
  t.TextClass(kLongName);
  t.ExpandedImage(kImage);
  EXPECT_EQ(Allocations([&] { return t.WriteExpandCollapse(); }), 1u);
  EXPECT_EQ(Allocations([&] { return t.WriteExpandCollapse(); }), 1u);
  EXPECT_EQ(Allocations([&] { return t.Initialize(); }), 1u);
  EXPECT_EQ(Allocations([&] { return t.WriteMenuHeader(kTitle); }), 1u);
  EXPECT_EQ(Allocations([&] { return t.WriteNode(kTitle, kUri, kTarget); }), 1u);
  EXPECT_EQ(Allocations([&] { return t.WriteNode(kTitle, kUri, kTarget, kImage); }), 1u);
  EXPECT_EQ(Allocations([&] { return t.WriteMenuFooter(); }), 1u);

  Tree first;
  EXPECT_EQ(Allocations([&] { return first.WriteNode(kTitle, kUri, kTarget, kImage); }), 1u);
}

// A page of 100 menus of 10 nodes: one allocation per result.
TEST(Allocations, TreePageOnePerResult) {
  Tree t;
  std::size_t calls = 0;
  std::size_t bytes = 0;
  const std::size_t n = During([&] {
    bytes += t.WriteExpandCollapse().size();
    ++calls;
    for (int m = 0; m < 100; ++m) {
      bytes += t.WriteMenuHeader(kTitle).size();
      for (int i = 0; i < 10; ++i) bytes += t.WriteNode(kTitle, kUri, kTarget).size();
      bytes += t.WriteMenuFooter().size();
      calls += 12;
    }
  });
  EXPECT_GT(bytes, 0u);
  EXPECT_EQ(n, calls);
}

// The counter sees what it should: a string too long for in-place storage
// is one allocation.
TEST(Allocations, CounterCountsOperatorNew) {
  std::string s;
  EXPECT_EQ(During([&] { s.assign(100, 'x'); }), 1u);
  EXPECT_EQ(During([&] { s.assign(10, 'y'); }), 0u);
}

}  // namespace
}  // namespace halvane
