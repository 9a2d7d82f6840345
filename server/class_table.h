// The library's identity and the class table: every class with its
// identifiers and the member table of its default (dual) interface.  The
// automation layer, the host's `describe` and the tests all read this one
// table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace halvane {

class Variant;
namespace automation {
struct ExceptionInfo;
}

enum class MemberKind { Method, PropertyGet, PropertyLet };
// Declared parameter and result types.  None is used for "no result".
enum class ValueType { None, String, Integer, Boolean, Variant };

struct ParamInfo {
  std::string_view name;
  ValueType type;
  bool optional;
};

// Calls the C++ member a row stands for.  `object` is an instance made by
// the row's ClassInfo::create; `args` holds one value per declared parameter,
// already converted by the caller to the declared type (a String, Integer or
// Boolean Variant; for a Variant parameter the caller's value itself, which
// may be a reference the member writes back through).  Returns the member's
// result, Empty for a member without one.  The member's own errors
// (halvane::Error) propagate.
using MemberInvoker = Variant (*)(void* object, std::span<Variant> args);

// No member of any interface takes more parameters than this.
inline constexpr std::size_t kMaxParams = 4;
// The classes of the table, and the most member rows a class may have: the
// C interface's function tables have room for this many entries.  A class
// with more rows does not compile.
inline constexpr std::size_t kClassCount = 6;
inline constexpr std::size_t kMaxRows = 18;

// IDispatch::Invoke of one member row by its direct call (made from the
// C++ member's own signature, server/com_member_call.h): `object` is the C
// interface's object, `params` its DISPPARAMS and `result` a VARIANT the
// call may fill (emptied before).  When every argument already has its
// parameter's declared type, the member runs and the HRESULT is returned
// (the member's error as kDispEException with `excep` filled); otherwise
// nothing is done and the result is kNeedsConversion.
inline constexpr std::int32_t kNeedsConversion = 0x7FFFFFFF;
using DispatchInvoker = std::int32_t (*)(void* object, void* params, void* result, automation::ExceptionInfo& excep);
// Gives a row's function-table entry (a function of the row's own
// signature, as a plain function pointer).
using TableEntryMaker = void (*(*)())();

struct MemberInfo {
  std::string_view name;
  MemberKind kind;
  std::int32_t dispid;
  std::span<const ParamInfo> params;
  ValueType result;
  MemberInvoker invoke = nullptr;
  DispatchInvoker dispatch = nullptr;
  // The row's entry of the dual interface's function table.
  TableEntryMaker table_entry = nullptr;
};

struct ClassInfo {
  std::string_view name;            // AutoComplete
  std::string_view prog_id;         // Halvane.AutoComplete
  std::string_view clsid;           // DA0D95C8-..., without braces, upper case
  std::string_view interface_name;  // _AutoComplete
  std::string_view iid;
  std::span<const MemberInfo> members;  // in function-table order
  // A new instance of the component class (constructed and initialised),
  // and its deletion.
  void* (*create)() = nullptr;
  void (*destroy)(void* object) = nullptr;
};

struct LibraryInfo {
  std::string_view name;  // Halvane
  std::string_view libid;
  std::uint16_t version_major;         // 27
  std::uint16_t version_minor;         // 0
  std::uint32_t lcid;                  // 0x0409
  std::uint32_t registered_lcid;       // 0
  std::string_view file_version;       // 1.0.0.0
  std::string_view file_version_text;  // 1.00
};

const LibraryInfo& Library();
std::span<const ClassInfo> Classes();

// Finds a class by programmatic identifier or by CLSID (with or without
// braces), without regard to case; nullptr when there is none.
const ClassInfo* FindClass(std::string_view prog_id_or_clsid);

// The member of `cls` with this DISPID and kind; nullptr when there is none.
const MemberInfo* FindMember(const ClassInfo& cls, std::int32_t dispid, MemberKind kind);

// The look-up FindMember makes for a class of the table, for callers that
// make it on every call (IDispatch::Invoke): for each kind, the row of the
// member whose DISPID has these low 16 bits, -1 for none.  RowsOf gives a
// class's rows once, nullptr for a class not in the table.
inline constexpr std::size_t kIndexSlots = 32;
using MemberRows = std::int8_t[3][kIndexSlots];
const MemberRows* RowsOf(const ClassInfo& cls);
inline const MemberInfo* FindMemberIn(const MemberRows& rows, const ClassInfo& cls, std::int32_t dispid,
                                      MemberKind kind) {
  const std::uint32_t low = static_cast<std::uint32_t>(dispid) & 0xFFFFu;
  if (low >= kIndexSlots) return nullptr;
  const int row = rows[static_cast<std::size_t>(kind)][low];
  if (row < 0) return nullptr;
  const MemberInfo& m = cls.members[static_cast<std::size_t>(row)];
  return m.dispid == dispid ? &m : nullptr;
}
// The DISPID of a member name, matched without regard to case; nullopt-like
// -1 is never a DISPID of the table, so it stands for "unknown".
std::int32_t FindDispId(const ClassInfo& cls, std::string_view name);

std::string_view ToText(MemberKind kind);
std::string_view ToText(ValueType type);

}  // namespace halvane
