// The value-level built-in functions of the page language: every function
// whose arguments and result are plain values (conversions, tests, text,
// numbers and dates).  Functions that take or give arrays or objects
// (TypeName, VarType, IsArray, IsObject, Split, Join, Array, UBound, LBound,
// CreateObject) belong to the interpreter; it wraps the text helpers of
// core/strings.h for Split and Join.
//
// The interpreter evaluates the arguments, checks that none is an array or
// an object, checks the argument count against min_args..max_args (a count
// outside it is a syntax error of the page) and calls `call` with the plain
// values.  An omitted trailing optional argument is simply not in the span.
// Each function applies the page-language argument rules itself: Null in a
// value argument gives Null, Null in a whole-number argument gives 94, a
// value the function cannot use gives 5, and so on.  Errors are thrown as
// halvane::Error with an empty source; the interpreter adds its own.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "core/variant.h"

namespace halvane::script::functions {

// What a call may depend on besides its arguments.
struct Context {
  // The longest String that Space, String and Replace may build (error 14).
  std::size_t max_string = std::size_t{64} << 20;
};

struct Function {
  std::string_view name;  // as written in documentation, e.g. "InStrRev"
  int min_args;
  int max_args;
  Variant (*call)(std::span<const Variant> args, const Context& ctx);
};

// The function of that name (any letter case); nullptr if there is none.
const Function* Find(std::string_view name);

// Every function of the table, in alphabetical order of name.
std::span<const Function> All();

}  // namespace halvane::script::functions
