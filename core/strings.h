// String functions of the page language on UTF-8 text.  Every position,
// length and count is in UTF-16 code units, as the automation layer counts
// characters; the text itself stays UTF-8 (an unpaired surrogate travels in
// its three-byte form, see core/utf.h).
//
// Errors: a position or count a function cannot use raises 5; a result
// longer than `max_string` bytes raises 14.  Null handling belongs to the
// caller: these functions take plain text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/arith.h"

namespace halvane::strings {

// How text is compared: code unit by code unit, or each character folded to
// lower case first.  Any other compare value raises 5 (CompareOf).
enum class Compare { Binary = 0, Text = 1 };
Compare CompareOf(std::int32_t value);

std::string Left(std::string_view s, std::int32_t n);   // n < 0: 5
std::string Right(std::string_view s, std::int32_t n);  // n < 0: 5
// From the 1-based start, at most `length` units (-1: to the end).
std::string Mid(std::string_view s, std::int32_t start, std::int32_t length = -1);

// 1-based position of `find` in `s` from `start`, 0 if none.  An empty find
// gives start, or 0 when start > Len(s) + 1.  start < 1 raises 5.
std::int32_t InStr(std::int32_t start, std::string_view s, std::string_view find, Compare compare = Compare::Binary);
// The last position of `find` in `s`, 0 if none; an empty find gives Len(s).
std::int32_t InStrRev(std::string_view s, std::string_view find, Compare compare = Compare::Binary);

// What a long operation calls between the pieces of its work (about a
// million characters or 65,536 occurrences each), so that its caller can
// stop it by throwing, for example when a page's time is up.  Empty: nothing.
struct Poll {
  void (*fn)(void* arg) = nullptr;
  void* arg = nullptr;
  void operator()() const {
    if (fn != nullptr) fn(arg);
  }
};

// Replaces the occurrences of `find` from `start` on (the text before start
// is kept), at most `count` of them (-1: all; 0: none).  An empty find gives
// s.  start < 1 or count < -1 raises 5.
std::string Replace(std::string_view s, std::string_view find, std::string_view with, std::int32_t start = 1,
                    std::int32_t count = -1, Compare compare = Compare::Binary,
                    std::size_t max_string = kMaxStringBytes, const Poll& poll = {});

// Simple (one-to-one) case mapping of Basic Latin, Latin-1, Latin
// Extended-A, Latin Extended Additional, Greek (with its accented letters),
// Cyrillic (with its supplement) and Armenian; other characters unchanged.
std::string UCase(std::string_view s);
std::string LCase(std::string_view s);
char16_t ToUpper(char16_t c);
char16_t ToLower(char16_t c);

// U+0020 removed from the start, the end or both.
std::string_view LTrim(std::string_view s);
std::string_view RTrim(std::string_view s);
std::string_view Trim(std::string_view s);

// n blanks; n copies of one character (its UTF-8 text).  n < 0 raises 5.
std::string Space(std::int32_t n, std::size_t max_string = kMaxStringBytes);
std::string Repeat(std::int32_t n, std::string_view character, std::size_t max_string = kMaxStringBytes);
// The first character of s (a surrogate pair counts as one); "" raises 5.
std::string_view FirstCharacter(std::string_view s);

// The UTF-16 units in reverse order; unpaired surrogates become U+FFFD.
std::string StrReverse(std::string_view s);
// -1, 0 or 1.
int StrComp(std::string_view a, std::string_view b, Compare compare = Compare::Binary);

// The first UTF-16 unit's code; "" raises 5.
std::int32_t AscW(std::string_view s);
// The one-unit String of a code 0..65535 (else 5).
std::string ChrW(std::int32_t code);
// Octal digits; negatives in two's complement of `bits` (16 or 32).
std::string Oct(std::int32_t value, int bits);

// The parts of s between occurrences of `delimiter`, at most `count` (-1:
// all; the last part holds the rest).  An empty s or a count of 0 gives no
// parts; an empty delimiter gives s as its one part; count < -1 raises 5;
// more than max_parts parts raise 7 before they are made.
std::vector<std::string> Split(std::string_view s, std::string_view delimiter, std::int32_t count = -1,
                               Compare compare = Compare::Binary,
                               std::size_t max_parts = std::numeric_limits<std::size_t>::max(),
                               const Poll& poll = {});
// The parts joined with `delimiter`.
std::string Join(std::span<const std::string_view> parts, std::string_view delimiter,
                 std::size_t max_string = kMaxStringBytes);

}  // namespace halvane::strings
