// The C binary interface of the library (server/halvane_com.h): the four
// server entry points, class factories and IDispatch objects over the
// automation layer, BSTR and VARIANT helpers.  Nothing here knows a member:
// every call goes through automation::Object and so through the class table.
#include "server/halvane_com.h"

#include <dlfcn.h>
#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
#endif

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/error.h"

#include "core/utf.h"
#include "core/variant.h"
#include "server/automation.h"
#include "server/class_store.h"
#include "server/class_table.h"
#include "server/com_internal.h"

namespace halvane::com {

// ---- strings ----------------------------------------------------------------

BSTR AllocBstr(std::size_t cch) {
  if (cch > (UINT32_MAX - 8u) / 2u) return nullptr;
  const std::uint32_t bytes = static_cast<std::uint32_t>(cch * 2u);
  void* block = std::malloc(sizeof(std::uint32_t) + bytes + sizeof(OLECHAR));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &bytes, sizeof bytes);
  BSTR s = reinterpret_cast<BSTR>(static_cast<char*>(block) + sizeof(std::uint32_t));
  s[cch] = 0;
  return s;
}

std::uint32_t BstrByteLength(BSTR s) {
  std::uint32_t bytes = 0;
  if (s != nullptr) std::memcpy(&bytes, reinterpret_cast<const char*>(s) - sizeof bytes, sizeof bytes);
  return bytes;
}

namespace {
std::atomic<std::uint32_t> g_others{0};
}  // namespace
void ObjectCreated() { g_others.fetch_add(1, std::memory_order_relaxed); }
void ObjectDestroyed() { g_others.fetch_sub(1, std::memory_order_relaxed); }
std::uint32_t OtherObjectCount() { return g_others.load(std::memory_order_relaxed); }

namespace {

// Plain ASCII, the usual text, is widened and narrowed in blocks of 16
// characters (32 with AVX2, where the processor has it).  Each returns how
// many leading characters it converted: all of them, or those before the
// first that is not ASCII.  `out` has room for all n characters, and units
// past the returned count may have been written: a text that does not fill
// whole blocks ends with one block that overlaps the last converted ones,
// and a short text is taken in blocks of 8 and 4 the same way, so that at
// most three characters go one at a time.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define HALVANE_WIDEN_AVX2 1
__attribute__((target("avx2"))) std::size_t WidenAscii32(const unsigned char* in, std::size_t n, OLECHAR* out) {
  std::size_t k = 0;
  for (; k + 32 <= n; k += 32) {
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + k));
    if (_mm256_movemask_epi8(b) != 0) break;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(b)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k + 16), _mm256_cvtepu8_epi16(_mm256_extracti128_si256(b, 1)));
  }
  return k;
}

bool HaveAvx2() {
  static const bool have = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return have;
}
#endif

#if defined(__SSE2__)
// One block of W (16, 8 or 4) bytes at `at` widened into out + at; the bit
// mask of the bytes that are not ASCII.
template <std::size_t W>
unsigned WidenBlock(const unsigned char* in, OLECHAR* out, std::size_t at) {
  const __m128i zero = _mm_setzero_si128();
  __m128i b;
  if constexpr (W == 16) {
    b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at + 8), _mm_unpackhi_epi8(b, zero));
  } else if constexpr (W == 8) {
    b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + at));
  } else {
    std::uint32_t four;
    std::memcpy(&four, in + at, sizeof four);
    b = _mm_cvtsi32_si128(static_cast<int>(four));
  }
  const __m128i lo = _mm_unpacklo_epi8(b, zero);
  if constexpr (W == 4)
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), lo);
  else
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), lo);
  return static_cast<unsigned>(_mm_movemask_epi8(b)) & ((1u << W) - 1u);
}

// One block of W (8 or 4) units at `at` narrowed into out + at; the
// position in the block of the first unit that is not ASCII, or W.
template <std::size_t W>
std::size_t NarrowBlock(const OLECHAR* in, char* out, std::size_t at) {
  __m128i a;
  if constexpr (W == 8)
    a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
  else
    a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + at));
  const __m128i packed = _mm_packus_epi16(a, a);
  if constexpr (W == 8) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), packed);
  } else {
    const std::uint32_t four = static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed));
    std::memcpy(out + at, &four, sizeof four);
  }
  const __m128i ascii =
      _mm_cmpeq_epi16(_mm_and_si128(a, _mm_set1_epi16(static_cast<short>(0xFF80))), _mm_setzero_si128());
  const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(ascii)) & ((1u << (2 * W)) - 1u);
  return other == 0 ? W : static_cast<std::size_t>(__builtin_ctz(other)) / 2;
}

// Blocks of W from k on, then the block of W that ends the text: the count
// of leading characters converted.  n >= W.
template <std::size_t W>
std::size_t WidenBlocks(const unsigned char* in, std::size_t n, OLECHAR* out, std::size_t k) {
  for (; k + W <= n; k += W) {
    const unsigned other = WidenBlock<W>(in, out, k);
    if (other != 0) return k + static_cast<std::size_t>(__builtin_ctz(other));
  }
  if (k == n) return n;
  const unsigned other = WidenBlock<W>(in, out, n - W);
  return other != 0 ? n - W + static_cast<std::size_t>(__builtin_ctz(other)) : n;
}

template <std::size_t W>
std::size_t NarrowBlocks(const OLECHAR* in, std::size_t n, char* out) {
  std::size_t k = 0;
  for (; k + W <= n; k += W) {
    const std::size_t ascii = NarrowBlock<W>(in, out, k);
    if (ascii != W) return k + ascii;
  }
  return k == n ? n : n - W + NarrowBlock<W>(in, out, n - W);
}
#endif

std::size_t WidenAscii(const unsigned char* in, std::size_t n, OLECHAR* out) {
  std::size_t k = 0;
#if defined(HALVANE_WIDEN_AVX2)
  if (n >= 64 && HaveAvx2()) k = WidenAscii32(in, n, out);
#endif
#if defined(__SSE2__)
  if (n >= 16) return WidenBlocks<16>(in, n, out, k);
  if (n >= 8) return WidenBlocks<8>(in, n, out, 0);
  if (n >= 4) return WidenBlocks<4>(in, n, out, 0);
#endif
  for (; k < n && in[k] < 0x80; ++k) out[k] = in[k];
  return k;
}

