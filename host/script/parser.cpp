// Recursive-descent parser of page scripts.
#include <array>
#include <unordered_map>
#include <utility>

#include "host/script/lexer.h"
#include "host/script/program.h"

namespace halvane::script {
namespace {

struct FunctionName {
  std::string_view name;  // lower case
  Function function;
};
constexpr std::array<FunctionName, 12> kFunctions = {{
    {"cint", Function::CInt},         {"clng", Function::CLng},
    {"csng", Function::CSng},         {"cdbl", Function::CDbl},
    {"cstr", Function::CStr},         {"cbool", Function::CBool},
    {"cdate", Function::CDate},       {"typename", Function::TypeName},
    {"vartype", Function::VarType},   {"len", Function::Len},
    {"chr", Function::Chr},           {"createobject", Function::CreateObject},
}};

const FunctionName* FindFunction(const std::string& lower) {
  for (const auto& f : kFunctions) {
    if (f.name == lower) return &f;
  }
  return nullptr;
}

// Deeper nesting than this (parentheses, blocks) is refused rather than
// risking the parser's stack.
constexpr int kMaxDepth = 200;

class Parser {
 public:
  Parser(std::vector<Token> tokens, Program& program) : t_(std::move(tokens)), prog_(program) {}

  void ParseProgram() {
    prog_.body = ParseBlock();
    const Token& t = Peek();
    if (t.kind == Tok::Keyword) {
      if (t.kw == Kw::Next) Fail(t, "'Next' without 'For'");
      if (t.kw == Kw::Else) Fail(t, "'Else' without 'If'");
      if (t.kw == Kw::End) Fail(t, "'End' without 'If'");
    }
    Expect(Tok::EndOfFile, "end of file");
  }

 private:
  // ---- token access --------------------------------------------------------

  const Token& Peek(std::size_t ahead = 0) const {
    std::size_t k = i_ + ahead;
    return k < t_.size() ? t_[k] : t_.back();
  }
  const Token& Take() {
    const Token& t = t_[i_];
    if (i_ + 1 < t_.size()) ++i_;
    return t;
  }
  bool IsKw(Kw kw, std::size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == Tok::Keyword && t.kw == kw;
  }
  bool At(Tok kind) const { return Peek().kind == kind; }
  bool AtEndOfStatement() const { return At(Tok::EndOfStatement) || At(Tok::EndOfFile); }

  [[noreturn]] void Fail(const Token& t, const std::string& message) const {
    throw SyntaxError(t.pos, message);
  }
  [[noreturn]] void Expected(const std::string& what) const {
    Fail(Peek(), "expected " + what + ", found " + Describe(Peek()));
  }
  const Token& Expect(Tok kind, const std::string& what) {
    if (!At(kind)) Expected(what);
    return Take();
  }
  void ExpectKw(Kw kw, const std::string& what) {
    if (!IsKw(kw)) Expected(what);
    Take();
  }
  void ExpectEndOfStatement() {
    if (!AtEndOfStatement()) Expected("end of statement");
  }

  struct DepthGuard {
    DepthGuard(Parser& p, const Token& t) : p_(p) {
      if (++p_.depth_ > kMaxDepth) p_.Fail(t, "nesting too deep");
    }
    ~DepthGuard() { --p_.depth_; }
    Parser& p_;
  };

  int Slot(const Token& name) {
    auto it = slots_.find(name.lower);
    if (it != slots_.end()) return it->second;
    int slot = static_cast<int>(prog_.variables.size());
    prog_.variables.push_back(name.text);
    slots_.emplace(name.lower, slot);
    return slot;
  }

  // A variable name: an identifier that names no function.
  const Token& ExpectVariable() {
    const Token& t = Peek();
    if (t.kind != Tok::Identifier) Expected("a variable name");
    if (FindFunction(t.lower)) Fail(t, "expected a variable name, found the function '" + t.text + "'");
    return Take();
  }

  // A member name after '.': any word, keywords included.
  const Token& ExpectMemberName() {
    if (!At(Tok::Identifier) && !At(Tok::Keyword)) Expected("a member name after '.'");
    return Take();
  }

  // ---- statements ----------------------------------------------------------

  // Statements up to end of file or a block word (Next, Else, End), which is
  // left for the caller.
  std::vector<Stmt> ParseBlock() {
    std::vector<Stmt> out;
    for (;;) {
      while (At(Tok::EndOfStatement)) Take();
      if (At(Tok::EndOfFile) || IsKw(Kw::Next) || IsKw(Kw::Else) || IsKw(Kw::End)) return out;
      out.push_back(ParseStatement());
      ExpectEndOfStatement();
    }
  }

