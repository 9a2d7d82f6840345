// The C binary interface of the library (server/halvane_com.h): the four
// server entry points, class factories and IDispatch objects over the
// automation layer, BSTR and VARIANT helpers.  Nothing here knows a member:
// every call goes through automation::Object and so through the class table.
#include "server/halvane_com.h"

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/utf.h"
#include "core/variant.h"
#include "server/automation.h"
#include "server/class_store.h"
#include "server/class_table.h"

namespace {

using halvane::ClassInfo;
using halvane::MemberKind;
using halvane::Variant;
using halvane::VarType;
namespace automation = halvane::automation;

std::atomic<std::uint32_t> g_factories{0};

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

std::uint32_t BstrBytes(BSTR s) {
  std::uint32_t bytes = 0;
  if (s != nullptr) std::memcpy(&bytes, reinterpret_cast<const char*>(s) - sizeof bytes, sizeof bytes);
  return bytes;
}

BSTR BstrFromUtf8(std::string_view text) {
  const std::u16string wide = halvane::utf::ToUtf16(text);
  BSTR s = AllocBstr(wide.size());
  if (s != nullptr && !wide.empty()) std::memcpy(s, wide.data(), wide.size() * sizeof(OLECHAR));
  return s;
}

std::string Utf8FromUnits(const OLECHAR* units, std::size_t count) {
  std::u16string wide(count, u'\0');
  if (count != 0) std::memcpy(wide.data(), units, count * sizeof(OLECHAR));
  return halvane::utf::ToUtf8(wide);
}

std::string Utf8FromBstr(BSTR s) {
  if (s == nullptr) return std::string();
  return Utf8FromUnits(s, BstrBytes(s) / sizeof(OLECHAR));
}

// ---- GUIDs --------------------------------------------------------------------

bool SameGuid(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

// Reads the text form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX of the class table.
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
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else return false;
    if (n % 2 == 0) b[n / 2] = static_cast<std::uint8_t>(v << 4);
    else b[n / 2] = static_cast<std::uint8_t>(b[n / 2] | v);
    ++n;
  }
  g.Data1 = static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
            static_cast<std::uint32_t>(b[2]) << 8 | b[3];
  g.Data2 = static_cast<std::uint16_t>(b[4] << 8 | b[5]);
  g.Data3 = static_cast<std::uint16_t>(b[6] << 8 | b[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = b[8 + i];
  return true;
}

const ClassInfo* FindClassByGuid(const GUID& clsid) {
  for (const ClassInfo& c : halvane::Classes()) {
    GUID g;
    if (ParseGuid(c.clsid, g) && SameGuid(g, clsid)) return &c;
  }
  return nullptr;
}

// ---- VARIANT <-> Variant ------------------------------------------------------------

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
      case VT_BSTR: out = Variant::String(Utf8FromBstr(v.bstrVal)); return S_OK;
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
    case VT_BSTR: out = Variant::String(Utf8FromBstr(*v.pbstrVal)); return S_OK;
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
    case VarType::Integer: out.vt = VT_I2; out.iVal = static_cast<SHORT>(v.RawInt()); break;
    case VarType::Long: out.vt = VT_I4; out.lVal = v.RawInt(); break;
    case VarType::Single: out.vt = VT_R4; out.fltVal = static_cast<float>(v.RawDouble()); break;
    case VarType::Double: out.vt = VT_R8; out.dblVal = v.RawDouble(); break;
    case VarType::Date: out.vt = VT_DATE; out.date = v.RawDouble(); break;
    case VarType::String: {
      BSTR s = BstrFromUtf8(v.RawString());
      if (s == nullptr) return E_OUTOFMEMORY;
      out.vt = VT_BSTR;
      out.bstrVal = s;
      break;
    }
    case VarType::Error: out.vt = VT_ERROR; out.scode = v.RawInt(); break;
    case VarType::Boolean: out.vt = VT_BOOL; out.boolVal = v.RawInt() != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
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
  } catch (const halvane::Error&) {
  }
  return S_OK;
}

// ---- dispatch objects -------------------------------------------------------------

struct DispatchObject {
  explicit DispatchObject(automation::ObjectPtr o) : object(std::move(o)) {}
  IDispatch iface{&kVtbl};
  std::atomic<ULONG> refs{1};
  automation::ObjectPtr object;
  static const IDispatchVtbl kVtbl;
};
static_assert(std::is_standard_layout_v<DispatchObject>);

DispatchObject* Self(IDispatch* This) { return reinterpret_cast<DispatchObject*>(This); }

