// Output texts with fields, and the one way a component builds its output.
//
// A component keeps each block it emits as one whole text, written as it
// appears in the page with LF line ends, and marks each place a value goes as
// "@Name@" ('@' occurs nowhere else in such a text).  Compile takes the text
// apart at build time: its line ends become CR LF, its literal pieces are
// laid end to end and its fields become numbers into the list of names.
//
//   inline constexpr std::string_view kNodeRaw = R"(<a href="@URI@">@Name@</a>
//   )";
//   inline constexpr auto kNode = text::Compile<kNodeRaw>({"URI", "Name"});
//
// At run time Build (or Append) takes the filled texts of a result, sizes
// the result exactly, grows it once and copies every piece and value once:
//
//   std::string out = script_emitted_ ? text::Build(text::Fill<kNode>(uri, name))   // values in the order
//                                     : text::Build(text::Fill<kScript>(), text::Fill<kNode>(uri, name));
//
// A field name missing from the list, or an unclosed "@", fails to compile.
// Values are copied as they are; they are never scanned, so a value holding
// '@' is spliced unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "core/text.h"

namespace halvane::text {

// Number of "@Name@" fields in a text.
consteval std::size_t FieldCount(std::string_view raw) {
  std::size_t markers = 0;
  for (char c : raw) markers += (c == '@') ? 1 : 0;
  if (markers % 2 != 0) throw "a field marker '@' is not closed";
  return markers / 2;
}

// Number of literal characters of a text once its fields are taken out and
// every LF is replaced by CR LF.
consteval std::size_t LiteralSize(std::string_view raw) {
  std::size_t n = 0;
  bool in_field = false;
  for (char c : raw) {
    if (c == '@') {
      in_field = !in_field;
    } else if (!in_field) {
      n += (c == '\n') ? 2 : 1;
    }
  }
  return n;
}

// A compiled text: `Fields` fields over `Names` distinct names.  Piece i is
// the literal text before field i; piece Fields is the text after the last
// field.  The pieces are held in `chars`, one after another.
template <std::size_t Size, std::size_t Fields, std::size_t Names>
struct Template {
  static constexpr std::size_t kSize = Size;
  static constexpr std::size_t kFields = Fields;
  static constexpr std::size_t kNames = Names;
  std::array<char, Size + (Size == 0 ? 1 : 0)> chars{};
  std::array<std::uint32_t, Fields + 1> piece_begin{};  // in chars
  std::array<std::uint32_t, Fields + 1> piece_size{};
  std::array<std::uint8_t, Fields + (Fields == 0 ? 1 : 0)> field{};  // name number of field i
  std::array<std::uint32_t, Names + (Names == 0 ? 1 : 0)> uses{};    // how often each name occurs

  // The whole text of a template without fields.
  constexpr std::string_view literal() const { return std::string_view(chars.data(), Size); }
};

namespace detail {

// A plain loop: string_view's comparison is not a constant expression in
// every build mode (with the undefined-behaviour sanitizer, GCC rejects it).
consteval bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

template <std::size_t Size, std::size_t Fields, std::size_t Names>
consteval Template<Size, Fields, Names> CompileText(std::string_view raw, const std::string_view* names) {
  static_assert(Names < 256, "a field number is one byte");
  Template<Size, Fields, Names> t{};
  std::size_t out = 0;    // characters written to t.chars
  std::size_t piece = 0;  // characters of the current piece
  std::size_t fields = 0;
  for (std::size_t pos = 0; pos < raw.size(); ++pos) {
    const char c = raw[pos];
    if (c != '@') {
      if (c == '\n') {
        t.chars[out++] = '\r';
        ++piece;
      }
      t.chars[out++] = c;
      ++piece;
      continue;
    }
    std::size_t close = pos + 1;
    while (close < raw.size() && raw[close] != '@') ++close;
    if (close == raw.size()) throw "a field marker '@' is not closed";
    const std::string_view name = raw.substr(pos + 1, close - pos - 1);
    std::size_t n = 0;
    while (n < Names && !SameText(names[n], name)) ++n;
    if (n == Names) throw "a field of the text is not in the name list";
    t.piece_begin[fields] = static_cast<std::uint32_t>(out - piece);
    t.piece_size[fields] = static_cast<std::uint32_t>(piece);
    t.field[fields] = static_cast<std::uint8_t>(n);
    ++t.uses[n];
    ++fields;
    piece = 0;
    pos = close;
  }
  t.piece_begin[Fields] = static_cast<std::uint32_t>(out - piece);
  t.piece_size[Fields] = static_cast<std::uint32_t>(piece);
  for (std::size_t n = 0; n < Names; ++n) {
    if (t.uses[n] == 0) throw "a name of the list is not a field of the text";
  }
  return t;
}

}  // namespace detail

// Compiles the text `Raw` (which must have static storage) against its field
// names, given in the order Fill takes the values.
template <const std::string_view& Raw, std::size_t Names>
consteval auto Compile(const std::string_view (&names)[Names]) {
  return detail::CompileText<LiteralSize(Raw), FieldCount(Raw), Names>(Raw, names);
}

// A text without fields.
template <const std::string_view& Raw>
consteval auto Compile() {
  return detail::CompileText<LiteralSize(Raw), FieldCount(Raw), 0>(Raw, nullptr);
}

// Copies a value to `p` and returns the end.  Most values are short (numbers,
// colours, names): those are copied inline, as two overlapping blocks of 8,
// 4 or 1 character, instead of by a call.
[[gnu::always_inline]] inline char* CopyValue(char* p, std::string_view value) {
  const std::size_t n = value.size();
  const char* s = value.data();
  if (n >= 8) {
    if (n > 16) {
      std::memcpy(p, s, n);
    } else {
      std::memcpy(p, s, 8);
      std::memcpy(p + n - 8, s + n - 8, 8);
    }
  } else if (n >= 4) {
    std::memcpy(p, s, 4);
    std::memcpy(p + n - 4, s + n - 4, 4);
  } else if (n > 0) {
    p[0] = s[0];
    p[n / 2] = s[n / 2];
    p[n - 1] = s[n - 1];
  }
  return p + n;
}

// A compiled text with its values, given in the order of the names.  Holds
// views only: the values must outlive the Build or Append call.
template <const auto& T>
struct Filled {
  std::array<std::string_view, T.kNames> values;

