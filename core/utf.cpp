#include "core/utf.h"

#include <cstdint>

namespace halvane::utf {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point at s[i], advancing i.  Encoded surrogates are accepted so
// that unpaired UTF-16 code units survive a round trip; each byte of an
// ill-formed sequence becomes one U+FFFD.
char32_t Decode(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  const Sequence q = DecodeAt(s, i, Surrogates::Accepted);
  i += q.well_formed ? q.length : 1;
  return q.code_point;
}

bool IsHigh(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

bool IsAscii(std::string_view s) {
  unsigned char any = 0;
  for (const char c : s) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

Sequence DecodeAt(std::string_view s, std::size_t i, Surrogates surrogates) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return {b0, 1, true};
  std::size_t len;
  char32_t cp;
  // The second byte's range rules out overlong forms (E0, F0), code points
  // above U+10FFFF (F4) and, when refused, surrogates (ED).
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED && surrogates == Surrogates::Refused) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return {kReplacement, 1, false};
  }
  for (std::size_t k = 1; k < len; ++k) {
    if (i + k >= s.size()) return {kReplacement, k, false};
    const auto b = static_cast<unsigned char>(s[i + k]);
    if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return {kReplacement, k, false};
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return {cp, len, true};
}

std::size_t CharacterStart(std::string_view s, std::size_t i) {
  if (i >= s.size() || !IsContinuation(s[i])) return i;
  for (std::size_t back = 1; back <= 3 && back <= i; ++back) {
    if (IsContinuation(s[i - back])) continue;
    const Sequence q = DecodeAt(s, i - back, Surrogates::Accepted);
    return q.well_formed && q.length > back ? i - back : i;
  }
  return i;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

namespace {

template <class Unit>
std::size_t Utf16Into(std::string_view s, Unit* out) {
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    char32_t cp = Decode(s, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out[n++] = static_cast<Unit>(0xD800 + (cp >> 10));
      out[n++] = static_cast<Unit>(0xDC00 + (cp & 0x3FF));
    } else {
      out[n++] = static_cast<Unit>(cp);
    }
  }
  return n;
}

template <class Unit>
void Utf8Onto(std::string& out, const Unit* s, std::size_t count) {
  out.reserve(out.size() + count * 3 / 2 + 1);
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = s[i];
    if (IsHigh(c) && i + 1 < count && IsLow(s[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(s[i + 1]) - 0xDC00);
      ++i;
    }
    AppendUtf8(out, c);  // an unpaired surrogate keeps its three-byte form
  }
}

}  // namespace

std::size_t ToUtf16(std::string_view s, char16_t* out) { return Utf16Into(s, out); }
std::size_t ToUtf16(std::string_view s, std::uint16_t* out) { return Utf16Into(s, out); }
void AppendUtf8(std::string& out, std::u16string_view s) { Utf8Onto(out, s.data(), s.size()); }
void AppendUtf8(std::string& out, const std::uint16_t* s, std::size_t count) { Utf8Onto(out, s, count); }

std::u16string ToUtf16(std::string_view s) {
  std::u16string out(s.size(), u'\0');
  out.resize(ToUtf16(s, out.data()));
  return out;
}

std::string ToUtf8(std::u16string_view s) {
  std::string out;
  AppendUtf8(out, s);
  return out;
}

std::size_t Utf16Length(std::string_view s) {
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < s.size()) n += Decode(s, i) >= 0x10000 ? 2 : 1;
  return n;
}

}  // namespace halvane::utf
