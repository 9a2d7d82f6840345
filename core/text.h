// Small text helpers: ASCII case-blind comparison and decimal text of whole
// numbers.  Output blocks and their fields are in core/text_template.h.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvane::text {

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
