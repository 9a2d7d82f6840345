// Helpers shared by the files of the C interface (server/com_*.cpp): BSTRs,
// VARIANTs, GUIDs of the class table, reference counts, component objects,
// thread error information.  Not part of the installed interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/variant.h"
#include "server/automation.h"
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
// A BSTR's text as UTF-8 into `out`, whose storage is reused: no
// allocation once it has held a text as long.
void Utf8IntoString(BSTR s, std::string& out);
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

// ---- VARIANT <-> Variant

// A BSTR's text as a String; short ASCII text goes from the stack straight
// into the Variant.
void ReadBstr(BSTR b, Variant& out);
// The value of an argument; a VT_BYREF argument gives the value it points
// to.  DISP_E_BADVARTYPE for a kind the layer does not take.
HRESULT ReadVariant(const VARIANT& v, Variant& out, int depth = 0);
// A new VARIANT holding `value`; the caller owns what it holds.
HRESULT MakeVariant(const Variant& value, VARIANT& out);
// Same kind and same value, as a member's write-back is detected.
bool SameValue(const Variant& a, const Variant& b);
// Whether a VARIANT of type `vt` (not by reference) owns no string or object.
bool HoldsValueOnly(VARTYPE vt);
// Stores a value a member wrote back into the caller's VT_BYREF argument,
// converted to the kind the argument points to.
HRESULT WriteBack(VARIANT& arg, const Variant& value);

// ---- reference counts

// The count every object of the C interface carries, one reference at
// creation.  An object type Obj has a member `refs` and a static
// Obj* From(I*) for each interface I it serves; AddRefOf and ReleaseOf
// are then the AddRef and Release of every one of them, and ReleaseOf
// deletes the object with its last reference.
struct RefCount {
  std::atomic<ULONG> value{1};
};

template <class Obj, class I>
ULONG AddRefOf(I* This) {
  return Obj::From(This)->refs.value.fetch_add(1, std::memory_order_relaxed) + 1;
}

template <class Obj, class I>
ULONG ReleaseOf(I* This) {
  Obj* self = Obj::From(This);
  const ULONG left = self->refs.value.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete self;
  return left;
}

// ---- component objects

// Every entry of a class's function table is a plain function; the tables
// are arrays of them.
using Slot = void (*)();

// One object serves both paths: its table starts with IDispatch's seven
// methods, followed by the class's member entries, so the same pointer is
// the IDispatch and the dual interface.  ISupportErrorInfo is a second
// table inside the object.
struct DualObject {
  DualObject(automation::ObjectPtr o, const Slot* vtbl)
      : table(vtbl), object(std::move(o)), cls(&object->Class()), instance(object->Instance()) {}
  const Slot* table;  // first: the object's address is its IDispatch
  ISupportErrorInfo support{&kSupportVtbl};
  RefCount refs;
  automation::ObjectPtr object;
  const ClassInfo* cls;
  void* instance;  // the component itself, for the function-table entries
  // Text arguments as UTF-8, one buffer per parameter position, kept from
  // call to call so that a call does not allocate for them.
  std::string texts[kMaxParams];
  static const ISupportErrorInfoVtbl kSupportVtbl;
  static DualObject* From(IDispatch* p) { return reinterpret_cast<DualObject*>(p); }
  static DualObject* From(ISupportErrorInfo* p);
};

// A new component of `cls` asked for by interface `riid` (the factory's
// CreateInstance).
HRESULT NewComponent(const ClassInfo& cls, REFIID riid, void** ppv);

// Raises a member's error on the thread, in the name of its class's
// interface.
void RaiseThreadError(const ClassInfo& cls, const automation::ExceptionInfo& excep);

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
