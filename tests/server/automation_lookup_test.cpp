// Creation by identifier and name lookup: every member of every interface
// is found in any letter case and gives its published DISPID.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "automation_support.h"

namespace halvane::automation {
namespace {

using testing::Create;

struct Row {
  const char* prog_id;
  const char* member;
  MemberKind kind;
  std::uint32_t dispid;
  std::vector<ValueType> params;
  ValueType result;
};

constexpr auto M = MemberKind::Method;
constexpr auto G = MemberKind::PropertyGet;
constexpr auto L = MemberKind::PropertyLet;
constexpr auto S = ValueType::String;
constexpr auto I = ValueType::Integer;
constexpr auto B = ValueType::Boolean;
constexpr auto V = ValueType::Variant;
constexpr auto N = ValueType::None;

// The published interfaces, in function-table order.
const std::vector<Row> kInterfaces = {
    {"Halvane.AutoComplete", "EmbedAutoComplete", M, 0x60030002, {S, S, B, B}, S},
    {"Halvane.Calendar", "ImageURL", L, 0x68030001, {V}, N},
    {"Halvane.Calendar", "ImageURL", G, 0x68030001, {}, V},
    {"Halvane.Calendar", "ActiveDate", L, 0x68030000, {V}, N},
    {"Halvane.Calendar", "ActiveDate", G, 0x68030000, {}, V},
    {"Halvane.Calendar", "DisplayEmbedded", M, 0x60030006, {V}, S},
    {"Halvane.Calendar", "DisplayPopup", M, 0x60030007, {V}, S},
    {"Halvane.PopupMenu", "BorderColor", L, 0x68030004, {S}, N},
    {"Halvane.PopupMenu", "Width", L, 0x68030003, {I}, N},
    {"Halvane.PopupMenu", "BGColor", L, 0x68030002, {S}, N},
    {"Halvane.PopupMenu", "OnMouseOver", L, 0x68030001, {S}, N},
    {"Halvane.PopupMenu", "OnMouseOut", L, 0x68030000, {S}, N},
    {"Halvane.PopupMenu", "AddMenuTitle", M, 0x60030006, {S}, N},
    {"Halvane.PopupMenu", "AddMenuItem", M, 0x60030007, {S, S, S}, N},
    {"Halvane.PopupMenu", "AddHorizontalRule", M, 0x60030008, {S}, N},
    {"Halvane.PopupMenu", "EmbedPopupMenu", M, 0x60030009, {}, S},
    {"Halvane.ProgressBar", "GetValue", M, 0x60030003, {}, V},
    {"Halvane.ProgressBar", "Max", L, 0x68030001, {V}, N},
    {"Halvane.ProgressBar", "Max", G, 0x68030001, {}, V},
    {"Halvane.ProgressBar", "Color", L, 0x68030000, {V}, N},
    {"Halvane.ProgressBar", "Color", G, 0x68030000, {}, V},
    {"Halvane.ProgressBar", "SetValue", M, 0x60030004, {V}, S},
    {"Halvane.ProgressBar", "Show", M, 0x60030005, {V, V}, S},
    {"Halvane.ProgressBar", "HideOutput", M, 0x60030006, {V}, S},
    {"Halvane.Tabs", "IsVisible", L, 0x68030007, {B}, N},
    {"Halvane.Tabs", "TabName", G, 0x68030006, {}, S},
    {"Halvane.Tabs", "TabName", L, 0x68030006, {S}, N},
    {"Halvane.Tabs", "TabWidth", G, 0x68030005, {}, I},
    {"Halvane.Tabs", "TabWidth", L, 0x68030005, {I}, N},
    {"Halvane.Tabs", "PanelWidth", G, 0x68030004, {}, I},
    {"Halvane.Tabs", "PanelWidth", L, 0x68030004, {I}, N},
    {"Halvane.Tabs", "PanelHeight", G, 0x68030003, {}, I},
    {"Halvane.Tabs", "PanelHeight", L, 0x68030003, {I}, N},
    {"Halvane.Tabs", "TabCount", G, 0x68030002, {}, I},
    {"Halvane.Tabs", "TabCount", L, 0x68030002, {I}, N},
    {"Halvane.Tabs", "LayerColor", G, 0x68030001, {}, S},
    {"Halvane.Tabs", "LayerColor", L, 0x68030001, {S}, N},
    {"Halvane.Tabs", "JavaScriptOnClick", G, 0x68030000, {}, S},
    {"Halvane.Tabs", "JavaScriptOnClick", L, 0x68030000, {S}, N},
    {"Halvane.Tabs", "WriteTab", M, 0x6003000B, {V, V}, S},
    {"Halvane.Tabs", "MoveNextLayerColor", M, 0x6003000C, {}, N},
    {"Halvane.Tabs", "MovePreviousLayerColor", M, 0x6003000D, {}, N},
    {"Halvane.Tree", "Width", G, 0x68030005, {}, S},
    {"Halvane.Tree", "Width", L, 0x68030005, {S}, N},
    {"Halvane.Tree", "TextClass", G, 0x68030004, {}, S},
    {"Halvane.Tree", "TextClass", L, 0x68030004, {S}, N},
    {"Halvane.Tree", "ExpandedImage", G, 0x68030003, {}, S},
    {"Halvane.Tree", "ExpandedImage", L, 0x68030003, {S}, N},
    {"Halvane.Tree", "ExpandAllImage", G, 0x68030002, {}, S},
    {"Halvane.Tree", "ExpandAllImage", L, 0x68030002, {S}, N},
    {"Halvane.Tree", "CollapsedImage", G, 0x68030001, {}, S},
    {"Halvane.Tree", "CollapsedImage", L, 0x68030001, {S}, N},
    {"Halvane.Tree", "CollapseAllImage", G, 0x68030000, {}, S},
    {"Halvane.Tree", "CollapseAllImage", L, 0x68030000, {S}, N},
    {"Halvane.Tree", "WriteExpandCollapse", M, 0x60030007, {}, S},
    {"Halvane.Tree", "Initialize", M, 0x60030008, {}, S},
    {"Halvane.Tree", "WriteMenuHeader", M, 0x60030009, {S}, S},
    {"Halvane.Tree", "WriteMenuFooter", M, 0x6003000A, {}, S},
    {"Halvane.Tree", "WriteNode", M, 0x6003000B, {S, S, S, S}, S},
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}
std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}
// Alternating case: "wRiTeTaB".
std::string Mixed(std::string s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    s[i] = static_cast<char>(i % 2 ? std::toupper(c) : std::tolower(c));
  }
  return s;
}