struct ClassFactory {
  explicit ClassFactory(const ClassInfo& c) : cls(&c) { g_factories.fetch_add(1, std::memory_order_relaxed); }
  ~ClassFactory() { g_factories.fetch_sub(1, std::memory_order_relaxed); }
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;
  IClassFactory iface{&kVtbl};
  std::atomic<ULONG> refs{1};
  const ClassInfo* cls;
  static const IClassFactoryVtbl kVtbl;
};
static_assert(std::is_standard_layout_v<ClassFactory>);

ClassFactory* Self(IClassFactory* This) { return reinterpret_cast<ClassFactory*>(This); }

// The file this code was loaded from: the shared library, or the program
// that links the static library.
std::string ServerPath() {
  static const char anchor = 0;
  Dl_info info{};
  if (::dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0') return {};
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(info.dli_fname, ec);
  if (ec) return {};
  return p.lexically_normal().string();
}

}  // namespace

extern "C" {

// ---- IDispatch ------------------------------------------------------------------

static ULONG Disp_AddRef(IDispatch* This) {
  return Self(This)->refs.fetch_add(1, std::memory_order_relaxed) + 1;
}

static ULONG Disp_Release(IDispatch* This) {
  DispatchObject* self = Self(This);
  const ULONG left = self->refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete self;
  return left;
}

static HRESULT Disp_QueryInterface(IDispatch* This, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == nullptr) return E_INVALIDARG;
  // The typed function table of the dual interface is not built, so its
  // IID is refused rather than handing out a table without those entries.
  if (!SameGuid(*riid, IID_IUnknown) && !SameGuid(*riid, IID_IDispatch)) return E_NOINTERFACE;
  Disp_AddRef(This);
  *ppv = This;
  return S_OK;
}

