// Helpers shared by the files of the C interface (server/com_*.cpp): BSTRs,
// VARIANTs, GUIDs of the class table, reference counts, component objects,
// thread error information.  Not part of the installed interface.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/variant.h"
#include "server/automation.h"
#include "server/class_table.h"
#include "server/halvane_com.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace halvane::com {

// A new BSTR of `cch` code units (uninitialised apart from the terminator);
// nullptr when the length does not fit or memory runs out.
BSTR AllocBstr(std::size_t cch);
BSTR BstrFromUtf8(std::string_view text);
// The byte length kept before a BSTR's text; 0 for nullptr.
inline std::uint32_t BstrByteLength(BSTR s) {
  std::uint32_t bytes = 0;
  if (s != nullptr) std::memcpy(&bytes, reinterpret_cast<const char*>(s) - sizeof bytes, sizeof bytes);
  return bytes;
}

// Frees a BSTR (SysFreeString, made inline for the library's own calls).
inline void FreeBstr(BSTR s) {
  if (s != nullptr) std::free(reinterpret_cast<char*>(s) - sizeof(std::uint32_t));
}

// Narrows n UTF-16 units into out[0, n) when every one is ASCII, the usual
// text: true.  False when any is not (out[0, n) then holds unusable bytes),
// and the caller goes through the full transcoder.  Blocks of 8 units are
// packed without looking at them, and the units of all blocks are OR-ed
// together and looked at once at the end; a text that does not fill whole
// blocks ends with one block that overlaps the last, and texts shorter
// than a block go as two overlapping blocks of 4 or one unit at a time.
[[gnu::always_inline]] inline bool NarrowIfAscii(const OLECHAR* in, std::size_t n, char* out) {
#if defined(__SSE2__)
  if (n >= 8) {
    __m128i seen = _mm_setzero_si128();
    const auto block = [&](std::size_t at) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
      seen = _mm_or_si128(seen, a);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), _mm_packus_epi16(a, a));
    };
    std::size_t k = 0;
    for (; k + 8 <= n; k += 8) block(k);
    if (k != n) block(n - 8);
    const __m128i high = _mm_and_si128(seen, _mm_set1_epi16(static_cast<short>(0xFF80)));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) == 0xFFFF;
  }
  if (n >= 4) {
    const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + n - 4));
    const int first = _mm_cvtsi128_si32(_mm_packus_epi16(a, a));
    const int last = _mm_cvtsi128_si32(_mm_packus_epi16(b, b));
    std::memcpy(out + n - 4, &last, 4);
    std::memcpy(out, &first, 4);
    const __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)));
    return (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) & 0xFF) == 0xFF;
  }
#endif
  unsigned seen = 0;
  for (std::size_t k = 0; k < n; ++k) {
    seen |= in[k];
    out[k] = static_cast<char>(in[k]);
  }
  return seen < 0x80;
}

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
// allocation once it has held a text as long.  Text that is not all ASCII
// goes through Utf8IntoStringSlow.
void Utf8IntoStringSlow(BSTR s, std::size_t count, std::string& out);
[[gnu::always_inline]] inline void Utf8IntoString(BSTR s, std::string& out) {
  const std::size_t count = BstrByteLength(s) / sizeof(OLECHAR);
  if (out.size() != count) out.resize(count);
  if (!NarrowIfAscii(s, count, out.data())) Utf8IntoStringSlow(s, count, out);
}
// A zero-terminated OLECHAR string as UTF-8.
std::string Utf8FromOleString(const OLECHAR* s);

// Inline: IDispatch::Invoke compares its interface argument on every call.
inline bool SameGuid(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}
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
inline bool HoldsValueOnly(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_ERROR:
    case VT_BOOL: return true;
    default: return false;
  }
}
// VariantInit, made inline for the library's own calls.
inline void InitVariant(VARIANT& v) {
  std::memset(&v, 0, sizeof v);
  v.vt = VT_EMPTY;
}
// VariantClear: frees what the VARIANT owns, then empties it.
inline HRESULT ClearVariant(VARIANT* v) {
  if (v == nullptr) return E_INVALIDARG;
  if ((v->vt & VT_BYREF) == 0 && !HoldsValueOnly(v->vt)) {
    switch (v->vt) {
      case VT_BSTR: FreeBstr(v->bstrVal); break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        if (v->punkVal != nullptr) v->punkVal->lpVtbl->Release(v->punkVal);
        break;
      default: return DISP_E_BADVARTYPE;
    }
  }
  InitVariant(*v);
  return S_OK;
}

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
      : table(vtbl), object(std::move(o)), cls(&object->Class()), rows(RowsOf(*cls)), instance(object->Instance()) {}
  const Slot* table;  // first: the object's address is its IDispatch
  ISupportErrorInfo support{&kSupportVtbl};
  RefCount refs;
  automation::ObjectPtr object;
  const ClassInfo* cls;
  const MemberRows* rows;  // the class's member look-up; nullptr outside the table
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
