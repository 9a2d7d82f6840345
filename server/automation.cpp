// The automation layer over the class table: one object type serves every
// class, creating its component through the table's factory and calling
// members through the table's invokers after converting the arguments.
#include "server/automation.h"

#include <array>
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

// Converts one argument to the declared type of its parameter; raises the
// conversion's Error.
Variant Convert(const ParamInfo& param, const Variant* arg) {
  if (arg == nullptr || (param.optional && arg->IsMissing())) return OmittedValue(param.type);
  switch (param.type) {
    case ValueType::String: return Variant(ToString(*arg));
    case ValueType::Integer: return Variant(ToInteger(*arg));
    case ValueType::Boolean: return Variant(ToBoolean(*arg));
    case ValueType::Variant:
    case ValueType::None: break;
  }
  // The caller's value: a copy of a plain value, or the reference itself so
  // that what the member writes reaches the caller.
  return *arg;
}

class ComponentObject final : public Object {
 public:
  explicit ComponentObject(const ClassInfo& cls) : cls_(cls), instance_(cls.create()) {}
  ~ComponentObject() override { cls_.destroy(instance_); }
  ComponentObject(const ComponentObject&) = delete;
  ComponentObject& operator=(const ComponentObject&) = delete;

  const ClassInfo& Class() const override { return cls_; }

  HResult Invoke(std::int32_t dispid, InvokeKind kind, std::span<Variant> args, Variant* result,
                 ExceptionInfo* excep) override {
    return Invoke(dispid, kind, args, result, excep, nullptr);
  }

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
    if (result == nullptr) {
      Variant ignored;
      return Call(member, args, ignored, excep, arg_err);
    }
    *result = Variant();
    return Call(member, args, *result, excep, arg_err);
  }

  HResult InvokeTyped(const MemberInfo& member, std::span<Variant> args, Variant& result,
                      ExceptionInfo& excep) override {
    try {
      try {
        result = member.invoke(instance_, args);
        return kOk;
      } catch (Error& e) {
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
  HResult Call(const MemberInfo& row, std::span<Variant> args, Variant& value, ExceptionInfo* excep,
               std::uint32_t* arg_err) {
    const MemberInfo* member = &row;
    const std::span<const ParamInfo> params = member->params;
    std::size_t required = 0;
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (!params[i].optional) required = i + 1;
    }
    if (args.size() < required || args.size() > params.size()) return kDispEBadParamCount;

    try {
      // Every argument is converted before the member runs, so a failed
      // conversion leaves the object untouched.
      std::array<Variant, kMaxParams> converted;
      for (std::size_t i = 0; i < params.size(); ++i) {
        try {
          converted[i] = Convert(params[i], i < args.size() ? &args[i] : nullptr);
        } catch (const Error& e) {
          if (arg_err != nullptr) *arg_err = static_cast<std::uint32_t>(i);
          return e.Number() == kErrOverflow ? kDispEOverflow : kDispETypeMismatch;
        }
      }
      try {
        value = member->invoke(instance_, std::span<Variant>(converted.data(), params.size()));
      } catch (Error& e) {
        // Members name their source; one that did not gets its class's.
        if (e.Source().empty()) e.SetSourceIfEmpty(std::string("Halvane.").append(cls_.name));
        if (excep != nullptr) *excep = ExceptionInfo{e.Status(), e.Source(), e.Description()};
        value = Variant();
        return kDispEException;
      }
    } catch (const std::bad_alloc&) {
      value = Variant();
      return kEOutOfMemory;
    } catch (...) {
      value = Variant();
      return kEFail;
    }
    return kOk;
  }

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

HResult Object::Invoke(std::int32_t dispid, InvokeKind kind, std::span<Variant> args, Variant* result,
                       ExceptionInfo* excep, std::uint32_t* /*arg_err*/) {
  return Invoke(dispid, kind, args, result, excep);
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