std::size_t NarrowAscii(const OLECHAR* in, std::size_t n, char* out) {
  std::size_t k = 0;
#if defined(__SSE2__)
  if (n >= 8) return NarrowBlocks<8>(in, n, out);
  if (n >= 4) return NarrowBlocks<4>(in, n, out);
#endif
  for (; k < n && in[k] < 0x80; ++k) out[k] = static_cast<char>(in[k]);
  return k;
}

// Gives a BSTR block made for more code units its exact length `cch`.
BSTR ShrinkBstr(BSTR s, std::size_t cch) {
  void* block = reinterpret_cast<char*>(s) - sizeof(std::uint32_t);
  void* smaller = std::realloc(block, sizeof(std::uint32_t) + cch * 2u + sizeof(OLECHAR));
  if (smaller != nullptr) block = smaller;
  const std::uint32_t bytes = static_cast<std::uint32_t>(cch * 2u);
  std::memcpy(block, &bytes, sizeof bytes);
  s = reinterpret_cast<BSTR>(static_cast<char*>(block) + sizeof(std::uint32_t));
  s[cch] = 0;
  return s;
}

}  // namespace

// A UTF-8 byte never gives more than one UTF-16 code unit, so a block of
// text.size() units holds the result: ASCII is widened straight into it,
// the first other byte hands the rest to the full decoder, and the block
// is trimmed to the length that came out.
BSTR BstrFromUtf8(std::string_view text) {
  BSTR s = AllocBstr(text.size());
  if (s == nullptr) return nullptr;
  const std::size_t ascii = WidenAscii(reinterpret_cast<const unsigned char*>(text.data()), text.size(), s);
  if (ascii == text.size()) return s;
  return ShrinkBstr(s, ascii + halvane::utf::ToUtf16(text.substr(ascii), s + ascii));
}

std::string Utf8FromUnits(const OLECHAR* units, std::size_t count) {
  std::string out(count, '\0');
  const std::size_t ascii = NarrowAscii(units, count, out.data());
  if (ascii == count) return out;
  out.resize(ascii);
  halvane::utf::AppendUtf8(out, units + ascii, count - ascii);
  return out;
}

std::string Utf8FromBstr(BSTR s) {
  if (s == nullptr) return std::string();
  return Utf8FromUnits(s, BstrByteLength(s) / sizeof(OLECHAR));
}

bool NarrowShortAscii(BSTR s, ShortText& out) {
  const std::size_t n = BstrByteLength(s) / sizeof(OLECHAR);
  if (n > sizeof out.bytes || NarrowAscii(s, n, out.bytes) != n) return false;
  out.size = n;
  return true;
}

std::string Utf8FromOleString(const OLECHAR* s) {
  if (s == nullptr) return std::string();
  std::size_t len = 0;
  while (s[len] != 0) ++len;
  return Utf8FromUnits(s, len);
}

// ---- GUIDs --------------------------------------------------------------------

