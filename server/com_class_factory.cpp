// Class objects of the C interface: IClassFactory for each class of the
// table, DllGetClassObject that hands them out and DllCanUnloadNow.
#include <atomic>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "server/automation.h"
#include "server/class_table.h"
#include "server/com_internal.h"

namespace halvane::com {
namespace {
std::atomic<std::uint32_t> g_others{0};
}  // namespace
void ObjectCreated() { g_others.fetch_add(1, std::memory_order_relaxed); }
void ObjectDestroyed() { g_others.fetch_sub(1, std::memory_order_relaxed); }
std::uint32_t OtherObjectCount() { return g_others.load(std::memory_order_relaxed); }
}  // namespace halvane::com

namespace {

using halvane::ClassInfo;
using halvane::com::SameGuid;
namespace automation = halvane::automation;

using halvane::com::AddRefOf;
using halvane::com::ReleaseOf;

struct ClassFactory {
  explicit ClassFactory(const ClassInfo& c) : cls(&c) {}
  IClassFactory iface{&kVtbl};
  halvane::com::RefCount refs;
  const ClassInfo* cls;
  static const IClassFactoryVtbl kVtbl;
  static ClassFactory* From(IClassFactory* p) { return reinterpret_cast<ClassFactory*>(p); }
};
static_assert(std::is_standard_layout_v<ClassFactory>);

const ClassInfo* FindClassByGuid(const GUID& clsid) {
  for (const ClassInfo& c : halvane::Classes()) {
    if (SameGuid(halvane::com::GuidsOf(c).clsid, clsid)) return &c;
  }
  return nullptr;
}

}  // namespace

extern "C" {

static HRESULT Factory_QueryInterface(IClassFactory* This, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == nullptr) return E_INVALIDARG;
  if (!SameGuid(*riid, IID_IUnknown) && !SameGuid(*riid, IID_IClassFactory)) return E_NOINTERFACE;
  AddRefOf<ClassFactory>(This);
  *ppv = This;
  return S_OK;
}

static HRESULT Factory_LockServer(IClassFactory*, BOOL lock) {
  automation::LockServer(lock != 0);
  return S_OK;
}

static HRESULT Factory_CreateInstance(IClassFactory* This, IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (riid == nullptr) return E_INVALIDARG;
  return halvane::com::NewComponent(*ClassFactory::From(This)->cls, riid, ppv);
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

// A class object alone does not keep the library: a host that keeps one
// locks the server with LockServer.
HALVANE_API HRESULT DllCanUnloadNow(void) {
  return automation::LiveObjectCount() == 0 && automation::LockCount() == 0 && halvane::com::OtherObjectCount() == 0
             ? S_OK
             : S_FALSE;
}

}  // extern "C"

namespace {
const IClassFactoryVtbl ClassFactory::kVtbl = {Factory_QueryInterface, AddRefOf<ClassFactory>, ReleaseOf<ClassFactory>,
                                               Factory_CreateInstance, Factory_LockServer};
}  // namespace
