// Small text helpers: blanks and trimming, ASCII case folding and
// case-blind comparison, decimal text of whole numbers.  Output blocks and
// their fields are in core/text_template.h.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvane::text {

// A blank of the library's texts (numbers, dates, headers, options): a
// space or a tab.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// c with an ASCII capital made small, every other byte as it is.
constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

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
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Appends the decimal text of v: a leading "-" for negatives, no blanks, no
// leading zeros.
inline void AppendDecimal(std::string& out, std::int64_t v) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

inline std::string Decimal(std::int64_t v) {
  std::string s;
  AppendDecimal(s, v);
  return s;
}

}  // namespace halvane::text
