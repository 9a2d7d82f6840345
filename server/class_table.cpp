#include "server/class_table.h"

#include <array>
#include <cctype>

namespace halvane {
namespace {

// Member tables of the six default interfaces, in function-table order.
constexpr ParamInfo kAutoCompleteP1[] = {{"HTMLFieldNameToBuild", ValueType::String, false}, {"HTMLSelectNameToLink", ValueType::String, false}, {"ForceAutoComplete", ValueType::Boolean, false}, {"IsLinkedAsText", ValueType::Boolean, false}};
constexpr MemberInfo kAutoCompleteMembers[] = {
    {"EmbedAutoComplete", MemberKind::Method, 0x60030002, kAutoCompleteP1, ValueType::String},
};

constexpr ParamInfo kCalendarP1[] = {{"NewURL", ValueType::Variant, false}};
constexpr ParamInfo kCalendarP3[] = {{"NewDate", ValueType::Variant, false}};
constexpr ParamInfo kCalendarP5[] = {{"calName", ValueType::Variant, false}};
constexpr ParamInfo kCalendarP6[] = {{"calName", ValueType::Variant, false}};
constexpr MemberInfo kCalendarMembers[] = {
    {"ImageURL", MemberKind::PropertyLet, 0x68030001, kCalendarP1, ValueType::None},
    {"ImageURL", MemberKind::PropertyGet, 0x68030001, {}, ValueType::Variant},
    {"ActiveDate", MemberKind::PropertyLet, 0x68030000, kCalendarP3, ValueType::None},
    {"ActiveDate", MemberKind::PropertyGet, 0x68030000, {}, ValueType::Variant},
    {"DisplayEmbedded", MemberKind::Method, 0x60030006, kCalendarP5, ValueType::String},
    {"DisplayPopup", MemberKind::Method, 0x60030007, kCalendarP6, ValueType::String},
};

constexpr ParamInfo kPopupMenuP1[] = {{"newBorderColor", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP2[] = {{"newWidth", ValueType::Integer, false}};
constexpr ParamInfo kPopupMenuP3[] = {{"newBGColor", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP4[] = {{"newOnMouseOver", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP5[] = {{"newOnMouseOut", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP6[] = {{"Display", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP7[] = {{"Display", ValueType::String, false}, {"OnClick", ValueType::String, false}, {"ImagePath", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP8[] = {{"ImagePath_1x1Pixel", ValueType::String, false}};
constexpr MemberInfo kPopupMenuMembers[] = {
    {"BorderColor", MemberKind::PropertyLet, 0x68030004, kPopupMenuP1, ValueType::None},
    {"Width", MemberKind::PropertyLet, 0x68030003, kPopupMenuP2, ValueType::None},
    {"BGColor", MemberKind::PropertyLet, 0x68030002, kPopupMenuP3, ValueType::None},
    {"OnMouseOver", MemberKind::PropertyLet, 0x68030001, kPopupMenuP4, ValueType::None},
    {"OnMouseOut", MemberKind::PropertyLet, 0x68030000, kPopupMenuP5, ValueType::None},
    {"AddMenuTitle", MemberKind::Method, 0x60030006, kPopupMenuP6, ValueType::None},
    {"AddMenuItem", MemberKind::Method, 0x60030007, kPopupMenuP7, ValueType::None},
    {"AddHorizontalRule", MemberKind::Method, 0x60030008, kPopupMenuP8, ValueType::None},
    {"EmbedPopupMenu", MemberKind::Method, 0x60030009, {}, ValueType::String},
};

constexpr ParamInfo kProgressBarP2[] = {{"newMax", ValueType::Variant, false}};
constexpr ParamInfo kProgressBarP4[] = {{"newColor", ValueType::Variant, false}};
constexpr ParamInfo kProgressBarP6[] = {{"NewValue", ValueType::Variant, false}};
constexpr ParamInfo kProgressBarP7[] = {{"HideOutputDuring", ValueType::Variant, false}, {"HideProgressBarAfter", ValueType::Variant, false}};
constexpr ParamInfo kProgressBarP8[] = {{"Hidden", ValueType::Variant, false}};
constexpr MemberInfo kProgressBarMembers[] = {
    {"GetValue", MemberKind::Method, 0x60030003, {}, ValueType::Variant},
    {"Max", MemberKind::PropertyLet, 0x68030001, kProgressBarP2, ValueType::None},
    {"Max", MemberKind::PropertyGet, 0x68030001, {}, ValueType::Variant},
    {"Color", MemberKind::PropertyLet, 0x68030000, kProgressBarP4, ValueType::None},
    {"Color", MemberKind::PropertyGet, 0x68030000, {}, ValueType::Variant},
    {"SetValue", MemberKind::Method, 0x60030004, kProgressBarP6, ValueType::String},
    {"Show", MemberKind::Method, 0x60030005, kProgressBarP7, ValueType::String},
    {"HideOutput", MemberKind::Method, 0x60030006, kProgressBarP8, ValueType::String},
};

constexpr ParamInfo kTabsP1[] = {{"NewIsVisible", ValueType::Boolean, false}};
constexpr ParamInfo kTabsP3[] = {{"NewTabName", ValueType::String, false}};
constexpr ParamInfo kTabsP5[] = {{"NewTabWidth", ValueType::Integer, false}};
constexpr ParamInfo kTabsP7[] = {{"NewPanelWidth", ValueType::Integer, false}};
constexpr ParamInfo kTabsP9[] = {{"NewPanelHeight", ValueType::Integer, false}};
constexpr ParamInfo kTabsP11[] = {{"NewTabCount", ValueType::Integer, false}};
constexpr ParamInfo kTabsP13[] = {{"NewLayerColor", ValueType::String, false}};
constexpr ParamInfo kTabsP15[] = {{"NewJavaScriptOnClick", ValueType::String, false}};
constexpr ParamInfo kTabsP16[] = {{"ContentName", ValueType::Variant, false}, {"URL", ValueType::Variant, false}};
constexpr MemberInfo kTabsMembers[] = {
    {"IsVisible", MemberKind::PropertyLet, 0x68030007, kTabsP1, ValueType::None},
    {"TabName", MemberKind::PropertyGet, 0x68030006, {}, ValueType::String},
    {"TabName", MemberKind::PropertyLet, 0x68030006, kTabsP3, ValueType::None},
    {"TabWidth", MemberKind::PropertyGet, 0x68030005, {}, ValueType::Integer},
    {"TabWidth", MemberKind::PropertyLet, 0x68030005, kTabsP5, ValueType::None},
    {"PanelWidth", MemberKind::PropertyGet, 0x68030004, {}, ValueType::Integer},
    {"PanelWidth", MemberKind::PropertyLet, 0x68030004, kTabsP7, ValueType::None},
    {"PanelHeight", MemberKind::PropertyGet, 0x68030003, {}, ValueType::Integer},
    {"PanelHeight", MemberKind::PropertyLet, 0x68030003, kTabsP9, ValueType::None},
    {"TabCount", MemberKind::PropertyGet, 0x68030002, {}, ValueType::Integer},
    {"TabCount", MemberKind::PropertyLet, 0x68030002, kTabsP11, ValueType::None},
    {"LayerColor", MemberKind::PropertyGet, 0x68030001, {}, ValueType::String},
    {"LayerColor", MemberKind::PropertyLet, 0x68030001, kTabsP13, ValueType::None},
    {"JavaScriptOnClick", MemberKind::PropertyGet, 0x68030000, {}, ValueType::String},
    {"JavaScriptOnClick", MemberKind::PropertyLet, 0x68030000, kTabsP15, ValueType::None},
    {"WriteTab", MemberKind::Method, 0x6003000B, kTabsP16, ValueType::String},
    {"MoveNextLayerColor", MemberKind::Method, 0x6003000C, {}, ValueType::None},
    {"MovePreviousLayerColor", MemberKind::Method, 0x6003000D, {}, ValueType::None},
};

constexpr ParamInfo kTreeP2[] = {{"newWidth", ValueType::String, false}};
constexpr ParamInfo kTreeP4[] = {{"NewTextClass", ValueType::String, false}};
constexpr ParamInfo kTreeP6[] = {{"NewExpandedImage", ValueType::String, false}};
constexpr ParamInfo kTreeP8[] = {{"NewExpandAllImage", ValueType::String, false}};
constexpr ParamInfo kTreeP10[] = {{"NewCollapsedImage", ValueType::String, false}};
constexpr ParamInfo kTreeP12[] = {{"NewCollapseAllImage", ValueType::String, false}};
constexpr ParamInfo kTreeP15[] = {{"MenuName", ValueType::String, false}};
constexpr ParamInfo kTreeP17[] = {{"NodeName", ValueType::String, false}, {"URI", ValueType::String, false}, {"Target", ValueType::String, false}, {"ImagePath", ValueType::String, true}};
constexpr MemberInfo kTreeMembers[] = {
    {"Width", MemberKind::PropertyGet, 0x68030005, {}, ValueType::String},
    {"Width", MemberKind::PropertyLet, 0x68030005, kTreeP2, ValueType::None},
    {"TextClass", MemberKind::PropertyGet, 0x68030004, {}, ValueType::String},
    {"TextClass", MemberKind::PropertyLet, 0x68030004, kTreeP4, ValueType::None},
    {"ExpandedImage", MemberKind::PropertyGet, 0x68030003, {}, ValueType::String},
    {"ExpandedImage", MemberKind::PropertyLet, 0x68030003, kTreeP6, ValueType::None},
    {"ExpandAllImage", MemberKind::PropertyGet, 0x68030002, {}, ValueType::String},
    {"ExpandAllImage", MemberKind::PropertyLet, 0x68030002, kTreeP8, ValueType::None},
    {"CollapsedImage", MemberKind::PropertyGet, 0x68030001, {}, ValueType::String},
    {"CollapsedImage", MemberKind::PropertyLet, 0x68030001, kTreeP10, ValueType::None},
    {"CollapseAllImage", MemberKind::PropertyGet, 0x68030000, {}, ValueType::String},
    {"CollapseAllImage", MemberKind::PropertyLet, 0x68030000, kTreeP12, ValueType::None},
    {"WriteExpandCollapse", MemberKind::Method, 0x60030007, {}, ValueType::String},
    {"Initialize", MemberKind::Method, 0x60030008, {}, ValueType::String},
    {"WriteMenuHeader", MemberKind::Method, 0x60030009, kTreeP15, ValueType::String},
    {"WriteMenuFooter", MemberKind::Method, 0x6003000A, {}, ValueType::String},
    {"WriteNode", MemberKind::Method, 0x6003000B, kTreeP17, ValueType::String},
};
constexpr ClassInfo kClasses[] = {
    {"AutoComplete", "Halvane.AutoComplete", "DA0D95C8-24C5-40B5-BBB0-8BEA6A7E3A3E", "_AutoComplete",
     "B5074728-1BC9-4D6D-A407-75E69A464B08", kAutoCompleteMembers},
    {"Calendar", "Halvane.Calendar", "69F2EBBF-D021-46B1-A87C-55D8A8A17FC8", "_Calendar",
     "1087AF29-8CB5-4A75-BDAC-8E68C92A8303", kCalendarMembers},
    {"PopupMenu", "Halvane.PopupMenu", "1AE2A7A8-53BC-4D83-A89B-539EA018FCA5", "_PopupMenu",
     "27DDE07C-F7B6-4DA9-B4E1-68C8CF7609B3", kPopupMenuMembers},
    {"ProgressBar", "Halvane.ProgressBar", "BB45D2B4-226D-4BD1-AA50-079C9C7570AB", "_ProgressBar",
     "70A1941F-F849-4057-9831-A92D373598F5", kProgressBarMembers},
    {"Tabs", "Halvane.Tabs", "F1326A1F-51F9-44AB-B420-BC3555E0757F", "_Tabs",
     "84021F45-8AC5-4E3C-B7BA-2E1EB95D8AF9", kTabsMembers},
    {"Tree", "Halvane.Tree", "BFC10B8E-F8D0-4839-83AE-2E0B60C8BF58", "_Tree",
     "ABD5F1EE-D162-48F2-8F4A-138F265D499E", kTreeMembers},
};

constexpr LibraryInfo kLibrary = {"Halvane", "0B0251ED-0859-4996-AE59-5F70D7159274", 27, 0, 0x0409, 0,
                                  "1.0.0.0", "1.00"};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

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

const MemberInfo* FindMember(const ClassInfo& cls, std::int32_t dispid, MemberKind kind) {
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