  Stmt ParseStatement() {
    const Token& first = Peek();
    DepthGuard guard(*this, first);
    Stmt s;
    s.pos = first.pos;
    if (first.kind == Tok::Keyword) {
      switch (first.kw) {
        case Kw::Dim: {
          Take();
          s.kind = Stmt::Kind::Dim;
          do {
            Slot(ExpectVariable());
          } while (At(Tok::Comma) && (Take(), true));
          return s;
        }
        case Kw::Set: {
          Take();
          s.kind = Stmt::Kind::Set;
          s.slot = Slot(ExpectVariable());
          Expect(Tok::Equals, "'='");
          s.value = ParseExpr();
          return s;
        }
        case Kw::Call: {
          Take();
          ParseCallTarget(s, "an object member after 'Call'");
          if (At(Tok::LParen)) {
            const Token& open = Take();
            s.args = ParseArgs(Tok::RParen);
            Expect(Tok::RParen, "')'");
            std::size_t wanted = s.kind == Stmt::Kind::Write ? 1 : 0;
            if (s.kind != Stmt::Kind::CallMember) {
              bool omitted = false;
              for (const auto& a : s.args) omitted = omitted || !a;
              if (s.args.size() != wanted || omitted) {
                Fail(open, wanted ? "expected one argument of 'Response.Write'" : "expected no arguments");
              }
              if (wanted) s.value = std::move(s.args[0]);
              s.args.clear();
            }
          } else if (s.kind == Stmt::Kind::Write) {
            Expected("'(' after 'Call Response.Write'");
          }
          return s;
        }
        case Kw::For: return ParseFor();
        case Kw::If: return ParseIf();
        case Kw::On: {
          Take();
          ExpectKw(Kw::Error, "'Error' after 'On'");
          if (IsKw(Kw::Resume)) {
            Take();
            ExpectKw(Kw::Next, "'Next' after 'Resume'");
            s.kind = Stmt::Kind::OnErrorResumeNext;
            return s;
          }
          if (IsKw(Kw::GoTo)) {
            Take();
            const Token& z = Peek();
            if (z.kind != Tok::Number || !z.whole || z.magnitude != 0) Expected("0 after 'GoTo'");
            Take();
            s.kind = Stmt::Kind::OnErrorGoTo0;
            return s;
          }
          Expected("'Resume Next' or 'GoTo 0' after 'On Error'");
        }
        case Kw::Sleep: {
          Take();
          s.kind = Stmt::Kind::Sleep;
          s.value = ParseExpr();
          return s;
        }
        case Kw::Response: {
          ParseCallTarget(s, "");
          if (s.kind == Stmt::Kind::Write) s.value = ParseStatementWriteArg();
          return s;
        }
        case Kw::Err: {
          ParseCallTarget(s, "");
          return s;
        }
        default:
          Expected("a statement");
      }
    }
    if (first.kind != Tok::Identifier) Expected("a statement");
    if (FindFunction(first.lower)) {
      Fail(first, "expected a statement, found the function '" + first.text + "'");
    }
    if (Peek(1).kind == Tok::Equals) {
      s.kind = Stmt::Kind::Assign;
      s.slot = Slot(Take());
      Take();
      s.value = ParseExpr();
      return s;
    }
    if (Peek(1).kind != Tok::Dot) {
      Take();
      Expected("'=' or '.'");
    }
    ParseCallTarget(s, "");
    if (At(Tok::Equals)) {
      Take();
      s.kind = Stmt::Kind::PropertyLet;
      s.value = ParseExpr();
      return s;
    }
    // A call statement: arguments without parentheses.  "o.M()" is a call
    // without arguments; "o.M(a)" passes the parenthesised expression (a).
    if (At(Tok::LParen) && Peek(1).kind == Tok::RParen &&
        (Peek(2).kind == Tok::EndOfStatement || Peek(2).kind == Tok::EndOfFile)) {
      Take();
      Take();
      return s;
    }
    in_call_statement_ = true;
    s.args = ParseArgs(Tok::EndOfStatement);
    in_call_statement_ = false;
    return s;
  }

  ExprPtr ParseStatementWriteArg() {
    if (AtEndOfStatement()) Expected("an expression after 'Response.Write'");
    return ParseExpr();
  }

