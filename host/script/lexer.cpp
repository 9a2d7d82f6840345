#include "host/script/lexer.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "core/date_text.h"
#include "core/text.h"
#include "core/utf.h"

namespace halvane::script {
namespace {

struct KeywordName {
  std::string_view name;  // lower case
  Kw kw;
};
constexpr std::array<KeywordName, 60> kKeywords = {{
    {"and", Kw::And},
    {"byref", Kw::ByRef},
    {"byval", Kw::ByVal},
    {"call", Kw::Call},
    {"case", Kw::Case},
    {"dim", Kw::Dim},
    {"do", Kw::Do},
    {"each", Kw::Each},
    {"else", Kw::Else},
    {"elseif", Kw::ElseIf},
    {"empty", Kw::Empty},
    {"end", Kw::End},
    {"erase", Kw::Erase},
    {"error", Kw::Error},
    {"exit", Kw::Exit},
    {"explicit", Kw::Explicit},
    {"false", Kw::False},
    {"for", Kw::For},
    {"function", Kw::Function},
    {"goto", Kw::GoTo},
    {"if", Kw::If},
    {"in", Kw::In},
    {"is", Kw::Is},
    {"loop", Kw::Loop},
    {"mod", Kw::Mod},
    {"next", Kw::Next},
    {"not", Kw::Not},
    {"nothing", Kw::Nothing},
    {"null", Kw::Null},
    {"on", Kw::On},
    {"option", Kw::Option},
    {"or", Kw::Or},
    {"preserve", Kw::Preserve},
    {"redim", Kw::ReDim},
    {"rem", Kw::Rem},
    {"resume", Kw::Resume},
    {"select", Kw::Select},
    {"set", Kw::Set},
    {"sleep", Kw::Sleep},
    {"step", Kw::Step},
    {"sub", Kw::Sub},
    {"then", Kw::Then},
    {"to", Kw::To},
    {"true", Kw::True},
    {"until", Kw::Until},
    {"wend", Kw::Wend},
    {"while", Kw::While},
    {"xor", Kw::Xor},
    {"request", Kw::Request},
    {"response", Kw::Response},
    {"server", Kw::Server},
    {"err", Kw::Err},
    {"session", Kw::Session},
    {"application", Kw::Application},
    {"vbcrlf", Kw::VbCrLf},
    {"vbcr", Kw::VbCr},
    {"vblf", Kw::VbLf},
    {"vbtab", Kw::VbTab},
    {"vbbinarycompare", Kw::VbBinaryCompare},
    {"vbtextcompare", Kw::VbTextCompare},
}};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
using text::IsBlank;
int DigitValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

}  // namespace

bool FindKeyword(std::string_view lower, Kw& kw) {
  if (lower.empty()) return false;
  for (const auto& k : kKeywords) {
    if (k.name == lower) {
      kw = k.kw;
      return true;
    }
  }
  return false;
}

Lexer::Lexer(std::string_view src, int file) : s_(src), file_(file) {
  if (s_.substr(0, 3) == "\xEF\xBB\xBF") i_ = line_start_ = 3;  // byte-order mark
}

Token Lexer::Next() {
  for (;;) {
    bool blanks = SkipBlanks();
    Token t;
    t.pos = Here();
    t.space_before = blanks;
    if (i_ >= s_.size()) return t;  // EndOfFile
    char c = s_[i_];
    if (c == '\'') {  // comment to the end of the line
      while (i_ < s_.size() && s_[i_] != '\n' && s_[i_] != '\r') ++i_;
      continue;
    }
    if (c == '\n' || c == '\r') {
      t.kind = Tok::EndOfStatement;
      t.text.assign(1, '\n');
      NewLine();
      return t;
    }
    if (IsLetter(c)) {
      std::size_t b = i_;
      while (i_ < s_.size() && (IsLetter(s_[i_]) || IsDigit(s_[i_]) || s_[i_] == '_')) ++i_;
      t.text = std::string(s_.substr(b, i_ - b));
      t.lower = text::ToLowerAscii(t.text);
      t.kind = Tok::Identifier;
      if (FindKeyword(t.lower, t.kw)) {
        t.kind = Tok::Keyword;
        if (t.kw == Kw::Rem && (i_ >= s_.size() || IsBlank(s_[i_]) || s_[i_] == '\n' || s_[i_] == '\r')) {
          while (i_ < s_.size() && s_[i_] != '\n' && s_[i_] != '\r') ++i_;
          continue;
        }
      }
      return t;
    }
    if (IsDigit(c)) {
      LexNumber(t);
      return t;
    }
    if (c == '&' && i_ + 2 < s_.size()) {
      char r = s_[i_ + 1];
      if ((r == 'h' || r == 'H') && DigitValue(s_[i_ + 2]) < 16) {
        LexRadix(t, 16);
        return t;
      }
      if ((r == 'o' || r == 'O') && DigitValue(s_[i_ + 2]) < 8) {
        LexRadix(t, 8);
        return t;
      }
    }
    if (c == '"') {
      LexString(t);
      return t;
    }
    if (c == '#') {
      LexDate(t);
      return t;
    }
    ++i_;
    t.text = std::string(1, c);
    auto two = [&](char second, Tok kind) {
      if (i_ < s_.size() && s_[i_] == second) {
        t.text.push_back(second);
        ++i_;
        t.kind = kind;
        return true;
      }
      return false;
    };
    switch (c) {
      case '&': t.kind = Tok::Amp; break;
      case '+': t.kind = Tok::Plus; break;
      case '-': t.kind = Tok::Minus; break;
      case '*': t.kind = Tok::Star; break;
      case '/': t.kind = Tok::Slash; break;
      case '\\': t.kind = Tok::Backslash; break;
      case '^': t.kind = Tok::Caret; break;
      case '(': t.kind = Tok::LParen; break;
      case ')': t.kind = Tok::RParen; break;
      case ',': t.kind = Tok::Comma; break;
      case '.': t.kind = Tok::Dot; break;
      case '=': t.kind = Tok::Equals; break;
      case ':': t.kind = Tok::EndOfStatement; break;
      case '<':
        if (!two('>', Tok::NotEqual) && !two('=', Tok::LessEqual)) t.kind = Tok::Less;
        break;
      case '>':
        if (!two('=', Tok::GreaterEqual)) t.kind = Tok::Greater;
        break;
      default: {
        --i_;
        const std::size_t n = utf::DecodeAt(s_, i_, utf::Surrogates::Accepted).length;
        throw SyntaxError(t.pos, "unexpected character '" + std::string(s_.substr(i_, n)) + "'");
      }
    }
    return t;
  }
}

// Columns count characters: UTF-8 continuation bytes do not start one.
// Positions only move forward within a line, so counting resumes where the
// previous call stopped.
Pos Lexer::Here() const {
  if (col_line_ != line_ || col_at_ > i_) {
    col_line_ = line_;
    col_at_ = line_start_;
    col_ = 1;
  }
  for (; col_at_ < i_ && col_at_ < s_.size(); ++col_at_) {
    if (!utf::IsContinuation(s_[col_at_])) ++col_;
  }
  return Pos{line_, col_, file_};
}

void Lexer::NewLine() {
  if (s_[i_] == '\r' && i_ + 1 < s_.size() && s_[i_ + 1] == '\n') ++i_;
  ++i_;
  ++line_;
  line_start_ = i_;
}

// Blanks, and a " _" at the end of a line that joins it to the next.  Tells
// whether anything was skipped.
bool Lexer::SkipBlanks() {
  std::size_t start = i_;
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
    return i_ != start;
  }
}

