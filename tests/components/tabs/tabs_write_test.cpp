// WriteTab of Tabs: the first and later results byte for byte, the per-tab
// settings, validation, and the object's state after calls that fail.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "components/tabs/tabs.h"
#include "core/error.h"
#include "core/variant.h"

namespace halvane {
namespace {

// Every line followed by CR LF.
std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

std::string N(long v) { return std::to_string(v); }

// Lines 1 to 30 of a first result.
std::string FirstCallBlock(int count, int tab_width, int panel_width, int panel_height) {
  return Lines({
      R"(<script language="JavaScript">)",
      "<!--",
      "function selectTab(n) {",
      R"(var panelID = "p1")",
      "var numDiv = " + N(count),
      "for(var i=0; i < numDiv; i++) {",
      R"(var panelDiv = window.document.getElementById(panelID+"panel"+i))",
      R"(var tabDiv = document.getElementById(panelID+"tab"+i))",
      "if (i==n) {",
      "panelDiv.style.zIndex = 1;",
      "tabDiv.style.zIndex = 1;",
      "}else{",
      "panelDiv.style.zIndex = 0;",
      "tabDiv.style.zIndex = 0;",
      "}",
      "}",
      "}",
      "//-->",
      "</script>",
      R"(<style type="text/css">)",
      "<!--",
      ".tab {",
      "cursor: hand; font-family: sans-serif; line-height:150%; font-size: 10px; font-weight: bold; "
      "position:absolute; text-align: center; border: 2px; border-color:#999999; border-style: outset; "
      "border-bottom-style: none; width:" +
          N(tab_width) + "px; margin:0px;",
      "}",
      ".panel {",
      "font-family: sans-serif; position:absolute; border: 2px; border-color:#999999; "
      "border-style:outset; width:" +
          N(panel_width) + "px; height:" + N(panel_height) + "px; left:0px; top:18px; margin:0px; padding:5px;",
      "}",
      "-->",
      "</style>",
      R"(<div style="background-color: transparent; position: relative;">)",
  });
}

struct TabLine {
  int index;
  std::string colour;
  int z;
  bool visible;
  std::string content;
  std::string url;
  int frame_width;
  int frame_height;
  std::string on_click;
  int left;
  std::string name;
};

// Lines 31 to 35 of any result.
std::string TabBlock(const TabLine& t) {
  const std::string panel_end = t.visible ? "'>" : "; display: none'>";
  const std::string tab_end = t.visible ? "\">" : "; display: none\">";
  return Lines({
      "<div id='p1panel" + N(t.index) + "' class='panel' style='background-color: #" + t.colour +
          ";  z-index:" + N(t.z) + panel_end,
      "<br>",
      "<iframe name=\"" + t.content + "\" border=1 frameborder=1 src=\"" + t.url + "\" width=\"" + N(t.frame_width) +
          "\" height=\"" + N(t.frame_height) + "\"></iframe></div>",
      "<div onclick=\"selectTab(" + N(t.index) + ");" + t.on_click + "\" id=\"p1tab" + N(t.index) +
          "\" class=\"tab\" style=\"background-color:#" + t.colour + "; height:20px; left:" + N(t.left) +
          "px; top:0px; z-index:" + N(t.z) + tab_end,
      t.name + "</div>",
  });
}

int CountLines(const std::string& s) {
  int n = 0;
  for (std::size_t i = 0; i + 1 < s.size(); ++i) {
    if (s[i] == '\r' && s[i + 1] == '\n') ++n;
  }
  return n;
}

// The geometry of the worked example: three tabs of 80 over 400 x 300 panels.
Tabs ExampleTabs() {
  Tabs tabs;
  tabs.TabCount(3);
  tabs.TabWidth(80);
  tabs.PanelWidth(400);
  tabs.PanelHeight(300);
  return tabs;
}

template <class F>
Error CatchError(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return Error(0, "", "");
}

// ---- defaults --------------------------------------------------------------

TEST(TabsDefaults, NewObject) {
  const Tabs tabs;
  EXPECT_EQ(tabs.TabName(), "");
  EXPECT_EQ(tabs.TabWidth(), 0);
  EXPECT_EQ(tabs.PanelWidth(), 0);
  EXPECT_EQ(tabs.PanelHeight(), 0);
  EXPECT_EQ(tabs.TabCount(), 0);
  EXPECT_EQ(tabs.LayerColor(), "e0e0e0");
  EXPECT_EQ(tabs.JavaScriptOnClick(), "");
}

// ---- output byte for byte ------------------------------------------------------

TEST(TabsOutput, FirstCallHoldsScriptStyleContainerAndTab) {
  Tabs tabs = ExampleTabs();
  tabs.TabName("First");
  const std::string out = tabs.WriteTab(Variant("main"), Variant("page1.htm"));
  const std::string tab = Lines({
      "<div id='p1panel0' class='panel' style='background-color: #e0e0e0;  z-index:3'>",
      "<br>",
      R"(<iframe name="main" border=1 frameborder=1 src="page1.htm" width="383" height="280"></iframe></div>)",
      R"(<div onclick="selectTab(0);" id="p1tab0" class="tab" style="background-color:#e0e0e0; height:20px; left:0px; top:0px; z-index:3">)",
      "First</div>",
  });
  EXPECT_EQ(out, FirstCallBlock(3, 80, 400, 300) + tab);
  EXPECT_EQ(CountLines(out), 35);
}

TEST(TabsOutput, WorkedExampleSecondCall) {
  Tabs tabs = ExampleTabs();
  tabs.TabName("First");
  tabs.WriteTab(Variant("main"), Variant("page1.htm"));
  tabs.MoveNextLayerColor();
  ASSERT_EQ(tabs.LayerColor(), "EFEFEF");
  tabs.TabName("Second");
  const std::string out = tabs.WriteTab(Variant("main"), Variant("page2.htm"));
  EXPECT_EQ(out,
            "<div id='p1panel1' class='panel' style='background-color: #EFEFEF;  z-index:2'>\r\n"
            "<br>\r\n"
            "<iframe name=\"main\" border=1 frameborder=1 src=\"page2.htm\" width=\"383\" "
            "height=\"280\"></iframe></div>\r\n"
            "<div onclick=\"selectTab(1);\" id=\"p1tab1\" class=\"tab\" "
            "style=\"background-color:#EFEFEF; height:20px; left:80px; top:0px; z-index:2\">\r\n"
            "Second</div>\r\n");
  EXPECT_EQ(CountLines(out), 5);
}

TEST(TabsOutput, LaterCallsOmitTheBlockAndUseCurrentGeometry) {
  Tabs tabs = ExampleTabs();
  tabs.TabName("A");
  tabs.WriteTab(Variant("f"), Variant("a.htm"));
  tabs.TabCount(5);
  tabs.TabWidth(60);
  tabs.PanelWidth(500);
  tabs.PanelHeight(200);
  tabs.TabName("B");
  EXPECT_EQ(tabs.WriteTab(Variant("f"), Variant("b.htm")),
            TabBlock({1, "e0e0e0", 4, true, "f", "b.htm", 483, 180, "", 60, "B"}));
  tabs.TabName("C");
  EXPECT_EQ(tabs.WriteTab(Variant("g"), Variant("c.htm")),
            TabBlock({2, "e0e0e0", 3, true, "g", "c.htm", 483, 180, "", 120, "C"}));
}

TEST(TabsOutput, ZIndexFallsByOnePerTab) {
  Tabs tabs = ExampleTabs();
  tabs.TabName("T");
  const int expected_z[5] = {3, 2, 1, 0, -1};
  for (int i = 0; i < 5; ++i) {
    const std::string out = tabs.WriteTab(Variant("c"), Variant("u"));
    const std::string tab = TabBlock({i, "e0e0e0", expected_z[i], true, "c", "u", 383, 280, "", 80 * i, "T"});
    EXPECT_EQ(out, i == 0 ? FirstCallBlock(3, 80, 400, 300) + tab : tab) << "tab " << i;
  }
}

TEST(TabsOutput, TabCountZeroAndEmptyPanel) {
  Tabs tabs;
  tabs.TabName("X");
  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            FirstCallBlock(0, 0, 0, 0) + TabBlock({0, "e0e0e0", 0, true, "c", "u", -17, -20, "", 0, "X"}));
  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            TabBlock({1, "e0e0e0", -1, true, "c", "u", -17, -20, "", 0, "X"}));
  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            TabBlock({2, "e0e0e0", -2, true, "c", "u", -17, -20, "", 0, "X"}));
}

