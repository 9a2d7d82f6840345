#include "host/script/functions.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/arith.h"
#include "core/date_text.h"
#include "core/dates.h"
#include "core/number_text.h"
#include "core/strings.h"
#include "core/text.h"
#include "core/utf.h"

namespace halvane::script::functions {
namespace {

using Args = std::span<const Variant>;

// ---- argument rules ----------------------------------------------------------
//
// A value argument (s, x, a, b, d, d1, d2) that is Null makes the result Null;
// an Error value there is a type mismatch.  Every other argument goes through
// the Variant conversions, so Null there raises 94.  Functions check their
// other arguments first, so a position or count a function cannot use raises
// 5 even beside a Null value.

bool IsNullValue(const Variant& v) {
  if (v.Type() == VarType::Error) RaiseStandard(kErrTypeMismatch);
  return v.Type() == VarType::Null;
}

std::int32_t LongArg(Args args, std::size_t i, std::int32_t fallback) {
  return i < args.size() ? ToLong(args[i]) : fallback;
}

strings::Compare CompareArg(Args args, std::size_t i) {
  return i < args.size() ? strings::CompareOf(ToLong(args[i])) : strings::Compare::Binary;
}

bool BoolArg(Args args, std::size_t i) { return i < args.size() && ToBoolean(args[i]); }

// The text of a non-Null value argument, viewed in place when it is a String.
class Text {
 public:
  explicit Text(const Variant& v) {
    if (v.Type() == VarType::String) {
      view_ = v.RawString();
    } else {
      owned_ = ToString(v);
      view_ = owned_;
    }
  }
  operator std::string_view() const { return view_; }

 private:
  std::string owned_;
  std::string_view view_;
};

// ---- long texts ----------------------------------------------------------------
//
// A text longer than a slice is worked on a slice at a time, with the
// page's limits looked at between slices, so that a page stops within its
// time limit even inside one call on a text of many megabytes.

constexpr std::size_t kSlice = std::size_t{1} << 20;

// The first place at or after `at` where the text may be cut so that each
// side reads as it does within the whole: before an ASCII byte or before
// the first byte of a character that is not half of a surrogate pair.
std::size_t CutAt(std::string_view s, std::size_t at) {
  for (; at < s.size(); ++at) {
    const auto b = static_cast<unsigned char>(s[at]);
    if (b < 0x80 || (b >= 0xC2 && b <= 0xF4 && b != 0xED)) return at;
  }
  return s.size();
}

// The places where s is cut into slices of about `slice` bytes, from 0 to
// s.size().
std::vector<std::size_t> Cuts(std::string_view s, std::size_t slice) {
  std::vector<std::size_t> cuts{0};
  while (cuts.back() < s.size()) cuts.push_back(CutAt(s, std::min(s.size(), cuts.back() + slice)));
  return cuts;
}

std::string_view Piece(std::string_view s, const std::vector<std::size_t>& cuts, std::size_t i) {
  return s.substr(cuts[i], cuts[i + 1] - cuts[i]);
}

// UTF-16 units of each slice before slice i: units[i]; units.back() is
// the whole text's.
std::vector<std::size_t> UnitsBefore(std::string_view s, const std::vector<std::size_t>& cuts, const Context& ctx) {
  std::vector<std::size_t> units{0};
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    ctx.Poll();
    units.push_back(units.back() + utf::Utf16Length(Piece(s, cuts, i)));
  }
  return units;
}

// Each slice mapped by F, in order (or in reverse order of slices).
template <std::string (*F)(std::string_view), bool kReversed>
std::string MapSlices(std::string_view s, const Context& ctx) {
  if (s.size() <= kSlice) return F(s);
  const std::vector<std::size_t> cuts = Cuts(s, kSlice);
  const std::size_t n = cuts.size() - 1;
  std::string out;
  out.reserve(s.size());
  for (std::size_t k = 0; k < n; ++k) {
    ctx.Poll();
    out += F(Piece(s, cuts, kReversed ? n - 1 - k : k));
  }
  return out;
}

// n copies of one character, a slice at a time when they are many.
std::string Repeated(std::int32_t n, std::string_view character, const Context& ctx) {
  const std::size_t per = std::max<std::size_t>(character.size(), 1);
  const auto count = static_cast<std::size_t>(std::max(n, 0));
  if (count * per <= kSlice) return strings::Repeat(n, character, ctx.max_string);
  if (count * per > ctx.max_string) RaiseStandard(kErrOutOfStringSpace);
  std::string out;
  out.reserve(count * per);
  const std::size_t step = kSlice / per;
  for (std::size_t done = 0; done < count; done += step) {
    ctx.Poll();
    out += strings::Repeat(static_cast<std::int32_t>(std::min(step, count - done)), character, ctx.max_string);
  }
  return out;
}

// InStr of a long text: slice by slice, each searched with as much of the
// text after it as a match that starts in it can cover (3 bytes a unit).
std::int32_t LongInStr(std::int32_t start, std::string_view s, std::string_view find, strings::Compare compare,
                       const Context& ctx) {
  if (s.size() <= 2 * kSlice) return strings::InStr(start, s, find, compare);
  const std::vector<std::size_t> cuts = Cuts(s, std::max(kSlice, 3 * find.size()));
  const auto from = static_cast<std::size_t>(start - 1);
  if (find.empty()) {
    const std::size_t total = UnitsBefore(s, cuts, ctx).back();
    return from <= total ? start : 0;
  }
  std::size_t before = 0;
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    ctx.Poll();
    const std::size_t units = utf::Utf16Length(Piece(s, cuts, i));
    if (before + units > from) {
      const std::size_t end = CutAt(s, std::min(s.size(), cuts[i + 1] + 3 * find.size()));
      const std::size_t local = from > before ? from - before : 0;
      const std::int32_t at =
          strings::InStr(static_cast<std::int32_t>(local + 1), s.substr(cuts[i], end - cuts[i]), find, compare);
      if (at > 0) return static_cast<std::int32_t>(before) + at;
    }
    before += units;
  }
  return 0;
}

