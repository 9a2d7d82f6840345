// Type information of the library, generated from the class table: an
// ITypeInfo for each dual interface (TKIND_DISPATCH, one FUNCDESC per member
// row) and for each class (TKIND_COCLASS), and the ITypeLib that holds them,
// interface and class of each table entry in turn.
#include <atomic>
#include <cstddef>
#include <new>
#include <string>
#include <string_view>

#include "core/text.h"
#include "server/com_internal.h"

namespace {

using halvane::ClassInfo;
using halvane::MemberInfo;
using halvane::MemberKind;
using halvane::ValueType;
using halvane::com::AddRefOf;
using halvane::com::ReleaseOf;
using halvane::com::SameGuid;

VARTYPE TypeOf(ValueType t) {
  switch (t) {
    case ValueType::String: return VT_BSTR;
    case ValueType::Integer: return VT_I2;
    case ValueType::Boolean: return VT_BOOL;
    case ValueType::Variant: return VT_VARIANT;
    case ValueType::None: break;
  }
  return VT_VOID;
}

INVOKEKIND InvokeKindOf(MemberKind k) {
  switch (k) {
    case MemberKind::Method: return INVOKE_FUNC;
    case MemberKind::PropertyGet: return INVOKE_PROPERTYGET;
    case MemberKind::PropertyLet: return INVOKE_PROPERTYPUT;
  }
  return INVOKE_FUNC;
}

std::size_t ClassCount() { return halvane::Classes().size(); }

struct TypeInfo {
  TypeInfo(const ClassInfo& c, bool co) : cls(&c), coclass(co) { halvane::com::ObjectCreated(); }
  ~TypeInfo() { halvane::com::ObjectDestroyed(); }
  TypeInfo(const TypeInfo&) = delete;
  TypeInfo& operator=(const TypeInfo&) = delete;
  ITypeInfo iface{&kVtbl};
  halvane::com::RefCount refs;
  const ClassInfo* cls;
  bool coclass;
  // Position in the type library: interface, then class, per table entry.
  UINT Index() const { return static_cast<UINT>(halvane::com::IndexOf(*cls) * 2 + (coclass ? 1 : 0)); }
  static const ITypeInfoVtbl kVtbl;
  static TypeInfo* From(ITypeInfo* p) { return reinterpret_cast<TypeInfo*>(p); }
};
TypeInfo* Self(ITypeInfo* p) { return reinterpret_cast<TypeInfo*>(p); }

struct TypeLib {
  TypeLib() { halvane::com::ObjectCreated(); }
  ~TypeLib() { halvane::com::ObjectDestroyed(); }
  TypeLib(const TypeLib&) = delete;
  TypeLib& operator=(const TypeLib&) = delete;
  ITypeLib iface{&kVtbl};
  halvane::com::RefCount refs;
  static const ITypeLibVtbl kVtbl;
  static TypeLib* From(ITypeLib* p) { return reinterpret_cast<TypeLib*>(p); }
};

ITypeInfo* NewTypeInfo(UINT index) {
  if (index >= ClassCount() * 2) return nullptr;
  auto* t = new (std::nothrow) TypeInfo(halvane::Classes()[index / 2], index % 2 == 1);
  return t == nullptr ? nullptr : &t->iface;
}

// A FUNCDESC with its parameter descriptions in one block.
struct FuncDescBlock {
  FUNCDESC desc;
  ELEMDESC params[halvane::kMaxParams];
  TYPEDESC pointee[halvane::kMaxParams];
};

HRESULT NewBstr(std::string_view text, BSTR* out) {
  if (out == nullptr) return S_OK;
  *out = halvane::com::BstrFromUtf8(text);
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

// The row whose names GetNames reports for a DISPID: of a property's get
// and let, the let, which carries the parameter's name.
const MemberInfo* RowOf(const ClassInfo& cls, MEMBERID id) {
  const MemberInfo* best = nullptr;
  for (const MemberInfo& m : cls.members) {
    if (m.dispid == id && (best == nullptr || m.params.size() > best->params.size())) best = &m;
  }
  return best;
}

}  // namespace

extern "C" {

static HRESULT TI_QueryInterface(ITypeInfo* This, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == nullptr) return E_INVALIDARG;
  if (!SameGuid(*riid, IID_IUnknown) && !SameGuid(*riid, IID_ITypeInfo)) return E_NOINTERFACE;
  AddRefOf<TypeInfo>(This);
  *ppv = This;
  return S_OK;
}

static HRESULT TI_GetTypeAttr(ITypeInfo* This, TYPEATTR** out) {
  if (out == nullptr) return E_INVALIDARG;
  const TypeInfo& t = *Self(This);
  auto* a = new (std::nothrow) TYPEATTR{};
  *out = a;
  if (a == nullptr) return E_OUTOFMEMORY;
  const halvane::LibraryInfo& lib = halvane::Library();
  const auto& guids = halvane::com::GuidsOf(*t.cls);
  a->lcid = lib.lcid;
  a->memidConstructor = MEMBERID_NIL;
  a->memidDestructor = MEMBERID_NIL;
  a->cbSizeInstance = sizeof(void*);
  a->cbAlignment = alignof(void*);
  a->wMajorVerNum = lib.version_major;
  a->wMinorVerNum = lib.version_minor;
  a->cImplTypes = 1;
  if (t.coclass) {
    a->guid = guids.clsid;
    a->typekind = TKIND_COCLASS;
    a->wTypeFlags = TYPEFLAG_FCANCREATE;
  } else {
    a->guid = guids.iid;
    a->typekind = TKIND_DISPATCH;
    a->cFuncs = static_cast<WORD>(t.cls->members.size());
    a->cbSizeVft = static_cast<WORD>((7 + t.cls->members.size()) * sizeof(void*));
    a->wTypeFlags =
        TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
  }
  return S_OK;
}

static HRESULT TI_GetTypeComp(ITypeInfo*, ITypeComp** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOTIMPL;
}

static HRESULT TI_GetFuncDesc(ITypeInfo* This, UINT index, FUNCDESC** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  const TypeInfo& t = *Self(This);
  if (t.coclass || index >= t.cls->members.size()) return TYPE_E_ELEMENTNOTFOUND;
  const MemberInfo& m = t.cls->members[index];
  auto* b = new (std::nothrow) FuncDescBlock{};
  if (b == nullptr) return E_OUTOFMEMORY;
  FUNCDESC& d = b->desc;
  d.memid = m.dispid;
  d.funckind = FUNC_DISPATCH;
  d.invkind = InvokeKindOf(m.kind);
  d.callconv = CC_STDCALL;
  d.cParams = static_cast<SHORT>(m.params.size());
  d.oVft = static_cast<SHORT>((7 + index) * sizeof(void*));
  d.elemdescFunc.tdesc.vt = TypeOf(m.result);
  d.lprgelemdescParam = m.params.empty() ? nullptr : b->params;
  for (std::size_t i = 0; i < m.params.size(); ++i) {
    // Every parameter is passed by reference: a pointer to its type.
    b->pointee[i].vt = TypeOf(m.params[i].type);
    b->params[i].tdesc.vt = VT_PTR;
    b->params[i].tdesc.lptdesc = &b->pointee[i];
    b->params[i].paramdesc.wParamFlags = PARAMFLAG_FIN | PARAMFLAG_FOUT;
    if (m.params[i].optional) {
      b->params[i].paramdesc.wParamFlags |= PARAMFLAG_FOPT;
      ++d.cParamsOpt;
    }
  }
  *out = &b->desc;
  return S_OK;
}

static HRESULT TI_GetVarDesc(ITypeInfo*, UINT, void** out) {
  if (out != nullptr) *out = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;
}

static HRESULT TI_GetNames(ITypeInfo* This, MEMBERID memid, BSTR* names, UINT max, UINT* count) {
  if (names == nullptr || count == nullptr) return E_INVALIDARG;
  *count = 0;
  const TypeInfo& t = *Self(This);
  const MemberInfo* m = t.coclass ? nullptr : RowOf(*t.cls, memid);
  if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
  for (std::size_t i = 0; i <= m->params.size() && *count < max; ++i) {
    const HRESULT hr = NewBstr(i == 0 ? m->name : m->params[i - 1].name, &names[*count]);
    if (hr != S_OK) return hr;
    ++*count;
  }
  return S_OK;
}

static HRESULT TI_GetRefTypeOfImplType(ITypeInfo* This, UINT index, HREFTYPE* out) {
  if (out == nullptr) return E_INVALIDARG;
  const TypeInfo& t = *Self(This);
  // A class refers to its one interface; IDispatch, which the interfaces
  // extend, is not described here.
  if (!t.coclass || index != 0) return TYPE_E_ELEMENTNOTFOUND;
  *out = t.Index() - 1;
  return S_OK;
}

static HRESULT TI_GetImplTypeFlags(ITypeInfo* This, UINT index, int* out) {
  if (out == nullptr) return E_INVALIDARG;
  if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
  *out = Self(This)->coclass ? IMPLTYPEFLAG_FDEFAULT : 0;
  return S_OK;
}

static HRESULT TI_GetIDsOfNames(ITypeInfo* This, LPOLESTR* names, UINT count, MEMBERID* ids) {
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  const TypeInfo& t = *Self(This);
  try {
    for (UINT i = 0; i < count; ++i) ids[i] = MEMBERID_NIL;
    if (t.coclass) return DISP_E_UNKNOWNNAME;
    const std::int32_t id = halvane::FindDispId(*t.cls, halvane::com::Utf8FromOleString(names[0]));
    if (id == -1) return DISP_E_UNKNOWNNAME;
    ids[0] = id;
    // Further names are parameters of that member, numbered from 0.
    const MemberInfo* m = RowOf(*t.cls, id);
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
      const std::string name = halvane::com::Utf8FromOleString(names[i]);
      for (std::size_t k = 0; k < m->params.size(); ++k)
        if (halvane::text::EqualNoCase(m->params[k].name, name)) ids[i] = static_cast<MEMBERID>(k);
      if (ids[i] == MEMBERID_NIL) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

static HRESULT TI_Invoke(ITypeInfo* This, void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  if (instance == nullptr) return E_INVALIDARG;
  if (Self(This)->coclass) return TYPE_E_WRONGTYPEKIND;
  auto* d = static_cast<IDispatch*>(instance);
  return d->lpVtbl->Invoke(d, memid, &IID_NULL, 0, flags, params, result, excep, arg_err);
}

static HRESULT TI_GetDocumentation(ITypeInfo* This, MEMBERID memid, BSTR* name, BSTR* doc, DWORD* help_context,
                                   BSTR* help_file) {
  const TypeInfo& t = *Self(This);
  std::string_view text;
  if (memid == MEMBERID_NIL) {
    text = t.coclass ? t.cls->name : t.cls->interface_name;
  } else {
    const MemberInfo* m = t.coclass ? nullptr : RowOf(*t.cls, memid);
    if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    text = m->name;
  }
  // The library carries no help strings and no help file.
  if (doc != nullptr) *doc = nullptr;
  if (help_context != nullptr) *help_context = 0;
  if (help_file != nullptr) *help_file = nullptr;
  return NewBstr(text, name);
}

static HRESULT TI_GetDllEntry(ITypeInfo*, MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) { return TYPE_E_BADMODULEKIND; }

static HRESULT TI_GetRefTypeInfo(ITypeInfo*, HREFTYPE ref, ITypeInfo** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = ref % 2 == 0 ? NewTypeInfo(ref) : nullptr;
  return *out != nullptr ? S_OK : TYPE_E_ELEMENTNOTFOUND;
}

static HRESULT TI_AddressOfMember(ITypeInfo*, MEMBERID, INVOKEKIND, void** out) {
  if (out != nullptr) *out = nullptr;
  return TYPE_E_BADMODULEKIND;
}

static HRESULT TI_CreateInstance(ITypeInfo* This, IUnknown* outer, REFIID riid, void** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  const TypeInfo& t = *Self(This);
  if (!t.coclass) return TYPE_E_WRONGTYPEKIND;
  IClassFactory* factory = nullptr;
  HRESULT hr =
      DllGetClassObject(&halvane::com::GuidsOf(*t.cls).clsid, &IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (hr != S_OK) return hr;
  hr = factory->lpVtbl->CreateInstance(factory, outer, riid, out);
  factory->lpVtbl->Release(factory);
  return hr;
}

static HRESULT TI_GetMops(ITypeInfo*, MEMBERID, BSTR* out) {
  if (out != nullptr) *out = nullptr;
  return S_OK;
}

static HRESULT TI_GetContainingTypeLib(ITypeInfo* This, ITypeLib** lib, UINT* index) {
  if (lib == nullptr) return E_INVALIDARG;
  auto* l = new (std::nothrow) TypeLib();
  *lib = l == nullptr ? nullptr : &l->iface;
  if (l == nullptr) return E_OUTOFMEMORY;
  if (index != nullptr) *index = Self(This)->Index();
  return S_OK;
}

static void TI_ReleaseTypeAttr(ITypeInfo*, TYPEATTR* a) { delete a; }
static void TI_ReleaseFuncDesc(ITypeInfo*, FUNCDESC* d) { delete reinterpret_cast<FuncDescBlock*>(d); }
static void TI_ReleaseVarDesc(ITypeInfo*, void*) {}

// ---- ITypeLib ----------------------------------------------------------------

static HRESULT TL_QueryInterface(ITypeLib* This, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == nullptr) return E_INVALIDARG;
  if (!SameGuid(*riid, IID_IUnknown) && !SameGuid(*riid, IID_ITypeLib)) return E_NOINTERFACE;
  AddRefOf<TypeLib>(This);
  *ppv = This;
  return S_OK;
}
static UINT TL_GetTypeInfoCount(ITypeLib*) { return static_cast<UINT>(ClassCount() * 2); }
static HRESULT TL_GetTypeInfo(ITypeLib*, UINT index, ITypeInfo** out) {
  if (out == nullptr) return E_INVALIDARG;
  if (index >= ClassCount() * 2) {
    *out = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  *out = NewTypeInfo(index);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}
static HRESULT TL_GetTypeInfoType(ITypeLib*, UINT index, TYPEKIND* out) {
  if (out == nullptr) return E_INVALIDARG;
  if (index >= ClassCount() * 2) return TYPE_E_ELEMENTNOTFOUND;
  *out = index % 2 == 0 ? TKIND_DISPATCH : TKIND_COCLASS;
  return S_OK;
}
static HRESULT TL_GetTypeInfoOfGuid(ITypeLib*, REFGUID guid, ITypeInfo** out) {
  if (out == nullptr || guid == nullptr) return E_INVALIDARG;
  *out = nullptr;
  for (const ClassInfo& c : halvane::Classes()) {
    const auto& g = halvane::com::GuidsOf(c);
    const UINT base = static_cast<UINT>(halvane::com::IndexOf(c) * 2);
    if (SameGuid(*guid, g.iid))
      *out = NewTypeInfo(base);
    else if (SameGuid(*guid, g.clsid))
      *out = NewTypeInfo(base + 1);
    else
      continue;
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}
static HRESULT TL_GetLibAttr(ITypeLib*, TLIBATTR** out) {
  if (out == nullptr) return E_INVALIDARG;
  auto* a = new (std::nothrow) TLIBATTR{};
  *out = a;
  if (a == nullptr) return E_OUTOFMEMORY;
  const halvane::LibraryInfo& lib = halvane::Library();
  a->guid = halvane::com::LibraryGuid();
  a->lcid = lib.lcid;
  a->syskind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  a->wMajorVerNum = lib.version_major;
  a->wMinorVerNum = lib.version_minor;
  return S_OK;
}
static HRESULT TL_GetTypeComp(ITypeLib*, ITypeComp** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOTIMPL;
}
static HRESULT TL_GetDocumentation(ITypeLib*, int index, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) {
  std::string_view text;
  if (index == -1) {
    text = halvane::Library().name;
  } else if (index >= 0 && static_cast<std::size_t>(index) < ClassCount() * 2) {
    const ClassInfo& c = halvane::Classes()[static_cast<std::size_t>(index) / 2];
    text = index % 2 == 0 ? c.interface_name : c.name;
  } else {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  if (doc != nullptr) *doc = nullptr;
  if (help_context != nullptr) *help_context = 0;
  if (help_file != nullptr) *help_file = nullptr;
  return NewBstr(text, name);
}
static HRESULT TL_IsName(ITypeLib*, LPOLESTR name, ULONG, BOOL* found) {
  if (name == nullptr || found == nullptr) return E_INVALIDARG;
  try {
    const std::string n = halvane::com::Utf8FromOleString(name);
    *found = 0;
    for (const ClassInfo& c : halvane::Classes()) {
      bool hit = halvane::text::EqualNoCase(n, c.name) || halvane::text::EqualNoCase(n, c.interface_name);
      for (const MemberInfo& m : c.members) hit = hit || halvane::text::EqualNoCase(n, m.name);
      if (hit) *found = 1;
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
// The interfaces that have a member of this name, with its DISPID.
static HRESULT TL_FindName(ITypeLib*, LPOLESTR name, ULONG, ITypeInfo** infos, MEMBERID* ids, uint16_t* count) {
  if (name == nullptr || infos == nullptr || ids == nullptr || count == nullptr) return E_INVALIDARG;
  try {
    const std::string n = halvane::com::Utf8FromOleString(name);
    uint16_t found = 0;
    for (const ClassInfo& c : halvane::Classes()) {
      if (found >= *count) break;
      const std::int32_t id = halvane::FindDispId(c, n);
      if (id == -1) continue;
      infos[found] = NewTypeInfo(static_cast<UINT>(halvane::com::IndexOf(c) * 2));
      if (infos[found] == nullptr) return E_OUTOFMEMORY;
      ids[found] = id;
      ++found;
    }
    *count = found;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
static void TL_ReleaseTLibAttr(ITypeLib*, TLIBATTR* a) { delete a; }

}  // extern "C"

namespace {
const ITypeInfoVtbl TypeInfo::kVtbl = {
    TI_QueryInterface,  AddRefOf<TypeInfo>, ReleaseOf<TypeInfo>, TI_GetTypeAttr,          TI_GetTypeComp,
    TI_GetFuncDesc,     TI_GetVarDesc,      TI_GetNames,         TI_GetRefTypeOfImplType, TI_GetImplTypeFlags,
    TI_GetIDsOfNames,   TI_Invoke,          TI_GetDocumentation, TI_GetDllEntry,          TI_GetRefTypeInfo,
    TI_AddressOfMember, TI_CreateInstance,  TI_GetMops,          TI_GetContainingTypeLib, TI_ReleaseTypeAttr,
    TI_ReleaseFuncDesc, TI_ReleaseVarDesc};
const ITypeLibVtbl TypeLib::kVtbl = {
    TL_QueryInterface,  AddRefOf<TypeLib>,    ReleaseOf<TypeLib>, TL_GetTypeInfoCount, TL_GetTypeInfo,
    TL_GetTypeInfoType, TL_GetTypeInfoOfGuid, TL_GetLibAttr,      TL_GetTypeComp,      TL_GetDocumentation,
    TL_IsName,          TL_FindName,          TL_ReleaseTLibAttr};
}  // namespace

namespace halvane::com {

ITypeInfo* NewInterfaceTypeInfo(const ClassInfo& cls) { return NewTypeInfo(static_cast<UINT>(IndexOf(cls) * 2)); }

}  // namespace halvane::com
