// The direct call of one member row through the C interface, made from the
// C++ member's own signature: each parameter is read from the pointer the
// caller passed (BSTR*, SHORT*, VARIANT_BOOL*, VARIANT*) straight into the
// type the member takes, the member runs, and its result goes straight into
// the caller's result pointer.  No Variant stands between, except for a
// Variant parameter or result.  The function-table entries are these calls;
// IDispatch::Invoke uses them when the arguments already have the declared
// types, through an entry made for each row, so that the types are known
// when it is compiled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "core/error.h"
#include "core/variant.h"
#include "server/automation.h"
#include "server/class_table.h"
#include "server/com_internal.h"

namespace halvane::com {

// The parts of a member function pointer's type.
template <class F>
struct MemberSignature;
template <class C, class R, class... A>
struct MemberSignature<R (C::*)(A...)> {
  using Class = C;
  using Result = R;
  using Params = std::tuple<A...>;
};
template <class C, class R, class... A>
struct MemberSignature<R (C::*)(A...) const> : MemberSignature<R (C::*)(A...)> {};

template <class T>
using Bare = std::remove_cvref_t<T>;

// The declared type of a C++ parameter or result type.
template <class T>
constexpr ValueType ValueTypeOf() {
  using B = Bare<T>;
  if constexpr (std::is_void_v<B>)
    return ValueType::None;
  else if constexpr (std::is_same_v<B, std::string>)
    return ValueType::String;
  else if constexpr (std::is_same_v<B, std::int16_t>)
    return ValueType::Integer;
  else if constexpr (std::is_same_v<B, bool>)
    return ValueType::Boolean;
  else {
    static_assert(std::is_same_v<B, Variant>, "a member takes and returns String, Integer, Boolean or Variant");
    return ValueType::Variant;
  }
}

// What the caller's pointer for a parameter or result of C++ type T points to.
template <class T>
using ComTypeOf = std::conditional_t<
    ValueTypeOf<T>() == ValueType::String, BSTR,
    std::conditional_t<ValueTypeOf<T>() == ValueType::Integer, SHORT,
                       std::conditional_t<ValueTypeOf<T>() == ValueType::Boolean, VARIANT_BOOL, VARIANT>>>;

// A parameter read from the caller's pointer.  Text goes into one of the
// object's reusable buffers; a Variant is read into a value of its own,
// which a Variant& member may change.
template <class T>
struct ParamHolder {
  static constexpr ValueType kType = ValueTypeOf<T>();
  std::conditional_t<kType == ValueType::Integer, std::int16_t,
                     std::conditional_t<kType == ValueType::Boolean, bool,
                                        std::conditional_t<kType == ValueType::Variant, Variant, std::string*>>>
      value{};

  // S_OK, or the status of a VARIANT the layer does not take.
  [[gnu::always_inline]] HRESULT Read(void* p, std::string& text) {
    if constexpr (kType == ValueType::String) {
      value = &text;
      if (p == nullptr)
        text.clear();
      else
        Utf8IntoString(*static_cast<BSTR*>(p), text);
    } else if constexpr (kType == ValueType::Integer) {
      value = p == nullptr ? std::int16_t{0} : std::int16_t{*static_cast<SHORT*>(p)};
    } else if constexpr (kType == ValueType::Boolean) {
      value = p != nullptr && *static_cast<VARIANT_BOOL*>(p) != 0;
    } else {
      if (p == nullptr) {
        value = Variant::Missing();
        return S_OK;
      }
      // The usual numbers are read here; every other kind by ReadVariant.
      const VARIANT& v = *static_cast<const VARIANT*>(p);
      switch (v.vt) {
        case VT_I2: value = Variant::Integer(v.iVal); return S_OK;
        case VT_I4: value = Variant::Long(v.lVal); return S_OK;
        case VT_R8: value = Variant::Double(v.dblVal); return S_OK;
        default: return ReadVariant(v, value);
      }
    }
    return S_OK;
  }

