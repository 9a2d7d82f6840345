// UTF-8 <-> UTF-16 transcoding.  Strings are UTF-8 in the C++ interface and
// UTF-16 at the automation boundary.  The conversion is lossless in both
// directions for every UTF-16 string: an unpaired surrogate is carried in
// UTF-8 as its three-byte generalised form (ED A0 80 .. ED BF BF) and turns
// back into the same code unit.  Bytes that are not UTF-8 at all become
// U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvane::utf {

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
