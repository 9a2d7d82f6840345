// Invoke through the automation layer: every member reaches its C++ member
// with converted arguments; every failure status; write-back into the
// caller's references; errors raised by members.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation_support.h"
#include "halvane.h"

namespace halvane::automation {
namespace {

using testing::Call;
using testing::CallResult;
using testing::Create;
using testing::Get;
using testing::Int16;
using testing::Let;
using testing::Method;
using testing::Text;
constexpr auto kMethod = InvokeKind::Method;
constexpr auto kGet = InvokeKind::PropertyGet;
constexpr auto kLet = InvokeKind::PropertyLet;

const std::string kSecondTab =
    "<div id='p1panel1' class='panel' style='background-color: #EFEFEF;  z-index:2'>\r\n"
    "<br>\r\n"
    "<iframe name=\"main\" border=1 frameborder=1 src=\"page2.htm\" width=\"383\" height=\"280\"></iframe></div>\r\n"
    "<div onclick=\"selectTab(1);\" id=\"p1tab1\" class=\"tab\" style=\"background-color:#EFEFEF; height:20px; "
    "left:80px; top:0px; z-index:2\">\r\n"
    "Second</div>\r\n";

// ---- every member reaches the right C++ member -------------------------------

TEST(AutomationInvoke, TabsThroughTheLayerGivesTheSecondTabOfTheWorkedExample) {
  ObjectPtr o = Create("Halvane.Tabs");
  // Arguments of several kinds, each converted to Integer at the boundary.
  EXPECT_EQ(Let(*o, "TabCount", Variant("3")).hr, kOk);
  EXPECT_EQ(Let(*o, "TabWidth", Variant(80)).hr, kOk);
  EXPECT_EQ(Let(*o, "PanelWidth", Variant(400.0)).hr, kOk);
  EXPECT_EQ(Let(*o, "PanelHeight", Int16(300)).hr, kOk);
  EXPECT_EQ(Let(*o, "TabName", Variant("First")).hr, kOk);
  const std::string first = Text(Method(*o, "WriteTab", {Variant("main"), Variant("page1.htm")}));
  EXPECT_EQ(first.rfind("<script language=\"JavaScript\">\r\n", 0), 0u);
  EXPECT_EQ(Method(*o, "MoveNextLayerColor").hr, kOk);
  EXPECT_EQ(Let(*o, "TabName", Variant("Second")).hr, kOk);
  EXPECT_EQ(Text(Method(*o, "WriteTab", {Variant("main"), Variant("page2.htm")})), kSecondTab);

  // The same calls made directly give the same first tab.
  Tabs direct;
  direct.TabCount(3);
  direct.TabWidth(80);
  direct.PanelWidth(400);
  direct.PanelHeight(300);
  direct.TabName("First");
  EXPECT_EQ(first, direct.WriteTab(Variant("main"), Variant("page1.htm")));
}

TEST(AutomationInvoke, EachPropertyGetReadsWhatItsLetStored) {
  ObjectPtr tree = Create("Halvane.Tree");
  const std::vector<const char*> tree_props = {"Width",          "TextClass",      "ExpandedImage",
                                               "ExpandAllImage", "CollapsedImage", "CollapseAllImage"};
  for (const char* p : tree_props) ASSERT_EQ(Let(*tree, p, Variant(std::string("v-") + p)).hr, kOk) << p;
  for (const char* p : tree_props) EXPECT_EQ(Text(Get(*tree, p)), std::string("v-") + p) << p;

  ObjectPtr tabs = Create("Halvane.Tabs");
  const std::vector<std::pair<const char*, int>> ints = {
      {"TabWidth", 11}, {"PanelWidth", 22}, {"PanelHeight", 33}, {"TabCount", 44}};
  for (const auto& [p, v] : ints) ASSERT_EQ(Let(*tabs, p, Variant(v)).hr, kOk) << p;
  for (const auto& [p, v] : ints) {
    const CallResult r = Get(*tabs, p);
    ASSERT_EQ(r.hr, kOk);
    EXPECT_EQ(r.value.Type(), VarType::Integer) << p;
    EXPECT_EQ(r.value.RawInt(), v) << p;
  }
  ASSERT_EQ(Let(*tabs, "TabName", Variant("n")).hr, kOk);
  ASSERT_EQ(Let(*tabs, "LayerColor", Variant("123456")).hr, kOk);
  ASSERT_EQ(Let(*tabs, "JavaScriptOnClick", Variant("go()")).hr, kOk);
  EXPECT_EQ(Text(Get(*tabs, "TabName")), "n");
  EXPECT_EQ(Text(Get(*tabs, "LayerColor")), "123456");
  EXPECT_EQ(Text(Get(*tabs, "JavaScriptOnClick")), "go()");

  ObjectPtr bar = Create("Halvane.ProgressBar");
  ASSERT_EQ(Let(*bar, "Max", Variant("250")).hr, kOk);
  ASSERT_EQ(Let(*bar, "Color", Variant(7)).hr, kOk);
  const CallResult max = Get(*bar, "Max");
  EXPECT_EQ(max.value.Type(), VarType::Long);
  EXPECT_EQ(max.value.RawInt(), 250);
  const CallResult color = Get(*bar, "Color");
  EXPECT_EQ(color.value.Type(), VarType::String);
  EXPECT_EQ(color.value.RawString(), "7");

  ObjectPtr cal = Create("Halvane.Calendar");
  ASSERT_EQ(Let(*cal, "ImageURL", Variant("c.gif")).hr, kOk);
  ASSERT_EQ(Let(*cal, "ActiveDate", Variant("3/5/2004")).hr, kOk);
  EXPECT_EQ(ToString(Get(*cal, "ImageURL").value), "c.gif");
  EXPECT_EQ(ToString(Get(*cal, "ActiveDate").value), "03/05/2004");
}

TEST(AutomationInvoke, OutputMethodsMatchDirectCalls) {
  // AutoComplete: Boolean parameters from texts and numbers.
  ObjectPtr ac = Create("Halvane.AutoComplete");
  AutoComplete ac_direct;
  EXPECT_EQ(Text(Method(*ac, "EmbedAutoComplete", {Variant("city"), Variant("cities"), Variant("true"), Int16(0)})),
            ac_direct.EmbedAutoComplete("city", "cities", true, false));
  EXPECT_EQ(Text(Method(*ac, "EmbedAutoComplete", {Variant("c2"), Variant("l2"), Variant(false), Variant(2.5)})),
            ac_direct.EmbedAutoComplete("c2", "l2", false, true));

  // Calendar: both outputs and the order of their script blocks.
  ObjectPtr cal = Create("Halvane.Calendar");
  Calendar cal_direct;
  ASSERT_EQ(Let(*cal, "ActiveDate", Variant("12/4/2026")).hr, kOk);
  cal_direct.ActiveDate(Variant("12/4/2026"));
  EXPECT_EQ(Text(Method(*cal, "DisplayPopup", {Variant("due")})), cal_direct.DisplayPopup(Variant("due")));
  EXPECT_EQ(Text(Method(*cal, "DisplayEmbedded", {Variant("agenda")})), cal_direct.DisplayEmbedded(Variant("agenda")));

  // PopupMenu: every setting and row kind.
  ObjectPtr menu = Create("Halvane.PopupMenu");
  PopupMenu menu_direct;
  EXPECT_EQ(Let(*menu, "BorderColor", Variant("112233")).hr, kOk);
  EXPECT_EQ(Let(*menu, "Width", Variant("150")).hr, kOk);
  EXPECT_EQ(Let(*menu, "BGColor", Variant("445566")).hr, kOk);
  EXPECT_EQ(Let(*menu, "OnMouseOver", Variant("over()")).hr, kOk);
  EXPECT_EQ(Let(*menu, "OnMouseOut", Variant("out()")).hr, kOk);
  EXPECT_EQ(Method(*menu, "AddMenuTitle", {Variant("Edit")}).hr, kOk);
  EXPECT_EQ(Method(*menu, "AddMenuItem", {Variant("Open"), Variant("doOpen()"), Variant("open.gif")}).hr, kOk);
  EXPECT_EQ(Method(*menu, "AddHorizontalRule", {Variant("dot.gif")}).hr, kOk);
  menu_direct.BorderColor("112233");
  menu_direct.Width(150);
  menu_direct.BGColor("445566");
  menu_direct.OnMouseOver("over()");
  menu_direct.OnMouseOut("out()");
  menu_direct.AddMenuTitle("Edit");
  menu_direct.AddMenuItem("Open", "doOpen()", "open.gif");
  menu_direct.AddHorizontalRule("dot.gif");
  EXPECT_EQ(Text(Method(*menu, "EmbedPopupMenu")), menu_direct.EmbedPopupMenu());

  // ProgressBar.
  ObjectPtr bar = Create("Halvane.ProgressBar");
  ProgressBar bar_direct;
  EXPECT_EQ(Text(Method(*bar, "Show", {Variant(false), Variant(true)})),
            bar_direct.Show(Variant(false), Variant(true)));
  EXPECT_EQ(Text(Method(*bar, "SetValue", {Variant("42")})), bar_direct.SetValue(Variant(42)));
  const CallResult value = Method(*bar, "GetValue");
  EXPECT_EQ(value.value.Type(), VarType::Long);
  EXPECT_EQ(value.value.RawInt(), 42);
  EXPECT_EQ(Text(Method(*bar, "HideOutput", {Variant(true)})), bar_direct.HideOutput(Variant(true)));

  // Tabs: the stepping methods.
  ObjectPtr tabs = Create("Halvane.Tabs");
  EXPECT_EQ(Method(*tabs, "MovePreviousLayerColor").hr, kOk);
  EXPECT_EQ(Text(Get(*tabs, "LayerColor")), "D1D1D1");
  EXPECT_EQ(Method(*tabs, "MoveNextLayerColor").hr, kOk);
  EXPECT_EQ(Text(Get(*tabs, "LayerColor")), "E0E0E0");

  // Tree: every output method, WriteNode with and without its optional
  // argument (left off, or passed as the missing-argument value).
  ObjectPtr tree = Create("Halvane.Tree");
  Tree tree_direct;
  EXPECT_EQ(Text(Method(*tree, "Initialize")), tree_direct.Initialize());
  EXPECT_EQ(Text(Method(*tree, "WriteExpandCollapse")), tree_direct.WriteExpandCollapse());
  EXPECT_EQ(Text(Method(*tree, "WriteMenuHeader", {Variant("Docs")})), tree_direct.WriteMenuHeader("Docs"));
  EXPECT_EQ(Text(Method(*tree, "WriteNode", {Variant("A"), Variant("/a"), Variant("_top"), Variant("a.gif")})),
            tree_direct.WriteNode("A", "/a", "_top", "a.gif"));
  EXPECT_EQ(Text(Method(*tree, "WriteNode", {Variant("B"), Variant("/b"), Variant("_top")})),
            tree_direct.WriteNode("B", "/b", "_top", ""));
  EXPECT_EQ(Text(Method(*tree, "WriteNode", {Variant("C"), Variant("/c"), Variant(7), Variant::Missing()})),
            tree_direct.WriteNode("C", "/c", "7"));
  EXPECT_EQ(Text(Method(*tree, "WriteMenuFooter")), tree_direct.WriteMenuFooter());
}

TEST(AutomationInvoke, MembersWithoutResultGiveEmptyAndResultMayBeOmitted) {
  ObjectPtr tabs = Create("Halvane.Tabs");
  const CallResult r = Let(*tabs, "TabName", Variant("x"));
  EXPECT_EQ(r.hr, kOk);
  EXPECT_TRUE(r.value.IsEmpty());
  std::int32_t id = 0;
  ASSERT_EQ(tabs->GetIDOfName("TabName", id), kOk);
  std::vector<Variant> args = {Variant("y")};
  EXPECT_EQ(tabs->Invoke(id, kLet, args, nullptr, nullptr), kOk);
  EXPECT_EQ(Text(Get(*tabs, "TabName")), "y");
}

// ---- statuses --------------------------------------------------------------------

TEST(AutomationInvoke, KindsAMemberLacksAreNotFound) {
  ObjectPtr tabs = Create("Halvane.Tabs");
  EXPECT_EQ(Get(*tabs, "IsVisible").hr, kDispEMemberNotFound);        // let only
  EXPECT_EQ(Method(*tabs, "TabName").hr, kDispEMemberNotFound);       // a property called as a method
  EXPECT_EQ(Call(*tabs, "WriteTab", kGet).hr, kDispEMemberNotFound);  // a method read as a property
  EXPECT_EQ(Call(*tabs, "MoveNextLayerColor", kLet, {Variant(1)}).hr, kDispEMemberNotFound);
  ObjectPtr menu = Create("Halvane.PopupMenu");
  for (const char* p : {"BorderColor", "Width", "BGColor", "OnMouseOver", "OnMouseOut"})
    EXPECT_EQ(Get(*menu, p).hr, kDispEMemberNotFound) << p;
  ObjectPtr bar = Create("Halvane.ProgressBar");
  EXPECT_EQ(Get(*bar, "GetValue").hr, kDispEMemberNotFound);
  // DISPIDs of no member at all, including another interface's.
  for (std::int32_t id : {0, -1, 0x60030000, 0x68030008, 0x6003000E}) {
    EXPECT_EQ(tabs->Invoke(id, kMethod, {}, nullptr, nullptr), kDispEMemberNotFound) << id;
    EXPECT_EQ(tabs->Invoke(id, kGet, {}, nullptr, nullptr), kDispEMemberNotFound) << id;
  }
}

TEST(AutomationInvoke, WrongArgumentCountsAreRefusedBeforeAnythingRuns) {
  ObjectPtr tabs = Create("Halvane.Tabs");
  EXPECT_EQ(Let(*tabs, "TabName", Variant("t")).hr, kOk);
  EXPECT_EQ(Method(*tabs, "WriteTab", {Variant("main")}).hr, kDispEBadParamCount);
  EXPECT_EQ(Method(*tabs, "WriteTab", {Variant("a"), Variant("b"), Variant("c")}).hr, kDispEBadParamCount);
  EXPECT_EQ(Method(*tabs, "WriteTab").hr, kDispEBadParamCount);
  EXPECT_EQ(Call(*tabs, "TabName", kGet, {Variant("x")}).hr, kDispEBadParamCount);
  EXPECT_EQ(Call(*tabs, "TabName", kLet, {}).hr, kDispEBadParamCount);
  EXPECT_EQ(Call(*tabs, "TabName", kLet, {Variant("a"), Variant("b")}).hr, kDispEBadParamCount);
  EXPECT_EQ(Method(*tabs, "MoveNextLayerColor", {Variant()}).hr, kDispEBadParamCount);
  EXPECT_EQ(Text(Get(*tabs, "LayerColor")), "e0e0e0");
  // None of them wrote a tab: the next one still carries the page script.
  EXPECT_EQ(Text(Method(*tabs, "WriteTab", {Variant("m"), Variant("u")})).rfind("<script", 0), 0u);

  ObjectPtr tree = Create("Halvane.Tree");
  EXPECT_EQ(Method(*tree, "WriteNode", {Variant("a"), Variant("b")}).hr, kDispEBadParamCount);
  EXPECT_EQ(Method(*tree, "WriteNode", {Variant("a"), Variant("b"), Variant("c"), Variant("d"), Variant("e")}).hr,
            kDispEBadParamCount);
  // Nothing ran, so the tree's first output still holds its page script.
  Tree fresh;
  EXPECT_EQ(Text(Method(*tree, "WriteMenuFooter")), fresh.WriteMenuFooter());
}

TEST(AutomationInvoke, FailedConversionsReportTheArgumentAndLeaveTheObjectUntouched) {
  ObjectPtr tabs = Create("Halvane.Tabs");
  ASSERT_EQ(Let(*tabs, "TabWidth", Variant(80)).hr, kOk);
  struct Case {
    Variant value;
    HResult hr;
  };
  const std::vector<Case> cases = {
      {Variant("abc"), kDispETypeMismatch},        {Variant(""), kDispETypeMismatch},
      {Variant::Null(), kDispETypeMismatch},       {Variant::Missing(), kDispETypeMismatch},
      {Variant::ErrorCode(5), kDispETypeMismatch}, {Variant(40000), kDispEOverflow},
      {Variant("32768"), kDispEOverflow},          {Variant(-32769.0), kDispEOverflow},
  };
  for (const Case& c : cases) {
    const CallResult r = Let(*tabs, "TabWidth", c.value);
    EXPECT_EQ(r.hr, c.hr) << TypeName(c.value);
    EXPECT_EQ(r.arg_err, 0u);
    EXPECT_TRUE(r.value.IsEmpty());
    EXPECT_EQ(Get(*tabs, "TabWidth").value.RawInt(), 80);
  }
  EXPECT_EQ(Let(*tabs, "TabName", Variant::Null()).hr, kDispETypeMismatch);
  EXPECT_EQ(Let(*tabs, "IsVisible", Variant("maybe")).hr, kDispETypeMismatch);
  EXPECT_EQ(Text(Get(*tabs, "TabName")), "");

  // The last argument fails: the member does not run, so the object's
  // script block is still to come.
  ObjectPtr ac = Create("Halvane.AutoComplete");
  const CallResult bad = Method(*ac, "EmbedAutoComplete", {Variant("f"), Variant("s"), Variant(true), Variant("yes")});
  EXPECT_EQ(bad.hr, kDispETypeMismatch);
  EXPECT_EQ(bad.arg_err, 3u);
  const CallResult over =
      Method(*ac, "EmbedAutoComplete", {Variant("f"), Variant::Null(), Variant(true), Variant(false)});
  EXPECT_EQ(over.hr, kDispETypeMismatch);
  EXPECT_EQ(over.arg_err, 1u);
  AutoComplete fresh;
  EXPECT_EQ(Text(Method(*ac, "EmbedAutoComplete", {Variant("f"), Variant("s"), Variant(true), Variant(false)})),
            fresh.EmbedAutoComplete("f", "s", true, false));

  ObjectPtr menu = Create("Halvane.PopupMenu");
  const CallResult width = Let(*menu, "Width", Variant(1e10));
  EXPECT_EQ(width.hr, kDispEOverflow);
  // An omitted required String fails its conversion too.
  EXPECT_EQ(Method(*menu, "AddMenuItem", {Variant("a"), Variant::Missing(), Variant("c")}).arg_err, 1u);
  EXPECT_EQ(Text(Method(*menu, "EmbedPopupMenu")), PopupMenu().EmbedPopupMenu());
}

// ---- errors raised by members ------------------------------------------------------

TEST(AutomationInvoke, MemberErrorsComeBackAsExceptions) {
  ObjectPtr tabs = Create("Halvane.Tabs");
  CallResult r = Method(*tabs, "WriteTab", {Variant("main"), Variant("page.htm")});
  EXPECT_EQ(r.hr, kDispEException);
  EXPECT_EQ(r.excep.status, 0x800A0001u);
  EXPECT_EQ(r.excep.source, "QuorvixTabs.TABS");
  EXPECT_EQ(r.excep.description, "TabName property is empty.");
  EXPECT_TRUE(r.value.IsEmpty());

  ObjectPtr cal = Create("Halvane.Calendar");
  ASSERT_EQ(Let(*cal, "ActiveDate", Variant("3/5/2004")).hr, kOk);
  r = Let(*cal, "ActiveDate", Variant("2/30/2004"));
  EXPECT_EQ(r.hr, kDispEException);
  EXPECT_EQ(r.excep.status, 0x800A0001u);
  EXPECT_EQ(r.excep.source, "Halvane.Calendar");
  EXPECT_EQ(r.excep.description, "ActiveDate Property not a valid date.");
  EXPECT_EQ(ToString(Get(*cal, "ActiveDate").value), "03/05/2004");

  // Conversions inside a member (a Variant parameter) carry the member's
  // source and the standard number and description.
  ObjectPtr bar = Create("Halvane.ProgressBar");
  ASSERT_EQ(Let(*bar, "Max", Variant(10)).hr, kOk);
  r = Let(*bar, "Max", Variant("ten"));
  EXPECT_EQ(r.hr, kDispEException);
  EXPECT_EQ(r.excep.status, 0x800A000Du);
  EXPECT_EQ(r.excep.source, "Halvane.ProgressBar");
  EXPECT_EQ(r.excep.description, "Type mismatch");
  r = Let(*bar, "Max", Variant(3e9));
  EXPECT_EQ(r.excep.status, 0x800A0006u);
  EXPECT_EQ(r.excep.description, "Overflow");
  r = Let(*bar, "Color", Variant::Null());
  EXPECT_EQ(r.excep.status, 0x800A005Eu);
  EXPECT_EQ(r.excep.description, "Invalid use of Null");
  EXPECT_EQ(Get(*bar, "Max").value.RawInt(), 10);

  // An omitted Variant argument reaches the member as the missing-argument
  // Error value, which the Tabs output cannot splice.
  ASSERT_EQ(Let(*tabs, "TabName", Variant("t")).hr, kOk);
  r = Method(*tabs, "WriteTab", {Variant::Missing(), Variant("u")});
  EXPECT_EQ(r.hr, kDispEException);
  EXPECT_EQ(r.excep.status, 0x800A000Du);
  EXPECT_EQ(r.excep.source, "Halvane.Tabs");
}

// ---- by-reference arguments --------------------------------------------------------

TEST(AutomationInvoke, ShowAndHideOutputWriteBackIntoReferences) {
  ObjectPtr bar = Create("Halvane.ProgressBar");
  Variant during("True");
  Variant after = Int16(0);
  std::vector<Variant> args = {Variant::Ref(during), Variant::Ref(after)};
  const CallResult shown = Call(*bar, "Show", kMethod, args);
  EXPECT_EQ(Text(shown), ProgressBar().Show(Variant(true), Variant(false)));
  EXPECT_EQ(during.Tag(), static_cast<std::uint16_t>(VarType::Boolean));
  EXPECT_EQ(during.RawInt(), -1);
  EXPECT_EQ(after.Tag(), static_cast<std::uint16_t>(VarType::Boolean));
  EXPECT_EQ(after.RawInt(), 0);

  Variant hidden(2.5);
  args = {Variant::Ref(hidden)};
  EXPECT_EQ(Text(Call(*bar, "HideOutput", kMethod, args)), ProgressBar().HideOutput(Variant(true)));
  EXPECT_EQ(hidden.Type(), VarType::Boolean);
  EXPECT_EQ(hidden.RawInt(), -1);

  // A value passed without a reference is the member's own copy: the
  // caller's argument keeps what it was.
  args = {Variant("0")};
  EXPECT_EQ(Text(Call(*bar, "HideOutput", kMethod, args)), ProgressBar().HideOutput(Variant(false)));
  EXPECT_EQ(args[0].Type(), VarType::String);
  EXPECT_EQ(args[0].RawString(), "0");

  // The first argument is converted and written back before the second
  // fails; that write stays.
  Variant first(1);
  Variant second("nope");
  args = {Variant::Ref(first), Variant::Ref(second)};
  const CallResult failed = Call(*bar, "Show", kMethod, args);
  EXPECT_EQ(failed.hr, kDispEException);
  EXPECT_EQ(failed.excep.status, 0x800A000Du);
  EXPECT_EQ(first.Type(), VarType::Boolean);
  EXPECT_EQ(second.Type(), VarType::String);
}

TEST(AutomationInvoke, TypedParametersReadThroughReferencesWithoutWritingBack) {
  ObjectPtr tabs = Create("Halvane.Tabs");
  Variant width(80);
  Variant name("Second");
  std::vector<Variant> args = {Variant::Ref(width)};
  EXPECT_EQ(Call(*tabs, "TabWidth", kLet, args).hr, kOk);
  args = {Variant::Ref(name)};
  EXPECT_EQ(Call(*tabs, "TabName", kLet, args).hr, kOk);
  EXPECT_EQ(Get(*tabs, "TabWidth").value.RawInt(), 80);
  EXPECT_EQ(Text(Get(*tabs, "TabName")), "Second");
  EXPECT_EQ(width.Type(), VarType::Long);
  EXPECT_EQ(name.RawString(), "Second");
  // The component keeps its own copy.
  name = Variant("changed");
  EXPECT_EQ(Text(Get(*tabs, "TabName")), "Second");
}

}  // namespace
}  // namespace halvane::automation