  // The length of the filled text: its literal text plus every value as
  // often as its field occurs.
  std::size_t size() const {
    std::size_t n = T.kSize;
    for (std::size_t i = 0; i < T.kNames; ++i) n += T.uses[i] * values[i].size();
    return n;
  }

  // Appends the filled text, `n` characters (its size()), to `out`, which has
  // the room for them.
  //
  // Growing a string by resizing it clears the new room before it is copied
  // into; appending does not, but each append checks and sets the string's
  // length.  A text of several short pieces and values (most of them) is
  // copied into cleared room; a text of one or two pieces, or one whose
  // pieces are long on average, where clearing would cost more than the
  // appends, is appended piece by piece.
  [[gnu::always_inline]] void AppendTo(std::string& out, std::size_t n) const {
    constexpr std::size_t kCopies = 2 * T.kFields + 1;
    constexpr std::size_t kLongPiece = 256;
    if (T.kFields > 1 && n <= kLongPiece * kCopies) {
      const std::size_t old = out.size();
      out.resize(old + n);
      CopyPieces(out.data() + old, std::make_index_sequence<T.kFields>{});
    } else {
      AppendPieces(out, std::make_index_sequence<T.kFields>{});
    }
  }

 private:
  // Piece I of the text; its place and length are compile-time constants.
  template <std::size_t I>
  [[gnu::always_inline]] static char* CopyPiece(char* p) {
    std::memcpy(p, T.chars.data() + T.piece_begin[I], T.piece_size[I]);
    return p + T.piece_size[I];
  }

  template <std::size_t... I>
  [[gnu::always_inline]] void CopyPieces(char* p, std::index_sequence<I...>) const {
    ((p = CopyValue(CopyPiece<I>(p), values[T.field[I]])), ...);
    CopyPiece<T.kFields>(p);
  }

  template <std::size_t... I>
  [[gnu::always_inline]] void AppendPieces(std::string& out, std::index_sequence<I...>) const {
    ((out.append(T.chars.data() + T.piece_begin[I], T.piece_size[I]), out.append(values[T.field[I]])), ...);
    out.append(T.chars.data() + T.piece_begin[T.kFields], T.piece_size[T.kFields]);
  }
};

template <const auto& T, class... Values>
Filled<T> Fill(const Values&... values) {
  static_assert(sizeof...(Values) == T.kNames, "one value for every field name, in the order of the names");
  return Filled<T>{{std::string_view(values)...}};
}

// A part of a result is a filled text or a text already made (copied as it is).
inline std::size_t PartSize(std::string_view part) { return part.size(); }
inline void AppendPart(std::string& out, std::string_view part, std::size_t) { out.append(part); }
template <const auto& T>
std::size_t PartSize(const Filled<T>& part) {
  return part.size();
}
template <const auto& T>
[[gnu::always_inline]] inline void AppendPart(std::string& out, const Filled<T>& part, std::size_t n) {
  part.AppendTo(out, n);
}

// Appends the parts to `out`: grows it once by their exact size, then copies
// each part into place.  If growing fails, `out` is unchanged.  No part may
// view the text of `out` itself.  A part a call leaves out is left out by
// the caller, which chooses the call with or without it.
template <class... Parts>
[[gnu::always_inline]] inline void Append(std::string& out, const Parts&... parts) {
  const std::size_t sizes[] = {PartSize(parts)..., 0};
  std::size_t add = 0;
  for (std::size_t n : sizes) add += n;
  out.reserve(out.size() + add);
  std::size_t i = 0;
  (AppendPart(out, parts, sizes[i++]), ...);
}

// The parts, one after another, in a string allocated once.
template <class... Parts>
std::string Build(const Parts&... parts) {
  std::string out;
  Append(out, parts...);
  return out;
}

}  // namespace halvane::text