// InStrRev of a long text: the slices from the last, each with the text a
// match starting in it can cover.
std::int32_t LongInStrRev(std::string_view s, std::string_view find, strings::Compare compare, const Context& ctx) {
  if (s.size() <= 2 * kSlice) return strings::InStrRev(s, find, compare);
  const std::vector<std::size_t> cuts = Cuts(s, std::max(kSlice, 3 * find.size()));
  const std::vector<std::size_t> units = UnitsBefore(s, cuts, ctx);
  if (find.empty()) return static_cast<std::int32_t>(units.back());
  for (std::size_t i = cuts.size() - 1; i-- > 0;) {
    ctx.Poll();
    const std::size_t end = CutAt(s, std::min(s.size(), cuts[i + 1] + 3 * find.size()));
    const std::int32_t at = strings::InStrRev(s.substr(cuts[i], end - cuts[i]), find, compare);
    if (at > 0) return static_cast<std::int32_t>(units[i]) + at;
  }
  return 0;
}

// Asc and AscW: an Integer up to 32767, else a Long.
Variant Code(std::int32_t c) {
  if (c <= 32767) return Variant(static_cast<std::int16_t>(c));
  return Variant(c);
}

// ---- conversions and tests -----------------------------------------------------

Variant CallCInt(Args a, const Context&) { return Variant(ToInteger(a[0])); }
Variant CallCLng(Args a, const Context&) { return Variant(ToLong(a[0])); }
Variant CallCSng(Args a, const Context&) { return Variant(ToSingle(a[0])); }
Variant CallCDbl(Args a, const Context&) { return Variant(ToDouble(a[0])); }
Variant CallCStr(Args a, const Context&) { return Variant(ToString(a[0])); }
Variant CallCBool(Args a, const Context&) { return Variant(ToBoolean(a[0])); }
Variant CallCDate(Args a, const Context&) { return Variant::Date(ToDate(a[0])); }

Variant CallIsNull(Args a, const Context&) { return Variant(a[0].Type() == VarType::Null); }
Variant CallIsEmpty(Args a, const Context&) { return Variant(a[0].Type() == VarType::Empty); }
Variant CallIsDate(Args a, const Context&) { return Variant(IsDate(a[0])); }
Variant CallIsNumeric(Args a, const Context&) {
  switch (a[0].Type()) {
    case VarType::Empty:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Boolean: return Variant(true);
    case VarType::String: return Variant(ReadNumber(a[0].RawString()).status != NumberReading::Status::NotANumber);
    default: return Variant(false);
  }
}

// ---- text ----------------------------------------------------------------------

Variant CallLen(Args a, const Context&) {
  if (IsNullValue(a[0])) return Variant::Null();
  return Len(a[0]);
}