  // The target of a call statement: Response.Write / Response.Flush,
  // Err.Clear, or variable.member.  Sets kind, object and name.
  void ParseCallTarget(Stmt& s, const char* what) {
    const Token& head = Peek();
    if (IsKw(Kw::Response)) {
      Take();
      Expect(Tok::Dot, "'.' after 'Response'");
      const Token& m = ExpectMemberName();
      if (m.lower == "write") {
        s.kind = Stmt::Kind::Write;
      } else if (m.lower == "flush") {
        s.kind = Stmt::Kind::Flush;
      } else {
        Fail(m, "expected 'Write' or 'Flush' after 'Response.', found " + Describe(m));
      }
      return;
    }
    if (IsKw(Kw::Err)) {
      Take();
      Expect(Tok::Dot, "'.' after 'Err'");
      const Token& m = ExpectMemberName();
      if (m.lower != "clear") Fail(m, "expected 'Clear' after 'Err.', found " + Describe(m));
      s.kind = Stmt::Kind::ErrClear;
      return;
    }
    if (head.kind != Tok::Identifier || Peek(1).kind != Tok::Dot) {
      Expected(*what ? what : "a statement");
    }
    auto obj = std::make_unique<Expr>();
    obj->kind = Expr::Kind::Variable;
    obj->pos = head.pos;
    obj->slot = Slot(ExpectVariable());
    Take();  // '.'
    s.kind = Stmt::Kind::CallMember;
    s.object = std::move(obj);
    s.name = ExpectMemberName().text;
  }

  Stmt ParseFor() {
    const Token& head = Take();
    Stmt s;
    s.kind = Stmt::Kind::For;
    s.pos = head.pos;
    s.slot = Slot(ExpectVariable());
    Expect(Tok::Equals, "'='");
    s.value = ParseExpr();
    ExpectKw(Kw::To, "'To'");
    s.to = ParseExpr();
    if (IsKw(Kw::Step)) {
      Take();
      s.step = ParseExpr();
    }
    ExpectEndOfStatement();
    s.body = ParseBlock();
    if (!IsKw(Kw::Next)) {
      Expected("'Next' to close the 'For' of line " + std::to_string(head.pos.line));
    }
    s.next_pos = Take().pos;
    if (At(Tok::Identifier)) {
      const Token& v = Take();
      if (Slot(v) != s.slot) {
        Fail(v, "expected '" + prog_.variables[static_cast<std::size_t>(s.slot)] + "' after 'Next', found " +
                    Describe(v));
      }
    }
    return s;
  }

  Stmt ParseIf() {
    const Token& head = Take();
    Stmt s;
    s.kind = Stmt::Kind::If;
    s.pos = head.pos;
    s.value = ParseExpr();
    ExpectKw(Kw::Then, "'Then'");
    if (!AtEndOfStatement()) Expected("end of line after 'Then'");
    s.body = ParseBlock();
    if (IsKw(Kw::Else)) {
      Take();
      s.else_body = ParseBlock();
    }
    if (!IsKw(Kw::End)) Expected("'End If' to close the 'If' of line " + std::to_string(head.pos.line));
    Take();
    ExpectKw(Kw::If, "'If' after 'End'");
    return s;
  }

  // Arguments up to `close` (not taken); an empty place is an omitted one.
  std::vector<ExprPtr> ParseArgs(Tok close) {
    std::vector<ExprPtr> args;
    auto at_close = [&] { return close == Tok::EndOfStatement ? AtEndOfStatement() : At(close); };
    if (at_close()) return args;
    for (;;) {
      if (At(Tok::Comma) || at_close()) {
        args.push_back(nullptr);
      } else {
        args.push_back(ParseExpr());
      }
      if (!At(Tok::Comma)) break;
      Take();
    }
    if (!at_close()) Expected(close == Tok::RParen ? "',' or ')'" : "',' or end of statement");
    return args;
  }

  // ---- expressions -----------------------------------------------------------

  ExprPtr ParseExpr() {
    DepthGuard guard(*this, Peek());
    ExprPtr left = ParseUnary();
    while (At(Tok::Amp)) {
      const Token& op = Take();
      auto e = std::make_unique<Expr>();
      e->kind = Expr::Kind::Concat;
      e->pos = op.pos;
      e->a = std::move(left);
      e->b = ParseUnary();
      left = std::move(e);
    }
    return left;
  }

