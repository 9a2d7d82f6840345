#include "core/variant.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/date_text.h"
#include "core/dates.h"
#include "core/number_text.h"
#include "core/strings.h"
#include "core/text.h"
#include "core/utf.h"

namespace halvane {
namespace {

[[noreturn]] void Overflow() { RaiseStandard(kErrOverflow); }
[[noreturn]] void TypeMismatch() { RaiseStandard(kErrTypeMismatch); }
[[noreturn]] void InvalidNull() { RaiseStandard(kErrInvalidUseOfNull); }
[[noreturn]] void InvalidCall() { RaiseStandard(kErrInvalidCall); }

using text::EqualNoCase;

// The numeric value of a Variant for a conversion: Empty is 0, Booleans are
// -1/0, Strings are read as numbers.
double NumberOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty: return 0.0;
    case VarType::Null: InvalidNull();
    case VarType::Integer:
    case VarType::Long:
    case VarType::Boolean: return v.RawInt();
    case VarType::Single:
    case VarType::Double:
    case VarType::Date: return v.RawDouble();
    case VarType::String: {
      NumberReading r = ReadNumber(v.RawString());
      if (r.status == NumberReading::Status::NotANumber) TypeMismatch();
      if (r.status == NumberReading::Status::Overflow) Overflow();
      return r.value;
    }
    case VarType::Error: TypeMismatch();
  }
  TypeMismatch();
}

std::string_view ToText(VarType t) {
  switch (t) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::Integer: return "Integer";
    case VarType::Long: return "Long";
    case VarType::Single: return "Single";
    case VarType::Double: return "Double";
    case VarType::Date: return "Date";
    case VarType::String: return "String";
    case VarType::Error: return "Error";
    case VarType::Boolean: return "Boolean";
  }
  return "Unknown";
}

// Rank of a numeric kind in Variant arithmetic.
int Rank(VarType t) {
  switch (t) {
    case VarType::Empty:
    case VarType::Boolean:
    case VarType::Integer: return 1;
    case VarType::Long: return 2;
    case VarType::Single: return 3;
    default: return 4;
  }
}

// Arithmetic of two numeric (non-String) values; sign is +1 or -1.
Variant NumericAddSub(const Variant& a, const Variant& b, int sign) {
  const VarType ta = a.Type();
  const VarType tb = b.Type();
  if (ta == VarType::Date || tb == VarType::Date) {
    const double r = NumberOf(a) + sign * NumberOf(b);
    if (ta == VarType::Date && tb == VarType::Date && sign < 0) return Variant(r);
    if (!InDateRange(r)) Overflow();
    return Variant::Date(r);
  }
  const int rank = std::max(Rank(ta), Rank(tb));
  if (rank == 1) {
    const std::int32_t r = a.RawInt() + sign * b.RawInt();
    if (ta == VarType::Empty && tb == VarType::Empty) return Variant(static_cast<std::int16_t>(0));
    if (r >= -32768 && r <= 32767) return Variant(static_cast<std::int16_t>(r));
    return Variant(r);
  }
  if (rank == 2) {
    const std::int64_t r = static_cast<std::int64_t>(a.RawInt()) + sign * static_cast<std::int64_t>(b.RawInt());
    if (r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max())
      return Variant(static_cast<std::int32_t>(r));
    return Variant(static_cast<double>(r));
  }
  const double r = NumberOf(a) + sign * NumberOf(b);
  const bool single = (ta == VarType::Single || tb == VarType::Single) && Rank(ta) != 2 && Rank(tb) != 2 &&
                      ta != VarType::Double && tb != VarType::Double;
  if (single && std::fabs(r) <= FLT_MAX) return Variant(static_cast<float>(r));
  if (std::isinf(r)) Overflow();
  return Variant(r);
}

}  // namespace

// ---- Variant ---------------------------------------------------------------

Variant Variant::Ref(Variant& target) {
  Variant v;
  v.ref_ = &target;
  return v;
}

const Variant& Variant::Deref() const {
  const Variant* p = this;
  while (p->ref_ != nullptr) p = p->ref_;
  return *p;
}

Variant& Variant::Deref() {
  Variant* p = this;
  while (p->ref_ != nullptr) p = p->ref_;
  return *p;
}

std::uint16_t Variant::Tag() const {
  const auto t = static_cast<std::uint16_t>(Type());
  return IsByRef() ? static_cast<std::uint16_t>(kVarByRef | t) : t;
}

void Variant::Assign(Variant v) {
  Variant resolved = v.Value();
  Deref() = std::move(resolved);
}

bool Variant::IsMissing() const {
  const Variant& d = Deref();
  return d.type_ == VarType::Error && d.num_ == kStatusParamNotFound;
}

// ---- conversions -------------------------------------------------------------

