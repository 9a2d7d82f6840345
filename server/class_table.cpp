#include "server/class_table.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "components/autocomplete/autocomplete.h"
#include "components/calendar/calendar.h"
#include "components/popupmenu/popupmenu.h"
#include "components/progressbar/progressbar.h"
#include "components/tabs/tabs.h"
#include "components/tree/tree.h"
#include "core/text.h"
#include "core/variant.h"
#include "server/class_rows.h"

namespace halvane {
namespace {

using rows::Get;
using rows::Let;
using rows::Method;
using rows::Overload;
using rows::Reader;
using rows::Writer;

template <class C>
void* Create() {
  return new C();
}
template <class C>
void Destroy(void* object) {
  delete static_cast<C*>(object);
}

// Member tables of the six default interfaces, in function-table order.
constexpr MemberInfo kAutoCompleteMembers[] = {
    Method<&AutoComplete::EmbedAutoComplete, "HTMLFieldNameToBuild", "HTMLSelectNameToLink", "ForceAutoComplete",
           "IsLinkedAsText">("EmbedAutoComplete", 0x60030002),
};

constexpr MemberInfo kCalendarMembers[] = {
    Let<Writer(&Calendar::ImageURL), "NewURL">("ImageURL", 0x68030001),
    Get<Reader(&Calendar::ImageURL)>("ImageURL", 0x68030001),
    Let<Writer(&Calendar::ActiveDate), "NewDate">("ActiveDate", 0x68030000),
    Get<Reader(&Calendar::ActiveDate)>("ActiveDate", 0x68030000),
    Method<&Calendar::DisplayEmbedded, "calName">("DisplayEmbedded", 0x60030006),
    Method<&Calendar::DisplayPopup, "calName">("DisplayPopup", 0x60030007),
};

constexpr MemberInfo kPopupMenuMembers[] = {
    Let<&PopupMenu::BorderColor, "newBorderColor">("BorderColor", 0x68030004),
    Let<&PopupMenu::Width, "newWidth">("Width", 0x68030003),
    Let<&PopupMenu::BGColor, "newBGColor">("BGColor", 0x68030002),
    Let<&PopupMenu::OnMouseOver, "newOnMouseOver">("OnMouseOver", 0x68030001),
    Let<&PopupMenu::OnMouseOut, "newOnMouseOut">("OnMouseOut", 0x68030000),
    Method<&PopupMenu::AddMenuTitle, "Display">("AddMenuTitle", 0x60030006),
    Method<&PopupMenu::AddMenuItem, "Display", "OnClick", "ImagePath">("AddMenuItem", 0x60030007),
    Method<&PopupMenu::AddHorizontalRule, "ImagePath_1x1Pixel">("AddHorizontalRule", 0x60030008),
    Method<&PopupMenu::EmbedPopupMenu>("EmbedPopupMenu", 0x60030009),
};

constexpr MemberInfo kProgressBarMembers[] = {
    Method<&ProgressBar::GetValue>("GetValue", 0x60030003),
    Let<Writer(&ProgressBar::Max), "newMax">("Max", 0x68030001),
    Get<Reader(&ProgressBar::Max)>("Max", 0x68030001),
    Let<Writer(&ProgressBar::Color), "newColor">("Color", 0x68030000),
    Get<Reader(&ProgressBar::Color)>("Color", 0x68030000),
    Method<&ProgressBar::SetValue, "NewValue">("SetValue", 0x60030004),
    Method<Overload<ProgressBar, std::string(Variant&, Variant&)>(&ProgressBar::Show), "HideOutputDuring",
           "HideProgressBarAfter">("Show", 0x60030005),
    Method<Overload<ProgressBar, std::string(Variant&)>(&ProgressBar::HideOutput), "Hidden">("HideOutput", 0x60030006),
};

constexpr MemberInfo kTabsMembers[] = {
    Let<&Tabs::IsVisible, "NewIsVisible">("IsVisible", 0x68030007),
    Get<Reader(&Tabs::TabName)>("TabName", 0x68030006),
    Let<Writer(&Tabs::TabName), "NewTabName">("TabName", 0x68030006),
    Get<Reader(&Tabs::TabWidth)>("TabWidth", 0x68030005),
    Let<Writer(&Tabs::TabWidth), "NewTabWidth">("TabWidth", 0x68030005),
    Get<Reader(&Tabs::PanelWidth)>("PanelWidth", 0x68030004),
    Let<Writer(&Tabs::PanelWidth), "NewPanelWidth">("PanelWidth", 0x68030004),
    Get<Reader(&Tabs::PanelHeight)>("PanelHeight", 0x68030003),
    Let<Writer(&Tabs::PanelHeight), "NewPanelHeight">("PanelHeight", 0x68030003),
    Get<Reader(&Tabs::TabCount)>("TabCount", 0x68030002),
    Let<Writer(&Tabs::TabCount), "NewTabCount">("TabCount", 0x68030002),
    Get<Reader(&Tabs::LayerColor)>("LayerColor", 0x68030001),
    Let<Writer(&Tabs::LayerColor), "NewLayerColor">("LayerColor", 0x68030001),
    Get<Reader(&Tabs::JavaScriptOnClick)>("JavaScriptOnClick", 0x68030000),
    Let<Writer(&Tabs::JavaScriptOnClick), "NewJavaScriptOnClick">("JavaScriptOnClick", 0x68030000),
    Method<&Tabs::WriteTab, "ContentName", "URL">("WriteTab", 0x6003000B),
    Method<&Tabs::MoveNextLayerColor>("MoveNextLayerColor", 0x6003000C),
    Method<&Tabs::MovePreviousLayerColor>("MovePreviousLayerColor", 0x6003000D),
};

constexpr MemberInfo kTreeMembers[] = {
    Get<Reader(&Tree::Width)>("Width", 0x68030005),
    Let<Writer(&Tree::Width), "newWidth">("Width", 0x68030005),
    Get<Reader(&Tree::TextClass)>("TextClass", 0x68030004),
    Let<Writer(&Tree::TextClass), "NewTextClass">("TextClass", 0x68030004),
    Get<Reader(&Tree::ExpandedImage)>("ExpandedImage", 0x68030003),
    Let<Writer(&Tree::ExpandedImage), "NewExpandedImage">("ExpandedImage", 0x68030003),
    Get<Reader(&Tree::ExpandAllImage)>("ExpandAllImage", 0x68030002),
    Let<Writer(&Tree::ExpandAllImage), "NewExpandAllImage">("ExpandAllImage", 0x68030002),
    Get<Reader(&Tree::CollapsedImage)>("CollapsedImage", 0x68030001),
    Let<Writer(&Tree::CollapsedImage), "NewCollapsedImage">("CollapsedImage", 0x68030001),
    Get<Reader(&Tree::CollapseAllImage)>("CollapseAllImage", 0x68030000),
    Let<Writer(&Tree::CollapseAllImage), "NewCollapseAllImage">("CollapseAllImage", 0x68030000),
    Method<&Tree::WriteExpandCollapse>("WriteExpandCollapse", 0x60030007),
    Method<&Tree::Initialize>("Initialize", 0x60030008),
    Method<&Tree::WriteMenuHeader, "MenuName">("WriteMenuHeader", 0x60030009),
    Method<&Tree::WriteMenuFooter>("WriteMenuFooter", 0x6003000A),
    Method<&Tree::WriteNode, "NodeName", "URI", "Target", "[ImagePath]">("WriteNode", 0x6003000B),
};
constexpr ClassInfo kClasses[] = {
    {"AutoComplete", "Halvane.AutoComplete", "DA0D95C8-24C5-40B5-BBB0-8BEA6A7E3A3E", "_AutoComplete",
     "B5074728-1BC9-4D6D-A407-75E69A464B08", kAutoCompleteMembers, Create<AutoComplete>, Destroy<AutoComplete>},
    {"Calendar", "Halvane.Calendar", "69F2EBBF-D021-46B1-A87C-55D8A8A17FC8", "_Calendar",
     "1087AF29-8CB5-4A75-BDAC-8E68C92A8303", kCalendarMembers, Create<Calendar>, Destroy<Calendar>},
    {"PopupMenu", "Halvane.PopupMenu", "1AE2A7A8-53BC-4D83-A89B-539EA018FCA5", "_PopupMenu",
     "27DDE07C-F7B6-4DA9-B4E1-68C8CF7609B3", kPopupMenuMembers, Create<PopupMenu>, Destroy<PopupMenu>},
    {"ProgressBar", "Halvane.ProgressBar", "BB45D2B4-226D-4BD1-AA50-079C9C7570AB", "_ProgressBar",
     "70A1941F-F849-4057-9831-A92D373598F5", kProgressBarMembers, Create<ProgressBar>, Destroy<ProgressBar>},
    {"Tabs", "Halvane.Tabs", "F1326A1F-51F9-44AB-B420-BC3555E0757F", "_Tabs", "84021F45-8AC5-4E3C-B7BA-2E1EB95D8AF9",
     kTabsMembers, Create<Tabs>, Destroy<Tabs>},
    {"Tree", "Halvane.Tree", "BFC10B8E-F8D0-4839-83AE-2E0B60C8BF58", "_Tree", "ABD5F1EE-D162-48F2-8F4A-138F265D499E",
     kTreeMembers, Create<Tree>, Destroy<Tree>},
};

constexpr LibraryInfo kLibrary = {"Halvane", "0B0251ED-0859-4996-AE59-5F70D7159274", 27, 0, 0x0409, 0, "1.0.0.0",
                                  "1.00"};

using text::EqualNoCase;

// The table has kClassCount classes of at most kMaxRows rows each (the
// function tables' room), no member takes more than kMaxParams parameters
// (the automation layer converts arguments into a fixed array), a property
// get takes none and
// returns a value, a property let takes the one value.  (That every row has
// its invoker is checked by the tests: GCC does not fold function addresses
// in constant expressions under the sanitizers.)
constexpr bool TableIsComplete() {
  if (std::size(kClasses) != kClassCount) return false;
  for (const ClassInfo& c : kClasses) {
    if (c.members.size() > kMaxRows) return false;
    for (const MemberInfo& m : c.members) {
      if (m.params.size() > kMaxParams) return false;
      if (m.kind == MemberKind::PropertyGet && (!m.params.empty() || m.result == ValueType::None)) return false;
      if (m.kind == MemberKind::PropertyLet && (m.params.size() != 1 || m.result != ValueType::None)) return false;
    }
  }
  return true;
}
static_assert(TableIsComplete());

// Invoke reaches a row by DISPID and kind without a search: every DISPID is
// 0x6003xxxx (method) or 0x6803xxxx (property) with a small low part, so
// kind and low part index a table of rows, built at compile time.
constexpr std::size_t kSlots = kIndexSlots;
struct MemberIndex {
  MemberRows row;
};

constexpr std::size_t KindSlot(MemberKind kind) { return static_cast<std::size_t>(kind); }

constexpr std::array<MemberIndex, std::size(kClasses)> BuildIndex() {
  std::array<MemberIndex, std::size(kClasses)> out{};
  for (std::size_t c = 0; c < std::size(kClasses); ++c) {
    for (auto& kind : out[c].row)
      for (auto& r : kind) r = -1;
    const auto members = kClasses[c].members;
    for (std::size_t i = 0; i < members.size(); ++i) {
      const std::uint32_t low = static_cast<std::uint32_t>(members[i].dispid) & 0xFFFFu;
      out[c].row[KindSlot(members[i].kind)][low] = static_cast<std::int8_t>(i);
    }
  }
  return out;
}

constexpr bool IndexFits() {
  for (const ClassInfo& c : kClasses) {
    if (c.members.size() > 127) return false;
    for (std::size_t i = 0; i < c.members.size(); ++i) {
      const MemberInfo& m = c.members[i];
      if ((static_cast<std::uint32_t>(m.dispid) & 0xFFFFu) >= kSlots) return false;
      for (std::size_t j = 0; j < i; ++j)
        if (c.members[j].dispid == m.dispid && c.members[j].kind == m.kind) return false;
    }
  }
  return true;
}
static_assert(IndexFits());
constexpr std::array<MemberIndex, std::size(kClasses)> kIndex = BuildIndex();

}  // namespace

const LibraryInfo& Library() { return kLibrary; }
std::span<const ClassInfo> Classes() { return kClasses; }

const ClassInfo* FindClass(std::string_view id) {
  std::string_view bare = id;
  if (bare.size() >= 2 && bare.front() == '{' && bare.back() == '}') bare = bare.substr(1, bare.size() - 2);
  for (const ClassInfo& c : kClasses) {
    if (EqualNoCase(id, c.prog_id) || EqualNoCase(bare, c.clsid)) return &c;
  }
  return nullptr;
}

const MemberRows* RowsOf(const ClassInfo& cls) {
  const std::ptrdiff_t c = &cls - kClasses;
  if (c >= 0 && static_cast<std::size_t>(c) < std::size(kClasses)) return &kIndex[static_cast<std::size_t>(c)].row;
  return nullptr;
}

const MemberInfo* FindMember(const ClassInfo& cls, std::int32_t dispid, MemberKind kind) {
  if (const MemberRows* rows = RowsOf(cls)) return FindMemberIn(*rows, cls, dispid, kind);
  for (const MemberInfo& m : cls.members) {
    if (m.dispid == dispid && m.kind == kind) return &m;
  }
  return nullptr;
}

std::int32_t FindDispId(const ClassInfo& cls, std::string_view name) {
  for (const MemberInfo& m : cls.members) {
    if (EqualNoCase(m.name, name)) return m.dispid;
  }
  return -1;
}

std::string_view ToText(MemberKind kind) {
  switch (kind) {
    case MemberKind::Method: return "method";
    case MemberKind::PropertyGet: return "property get";
    case MemberKind::PropertyLet: return "property let";
  }
  return "?";
}

std::string_view ToText(ValueType type) {
  switch (type) {
    case ValueType::None: return "none";
    case ValueType::String: return "String";
    case ValueType::Integer: return "Integer";
    case ValueType::Boolean: return "Boolean";
    case ValueType::Variant: return "Variant";
  }
  return "?";
}

}  // namespace halvane
