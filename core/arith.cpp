#include "core/arith.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/dates.h"
#include "core/number_text.h"
#include "core/text.h"
#include "core/utf.h"

namespace halvane {
namespace {

// An operand of arithmetic made numeric: Integer, Long, Single, Double or
// Date, with the whole value in i (Integer, Long) or the number in d.
struct Num {
  VarType kind;
  std::int64_t i;
  double d;
  double value() const { return kind == VarType::Integer || kind == VarType::Long ? static_cast<double>(i) : d; }
};

// Error values first, then Null: true when the operation gives Null.
bool NullOperands(const Variant& a, const Variant& b) {
  if (a.Type() == VarType::Error || b.Type() == VarType::Error) RaiseStandard(kErrTypeMismatch);
  return a.Type() == VarType::Null || b.Type() == VarType::Null;
}

Num NumOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty: return {VarType::Integer, 0, 0.0};
    case VarType::Boolean:
    case VarType::Integer: return {VarType::Integer, v.RawInt(), 0.0};
    case VarType::Long: return {VarType::Long, v.RawInt(), 0.0};
    case VarType::Single: return {VarType::Single, 0, v.RawDouble()};
    case VarType::Double: return {VarType::Double, 0, v.RawDouble()};
    case VarType::Date: return {VarType::Date, 0, v.RawDouble()};
    case VarType::String: return {VarType::Double, 0, ToDouble(v)};
    default: RaiseStandard(kErrTypeMismatch);
  }
}

int Rank(VarType t) {
  switch (t) {
    case VarType::Integer: return 1;
    case VarType::Long: return 2;
    case VarType::Single: return 3;
    default: return 4;
  }
}

// A whole result in the smallest kind from `min_rank` (1 Integer, 2 Long)
// that holds it, else a Double.
Variant Whole(std::int64_t r, int min_rank) {
  if (min_rank <= 1 && r >= -32768 && r <= 32767) return Variant(static_cast<std::int16_t>(r));
  if (r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max())
    return Variant(static_cast<std::int32_t>(r));
  return Variant(static_cast<double>(r));
}

Variant FloatResult(double r, bool single) {
  if (single && std::fabs(r) <= FLT_MAX) return Variant(static_cast<float>(r));
  if (!std::isfinite(r)) RaiseStandard(kErrOverflow);
  return Variant(r);
}

bool WholeKind(VarType t) { return t == VarType::Integer || t == VarType::Boolean || t == VarType::Empty; }

// Both operands of \ and Mod made Long; `integer` tells whether the result
// is an Integer.
struct WholePair {
  std::int64_t a, b;
  bool integer;
};
WholePair MakeWhole(const Variant& a, const Variant& b) {
  WholePair p{ToLong(a), ToLong(b), WholeKind(a.Type()) && WholeKind(b.Type())};
  if (p.b == 0) RaiseStandard(kErrDivisionByZero);
  return p;
}

bool IsStringKind(VarType t) { return t == VarType::String; }

int Sign(int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); }

// Whole operands of the bitwise operators.
struct Bits {
  std::int32_t a, b;
  bool integer;
};
Bits BitsOf(const Variant& a, const Variant& b) {
  return {ToLong(a), ToLong(b), WholeKind(a.Type()) && WholeKind(b.Type())};
}
Variant BitsResult(std::int32_t r, bool integer) {
  if (integer) return Variant(static_cast<std::int16_t>(r));
  return Variant(r);
}

bool IsFalse(const Variant& v) { return v.Type() == VarType::Boolean && v.RawInt() == 0; }
bool IsTrue(const Variant& v) { return v.Type() == VarType::Boolean && v.RawInt() != 0; }

// A value as decimal digits: value = 0.digits x 10^point, negative when
// `negative`.  No digits means zero.
struct DecimalText {
  bool negative = false;
  std::string digits;
  int point = 0;
};

// The decimal text of d with at most `significant` digits, as CStr writes it.
DecimalText ToDecimalText(double d, int significant) {
  DecimalText t;
  if (d == 0.0 || !std::isfinite(d)) return t;
  t.negative = d < 0;
  int exponent = 0;
  SignificantDigits(std::fabs(d), significant, t.digits, exponent);
  t.point = exponent + 1;
  return t;
}

// Rounds to `decimals` digits after the point: a tie to the even neighbour
// (half_even) or away from zero.
void RoundDecimal(DecimalText& t, int decimals, bool half_even) {
  const long keep = static_cast<long>(t.point) + decimals;
  if (keep >= static_cast<long>(t.digits.size())) return;
  if (keep < 0) {
    t.digits.clear();
    return;
  }
  const auto k = static_cast<std::size_t>(keep);
  const char first = t.digits[k];
  const bool rest = t.digits.find_first_not_of('0', k + 1) != std::string::npos;
  bool up = first > '5' || (first == '5' && rest);
  if (first == '5' && !rest) {
    const bool odd = k > 0 && (t.digits[k - 1] - '0') % 2 == 1;
    up = !half_even || odd;
  }
  t.digits.resize(k);
  if (up) {
    std::size_t i = k;
    while (i > 0 && t.digits[i - 1] == '9') t.digits[--i] = '0';
    if (i == 0) {
      t.digits.insert(t.digits.begin(), '1');
      ++t.point;
    } else {
      ++t.digits[i - 1];
    }
  }
  while (!t.digits.empty() && t.digits.back() == '0') t.digits.pop_back();
}

