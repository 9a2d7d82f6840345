// Page scripts and the components: creation, calls through the automation
// layer, by-reference arguments, omitted arguments and the Err values of
// failing calls.
#include <gtest/gtest.h>

#include "components/calendar/calendar.h"
#include "components/popupmenu/popupmenu.h"
#include "components/progressbar/progressbar.h"
#include "components/tree/tree.h"
#include "host/script/script_test_util.h"

namespace halvane::script {
namespace {

using testing::Out;
using testing::Ran;
using testing::RunText;

// The Err values after `statement` under On Error Resume Next.
std::string ErrAfter(const std::string& setup, const std::string& statement) {
  return Out("On Error Resume Next\n" + setup + "\n" + statement +
             "\nResponse.Write Err.Number & \"|\" & Err.Source & \"|\" & Err.Description");
}

TEST(ScriptObjects, OutputEqualsTheComponentCalledDirectly) {
  Tree tree;
  std::string expected = tree.WriteExpandCollapse();
  expected += tree.WriteMenuHeader("Docs");
  expected += tree.WriteNode("Guide", "/guide.htm", "_top");
  expected += tree.WriteNode("Img", "/i.htm", "main", "/i.gif");
  expected += tree.WriteMenuFooter();
  EXPECT_EQ(
      Out("Set t = CreateObject(\"Halvane.Tree\")\nResponse.Write t.WriteExpandCollapse()\n"
          "Response.Write t.WriteMenuHeader(\"Docs\")\nResponse.Write t.WriteNode(\"Guide\", \"/guide.htm\", "
          "\"_top\")\n"
          "Response.Write t.WriteNode(\"Img\", \"/i.htm\", \"main\", \"/i.gif\")\nResponse.Write t.WriteMenuFooter"),
      expected);

  PopupMenu menu;
  menu.Width(120);
  menu.AddMenuTitle("Edit");
  menu.AddMenuItem("Open", "doOpen()", "open.gif");
  menu.AddHorizontalRule("dot.gif");
  EXPECT_EQ(Out("Set m = CreateObject(\"{1ae2a7a8-53bc-4d83-a89b-539ea018fca5}\")\nm.Width = \"120\"\n"
                "m.AddMenuTitle \"Edit\"\nCall m.AddMenuItem(\"Open\", \"doOpen()\", \"open.gif\")\n"
                "m.AddHorizontalRule(\"dot.gif\")\nResponse.Write m.EmbedPopupMenu()"),
            menu.EmbedPopupMenu());
}

TEST(ScriptObjects, CreationByIdentifierOrClassId) {
  EXPECT_EQ(
      Out("Set a = CreateObject(\"halvane.calendar\")\nSet b = CreateObject(\"69F2EBBF-D021-46B1-A87C-55D8A8A17FC8\")\n"
          "Set c = CreateObject(\"{69f2ebbf-d021-46b1-a87c-55d8a8a17fc8}\")\nSet d = c\n"
          "Response.Write TypeName(a) & TypeName(b) & TypeName(d) & VarType(a) & \" \" & a.ImageURL"),
      "CalendarCalendarCalendar9 Calendar.gif");
  EXPECT_EQ(ErrAfter("", "Set o = CreateObject(\"Halvane.Nothing\")"), "429|Halvane|Cannot create object");
  EXPECT_EQ(ErrAfter("", "Set o = CreateObject(\"\")"), "429|Halvane|Cannot create object");
  // Each object is its own: a second Tree emits its page script again.
  Tree fresh;
  std::string first = std::to_string(fresh.WriteMenuFooter().size());
  std::string second = std::to_string(fresh.WriteMenuFooter().size());
  EXPECT_EQ(Out("Set a = CreateObject(\"Halvane.Tree\")\nSet b = CreateObject(\"Halvane.Tree\")\n"
                "x = a.WriteMenuFooter()\nResponse.Write Len(a.WriteMenuFooter()) & \" \" & Len(b.WriteMenuFooter())"),
            second + " " + first);
}

TEST(ScriptObjects, BareVariablesPassByReferenceParenthesesPassCopies) {
  const std::string setup = "Set p = CreateObject(\"Halvane.ProgressBar\")\n";
  // Show and HideOutput store the Boolean back into their arguments.
  EXPECT_EQ(Out(setup + "a = \"True\" : b = 0\nx = p.Show(a, b)\nResponse.Write TypeName(a) & a & TypeName(b) & b"),
            "BooleanTrueBooleanFalse");
  EXPECT_EQ(Out(setup + "a = \"True\" : b = 0\nx = p.Show((a), (b))\nResponse.Write TypeName(a) & TypeName(b)"),
            "StringInteger");
  EXPECT_EQ(Out(setup + "a = 1\np.HideOutput a\nResponse.Write TypeName(a)"), "Boolean");
  // One parenthesised argument of a call statement is an expression: a copy.
  EXPECT_EQ(Out(setup + "a = 1\np.HideOutput(a)\nResponse.Write TypeName(a)"), "Integer");
  EXPECT_EQ(Out(setup + "a = 1\nCall p.HideOutput(a)\nResponse.Write TypeName(a)"), "Boolean");
  EXPECT_EQ(Out(setup + "a = 1\nx = p.HideOutput(a)\nResponse.Write TypeName(a)"), "Boolean");
  EXPECT_EQ(Out(setup + "a = 1\nx = p.HideOutput(a & \"\")\nResponse.Write TypeName(a)"), "Integer");
  // An undeclared variable passed by reference is declared by the call.
  EXPECT_EQ(Out(setup + "x = p.HideOutput(fresh)\nResponse.Write TypeName(fresh) & fresh"), "BooleanFalse");
  // A property let takes its value, never the variable.
  EXPECT_EQ(Out(setup + "a = \"250\"\np.Max = a\nResponse.Write TypeName(a) & p.Max & TypeName(p.Max)"),
            "String250Long");
  // What the member wrote back comes out equal to the component's own answer.
  ProgressBar direct;
  Variant during(std::string("True")), after(std::int16_t{0});
  EXPECT_EQ(Out(setup + "a = \"True\" : b = 0\nResponse.Write p.Show(a, b)"), direct.Show(during, after));
}

TEST(ScriptObjects, OmittedArguments) {
  Tree tree;
  std::string expected = tree.WriteNode("a", "b", "c");
  EXPECT_EQ(Out("Set t = CreateObject(\"Halvane.Tree\")\nResponse.Write t.WriteNode(\"a\", \"b\", \"c\")"), expected);
  // A left-out String parameter that is not optional fails its conversion.
  EXPECT_EQ(ErrAfter("Set t = CreateObject(\"Halvane.Tree\")", "x = t.WriteNode(\"a\", , \"c\")"),
            "13|Halvane|Type mismatch");
  EXPECT_EQ(ErrAfter("Set m = CreateObject(\"Halvane.PopupMenu\")", "m.AddMenuItem \"a\", , \"c\""),
            "13|Halvane|Type mismatch");
  // A Variant parameter receives the missing-argument value itself; the
  // member's own conversion then fails with the member's source.
  EXPECT_EQ(ErrAfter("Set p = CreateObject(\"Halvane.ProgressBar\")", "x = p.Show(, True)"),
            "13|Halvane.ProgressBar|Type mismatch");
  EXPECT_EQ(ErrAfter("Set p = CreateObject(\"Halvane.ProgressBar\")", "x = p.SetValue()"),
            "450|Halvane|Wrong number of arguments");
}

TEST(ScriptObjects, ErrValuesOfFailingCalls) {
  const std::string cal = "Set c = CreateObject(\"Halvane.Calendar\")";
  const std::string tabs = "Set t = CreateObject(\"Halvane.Tabs\")";
  const std::string menu = "Set m = CreateObject(\"Halvane.PopupMenu\")";
  const std::string tree = "Set t = CreateObject(\"Halvane.Tree\")";
  const std::string bar = "Set p = CreateObject(\"Halvane.ProgressBar\")";
  // A member's own error: its number, source and description.
  EXPECT_EQ(ErrAfter(cal, "c.ActiveDate = \"2/30/2004\""), "1|Halvane.Calendar|ActiveDate Property not a valid date.");
  EXPECT_EQ(ErrAfter(tabs, "x = t.WriteTab(\"a\", \"b.htm\")"), "1|QuorvixTabs.TABS|TabName property is empty.");
  // A conversion inside a member carries the member's class.
  EXPECT_EQ(ErrAfter(bar, "p.Max = \"abc\""), "13|Halvane.ProgressBar|Type mismatch");
  EXPECT_EQ(ErrAfter(bar, "p.Max = Null"), "94|Halvane.ProgressBar|Invalid use of Null");
  // Conversions at the call boundary.
  EXPECT_EQ(ErrAfter(menu, "m.Width = \"abc\""), "13|Halvane|Type mismatch");
  EXPECT_EQ(ErrAfter(menu, "m.Width = 40000"), "6|Halvane|Overflow");
  EXPECT_EQ(ErrAfter(menu, "m.Width = Null"), "13|Halvane|Type mismatch");
  // Names and kinds.
  EXPECT_EQ(ErrAfter(tree, "x = t.NoSuchThing"), "438|Halvane|Object has no such property or method");
  EXPECT_EQ(ErrAfter(tree, "t.NoSuchThing 1"), "438|Halvane|Object has no such property or method");
  EXPECT_EQ(ErrAfter(menu, "x = m.Width"), "438|Halvane|Object has no such property or method");
  EXPECT_EQ(ErrAfter(tree, "t.Width"), "438|Halvane|Object has no such property or method");
  EXPECT_EQ(ErrAfter(tree, "t.WriteMenuFooter = 1"), "438|Halvane|Object has no such property or method");
  EXPECT_EQ(ErrAfter(menu, "m.AddMenuTitle"), "450|Halvane|Wrong number of arguments");
  EXPECT_EQ(ErrAfter(menu, "m.AddMenuTitle \"a\", \"b\""), "450|Halvane|Wrong number of arguments");
  // Objects where values belong, and values where objects belong.
  EXPECT_EQ(ErrAfter(tree, "x = t"), "438|Halvane|Object has no such property or method");
  EXPECT_EQ(ErrAfter(tree, "Response.Write t"), "438|Halvane|Object has no such property or method");
  EXPECT_EQ(ErrAfter("", "Set x = 5"), "424|Halvane|Object required");
  EXPECT_EQ(ErrAfter("x = 5", "x.Foo 1"), "424|Halvane|Object required");
  EXPECT_EQ(ErrAfter("", "y = x.Width"), "424|Halvane|Object required");
}

TEST(ScriptObjects, UnhandledMemberErrorStatusAndLine) {
  Ran r = RunText(
      "Set c = CreateObject(\"Halvane.Calendar\")\nResponse.Write \"before\"\n"
      "c.ActiveDate = \"13/45/2026\"\nResponse.Write \"after\"");
  EXPECT_EQ(r.out, "before");
  EXPECT_EQ(r.result.outcome, Outcome::Error);
  EXPECT_EQ(r.result.line, 3);
  EXPECT_EQ(r.result.status, 0x800A0001u);
  EXPECT_EQ(r.result.number, 1);
  EXPECT_EQ(r.result.source, "Halvane.Calendar");
  r = RunText("Set t = CreateObject(\"Halvane.Tree\")\nt.Nope");
  EXPECT_EQ(r.result.status, 0x800A01B6u);
  EXPECT_EQ(r.result.number, 438);
  // A failed call leaves the object as it was, and the script goes on using it.
  EXPECT_EQ(Out("Set c = CreateObject(\"Halvane.Calendar\")\nc.ActiveDate = \"3/5/2004\"\nOn Error Resume Next\n"
                "c.ActiveDate = \"x\"\nResponse.Write c.ActiveDate"),
            "03/05/2004");
}

}  // namespace
}  // namespace halvane::script
