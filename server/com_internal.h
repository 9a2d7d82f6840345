// Helpers shared by the files of the C interface (com_server.cpp,
// com_typeinfo.cpp): BSTRs, GUIDs of the class table, thread error
// information.  Not part of the installed interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "server/class_table.h"
#include "server/halvane_com.h"

namespace halvane::com {

// A new BSTR of `cch` code units (uninitialised apart from the terminator);
// nullptr when the length does not fit or memory runs out.
BSTR AllocBstr(std::size_t cch);
BSTR BstrFromUtf8(std::string_view text);
std::uint32_t BstrByteLength(BSTR s);  // 0 for nullptr
std::string Utf8FromUnits(const OLECHAR* units, std::size_t count);
std::string Utf8FromBstr(BSTR s);
// Short ASCII text, the usual argument, narrowed on the stack: false (and
// `out` unusable) for anything longer or other.
struct ShortText {
  char bytes[64];
  std::size_t size = 0;
  std::string_view view() const { return {bytes, size}; }
};
bool NarrowShortAscii(BSTR s, ShortText& out);
// A zero-terminated OLECHAR string as UTF-8.
std::string Utf8FromOleString(const OLECHAR* s);

bool SameGuid(const GUID& a, const GUID& b);
// Reads the text form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX of the class table.
bool ParseGuid(std::string_view text, GUID& g);

// The GUIDs of every class of the table, parsed once, in table order.
struct ClassGuids {
  GUID clsid;
  GUID iid;
};
const ClassGuids& GuidsOf(const ClassInfo& cls);
std::size_t IndexOf(const ClassInfo& cls);
const GUID& LibraryGuid();

// Replaces the thread's error information by a new error object.
void SetThreadError(const GUID& iid, std::string_view source, std::string_view description);

// The ITypeInfo of a class's dual interface (a new reference).
ITypeInfo* NewInterfaceTypeInfo(const ClassInfo& cls);

// Objects other than components (type descriptions, error objects) that
// keep the library from being unloaded.
void ObjectCreated();
void ObjectDestroyed();
std::uint32_t OtherObjectCount();

}  // namespace halvane::com