Variant CallLeft(Args a, const Context&) {
  const std::int32_t n = ToLong(a[1]);
  if (n < 0) RaiseStandard(kErrInvalidCall);
  if (IsNullValue(a[0])) return Variant::Null();
  return Variant(strings::Left(Text(a[0]), n));
}

Variant CallRight(Args a, const Context&) {
  const std::int32_t n = ToLong(a[1]);
  if (n < 0) RaiseStandard(kErrInvalidCall);
  if (IsNullValue(a[0])) return Variant::Null();
  return Variant(strings::Right(Text(a[0]), n));
}

Variant CallMid(Args a, const Context&) {
  const std::int32_t start = ToLong(a[1]);
  const std::int32_t length = LongArg(a, 2, -1);
  if (start < 1 || (a.size() > 2 && length < 0)) RaiseStandard(kErrInvalidCall);
  if (IsNullValue(a[0])) return Variant::Null();
  return Variant(strings::Mid(Text(a[0]), start, length));
}

// InStr(s, find), InStr(start, s, find), InStr(start, s, find, compare).
Variant CallInStr(Args a, const Context& ctx) {
  const bool with_start = a.size() >= 3;
  const std::int32_t start = with_start ? ToLong(a[0]) : 1;
  const Variant& s = a[with_start ? 1 : 0];
  const std::string find = ToString(a[with_start ? 2 : 1]);
  const strings::Compare compare = CompareArg(a, 3);
  if (start < 1) RaiseStandard(kErrInvalidCall);
  if (IsNullValue(s)) return Variant::Null();
  return Variant(LongInStr(start, Text(s), find, compare, ctx));
}

Variant CallInStrRev(Args a, const Context& ctx) {
  const std::string find = ToString(a[1]);
  if (IsNullValue(a[0])) return Variant::Null();
  return Variant(LongInStrRev(Text(a[0]), find, strings::Compare::Binary, ctx));
}

Variant CallReplace(Args a, const Context& ctx) {
  const std::string find = ToString(a[1]);
  const std::string with = ToString(a[2]);
  const std::int32_t start = LongArg(a, 3, 1);
  const std::int32_t count = LongArg(a, 4, -1);
  const strings::Compare compare = CompareArg(a, 5);
  if (start < 1 || count < -1) RaiseStandard(kErrInvalidCall);
  if (IsNullValue(a[0])) return Variant::Null();
  return Variant(strings::Replace(Text(a[0]), find, with, start, count, compare, ctx.max_string, ctx.poll));
}

template <std::string (*F)(std::string_view), bool kReversed = false>
Variant TextCall(Args a, const Context& ctx) {
  if (IsNullValue(a[0])) return Variant::Null();
  return Variant(MapSlices<F, kReversed>(Text(a[0]), ctx));
}

template <std::string_view (*F)(std::string_view)>
Variant TrimCall(Args a, const Context&) {
  if (IsNullValue(a[0])) return Variant::Null();
  return Variant(std::string(F(Text(a[0]))));
}

Variant CallSpace(Args a, const Context& ctx) {
  const std::int32_t n = ToLong(a[0]);
  if (n < 0) return Variant(strings::Space(n, ctx.max_string));  // raises 5
  return Variant(Repeated(n, " ", ctx));
}

// String(n, ch): ch's first character, or Chr of a number made a Long.
Variant CallString(Args a, const Context& ctx) {
  const std::int32_t n = ToLong(a[0]);
  if (n < 0) RaiseStandard(kErrInvalidCall);
  if (a[1].Type() == VarType::String) return Variant(Repeated(n, strings::FirstCharacter(a[1].RawString()), ctx));
  const Variant ch = Chr(ToLong(a[1]));
  return Variant(Repeated(n, ch.RawString(), ctx));
}

Variant CallStrComp(Args a, const Context&) {
  const strings::Compare compare = CompareArg(a, 2);
  const bool null_a = IsNullValue(a[0]);
  if (IsNullValue(a[1]) || null_a) return Variant::Null();
  return Variant(static_cast<std::int16_t>(strings::StrComp(Text(a[0]), Text(a[1]), compare)));
}

Variant CallAsc(Args a, const Context&) {
  if (IsNullValue(a[0])) return Variant::Null();
  return Code(strings::AscW(Text(a[0])));
}

