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

namespace halvane {
namespace {

// Each member row carries its invoker: a captureless lambda that unpacks the
// already converted arguments and calls the C++ member.  String, Integer and
// Boolean parameters arrive as Variants of exactly that kind.
using Args = std::span<Variant>;
template <class C>
C& Self(void* object) {
  return *static_cast<C*>(object);
}
const std::string& Str(const Variant& v) { return v.RawString(); }
std::int16_t Int(const Variant& v) { return static_cast<std::int16_t>(v.RawInt()); }
bool Bool(const Variant& v) { return v.RawInt() != 0; }

template <class C>
void* Create() {
  return new C();
}
template <class C>
void Destroy(void* object) {
  delete static_cast<C*>(object);
}

// Member tables of the six default interfaces, in function-table order.
constexpr ParamInfo kAutoCompleteP1[] = {{"HTMLFieldNameToBuild", ValueType::String, false},
                                         {"HTMLSelectNameToLink", ValueType::String, false},
                                         {"ForceAutoComplete", ValueType::Boolean, false},
                                         {"IsLinkedAsText", ValueType::Boolean, false}};
constexpr MemberInfo kAutoCompleteMembers[] = {
    {"EmbedAutoComplete", MemberKind::Method, 0x60030002, kAutoCompleteP1, ValueType::String,
     [](void* o, Args a) -> Variant {
       return Self<AutoComplete>(o).EmbedAutoComplete(Str(a[0]), Str(a[1]), Bool(a[2]), Bool(a[3]));
     }},
};

constexpr ParamInfo kCalendarP1[] = {{"NewURL", ValueType::Variant, false}};
constexpr ParamInfo kCalendarP3[] = {{"NewDate", ValueType::Variant, false}};
constexpr ParamInfo kCalendarP5[] = {{"calName", ValueType::Variant, false}};
constexpr ParamInfo kCalendarP6[] = {{"calName", ValueType::Variant, false}};
constexpr MemberInfo kCalendarMembers[] = {
    {"ImageURL", MemberKind::PropertyLet, 0x68030001, kCalendarP1, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Calendar>(o).ImageURL(a[0]);
       return {};
     }},
    {"ImageURL",
     MemberKind::PropertyGet,
     0x68030001,
     {},
     ValueType::Variant,
     [](void* o, Args) -> Variant { return Self<Calendar>(o).ImageURL(); }},
    {"ActiveDate", MemberKind::PropertyLet, 0x68030000, kCalendarP3, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Calendar>(o).ActiveDate(a[0]);
       return {};
     }},
    {"ActiveDate",
     MemberKind::PropertyGet,
     0x68030000,
     {},
     ValueType::Variant,
     [](void* o, Args) -> Variant { return Self<Calendar>(o).ActiveDate(); }},
    {"DisplayEmbedded", MemberKind::Method, 0x60030006, kCalendarP5, ValueType::String,
     [](void* o, Args a) -> Variant { return Self<Calendar>(o).DisplayEmbedded(a[0]); }},
    {"DisplayPopup", MemberKind::Method, 0x60030007, kCalendarP6, ValueType::String,
     [](void* o, Args a) -> Variant { return Self<Calendar>(o).DisplayPopup(a[0]); }},
};