double FromDecimalText(const DecimalText& t) {
  if (t.digits.empty()) return 0.0;
  std::string s = t.digits;
  s.push_back('e');
  text::AppendDecimal(s, t.point - static_cast<int>(t.digits.size()));
  double v = 0.0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return t.negative ? -v : v;
}

// The number that Round and FormatNumber work on, with its significant digits.
double RoundingValue(const Variant& x, int& significant) {
  significant = x.Type() == VarType::Single ? 7 : 15;
  switch (x.Type()) {
    case VarType::Empty: return 0.0;
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long: return x.RawInt();
    case VarType::Single:
    case VarType::Double:
    case VarType::Date: return x.RawDouble();
    default: return ToDouble(x);
  }
}

void CheckDate(double r) {
  if (!InDateRange(r)) RaiseStandard(kErrOverflow);
}

}  // namespace

Variant Plus(const Variant& a, const Variant& b, std::size_t max_string) {
  if (a.Type() == VarType::String && b.Type() == VarType::String &&
      a.RawString().size() + b.RawString().size() > max_string)
    RaiseStandard(kErrOutOfStringSpace);
  return Add(a, b);
}

Variant Multiply(const Variant& a, const Variant& b) {
  if (NullOperands(a, b)) return Variant::Null();
  const Num x = NumOf(a);
  const Num y = NumOf(b);
  const int rank = std::max(Rank(x.kind), Rank(y.kind));
  if (rank <= 2) return Whole(x.i * y.i, rank);  // |product| < 2^62
  const bool single = rank == 3 && x.kind != VarType::Long && y.kind != VarType::Long;
  return FloatResult(x.value() * y.value(), single);
}

Variant Divide(const Variant& a, const Variant& b) {
  if (NullOperands(a, b)) return Variant::Null();
  const Num x = NumOf(a);
  const Num y = NumOf(b);
  if (y.value() == 0.0) RaiseStandard(kErrDivisionByZero);
  return FloatResult(x.value() / y.value(), x.kind == VarType::Single && y.kind == VarType::Single);
}

Variant IntDivide(const Variant& a, const Variant& b) {
  if (NullOperands(a, b)) return Variant::Null();
  const WholePair p = MakeWhole(a, b);
  return Whole(p.a / p.b, p.integer ? 1 : 2);
}

Variant Modulo(const Variant& a, const Variant& b) {
  if (NullOperands(a, b)) return Variant::Null();
  const WholePair p = MakeWhole(a, b);
  return Whole(p.a % p.b, p.integer ? 1 : 2);
}

Variant Power(const Variant& a, const Variant& b) {
  if (NullOperands(a, b)) return Variant::Null();
  const double x = NumOf(a).value();
  const double y = NumOf(b).value();
  if (x < 0 && y != std::trunc(y)) RaiseStandard(kErrInvalidCall);
  if (x == 0 && y < 0) RaiseStandard(kErrInvalidCall);
  return FloatResult(std::pow(x, y), false);
}

std::optional<int> CompareValues(const Variant& a, const Variant& b) {
  if (NullOperands(a, b)) return std::nullopt;
  const VarType ta = a.Type();
  const VarType tb = b.Type();
  const bool sa = IsStringKind(ta);
  const bool sb = IsStringKind(tb);
  if (sa || sb) {
    if ((sa || ta == VarType::Empty) && (sb || tb == VarType::Empty)) {
      const std::string_view x = sa ? std::string_view(a.RawString()) : std::string_view();
      const std::string_view y = sb ? std::string_view(b.RawString()) : std::string_view();
      // UTF-8 byte order is code point order, which differs from UTF-16 unit
      // order only above U+D7FF; compare units when either text leaves ASCII.
      if (utf::IsAscii(x) && utf::IsAscii(y)) return Sign(x.compare(y));
      return Sign(utf::ToUtf16(x).compare(utf::ToUtf16(y)));
    }
    const VarType other = sa ? tb : ta;
    if (other == VarType::Boolean || other == VarType::Date) RaiseStandard(kErrTypeMismatch);
  }
  const double x = NumOf(a).value();
  const double y = NumOf(b).value();
  return x < y ? -1 : (x > y ? 1 : 0);
}

Variant Not(const Variant& a) {
  switch (a.Type()) {
    case VarType::Error: RaiseStandard(kErrTypeMismatch);
    case VarType::Null: return Variant::Null();
    case VarType::Boolean: return Variant(a.RawInt() == 0);
    default: return BitsResult(~ToLong(a), WholeKind(a.Type()));
  }
}

