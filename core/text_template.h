// Field templates taken apart at compile time.
//
// A template text marks each place a value goes as "@Name@" (as for
// text::AppendFilled).  Compiling it once, at build time, against the list of
// its field names turns it into literal pieces and field numbers, so filling
// it at run time is only copying: no search for markers, no name comparisons,
// and the exact size of the result is known before anything is copied.
//
//   constexpr auto kNode =
//       text::CompileTemplate<text::FieldCount(kNodeText), 3>(kNodeText, {"Target", "URI", "NodeName"});
//   text::AppendTemplate<kNode>(out, target, uri, name);   // values in the order of the names
//
// A field name missing from the list, or an unclosed "@", fails to compile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace halvane::text {

// Number of "@Name@" fields in a template text.
consteval std::size_t FieldCount(std::string_view tmpl) {
  std::size_t markers = 0;
  for (char c : tmpl) markers += (c == '@') ? 1 : 0;
  if (markers % 2 != 0) throw "a field marker '@' is not closed";
  return markers / 2;
}

// The position of the next '@' from `pos`, or the text's size.  A plain
// loop: string_view::find is not a constant expression in every build mode
// (with the undefined-behaviour sanitizer, GCC rejects it here).
constexpr std::size_t FindMarker(std::string_view tmpl, std::size_t pos) {
  while (pos < tmpl.size() && tmpl[pos] != '@') ++pos;
  return pos;
}

// `Fields` fields over `Names` distinct names.  Piece i is the literal text
// before field i; piece Fields is the text after the last field.
template <std::size_t Fields, std::size_t Names>
struct Template {
  std::string_view text;
  std::array<std::uint32_t, Fields + 1> piece_begin{};
  std::array<std::uint32_t, Fields + 1> piece_size{};
  std::array<std::uint8_t, Fields + (Fields == 0 ? 1 : 0)> field{};  // name number of field i
  std::array<std::uint32_t, Names + (Names == 0 ? 1 : 0)> uses{};    // how often each name occurs
  std::size_t literal_size = 0;
};

// `tmpl` must have static storage (a constexpr text): the compiled template
// keeps a view of it.
template <std::size_t Fields, std::size_t Names>
consteval Template<Fields, Names> CompileTemplate(std::string_view tmpl,
                                                  std::initializer_list<std::string_view> names) {
  if (names.size() != Names) throw "the name list does not have Names entries";
  Template<Fields, Names> t{};
  t.text = tmpl;
  std::size_t pos = 0;
  for (std::size_t i = 0; i < Fields; ++i) {
    const std::size_t open = FindMarker(tmpl, pos);
    if (open == tmpl.size()) throw "fewer fields than Fields";
    const std::size_t close = FindMarker(tmpl, open + 1);
    if (close == tmpl.size()) throw "a field marker '@' is not closed";
    t.piece_begin[i] = static_cast<std::uint32_t>(pos);
    t.piece_size[i] = static_cast<std::uint32_t>(open - pos);
    t.literal_size += open - pos;
    std::size_t n = 0;
    for (std::string_view candidate : names) {
      bool same = candidate.size() == close - open - 1;
      for (std::size_t k = 0; same && k < candidate.size(); ++k) same = candidate[k] == tmpl[open + 1 + k];
      if (same) break;
      ++n;
    }
    if (n == Names) throw "a field of the template is not in the name list";
    t.field[i] = static_cast<std::uint8_t>(n);
    ++t.uses[n];
    pos = close + 1;
  }
  if (FindMarker(tmpl, pos) != tmpl.size()) throw "more fields than Fields";
  t.piece_begin[Fields] = static_cast<std::uint32_t>(pos);
  t.piece_size[Fields] = static_cast<std::uint32_t>(tmpl.size() - pos);
  t.literal_size += tmpl.size() - pos;
  return t;
}

// The length of the filled template: its literal text plus every value as
// often as its field occurs.
template <const auto& T, class... Values>
std::size_t TemplateSize(const Values&... values) {
  static_assert(sizeof...(Values) == T.uses.size() || (sizeof...(Values) == 0 && T.uses.size() == 1),
                "one value for every field name");
  const std::string_view v[] = {std::string_view(values)..., std::string_view()};
  std::size_t n = T.literal_size;
  for (std::size_t i = 0; i < sizeof...(Values); ++i) n += T.uses[i] * v[i].size();
  return n;
}

// Appends the filled template: grows `out` once by the exact size, then
// copies the pieces and values into it.  The template is a compile-time
// constant, so every piece is copied with a known length.  Values are copied
// as they are.
template <const auto& T, class... Values>
void AppendTemplate(std::string& out, const Values&... values) {
  const std::size_t add = TemplateSize<T>(values...);
  const std::string_view v[] = {std::string_view(values)..., std::string_view()};
  const std::size_t old = out.size();
  out.resize(old + add);
  char* p = out.data() + old;
  constexpr std::size_t kFields = T.piece_size.size() - 1;
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (
        [&] {
          std::memcpy(p, T.text.data() + T.piece_begin[I], T.piece_size[I]);
          p += T.piece_size[I];
          const std::string_view value = v[T.field[I]];
          if (!value.empty()) std::memcpy(p, value.data(), value.size());
          p += value.size();
        }(),
        ...);
  }
  (std::make_index_sequence<kFields>{});
  std::memcpy(p, T.text.data() + T.piece_begin[kFields], T.piece_size[kFields]);
}

// ---- texts joined at compile time ---------------------------------------------

// Joins compile-time texts into one, for a template whose literal pieces are
// kept as separate constants:
//   constexpr std::array kParts = {kOpen, std::string_view("@n@"), kClose};
//   constexpr auto kText = text::Join<text::JoinedSize(kParts)>(kParts);
template <std::size_t N>
struct Joined {
  std::array<char, N> chars{};
  constexpr std::string_view view() const { return std::string_view(chars.data(), N); }
};

template <std::size_t K>
consteval std::size_t JoinedSize(const std::array<std::string_view, K>& parts) {
  std::size_t n = 0;
  for (std::string_view part : parts) n += part.size();
  return n;
}

template <std::size_t N, std::size_t K>
consteval Joined<N> Join(const std::array<std::string_view, K>& parts) {
  Joined<N> out{};
  std::size_t j = 0;
  for (std::string_view part : parts) {
    for (char c : part) out.chars[j++] = c;
  }
  return out;
}

// The decimal text of a number (a leading "-" for negatives), held in place
// so that it can be measured before it is copied.  Written inline: output
// methods splice several small numbers per call.
class DecimalText {
 public:
  explicit DecimalText(std::int32_t v) {
    // Two digits at a time from a table of "00" to "99".
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    std::uint32_t u = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
    std::size_t i = sizeof buf_;
    while (u >= 100) {
      const std::uint32_t pair = u % 100 * 2;
      u /= 100;
      buf_[--i] = kPairs[pair + 1];
      buf_[--i] = kPairs[pair];
    }
    if (u >= 10) {
      buf_[--i] = kPairs[u * 2 + 1];
      buf_[--i] = kPairs[u * 2];
    } else {
      buf_[--i] = static_cast<char>('0' + u);
    }
    if (v < 0) buf_[--i] = '-';
    begin_ = i;
  }
  operator std::string_view() const { return std::string_view(buf_ + begin_, sizeof buf_ - begin_); }

 private:
  char buf_[11];  // "-2147483648"
  std::size_t begin_;
};

}  // namespace halvane::text