constexpr ParamInfo kPopupMenuP1[] = {{"newBorderColor", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP2[] = {{"newWidth", ValueType::Integer, false}};
constexpr ParamInfo kPopupMenuP3[] = {{"newBGColor", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP4[] = {{"newOnMouseOver", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP5[] = {{"newOnMouseOut", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP6[] = {{"Display", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP7[] = {{"Display", ValueType::String, false},
                                      {"OnClick", ValueType::String, false},
                                      {"ImagePath", ValueType::String, false}};
constexpr ParamInfo kPopupMenuP8[] = {{"ImagePath_1x1Pixel", ValueType::String, false}};
constexpr MemberInfo kPopupMenuMembers[] = {
    {"BorderColor", MemberKind::PropertyLet, 0x68030004, kPopupMenuP1, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<PopupMenu>(o).BorderColor(Str(a[0]));
       return {};
     }},
    {"Width", MemberKind::PropertyLet, 0x68030003, kPopupMenuP2, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<PopupMenu>(o).Width(Int(a[0]));
       return {};
     }},
    {"BGColor", MemberKind::PropertyLet, 0x68030002, kPopupMenuP3, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<PopupMenu>(o).BGColor(Str(a[0]));
       return {};
     }},
    {"OnMouseOver", MemberKind::PropertyLet, 0x68030001, kPopupMenuP4, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<PopupMenu>(o).OnMouseOver(Str(a[0]));
       return {};
     }},
    {"OnMouseOut", MemberKind::PropertyLet, 0x68030000, kPopupMenuP5, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<PopupMenu>(o).OnMouseOut(Str(a[0]));
       return {};
     }},
    {"AddMenuTitle", MemberKind::Method, 0x60030006, kPopupMenuP6, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<PopupMenu>(o).AddMenuTitle(Str(a[0]));
       return {};
     }},
    {"AddMenuItem", MemberKind::Method, 0x60030007, kPopupMenuP7, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<PopupMenu>(o).AddMenuItem(Str(a[0]), Str(a[1]), Str(a[2]));
       return {};
     }},
    {"AddHorizontalRule", MemberKind::Method, 0x60030008, kPopupMenuP8, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<PopupMenu>(o).AddHorizontalRule(Str(a[0]));
       return {};
     }},
    {"EmbedPopupMenu",
     MemberKind::Method,
     0x60030009,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<PopupMenu>(o).EmbedPopupMenu(); }},
};

constexpr ParamInfo kProgressBarP2[] = {{"newMax", ValueType::Variant, false}};
constexpr ParamInfo kProgressBarP4[] = {{"newColor", ValueType::Variant, false}};
constexpr ParamInfo kProgressBarP6[] = {{"NewValue", ValueType::Variant, false}};
constexpr ParamInfo kProgressBarP7[] = {{"HideOutputDuring", ValueType::Variant, false},
                                        {"HideProgressBarAfter", ValueType::Variant, false}};
constexpr ParamInfo kProgressBarP8[] = {{"Hidden", ValueType::Variant, false}};
constexpr MemberInfo kProgressBarMembers[] = {
    {"GetValue",
     MemberKind::Method,
     0x60030003,
     {},
     ValueType::Variant,
     [](void* o, Args) -> Variant { return Self<ProgressBar>(o).GetValue(); }},
    {"Max", MemberKind::PropertyLet, 0x68030001, kProgressBarP2, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<ProgressBar>(o).Max(a[0]);
       return {};
     }},
    {"Max",
     MemberKind::PropertyGet,
     0x68030001,
     {},
     ValueType::Variant,
     [](void* o, Args) -> Variant { return Self<ProgressBar>(o).Max(); }},
    {"Color", MemberKind::PropertyLet, 0x68030000, kProgressBarP4, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<ProgressBar>(o).Color(a[0]);
       return {};
     }},
    {"Color",
     MemberKind::PropertyGet,
     0x68030000,
     {},
     ValueType::Variant,
     [](void* o, Args) -> Variant { return Self<ProgressBar>(o).Color(); }},
    {"SetValue", MemberKind::Method, 0x60030004, kProgressBarP6, ValueType::String,
     [](void* o, Args a) -> Variant { return Self<ProgressBar>(o).SetValue(a[0]); }},
    {"Show", MemberKind::Method, 0x60030005, kProgressBarP7, ValueType::String,
     [](void* o, Args a) -> Variant { return Self<ProgressBar>(o).Show(a[0], a[1]); }},
    {"HideOutput", MemberKind::Method, 0x60030006, kProgressBarP8, ValueType::String,
     [](void* o, Args a) -> Variant { return Self<ProgressBar>(o).HideOutput(a[0]); }},
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
    {"IsVisible", MemberKind::PropertyLet, 0x68030007, kTabsP1, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tabs>(o).IsVisible(Bool(a[0]));
       return {};
     }},
    {"TabName",
     MemberKind::PropertyGet,
     0x68030006,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tabs>(o).TabName(); }},
    {"TabName", MemberKind::PropertyLet, 0x68030006, kTabsP3, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tabs>(o).TabName(Str(a[0]));
       return {};
     }},
    {"TabWidth",
     MemberKind::PropertyGet,
     0x68030005,
     {},
     ValueType::Integer,
     [](void* o, Args) -> Variant { return Self<Tabs>(o).TabWidth(); }},
    {"TabWidth", MemberKind::PropertyLet, 0x68030005, kTabsP5, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tabs>(o).TabWidth(Int(a[0]));
       return {};
     }},
    {"PanelWidth",
     MemberKind::PropertyGet,
     0x68030004,
     {},
     ValueType::Integer,
     [](void* o, Args) -> Variant { return Self<Tabs>(o).PanelWidth(); }},
    {"PanelWidth", MemberKind::PropertyLet, 0x68030004, kTabsP7, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tabs>(o).PanelWidth(Int(a[0]));
       return {};
     }},
    {"PanelHeight",
     MemberKind::PropertyGet,
     0x68030003,
     {},
     ValueType::Integer,
     [](void* o, Args) -> Variant { return Self<Tabs>(o).PanelHeight(); }},
    {"PanelHeight", MemberKind::PropertyLet, 0x68030003, kTabsP9, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tabs>(o).PanelHeight(Int(a[0]));
       return {};
     }},
    {"TabCount",
     MemberKind::PropertyGet,
     0x68030002,
     {},
     ValueType::Integer,
     [](void* o, Args) -> Variant { return Self<Tabs>(o).TabCount(); }},
    {"TabCount", MemberKind::PropertyLet, 0x68030002, kTabsP11, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tabs>(o).TabCount(Int(a[0]));
       return {};
     }},
    {"LayerColor",
     MemberKind::PropertyGet,
     0x68030001,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tabs>(o).LayerColor(); }},
    {"LayerColor", MemberKind::PropertyLet, 0x68030001, kTabsP13, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tabs>(o).LayerColor(Str(a[0]));
       return {};
     }},
    {"JavaScriptOnClick",
     MemberKind::PropertyGet,
     0x68030000,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tabs>(o).JavaScriptOnClick(); }},
    {"JavaScriptOnClick", MemberKind::PropertyLet, 0x68030000, kTabsP15, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tabs>(o).JavaScriptOnClick(Str(a[0]));
       return {};
     }},
    {"WriteTab", MemberKind::Method, 0x6003000B, kTabsP16, ValueType::String,
     [](void* o, Args a) -> Variant { return Self<Tabs>(o).WriteTab(a[0], a[1]); }},
    {"MoveNextLayerColor",
     MemberKind::Method,
     0x6003000C,
     {},
     ValueType::None,
     [](void* o, Args) -> Variant {
       Self<Tabs>(o).MoveNextLayerColor();
       return {};
     }},
    {"MovePreviousLayerColor",
     MemberKind::Method,
     0x6003000D,
     {},
     ValueType::None,
     [](void* o, Args) -> Variant {
       Self<Tabs>(o).MovePreviousLayerColor();
       return {};
     }},
};

