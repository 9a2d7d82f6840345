// Shared by the automation tests: create an object and call a member by
// name, as a late-bound host does.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "server/automation.h"

namespace halvane::automation::testing {

struct CallResult {
  HResult hr = kOk;
  Variant value;
  ExceptionInfo excep;
  std::uint32_t arg_err = 0xFFFFFFFFu;
};

inline ObjectPtr Create(std::string_view id) {
  ObjectPtr p;
  EXPECT_EQ(CreateObject(id, p), kOk) << id;
  return p;
}

// Looks the name up and invokes it with `args` (which the call may change
// through references or write-back).
inline CallResult Call(Object& o, std::string_view name, InvokeKind kind, std::vector<Variant>& args) {
  CallResult r;
  std::int32_t id = -1;
  r.hr = o.GetIDOfName(name, id);
  if (r.hr != kOk) return r;
  r.value = Variant::String("not touched");
  r.hr = o.Invoke(id, kind, args, &r.value, &r.excep, &r.arg_err);
  return r;
}

inline CallResult Call(Object& o, std::string_view name, InvokeKind kind, std::initializer_list<Variant> list = {}) {
  std::vector<Variant> args(list);
  return Call(o, name, kind, args);
}

inline CallResult Method(Object& o, std::string_view name, std::initializer_list<Variant> list = {}) {
  return Call(o, name, InvokeKind::Method, list);
}
inline CallResult Get(Object& o, std::string_view name) { return Call(o, name, InvokeKind::PropertyGet); }
inline CallResult Let(Object& o, std::string_view name, Variant value) {
  return Call(o, name, InvokeKind::PropertyLet, {std::move(value)});
}

// The String a call returned; fails the test for anything else.
inline std::string Text(const CallResult& r) {
  EXPECT_EQ(r.hr, kOk);
  EXPECT_EQ(r.value.Type(), VarType::String);
  return r.value.Type() == VarType::String ? r.value.RawString() : std::string();
}

inline Variant Int16(int v) { return Variant::Integer(static_cast<std::int16_t>(v)); }

}  // namespace halvane::automation::testing
