#include "host/script/lexer.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <utility>

namespace halvane::script {
namespace {

struct KeywordName {
  std::string_view name;  // lower case
  Kw kw;
};
constexpr std::array<KeywordName, 23> kKeywords = {{
    {"dim", Kw::Dim},       {"set", Kw::Set},         {"call", Kw::Call},
    {"for", Kw::For},       {"to", Kw::To},           {"step", Kw::Step},
    {"next", Kw::Next},     {"if", Kw::If},           {"then", Kw::Then},
    {"else", Kw::Else},     {"end", Kw::End},         {"on", Kw::On},
    {"error", Kw::Error},   {"resume", Kw::Resume},   {"goto", Kw::GoTo},
    {"true", Kw::True},     {"false", Kw::False},     {"null", Kw::Null},
    {"empty", Kw::Empty},   {"vbcrlf", Kw::VbCrLf},   {"sleep", Kw::Sleep},
    {"response", Kw::Response}, {"err", Kw::Err},
}};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

class Lexer {
 public:
  explicit Lexer(std::string_view src) : s_(src) {
    if (s_.substr(0, 3) == "\xEF\xBB\xBF") i_ = line_start_ = 3;  // byte-order mark
  }

  std::vector<Token> Run() {
    std::vector<Token> out;
    for (;;) {
      SkipBlanks();
      if (i_ >= s_.size()) {
        out.push_back(Make(Tok::EndOfFile));
        return out;
      }
      char c = s_[i_];
      if (c == '\'') {  // comment to the end of the line
        while (i_ < s_.size() && s_[i_] != '\n' && s_[i_] != '\r') ++i_;
        continue;
      }
      if (c == '\n' || c == '\r') {
        out.push_back(Make(Tok::EndOfStatement));
        out.back().text.assign(1, '\n');
        NewLine();
        continue;
      }
      Token t = Make(Tok::EndOfFile);
      if (IsLetter(c)) {
        std::size_t b = i_;
        while (i_ < s_.size() && (IsLetter(s_[i_]) || IsDigit(s_[i_]) || s_[i_] == '_')) ++i_;
        t.text = std::string(s_.substr(b, i_ - b));
        t.lower = t.text;
        for (char& ch : t.lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        t.kind = Tok::Identifier;
        for (const auto& k : kKeywords) {
          if (k.name == t.lower) {
            t.kind = Tok::Keyword;
            t.kw = k.kw;
            break;
          }
        }
      } else if (IsDigit(c)) {
        LexNumber(t);
      } else if (c == '&' && i_ + 2 < s_.size() && (s_[i_ + 1] == 'h' || s_[i_ + 1] == 'H') &&
                 IsHexDigit(s_[i_ + 2])) {
        LexHex(t);
      } else if (c == '"') {
        LexString(t);
      } else if (c == '#') {
        LexDate(t);
      } else {
        ++i_;
        t.text = std::string(1, c);
        switch (c) {
          case '&': t.kind = Tok::Amp; break;
          case '-': t.kind = Tok::Minus; break;
          case '(': t.kind = Tok::LParen; break;
          case ')': t.kind = Tok::RParen; break;
          case ',': t.kind = Tok::Comma; break;
          case '.': t.kind = Tok::Dot; break;
          case '=': t.kind = Tok::Equals; break;
          case ':': t.kind = Tok::EndOfStatement; break;
          default: {
            --i_;
            std::size_t n = 1;
            while (i_ + n < s_.size() && (static_cast<unsigned char>(s_[i_ + n]) & 0xC0) == 0x80) ++n;
            throw SyntaxError(Here(), "unexpected character '" + std::string(s_.substr(i_, n)) + "'");
          }
        }
      }
      out.push_back(std::move(t));
    }
  }

 private:
  // Columns count characters: UTF-8 continuation bytes do not start one.
  // Positions only move forward within a line, so counting resumes where
  // the previous call stopped.
  Pos Here() const {
    if (col_line_ != line_ || col_at_ > i_) {
      col_line_ = line_;
      col_at_ = line_start_;
      col_ = 1;
    }
    for (; col_at_ < i_ && col_at_ < s_.size(); ++col_at_) {
      if ((static_cast<unsigned char>(s_[col_at_]) & 0xC0) != 0x80) ++col_;
    }
    return Pos{line_, col_};
  }

  Token Make(Tok kind) const {
    Token t;
    t.kind = kind;
    t.pos = Here();
    return t;
  }

  void NewLine() {
    if (s_[i_] == '\r' && i_ + 1 < s_.size() && s_[i_ + 1] == '\n') ++i_;
    ++i_;
    ++line_;
    line_start_ = i_;
  }

  // Blanks, and a " _" at the end of a line that joins it to the next.
  void SkipBlanks() {
    for (;;) {
      while (i_ < s_.size() && IsBlank(s_[i_])) ++i_;
      if (i_ < s_.size() && s_[i_] == '_' && i_ > line_start_ && IsBlank(s_[i_ - 1])) {
        std::size_t k = i_ + 1;
        while (k < s_.size() && IsBlank(s_[k])) ++k;
        if (k >= s_.size() || s_[k] == '\n' || s_[k] == '\r') {
          i_ = k;
          if (i_ < s_.size()) NewLine();
          continue;
        }
      }
      return;
    }
  }

  void LexNumber(Token& t) {
    std::size_t b = i_;
    bool whole = true;
    while (i_ < s_.size() && IsDigit(s_[i_])) ++i_;
    if (i_ + 1 < s_.size() && s_[i_] == '.' && IsDigit(s_[i_ + 1])) {
      whole = false;
      ++i_;
      while (i_ < s_.size() && IsDigit(s_[i_])) ++i_;
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      std::size_t k = i_ + 1;
      if (k < s_.size() && (s_[k] == '+' || s_[k] == '-')) ++k;
      if (k < s_.size() && IsDigit(s_[k])) {
        whole = false;
        i_ = k;
        while (i_ < s_.size() && IsDigit(s_[i_])) ++i_;
      }
    }
    if (i_ < s_.size() && (IsLetter(s_[i_]) || s_[i_] == '_' || s_[i_] == '.')) {
      throw SyntaxError(t.pos, "invalid number '" + std::string(s_.substr(b, i_ + 1 - b)) + "'");
    }
    t.text = std::string(s_.substr(b, i_ - b));
    double d = 0;
    auto r = std::from_chars(t.text.data(), t.text.data() + t.text.size(), d);
    if (r.ec != std::errc() || !std::isfinite(d)) {
      throw SyntaxError(t.pos, "number out of range '" + t.text + "'");
    }
    t.kind = Tok::Number;
    t.whole = whole;
    t.magnitude = d;
    t.value = whole ? WholeLiteral(d) : Variant(d);
  }

  void LexHex(Token& t) {
    std::size_t b = i_;
    i_ += 2;
    double v = 0;
    std::size_t digits = 0;
    while (i_ < s_.size() && IsHexDigit(s_[i_])) {
      char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s_[i_])));
      v = v * 16 + (IsDigit(c) ? c - '0' : c - 'a' + 10);
      ++i_;
      ++digits;
    }
    t.text = std::string(s_.substr(b, i_ - b));
    if (digits > 16) throw SyntaxError(t.pos, "number out of range '" + t.text + "'");
    if (i_ < s_.size() && (IsLetter(s_[i_]) || s_[i_] == '_')) {
      throw SyntaxError(t.pos, "invalid number '" + std::string(s_.substr(b, i_ + 1 - b)) + "'");
    }
    t.kind = Tok::Number;
    t.whole = true;
    t.magnitude = v;
    t.value = WholeLiteral(v);
  }