constexpr ParamInfo kTreeP2[] = {{"newWidth", ValueType::String, false}};
constexpr ParamInfo kTreeP4[] = {{"NewTextClass", ValueType::String, false}};
constexpr ParamInfo kTreeP6[] = {{"NewExpandedImage", ValueType::String, false}};
constexpr ParamInfo kTreeP8[] = {{"NewExpandAllImage", ValueType::String, false}};
constexpr ParamInfo kTreeP10[] = {{"NewCollapsedImage", ValueType::String, false}};
constexpr ParamInfo kTreeP12[] = {{"NewCollapseAllImage", ValueType::String, false}};
constexpr ParamInfo kTreeP15[] = {{"MenuName", ValueType::String, false}};
constexpr ParamInfo kTreeP17[] = {{"NodeName", ValueType::String, false},
                                  {"URI", ValueType::String, false},
                                  {"Target", ValueType::String, false},
                                  {"ImagePath", ValueType::String, true}};
constexpr MemberInfo kTreeMembers[] = {
    {"Width",
     MemberKind::PropertyGet,
     0x68030005,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tree>(o).Width(); }},
    {"Width", MemberKind::PropertyLet, 0x68030005, kTreeP2, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tree>(o).Width(Str(a[0]));
       return {};
     }},
    {"TextClass",
     MemberKind::PropertyGet,
     0x68030004,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tree>(o).TextClass(); }},
    {"TextClass", MemberKind::PropertyLet, 0x68030004, kTreeP4, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tree>(o).TextClass(Str(a[0]));
       return {};
     }},
    {"ExpandedImage",
     MemberKind::PropertyGet,
     0x68030003,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tree>(o).ExpandedImage(); }},
    {"ExpandedImage", MemberKind::PropertyLet, 0x68030003, kTreeP6, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tree>(o).ExpandedImage(Str(a[0]));
       return {};
     }},
    {"ExpandAllImage",
     MemberKind::PropertyGet,
     0x68030002,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tree>(o).ExpandAllImage(); }},
    {"ExpandAllImage", MemberKind::PropertyLet, 0x68030002, kTreeP8, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tree>(o).ExpandAllImage(Str(a[0]));
       return {};
     }},
    {"CollapsedImage",
     MemberKind::PropertyGet,
     0x68030001,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tree>(o).CollapsedImage(); }},
    {"CollapsedImage", MemberKind::PropertyLet, 0x68030001, kTreeP10, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tree>(o).CollapsedImage(Str(a[0]));
       return {};
     }},
    {"CollapseAllImage",
     MemberKind::PropertyGet,
     0x68030000,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tree>(o).CollapseAllImage(); }},
    {"CollapseAllImage", MemberKind::PropertyLet, 0x68030000, kTreeP12, ValueType::None,
     [](void* o, Args a) -> Variant {
       Self<Tree>(o).CollapseAllImage(Str(a[0]));
       return {};
     }},
    {"WriteExpandCollapse",
     MemberKind::Method,
     0x60030007,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tree>(o).WriteExpandCollapse(); }},
    {"Initialize",
     MemberKind::Method,
     0x60030008,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tree>(o).Initialize(); }},
    {"WriteMenuHeader", MemberKind::Method, 0x60030009, kTreeP15, ValueType::String,
     [](void* o, Args a) -> Variant { return Self<Tree>(o).WriteMenuHeader(Str(a[0])); }},
    {"WriteMenuFooter",
     MemberKind::Method,
     0x6003000A,
     {},
     ValueType::String,
     [](void* o, Args) -> Variant { return Self<Tree>(o).WriteMenuFooter(); }},
    {"WriteNode", MemberKind::Method, 0x6003000B, kTreeP17, ValueType::String,
     [](void* o, Args a) -> Variant { return Self<Tree>(o).WriteNode(Str(a[0]), Str(a[1]), Str(a[2]), Str(a[3])); }},
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

// No member takes more than kMaxParams parameters (the automation layer
// converts arguments into a fixed array), a property get takes none and
// returns a value, a property let takes the one value.  (That every row has
// its invoker is checked by the tests: GCC does not fold function addresses
// in constant expressions under the sanitizers.)
constexpr bool TableIsComplete() {
  for (const ClassInfo& c : kClasses) {
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
constexpr std::size_t kSlots = 32;
struct MemberIndex {
  std::int8_t row[3][kSlots];
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

const MemberInfo* FindMember(const ClassInfo& cls, std::int32_t dispid, MemberKind kind) {
  const std::ptrdiff_t c = &cls - kClasses;
  if (c >= 0 && static_cast<std::size_t>(c) < std::size(kClasses)) {
    const std::uint32_t low = static_cast<std::uint32_t>(dispid) & 0xFFFFu;
    if (low >= kSlots) return nullptr;
    const int row = kIndex[static_cast<std::size_t>(c)].row[KindSlot(kind)][low];
    if (row < 0) return nullptr;
    const MemberInfo& m = cls.members[static_cast<std::size_t>(row)];
    return m.dispid == dispid ? &m : nullptr;
  }
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
