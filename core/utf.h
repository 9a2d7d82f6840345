// UTF-8 <-> UTF-16 transcoding.  Strings are UTF-8 in the C++ interface and
// UTF-16 at the automation boundary.  The conversion is lossless in both
// directions for every UTF-16 string: an unpaired surrogate is carried in
// UTF-8 as its three-byte generalised form (ED A0 80 .. ED BF BF) and turns
// back into the same code unit.  Bytes that are not UTF-8 at all become
// U+FFFD.
//
// Every reader of UTF-8 in the library and the host goes through DecodeAt,
// so that what counts as a well-formed sequence is decided in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvane::utf {

// True when every byte of `s` is below 0x80: ASCII text, one UTF-16 unit a
// byte, which lets the string functions skip transcoding.
bool IsAscii(std::string_view s);

// A byte that continues a multi-byte sequence (10xxxxxx): it never starts a
// character, so columns and cuts skip it.
constexpr bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Whether the three-byte forms of surrogates (ED A0 80 .. ED BF BF) count as
// well-formed: the transcoder carries unpaired UTF-16 units in them, text
// that leaves the process refuses them.
enum class Surrogates { Refused, Accepted };

// One sequence read at a position.  A well-formed sequence gives its code
// point and its length (1 to 4).  An ill-formed one gives U+FFFD and the
// length of its maximal subpart: the lead byte and the continuation bytes
// that could still have completed it (at least 1), which is what one
// replacement character stands for.
struct Sequence {
  char32_t code_point;
  std::size_t length;
  bool well_formed;
};

// Reads the sequence at s[i] (i < s.size()): no overlong forms, nothing
// above U+10FFFF, surrogate forms as `surrogates` says.
Sequence DecodeAt(std::string_view s, std::size_t i, Surrogates surrogates = Surrogates::Refused);

// The start of the character that byte i belongs to: i itself unless s[i]
// continues a well-formed sequence begun at most three bytes before.  A cut
// there keeps the text before it whole.
std::size_t CharacterStart(std::string_view s, std::size_t i);

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// The same conversions into the caller's storage, for code units held as
// char16_t or as the automation layer's 16-bit integers.  ToUtf16 writes at
// most utf8.size() code units to `out` (a byte never yields more than one)
// and returns how many it wrote; AppendUtf8 appends to `out`.
std::size_t ToUtf16(std::string_view utf8, char16_t* out);
std::size_t ToUtf16(std::string_view utf8, std::uint16_t* out);
void AppendUtf8(std::string& out, std::u16string_view utf16);
void AppendUtf8(std::string& out, const std::uint16_t* utf16, std::size_t count);

// Number of UTF-16 code units the UTF-8 text occupies (characters as the
// automation layer counts them).
std::size_t Utf16Length(std::string_view utf8);

// Appends the UTF-8 form of one code point (a surrogate in its three-byte
// form).
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace halvane::utf