void Lexer::LexNumber(Token& t) {
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

// &H and &O literals: the unsigned value of the digits, typed by range.
void Lexer::LexRadix(Token& t, int radix) {
  std::size_t b = i_;
  i_ += 2;
  double v = 0;
  std::size_t digits = 0;
  while (i_ < s_.size() && DigitValue(s_[i_]) < radix) {
    v = v * radix + DigitValue(s_[i_]);
    ++i_;
    ++digits;
  }
  t.text = std::string(s_.substr(b, i_ - b));
  if (digits > (radix == 16 ? 16u : 22u)) throw SyntaxError(t.pos, "number out of range '" + t.text + "'");
  if (i_ < s_.size() && (IsLetter(s_[i_]) || IsDigit(s_[i_]) || s_[i_] == '_')) {
    throw SyntaxError(t.pos, "invalid number '" + std::string(s_.substr(b, i_ + 1 - b)) + "'");
  }
  t.kind = Tok::Number;
  t.whole = true;
  t.magnitude = v;
  t.value = WholeLiteral(v);
}

void Lexer::LexString(Token& t) {
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

void Lexer::LexDate(Token& t) {
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

Variant WholeLiteral(double value) {
  if (value >= -32768.0 && value <= 32767.0) return Variant(static_cast<std::int16_t>(value));
  if (value >= -2147483648.0 && value <= 2147483647.0) return Variant(static_cast<std::int32_t>(value));
  return Variant(value);
}

std::string Describe(const Token& t) {
  switch (t.kind) {
    case Tok::EndOfFile: return "end of file";
    case Tok::EndOfStatement: return t.text == ":" ? "':'" : "end of line";
    case Tok::String: return "string \"" + t.text + "\"";
    case Tok::Number: return "number " + t.text;
    case Tok::Date: return "date " + t.text;
    case Tok::Text: return "page text";
    default: return "'" + t.text + "'";
  }
}

}  // namespace halvane::script
