// Variant: the tagged automation value, and the operations on it that the
// components and the hosts use (conversions, concatenation, truth test,
// arithmetic, comparisons, Len/Mid/Hex).  Number text is in
// core/number_text.h, dates in core/dates.h and core/date_text.h.
//
// Text conversions follow fixed English (United States) conventions: decimal
// point ".", dates month/day/year with "/", Boolean texts "True"/"False".
// Operations raise halvane::Error with number 6, 13 or 94 and an empty
// source; the member that called them adds its own source (WithSource).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/error.h"

namespace halvane {

// Automation type tags.
enum class VarType : std::uint16_t {
  Empty = 0,
  Null = 1,
  Integer = 2,
  Long = 3,
  Single = 4,
  Double = 5,
  Date = 7,
  String = 8,
  Error = 10,
  Boolean = 11,
};
inline constexpr std::uint16_t kVarByRef = 0x4000;

// The status an omitted argument carries (DISP_E_PARAMNOTFOUND).
inline constexpr std::int32_t kStatusParamNotFound = static_cast<std::int32_t>(0x80020004u);

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(std::int16_t v) : type_(VarType::Integer), num_(v) {}
  Variant(std::int32_t v) : type_(VarType::Long), num_(v) {}
  Variant(float v) : type_(VarType::Single), dbl_(v) {}
  Variant(double v) : type_(VarType::Double), dbl_(v) {}
  Variant(bool v) : type_(VarType::Boolean), num_(v ? -1 : 0) {}
  Variant(const char* v) : type_(VarType::String), str_(v) {}
  Variant(std::string v) : type_(VarType::String), str_(std::move(v)) {}
  Variant(std::string_view v) : type_(VarType::String), str_(v) {}

  static Variant Empty() { return Variant(); }
  static Variant Null() {
    Variant v;
    v.type_ = VarType::Null;
    return v;
  }
  static Variant Integer(std::int16_t v) { return Variant(v); }
  static Variant Long(std::int32_t v) { return Variant(v); }
  static Variant Single(float v) { return Variant(v); }
  static Variant Double(double v) { return Variant(v); }
  static Variant Date(double day_number) {
    Variant v(day_number);
    v.type_ = VarType::Date;
    return v;
  }
  static Variant String(std::string s) { return Variant(std::move(s)); }
  static Variant Boolean(bool b) { return Variant(b); }
  static Variant ErrorCode(std::int32_t scode) {
    Variant v;
    v.type_ = VarType::Error;
    v.num_ = scode;
    return v;
  }
  // The value an omitted argument is: an Error holding DISP_E_PARAMNOTFOUND.
  static Variant Missing() { return ErrorCode(kStatusParamNotFound); }
  // A by-reference Variant referring to `target`, which must outlive it.
  static Variant Ref(Variant& target);

  // The kind of the value itself (a reference reports the referenced kind).
  VarType Type() const { return Deref().type_; }
  // The automation tag: kVarByRef + kind for a reference.
  std::uint16_t Tag() const;
  bool IsByRef() const { return ref_ != nullptr; }
  // The referenced value for a reference (followed to the end), else *this.
  const Variant& Deref() const;
  Variant& Deref();
  // A copy of the value with every reference resolved.
  Variant Value() const { return Deref(); }

  // Stores `v` where this Variant lives: through a reference into the
  // caller's value, otherwise into this Variant itself.
  void Assign(Variant v);

  bool IsEmpty() const { return Type() == VarType::Empty; }
  bool IsNullValue() const { return Type() == VarType::Null; }
  bool IsMissing() const;

  // Raw payload access (no conversion; valid only for the matching kind).
  std::int32_t RawInt() const { return Deref().num_; }           // Integer, Long, Boolean, Error
  double RawDouble() const { return Deref().dbl_; }              // Single, Double, Date
  const std::string& RawString() const { return Deref().str_; }  // String

 private:
  VarType type_ = VarType::Empty;
  std::int32_t num_ = 0;
  double dbl_ = 0.0;
  std::string str_;
  Variant* ref_ = nullptr;
};