Variant And(const Variant& a, const Variant& b) {
  if (NullOperands(a, b)) {
    if (IsFalse(a) || IsFalse(b)) return Variant(false);
    return Variant::Null();
  }
  if (a.Type() == VarType::Boolean && b.Type() == VarType::Boolean) return Variant(IsTrue(a) && IsTrue(b));
  const Bits p = BitsOf(a, b);
  return BitsResult(p.a & p.b, p.integer);
}

Variant Or(const Variant& a, const Variant& b) {
  if (NullOperands(a, b)) {
    if (IsTrue(a) || IsTrue(b)) return Variant(true);
    return Variant::Null();
  }
  if (a.Type() == VarType::Boolean && b.Type() == VarType::Boolean) return Variant(IsTrue(a) || IsTrue(b));
  const Bits p = BitsOf(a, b);
  return BitsResult(p.a | p.b, p.integer);
}

Variant Xor(const Variant& a, const Variant& b) {
  if (NullOperands(a, b)) return Variant::Null();
  if (a.Type() == VarType::Boolean && b.Type() == VarType::Boolean) return Variant(IsTrue(a) != IsTrue(b));
  const Bits p = BitsOf(a, b);
  return BitsResult(p.a ^ p.b, p.integer);
}

namespace {

// Applies f to the value of x, keeping its kind: whole kinds go through
// `whole` in 64 bits and move up when the result does not fit.
template <class Whole64, class Real>
Variant KeepKind(const Variant& x, Whole64 whole, Real real) {
  if (x.Type() == VarType::Null) return Variant::Null();
  const Num n = NumOf(x);
  switch (n.kind) {
    case VarType::Integer: return Whole(whole(n.i), 1);
    case VarType::Long: return Whole(whole(n.i), 2);
    case VarType::Single: return Variant(static_cast<float>(real(n.d)));
    case VarType::Date: {
      const double r = real(n.d);
      CheckDate(r);
      return Variant::Date(r);
    }
    default: return FloatResult(real(n.d), false);
  }
}

}  // namespace

Variant Abs(const Variant& x) {
  return KeepKind(
      x, [](std::int64_t i) { return i < 0 ? -i : i; }, [](double d) { return std::fabs(d); });
}

Variant Int(const Variant& x) {
  return KeepKind(
      x, [](std::int64_t i) { return i; }, [](double d) { return std::floor(d); });
}

Variant Fix(const Variant& x) {
  return KeepKind(
      x, [](std::int64_t i) { return i; }, [](double d) { return std::trunc(d); });
}

Variant Sgn(const Variant& x) {
  if (x.Type() == VarType::Null) return Variant::Null();
  const double d = NumOf(x).value();
  return Variant(static_cast<std::int16_t>(d < 0 ? -1 : (d > 0 ? 1 : 0)));
}

Variant Sqr(const Variant& x) {
  if (x.Type() == VarType::Null) return Variant::Null();
  const double d = NumOf(x).value();
  if (d < 0) RaiseStandard(kErrInvalidCall);
  return Variant(std::sqrt(d));
}

Variant Round(const Variant& x, std::int32_t digits) {
  if (digits < 0) RaiseStandard(kErrInvalidCall);
  if (x.Type() == VarType::Error) RaiseStandard(kErrTypeMismatch);
  if (x.Type() == VarType::Null) return Variant::Null();
  switch (x.Type()) {
    case VarType::Empty: return Variant(std::int16_t{0});
    case VarType::Boolean:
    case VarType::Integer: return Variant(static_cast<std::int16_t>(x.RawInt()));
    case VarType::Long: return x.Value();
    default: break;
  }
  int significant;
  const double d = RoundingValue(x, significant);
  DecimalText t = ToDecimalText(d, significant);
  RoundDecimal(t, digits > 400 ? 400 : digits, true);
  const double r = FromDecimalText(t);
  switch (x.Type()) {
    case VarType::Single: return Variant(static_cast<float>(r));
    case VarType::Date: CheckDate(r); return Variant::Date(r);
    default: return FloatResult(r, false);
  }
}

std::string FormatNumber(const Variant& x, std::int32_t digits) {
  if (digits < 0 || digits > 255) RaiseStandard(kErrInvalidCall);
  if (x.Type() == VarType::Null) RaiseStandard(kErrInvalidUseOfNull);
  int significant;
  const double d = RoundingValue(x, significant);
  if (!std::isfinite(d)) RaiseStandard(kErrOverflow);
  DecimalText t = ToDecimalText(d, significant);
  RoundDecimal(t, digits, false);
  std::string whole;
  for (int i = 0; i < t.point; ++i)
    whole.push_back(static_cast<std::size_t>(i) < t.digits.size() ? t.digits[static_cast<std::size_t>(i)] : '0');
  if (whole.empty()) whole.push_back('0');
  std::string out;
  if (t.negative && !t.digits.empty()) out.push_back('-');
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(whole[i]);
  }
  if (digits > 0) {
    out.push_back('.');
    for (int i = t.point; i < t.point + digits; ++i)
      out.push_back(i >= 0 && static_cast<std::size_t>(i) < t.digits.size() ? t.digits[static_cast<std::size_t>(i)]
                                                                            : '0');
  }
  return out;
}

}  // namespace halvane
