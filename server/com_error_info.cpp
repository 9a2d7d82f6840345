// Error information of the C interface: error objects (IErrorInfo to read
// one, ICreateErrorInfo to fill it) and the thread's current error.
#include <cstddef>
#include <new>
#include <string>
#include <string_view>

#include "server/com_internal.h"

namespace {

using halvane::com::AddRefOf;
using halvane::com::BstrFromUtf8;
using halvane::com::ReleaseOf;
using halvane::com::SameGuid;

// An error object: IErrorInfo to read it, ICreateErrorInfo to fill it.
struct ErrorObject {
  ErrorObject() { halvane::com::ObjectCreated(); }
  ~ErrorObject() { halvane::com::ObjectDestroyed(); }
  ErrorObject(const ErrorObject&) = delete;
  ErrorObject& operator=(const ErrorObject&) = delete;
  IErrorInfo info{&kInfoVtbl};
  ICreateErrorInfo create{&kCreateVtbl};
  halvane::com::RefCount refs;
  GUID guid{};
  std::string source, description, help_file;
  DWORD help_context = 0;
  static const IErrorInfoVtbl kInfoVtbl;
  static const ICreateErrorInfoVtbl kCreateVtbl;
  static ErrorObject* From(IErrorInfo* p) {
    return reinterpret_cast<ErrorObject*>(reinterpret_cast<char*>(p) - offsetof(ErrorObject, info));
  }
  static ErrorObject* From(ICreateErrorInfo* p) {
    return reinterpret_cast<ErrorObject*>(reinterpret_cast<char*>(p) - offsetof(ErrorObject, create));
  }
};

ErrorObject* Self(IErrorInfo* p) { return ErrorObject::From(p); }
ErrorObject* Self(ICreateErrorInfo* p) { return ErrorObject::From(p); }

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

}  // namespace

extern "C" {

// ---- IErrorInfo / ICreateErrorInfo ------------------------------------------------------

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
  AddRefOf<ErrorObject>(This);
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
const IErrorInfoVtbl ErrorObject::kInfoVtbl = {Err_QueryInterface, AddRefOf<ErrorObject>, ReleaseOf<ErrorObject>,
                                               Err_GetGUID,        Err_GetSource,         Err_GetDescription,
                                               Err_GetHelpFile,    Err_GetHelpContext};
const ICreateErrorInfoVtbl ErrorObject::kCreateVtbl = {
    Cre_QueryInterface, AddRefOf<ErrorObject>, ReleaseOf<ErrorObject>, Cre_SetGUID,
    Cre_SetSource,      Cre_SetDescription,    Cre_SetHelpFile,        Cre_SetHelpContext};
}  // namespace
