#include "core/strings.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "core/text.h"
#include "core/utf.h"

namespace halvane::strings {
namespace {

[[noreturn]] void InvalidCall() { RaiseStandard(kErrInvalidCall); }

bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

bool Even(char16_t c) { return c % 2 == 0; }

// Long texts are worked on a piece of this many characters at a time, with
// the caller's poll between pieces; occurrences are polled for in runs of
// kOccurrences.
constexpr std::size_t kPiece = std::size_t{1} << 20;
constexpr std::size_t kOccurrences = std::size_t{1} << 16;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

std::u16string Fold(std::u16string_view s, const Poll& poll = {}) {
  std::u16string out(s);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (i % kPiece == kPiece - 1) poll();
    out[i] = ToLower(out[i]);
  }
  return out;
}

// utf::ToUtf16 and utf::ToUtf8 of a long text, a piece at a time (cut where
// the pieces convert as the whole does).
std::u16string Utf16Of(std::string_view s, const Poll& poll) {
  if (s.size() <= kPiece) return utf::ToUtf16(s);
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t at = 0; at < s.size();) {
    poll();
    std::size_t end = s.size();
    if (at + kPiece < end) end = utf::CharacterStart(s, at + kPiece);
    out += utf::ToUtf16(s.substr(at, end - at));
    at = end;
  }
  return out;
}

std::string Utf8Of(std::u16string_view u, const Poll& poll, std::size_t bytes = 0) {
  if (u.size() <= kPiece) return utf::ToUtf8(u);
  std::string out;
  out.reserve(bytes);
  for (std::size_t at = 0; at < u.size();) {
    poll();
    std::size_t end = std::min(u.size(), at + kPiece);
    if (end < u.size() && IsHighSurrogate(u[end - 1])) ++end;  // a pair stays whole
    utf::AppendUtf8(out, u.substr(at, end - at));
    at = end;
  }
  return out;
}

// Position of `find` in `s` at or after `from` (units), npos if none; with
// text comparison both sides are folded to lower case (the mapping is one
// unit to one unit, so positions stay the same).  Searches take time linear
// in the text whatever the two hold ("aaa...ab" in "aaa...a" included): a
// short `find` goes through the library's search, which is fastest there;
// a longer one through a Knuth-Morris-Pratt table, built once for every
// search of a Replace or Split.
class Finder {
 public:
  Finder(std::u16string_view s, std::u16string_view find, Compare compare, const Poll& poll = {}) : poll_(poll) {
    if (compare == Compare::Text) {
      folded_s_ = Fold(s, poll);
      folded_find_ = Fold(find);
      s_ = folded_s_;
      find_ = folded_find_;
    } else {
      s_ = s;
      find_ = find;
    }
    if (find_.size() > kShort) {
      // border_[i]: the length of the longest proper border of find_[0..i].
      border_.assign(find_.size(), 0);
      for (std::size_t i = 1, k = 0; i < find_.size(); ++i) {
        while (k > 0 && find_[i] != find_[k]) k = border_[k - 1];
        if (find_[i] == find_[k]) ++k;
        border_[i] = k;
      }
    }
  }

  // Searched kPiece starting places at a time, polling between them.
  std::size_t Next(std::size_t from) const {
    for (bool first = true; from < s_.size(); from += kPiece, first = false) {
      if (!first) poll_();
      const std::size_t end = std::min(s_.size(), from + kPiece + find_.size() - 1);
      const std::size_t at = Search(s_.substr(0, end), from);
      if (at != std::u16string::npos) return at;
    }
    return std::u16string::npos;
  }

  // The last occurrence: the first one found searching from the end.
  std::size_t Last() const {
    if (find_.size() <= kShort) return s_.rfind(find_);
    if (find_.size() > s_.size()) return std::u16string::npos;
    std::u16string rs(s_.rbegin(), s_.rend()), rf(find_.rbegin(), find_.rend());
    const std::size_t at = Finder(rs, rf, Compare::Binary).Next(0);
    return at == std::u16string::npos ? at : s_.size() - at - find_.size();
  }

 private:
  // Up to this length the library's search is linear enough (at most this
  // many comparisons a position).
  static constexpr std::size_t kShort = 16;

  // The first occurrence in `s` at or after `from`.
  std::size_t Search(std::u16string_view s, std::size_t from) const {
    if (find_.size() <= kShort) return s.find(find_, from);
    for (std::size_t i = from, k = 0; i < s.size(); ++i) {
      while (k > 0 && s[i] != find_[k]) k = border_[k - 1];
      if (s[i] == find_[k] && ++k == find_.size()) return i + 1 - k;
    }
    return std::u16string::npos;
  }

