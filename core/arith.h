// Variant operators of the page language beyond + and - (core/variant.h):
// * / \ Mod ^, comparison, the logical operators, and the numeric functions
// Abs Sgn Int Fix Sqr Round FormatNumber.
//
// Operands: an Error value raises 13 (before anything else), Null gives Null;
// Empty counts as the Integer 0, a Boolean as the Integer -1 or 0, a String
// is read as a number and counts as a Double (13 when it is not one).  The
// numeric kinds rank Integer < Long < Single < Double; a result that does
// not fit its kind moves up (Integer to Long, Long to Double, Single to
// Double); a Double beyond its range raises 6.  Objects and arrays never get
// here: the script host checks them first.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "core/variant.h"

namespace halvane {

// The longest String the operators and string functions build by default
// (64 MiB of UTF-8 text); longer raises 14.
inline constexpr std::size_t kMaxStringBytes = std::size_t{64} << 20;

// a + b as Add does, but two Strings whose joined text would exceed
// `max_string` bytes raise 14.
Variant Plus(const Variant& a, const Variant& b, std::size_t max_string = kMaxStringBytes);

// a * b.  A Date counts as its day number.
Variant Multiply(const Variant& a, const Variant& b);
// a / b: a Double (two Singles give a Single); a zero divisor raises 11.
Variant Divide(const Variant& a, const Variant& b);
// a \ b and a Mod b: both made whole as ToLong does (6 beyond the Long
// range); an Integer when both were Integer, Boolean or Empty, else a Long;
// a zero divisor raises 11.  \ truncates toward zero; Mod takes the sign of
// the dividend.  -32768 \ -1 moves up to the Long 32768.
Variant IntDivide(const Variant& a, const Variant& b);
Variant Modulo(const Variant& a, const Variant& b);
// a ^ b: a Double; a negative base with a fractional exponent, or zero to a
// negative power, raises 5.
Variant Power(const Variant& a, const Variant& b);

// Comparison for = <> < > <= >=: -1, 0 or 1; nullopt when either side is
// Null.  Numbers (Empty, Boolean and Date included) compare numerically,
// Strings by UTF-16 code unit, Empty beside a String counts as "".  A String
// beside a number is read as a number (13 when it is not one); a String
// beside a Boolean or a Date raises 13.
std::optional<int> CompareValues(const Variant& a, const Variant& b);

// Not, And, Or, Xor.  Two Booleans (or a Boolean and Null) give a Boolean;
// other operands are made whole as ToLong does and combined bit by bit,
// giving an Integer when both were Integer, Boolean or Empty, else a Long.
// Null And False is False, Null Or True is True; any other Null gives Null.
Variant Not(const Variant& a);
Variant And(const Variant& a, const Variant& b);
Variant Or(const Variant& a, const Variant& b);
Variant Xor(const Variant& a, const Variant& b);

// Abs, Int (down), Fix (toward zero): the kind is kept and moves up on
// overflow (Abs of the Integer -32768 is the Long 32768); Empty and Boolean
// give an Integer, a String a Double, a Date stays a Date.
Variant Abs(const Variant& x);
Variant Int(const Variant& x);
Variant Fix(const Variant& x);
// The sign as an Integer -1, 0 or 1.
Variant Sgn(const Variant& x);
// The square root as a Double; a negative value raises 5.
Variant Sqr(const Variant& x);

// Round to `digits` decimals on the value's decimal text (15 significant
// digits, 7 for a Single), a tie going to the even neighbour: Round(2.5) is
// 2, Round(2.675, 2) is 2.68.  The kind is kept (Empty and Boolean give an
// Integer, a String a Double, a Date a Date); negative digits raise 5.
Variant Round(const Variant& x, std::int32_t digits = 0);
// Text with "," thousands groups, "." and `digits` decimals, a tie rounded
// away from zero, a leading zero before the point, "-" before a negative
// value (never before a value that shows as zero).  Negative digits, or more
// than 255, raise 5.
std::string FormatNumber(const Variant& x, std::int32_t digits = 2);

}  // namespace halvane
