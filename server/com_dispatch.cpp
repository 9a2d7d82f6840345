// Component objects of the C interface: one object is both the IDispatch
// and the dual interface of its class, whose function table holds
// IDispatch's seven methods and then one entry per member row.
#include <array>
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

#include "core/variant.h"
#include "server/automation.h"
#include "server/class_table.h"
#include "server/com_internal.h"

namespace {

using halvane::ClassInfo;
using halvane::MemberInfo;
using halvane::MemberKind;
using halvane::ValueType;
using halvane::Variant;
using halvane::com::BstrFromUtf8;
using halvane::com::SameGuid;
namespace automation = halvane::automation;

using halvane::com::AddRefOf;
using halvane::com::MakeVariant;
using halvane::com::ReadBstr;
using halvane::com::ReadVariant;
using halvane::com::SameValue;
using halvane::com::WriteBack;
using halvane::com::RaiseThreadError;
using halvane::com::DualObject;
using halvane::com::ReleaseOf;
using halvane::com::Slot;

DualObject* Self(IDispatch* This) { return DualObject::From(This); }
IDispatch* AsDispatch(DualObject* d) { return reinterpret_cast<IDispatch*>(d); }

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

static ULONG Disp_AddRef(IDispatch* This) { return AddRefOf<DualObject>(This); }
static ULONG Disp_Release(IDispatch* This) { return ReleaseOf<DualObject>(This); }

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
  return Disp_QueryInterface(AsDispatch(DualObject::From(This)), riid, ppv);
}
static HRESULT Support_InterfaceSupportsErrorInfo(ISupportErrorInfo* This, REFIID riid) {
  if (riid == nullptr) return E_INVALIDARG;
  return SameGuid(*riid, halvane::com::GuidsOf(*DualObject::From(This)->cls).iid) || SameGuid(*riid, IID_IDispatch) ? S_OK
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

}  // namespace

namespace halvane::com {

DualObject* DualObject::From(ISupportErrorInfo* p) {
  return reinterpret_cast<DualObject*>(reinterpret_cast<char*>(p) - offsetof(DualObject, support));
}
static_assert(std::is_standard_layout_v<DualObject>);

const ISupportErrorInfoVtbl DualObject::kSupportVtbl = {Support_QueryInterface, AddRefOf<DualObject>,
                                                        ReleaseOf<DualObject>, Support_InterfaceSupportsErrorInfo};

void RaiseThreadError(const ClassInfo& cls, const automation::ExceptionInfo& excep) {
  SetThreadError(GuidsOf(cls).iid, excep.source, excep.description);
}

HRESULT NewComponent(const ClassInfo& cls, REFIID riid, void** ppv) {
  try {
    automation::ObjectPtr object;
    const HRESULT hr = automation::CreateObject(cls.clsid, object);
    if (hr != S_OK) return hr;
    auto* d = new DualObject(std::move(object), TableOf(cls));
    const HRESULT qi = Disp_QueryInterface(AsDispatch(d), riid, ppv);
    Disp_Release(AsDispatch(d));
    return qi;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace halvane::com
