// A parsed page script: statements and expressions as a tree, names
// resolved to page variables, procedure locals or procedures.  A Program is
// immutable once parsed (apart from the call-site caches, which are atomic)
// and may be run any number of times, from any thread.
//
// Long chains of one precedence level (a & b & c ...) and member chains
// (a.b.c ...) are single nodes holding a list, so neither evaluating nor
// freeing a tree recurses with the length of a line; other nesting is
// bounded by the parser.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/variant.h"
#include "host/script/syntax_error.h"

namespace halvane::script {

namespace functions {
struct Function;
}

// Where a node stands: the line and the file (index into Program::files).
struct Where {
  int line = 0;
  int file = 0;
};

enum class Op : std::uint8_t {
  Pow,
  Mul,
  Div,
  IntDiv,
  Mod,
  Add,
  Sub,
  Concat,
  Eq,
  Ne,
  Lt,
  Gt,
  Le,
  Ge,
  Is,
  And,
  Or,
  Xor,
  Neg,
  Plus,
  Not,  // unary
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  enum class Kind : std::uint8_t {
    Literal,  // LiteralExpr
    Name,     // NameExpr: a variable, or a procedure called without arguments
    Chain,    // ChainExpr: a op b op c ... of one precedence level
    Unary,    // UnaryExpr
    Paren,    // UnaryExpr with op Plus: (a), the value of a, never a reference
    Postfix,  // PostfixExpr: base(args).member(args)(args) ...
    Builtin,  // BuiltinExpr: a built-in function
    Object,   // ObjectExpr: Err before its member, or Request, Response, Server as values
    Nothing,  // the Nothing constant
    Page,     // PageExpr: a member of Request, Response or Server
  };
  explicit Expr(Kind k, Where w) : kind(k), at(w) {}
  virtual ~Expr() = default;
  Kind kind;
  Where at;
};

struct LiteralExpr : Expr {
  LiteralExpr(Where w, Variant v) : Expr(Kind::Literal, w), value(std::move(v)) {}
  Variant value;
};

// A name, resolved when the whole page has been read.
struct NameExpr : Expr {
  enum class Scope : std::uint8_t { Unresolved, Page, Local, Procedure, Unknown };
  NameExpr(Where w, int n) : Expr(Kind::Name, w), name(n) {}
  int name;  // index into Program::names
  Scope scope = Scope::Unresolved;
  bool declared = false;  // for Option Explicit
  bool called = false;    // parentheses follow the name: name(args)
  int slot = -1;          // Page: variable; Local: frame slot; Procedure: index into procedures
};

struct ChainExpr : Expr {
  explicit ChainExpr(Where w) : Expr(Kind::Chain, w) {}
  std::vector<ExprPtr> operands;
  std::vector<Op> ops;        // ops[i] joins operands[i] and operands[i + 1]
  std::vector<int> op_lines;  // the line of each operator
};

struct UnaryExpr : Expr {
  UnaryExpr(Kind k, Where w, Op o, ExprPtr e) : Expr(k, w), op(o), a(std::move(e)) {}
  Op op;
  ExprPtr a;
};

// What a member call learned about its object's class last time.
struct CallSiteCache {
  std::atomic<const void*> cls{nullptr};
  std::atomic<std::int32_t> dispid{0};
};

struct Step {
  bool member = false;        // .name, else an index or call with `args`
  bool parens = false;        // arguments in parentheses follow
  std::string name;           // member name as written
  std::vector<ExprPtr> args;  // a null entry is a left-out argument
  int line = 0;
  std::unique_ptr<CallSiteCache> cache = std::make_unique<CallSiteCache>();
};

struct PostfixExpr : Expr {
  PostfixExpr(Where w, ExprPtr b) : Expr(Kind::Postfix, w), base(std::move(b)) {}
  ExprPtr base;  // a NameExpr or an ObjectExpr
  std::vector<Step> steps;
};

struct BuiltinExpr : Expr {
  BuiltinExpr(Where w, const functions::Function& f) : Expr(Kind::Builtin, w), function(f) {}
  const functions::Function& function;  // its row of the function table (functions.h)
  std::vector<ExprPtr> args;
};

enum class BuiltinObject : std::uint8_t { Request, Response, Server, Err, Session, Application };

// The members of the page's Request, Response and Server objects, known by
// name when the page is read (page_objects.cpp runs them).
enum class PageMember : std::uint8_t {
  // Response statements
  ResponseClear,
  ResponseEnd,
  ResponseAddHeader,
  ResponseRedirect,
  ResponseContentType,
  ResponseStatus,
  ResponseCookies,
  ResponseWrite,  // through a variable only: the literal Response.Write and
  ResponseFlush,  // Response.Flush are statements of their own
  // Response members read as values, and Request or Server members used as
  // statements: error 438 when they run
  NotThere,
  // Request and Server values
  RequestItem,
  RequestQueryString,
  RequestForm,
  RequestCookies,
  RequestServerVariables,
  ServerHTMLEncode,
  ServerURLEncode,
  ServerCreateObject,
};

// The member of Request, Response or Server (not Err) named `lower`, when
// it has one.
std::optional<PageMember> FindPageMember(BuiltinObject object, std::string_view lower);

struct PageExpr : Expr {
  PageExpr(Where w, PageMember m) : Expr(Kind::Page, w), member(m) {}
  PageMember member;
  std::vector<ExprPtr> args;
  std::string shown;  // the object and member as written ("Response.Status"), for messages
};

struct ObjectExpr : Expr {
  ObjectExpr(Where w, BuiltinObject o) : Expr(Kind::Object, w), object(o) {}
  BuiltinObject object;
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct Stmt {
  enum class Kind : std::uint8_t {
    Dim,
    ReDim,
    Erase,
    Assign,
    Set,
    Call,
    Write,
    Text,
    Flush,
    Sleep,
    If,
    Select,
    For,
    ForEach,
    Do,
    Exit,
    OnErrorResumeNext,
    OnErrorGoTo0,
    ErrClear,
    ErrRaise,
    Nop,
    Page,  // SimpleStmt: a member of Request, Response or Server (page_member)
  };
  Stmt(Kind k, Where w) : kind(k), at(w) {}
  virtual ~Stmt() = default;
  Kind kind;
  Where at;
};

// Dim / ReDim: names with optional bounds.
struct DimStmt : Stmt {
  using Stmt::Stmt;
  struct Item {
    std::unique_ptr<NameExpr> name;
    std::vector<ExprPtr> bounds;
    bool array = false;
  };
  std::vector<Item> items;
  bool preserve = false;
};

// Assign / Set / Erase / Sleep / Write / Text / ErrRaise / Call use the
// general statement: a target, a value and arguments.
struct SimpleStmt : Stmt {
  using Stmt::Stmt;
  ExprPtr target;                                 // Assign/Set/Erase/Call: what is assigned or called
  ExprPtr value;                                  // Assign/Set/Sleep/Write
  std::vector<ExprPtr> args;                      // Call/ErrRaise
  std::string text;  // Text: the page text written as it stands; Page: the member as written, for messages
  std::uint8_t exit_what = 0;                     // Exit: 0 For, 1 Do, 2 Sub, 3 Function
  PageMember page_member = PageMember::NotThere;  // Page: args, then `value` for a property let
};

struct IfStmt : Stmt {
  using Stmt::Stmt;
  struct Clause {
    ExprPtr test;
    Block body;
  };
  std::vector<Clause> clauses;
  Block else_body;
};

struct SelectStmt : Stmt {
  using Stmt::Stmt;
  ExprPtr subject;
  struct Clause {
    std::vector<ExprPtr> values;
    Block body;
  };
  std::vector<Clause> cases;
  bool has_else = false;
  Block else_body;
};

struct ForStmt : Stmt {
  using Stmt::Stmt;
  std::unique_ptr<NameExpr> var;
  ExprPtr from, to, step;  // ForEach: `from` is the array
  Block body;
  Where next_at;
};

struct DoStmt : Stmt {
  using Stmt::Stmt;
  enum class Test : std::uint8_t { None, While, Until };
  Test pre = Test::None, post = Test::None;
  ExprPtr pre_test, post_test;
  Block body;
  Where loop_at;
};

struct Procedure {
  std::string name;  // as written
  int name_id = -1;
  bool function = false;
  Where at;
  std::vector<int> params;  // names
  std::vector<bool> by_val;
  int locals = 0;  // frame slots: the result (0), the parameters, then locals
  Block body;
  std::vector<NameExpr*> names;  // every name used inside, resolved after the page is read
  std::vector<int> dims;         // names declared by Dim inside
  std::vector<int> loop_vars;    // names made by For or For Each inside
};

struct Program {
  std::vector<std::string> files;  // files[0]: as given to Parse, for messages
  std::vector<std::string> names;  // every name, as first written
  std::vector<std::string> lower;  // the same, lower-cased
  std::vector<int> page_slot;      // name -> page variable slot, or -1
  int page_variables = 0;
  std::vector<std::string> variables;  // page slot -> name as written
  std::vector<Procedure> procedures;
  bool option_explicit = false;
  bool uses_state = false;  // the page names Session or Application somewhere
  Block body;
  std::string file;  // = files[0]

  Program() = default;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
};

// Parses a whole script.  Throws SyntaxError (with line and column) on the
// first fault; nothing of the script runs then.
std::shared_ptr<const Program> Parse(std::string_view source, std::string file);

}  // namespace halvane::script