std::string ToString(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty: return std::string();
    case VarType::Null: InvalidNull();
    case VarType::Integer:
    case VarType::Long: return text::Decimal(v.RawInt());
    case VarType::Single: return SingleToText(static_cast<float>(v.RawDouble()));
    case VarType::Double: return DoubleToText(v.RawDouble());
    case VarType::Date: return DateToText(v.RawDouble());
    case VarType::String: return v.RawString();
    case VarType::Boolean: return v.RawInt() != 0 ? "True" : "False";
    case VarType::Error: TypeMismatch();
  }
  TypeMismatch();
}

std::int32_t ToLong(const Variant& v) {
  const VarType t = v.Type();
  if (t == VarType::Integer || t == VarType::Long || t == VarType::Boolean) return v.RawInt();
  const double r = RoundHalfEven(NumberOf(v));
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) Overflow();
  return static_cast<std::int32_t>(r);
}

std::int16_t ToInteger(const Variant& v) {
  const VarType t = v.Type();
  double r;
  if (t == VarType::Integer || t == VarType::Long || t == VarType::Boolean) {
    r = v.RawInt();
  } else {
    r = RoundHalfEven(NumberOf(v));
  }
  if (!(r >= -32768.0 && r <= 32767.0)) Overflow();
  return static_cast<std::int16_t>(r);
}

bool ToBoolean(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty: return false;
    case VarType::Null: InvalidNull();
    case VarType::Integer:
    case VarType::Long:
    case VarType::Boolean: return v.RawInt() != 0;
    case VarType::Single:
    case VarType::Double:
    case VarType::Date: return v.RawDouble() != 0.0;
    case VarType::String: {
      const std::string_view s = text::Trim(v.RawString());
      if (EqualNoCase(s, "true")) return true;
      if (EqualNoCase(s, "false")) return false;
      NumberReading r = ReadNumber(s);
      if (r.status == NumberReading::Status::NotANumber) TypeMismatch();
      return r.status == NumberReading::Status::Overflow || r.value != 0.0;
    }
    case VarType::Error: TypeMismatch();
  }
  TypeMismatch();
}

double ToDouble(const Variant& v) {
  const double d = NumberOf(v);
  if (std::isinf(d)) Overflow();
  return d;
}

float ToSingle(const Variant& v) {
  const double d = NumberOf(v);
  if (!(std::fabs(d) <= FLT_MAX) && !std::isnan(d)) Overflow();
  return static_cast<float>(d);
}

double ToDate(const Variant& v) {
  switch (v.Type()) {
    case VarType::Date: return v.RawDouble();
    case VarType::Null: InvalidNull();
    case VarType::String: {
      if (auto d = ReadDate(v.RawString())) return *d;
      TypeMismatch();
    }
    case VarType::Error: TypeMismatch();
    default: {
      const double d = NumberOf(v);
      if (!InDateRange(d)) Overflow();
      return d;
    }
  }
}

bool TruthTest(const Variant& v) { return v.Type() == VarType::Null ? false : ToBoolean(v); }

Variant Concat(const Variant& a, const Variant& b) {
  const bool an = a.Type() == VarType::Null;
  const bool bn = b.Type() == VarType::Null;
  if (an && bn) return Variant::Null();
  std::string out = an ? std::string() : ToString(a);
  if (!bn) {
    if (b.Type() == VarType::String)
      out += b.RawString();
    else
      out += ToString(b);
  }
  return Variant(std::move(out));
}

Variant Chr(std::int32_t code) {
  if (code < 0 || code > 255) InvalidCall();
  std::string s;
  utf::AppendUtf8(s, static_cast<char32_t>(code));
  return Variant(std::move(s));
}

std::string_view TypeName(const Variant& v) { return ToText(v.Type()); }

// ---- checked whole-number arithmetic ------------------------------------------

std::int16_t AddInteger(std::int16_t a, std::int16_t b) {
  const int r = a + b;
  if (r < -32768 || r > 32767) Overflow();
  return static_cast<std::int16_t>(r);
}
std::int16_t SubInteger(std::int16_t a, std::int16_t b) {
  const int r = a - b;
  if (r < -32768 || r > 32767) Overflow();
  return static_cast<std::int16_t>(r);
}
std::int16_t MulInteger(std::int16_t a, std::int16_t b) {
  const int r = a * b;
  if (r < -32768 || r > 32767) Overflow();
  return static_cast<std::int16_t>(r);
}
std::int32_t AddLong(std::int32_t a, std::int32_t b) {
  std::int32_t r;
  if (__builtin_add_overflow(a, b, &r)) Overflow();
  return r;
}
std::int32_t SubLong(std::int32_t a, std::int32_t b) {
  std::int32_t r;
  if (__builtin_sub_overflow(a, b, &r)) Overflow();
  return r;
}
std::int32_t MulLong(std::int32_t a, std::int32_t b) {
  std::int32_t r;
  if (__builtin_mul_overflow(a, b, &r)) Overflow();
  return r;
}

