#include "core/variant.h"

#include <cfloat>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>
#include <vector>

#include "core/number_text.h"
#include "core/text.h"
#include "core/utf.h"

namespace halvane {
namespace {

[[noreturn]] void Overflow() { RaiseStandard(kErrOverflow); }
[[noreturn]] void TypeMismatch() { RaiseStandard(kErrTypeMismatch); }
[[noreturn]] void InvalidNull() { RaiseStandard(kErrInvalidUseOfNull); }
[[noreturn]] void InvalidCall() { RaiseStandard(kErrInvalidCall); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

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

// ---- calendar arithmetic (proleptic Gregorian) -----------------------------

constexpr std::int64_t kEpochShift = 25569;  // days from 1899-12-30 to 1970-01-01

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(y + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Combines a day number and a time fraction the way automation dates do:
// before day 0 the fraction still counts forward from midnight.
double Combine(double day, double time) { return day >= 0 ? day + time : day - time; }

// ---- date reading ----------------------------------------------------------

struct Token {
  enum Kind { Num, Word, Sep } kind;
  std::string_view text;
  char sep;  // for Sep: '/', '-', '.', ':' or ' ' (blanks and commas)
};

bool Tokenize(std::string_view s, std::vector<Token>& out) {
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      std::size_t j = i;
      while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
      out.push_back({Token::Num, s.substr(i, j - i), 0});
      i = j;
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      std::size_t j = i;
      while (j < s.size() && ((s[j] >= 'a' && s[j] <= 'z') || (s[j] >= 'A' && s[j] <= 'Z'))) ++j;
      out.push_back({Token::Word, s.substr(i, j - i), 0});
      i = j;
    } else if (c == ' ' || c == '\t' || c == ',') {
      std::size_t j = i;
      while (j < s.size() && (s[j] == ' ' || s[j] == '\t' || s[j] == ',')) ++j;
      out.push_back({Token::Sep, s.substr(i, j - i), ' '});
      i = j;
    } else if (c == '/' || c == '-' || c == '.' || c == ':') {
      out.push_back({Token::Sep, s.substr(i, 1), c});
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

int ToInt(std::string_view digits) {
  int v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  return v;
}

// 1..12 for an English month name, full or abbreviated to three letters or
// more; 0 otherwise.
int MonthFromName(std::string_view w) {
  static constexpr std::string_view kMonths[] = {"january", "february", "march",     "april",   "may",      "june",
                                                 "july",    "august",   "september", "october", "november", "december"};
  if (w.size() < 3) return 0;
  for (int m = 0; m < 12; ++m) {
    const std::string_view name = kMonths[m];
    if (w.size() > name.size()) continue;
    if (EqualNoCase(w, name.substr(0, w.size()))) return m + 1;
  }
  return 0;
}

bool IsWeekdayName(std::string_view w) {
  static constexpr std::string_view kDays[] = {"sunday",   "monday", "tuesday", "wednesday",
                                               "thursday", "friday", "saturday"};
  if (w.size() < 3) return false;
  for (std::string_view name : kDays) {
    if (w.size() <= name.size() && EqualNoCase(w, name.substr(0, w.size()))) return true;
  }
  return false;
}

// Years of one or two digits fall in 1930..2029; three or four digits are
// taken as they stand.
bool YearFrom(const Token& t, int& year) {
  if (t.kind != Token::Num || t.text.size() > 4) return false;
  int y = ToInt(t.text);
  if (t.text.size() <= 2) y += y < 30 ? 2000 : 1900;
  if (y < 100 || y > 9999) return false;
  year = y;
  return true;
}

bool SmallNum(const Token& t, int& v) {
  if (t.kind != Token::Num || t.text.size() > 2) return false;
  v = ToInt(t.text);
  return true;
}

// The date part: a list of tokens with blank separators removed.
std::optional<double> ReadDatePart(const std::vector<Token>& tk) {
  std::vector<Token> t;
  for (const Token& x : tk)
    if (!(x.kind == Token::Sep && x.sep == ' ')) t.push_back(x);
  if (!t.empty() && t.front().kind == Token::Word && IsWeekdayName(t.front().text) &&
      MonthFromName(t.front().text) == 0)
    t.erase(t.begin());
  int y = 0, m = 0, d = 0;
  auto is_date_sep = [](const Token& x) {
    return x.kind == Token::Sep && (x.sep == '/' || x.sep == '-' || x.sep == '.');
  };
  if (t.size() == 5 && t[0].kind == Token::Num && is_date_sep(t[1]) && t[2].kind == Token::Num && is_date_sep(t[3]) &&
      t[4].kind == Token::Num) {
    if (t[0].text.size() >= 3) {  // year first: 2026-12-04
      if (!YearFrom(t[0], y) || !SmallNum(t[2], m) || !SmallNum(t[4], d)) return std::nullopt;
    } else {  // month/day/year
      if (!SmallNum(t[0], m) || !SmallNum(t[2], d) || !YearFrom(t[4], y)) return std::nullopt;
    }
    return DateSerial(y, m, d);
  }
  // Month names: "December 4, 2026", "Dec-4-2026", "4 Dec 2026", "4-Dec-2026".
  std::vector<Token> core;
  for (const Token& x : t)
    if (x.kind != Token::Sep || x.sep == ':')
      core.push_back(x);
    else if (x.sep != '-' && x.sep != '/' && x.sep != '.')
      return std::nullopt;
  if (core.size() == 3) {
    if (core[0].kind == Token::Word && (m = MonthFromName(core[0].text)) != 0) {
      if (!SmallNum(core[1], d) || !YearFrom(core[2], y)) return std::nullopt;
      return DateSerial(y, m, d);
    }
    if (core[1].kind == Token::Word && (m = MonthFromName(core[1].text)) != 0) {
      if (!SmallNum(core[0], d) || !YearFrom(core[2], y)) return std::nullopt;
      return DateSerial(y, m, d);
    }
  }
  return std::nullopt;
}

// The time part: h:mm or h:mm:ss, optionally AM or PM.
std::optional<double> ReadTimePart(const std::vector<Token>& t) {
  std::vector<Token> c;
  for (const Token& x : t)
    if (!(x.kind == Token::Sep && x.sep == ' ')) c.push_back(x);
  int h = 0, mi = 0, s = 0;
  std::size_t i = 0;
  if (!(i < c.size() && SmallNum(c[i], h))) return std::nullopt;
  ++i;
  if (!(i + 1 < c.size() && c[i].kind == Token::Sep && c[i].sep == ':' && SmallNum(c[i + 1], mi))) return std::nullopt;
  i += 2;
  if (i + 1 < c.size() && c[i].kind == Token::Sep && c[i].sep == ':') {
    if (!SmallNum(c[i + 1], s)) return std::nullopt;
    i += 2;
  }
  if (i < c.size()) {
    if (c[i].kind != Token::Word || i + 1 != c.size()) return std::nullopt;
    const std::string_view w = c[i].text;
    const bool am = EqualNoCase(w, "am") || EqualNoCase(w, "a");
    const bool pm = EqualNoCase(w, "pm") || EqualNoCase(w, "p");
    if (!am && !pm) return std::nullopt;
    if (h < 1 || h > 12) return std::nullopt;
    if (am && h == 12) h = 0;
    if (pm && h != 12) h += 12;
  }
  if (h > 23 || mi > 59 || s > 59) return std::nullopt;
  return TimeSerial(h, mi, s);
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
    if (!(r >= kMinDate && r < kMaxDate + 1.0)) Overflow();
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
      const std::string_view s = Trim(v.RawString());
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
      if (!(d >= kMinDate && d < kMaxDate + 1.0)) Overflow();
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
  if (code < 0x80) {
    s.push_back(static_cast<char>(code));
  } else {
    s.push_back(static_cast<char>(0xC0 | (code >> 6)));
    s.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
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
      if (!(r >= kMinDate && r < kMaxDate + 1.0)) Overflow();
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
      if (!(r >= kMinDate && r < kMaxDate + 1.0)) Overflow();
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
      if (!(r >= kMinDate && r < kMaxDate + 1.0)) Overflow();
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
  const std::string s = ToString(v);
  bool ascii = true;
  for (char c : s) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  const auto from = static_cast<std::size_t>(start - 1);
  const auto count = static_cast<std::size_t>(length);
  if (ascii) {
    if (from >= s.size()) return Variant(std::string());
    return Variant(s.substr(from, count));
  }
  const std::u16string u = utf::ToUtf16(s);
  if (from >= u.size()) return Variant(std::string());
  return Variant(utf::ToUtf8(std::u16string_view(u).substr(from, count)));
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
  for (char& c : out)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return Variant(std::move(out));
}

// ---- dates -----------------------------------------------------------------------

std::optional<double> DateSerial(int year, int month, int day) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;
  return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                             kEpochShift);
}

double TimeSerial(int hour, int minute, int second) { return (hour * 3600 + minute * 60 + second) / 86400.0; }

DateParts SplitDate(double v) {
  // A Date Variant can hold any Double; outside the valid dates (and for
  // NaN) there is no calendar day, and the conversions below would not be
  // defined.
  if (!(v >= kMinDate && v < kMaxDate + 1.0)) Overflow();
  double day = std::trunc(v);
  const double frac = std::fabs(v - day);
  auto secs = static_cast<std::int64_t>(std::llround(frac * 86400.0));
  if (secs >= 86400) {
    secs -= 86400;
    day += 1;
  }
  if (day > kMaxDate) Overflow();
  DateParts p{};
  CivilFromDays(static_cast<std::int64_t>(day) - kEpochShift, p.year, p.month, p.day);
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>(secs / 60 % 60);
  p.second = static_cast<int>(secs % 60);
  return p;
}

std::optional<double> ReadDate(std::string_view text) {
  std::string_view s = Trim(text);
  if (s.empty() || s.size() > 64) return std::nullopt;
  std::vector<Token> tk;
  if (!Tokenize(s, tk)) return std::nullopt;
  // The time part starts at the number in front of the first ':'.
  std::size_t colon = tk.size();
  for (std::size_t i = 0; i < tk.size(); ++i) {
    if (tk[i].kind == Token::Sep && tk[i].sep == ':') {
      colon = i;
      break;
    }
  }
  std::vector<Token> date_part(tk.begin(), tk.end());
  std::optional<double> time;
  if (colon < tk.size()) {
    if (colon == 0 || tk[colon - 1].kind != Token::Num) return std::nullopt;
    const std::size_t start = colon - 1;
    time = ReadTimePart(std::vector<Token>(tk.begin() + static_cast<std::ptrdiff_t>(start), tk.end()));
    if (!time) return std::nullopt;
    date_part.assign(tk.begin(), tk.begin() + static_cast<std::ptrdiff_t>(start));
    // The date and the time are separated by blanks.
    if (!date_part.empty()) {
      if (!(date_part.back().kind == Token::Sep && date_part.back().sep == ' ')) return std::nullopt;
    }
  }
  bool only_blanks = true;
  for (const Token& t : date_part) only_blanks = only_blanks && t.kind == Token::Sep && t.sep == ' ';
  if (only_blanks) {
    if (!time) return std::nullopt;
    return *time;  // a time alone is a time on day 0
  }
  std::optional<double> day = ReadDatePart(date_part);
  if (!day) return std::nullopt;
  return Combine(*day, time.value_or(0.0));
}

bool IsDate(const Variant& v) {
  if (v.Type() == VarType::Date) return true;
  if (v.Type() == VarType::String) return ReadDate(v.RawString()).has_value();
  return false;
}

std::string FormatDate(const Variant& v, std::string_view pattern) {
  const DateParts p = SplitDate(ToDate(v));
  std::string out;
  out.reserve(pattern.size() + 4);
  auto two = [&out](int n) {
    out.push_back(static_cast<char>('0' + n / 10 % 10));
    out.push_back(static_cast<char>('0' + n % 10));
  };
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = Lower(pattern[i]);
    std::size_t run = 1;
    while (i + run < pattern.size() && Lower(pattern[i + run]) == c) ++run;
    if (c == 'y' && run >= 4) {
      for (int div = 1000; div >= 1; div /= 10) out.push_back(static_cast<char>('0' + p.year / div % 10));
      run = 4;
    } else if (c == 'y' && run >= 2) {
      two(p.year % 100);
      run = 2;
    } else if (c == 'm' && run >= 2) {
      two(p.month);
      run = 2;
    } else if (c == 'm') {
      text::AppendDecimal(out, p.month);
    } else if (c == 'd' && run >= 2) {
      two(p.day);
      run = 2;
    } else if (c == 'd') {
      text::AppendDecimal(out, p.day);
    } else {
      out.push_back(pattern[i]);
      run = 1;
    }
    i += run;
  }
  return out;
}

Variant Month(const Variant& v) { return Variant(static_cast<std::int16_t>(SplitDate(ToDate(v)).month)); }
Variant Day(const Variant& v) { return Variant(static_cast<std::int16_t>(SplitDate(ToDate(v)).day)); }
Variant Year(const Variant& v) { return Variant(static_cast<std::int16_t>(SplitDate(ToDate(v)).year)); }

Variant Now() {
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  localtime_r(&t, &tm);
  const double day = DateSerial(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday).value_or(0.0);
  return Variant::Date(Combine(day, TimeSerial(tm.tm_hour, tm.tm_min, tm.tm_sec)));
}

std::string DateToText(double v) {
  const DateParts p = SplitDate(v);
  std::string out;
  // The date always (day 0 too), then the time when it is not midnight.
  const bool has_time = p.hour != 0 || p.minute != 0 || p.second != 0;
  text::AppendDecimal(out, p.month);
  out.push_back('/');
  text::AppendDecimal(out, p.day);
  out.push_back('/');
  text::AppendDecimal(out, p.year);
  if (has_time) {
    out.push_back(' ');
    const int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    text::AppendDecimal(out, h12);
    out.push_back(':');
    out.push_back(static_cast<char>('0' + p.minute / 10));
    out.push_back(static_cast<char>('0' + p.minute % 10));
    out.push_back(':');
    out.push_back(static_cast<char>('0' + p.second / 10));
    out.push_back(static_cast<char>('0' + p.second % 10));
    out += p.hour < 12 ? " AM" : " PM";
  }
  return out;
}

}  // namespace halvane