bool SameGuid(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

bool ParseGuid(std::string_view text, GUID& g) {
  if (text.size() != 36) return false;
  std::array<std::uint8_t, 16> b{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      continue;
    }
    const char c = text[i];
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else
      return false;
    if (n % 2 == 0)
      b[n / 2] = static_cast<std::uint8_t>(v << 4);
    else
      b[n / 2] = static_cast<std::uint8_t>(b[n / 2] | v);
    ++n;
  }
  g.Data1 = static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
            static_cast<std::uint32_t>(b[2]) << 8 | b[3];
  g.Data2 = static_cast<std::uint16_t>(b[4] << 8 | b[5]);
  g.Data3 = static_cast<std::uint16_t>(b[6] << 8 | b[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = b[8 + i];
  return true;
}

namespace {
struct AllGuids {
  std::array<ClassGuids, 6> classes{};
  GUID libid{};
  AllGuids() {
    const auto table = halvane::Classes();
    for (std::size_t i = 0; i < table.size() && i < classes.size(); ++i) {
      ParseGuid(table[i].clsid, classes[i].clsid);
      ParseGuid(table[i].iid, classes[i].iid);
    }
    ParseGuid(halvane::Library().libid, libid);
  }
};
const AllGuids& Guids() {
  static const AllGuids g;
  return g;
}
}  // namespace

std::size_t IndexOf(const ClassInfo& cls) { return static_cast<std::size_t>(&cls - halvane::Classes().data()); }
const ClassGuids& GuidsOf(const ClassInfo& cls) { return Guids().classes[IndexOf(cls)]; }
const GUID& LibraryGuid() { return Guids().libid; }

}  // namespace halvane::com

namespace {

using halvane::ClassInfo;
using halvane::MemberInfo;
using halvane::MemberKind;
using halvane::ValueType;
using halvane::Variant;
using halvane::VarType;
using halvane::com::BstrFromUtf8;
using halvane::com::SameGuid;
using halvane::com::Utf8FromBstr;
using halvane::com::Utf8FromUnits;
namespace automation = halvane::automation;

const ClassInfo* FindClassByGuid(const GUID& clsid) {
  for (const ClassInfo& c : halvane::Classes()) {
    if (SameGuid(halvane::com::GuidsOf(c).clsid, clsid)) return &c;
  }
  return nullptr;
}

// ---- VARIANT <-> Variant ------------------------------------------------------------

// A BSTR's text as a String; short ASCII text goes from the stack straight
// into the Variant.
void ReadBstr(BSTR b, Variant& out) {
  halvane::com::ShortText small;
  if (halvane::com::NarrowShortAscii(b, small))
    out = Variant(small.view());
  else
    out = Variant(Utf8FromBstr(b));
}

// The value of an argument; a VT_BYREF argument gives the value it points to.
HRESULT ReadVariant(const VARIANT& v, Variant& out, int depth = 0) {
  const VARTYPE base = static_cast<VARTYPE>(v.vt & ~VT_BYREF);
  if ((v.vt & VT_BYREF) == 0) {
    switch (v.vt) {
      case VT_EMPTY: out = Variant(); return S_OK;
      case VT_NULL: out = Variant::Null(); return S_OK;
      case VT_I2: out = Variant::Integer(v.iVal); return S_OK;
      case VT_I4: out = Variant::Long(v.lVal); return S_OK;
      case VT_R4: out = Variant::Single(v.fltVal); return S_OK;
      case VT_R8: out = Variant::Double(v.dblVal); return S_OK;
      case VT_DATE: out = Variant::Date(v.date); return S_OK;
      case VT_BSTR: ReadBstr(v.bstrVal, out); return S_OK;
      case VT_ERROR: out = Variant::ErrorCode(v.scode); return S_OK;
      case VT_BOOL: out = Variant::Boolean(v.boolVal != 0); return S_OK;
      default: return DISP_E_BADVARTYPE;
    }
  }
  if (v.byref == nullptr) return E_INVALIDARG;
  switch (base) {
    case VT_I2: out = Variant::Integer(*v.piVal); return S_OK;
    case VT_I4: out = Variant::Long(*v.plVal); return S_OK;
    case VT_R4: out = Variant::Single(*v.pfltVal); return S_OK;
    case VT_R8: out = Variant::Double(*v.pdblVal); return S_OK;
    case VT_DATE: out = Variant::Date(*v.pdate); return S_OK;
    case VT_BSTR: ReadBstr(*v.pbstrVal, out); return S_OK;
    case VT_ERROR: out = Variant::ErrorCode(*v.pscode); return S_OK;
    case VT_BOOL: out = Variant::Boolean(*v.pboolVal != 0); return S_OK;
    case VT_VARIANT:
      // A VARIANT that itself refers further is followed once more.
      if (depth > 0) return DISP_E_BADVARTYPE;
      return ReadVariant(*v.pvarVal, out, depth + 1);
    default: return DISP_E_BADVARTYPE;
  }
}

// A new VARIANT holding `value`; the caller owns what it holds.
HRESULT MakeVariant(const Variant& value, VARIANT& out) {
  HalvaneVariantInit(&out);
  const Variant& v = value.Deref();
  switch (v.Type()) {
    case VarType::Empty: break;
    case VarType::Null: out.vt = VT_NULL; break;
    case VarType::Integer:
      out.vt = VT_I2;
      out.iVal = static_cast<SHORT>(v.RawInt());
      break;
    case VarType::Long:
      out.vt = VT_I4;
      out.lVal = v.RawInt();
      break;
    case VarType::Single:
      out.vt = VT_R4;
      out.fltVal = static_cast<float>(v.RawDouble());
      break;
    case VarType::Double:
      out.vt = VT_R8;
      out.dblVal = v.RawDouble();
      break;
    case VarType::Date:
      out.vt = VT_DATE;
      out.date = v.RawDouble();
      break;
    case VarType::String: {
      BSTR s = BstrFromUtf8(v.RawString());
      if (s == nullptr) return E_OUTOFMEMORY;
      out.vt = VT_BSTR;
      out.bstrVal = s;
      break;
    }
    case VarType::Error:
      out.vt = VT_ERROR;
      out.scode = v.RawInt();
      break;
    case VarType::Boolean:
      out.vt = VT_BOOL;
      out.boolVal = v.RawInt() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
  }
  return S_OK;
}

bool SameValue(const Variant& a, const Variant& b) {
  if (a.Type() != b.Type()) return false;
  switch (a.Type()) {
    case VarType::Empty:
    case VarType::Null: return true;
    case VarType::Single:
    case VarType::Double:
    case VarType::Date: return a.RawDouble() == b.RawDouble();
    case VarType::String: return a.RawString() == b.RawString();
    default: return a.RawInt() == b.RawInt();
  }
}

// Stores a value a member wrote back into the caller's VT_BYREF argument,
// converted to the kind the argument points to.  A value that does not
// convert to that kind leaves the caller's storage as it was.
HRESULT WriteBack(VARIANT& arg, const Variant& value) {
  const VARTYPE base = static_cast<VARTYPE>(arg.vt & ~VT_BYREF);
  try {
    switch (base) {
      case VT_I2: *arg.piVal = halvane::ToInteger(value); break;
      case VT_I4: *arg.plVal = halvane::ToLong(value); break;
      case VT_R4: *arg.pfltVal = halvane::ToSingle(value); break;
      case VT_R8: *arg.pdblVal = halvane::ToDouble(value); break;
      case VT_DATE: *arg.pdate = halvane::ToDate(value); break;
      case VT_BOOL: *arg.pboolVal = halvane::ToBoolean(value) ? VARIANT_TRUE : VARIANT_FALSE; break;
      case VT_ERROR:
        if (value.Type() == VarType::Error) *arg.pscode = value.RawInt();
        break;
      case VT_BSTR: {
        BSTR s = BstrFromUtf8(halvane::ToString(value));
        if (s == nullptr) return E_OUTOFMEMORY;
        HalvaneSysFreeString(*arg.pbstrVal);
        *arg.pbstrVal = s;
        break;
      }
      case VT_VARIANT: {
        VARIANT& target = *arg.pvarVal;
        if ((target.vt & VT_BYREF) != 0) return WriteBack(target, value);
        VARIANT fresh;
        const HRESULT hr = MakeVariant(value, fresh);
        if (hr != S_OK) return hr;
        HalvaneVariantClear(&target);
        target = fresh;
        break;
      }
      default: break;
    }
  } catch (const halvane::Error&) {}
  return S_OK;
}

// ---- the server file ------------------------------------------------------------

// The absolute path of the file this code was loaded from (the shared
// library, or the program that links the static library), as the loader
// was given it.  It is taken when the library is loaded: a relative name is
// relative to the directory of that moment, which the process may leave
// before it registers.  A bare name that the loader found on its search
// path is looked up in the process's memory map.
std::string PathFromMemoryMap(std::uintptr_t address) {
  FILE* maps = std::fopen("/proc/self/maps", "r");
  if (maps == nullptr) return {};
  char line[4096 + 128];
  std::string found;
  while (std::fgets(line, sizeof line, maps) != nullptr) {
    unsigned long long lo = 0, hi = 0;
    int path_at = -1;
    if (std::sscanf(line, "%llx-%llx %*s %*s %*s %*s %n", &lo, &hi, &path_at) < 2 || path_at < 0) continue;
    if (address < lo || address >= hi || line[path_at] != '/') continue;
    found = line + path_at;
    while (!found.empty() && (found.back() == '\n' || found.back() == '\r')) found.pop_back();
    break;
  }
  std::fclose(maps);
  return found;
}

std::string LoadedPath() {
  static const char anchor = 0;
  Dl_info info{};
  if (::dladdr(&anchor, &info) != 0 && info.dli_fname != nullptr && std::strchr(info.dli_fname, '/') != nullptr) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(info.dli_fname, ec);
    if (!ec) return p.lexically_normal().string();
  }
  return PathFromMemoryMap(reinterpret_cast<std::uintptr_t>(&anchor));
}

const std::string& ServerPath() {
  static const std::string path = LoadedPath();
  return path;
}

// The library entry point: note the file's path while the directory the
// loader resolved it against is still current.
__attribute__((constructor)) void OnLoad() {
  try {
    (void)ServerPath();
  } catch (...) {}
}

// ---- error information ------------------------------------------------------------

// An error object: IErrorInfo to read it, ICreateErrorInfo to fill it.
struct ErrorObject {
  ErrorObject() { halvane::com::ObjectCreated(); }
  ~ErrorObject() { halvane::com::ObjectDestroyed(); }
  ErrorObject(const ErrorObject&) = delete;
  ErrorObject& operator=(const ErrorObject&) = delete;
  IErrorInfo info{&kInfoVtbl};
  ICreateErrorInfo create{&kCreateVtbl};
  std::atomic<ULONG> refs{1};
  GUID guid{};
  std::string source, description, help_file;
  DWORD help_context = 0;
  static const IErrorInfoVtbl kInfoVtbl;
  static const ICreateErrorInfoVtbl kCreateVtbl;
};

ErrorObject* Self(IErrorInfo* p) {
  return reinterpret_cast<ErrorObject*>(reinterpret_cast<char*>(p) - offsetof(ErrorObject, info));
}
ErrorObject* Self(ICreateErrorInfo* p) {
  return reinterpret_cast<ErrorObject*>(reinterpret_cast<char*>(p) - offsetof(ErrorObject, create));
}

// The thread's error information; released when the thread ends.
struct ThreadError {
  IErrorInfo* info = nullptr;
  ~ThreadError() {
    if (info != nullptr) info->lpVtbl->Release(info);
  }
};
thread_local ThreadError t_error;

void ReplaceThreadError(IErrorInfo* info) {
  IErrorInfo* old = t_error.info;
  t_error.info = info;
  if (old != nullptr) old->lpVtbl->Release(old);
}

HRESULT CopyOut(const std::string& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_OK;
  *out = BstrFromUtf8(text);
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

// ---- component objects ------------------------------------------------------------

// One object serves both paths: its table starts with IDispatch's seven
// methods, followed by the class's member entries, so the same pointer is
// the IDispatch and the dual interface.  ISupportErrorInfo is a second
// table inside the object.
using Slot = void (*)();

struct DualObject {
  DualObject(automation::ObjectPtr o, const Slot* vtbl) : table(vtbl), object(std::move(o)), cls(&object->Class()) {}
  const Slot* table;  // first: the object's address is its IDispatch
  ISupportErrorInfo support{&kSupportVtbl};
  std::atomic<ULONG> refs{1};
  automation::ObjectPtr object;
  const ClassInfo* cls;
  static const ISupportErrorInfoVtbl kSupportVtbl;
};
static_assert(std::is_standard_layout_v<DualObject>);

DualObject* Self(IDispatch* This) { return reinterpret_cast<DualObject*>(This); }
IDispatch* AsDispatch(DualObject* d) { return reinterpret_cast<IDispatch*>(d); }
DualObject* Self(ISupportErrorInfo* p) {
  return reinterpret_cast<DualObject*>(reinterpret_cast<char*>(p) - offsetof(DualObject, support));
}

struct ClassFactory {
  explicit ClassFactory(const ClassInfo& c) : cls(&c) {}
  IClassFactory iface{&kVtbl};
  std::atomic<ULONG> refs{1};
  const ClassInfo* cls;
  static const IClassFactoryVtbl kVtbl;
};
static_assert(std::is_standard_layout_v<ClassFactory>);

ClassFactory* Self(IClassFactory* This) { return reinterpret_cast<ClassFactory*>(This); }

void RaiseThreadError(const ClassInfo& cls, const automation::ExceptionInfo& excep) {
  halvane::com::SetThreadError(halvane::com::GuidsOf(cls).iid, excep.source, excep.description);
}

// ---- function-table entries -----------------------------------------------------

// Clears what a result pointer receives, so that a failed call hands back
// no value.
void ClearOut(ValueType type, void* out) {
  switch (type) {
    case ValueType::String: *static_cast<BSTR*>(out) = nullptr; break;
    case ValueType::Integer: *static_cast<SHORT*>(out) = 0; break;
    case ValueType::Boolean: *static_cast<VARIANT_BOOL*>(out) = VARIANT_FALSE; break;
    case ValueType::Variant: HalvaneVariantInit(static_cast<VARIANT*>(out)); break;
    case ValueType::None: break;
  }
}

HRESULT StoreOut(ValueType type, const Variant& value, void* out) {
  switch (type) {
    case ValueType::String: {
      BSTR s = BstrFromUtf8(value.Deref().RawString());
      if (s == nullptr) return E_OUTOFMEMORY;
      *static_cast<BSTR*>(out) = s;
      return S_OK;
    }
    case ValueType::Integer: *static_cast<SHORT*>(out) = static_cast<SHORT>(value.Deref().RawInt()); return S_OK;
    case ValueType::Boolean:
      *static_cast<VARIANT_BOOL*>(out) = value.Deref().RawInt() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    case ValueType::Variant: return MakeVariant(value, *static_cast<VARIANT*>(out));
    case ValueType::None: break;
  }
  return S_OK;
}

// One call through the dual interface: `ptrs` are the entry's pointer
// parameters, the member's parameters first, then the result pointer.
HRESULT DualCall(IDispatch* This, std::size_t row, void* const* ptrs) {
  DualObject* self = Self(This);
  const MemberInfo& member = self->cls->members[row];
  const std::size_t count = member.params.size();
  void* out = member.result != ValueType::None ? ptrs[count] : nullptr;
  if (member.result != ValueType::None) {
    if (out == nullptr) return E_POINTER;
    ClearOut(member.result, out);
  }
  try {
    // Typed parameters are read as values of their type.  A Variant
    // parameter is read into a value of its own, with a copy beside it that
    // tells afterwards whether the member changed it; a change goes back
    // to the caller's VARIANT.
    automation::ArgumentSlots args, before;
    for (std::size_t i = 0; i < count; ++i) {
      void* p = ptrs[i];
      const halvane::ParamInfo& param = member.params[i];
      if (p == nullptr) {
        if (!param.optional) return E_POINTER;
        switch (param.type) {
          case ValueType::String: args.Set(i, std::string()); break;
          case ValueType::Integer: args.Set(i, std::int16_t{0}); break;
          case ValueType::Boolean: args.Set(i, false); break;
          case ValueType::Variant:
          case ValueType::None: args.Set(i, Variant::Missing()); break;
        }
        continue;
      }
      switch (param.type) {
        case ValueType::String: ReadBstr(*static_cast<BSTR*>(p), args.Set(i)); break;
        case ValueType::Integer: args.Set(i, std::int16_t{*static_cast<SHORT*>(p)}); break;
        case ValueType::Boolean: args.Set(i, *static_cast<VARIANT_BOOL*>(p) != 0); break;
        case ValueType::Variant:
        case ValueType::None: {
          const HRESULT hr = ReadVariant(*static_cast<VARIANT*>(p), args.Set(i));
          if (hr != S_OK) return hr;
          before.Set(i, args[i]);
          break;
        }
      }
    }
    Variant result;
    automation::ExceptionInfo excep;
    const HRESULT hr = self->object->InvokeTyped(member, args.First(count), result, excep);
    if (hr != S_OK && hr != automation::kDispEException) return hr;
    for (std::size_t i = 0; i < count; ++i) {
      if (member.params[i].type != ValueType::Variant || ptrs[i] == nullptr || SameValue(before[i], args[i])) continue;
      VARIANT& dst = *static_cast<VARIANT*>(ptrs[i]);
      HRESULT wb;
      if ((dst.vt & VT_BYREF) != 0) {
        wb = WriteBack(dst, args[i]);
      } else {
        VARIANT fresh;
        wb = MakeVariant(args[i], fresh);
        if (wb == S_OK) {
          HalvaneVariantClear(&dst);
          dst = fresh;
        }
      }
      if (wb != S_OK) return wb;
    }
    if (hr == automation::kDispEException) {
      RaiseThreadError(*self->cls, excep);
      return static_cast<HRESULT>(excep.status);
    }
    return out != nullptr ? StoreOut(member.result, result, out) : S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The entry of row Row taking N pointers: every parameter of every member
// is a pointer, so an entry is known by its row and its pointer count.
template <std::size_t Row, class Seq>
struct Entry;
template <std::size_t Row, std::size_t... I>
struct Entry<Row, std::index_sequence<I...>> {
  template <std::size_t>
  using Ptr = void*;
  static HRESULT Call(IDispatch* This, Ptr<I>... p) {
    void* const ptrs[sizeof...(I) + 1] = {p..., nullptr};
    return DualCall(This, Row, ptrs);
  }
};

inline constexpr std::size_t kMaxRows = 18;
inline constexpr std::size_t kMaxPointers = halvane::kMaxParams + 1;

template <std::size_t Row, std::size_t... N>
std::array<Slot, sizeof...(N)> EntriesOfRow(std::index_sequence<N...>) {
  return {reinterpret_cast<Slot>(&Entry<Row, std::make_index_sequence<N>>::Call)...};
}
template <std::size_t... R>
std::array<std::array<Slot, kMaxPointers + 1>, sizeof...(R)> AllEntries(std::index_sequence<R...>) {
  return {EntriesOfRow<R>(std::make_index_sequence<kMaxPointers + 1>())...};
}

}  // namespace

extern "C" {

// ---- IDispatch ------------------------------------------------------------------

static ULONG Disp_AddRef(IDispatch* This) { return Self(This)->refs.fetch_add(1, std::memory_order_relaxed) + 1; }

static ULONG Disp_Release(IDispatch* This) {
  DualObject* self = Self(This);
  const ULONG left = self->refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete self;
  return left;
}

static HRESULT Disp_QueryInterface(IDispatch* This, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == nullptr) return E_INVALIDARG;
  DualObject* self = Self(This);
  if (SameGuid(*riid, IID_IUnknown) || SameGuid(*riid, IID_IDispatch) ||
      SameGuid(*riid, halvane::com::GuidsOf(*self->cls).iid)) {
    *ppv = This;
  } else if (SameGuid(*riid, IID_ISupportErrorInfo)) {
    *ppv = &self->support;
  } else {
    return E_NOINTERFACE;
  }
  Disp_AddRef(This);
  return S_OK;
}

static HRESULT Support_QueryInterface(ISupportErrorInfo* This, REFIID riid, void** ppv) {
  return Disp_QueryInterface(AsDispatch(Self(This)), riid, ppv);
}
static ULONG Support_AddRef(ISupportErrorInfo* This) { return Disp_AddRef(AsDispatch(Self(This))); }
static ULONG Support_Release(ISupportErrorInfo* This) { return Disp_Release(AsDispatch(Self(This))); }
static HRESULT Support_InterfaceSupportsErrorInfo(ISupportErrorInfo* This, REFIID riid) {
  if (riid == nullptr) return E_INVALIDARG;
  return SameGuid(*riid, halvane::com::GuidsOf(*Self(This)->cls).iid) || SameGuid(*riid, IID_IDispatch) ? S_OK
                                                                                                        : S_FALSE;
}

static HRESULT Disp_GetTypeInfoCount(IDispatch*, UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

static HRESULT Disp_GetTypeInfo(IDispatch* This, UINT index, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *ppTInfo = halvane::com::NewInterfaceTypeInfo(*Self(This)->cls);
  return *ppTInfo == nullptr ? E_OUTOFMEMORY : S_OK;
}

static HRESULT Disp_GetIDsOfNames(IDispatch* This, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                  DISPID* rgDispId) {
  if (riid != nullptr && !SameGuid(*riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (cNames == 0) return E_INVALIDARG;
  if (rgszNames == nullptr || rgDispId == nullptr) return E_POINTER;
  try {
    for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    const OLECHAR* name = rgszNames[0];
    if (name == nullptr) return E_POINTER;
    std::int32_t id = DISPID_UNKNOWN;
    if (Self(This)->object->GetIDOfName(halvane::com::Utf8FromOleString(name), id) != automation::kOk)
      return DISP_E_UNKNOWNNAME;
    rgDispId[0] = id;
    // Parameter names (for named arguments) are not offered.
    return cNames > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

static HRESULT Disp_Invoke(IDispatch* This, DISPID dispid, REFIID riid, LCID, WORD wFlags, DISPPARAMS* params,
                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  if (riid != nullptr && !SameGuid(*riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (params == nullptr) return E_INVALIDARG;
  if (params->cArgs != 0 && params->rgvarg == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs != 0 && params->rgdispidNamedArgs == nullptr) return E_INVALIDARG;
  if (pVarResult != nullptr) HalvaneVariantInit(pVarResult);
  DualObject* self = Self(This);
  const ClassInfo& cls = *self->cls;

  const MemberInfo* member = nullptr;
  if ((wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
    if (params->cNamedArgs > 1 || (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
      return DISP_E_NONAMEDARGS;
    member = halvane::FindMember(cls, dispid, MemberKind::PropertyLet);
  } else {
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if ((wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return E_INVALIDARG;
    // A host that does not know whether a name is a method or a property
    // passes both flags; a method of that DISPID comes first.
    if ((wFlags & DISPATCH_METHOD) != 0) member = halvane::FindMember(cls, dispid, MemberKind::Method);
    if (member == nullptr && (wFlags & DISPATCH_PROPERTYGET) != 0)
      member = halvane::FindMember(cls, dispid, MemberKind::PropertyGet);
  }
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  const UINT count = params->cArgs;
  if (count > halvane::kMaxParams) return DISP_E_BADPARAMCOUNT;

  try {
    // Arguments in declaration order, converted in place to the declared
    // types.  A member changes only a Variant parameter: when the caller
    // passed that one by reference (VT_BYREF), a copy of the value it had
    // tells afterwards whether it changed, and a change goes back.
    automation::ArgumentSlots args, before;
    const std::size_t nparams = member->params.size();
    for (UINT i = 0; i < count; ++i) {
      const VARIANT& src = params->rgvarg[count - 1 - i];
      const HRESULT hr = ReadVariant(src, args.Set(i));
      if (hr != S_OK) {
        if (puArgErr != nullptr) *puArgErr = count - 1 - i;
        return hr;
      }
      if ((src.vt & VT_BYREF) != 0 && i < nparams && member->params[i].type == ValueType::Variant)
        before.Set(i, args[i]);
    }
    std::uint32_t bad = 0;
    HRESULT hr = automation::ConvertArguments(*member, args, count, &bad);
    if (hr == automation::kDispETypeMismatch || hr == automation::kDispEOverflow) {
      if (puArgErr != nullptr && bad < count) *puArgErr = count - 1 - bad;
      return hr;
    }
    if (hr != S_OK) return hr;

    Variant result;
    automation::ExceptionInfo excep;
    hr = self->object->InvokeTyped(*member, args.First(nparams), result, excep);
    if (hr != S_OK && hr != automation::kDispEException) return hr;

    // What a member wrote before it raised an error stays written.
    for (UINT i = 0; i < count; ++i) {
      VARIANT& dst = params->rgvarg[count - 1 - i];
      if ((dst.vt & VT_BYREF) == 0 || member->params[i].type != ValueType::Variant || SameValue(before[i], args[i]))
        continue;
      const HRESULT wb = WriteBack(dst, args[i]);
      if (wb != S_OK) return wb;
    }

    if (hr == automation::kDispEException) {
      RaiseThreadError(cls, excep);
      if (pExcepInfo != nullptr) {
        std::memset(pExcepInfo, 0, sizeof *pExcepInfo);
        pExcepInfo->scode = static_cast<SCODE>(excep.status);
        pExcepInfo->bstrSource = BstrFromUtf8(excep.source);
        pExcepInfo->bstrDescription = BstrFromUtf8(excep.description);
      }
      return DISP_E_EXCEPTION;
    }
    if (pVarResult != nullptr) return MakeVariant(result, *pVarResult);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// ---- IErrorInfo / ICreateErrorInfo ------------------------------------------------------

static ULONG Err_AddRef(IErrorInfo* This) { return Self(This)->refs.fetch_add(1, std::memory_order_relaxed) + 1; }
static ULONG Err_Release(IErrorInfo* This) {
  ErrorObject* self = Self(This);
  const ULONG left = self->refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete self;
  return left;
}
static HRESULT Err_QueryInterface(IErrorInfo* This, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == nullptr) return E_INVALIDARG;
  ErrorObject* self = Self(This);
  if (SameGuid(*riid, IID_IUnknown) || SameGuid(*riid, IID_IErrorInfo))
    *ppv = &self->info;
  else if (SameGuid(*riid, IID_ICreateErrorInfo))
    *ppv = &self->create;
  else
    return E_NOINTERFACE;
  Err_AddRef(This);
  return S_OK;
}
static HRESULT Err_GetGUID(IErrorInfo* This, GUID* out) {
  if (out == nullptr) return E_POINTER;
  *out = Self(This)->guid;
  return S_OK;
}
static HRESULT Err_GetSource(IErrorInfo* This, BSTR* out) { return CopyOut(Self(This)->source, out); }
static HRESULT Err_GetDescription(IErrorInfo* This, BSTR* out) { return CopyOut(Self(This)->description, out); }
static HRESULT Err_GetHelpFile(IErrorInfo* This, BSTR* out) { return CopyOut(Self(This)->help_file, out); }
static HRESULT Err_GetHelpContext(IErrorInfo* This, DWORD* out) {
  if (out == nullptr) return E_POINTER;
  *out = Self(This)->help_context;
  return S_OK;
}

static IErrorInfo* InfoOf(ICreateErrorInfo* This) { return &Self(This)->info; }
static HRESULT Cre_QueryInterface(ICreateErrorInfo* This, REFIID riid, void** ppv) {
  return Err_QueryInterface(InfoOf(This), riid, ppv);
}
static ULONG Cre_AddRef(ICreateErrorInfo* This) { return Err_AddRef(InfoOf(This)); }
static ULONG Cre_Release(ICreateErrorInfo* This) { return Err_Release(InfoOf(This)); }
static HRESULT Cre_SetGUID(ICreateErrorInfo* This, REFGUID g) {
  if (g == nullptr) return E_INVALIDARG;
  Self(This)->guid = *g;
  return S_OK;
}
static HRESULT SetText(std::string& field, LPOLESTR text) {
  try {
    field = halvane::com::Utf8FromOleString(text);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
static HRESULT Cre_SetSource(ICreateErrorInfo* This, LPOLESTR s) { return SetText(Self(This)->source, s); }
static HRESULT Cre_SetDescription(ICreateErrorInfo* This, LPOLESTR s) { return SetText(Self(This)->description, s); }
static HRESULT Cre_SetHelpFile(ICreateErrorInfo* This, LPOLESTR s) { return SetText(Self(This)->help_file, s); }
static HRESULT Cre_SetHelpContext(ICreateErrorInfo* This, DWORD c) {
  Self(This)->help_context = c;
  return S_OK;
}

// ---- IClassFactory ------------------------------------------------------------------

static ULONG Factory_AddRef(IClassFactory* This) {
  return Self(This)->refs.fetch_add(1, std::memory_order_relaxed) + 1;
}

static ULONG Factory_Release(IClassFactory* This) {
  ClassFactory* self = Self(This);
  const ULONG left = self->refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete self;
  return left;
}

static HRESULT Factory_QueryInterface(IClassFactory* This, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == nullptr) return E_INVALIDARG;
  if (!SameGuid(*riid, IID_IUnknown) && !SameGuid(*riid, IID_IClassFactory)) return E_NOINTERFACE;
  Factory_AddRef(This);
  *ppv = This;
  return S_OK;
}

static HRESULT Factory_CreateInstance(IClassFactory* This, IUnknown* outer, REFIID riid, void** ppv);

static HRESULT Factory_LockServer(IClassFactory*, BOOL lock) {
  automation::LockServer(lock != 0);
  return S_OK;
}

}  // extern "C"

namespace {

const IDispatchVtbl kDispatchPart = {Disp_QueryInterface, Disp_AddRef,        Disp_Release, Disp_GetTypeInfoCount,
                                     Disp_GetTypeInfo,    Disp_GetIDsOfNames, Disp_Invoke};

// The function table of each class: IDispatch's seven methods, then one
// entry per member row, chosen by row and pointer count.
struct DualTables {
  static constexpr std::size_t kWidth = 7 + kMaxRows;
  std::array<std::array<Slot, kWidth>, 6> tables{};
  DualTables() {
    static const auto entries = AllEntries(std::make_index_sequence<kMaxRows>());
    const auto classes = halvane::Classes();
    for (std::size_t c = 0; c < classes.size() && c < tables.size(); ++c) {
      auto& t = tables[c];
      t[0] = reinterpret_cast<Slot>(kDispatchPart.QueryInterface);
      t[1] = reinterpret_cast<Slot>(kDispatchPart.AddRef);
      t[2] = reinterpret_cast<Slot>(kDispatchPart.Release);
      t[3] = reinterpret_cast<Slot>(kDispatchPart.GetTypeInfoCount);
      t[4] = reinterpret_cast<Slot>(kDispatchPart.GetTypeInfo);
      t[5] = reinterpret_cast<Slot>(kDispatchPart.GetIDsOfNames);
      t[6] = reinterpret_cast<Slot>(kDispatchPart.Invoke);
      const auto members = classes[c].members;
      for (std::size_t r = 0; r < members.size() && r < kMaxRows; ++r) {
        const std::size_t pointers = members[r].params.size() + (members[r].result != ValueType::None ? 1 : 0);
        t[7 + r] = entries[r][pointers];
      }
    }
  }
};

const Slot* TableOf(const ClassInfo& cls) {
  static const DualTables tables;
  return tables.tables[halvane::com::IndexOf(cls)].data();
}

bool RowsFit() {
  for (const ClassInfo& c : halvane::Classes())
    if (c.members.size() > kMaxRows) return false;
  return halvane::Classes().size() <= 6;
}

}  // namespace

extern "C" {

static HRESULT Factory_CreateInstance(IClassFactory* This, IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (riid == nullptr) return E_INVALIDARG;
  try {
    automation::ObjectPtr object;
    const HRESULT hr = automation::CreateObject(Self(This)->cls->clsid, object);
    if (hr != S_OK) return hr;
    auto* d = new DualObject(std::move(object), TableOf(*Self(This)->cls));
    const HRESULT qi = Disp_QueryInterface(AsDispatch(d), riid, ppv);
    Disp_Release(AsDispatch(d));
    return qi;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// ---- exports ----------------------------------------------------------------------------

HALVANE_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid == nullptr || riid == nullptr) return E_INVALIDARG;
  if (!RowsFit()) return E_FAIL;
  const ClassInfo* cls = FindClassByGuid(*rclsid);
  if (cls == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  if (!SameGuid(*riid, IID_IUnknown) && !SameGuid(*riid, IID_IClassFactory)) return E_NOINTERFACE;
  auto* f = new (std::nothrow) ClassFactory(*cls);
  if (f == nullptr) return E_OUTOFMEMORY;
  *ppv = &f->iface;
  return S_OK;
}

// A class object alone does not keep the library: a host that keeps one
// locks the server with LockServer.
HALVANE_API HRESULT DllCanUnloadNow(void) {
  return automation::LiveObjectCount() == 0 && automation::LockCount() == 0 && halvane::com::OtherObjectCount() == 0
             ? S_OK
             : S_FALSE;
}

HALVANE_API HRESULT DllRegisterServer(void) {
  try {
    const std::string& server = ServerPath();
    if (server.empty()) return SELFREG_E_CLASS;
    return automation::RegisterClasses(automation::ClassStorePath(), server) ? S_OK : SELFREG_E_CLASS;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

HALVANE_API HRESULT DllUnregisterServer(void) {
  try {
    return automation::UnregisterClasses(automation::ClassStorePath()) ? S_OK : SELFREG_E_CLASS;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

HALVANE_API BSTR HalvaneSysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  std::size_t len = 0;
  while (psz[len] != 0) ++len;
  BSTR s = halvane::com::AllocBstr(len);
  if (s != nullptr && len != 0) std::memcpy(s, psz, len * sizeof(OLECHAR));
  return s;
}

HALVANE_API BSTR HalvaneSysAllocStringLen(const OLECHAR* pch, UINT cch) {
  BSTR s = halvane::com::AllocBstr(cch);
  if (s == nullptr || cch == 0) return s;
  if (pch != nullptr)
    std::memcpy(s, pch, cch * sizeof(OLECHAR));
  else
    std::memset(s, 0, cch * sizeof(OLECHAR));
  return s;
}

HALVANE_API void HalvaneSysFreeString(BSTR bstr) {
  if (bstr != nullptr) std::free(reinterpret_cast<char*>(bstr) - sizeof(std::uint32_t));
}

HALVANE_API UINT HalvaneSysStringLen(BSTR bstr) { return halvane::com::BstrByteLength(bstr) / sizeof(OLECHAR); }

HALVANE_API UINT HalvaneSysStringByteLen(BSTR bstr) { return halvane::com::BstrByteLength(bstr); }

HALVANE_API BSTR HalvaneSysAllocStringUtf8(const char* utf8, size_t len) {
  try {
    return BstrFromUtf8(std::string_view(utf8 == nullptr ? "" : utf8, utf8 == nullptr ? 0 : len));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HALVANE_API char* HalvaneSysStringToUtf8(BSTR bstr, size_t* len) {
  try {
    const std::string text = Utf8FromBstr(bstr);
    char* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (out == nullptr) return nullptr;
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    if (len != nullptr) *len = text.size();
    return out;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HALVANE_API void HalvaneFreeUtf8(char* utf8) { std::free(utf8); }

HALVANE_API void HalvaneVariantInit(VARIANT* v) {
  if (v == nullptr) return;
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HALVANE_API HRESULT HalvaneVariantClear(VARIANT* v) {
  if (v == nullptr) return E_INVALIDARG;
  if ((v->vt & VT_BYREF) == 0) {
    switch (v->vt) {
      case VT_EMPTY:
      case VT_NULL:
      case VT_I2:
      case VT_I4:
      case VT_R4:
      case VT_R8:
      case VT_DATE:
      case VT_ERROR:
      case VT_BOOL: break;
      case VT_BSTR: HalvaneSysFreeString(v->bstrVal); break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        if (v->punkVal != nullptr) v->punkVal->lpVtbl->Release(v->punkVal);
        break;
      default: return DISP_E_BADVARTYPE;
    }
  }
  HalvaneVariantInit(v);
  return S_OK;
}

// ---- the usual names ----------------------------------------------------------------

HALVANE_API BSTR SysAllocString(const OLECHAR* psz) { return HalvaneSysAllocString(psz); }
HALVANE_API BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) { return HalvaneSysAllocStringLen(pch, cch); }
HALVANE_API void SysFreeString(BSTR bstr) { HalvaneSysFreeString(bstr); }
HALVANE_API UINT SysStringLen(BSTR bstr) { return HalvaneSysStringLen(bstr); }
HALVANE_API UINT SysStringByteLen(BSTR bstr) { return HalvaneSysStringByteLen(bstr); }
HALVANE_API void VariantInit(VARIANTARG* v) { HalvaneVariantInit(v); }
HALVANE_API HRESULT VariantClear(VARIANTARG* v) { return HalvaneVariantClear(v); }

HALVANE_API HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  if ((src->vt & VT_BYREF) == 0) {
    switch (src->vt) {
      case VT_EMPTY:
      case VT_NULL:
      case VT_I2:
      case VT_I4:
      case VT_R4:
      case VT_R8:
      case VT_DATE:
      case VT_ERROR:
      case VT_BOOL: break;
      case VT_BSTR:
        if (src->bstrVal != nullptr) {
          copy.bstrVal = HalvaneSysAllocStringLen(src->bstrVal, HalvaneSysStringLen(src->bstrVal));
          if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
        }
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        if (src->punkVal != nullptr) src->punkVal->lpVtbl->AddRef(src->punkVal);
        break;
      default: return DISP_E_BADVARTYPE;
    }
  }
  const HRESULT hr = HalvaneVariantClear(dest);
  if (hr != S_OK) {
    HalvaneVariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}

HALVANE_API HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, uint16_t, VARTYPE vt) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  try {
    Variant value;
    HRESULT hr = ReadVariant(*src, value);
    if (hr != S_OK) return hr;
    Variant converted;
    try {
      switch (vt) {
        case VT_EMPTY: break;
        case VT_NULL:
          if (value.Type() != VarType::Null) return DISP_E_TYPEMISMATCH;
          converted = Variant::Null();
          break;
        case VT_I2: converted = Variant::Integer(halvane::ToInteger(value)); break;
        case VT_I4: converted = Variant::Long(halvane::ToLong(value)); break;
        case VT_R4: converted = Variant::Single(halvane::ToSingle(value)); break;
        case VT_R8: converted = Variant::Double(halvane::ToDouble(value)); break;
        case VT_DATE: converted = Variant::Date(halvane::ToDate(value)); break;
        case VT_BSTR: converted = Variant::String(halvane::ToString(value)); break;
        case VT_BOOL: converted = Variant::Boolean(halvane::ToBoolean(value)); break;
        case VT_ERROR:
          if (value.Type() != VarType::Error) return DISP_E_TYPEMISMATCH;
          converted = value;
          break;
        default: return DISP_E_BADVARTYPE;
      }
    } catch (const halvane::Error& e) {
      return e.Number() == halvane::kErrOverflow ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
    }
    VARIANT fresh;
    hr = MakeVariant(converted, fresh);
    if (hr != S_OK) return hr;
    // `src` has been read in full, so `dest` may be the same VARIANT.
    HalvaneVariantClear(dest);
    *dest = fresh;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// ---- thread error information -------------------------------------------------------

HALVANE_API HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
  if (info != nullptr) info->lpVtbl->AddRef(info);
  ReplaceThreadError(info);
  return S_OK;
}

HALVANE_API HRESULT GetErrorInfo(ULONG, IErrorInfo** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = t_error.info;
  t_error.info = nullptr;
  return *out != nullptr ? S_OK : S_FALSE;
}

HALVANE_API HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  auto* e = new (std::nothrow) ErrorObject();
  if (e == nullptr) return E_OUTOFMEMORY;
  *out = &e->create;
  return S_OK;
}

}  // extern "C"

namespace halvane::com {

void SetThreadError(const GUID& iid, std::string_view source, std::string_view description) {
  try {
    auto* e = new ErrorObject();
    e->guid = iid;
    e->source.assign(source);
    e->description.assign(description);
    ReplaceThreadError(&e->info);
  } catch (const std::bad_alloc&) {
    ReplaceThreadError(nullptr);
  }
}

}  // namespace halvane::com

namespace {
const ISupportErrorInfoVtbl DualObject::kSupportVtbl = {Support_QueryInterface, Support_AddRef, Support_Release,
                                                        Support_InterfaceSupportsErrorInfo};
const IErrorInfoVtbl ErrorObject::kInfoVtbl = {Err_QueryInterface, Err_AddRef,        Err_Release,
                                               Err_GetGUID,        Err_GetSource,     Err_GetDescription,
                                               Err_GetHelpFile,    Err_GetHelpContext};
const ICreateErrorInfoVtbl ErrorObject::kCreateVtbl = {Cre_QueryInterface, Cre_AddRef,        Cre_Release,
                                                       Cre_SetGUID,        Cre_SetSource,     Cre_SetDescription,
                                                       Cre_SetHelpFile,    Cre_SetHelpContext};
const IClassFactoryVtbl ClassFactory::kVtbl = {Factory_QueryInterface, Factory_AddRef, Factory_Release,
                                               Factory_CreateInstance, Factory_LockServer};
}  // namespace