Variant CallChr(Args a, const Context&) { return Chr(ToLong(a[0])); }
Variant CallChrW(Args a, const Context&) { return Variant(strings::ChrW(ToLong(a[0]))); }

Variant CallHex(Args a, const Context&) {
  if (IsNullValue(a[0])) return Variant::Null();
  return Hex(a[0]);
}

Variant CallOct(Args a, const Context&) {
  const Variant& x = a[0];
  if (IsNullValue(x)) return Variant::Null();
  const VarType t = x.Type();
  if (t == VarType::Integer || t == VarType::Boolean) return Variant(strings::Oct(x.RawInt(), 16));
  return Variant(strings::Oct(ToLong(x), 32));
}

// ---- numbers -------------------------------------------------------------------

template <Variant (*F)(const Variant&)>
Variant NumberCall(Args a, const Context&) {
  return F(a[0]);  // each handles Null (Null result) and Error (13) itself
}

Variant CallRound(Args a, const Context&) {
  const std::int32_t digits = LongArg(a, 1, 0);
  if (digits < 0) RaiseStandard(kErrInvalidCall);
  if (IsNullValue(a[0])) return Variant::Null();
  return Round(a[0], digits);
}

Variant CallFormatNumber(Args a, const Context&) {
  const std::int32_t digits = LongArg(a, 1, 2);
  if (digits < 0) RaiseStandard(kErrInvalidCall);
  if (IsNullValue(a[0])) return Variant::Null();
  return Variant(FormatNumber(a[0], digits));
}

// ---- dates ---------------------------------------------------------------------

Variant CallNow(Args, const Context&) { return Now(); }
Variant CallDate(Args, const Context&) { return Today(); }
Variant CallTime(Args, const Context&) { return TimeOfDay(); }

template <Variant (*F)(const Variant&)>
Variant DateCall(Args a, const Context&) {
  if (IsNullValue(a[0])) return Variant::Null();
  return F(a[0]);
}

Variant CallDateSerial(Args a, const Context&) { return DateSerialCarry(ToLong(a[0]), ToLong(a[1]), ToLong(a[2])); }

Variant CallDateAdd(Args a, const Context&) {
  const std::string interval = ToString(a[0]);
  const std::int32_t n = ToLong(a[1]);
  if (IsNullValue(a[2])) return Variant::Null();
  return DateAdd(interval, n, a[2]);
}

Variant CallDateDiff(Args a, const Context&) {
  const std::string interval = ToString(a[0]);
  const bool null1 = IsNullValue(a[1]);
  if (IsNullValue(a[2]) || null1) return Variant::Null();
  return DateDiff(interval, a[1], a[2]);
}

Variant CallMonthName(Args a, const Context&) {
  const std::int32_t m = ToLong(a[0]);
  return Variant(MonthName(m, BoolArg(a, 1)));
}

Variant CallWeekdayName(Args a, const Context&) {
  const std::int32_t w = ToLong(a[0]);
  return Variant(WeekdayName(w, BoolArg(a, 1)));
}

// ---- the table -------------------------------------------------------------------

bool LessNoCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return text::LowerAscii(x) < text::LowerAscii(y); });
}

