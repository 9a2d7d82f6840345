// The automation layer: create a component by programmatic identifier or
// CLSID, look up member names, and invoke members by DISPID with Variant
// arguments, as a late-bound scripting host does.  Every call is dispatched
// from the class table (server/class_table.h).
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/variant.h"
#include "server/class_table.h"

namespace halvane::automation {

using HResult = std::int32_t;

inline constexpr HResult kOk = 0;
inline constexpr HResult kFalse = 1;
inline constexpr HResult kDispEUnknownName = static_cast<HResult>(0x80020006u);
inline constexpr HResult kDispEMemberNotFound = static_cast<HResult>(0x80020003u);
inline constexpr HResult kDispETypeMismatch = static_cast<HResult>(0x80020005u);
inline constexpr HResult kDispEOverflow = static_cast<HResult>(0x8002000Au);
inline constexpr HResult kDispEBadParamCount = static_cast<HResult>(0x8002000Eu);
inline constexpr HResult kDispEException = static_cast<HResult>(0x80020009u);
inline constexpr HResult kDispEParamNotFound = static_cast<HResult>(0x80020004u);
inline constexpr HResult kClassENotAvailable = static_cast<HResult>(0x80040111u);
inline constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
inline constexpr HResult kEPointer = static_cast<HResult>(0x80004003u);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
inline constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);

// The exception record of a member's error (kDispEException).
struct ExceptionInfo {
  std::uint32_t status = 0;  // 0x800A0000 + number
  std::string source;
  std::string description;
};

enum class InvokeKind { Method, PropertyGet, PropertyLet };

// A component object handed out through its dispatch interface.  Objects are
// reference counted (see ObjectPtr); the library counts live objects.
class Object {
 public:
  virtual ~Object();
  virtual const ClassInfo& Class() const = 0;
  // The component itself (an instance of Class(), as its create made it).
  virtual void* Instance() const = 0;

  // Member name to DISPID, without regard to case (kDispEUnknownName).
  HResult GetIDOfName(std::string_view name, std::int32_t& dispid) const;

  // Calls a member.  `args` are in declaration order; a by-reference
  // argument (Variant::Ref) receives a value the member writes back.  An
  // omitted argument is passed as Variant::Missing(); trailing optional ones
  // may also be left off.  `result` may be null.
  //
  // Before the member runs, each argument is converted to its declared type
  // (String, Integer, Boolean); a Variant parameter receives the caller's
  // value (a copy, or the reference itself).  An omitted optional String is
  // "".  Statuses: kDispEMemberNotFound (no member of this DISPID and kind),
  // kDispEBadParamCount, kDispETypeMismatch / kDispEOverflow (a conversion
  // failed; the member did not run), kDispEException (the member raised an
  // error; `excep`, if given, holds status 0x800A0000 + number, source and
  // description), kEOutOfMemory.  `result` is Empty after a failure.
  HResult Invoke(std::int32_t dispid, InvokeKind kind, std::span<Variant> args, Variant* result,
                 ExceptionInfo* excep) {
    return Invoke(dispid, kind, args, result, excep, nullptr);
  }
  // The same call; when an argument fails its conversion (kDispETypeMismatch,
  // kDispEOverflow), `arg_err` (if given) receives its position in `args`.
  virtual HResult Invoke(std::int32_t dispid, InvokeKind kind, std::span<Variant> args, Variant* result,
                         ExceptionInfo* excep, std::uint32_t* arg_err) = 0;

  // The same call for a row of Class().members that the caller has already
  // found (the function-table entries know their row): no lookup.
  virtual HResult InvokeMember(const MemberInfo& member, std::span<Variant> args, Variant* result, ExceptionInfo* excep,
                               std::uint32_t* arg_err) = 0;

  // The call of a row whose arguments already have their declared types
  // (a String, Integer or Boolean Variant of exactly that kind; for a
  // Variant parameter the value or a reference to it; for an omitted
  // optional parameter its omitted value), as the dual interface's function
  // table receives them: no conversion step.  kOk, or kDispEException with
  // `excep` filled; `result` receives the member's result.
  virtual HResult InvokeTyped(const MemberInfo& member, std::span<Variant> args, Variant& result,
                              ExceptionInfo& excep) = 0;

  std::uint32_t AddRef();
  std::uint32_t Release();  // deletes the object at zero

 protected:
  Object();

 private:
  std::atomic<std::uint32_t> refs_{1};
};

// Owning handle that releases on destruction.
class ObjectPtr {
 public:
  ObjectPtr() = default;
  explicit ObjectPtr(Object* adopted) : p_(adopted) {}
  ObjectPtr(const ObjectPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ObjectPtr(ObjectPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ObjectPtr& operator=(ObjectPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ObjectPtr() {
    if (p_) p_->Release();
  }
  Object* get() const { return p_; }
  Object* operator->() const { return p_; }
  Object& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  Object* release() {
    Object* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  Object* p_ = nullptr;
};

// The arguments of one call, on the stack: up to kMaxParams Variants, each
// made only when the call sets it (a whole array of Variants would be
// cleared and destroyed on every call).
class ArgumentSlots {
 public:
  ArgumentSlots() = default;
  ArgumentSlots(const ArgumentSlots&) = delete;
  ArgumentSlots& operator=(const ArgumentSlots&) = delete;
  ~ArgumentSlots() {
    for (unsigned m = made_; m != 0; m &= m - 1) At(static_cast<std::size_t>(std::countr_zero(m))).~Variant();
  }
  // Makes slot i (i < kMaxParams) the Variant of these constructor
  // arguments, built in place.  The slot counts as made only once built, so
  // a constructor that throws (no memory for a text) leaves nothing behind
  // for the destructor.
  template <class... A>
  Variant& Set(std::size_t i, A&&... a) {
    if ((made_ & (1u << i)) != 0) return At(i) = Variant(std::forward<A>(a)...);
    Variant* made = ::new (static_cast<void*>(storage_ + i * sizeof(Variant))) Variant(std::forward<A>(a)...);
    made_ |= 1u << i;
    return *made;
  }
  // A slot that has been set; First(n): slots 0 .. n-1, all set.
  Variant& operator[](std::size_t i) { return At(i); }
  std::span<Variant> First(std::size_t n) { return {n == 0 ? nullptr : &At(0), n}; }

 private:
  Variant& At(std::size_t i) { return *std::launder(reinterpret_cast<Variant*>(storage_ + i * sizeof(Variant))); }
  alignas(Variant) unsigned char storage_[kMaxParams * sizeof(Variant)];
  unsigned made_ = 0;
};

// Converts the arguments of a call of `member` in place, as Invoke does
// before the member runs: slots 0 .. given-1 hold the caller's values (a
// by-reference one as Variant::Ref); the other parameters' slots receive
// their omitted values.  Afterwards args.First(member.params.size()) is
// what the member takes.  kOk, kDispEBadParamCount, or kDispETypeMismatch /
// kDispEOverflow with the position of the failed argument in `arg_err` (if
// given).
HResult ConvertArguments(const MemberInfo& member, ArgumentSlots& args, std::size_t given, std::uint32_t* arg_err);

// Creates a component by programmatic identifier ("Halvane.Tree") or CLSID
// ("{BFC10B8E-...}" or without braces), any letter case.  kClassENotAvailable
// for an unknown one.
HResult CreateObject(std::string_view prog_id_or_clsid, ObjectPtr& out);

// Live component objects and class-object locks (for DllCanUnloadNow).
std::uint32_t LiveObjectCount();
std::uint32_t LockCount();
void LockServer(bool lock);

}  // namespace halvane::automation
