// The automation layer over the class table: one object type serves every
// class, creating its component through the table's factory and calling
// members through the table's invokers after converting the arguments.
#include "server/automation.h"

#include <cstddef>
#include <new>
#include <string>
#include <utility>

#include "core/error.h"

namespace halvane::automation {
namespace {

std::atomic<std::uint32_t> g_objects{0};
std::atomic<std::uint32_t> g_locks{0};

MemberKind ToMemberKind(InvokeKind kind) {
  switch (kind) {
    case InvokeKind::Method: return MemberKind::Method;
    case InvokeKind::PropertyGet: return MemberKind::PropertyGet;
    case InvokeKind::PropertyLet: return MemberKind::PropertyLet;
  }
  return MemberKind::Method;
}

// The value an omitted optional parameter receives.
Variant OmittedValue(ValueType type) {
  switch (type) {
    case ValueType::String: return Variant(std::string());
    case ValueType::Integer: return Variant(std::int16_t{0});
    case ValueType::Boolean: return Variant(false);
    case ValueType::Variant:
    case ValueType::None: break;
  }
  return Variant::Missing();
}

// Converts one argument in place to the declared type of its parameter;
// raises the conversion's Error.  A value that already has the type stays
// where it is, so a String argument is not copied.
void Convert(const ParamInfo& param, Variant& arg) {
  if (param.optional && arg.IsMissing()) {
    arg = OmittedValue(param.type);
    return;
  }
  const bool plain = !arg.IsByRef();
  switch (param.type) {
    case ValueType::String:
      if (!plain || arg.Type() != VarType::String) arg = Variant(ToString(arg));
      return;
    case ValueType::Integer:
      if (!plain || arg.Type() != VarType::Integer) arg = Variant(ToInteger(arg));
      return;
    case ValueType::Boolean:
      if (!plain || arg.Type() != VarType::Boolean) arg = Variant(ToBoolean(arg));
      return;
    case ValueType::Variant:
    case ValueType::None: return;  // the caller's value, or the reference itself
  }
}

class ComponentObject final : public Object {
 public:
  explicit ComponentObject(const ClassInfo& cls) : cls_(cls), instance_(cls.create()) {}
  ~ComponentObject() override { cls_.destroy(instance_); }
  ComponentObject(const ComponentObject&) = delete;
  ComponentObject& operator=(const ComponentObject&) = delete;

  const ClassInfo& Class() const override { return cls_; }
  void* Instance() const override { return instance_; }

  using Object::Invoke;

  HResult Invoke(std::int32_t dispid, InvokeKind kind, std::span<Variant> args, Variant* result, ExceptionInfo* excep,
                 std::uint32_t* arg_err) override {
    const MemberInfo* member = FindMember(cls_, dispid, ToMemberKind(kind));
    if (member == nullptr) {
      if (result != nullptr) *result = Variant();
      return kDispEMemberNotFound;
    }
    return InvokeMember(*member, args, result, excep, arg_err);
  }

  HResult InvokeMember(const MemberInfo& member, std::span<Variant> args, Variant* result, ExceptionInfo* excep,
                       std::uint32_t* arg_err) override {
    Variant ignored;
    Variant& value = result != nullptr ? *result : ignored;
    value = Variant();
    const std::size_t count = member.params.size();
    if (args.size() > count) return kDispEBadParamCount;
    try {
      // The caller's values stay as they are: the member sees converted copies.
      ArgumentSlots own;
      for (std::size_t i = 0; i < args.size(); ++i) own.Set(i, args[i]);
      const HResult hr = ConvertArguments(member, own, args.size(), arg_err);
      if (hr != kOk) return hr;
      ExceptionInfo unused;
      return InvokeTyped(member, own.First(count), value, excep != nullptr ? *excep : unused);
    } catch (const std::bad_alloc&) {
      return kEOutOfMemory;
    }
  }

  HResult InvokeTyped(const MemberInfo& member, std::span<Variant> args, Variant& result,
                      ExceptionInfo& excep) override {
    try {
      try {
        result = member.invoke(instance_, args);
        return kOk;
      } catch (Error& e) {
        // Members name their source; one that did not gets its class's.
        if (e.Source().empty()) e.SetSourceIfEmpty(std::string("Halvane.").append(cls_.name));
        excep = ExceptionInfo{e.Status(), e.Source(), e.Description()};
      }
    } catch (const std::bad_alloc&) {
      result = Variant();
      return kEOutOfMemory;
    } catch (...) {
      result = Variant();
      return kEFail;
    }
    result = Variant();
    return kDispEException;
  }

 private:
  const ClassInfo& cls_;
  void* instance_;
};

}  // namespace

Object::Object() { g_objects.fetch_add(1, std::memory_order_relaxed); }
Object::~Object() { g_objects.fetch_sub(1, std::memory_order_relaxed); }

HResult Object::GetIDOfName(std::string_view name, std::int32_t& dispid) const {
  const std::int32_t id = FindDispId(Class(), name);
  if (id == -1) return kDispEUnknownName;
  dispid = id;
  return kOk;
}

HResult ConvertArguments(const MemberInfo& member, ArgumentSlots& args, std::size_t given, std::uint32_t* arg_err) {
  const std::span<const ParamInfo> params = member.params;
  std::size_t required = 0;
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (!params[i].optional) required = i + 1;
  }
  if (given < required || given > params.size()) return kDispEBadParamCount;
  try {
    for (std::size_t i = 0; i < params.size(); ++i) {
      try {
        if (i < given)
          Convert(params[i], args[i]);
        else
          args.Set(i, OmittedValue(params[i].type));
      } catch (const Error& e) {
        if (arg_err != nullptr) *arg_err = static_cast<std::uint32_t>(i);
        return e.Number() == kErrOverflow ? kDispEOverflow : kDispETypeMismatch;
      }
    }
  } catch (const std::bad_alloc&) {
    return kEOutOfMemory;
  }
  return kOk;
}

std::uint32_t Object::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

std::uint32_t Object::Release() {
  const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HResult CreateObject(std::string_view prog_id_or_clsid, ObjectPtr& out) {
  out = ObjectPtr();
  const ClassInfo* cls = FindClass(prog_id_or_clsid);
  if (cls == nullptr) return kClassENotAvailable;
  try {
    out = ObjectPtr(new ComponentObject(*cls));
  } catch (const std::bad_alloc&) {
    return kEOutOfMemory;
  }
  return kOk;
}

std::uint32_t LiveObjectCount() { return g_objects.load(std::memory_order_relaxed); }
std::uint32_t LockCount() { return g_locks.load(std::memory_order_relaxed); }

void LockServer(bool lock) {
  if (lock) {
    g_locks.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  // An unlock without a lock is ignored rather than wrapping the count.
  std::uint32_t n = g_locks.load(std::memory_order_relaxed);
  while (n != 0 && !g_locks.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {}
}

}  // namespace halvane::automation