  Poll poll_;
  std::u16string folded_s_, folded_find_;
  std::u16string_view s_, find_;
  std::vector<std::size_t> border_;
};

// The UTF-8 size of UTF-16 text given piece by piece, as utf::ToUtf8 of
// the pieces joined writes it: a high surrogate takes 3 bytes, and 1 more
// when a low one follows it, even in the next piece (a pair is 4).
class Utf8Count {
 public:
  void Add(std::u16string_view u) {
    for (const char16_t c : u) {
      const bool completes_pair = high_ && c >= 0xDC00 && c <= 0xDFFF;
      bytes_ += completes_pair ? 1 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
      high_ = !completes_pair && c >= 0xD800 && c <= 0xDBFF;
    }
  }
  std::size_t Bytes() const { return bytes_; }

 private:
  std::size_t bytes_ = 0;
  bool high_ = false;
};

void CheckLength(std::size_t n, std::size_t max_string) {
  if (n > max_string) RaiseStandard(kErrOutOfStringSpace);
}

}  // namespace

Compare CompareOf(std::int32_t value) {
  if (value == 0) return Compare::Binary;
  if (value == 1) return Compare::Text;
  InvalidCall();
}

char16_t ToLower(char16_t c) {
  if (c < 0x80) return static_cast<char16_t>(text::LowerAscii(static_cast<char>(c)));
  auto plus = [c](int d) { return static_cast<char16_t>(c + d); };
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return plus(32);
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130) return u'i';
    if (c == 0x178) return 0xFF;
    if ((c <= 0x12F || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && Even(c)) return plus(1);
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && !Even(c)) return plus(1);
    return c;
  }
  if (c >= 0x370 && c <= 0x3FF) {
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return plus(37);
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return plus(63);
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return plus(32);
    if (c >= 0x3D8 && c <= 0x3EF && Even(c)) return plus(1);
    return c;
  }
  if (c >= 0x400 && c <= 0x52F) {
    if (c <= 0x40F) return plus(80);
    if (c <= 0x42F) return plus(32);
    if (c == 0x4C0) return 0x4CF;
    if (((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0) && Even(c)) return plus(1);
    if (c >= 0x4C1 && c <= 0x4CE && !Even(c)) return plus(1);
    return c;
  }
  if (c >= 0x531 && c <= 0x556) return plus(48);
  if (c == 0x1E9E) return 0xDF;
  if (((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF)) && Even(c)) return plus(1);
  if (c >= 0xFF21 && c <= 0xFF3A) return plus(32);
  return c;
}

char16_t ToUpper(char16_t c) {
  if (c < 0x80) return static_cast<char16_t>(text::UpperAscii(static_cast<char>(c)));
  auto minus = [c](int d) { return static_cast<char16_t>(c - d); };
  if (c == 0xB5) return 0x39C;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return minus(32);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x131) return u'I';
    if (c == 0x17F) return u'S';
    if ((c <= 0x12F || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && !Even(c)) return minus(1);
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && Even(c) && c != 0x138) return minus(1);
    return c;
  }
  if (c >= 0x370 && c <= 0x3FF) {
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return minus(37);
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3CB) return minus(32);
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return minus(63);
    if (c >= 0x3D8 && c <= 0x3EF && !Even(c)) return minus(1);
    return c;
  }
  if (c >= 0x400 && c <= 0x52F) {
    if (c >= 0x430 && c <= 0x44F) return minus(32);
    if (c >= 0x450 && c <= 0x45F) return minus(80);
    if (c == 0x4CF) return 0x4C0;
    if (((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0) && !Even(c)) return minus(1);
    if (c >= 0x4C1 && c <= 0x4CE && Even(c)) return minus(1);
    return c;
  }
  if (c >= 0x561 && c <= 0x586) return minus(48);
  if (((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF)) && !Even(c)) return minus(1);
  if (c >= 0xFF41 && c <= 0xFF5A) return minus(32);
  return c;
}

std::string UCase(std::string_view s) {
  if (utf::IsAscii(s)) {
    std::string out(s);
    for (char& c : out) c = text::UpperAscii(c);
    return out;
  }
  std::u16string u = utf::ToUtf16(s);
  for (char16_t& c : u) c = ToUpper(c);
  return utf::ToUtf8(u);
}

