// A parsed page script: statements and expressions as a tree, variables
// resolved to slots.  A Program is immutable once parsed and may be run any
// number of times, from any thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/variant.h"
#include "host/script/syntax_error.h"

namespace halvane::script {

// The functions a script may call.
enum class Function { CInt, CLng, CSng, CDbl, CStr, CBool, CDate, TypeName, VarType, Len, Chr, CreateObject };

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  enum class Kind {
    Literal,      // value
    Variable,     // slot
    Paren,        // (a): the value of a, never a reference
    Member,       // a.name or a.name(args); call tells whether parentheses follow
    Call,         // function(args)
    Concat,       // a & b
    Negate,       // -a
    ErrNumber,
    ErrSource,
    ErrDescription,
  };
  Kind kind = Kind::Literal;
  Pos pos;
  Variant value;
  int slot = -1;
  Function function = Function::CStr;
  std::string name;
  bool call = false;
  ExprPtr a, b;
  std::vector<ExprPtr> args;  // a null entry is an omitted argument
};

struct Stmt {
  enum class Kind {
    Dim,
    Assign,        // slot = value
    Set,           // Set slot = value
    PropertyLet,   // object.name = value
    CallMember,    // object.name args  /  Call object.name(args)
    Write,         // Response.Write value
    Flush,         // Response.Flush
    Sleep,         // Sleep value
    For,           // For slot = value To to [Step step] ... Next
    If,            // If value Then body [Else else_body] End If
    OnErrorResumeNext,
    OnErrorGoTo0,
    ErrClear,
  };
  Kind kind = Kind::Dim;
  Pos pos;
  int slot = -1;
  ExprPtr object;
  std::string name;
  ExprPtr value, to, step;
  std::vector<ExprPtr> args;
  std::vector<Stmt> body, else_body;
  Pos next_pos;  // For: where its Next stands
};

struct Program {
  std::string file;                    // as given to Parse, for messages
  std::vector<std::string> variables;  // slot -> name as first written
  std::vector<Stmt> body;
};

// Parses a whole script.  Throws SyntaxError (with line and column) on the
// first fault; nothing of the script runs then.
std::shared_ptr<const Program> Parse(std::string_view source, std::string file);

}  // namespace halvane::script
