// Rows of the class table made from the C++ members themselves: a row
// names its member function, and the parameter and result types, the
// Variant invoker, the IDispatch call and the function-table entry all come
// from that member's signature.  A row gives only what the signature
// cannot say: the name, the DISPID and the parameters' names ("[Name]"
// for an optional one).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "core/variant.h"
#include "server/class_table.h"
#include "server/com_member_call.h"

namespace halvane::rows {

using com::MemberSignature;
using com::ValueTypeOf;

// A parameter's name as a template argument.
template <std::size_t N>
struct Name {
  char text[N]{};
  constexpr Name(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
  }
  constexpr bool Optional() const { return N > 2 && text[0] == '[' && text[N - 2] == ']'; }
  constexpr std::string_view View() const {
    return Optional() ? std::string_view(text + 1, N - 3) : std::string_view(text, N - 1);
  }
};

template <auto Fn>
using Sig = MemberSignature<decltype(Fn)>;
template <auto Fn>
inline constexpr std::size_t kArity = std::tuple_size_v<typename Sig<Fn>::Params>;
template <auto Fn, std::size_t I>
using ParamType = std::tuple_element_t<I, typename Sig<Fn>::Params>;

template <auto Fn, Name... P, std::size_t... I>
constexpr std::array<ParamInfo, sizeof...(P)> MakeParams(std::index_sequence<I...>) {
  return {ParamInfo{P.View(), ValueTypeOf<ParamType<Fn, I>>(), P.Optional()}...};
}

// The parameter descriptions of a row, one name per C++ parameter.
template <auto Fn, Name... P>
inline constexpr std::array<ParamInfo, sizeof...(P)> kParams =
    MakeParams<Fn, P...>(std::make_index_sequence<sizeof...(P)>());

// A converted argument (a String, Integer or Boolean Variant of exactly
// that kind, or the caller's value for a Variant) as the C++ parameter.
template <class T>
decltype(auto) Arg(Variant& v) {
  constexpr ValueType kType = ValueTypeOf<T>();
  if constexpr (kType == ValueType::String)
    return static_cast<const std::string&>(v.RawString());
  else if constexpr (kType == ValueType::Integer)
    return static_cast<std::int16_t>(v.RawInt());
  else if constexpr (kType == ValueType::Boolean)
    return v.RawInt() != 0;
  else
    return static_cast<Variant&>(v);
}

template <auto Fn, std::size_t... I>
Variant Invoke(void* object, std::span<Variant> args, std::index_sequence<I...>) {
  auto& self = *static_cast<typename Sig<Fn>::Class*>(object);
  if constexpr (std::is_void_v<typename Sig<Fn>::Result>) {
    (self.*Fn)(Arg<ParamType<Fn, I>>(args[I])...);
    return {};
  } else {
    return Variant((self.*Fn)(Arg<ParamType<Fn, I>>(args[I])...));
  }
}

template <auto Fn>
Variant InvokeOf(void* object, std::span<Variant> args) {
  return Invoke<Fn>(object, args, std::make_index_sequence<kArity<Fn>>());
}

template <auto Fn, Name... P>
constexpr MemberInfo Row(std::string_view name, MemberKind kind, std::int32_t dispid) {
  static_assert(sizeof...(P) == kArity<Fn>, "a row names every parameter of its member");
  static_assert(kArity<Fn> <= kMaxParams, "a member takes at most kMaxParams parameters");
  return MemberInfo{name,
                    kind,
                    dispid,
                    kParams<Fn, P...>,
                    ValueTypeOf<typename Sig<Fn>::Result>(),
                    &InvokeOf<Fn>,
                    &com::DispatchCall<Fn, kParams<Fn, P...>>,
                    &com::TableEntryOf<Fn, kParams<Fn, P...>>};
}

// A method, a property's get and a property's let.
template <auto Fn, Name... P>
constexpr MemberInfo Method(std::string_view name, std::int32_t dispid) {
  return Row<Fn, P...>(name, MemberKind::Method, dispid);
}
template <auto Fn>
constexpr MemberInfo Get(std::string_view name, std::int32_t dispid) {
  static_assert(kArity<Fn> == 0 && !std::is_void_v<typename Sig<Fn>::Result>, "a get takes nothing and gives a value");
  return Row<Fn>(name, MemberKind::PropertyGet, dispid);
}
template <auto Fn, Name P>
constexpr MemberInfo Let(std::string_view name, std::int32_t dispid) {
  static_assert(kArity<Fn> == 1 && std::is_void_v<typename Sig<Fn>::Result>, "a let takes the value and gives none");
  return Row<Fn, P>(name, MemberKind::PropertyLet, dispid);
}

// Picks one of a property's overloads: its get (no parameter, const) or
// its let (one parameter, no result); Overload<Class, Signature> picks by
// type.
template <class C, class R>
consteval auto Reader(R (C::*f)() const) {
  return f;
}
template <class C, class A>
consteval auto Writer(void (C::*f)(A)) {
  return f;
}
template <class C, class F>
consteval auto Overload(F C::*f) {
  return f;
}

}  // namespace halvane::rows
