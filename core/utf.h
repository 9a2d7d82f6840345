// UTF-8 <-> UTF-16 transcoding.  Strings are UTF-8 in the C++ interface and
// UTF-16 at the automation boundary.  The conversion is lossless in both
// directions for every UTF-16 string: an unpaired surrogate is carried in
// UTF-8 as its three-byte generalised form (ED A0 80 .. ED BF BF) and turns
// back into the same code unit.  Bytes that are not UTF-8 at all become
// U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace halvane::utf {

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// Number of UTF-16 code units the UTF-8 text occupies (characters as the
// automation layer counts them).
std::size_t Utf16Length(std::string_view utf8);

// Appends the UTF-8 form of one code point (a surrogate in its three-byte
// form).
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace halvane::utf