TEST(TabsOutput, HiddenTabAppliesToOneCallOnly) {
  Tabs tabs = ExampleTabs();
  tabs.TabName("One");
  tabs.WriteTab(Variant("c"), Variant("u"));
  tabs.IsVisible(false);
  tabs.TabName("Two");
  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            TabBlock({1, "e0e0e0", 2, false, "c", "u", 383, 280, "", 80, "Two"}));
  tabs.TabName("Three");
  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            TabBlock({2, "e0e0e0", 1, true, "c", "u", 383, 280, "", 160, "Three"}));
}

TEST(TabsOutput, OnClickIsSplicedAfterSelectTabAndEmptiedAfterwards) {
  Tabs tabs = ExampleTabs();
  tabs.TabName("One");
  tabs.JavaScriptOnClick("alert(1)");
  EXPECT_EQ(
      tabs.WriteTab(Variant("c"), Variant("u")),
      FirstCallBlock(3, 80, 400, 300) + TabBlock({0, "e0e0e0", 3, true, "c", "u", 383, 280, "alert(1)", 0, "One"}));
  EXPECT_EQ(tabs.JavaScriptOnClick(), "");
  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            TabBlock({1, "e0e0e0", 2, true, "c", "u", 383, 280, "", 80, "One"}));
}

TEST(TabsOutput, CallerValuesAreSplicedAsConcatenationTurnsThemIntoText) {
  Tabs tabs = ExampleTabs();
  tabs.TabName("<b>Bold</b>");
  tabs.LayerColor("#abc");  // stored and emitted unchecked: two "#" signs
  tabs.WriteTab(Variant::Integer(7), Variant(2.5));
  EXPECT_EQ(tabs.WriteTab(Variant::Integer(7), Variant(2.5)),
            TabBlock({1, "#abc", 2, true, "7", "2.5", 383, 280, "", 80, "<b>Bold</b>"}));
  EXPECT_EQ(tabs.WriteTab(Variant::Null(), Variant::Empty()),
            TabBlock({2, "#abc", 1, true, "", "", 383, 280, "", 160, "<b>Bold</b>"}));
  Variant name("frame'\"x");
  Variant url = Variant::Boolean(true);
  EXPECT_EQ(tabs.WriteTab(Variant::Ref(name), Variant::Ref(url)),
            TabBlock({3, "#abc", 0, true, "frame'\"x", "True", 383, 280, "", 240, "<b>Bold</b>"}));
  EXPECT_EQ(name.RawString(), "frame'\"x");
}