  ExprPtr ParseUnary() {
    if (!At(Tok::Minus)) return ParsePostfix();
    const Token& op = Take();
    DepthGuard guard(*this, op);
    if (At(Tok::Number)) {
      // The sign belongs to the literal: -32768 is an Integer.
      const Token& n = Take();
      auto e = std::make_unique<Expr>();
      e->kind = Expr::Kind::Literal;
      e->pos = op.pos;
      e->value = n.whole ? WholeLiteral(-n.magnitude) : Variant(-n.value.RawDouble());
      return e;
    }
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Kind::Negate;
    e->pos = op.pos;
    e->a = ParseUnary();
    return e;
  }

  ExprPtr ParsePostfix() {
    ExprPtr e = ParsePrimary();
    while (At(Tok::Dot)) {
      const Token& dot = Take();
      auto m = std::make_unique<Expr>();
      m->kind = Expr::Kind::Member;
      m->pos = dot.pos;
      m->a = std::move(e);
      m->name = ExpectMemberName().text;
      if (At(Tok::LParen)) {
        Take();
        bool saved = in_call_statement_;
        in_call_statement_ = false;
        m->call = true;
        m->args = ParseArgs(Tok::RParen);
        Expect(Tok::RParen, "')'");
        in_call_statement_ = saved;
      }
      e = std::move(m);
    }
    return e;
  }

  ExprPtr Literal(const Token& t, Variant v) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Kind::Literal;
    e->pos = t.pos;
    e->value = std::move(v);
    return e;
  }

  ExprPtr ParsePrimary() {
    const Token& t = Peek();
    switch (t.kind) {
      case Tok::Number:
      case Tok::String:
      case Tok::Date:
        Take();
        return Literal(t, t.value);
      case Tok::LParen: {
        Take();
        bool saved = in_call_statement_;
        in_call_statement_ = false;
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Paren;
        e->pos = t.pos;
        e->a = ParseExpr();
        in_call_statement_ = saved;
        if (At(Tok::Comma) && saved) {
          Fail(Peek(), "expected ')', found ','; a call statement takes its arguments without "
                       "parentheses (o.M a, b) or with 'Call' (Call o.M(a, b))");
        }
        Expect(Tok::RParen, "')'");
        return e;
      }
      case Tok::Keyword:
        switch (t.kw) {
          case Kw::True: Take(); return Literal(t, Variant(true));
          case Kw::False: Take(); return Literal(t, Variant(false));
          case Kw::Null: Take(); return Literal(t, Variant::Null());
          case Kw::Empty: Take(); return Literal(t, Variant());
          case Kw::VbCrLf: Take(); return Literal(t, Variant("\r\n"));
          case Kw::Err: {
            Take();
            Expect(Tok::Dot, "'.' after 'Err'");
            const Token& m = ExpectMemberName();
            auto e = std::make_unique<Expr>();
            e->pos = t.pos;
            if (m.lower == "number") {
              e->kind = Expr::Kind::ErrNumber;
            } else if (m.lower == "source") {
              e->kind = Expr::Kind::ErrSource;
            } else if (m.lower == "description") {
              e->kind = Expr::Kind::ErrDescription;
            } else {
              Fail(m, "expected 'Number', 'Source' or 'Description' after 'Err.', found " + Describe(m));
            }
            return e;
          }
          default:
            Expected("an expression");
        }
      case Tok::Identifier: {
        if (const FunctionName* f = FindFunction(t.lower)) {
          Take();
          auto e = std::make_unique<Expr>();
          e->kind = Expr::Kind::Call;
          e->pos = t.pos;
          e->function = f->function;
          Expect(Tok::LParen, "'(' after '" + t.text + "'");
          bool saved = in_call_statement_;
          in_call_statement_ = false;
          if (At(Tok::RParen)) Fail(Peek(), "expected an argument of '" + t.text + "', found ')'");
          e->args.push_back(ParseExpr());
          in_call_statement_ = saved;
          if (At(Tok::Comma)) Fail(Peek(), "expected ')', found ','; '" + t.text + "' takes one argument");
          Expect(Tok::RParen, "')'");
          return e;
        }
        Take();
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Variable;
        e->pos = t.pos;
        e->slot = Slot(t);
        return e;
      }
      default:
        Expected("an expression");
    }
  }

  std::vector<Token> t_;
  std::size_t i_ = 0;
  Program& prog_;
  std::unordered_map<std::string, int> slots_;
  int depth_ = 0;
  bool in_call_statement_ = false;
};

}  // namespace

std::shared_ptr<const Program> Parse(std::string_view source, std::string file) {
  auto program = std::make_shared<Program>();
  program->file = std::move(file);
  Parser parser(Lex(source), *program);
  parser.ParseProgram();
  return program;
}

}  // namespace halvane::script
