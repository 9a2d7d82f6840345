// Tokens of a page script.  The lexer reads the source on demand, one token
// at a time, so a long script never exists as a whole token list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/variant.h"
#include "host/script/syntax_error.h"

namespace halvane::script {

enum class Tok {
  Identifier,  // a name that is not a keyword; `lower` holds it lower-cased
  Keyword,     // `kw` tells which
  Number,      // `value` holds the typed literal; `whole` tells a whole number
  String,      // `value` holds the String
  Date,        // `value` holds the Date
  Text,        // literal page text a template front end hands over; written as it stands
  Amp,
  Plus,
  Minus,
  Star,
  Slash,
  Backslash,
  Caret,
  Equals,
  NotEqual,
  Less,
  Greater,
  LessEqual,
  GreaterEqual,
  LParen,
  RParen,
  Comma,
  Dot,
  EndOfStatement,  // a line end or ':'
  EndOfFile,
};

// Reserved words.  The object names and the named constants are words too,
// so that none of them can be a variable.
enum class Kw : std::uint8_t {
  And,
  ByRef,
  ByVal,
  Call,
  Case,
  Dim,
  Do,
  Each,
  Else,
  ElseIf,
  Empty,
  End,
  Erase,
  Error,
  Exit,
  Explicit,
  False,
  For,
  Function,
  GoTo,
  If,
  In,
  Is,
  Loop,
  Mod,
  Next,
  Not,
  Nothing,
  Null,
  On,
  Option,
  Or,
  Preserve,
  ReDim,
  Rem,
  Resume,
  Select,
  Set,
  Sleep,
  Step,
  Sub,
  Then,
  To,
  True,
  Until,
  Wend,
  While,
  Xor,
  Request,
  Response,
  Server,
  Err,
  Session,
  Application,
  VbCrLf,
  VbCr,
  VbLf,
  VbTab,
  VbBinaryCompare,
  VbTextCompare,
};

struct Token {
  Tok kind = Tok::EndOfFile;
  Kw kw = Kw::Dim;
  Pos pos;
  std::string text;           // source spelling (strings and page text: the text itself)
  std::string lower;          // identifiers and keywords: lower-cased
  Variant value;              // literals
  bool whole = false;         // a whole-number literal (decimal, &H or &O)
  double magnitude = 0;       // whole-number literals: the unsigned value
  bool space_before = false;  // blanks stood between this token and the one before
};

// Reads tokens from `source` (which must outlive the lexer).  Next() throws
// SyntaxError on a malformed literal or an unexpected character.
class Lexer {
 public:
  Lexer(std::string_view source, int file);
  Token Next();

 private:
  Pos Here() const;
  void NewLine();
  bool SkipBlanks();
  void LexNumber(Token& t);
  void LexRadix(Token& t, int radix);
  void LexString(Token& t);
  void LexDate(Token& t);

  std::string_view s_;
  int file_;
  std::size_t i_ = 0;
  std::size_t line_start_ = 0;
  int line_ = 1;
  mutable int col_line_ = 0;
  mutable std::size_t col_at_ = 0;
  mutable int col_ = 1;
};

// The type a whole-number literal gets: Integer in -32768..32767, Long in
// the 32-bit range, otherwise Double.
Variant WholeLiteral(double value);

// The keyword a lower-case word is, if any.
bool FindKeyword(std::string_view lower, Kw& kw);

// How a token is named in a syntax error ("end of line", "'Then'", ...).
std::string Describe(const Token& t);

}  // namespace halvane::script