std::string LCase(std::string_view s) {
  if (utf::IsAscii(s)) {
    std::string out(s);
    for (char& c : out) c = text::LowerAscii(c);
    return out;
  }
  std::u16string u = utf::ToUtf16(s);
  for (char16_t& c : u) c = ToLower(c);
  return utf::ToUtf8(u);
}

std::string Mid(std::string_view s, std::int32_t start, std::int32_t length) {
  if (start < 1 || length < -1) InvalidCall();
  const auto from = static_cast<std::size_t>(start - 1);
  const std::size_t count = length < 0 ? std::string_view::npos : static_cast<std::size_t>(length);
  if (utf::IsAscii(s)) return from >= s.size() ? std::string() : std::string(s.substr(from, count));
  const std::u16string u = utf::ToUtf16(s);
  if (from >= u.size()) return std::string();
  return utf::ToUtf8(std::u16string_view(u).substr(from, count));
}

std::string Left(std::string_view s, std::int32_t n) {
  if (n < 0) InvalidCall();
  return Mid(s, 1, n);
}

std::string Right(std::string_view s, std::int32_t n) {
  if (n < 0) InvalidCall();
  if (utf::IsAscii(s)) return std::string(s.substr(s.size() - std::min(s.size(), static_cast<std::size_t>(n))));
  const std::u16string u = utf::ToUtf16(s);
  const std::size_t k = std::min(u.size(), static_cast<std::size_t>(n));
  return utf::ToUtf8(std::u16string_view(u).substr(u.size() - k));
}