  void LexString(Token& t) {
    ++i_;
    std::string text;
    for (;;) {
      if (i_ >= s_.size() || s_[i_] == '\n' || s_[i_] == '\r') {
        throw SyntaxError(t.pos, "unterminated string: expected '\"' before the end of the line");
      }
      if (s_[i_] == '"') {
        if (i_ + 1 < s_.size() && s_[i_ + 1] == '"') {
          text += '"';
          i_ += 2;
          continue;
        }
        ++i_;
        break;
      }
      text += s_[i_++];
    }
    t.kind = Tok::String;
    t.text = text;
    t.value = Variant(std::move(text));
  }

  void LexDate(Token& t) {
    std::size_t b = ++i_;
    while (i_ < s_.size() && s_[i_] != '#' && s_[i_] != '\n' && s_[i_] != '\r') ++i_;
    if (i_ >= s_.size() || s_[i_] != '#') {
      throw SyntaxError(t.pos, "unterminated date literal: expected '#' before the end of the line");
    }
    std::string_view inner = s_.substr(b, i_ - b);
    ++i_;
    auto d = ReadDate(inner);
    if (!d) throw SyntaxError(t.pos, "invalid date literal '#" + std::string(inner) + "#'");
    t.kind = Tok::Date;
    t.text.assign(1, '#').append(inner).push_back('#');
    t.value = Variant::Date(*d);
  }

  std::string_view s_;
  std::size_t i_ = 0;
  std::size_t line_start_ = 0;
  int line_ = 1;
  mutable int col_line_ = 0;
  mutable std::size_t col_at_ = 0;
  mutable int col_ = 1;
};

}  // namespace

Variant WholeLiteral(double value) {
  if (value >= -32768.0 && value <= 32767.0) return Variant(static_cast<std::int16_t>(value));
  if (value >= -2147483648.0 && value <= 2147483647.0) return Variant(static_cast<std::int32_t>(value));
  return Variant(value);
}

std::vector<Token> Lex(std::string_view source) { return Lexer(source).Run(); }

std::string Describe(const Token& t) {
  switch (t.kind) {
    case Tok::EndOfFile: return "end of file";
    case Tok::EndOfStatement: return t.text == ":" ? "':'" : "end of line";
    case Tok::String: return "string \"" + t.text + "\"";
    case Tok::Number: return "number " + t.text;
    case Tok::Date: return "date " + t.text;
    default: return "'" + t.text + "'";
  }
}

}  // namespace halvane::script