static HRESULT Disp_GetTypeInfoCount(IDispatch*, UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

static HRESULT Disp_GetTypeInfo(IDispatch*, UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo != nullptr) *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
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
    std::size_t len = 0;
    while (name[len] != 0) ++len;
    std::int32_t id = DISPID_UNKNOWN;
    if (Self(This)->object->GetIDOfName(Utf8FromUnits(name, len), id) != automation::kOk)
      return DISP_E_UNKNOWNNAME;
    rgDispId[0] = id;
    // Parameter names (for named arguments) are not offered.
    return cNames > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

static HRESULT Disp_Invoke(IDispatch* This, DISPID dispid, REFIID riid, LCID, WORD wFlags,
                           DISPPARAMS* params, VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  if (riid != nullptr && !SameGuid(*riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (params == nullptr) return E_INVALIDARG;
  if (params->cArgs != 0 && params->rgvarg == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs != 0 && params->rgdispidNamedArgs == nullptr) return E_INVALIDARG;
  if (pVarResult != nullptr) HalvaneVariantInit(pVarResult);
  automation::Object& object = *Self(This)->object.get();
  const ClassInfo& cls = object.Class();

  automation::InvokeKind kind;
  if ((wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
    kind = automation::InvokeKind::PropertyLet;
    if (params->cNamedArgs > 1 ||
        (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
      return DISP_E_NONAMEDARGS;
  } else {
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    // A host that does not know whether a name is a method or a property
    // passes both flags; a method of that DISPID comes first.
    if ((wFlags & DISPATCH_METHOD) != 0 && halvane::FindMember(cls, dispid, MemberKind::Method) != nullptr)
      kind = automation::InvokeKind::Method;
    else if ((wFlags & DISPATCH_PROPERTYGET) != 0)
      kind = automation::InvokeKind::PropertyGet;
    else if ((wFlags & DISPATCH_METHOD) != 0)
      kind = automation::InvokeKind::Method;
    else
      return E_INVALIDARG;
  }
  const MemberKind member_kind = kind == automation::InvokeKind::Method        ? MemberKind::Method
                                 : kind == automation::InvokeKind::PropertyGet ? MemberKind::PropertyGet
                                                                               : MemberKind::PropertyLet;
  if (halvane::FindMember(cls, dispid, member_kind) == nullptr) return DISP_E_MEMBERNOTFOUND;
  const UINT count = params->cArgs;
  if (count > halvane::kMaxParams) return DISP_E_BADPARAMCOUNT;

  try {
    // Arguments in declaration order.  A VT_BYREF argument is read into a
    // local value that the member sees by reference; what the member leaves
    // there goes back to the caller afterwards.
    std::array<Variant, halvane::kMaxParams> args;
    std::array<Variant, halvane::kMaxParams> locals;
    std::array<Variant, halvane::kMaxParams> before;
    for (UINT i = 0; i < count; ++i) {
      const VARIANT& src = params->rgvarg[count - 1 - i];
      HRESULT hr;
      if ((src.vt & VT_BYREF) != 0) {
        hr = ReadVariant(src, locals[i]);
        before[i] = locals[i];
        args[i] = Variant::Ref(locals[i]);
      } else {
        hr = ReadVariant(src, args[i]);
      }
      if (hr != S_OK) {
        if (puArgErr != nullptr) *puArgErr = count - 1 - i;
        return hr;
      }
    }

    Variant result;
    automation::ExceptionInfo excep;
    std::uint32_t bad = 0;
    const HRESULT hr = object.Invoke(dispid, kind, std::span<Variant>(args.data(), count), &result, &excep, &bad);
    if (hr == automation::kDispETypeMismatch || hr == automation::kDispEOverflow) {
      if (puArgErr != nullptr && bad < count) *puArgErr = count - 1 - bad;
      return hr;
    }
    if (hr != S_OK && hr != automation::kDispEException) return hr;

    // What a member wrote before it raised an error stays written.
    for (UINT i = 0; i < count; ++i) {
      VARIANT& dst = params->rgvarg[count - 1 - i];
      if ((dst.vt & VT_BYREF) == 0 || SameValue(before[i], locals[i])) continue;
      const HRESULT wb = WriteBack(dst, locals[i]);
      if (wb != S_OK) return wb;
    }

    if (hr == automation::kDispEException) {
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

static HRESULT Factory_CreateInstance(IClassFactory* This, IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (riid == nullptr) return E_INVALIDARG;
  try {
    automation::ObjectPtr object;
    const HRESULT hr = automation::CreateObject(Self(This)->cls->clsid, object);
    if (hr != S_OK) return hr;
    auto* d = new DispatchObject(std::move(object));
    const HRESULT qi = Disp_QueryInterface(&d->iface, riid, ppv);
    Disp_Release(&d->iface);
    return qi;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

static HRESULT Factory_LockServer(IClassFactory*, BOOL lock) {
  automation::LockServer(lock != 0);
  return S_OK;
}

// ---- exports ----------------------------------------------------------------------------

HALVANE_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid == nullptr || riid == nullptr) return E_INVALIDARG;
  const ClassInfo* cls = FindClassByGuid(*rclsid);
  if (cls == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  if (!SameGuid(*riid, IID_IUnknown) && !SameGuid(*riid, IID_IClassFactory)) return E_NOINTERFACE;
  auto* f = new (std::nothrow) ClassFactory(*cls);
  if (f == nullptr) return E_OUTOFMEMORY;
  *ppv = &f->iface;
  return S_OK;
}

HALVANE_API HRESULT DllCanUnloadNow(void) {
  return automation::LiveObjectCount() == 0 && automation::LockCount() == 0 &&
                 g_factories.load(std::memory_order_relaxed) == 0
             ? S_OK
             : S_FALSE;
}

HALVANE_API HRESULT DllRegisterServer(void) {
  try {
    const std::string server = ServerPath();
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
  BSTR s = AllocBstr(len);
  if (s != nullptr && len != 0) std::memcpy(s, psz, len * sizeof(OLECHAR));
  return s;
}

HALVANE_API BSTR HalvaneSysAllocStringLen(const OLECHAR* pch, UINT cch) {
  BSTR s = AllocBstr(cch);
  if (s == nullptr || cch == 0) return s;
  if (pch != nullptr) std::memcpy(s, pch, cch * sizeof(OLECHAR));
  else std::memset(s, 0, cch * sizeof(OLECHAR));
  return s;
}

HALVANE_API void HalvaneSysFreeString(BSTR bstr) {
  if (bstr != nullptr) std::free(reinterpret_cast<char*>(bstr) - sizeof(std::uint32_t));
}

HALVANE_API UINT HalvaneSysStringLen(BSTR bstr) { return BstrBytes(bstr) / sizeof(OLECHAR); }

HALVANE_API UINT HalvaneSysStringByteLen(BSTR bstr) { return BstrBytes(bstr); }

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
      case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8:
      case VT_DATE: case VT_ERROR: case VT_BOOL:
        break;
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

}  // extern "C"

namespace {
const IDispatchVtbl DispatchObject::kVtbl = {Disp_QueryInterface, Disp_AddRef,       Disp_Release,
                                             Disp_GetTypeInfoCount, Disp_GetTypeInfo, Disp_GetIDsOfNames,
                                             Disp_Invoke};
const IClassFactoryVtbl ClassFactory::kVtbl = {Factory_QueryInterface, Factory_AddRef, Factory_Release,
                                               Factory_CreateInstance, Factory_LockServer};
}  // namespace