std::int32_t InStr(std::int32_t start, std::string_view s, std::string_view find, Compare compare) {
  if (start < 1) InvalidCall();
  const std::u16string u = utf::ToUtf16(s);
  const auto from = static_cast<std::size_t>(start - 1);
  if (find.empty()) return from <= u.size() ? start : 0;
  if (from >= u.size()) return 0;
  const std::u16string f = utf::ToUtf16(find);
  const std::size_t at = Finder(u, f, compare).Next(from);
  return at == std::u16string::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

std::int32_t InStrRev(std::string_view s, std::string_view find, Compare compare) {
  const std::u16string u = utf::ToUtf16(s);
  if (find.empty()) return static_cast<std::int32_t>(u.size());
  const std::u16string f = utf::ToUtf16(find);
  const std::size_t at = Finder(u, f, compare).Last();
  return at == std::u16string::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

std::string Replace(std::string_view s, std::string_view find, std::string_view with, std::int32_t start,
                    std::int32_t count, Compare compare, std::size_t max_string, const Poll& poll) {
  if (start < 1 || count < -1) InvalidCall();
  if (find.empty() || count == 0) return std::string(s);
  const std::u16string u = Utf16Of(s, poll);
  const std::u16string f = utf::ToUtf16(find);
  const std::u16string w = utf::ToUtf16(with);
  const Finder finder(u, f, compare, poll);
  // Two passes over the occurrences: the first counts the result's UTF-8
  // size, so that a result over the limit is refused before any of it is
  // built; the second builds it.
  const std::size_t first = std::min(u.size(), static_cast<std::size_t>(start - 1));
  auto each = [&](auto&& kept_then_with) {
    std::size_t pos = first;
    for (std::int64_t left = count, n = 1; left != 0; left = left > 0 ? left - 1 : left, ++n) {
      if (n % kOccurrences == 0) poll();
      const std::size_t at = finder.Next(pos);
      if (at == std::u16string::npos) break;
      kept_then_with(std::u16string_view(u).substr(pos, at - pos));
      pos = at + f.size();
    }
    return std::u16string_view(u).substr(pos);
  };
  const std::u16string_view head = std::u16string_view(u).substr(0, first);
  Utf8Count size;
  size.Add(head);
  size.Add(each([&](std::u16string_view kept) {
    size.Add(kept);
    size.Add(w);
  }));
  CheckLength(size.Bytes(), max_string);
  std::u16string out(head);
  out.reserve(size.Bytes());
  out += each([&](std::u16string_view kept) {
    out += kept;
    out += w;
  });
  return Utf8Of(out, poll, size.Bytes());
}

std::string_view LTrim(std::string_view s) { return text::TrimStart(s, " "); }
std::string_view RTrim(std::string_view s) { return text::TrimEnd(s, " "); }
std::string_view Trim(std::string_view s) { return text::Trim(s, " "); }

std::string Space(std::int32_t n, std::size_t max_string) { return Repeat(n, " ", max_string); }

std::string Repeat(std::int32_t n, std::string_view character, std::size_t max_string) {
  if (n < 0) InvalidCall();
  const auto count = static_cast<std::size_t>(n);
  if (!character.empty() && count > max_string / character.size()) RaiseStandard(kErrOutOfStringSpace);
  std::string out;
  out.reserve(count * character.size());
  for (std::size_t i = 0; i < count; ++i) out += character;
  return out;
}

std::string_view FirstCharacter(std::string_view s) {
  if (s.empty()) InvalidCall();
  // A malformed lead byte or sequence: the one byte that decodes to U+FFFD.
  const utf::Sequence q = utf::DecodeAt(s, 0, utf::Surrogates::Accepted);
  return s.substr(0, q.well_formed ? q.length : 1);
}

std::string StrReverse(std::string_view s) {
  std::u16string u = utf::ToUtf16(s);
  std::reverse(u.begin(), u.end());
  for (std::size_t i = 0; i < u.size(); ++i) {
    const char16_t c = u[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
      ++i;  // a pair that reads correctly in the new order
      continue;
    }
    if (IsSurrogate(c)) u[i] = 0xFFFD;
  }
  return utf::ToUtf8(u);
}

int StrComp(std::string_view a, std::string_view b, Compare compare) {
  std::u16string x = utf::ToUtf16(a);
  std::u16string y = utf::ToUtf16(b);
  if (compare == Compare::Text) {
    x = Fold(x);
    y = Fold(y);
  }
  const int c = x.compare(y);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::int32_t AscW(std::string_view s) {
  if (s.empty()) InvalidCall();
  return utf::ToUtf16(FirstCharacter(s))[0];
}

std::string ChrW(std::int32_t code) {
  if (code < 0 || code > 0xFFFF) InvalidCall();
  const char16_t unit = static_cast<char16_t>(code);
  return utf::ToUtf8(std::u16string_view(&unit, 1));
}

std::string Oct(std::int32_t value, int bits) {
  std::uint32_t v = static_cast<std::uint32_t>(value);
  if (bits == 16) v &= 0xFFFFu;
  std::string out;
  do {
    out.push_back(static_cast<char>('0' + (v & 7u)));
    v >>= 3;
  } while (v != 0);
  std::reverse(out.begin(), out.end());
  return out;
}

std::vector<std::string> Split(std::string_view s, std::string_view delimiter, std::int32_t count, Compare compare,
                               std::size_t max_parts, const Poll& poll) {
  if (count < -1) InvalidCall();
  std::vector<std::string> parts;
  if (s.empty() || count == 0) return parts;
  if (delimiter.empty() || count == 1) {
    parts.emplace_back(s);
    return parts;
  }
  const std::u16string u = Utf16Of(s, poll);
  const std::u16string d = utf::ToUtf16(delimiter);
  const Finder finder(u, d, compare, poll);
  const std::size_t wanted = count < 0 ? std::numeric_limits<std::size_t>::max() : static_cast<std::size_t>(count);
  if (u.size() / d.size() >= max_parts && wanted > max_parts) {
    // Text that could hold too many parts: counted first, so that too many
    // are refused before any is made.
    std::size_t n = 1;
    for (std::size_t at = finder.Next(0); at != std::u16string::npos && n < wanted; at = finder.Next(at + d.size())) {
      if (++n > max_parts) RaiseStandard(kErrOutOfMemory);
      if (n % kOccurrences == 0) poll();
    }
  }
  std::size_t pos = 0;
  while (parts.size() + 1 < wanted) {
    if ((parts.size() + 1) % kOccurrences == 0) poll();
    const std::size_t at = finder.Next(pos);
    if (at == std::u16string::npos) break;
    parts.push_back(Utf8Of(std::u16string_view(u).substr(pos, at - pos), poll));
    pos = at + d.size();
  }
  parts.push_back(Utf8Of(std::u16string_view(u).substr(pos), poll));
  return parts;
}

std::string Join(std::span<const std::string_view> parts, std::string_view delimiter, std::size_t max_string) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    total += parts[i].size() + (i > 0 ? delimiter.size() : 0);
    CheckLength(total, max_string);
  }
  std::string out;
  out.reserve(total);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += delimiter;
    out += parts[i];
  }
  return out;
}

}  // namespace halvane::strings
