// Small text helpers for building output: script blocks kept as readable
// raw text and turned into CR LF lines at compile time, and decimal splicing.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

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

// Number of characters `raw` has once every LF is replaced by CR LF.
consteval std::size_t CrlfSize(std::string_view raw) {
  std::size_t n = raw.size();
  for (char c : raw) n += (c == '\n') ? 1 : 0;
  return n;
}

template <std::size_t N>
struct CrlfText {
  std::array<char, N> chars{};
  constexpr std::string_view view() const { return std::string_view(chars.data(), N); }
  constexpr operator std::string_view() const { return view(); }
};

// The text of `raw` with every LF replaced by CR LF.  Use as
//   inline constexpr std::string_view kRaw = R"(line one
//   line two
//   )";
//   inline constexpr auto kBlock = text::ToCrlf<text::CrlfSize(kRaw)>(kRaw);
template <std::size_t N>
consteval CrlfText<N> ToCrlf(std::string_view raw) {
  CrlfText<N> out{};
  std::size_t j = 0;
  for (char c : raw) {
    if (c == '\n') out.chars[j++] = '\r';
    out.chars[j++] = c;
  }
  return out;
}

inline constexpr std::string_view kCrLf = "\r\n";

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

// Templates with fields: a template text marks each place a value goes as
// "@Name@" ('@' occurs nowhere else in such a text).

// True when every field marker of a template is closed.
consteval bool FieldsClosed(std::string_view raw) {
  std::size_t n = 0;
  for (char c : raw) n += (c == '@') ? 1 : 0;
  return n % 2 == 0;
}

using Field = std::pair<std::string_view, std::string_view>;

// Appends `tmpl` to `out` with every "@Name@" replaced by the value of the
// field of that name.  Values are copied as they are; they are never scanned,
// so a value holding '@' is spliced unchanged.
inline void AppendFilled(std::string& out, std::string_view tmpl, std::initializer_list<Field> fields) {
  for (;;) {
    const std::size_t open = tmpl.find('@');
    if (open == std::string_view::npos) break;
    const std::size_t close = tmpl.find('@', open + 1);
    if (close == std::string_view::npos) break;
    out.append(tmpl.substr(0, open));
    const std::string_view name = tmpl.substr(open + 1, close - open - 1);
    for (const Field& f : fields) {
      if (f.first == name) {
        out.append(f.second);
        break;
      }
    }
    tmpl.remove_prefix(close + 1);
  }
  out.append(tmpl);
}

}  // namespace halvane::text