// ---- Variant arithmetic and comparison -----------------------------------------

Variant Add(const Variant& a, const Variant& b) {
  const VarType ta = a.Type();
  const VarType tb = b.Type();
  if (ta == VarType::Error || tb == VarType::Error) TypeMismatch();
  if (ta == VarType::Null || tb == VarType::Null) return Variant::Null();
  if (ta == VarType::String && tb == VarType::String) return Variant(a.RawString() + b.RawString());
  if (ta == VarType::String && tb == VarType::Empty) return a.Value();
  if (tb == VarType::String && ta == VarType::Empty) return b.Value();
  if (ta == VarType::String || tb == VarType::String) {
    const double r = NumberOf(a) + NumberOf(b);
    if (ta == VarType::Date || tb == VarType::Date) {
      if (!InDateRange(r)) Overflow();
      return Variant::Date(r);
    }
    if (std::isinf(r)) Overflow();
    return Variant(r);
  }
  return NumericAddSub(a, b, +1);
}

Variant Subtract(const Variant& a, const Variant& b) {
  const VarType ta = a.Type();
  const VarType tb = b.Type();
  if (ta == VarType::Error || tb == VarType::Error) TypeMismatch();
  if (ta == VarType::Null || tb == VarType::Null) return Variant::Null();
  if (ta == VarType::String || tb == VarType::String) {
    const double r = NumberOf(a) - NumberOf(b);
    if (std::isinf(r)) Overflow();
    if ((ta == VarType::Date) != (tb == VarType::Date)) {
      if (!InDateRange(r)) Overflow();
      return Variant::Date(r);
    }
    return Variant(r);
  }
  return NumericAddSub(a, b, -1);
}

Variant Negate(const Variant& a) {
  switch (a.Type()) {
    case VarType::Empty: return Variant(static_cast<std::int16_t>(0));
    case VarType::Null: return Variant::Null();
    case VarType::Boolean:
    case VarType::Integer: {
      const int r = -a.RawInt();
      if (r > 32767) return Variant(static_cast<std::int32_t>(r));
      return Variant(static_cast<std::int16_t>(r));
    }
    case VarType::Long:
      if (a.RawInt() == std::numeric_limits<std::int32_t>::min()) return Variant(2147483648.0);
      return Variant(static_cast<std::int32_t>(-a.RawInt()));
    case VarType::Single: return Variant(static_cast<float>(-a.RawDouble()));
    case VarType::Double: return Variant(-a.RawDouble());
    case VarType::Date: {
      const double r = -a.RawDouble();
      if (!InDateRange(r)) Overflow();
      return Variant::Date(r);
    }
    case VarType::String: return Variant(-ToDouble(a));
    case VarType::Error: TypeMismatch();
  }
  TypeMismatch();
}

std::optional<int> Compare(const Variant& a, const Variant& b) {
  const VarType ta = a.Type();
  const VarType tb = b.Type();
  if (ta == VarType::Error || tb == VarType::Error) TypeMismatch();
  if (ta == VarType::Null || tb == VarType::Null) return std::nullopt;
  const bool sa = ta == VarType::String || (ta == VarType::Empty && tb == VarType::String);
  const bool sb = tb == VarType::String || (tb == VarType::Empty && ta == VarType::String);
  if (sa && sb) {
    const std::string_view x = ta == VarType::String ? std::string_view(a.RawString()) : std::string_view();
    const std::string_view y = tb == VarType::String ? std::string_view(b.RawString()) : std::string_view();
    const int c = x.compare(y);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (sa) return 1;  // a String is greater than any number
  if (sb) return -1;
  const double x = NumberOf(a);
  const double y = NumberOf(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

// ---- string functions ------------------------------------------------------------

Variant Len(const Variant& v) {
  if (v.Type() == VarType::Null) return Variant::Null();
  if (v.Type() == VarType::String) return Variant(static_cast<std::int32_t>(utf::Utf16Length(v.RawString())));
  return Variant(static_cast<std::int32_t>(utf::Utf16Length(ToString(v))));
}

Variant Mid(const Variant& v, std::int32_t start, std::int32_t length) {
  if (start < 1 || length < 0) InvalidCall();
  if (v.Type() == VarType::Null) return Variant::Null();
  return Variant(strings::Mid(ToString(v), start, length));
}

Variant Hex(const Variant& v) {
  const VarType t = v.Type();
  if (t == VarType::Null) return Variant::Null();
  std::uint32_t bits;
  if (t == VarType::Empty) {
    bits = 0;
  } else if (t == VarType::Integer || t == VarType::Boolean) {
    bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(v.RawInt()));
  } else {
    bits = static_cast<std::uint32_t>(ToLong(v));
  }
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof buf, bits, 16);
  std::string out(buf, res.ptr);
  for (char& c : out) c = text::UpperAscii(c);
  return Variant(std::move(out));
}

}  // namespace halvane
