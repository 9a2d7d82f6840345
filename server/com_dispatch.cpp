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
#include "server/com_member_call.h"

namespace {

using halvane::ClassInfo;
using halvane::MemberInfo;
using halvane::MemberKind;
using halvane::ValueType;
using halvane::Variant;
using halvane::com::AddRefOf;
using halvane::com::BstrFromUtf8;
using halvane::com::DualObject;
using halvane::com::MakeVariant;
using halvane::com::RaiseThreadError;
using halvane::com::ReadVariant;
using halvane::com::ReleaseOf;
using halvane::com::SameGuid;
using halvane::com::SameValue;
using halvane::com::Slot;
using halvane::com::WriteBack;
namespace automation = halvane::automation;

DualObject* Self(IDispatch* This) { return DualObject::From(This); }
IDispatch* AsDispatch(DualObject* d) { return reinterpret_cast<IDispatch*>(d); }

// Reports a member's error as IDispatch::Invoke does: the thread's error
// information, and the exception record when the caller gave one.
HRESULT RaiseException(const ClassInfo& cls, const automation::ExceptionInfo& excep, EXCEPINFO* out) {
  RaiseThreadError(cls, excep);
  if (out != nullptr) {
    std::memset(out, 0, sizeof *out);
    out->scode = static_cast<SCODE>(excep.status);
    out->bstrSource = BstrFromUtf8(excep.source);
    out->bstrDescription = BstrFromUtf8(excep.description);
  }
  return DISP_E_EXCEPTION;
}

// The member's error in its class's name when it gave none.
void NameSource(const ClassInfo& cls, automation::ExceptionInfo& excep) {
  if (excep.source.empty()) excep.source.append("Halvane.").append(cls.name);
}

// IDispatch::Invoke of `member` by its direct call, when every argument
// has its parameter's type (and no optional one is left off but at the
// end): true with the call's status in `hr`; false, with nothing done,
// when the arguments need the converting path.
bool InvokeDirect(DualObject& self, const MemberInfo& member, DISPPARAMS& params, VARIANT* pVarResult,
                  EXCEPINFO* pExcepInfo, HRESULT& hr) {
  // The caller's result VARIANT has been emptied already.
  VARIANT ignored;
  if (pVarResult == nullptr) halvane::com::InitVariant(ignored);
  automation::ExceptionInfo excep;
  hr = member.dispatch(&self, &params, pVarResult != nullptr ? pVarResult : &ignored, excep);
  if (pVarResult == nullptr) halvane::com::ClearVariant(&ignored);
  if (hr == halvane::kNeedsConversion) return false;
  if (hr == automation::kDispEException) {
    NameSource(*self.cls, excep);
    hr = RaiseException(*self.cls, excep, pExcepInfo);
  }
  return true;
}

// IDispatch::Invoke of `member` by converting every argument to its
// declared type first: for arguments of other types than the declared
// ones.  Out of the direct path so that the direct path stays small.
[[gnu::noinline]] HRESULT InvokeConverting(DualObject& self, const MemberInfo& member, DISPPARAMS& params,
                                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  const UINT count = params.cArgs;
  try {
    // Arguments in declaration order, converted in place to the declared
    // types.  A member changes only a Variant parameter: when the caller
    // passed that one by reference (VT_BYREF), a copy of the value it had
    // tells afterwards whether it changed, and a change goes back.
    automation::ArgumentSlots args, before;
    const std::size_t nparams = member.params.size();
    for (UINT i = 0; i < count; ++i) {
      const VARIANT& src = params.rgvarg[count - 1 - i];
      const HRESULT hr = ReadVariant(src, args.Set(i));
      if (hr != S_OK) {
        if (puArgErr != nullptr) *puArgErr = count - 1 - i;
        return hr;
      }
      if ((src.vt & VT_BYREF) != 0 && i < nparams && member.params[i].type == ValueType::Variant)
        before.Set(i, args[i]);
    }
    std::uint32_t bad = 0;
    HRESULT hr = automation::ConvertArguments(member, args, count, &bad);
    if (hr == automation::kDispETypeMismatch || hr == automation::kDispEOverflow) {
      if (puArgErr != nullptr && bad < count) *puArgErr = count - 1 - bad;
      return hr;
    }
    if (hr != S_OK) return hr;

    Variant result;
    automation::ExceptionInfo excep;
    hr = self.object->InvokeTyped(member, args.First(nparams), result, excep);
    if (hr != S_OK && hr != automation::kDispEException) return hr;

    // What a member wrote before it raised an error stays written.
    for (UINT i = 0; i < count; ++i) {
      VARIANT& dst = params.rgvarg[count - 1 - i];
      if ((dst.vt & VT_BYREF) == 0 || member.params[i].type != ValueType::Variant || SameValue(before[i], args[i]))
        continue;
      const HRESULT wb = WriteBack(dst, args[i]);
      if (wb != S_OK) return wb;
    }

    if (hr == automation::kDispEException) return RaiseException(*self.cls, excep, pExcepInfo);
    if (pVarResult != nullptr) return MakeVariant(result, *pVarResult);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
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
  return SameGuid(*riid, halvane::com::GuidsOf(*DualObject::From(This)->cls).iid) || SameGuid(*riid, IID_IDispatch)
             ? S_OK
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
  if (pVarResult != nullptr) halvane::com::InitVariant(*pVarResult);
  DualObject* self = Self(This);
  const ClassInfo& cls = *self->cls;

  const auto find = [&](MemberKind kind) {
    return self->rows != nullptr ? halvane::FindMemberIn(*self->rows, cls, dispid, kind)
                                 : halvane::FindMember(cls, dispid, kind);
  };
  const MemberInfo* member = nullptr;
  if ((wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
    if (params->cNamedArgs > 1 || (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
      return DISP_E_NONAMEDARGS;
    member = find(MemberKind::PropertyLet);
  } else {
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if ((wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return E_INVALIDARG;
    // A host that does not know whether a name is a method or a property
    // passes both flags; a method of that DISPID comes first.
    if ((wFlags & DISPATCH_METHOD) != 0) member = find(MemberKind::Method);
    if (member == nullptr && (wFlags & DISPATCH_PROPERTYGET) != 0)
      member = find(MemberKind::PropertyGet);
  }
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  const UINT count = params->cArgs;
  if (count > halvane::kMaxParams) return DISP_E_BADPARAMCOUNT;
  HRESULT direct = S_OK;
  if (InvokeDirect(*self, *member, *params, pVarResult, pExcepInfo, direct)) return direct;
  return InvokeConverting(*self, *member, *params, pVarResult, pExcepInfo, puArgErr);
}

}  // extern "C"

namespace {

const IDispatchVtbl kDispatchPart = {Disp_QueryInterface, Disp_AddRef,        Disp_Release, Disp_GetTypeInfoCount,
                                     Disp_GetTypeInfo,    Disp_GetIDsOfNames, Disp_Invoke};

// The function table of each class: IDispatch's seven methods, then one
// entry per member row, chosen by row and pointer count.
struct DualTables {
  static constexpr std::size_t kWidth = 7 + halvane::kMaxRows;
  std::array<std::array<Slot, kWidth>, halvane::kClassCount> tables{};
  DualTables() {
    const auto classes = halvane::Classes();
    for (std::size_t c = 0; c < classes.size(); ++c) {
      auto& t = tables[c];
      t[0] = reinterpret_cast<Slot>(kDispatchPart.QueryInterface);
      t[1] = reinterpret_cast<Slot>(kDispatchPart.AddRef);
      t[2] = reinterpret_cast<Slot>(kDispatchPart.Release);
      t[3] = reinterpret_cast<Slot>(kDispatchPart.GetTypeInfoCount);
      t[4] = reinterpret_cast<Slot>(kDispatchPart.GetTypeInfo);
      t[5] = reinterpret_cast<Slot>(kDispatchPart.GetIDsOfNames);
      t[6] = reinterpret_cast<Slot>(kDispatchPart.Invoke);
      const auto members = classes[c].members;
      for (std::size_t r = 0; r < members.size(); ++r) t[7 + r] = members[r].table_entry();
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

std::int32_t FinishEntry(DualObject& self, std::int32_t, automation::ExceptionInfo& excep) {
  NameSource(*self.cls, excep);
  RaiseThreadError(*self.cls, excep);
  return static_cast<HRESULT>(excep.status);
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
