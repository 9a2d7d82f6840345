// Tokens of a page script.  The lexer works on the whole source text at once
// and hands the parser a flat token list ending in an end-of-file token.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/variant.h"
#include "host/script/syntax_error.h"

namespace halvane::script {

enum class Tok {
  Identifier,  // a name that is not a keyword; `lower` holds it lower-cased
  Keyword,     // `kw` tells which
  Number,      // `value` holds the typed literal; `whole` tells a whole number
  String,      // `value` holds the String
  Date,        // `value` holds the Date
  Amp,         // &
  Minus,       // -
  LParen,
  RParen,
  Comma,
  Dot,
  Equals,
  EndOfStatement,  // a line end or ':'
  EndOfFile,
};

enum class Kw {
  Dim, Set, Call, For, To, Step, Next, If, Then, Else, End, On, Error, Resume, GoTo,
  True, False, Null, Empty, VbCrLf, Sleep, Response, Err,
};

struct Token {
  Tok kind;
  Kw kw = Kw::Dim;
  Pos pos;
  std::string text;     // source spelling (strings: the text between the quotes)
  std::string lower;    // identifiers and keywords: lower-cased
  Variant value;        // literals
  bool whole = false;   // a whole-number literal (decimal or &H)
  double magnitude = 0; // whole-number literals: the unsigned value
};

// Splits `source` into tokens; throws SyntaxError on a malformed literal or
// an unexpected character.
std::vector<Token> Lex(std::string_view source);

// The type a whole-number literal gets: Integer in -32768..32767, Long in
// the 32-bit range, otherwise Double.
Variant WholeLiteral(double value);

// How a token is named in a syntax error ("end of line", "'Then'", ...).
std::string Describe(const Token& t);

}  // namespace halvane::script