  T Get() {
    if constexpr (kType == ValueType::String)
      return *value;
    else if constexpr (std::is_lvalue_reference_v<T>)
      return value;
    else
      return static_cast<T>(value);
  }
};

// Stores a member's result in the caller's result pointer.
template <class R>
HRESULT StoreResult(R&& value, void* out) {
  constexpr ValueType kType = ValueTypeOf<R>();
  if constexpr (kType == ValueType::String) {
    BSTR s = BstrFromUtf8(value);
    if (s == nullptr) return E_OUTOFMEMORY;
    *static_cast<BSTR*>(out) = s;
  } else if constexpr (kType == ValueType::Integer) {
    *static_cast<SHORT*>(out) = value;
  } else if constexpr (kType == ValueType::Boolean) {
    *static_cast<VARIANT_BOOL*>(out) = value ? VARIANT_TRUE : VARIANT_FALSE;
  } else {
    return MakeVariant(value, *static_cast<VARIANT*>(out));
  }
  return S_OK;
}

// Clears what a result pointer receives, so that a failed call hands back
// no value.
template <class R>
void ClearResult(void* out) {
  constexpr ValueType kType = ValueTypeOf<R>();
  if constexpr (kType == ValueType::String)
    *static_cast<BSTR*>(out) = nullptr;
  else if constexpr (kType == ValueType::Integer)
    *static_cast<SHORT*>(out) = 0;
  else if constexpr (kType == ValueType::Boolean)
    *static_cast<VARIANT_BOOL*>(out) = VARIANT_FALSE;
  else if constexpr (kType == ValueType::Variant)
    InitVariant(*static_cast<VARIANT*>(out));
}

// Frees a result stored in the caller's pointer and clears it.
template <class R>
void ReleaseResult(void* out) {
  constexpr ValueType kType = ValueTypeOf<R>();
  if constexpr (kType == ValueType::String) {
    FreeBstr(*static_cast<BSTR*>(out));
    *static_cast<BSTR*>(out) = nullptr;
  } else if constexpr (kType == ValueType::Variant) {
    ClearVariant(static_cast<VARIANT*>(out));
  } else {
    ClearResult<R>(out);
  }
}

// Hands a value a Variant& member changed back to the caller's VARIANT: a
// VT_BYREF one is written through; a plain one is replaced when
// `replace_values` (the function table's [in, out] VARIANT*), and left as
// it is otherwise (IDispatch::Invoke's arguments are the caller's own).
inline HRESULT HandBack(VARIANT& dst, const Variant& value, bool replace_values) {
  if ((dst.vt & VT_BYREF) != 0) return WriteBack(dst, value);
  if (!replace_values) return S_OK;
  VARIANT fresh;
  const HRESULT hr = MakeVariant(value, fresh);
  if (hr != S_OK) return hr;
  ClearVariant(&dst);
  dst = fresh;
  return S_OK;
}

// One call of member Fn on `instance`: `ptrs` holds one pointer per
// parameter (null for an omitted one; E_POINTER when that one is not
// optional), then the result pointer.  S_OK; the member's error as
// automation::kDispEException with `excep` filled (its source may be
// empty: the caller names the class); E_POINTER, E_OUTOFMEMORY, or a
// VARIANT's read status.  What a member wrote back before it raised its
// error stays written.
// Made part of each caller (a function-table entry, IDispatch::Invoke's
// direct call of the row), which saves a call on every one.
template <auto Fn, std::size_t... I>
[[gnu::always_inline]] inline HRESULT CallMember(void* instance, void* const* ptrs, const ParamInfo* params, std::string* texts,
                   automation::ExceptionInfo& excep, bool replace_values, std::index_sequence<I...>) {
  using Sig = MemberSignature<decltype(Fn)>;
  using R = typename Sig::Result;
  using Params = typename Sig::Params;
  constexpr std::size_t kCount = sizeof...(I);
  void* const out = ptrs[kCount];
  if constexpr (!std::is_void_v<R>) {
    if (out == nullptr) return E_POINTER;
    ClearResult<R>(out);
  }
  if (((ptrs[I] == nullptr && !params[I].optional) || ...)) return E_POINTER;
  try {
    std::tuple<ParamHolder<std::tuple_element_t<I, Params>>...> held;
    HRESULT hr = S_OK;
    ((hr = hr == S_OK ? std::get<I>(held).Read(ptrs[I], texts[I]) : hr), ...);
    if (hr != S_OK) return hr;
    auto& object = *static_cast<typename Sig::Class*>(instance);
    bool raised = false;
    HRESULT stored = S_OK;
    try {
      // The result goes into the caller's pointer straight from the call.
      if constexpr (std::is_void_v<R>)
        (object.*Fn)(std::get<I>(held).Get()...);
      else
        stored = StoreResult((object.*Fn)(std::get<I>(held).Get()...), out);
    } catch (Error& e) {
      excep = automation::ExceptionInfo{e.Status(), e.Source(), e.Description()};
      raised = true;
    }
    // A Variant& parameter the member changed goes back to the caller.
    auto hand_back = [&](auto& holder, void* p) {
      using H = std::remove_reference_t<decltype(holder)>;
      if constexpr (H::kType == ValueType::Variant) {
        if (p == nullptr) return S_OK;
        Variant before;
        if (ReadVariant(*static_cast<VARIANT*>(p), before) == S_OK && SameValue(before, holder.value)) return S_OK;
        return HandBack(*static_cast<VARIANT*>(p), holder.value, replace_values);
      }
      return S_OK;
    };
    (void)hand_back;
    ((hr = hr == S_OK && std::is_same_v<std::tuple_element_t<I, Params>, Variant&>
               ? hand_back(std::get<I>(held), ptrs[I])
               : hr),
     ...);
    if (hr != S_OK) {
      if constexpr (!std::is_void_v<R>) {
        if (!raised && stored == S_OK) ReleaseResult<R>(out);
      }
      return hr;
    }
    if (raised) return automation::kDispEException;
    return stored;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The pointer a direct call takes for an IDispatch argument when it
// already has the type of a parameter of C++ type T: its storage within the
// VARIANT or the storage it refers to; for a Variant parameter the VARIANT
// itself, when it is of a kind read without a conversion.  Null when the
// argument needs the converting path.
template <class T>
[[gnu::always_inline]] inline void* ArgumentPointer(VARIANT& arg) {
  constexpr ValueType kType = ValueTypeOf<T>();
  if constexpr (kType == ValueType::String) {
    if (arg.vt == VT_BSTR) return &arg.bstrVal;
    return arg.vt == (VT_BSTR | VT_BYREF) ? arg.pbstrVal : nullptr;
  } else if constexpr (kType == ValueType::Integer) {
    if (arg.vt == VT_I2) return &arg.iVal;
    return arg.vt == (VT_I2 | VT_BYREF) ? arg.piVal : nullptr;
  } else if constexpr (kType == ValueType::Boolean) {
    if (arg.vt == VT_BOOL) return &arg.boolVal;
    return arg.vt == (VT_BOOL | VT_BYREF) ? arg.pboolVal : nullptr;
  } else {
    const bool byref = (arg.vt & VT_BYREF) != 0;
    if (byref && arg.byref == nullptr) return nullptr;
    switch (arg.vt & ~VT_BYREF) {
      case VT_EMPTY:
      case VT_NULL:
        if (byref) return nullptr;
        [[fallthrough]];
      case VT_I2:
      case VT_I4:
      case VT_R4:
      case VT_R8:
      case VT_DATE:
      case VT_BSTR:
      case VT_ERROR:
      case VT_BOOL: return &arg;
      default: return nullptr;
    }
  }
}

// Where a result of C++ type R goes in IDispatch's result VARIANT, and the
// kind that VARIANT takes once the call succeeded (a Variant result makes
// the whole VARIANT).
template <class R>
[[gnu::always_inline]] inline void* ResultPointer(VARIANT& result) {
  constexpr ValueType kType = ValueTypeOf<R>();
  if constexpr (kType == ValueType::String) return &result.bstrVal;
  if constexpr (kType == ValueType::Integer) return &result.iVal;
  if constexpr (kType == ValueType::Boolean) return &result.boolVal;
  return &result;
}
template <class R>
constexpr VARTYPE kResultKind = ValueTypeOf<R>() == ValueType::String    ? VARTYPE{VT_BSTR}
                                : ValueTypeOf<R>() == ValueType::Integer ? VARTYPE{VT_I2}
                                : ValueTypeOf<R>() == ValueType::Boolean ? VARTYPE{VT_BOOL}
                                                                         : VARTYPE{VT_EMPTY};

// IDispatch::Invoke of member Fn by its direct call (MemberInfo::dispatch):
// arguments come last first; an optional parameter may be left off only at
// the end.  kNeedsConversion, with nothing done, when an argument is not of
// its parameter's declared type or one too many is given.
template <auto Fn, const auto& Params, std::size_t... I>
[[gnu::always_inline]] inline std::int32_t DispatchMember(DualObject& self, DISPPARAMS& dp, VARIANT& result,
                                                          automation::ExceptionInfo& excep,
                                                          std::index_sequence<I...> seq) {
  using Sig = MemberSignature<decltype(Fn)>;
  using R = typename Sig::Result;
  constexpr std::size_t kCount = sizeof...(I);
  const std::size_t count = dp.cArgs;
  if (count > kCount) return kNeedsConversion;
  void* ptrs[kCount + 1];
  const bool direct =
      ((I < count ? (ptrs[I] = ArgumentPointer<std::tuple_element_t<I, typename Sig::Params>>(
                         dp.rgvarg[count - 1 - I])) != nullptr
                  : (ptrs[I] = nullptr, Params[I].optional)) &&
       ...);
  if (!direct) return kNeedsConversion;
  ptrs[kCount] = ResultPointer<R>(result);
  const std::int32_t hr = CallMember<Fn>(self.instance, ptrs, Params.data(), self.texts, excep, false, seq);
  if constexpr (kResultKind<R> != VT_EMPTY) {
    if (hr == S_OK) result.vt = kResultKind<R>;
  }
  return hr;
}

template <auto Fn, const auto& Params>
std::int32_t DispatchCall(void* object, void* params, void* result, automation::ExceptionInfo& excep) {
  constexpr std::size_t kCount = std::tuple_size_v<typename MemberSignature<decltype(Fn)>::Params>;
  return DispatchMember<Fn, Params>(*static_cast<DualObject*>(object), *static_cast<DISPPARAMS*>(params),
                                    *static_cast<VARIANT*>(result), excep, std::make_index_sequence<kCount>());
}

// The member's function-table entry: IDispatch* first, then one pointer
// per parameter and the result pointer.  A member's error becomes the
// thread's error information and its status the entry's result.
std::int32_t FinishEntry(DualObject& self, std::int32_t hr, automation::ExceptionInfo& excep);

template <auto Fn, const auto& Params, class Seq>
struct TableEntry;
template <auto Fn, const auto& Params, std::size_t... I>
struct TableEntry<Fn, Params, std::index_sequence<I...>> {
  template <std::size_t>
  using Ptr = void*;
  static HRESULT Call(IDispatch* This, Ptr<I>... p) {
    void* const ptrs[sizeof...(I) + 1] = {p..., nullptr};
    DualObject& self = *DualObject::From(This);
    automation::ExceptionInfo excep;
    constexpr std::size_t kCount = std::tuple_size_v<typename MemberSignature<decltype(Fn)>::Params>;
    const std::int32_t hr =
        CallMember<Fn>(self.instance, ptrs, Params.data(), self.texts, excep, true, std::make_index_sequence<kCount>());
    return hr == automation::kDispEException ? FinishEntry(self, hr, excep) : hr;
  }
};

template <auto Fn, const auto& Params>
Slot TableEntryOf() {
  using Sig = MemberSignature<decltype(Fn)>;
  constexpr std::size_t kPointers =
      std::tuple_size_v<typename Sig::Params> + (std::is_void_v<typename Sig::Result> ? 0 : 1);
  return reinterpret_cast<Slot>(&TableEntry<Fn, Params, std::make_index_sequence<kPointers>>::Call);
}

}  // namespace halvane::com