// Sorted by name without regard to case, for the binary search of Find.
constexpr std::array kTable{
    Function{"Abs", 1, 1, NumberCall<Abs>},
    Function{"Array", 0, -1, nullptr, Special::Array},
    Function{"Asc", 1, 1, CallAsc},
    Function{"AscW", 1, 1, CallAsc},
    Function{"CBool", 1, 1, CallCBool},
    Function{"CDate", 1, 1, CallCDate},
    Function{"CDbl", 1, 1, CallCDbl},
    Function{"Chr", 1, 1, CallChr},
    Function{"ChrW", 1, 1, CallChrW},
    Function{"CInt", 1, 1, CallCInt},
    Function{"CLng", 1, 1, CallCLng},
    Function{"CreateObject", 1, 1, nullptr, Special::CreateObject},
    Function{"CSng", 1, 1, CallCSng},
    Function{"CStr", 1, 1, CallCStr},
    Function{"Date", 0, 0, CallDate},
    Function{"DateAdd", 3, 3, CallDateAdd},
    Function{"DateDiff", 3, 3, CallDateDiff},
    Function{"DateSerial", 3, 3, CallDateSerial},
    Function{"Day", 1, 1, DateCall<Day>},
    Function{"Fix", 1, 1, NumberCall<Fix>},
    Function{"FormatNumber", 1, 2, CallFormatNumber},
    Function{"Hex", 1, 1, CallHex},
    Function{"Hour", 1, 1, DateCall<Hour>},
    Function{"InStr", 2, 4, CallInStr},
    Function{"InStrRev", 2, 2, CallInStrRev},
    Function{"Int", 1, 1, NumberCall<Int>},
    Function{"IsArray", 1, 1, nullptr, Special::IsArray},
    Function{"IsDate", 1, 1, CallIsDate, Special::Test},
    Function{"IsEmpty", 1, 1, CallIsEmpty, Special::Test},
    Function{"IsNull", 1, 1, CallIsNull, Special::Test},
    Function{"IsNumeric", 1, 1, CallIsNumeric, Special::Test},
    Function{"IsObject", 1, 1, nullptr, Special::IsObject},
    Function{"Join", 1, 2, nullptr, Special::Join},
    Function{"LBound", 1, 2, nullptr, Special::LBound},
    Function{"LCase", 1, 1, TextCall<strings::LCase>},
    Function{"Left", 2, 2, CallLeft},
    Function{"Len", 1, 1, CallLen},
    Function{"LTrim", 1, 1, TrimCall<strings::LTrim>},
    Function{"Mid", 2, 3, CallMid},
    Function{"Minute", 1, 1, DateCall<Minute>},
    Function{"Month", 1, 1, DateCall<Month>},
    Function{"MonthName", 1, 2, CallMonthName},
    Function{"Now", 0, 0, CallNow},
    Function{"Oct", 1, 1, CallOct},
    Function{"Replace", 3, 6, CallReplace},
    Function{"Right", 2, 2, CallRight},
    Function{"Round", 1, 2, CallRound},
    Function{"RTrim", 1, 1, TrimCall<strings::RTrim>},
    Function{"Second", 1, 1, DateCall<Second>},
    Function{"Sgn", 1, 1, NumberCall<Sgn>},
    Function{"Space", 1, 1, CallSpace},
    Function{"Split", 1, 3, nullptr, Special::Split},
    Function{"Sqr", 1, 1, NumberCall<Sqr>},
    Function{"StrComp", 2, 3, CallStrComp},
    Function{"String", 2, 2, CallString},
    Function{"StrReverse", 1, 1, TextCall<strings::StrReverse, true>},
    Function{"Time", 0, 0, CallTime},
    Function{"Trim", 1, 1, TrimCall<strings::Trim>},
    Function{"TypeName", 1, 1, nullptr, Special::TypeName},
    Function{"UBound", 1, 2, nullptr, Special::UBound},
    Function{"UCase", 1, 1, TextCall<strings::UCase>},
    Function{"VarType", 1, 1, nullptr, Special::VarType},
    Function{"Weekday", 1, 1, DateCall<Weekday>},
    Function{"WeekdayName", 1, 2, CallWeekdayName},
    Function{"Year", 1, 1, DateCall<Year>},
};

constexpr bool SortedNoCase() {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  for (std::size_t i = 1; i < kTable.size(); ++i) {
    const std::string_view a = kTable[i - 1].name, b = kTable[i].name;
    std::size_t k = 0;
    while (k < a.size() && k < b.size() && lower(a[k]) == lower(b[k])) ++k;
    const bool less = k == a.size() ? k < b.size() : k < b.size() && lower(a[k]) < lower(b[k]);
    if (!less) return false;
  }
  return true;
}
static_assert(SortedNoCase(), "Find searches the table by halves: keep it in order of name");

// The interpreter holds the arguments of a call in kMostArgs places; only
// Array takes any number (and has a way of its own).
constexpr bool ArgumentsFit() {
  for (const Function& f : kTable) {
    if (f.max_args > kMostArgs || (f.max_args < 0 && f.special != Special::Array)) return false;
  }
  return true;
}
static_assert(ArgumentsFit(), "a function takes more arguments than the interpreter has places for");

}  // namespace

const Function* Find(std::string_view name) {
  auto it = std::lower_bound(kTable.begin(), kTable.end(), name,
                             [](const Function& f, std::string_view n) { return LessNoCase(f.name, n); });
  if (it == kTable.end() || LessNoCase(name, it->name)) return nullptr;
  return &*it;
}

std::span<const Function> All() { return kTable; }

}  // namespace halvane::script::functions
