// Small text helpers for building output: script blocks kept as readable
// raw text and turned into CR LF lines at compile time, and decimal splicing.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvane::text {

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

}  // namespace halvane::text