// ---- conversions ---------------------------------------------------------

std::string ToString(const Variant& v);    // Null: 94, Error: 13
std::int32_t ToLong(const Variant& v);     // banker's rounding; 6/13/94
std::int16_t ToInteger(const Variant& v);  // banker's rounding; 6/13/94
bool ToBoolean(const Variant& v);          // "True"/"False" texts; 13/94
double ToDouble(const Variant& v);         // 6/13/94
float ToSingle(const Variant& v);          // 6/13/94
double ToDate(const Variant& v);           // a day number; 13/94
// Truth test of an if-statement: as ToBoolean, but Null is false.
bool TruthTest(const Variant& v);

// Variant concatenation (&): Null counts as "", Null & Null is Null.
Variant Concat(const Variant& a, const Variant& b);
// The text a value gives when it is concatenated into output (Concat onto a
// String): Strings unchanged, numbers as their text, Null and Empty as
// nothing; an Error value (an omitted argument) raises type mismatch.  A
// String is viewed where it is, without a copy; only a converted value is
// held here, so the SpliceText must not outlive the Variant it views.
class SpliceText {
 public:
  explicit SpliceText(const Variant& value) {
    if (value.Type() == VarType::String) {
      view_ = value.RawString();
    } else {
      owned_ = ToString(Concat(Variant(std::string_view()), value));
      view_ = owned_;
    }
  }
  SpliceText(const SpliceText&) = delete;
  SpliceText& operator=(const SpliceText&) = delete;

  std::string_view view() const { return view_; }
  operator std::string_view() const { return view_; }
  std::size_t size() const { return view_.size(); }

 private:
  std::string owned_;
  std::string_view view_;
};

// Immediate if: both values already evaluated by the caller.
inline Variant IIf(const Variant& cond, const Variant& if_true, const Variant& if_false) {
  return TruthTest(cond) ? if_true.Value() : if_false.Value();
}
inline bool IsNull(const Variant& v) { return v.IsNullValue(); }
// The one-character String of code 0..255 (128..255 are U+0080..U+00FF).
Variant Chr(std::int32_t code);

// "Empty", "Null", "Integer", ... as a script host names the kinds.
std::string_view TypeName(const Variant& v);

// ---- checked whole-number arithmetic ----------------------------------------

// Checked whole-number arithmetic: out of range raises error 6.
std::int16_t AddInteger(std::int16_t a, std::int16_t b);
std::int16_t SubInteger(std::int16_t a, std::int16_t b);
std::int16_t MulInteger(std::int16_t a, std::int16_t b);
std::int32_t AddLong(std::int32_t a, std::int32_t b);
std::int32_t SubLong(std::int32_t a, std::int32_t b);
std::int32_t MulLong(std::int32_t a, std::int32_t b);

// ---- Variant arithmetic and comparison --------------------------------------

// Variant + and -: a String operand is read as a number (Double result);
// Integer results widen to Long and Long to Double instead of overflowing;
// Null gives Null; "+" of two Strings concatenates them.
Variant Add(const Variant& a, const Variant& b);
Variant Subtract(const Variant& a, const Variant& b);
// Unary minus.
Variant Negate(const Variant& a);
// -1, 0, 1; nullopt when either side is Null.  Numbers compare numerically,
// Strings by code unit, and a number is less than a String.
std::optional<int> Compare(const Variant& a, const Variant& b);

// ---- string functions ----------------------------------------------------------

Variant Len(const Variant& v);  // Long (UTF-16 code units), or Null
// 1-based start; at most `length` characters; a start beyond the end gives "".
// A start below 1 or a negative length raises error 5 ("Invalid procedure
// call or argument").
Variant Mid(const Variant& v, std::int32_t start, std::int32_t length);
// Upper-case hexadecimal; negatives in two's complement of their width (four
// digits for Integer and Boolean, eight otherwise).  Null gives Null.
Variant Hex(const Variant& v);

}  // namespace halvane