TEST(TabsOutput, EachObjectEmitsItsOwnBlock) {
  Tabs a = ExampleTabs();
  Tabs b = ExampleTabs();
  a.TabName("A");
  b.TabName("B");
  const std::string first_a = a.WriteTab(Variant("c"), Variant("u"));
  const std::string first_b = b.WriteTab(Variant("c"), Variant("u"));
  EXPECT_EQ(CountLines(first_a), 35);
  EXPECT_EQ(first_b,
            FirstCallBlock(3, 80, 400, 300) + TabBlock({0, "e0e0e0", 3, true, "c", "u", 383, 280, "", 0, "B"}));
}

// ---- validation --------------------------------------------------------------

TEST(TabsValidation, EmptyTabNameRaisesBeforeAnythingChanges) {
  Tabs tabs = ExampleTabs();
  tabs.IsVisible(false);
  tabs.JavaScriptOnClick("go()");
  const Error e = CatchError([&] { tabs.WriteTab(Variant("c"), Variant("u")); });
  EXPECT_EQ(e.Number(), 1);
  EXPECT_EQ(e.Source(), "QuorvixTabs.TABS");
  EXPECT_EQ(e.Description(), "TabName property is empty.");
  EXPECT_EQ(e.Status(), 0x800A0001u);
  EXPECT_EQ(tabs.JavaScriptOnClick(), "go()");

  // The flag, the index and IsVisible kept their values too: the next call
  // is the first result, tab 0, still hidden and still carrying the script.
  tabs.TabName("Now");
  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            FirstCallBlock(3, 80, 400, 300) + TabBlock({0, "e0e0e0", 3, false, "c", "u", 383, 280, "go()", 0, "Now"}));

  // Later on, too, a rejected call does not take an index.
  tabs.TabName("");
  EXPECT_EQ(CatchError([&] { tabs.WriteTab(Variant("c"), Variant("u")); }).Number(), 1);
  tabs.TabName("Next");
  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            TabBlock({1, "e0e0e0", 2, true, "c", "u", 383, 280, "", 80, "Next"}));
}

TEST(TabsValidation, NameCheckComesBeforeAnyConversion) {
  Tabs tabs;
  EXPECT_EQ(CatchError([&] { tabs.WriteTab(Variant::Missing(), Variant::Missing()); }).Number(), 1);
}

