// Small text helpers: blanks and trimming, ASCII case folding and
// case-blind comparison, decimal text of whole numbers.  Output blocks and
// their fields are in core/text_template.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvane::text {

// A blank of the library's texts (numbers, dates, headers, options): a
// space or a tab.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// c with an ASCII capital made small (or a small letter made capital),
// every other byte as it is.  The ASCII range of the case mapping of
// strings::ToLower and ToUpper, which call these, and all the folding that
// keywords, names and header fields need.
constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string ToLowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

// True when `s` starts with `prefix`, ASCII letters folded to lower case.
constexpr bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(s[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

// s without the characters of `blanks` at its start, its end or both.
constexpr std::string_view TrimStart(std::string_view s, std::string_view blanks = " \t") {
  const std::size_t i = s.find_first_not_of(blanks);
  return i == std::string_view::npos ? std::string_view() : s.substr(i);
}
constexpr std::string_view TrimEnd(std::string_view s, std::string_view blanks = " \t") {
  return s.substr(0, s.find_last_not_of(blanks) + 1);  // npos + 1 is 0: nothing left
}
constexpr std::string_view Trim(std::string_view s, std::string_view blanks = " \t") {
  return TrimStart(TrimEnd(s, blanks), blanks);
}

// Equality of two texts with ASCII letters folded to lower case, independent
// of the C locale: keywords, names and identifiers of the library are ASCII.
constexpr bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// Two digits at a time, from "00" to "99".
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The decimal text of a whole number: a leading "-" for negatives, no
// blanks, no leading zeros beyond `min_digits` (zero-padded fields such as
// a date's "05").  Held in place, so that it can be measured before it is
// copied; every decimal text of the library and the host is written here.
class DecimalText {
 public:
  constexpr explicit DecimalText(std::int64_t v, int min_digits = 1) {
    std::uint64_t u = v < 0 ? 0u - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::size_t i = sizeof buf_;
    while (u >= 100) {
      const std::size_t pair = static_cast<std::size_t>(u % 100 * 2);
      u /= 100;
      buf_[--i] = kDigitPairs[pair + 1];
      buf_[--i] = kDigitPairs[pair];
    }
    if (u >= 10) {
      buf_[--i] = kDigitPairs[u * 2 + 1];
      buf_[--i] = kDigitPairs[u * 2];
    } else {
      buf_[--i] = static_cast<char>('0' + u);
    }
    const std::size_t pad_to = sizeof buf_ - static_cast<std::size_t>(min_digits < 19 ? min_digits : 19);
    while (i > pad_to) buf_[--i] = '0';
    if (v < 0) buf_[--i] = '-';
    begin_ = i;
  }
  constexpr std::string_view View() const { return std::string_view(buf_ + begin_, sizeof buf_ - begin_); }
  constexpr operator std::string_view() const { return View(); }

 private:
  char buf_[20]{};  // "-9223372036854775808"
  std::size_t begin_ = 0;
};

inline void AppendDecimal(std::string& out, std::int64_t v, int min_digits = 1) {
  out.append(DecimalText(v, min_digits).View());
}

inline std::string Decimal(std::int64_t v) { return std::string(DecimalText(v).View()); }

}  // namespace halvane::text
