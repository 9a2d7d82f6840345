// The built-in functions of the page language: one table of every function
// a page may call, with the argument counts the parser checks and what runs
// it.  The parser resolves a name to its row once; the interpreter calls the
// row it was given.
//
// Most functions take and give plain values (conversions, tests, text,
// numbers and dates): their row holds `call`.  The interpreter evaluates the
// arguments, checks that none is an array or an object and calls it with the
// plain values; an omitted trailing optional argument is simply not in the
// span.  Each function applies the page-language argument rules itself:
// Null in a value argument gives Null, Null in a whole-number argument gives
// 94, a value the function cannot use gives 5, and so on.  Errors are thrown
// as halvane::Error with an empty source; the interpreter adds its own.
//
// The functions that take or give arrays or objects (TypeName, VarType,
// IsArray, IsObject, CreateObject, Array, UBound, LBound, Join, Split) have
// no `call`: their row names the interpreter's own routine (`Special`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/strings.h"
#include "core/variant.h"

namespace halvane::script::functions {

// What a call may depend on besides its arguments.
struct Context {
  // The longest String that Space, String and Replace may build (error 14).
  std::size_t max_string = std::size_t{64} << 20;
  // Called between the slices of a long call (texts of more than a slice,
  // many parts); it throws to stop the call when the page's time is up.
  strings::Poll poll;
  void Poll() const { poll(); }
};

// The functions the interpreter runs itself, on arrays and objects.
enum class Special : std::uint8_t {
  None,      // `call` runs it
  Test,      // IsNull, IsEmpty, IsNumeric, IsDate: `call` runs it; an array or object gives False
  TypeName,
  VarType,
  IsArray,
  IsObject,
  CreateObject,
  Array,
  UBound,
  LBound,
  Join,
  Split,
};

struct Function {
  std::string_view name;  // as written in documentation, e.g. "InStrRev"
  int min_args;
  int max_args;  // -1: any number (Array)
  Variant (*call)(std::span<const Variant> args, const Context& ctx);
  Special special = Special::None;
};

// The most arguments a function with a fixed count takes.
inline constexpr int kMostArgs = 6;

// The function of that name (any letter case); nullptr if there is none.
const Function* Find(std::string_view name);

// Every function of the table, in alphabetical order of name.
std::span<const Function> All();

}  // namespace halvane::script::functions