TEST(AutomationLookup, EveryMemberInAnyCaseGivesItsDispid) {
  for (const Row& row : kInterfaces) {
    ObjectPtr o = Create(row.prog_id);
    ASSERT_TRUE(o);
    for (const std::string& name : {std::string(row.member), Lower(row.member), Upper(row.member), Mixed(row.member)}) {
      std::int32_t id = 0;
      EXPECT_EQ(o->GetIDOfName(name, id), kOk) << row.prog_id << " " << name;
      EXPECT_EQ(static_cast<std::uint32_t>(id), row.dispid) << row.prog_id << " " << name;
    }
  }
}

TEST(AutomationLookup, ClassTableHoldsExactlyThePublishedMembers) {
  std::size_t rows = 0;
  for (const ClassInfo& c : Classes()) {
    std::vector<const Row*> expected;
    for (const Row& r : kInterfaces)
      if (c.prog_id == r.prog_id) expected.push_back(&r);
    ASSERT_EQ(c.members.size(), expected.size()) << c.name;
    EXPECT_NE(c.create, nullptr);
    EXPECT_NE(c.destroy, nullptr);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const MemberInfo& m = c.members[i];
      const Row& r = *expected[i];
      EXPECT_EQ(m.name, r.member);
      EXPECT_EQ(m.kind, r.kind) << r.member;
      EXPECT_EQ(static_cast<std::uint32_t>(m.dispid), r.dispid) << r.member;
      EXPECT_EQ(m.result, r.result) << r.member;
      EXPECT_NE(m.invoke, nullptr) << r.member;
      ASSERT_EQ(m.params.size(), r.params.size()) << r.member;
      for (std::size_t p = 0; p < r.params.size(); ++p) EXPECT_EQ(m.params[p].type, r.params[p]) << r.member;
      ++rows;
    }
  }
  EXPECT_EQ(rows, kInterfaces.size());
  // The one optional parameter of all interfaces.
  const MemberInfo* node = FindMember(*FindClass("Halvane.Tree"), 0x6003000B, MemberKind::Method);
  ASSERT_NE(node, nullptr);
  for (std::size_t p = 0; p < node->params.size(); ++p) EXPECT_EQ(node->params[p].optional, p == 3);
}

TEST(AutomationLookup, UnknownNamesAreRefusedAndLeaveTheDispidAlone) {
  ObjectPtr tabs = Create("Halvane.Tabs");
  for (const char* name : {"", "WriteTabs", "Write", "Tab Name", "TabName ", "EmbedPopupMenu", "Show", "selectTab"}) {
    std::int32_t id = 12345;
    EXPECT_EQ(tabs->GetIDOfName(name, id), kDispEUnknownName) << name;
    EXPECT_EQ(id, 12345);
  }
  // A name of another class's interface is unknown here.
  ObjectPtr tree = Create("Halvane.Tree");
  std::int32_t id = 0;
  EXPECT_EQ(tree->GetIDOfName("TabCount", id), kDispEUnknownName);
  EXPECT_EQ(tree->GetIDOfName("Width", id), kOk);
  EXPECT_EQ(static_cast<std::uint32_t>(id), 0x68030005u);
}

TEST(AutomationLookup, CreatesByProgIdOrClsidInAnyCase) {
  const std::vector<std::pair<const char*, const char*>> ids = {
      {"halvane.autocomplete", "AutoComplete"},
      {"HALVANE.CALENDAR", "Calendar"},
      {"Halvane.PopupMenu", "PopupMenu"},
      {"{BB45D2B4-226D-4BD1-AA50-079C9C7570AB}", "ProgressBar"},
      {"f1326a1f-51f9-44ab-b420-bc3555e0757f", "Tabs"},
      {"{bfc10b8e-F8D0-4839-83ae-2E0B60C8BF58}", "Tree"},
  };
  for (const auto& [id, name] : ids) {
    ObjectPtr o;
    ASSERT_EQ(CreateObject(id, o), kOk) << id;
    ASSERT_TRUE(o);
    EXPECT_EQ(o->Class().name, name);
  }
}

TEST(AutomationLookup, UnknownClassIsNotAvailable) {
  for (const char* id :
       {"", "Halvane", "Halvane.Tab", "Halvane.Tabs.1", "Quorvix.Tabs", "{F1326A1F-51F9-44AB-B420-BC3555E0757F",
        "F1326A1F-51F9-44AB-B420-BC3555E0757F}", "{F1326A1F-51F9-44AB-B420-BC3555E07570}",
        "{84021F45-8AC5-4E3C-B7BA-2E1EB95D8AF9}" /* the interface, not the class */}) {
    ObjectPtr o = Create("Halvane.Tree");
    EXPECT_EQ(CreateObject(id, o), kClassENotAvailable) << id;
    EXPECT_FALSE(o) << id;
  }
}

}  // namespace
}  // namespace halvane::automation