// ---- failed calls change nothing ----------------------------------------------

void ExpectError(const Error& e, int number, std::string_view description) {
  EXPECT_EQ(e.Number(), number);
  EXPECT_EQ(e.Source(), "Halvane.Tabs");
  EXPECT_EQ(e.Description(), description);
}

TEST(TabsFailure, OverflowOfTheLeftOffsetAtTab164) {
  Tabs tabs;
  tabs.TabCount(200);
  tabs.TabWidth(200);
  tabs.PanelWidth(400);
  tabs.PanelHeight(300);
  tabs.TabName("T");
  for (int i = 0; i < 164; ++i) tabs.WriteTab(Variant("c"), Variant("u"));  // tabs 0..163

  tabs.IsVisible(false);
  tabs.JavaScriptOnClick("go()");
  // 200 x 164 = 32800 does not fit in 16 bits.
  ExpectError(CatchError([&] { tabs.WriteTab(Variant("c"), Variant("u")); }), 6, "Overflow");
  EXPECT_EQ(tabs.JavaScriptOnClick(), "go()");

  // The next good call is tab 164 (no gap in the ids), still hidden, still
  // carrying the click script, and without the page script.
  tabs.TabWidth(199);
  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            TabBlock({164, "e0e0e0", 36, false, "c", "u", 383, 280, "go()", 199 * 164, "T"}));
}

TEST(TabsFailure, FailedFirstCallsLeaveTheScriptForTheFirstGoodOne) {
  Tabs tabs = ExampleTabs();
  tabs.TabName("Home");
  tabs.JavaScriptOnClick("go()");

  tabs.PanelWidth(-32768);  // frame width -32785
  ExpectError(CatchError([&] { tabs.WriteTab(Variant("c"), Variant("u")); }), 6, "Overflow");
  tabs.PanelWidth(400);
  tabs.PanelHeight(-32750);  // frame height -32770
  ExpectError(CatchError([&] { tabs.WriteTab(Variant("c"), Variant("u")); }), 6, "Overflow");
  tabs.PanelHeight(300);
  // An omitted URL is an Error value, which concatenation cannot turn into text.
  ExpectError(CatchError([&] { tabs.WriteTab(Variant("c"), Variant::Missing()); }), 13, "Type mismatch");
  ExpectError(CatchError([&] { tabs.WriteTab(Variant::Missing(), Variant("u")); }), 13, "Type mismatch");
  Variant missing = Variant::Missing();
  ExpectError(CatchError([&] { tabs.WriteTab(Variant("c"), Variant::Ref(missing)); }), 13, "Type mismatch");
  EXPECT_EQ(tabs.JavaScriptOnClick(), "go()");

  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            FirstCallBlock(3, 80, 400, 300) + TabBlock({0, "e0e0e0", 3, true, "c", "u", 383, 280, "go()", 0, "Home"}));
  EXPECT_EQ(tabs.JavaScriptOnClick(), "");
}

TEST(TabsFailure, OverflowOfTheZIndex) {
  Tabs tabs = ExampleTabs();
  tabs.TabCount(-32768);
  tabs.TabName("T");
  tabs.WriteTab(Variant("c"), Variant("u"));  // -32768 - 0 fits
  ExpectError(CatchError([&] { tabs.WriteTab(Variant("c"), Variant("u")); }), 6, "Overflow");
  tabs.TabCount(3);
  EXPECT_EQ(tabs.WriteTab(Variant("c"), Variant("u")),
            TabBlock({1, "e0e0e0", 2, true, "c", "u", 383, 280, "", 80, "T"}));
}

TEST(TabsFailure, TheTabIndexItselfOverflowsAfter32768Tabs) {
  Tabs tabs;
  tabs.TabName("T");
  std::string last;
  for (int i = 0; i <= 32767; ++i) last = tabs.WriteTab(Variant("c"), Variant("u"));
  EXPECT_EQ(last, TabBlock({32767, "e0e0e0", -32767, true, "c", "u", -17, -20, "", 0, "T"}));
  tabs.JavaScriptOnClick("go()");
  tabs.IsVisible(false);
  ExpectError(CatchError([&] { tabs.WriteTab(Variant("c"), Variant("u")); }), 6, "Overflow");
  EXPECT_EQ(tabs.JavaScriptOnClick(), "go()");
}

}  // namespace
}  // namespace halvane
