// Statements of page scripts: a recursive-descent reader over the token
// stream, one statement at a time.
#include "host/script/parser.h"

#include <utility>

#include "core/text.h"
#include "host/script/functions.h"

namespace halvane::script {

Parser::Parser(std::string_view source, Program& program) : lex_(source, 0), prog_(program) {}

Parser::Parser(std::function<Token()> feed, Program& program)
    : lex_(std::string_view(), 0), feed_(std::move(feed)), prog_(program) {}

// ---- tokens ----------------------------------------------------------------

const Token& Parser::Peek(std::size_t ahead) {
  while (ahead_.size() <= ahead) {
    if (!ahead_.empty() && ahead_.back().kind == Tok::EndOfFile) return ahead_.back();
    ahead_.push_back(feed_ ? feed_() : lex_.Next());
  }
  return ahead_[ahead];
}

Token Parser::Take() {
  Peek();
  Token t = std::move(ahead_.front());
  if (t.kind == Tok::EndOfFile) return t;
  ahead_.pop_front();
  return t;
}

bool Parser::IsKw(Kw kw, std::size_t ahead) {
  const Token& t = Peek(ahead);
  return t.kind == Tok::Keyword && t.kw == kw;
}

void Parser::Expected(const std::string& what) {
  const Token& t = Peek();
  Fail(t.pos, "expected " + what + ", found " + Describe(t));
}

Token Parser::Expect(Tok kind, const std::string& what) {
  if (!At(kind)) Expected(what);
  return Take();
}

void Parser::ExpectKw(Kw kw, const std::string& what) {
  if (!IsKw(kw)) Expected(what);
  Take();
}

void Parser::ExpectEndOfStatement() {
  if (!AtEndOfStatement()) Expected("end of statement");
}

void Parser::Enter(const Pos& p) {
  if (++depth_ > kMaxDepth) Fail(p, "nesting too deep");
}

// The next word goes on or closes the block `opener` began at `head`: in a
// template, a block opens and closes in one file (the page or an include).
void Parser::SameFile(const Pos& head, const char* opener) {
  const Token& t = Peek();
  if (t.pos.file == head.file) return;
  const std::string word = t.kw == Kw::End ? t.text + " " + Peek(1).text : t.text;
  Fail(t.pos, "'" + word + "' belongs to the '" + opener + "' of " + prog_.files[static_cast<std::size_t>(head.file)] +
                  " line " + text::Decimal(head.line) + ": a block must open and close in one file");
}

// ---- statements --------------------------------------------------------------

void Parser::ParseProgram() {
  prog_.body = ParseBlock();
  const Token& t = Peek();
  if (t.kind == Tok::Keyword) {
    switch (t.kw) {
      case Kw::Next: Fail(t.pos, "'Next' without 'For'");
      case Kw::Else:
      case Kw::ElseIf: Fail(t.pos, "'" + t.text + "' without 'If'");
      case Kw::Loop: Fail(t.pos, "'Loop' without 'Do'");
      case Kw::Wend: Fail(t.pos, "'Wend' without 'While'");
      case Kw::Case: Fail(t.pos, "'Case' without 'Select Case'");
      case Kw::End: Fail(t.pos, "'End' without a block to close");
      default: break;
    }
  }
  Expect(Tok::EndOfFile, "end of file");
  Resolve();
}

// Statements up to the end of the file or a word that closes a block (Next,
// Else, ElseIf, End, Case, Loop, Wend), which is left for the caller.
Block Parser::ParseBlock() {
  Block out;
  for (;;) {
    while (At(Tok::EndOfStatement)) Take();
    if (At(Tok::EndOfFile)) return out;
    if (At(Tok::Keyword)) {
      switch (Peek().kw) {
        case Kw::Next:
        case Kw::Else:
        case Kw::ElseIf:
        case Kw::End:
        case Kw::Case:
        case Kw::Loop:
        case Kw::Wend: return out;
        case Kw::Sub:
        case Kw::Function:
          if (depth_ > 0 || proc_) Fail(Peek().pos, "a procedure may be declared only at the top level");
          ParseProcedure();
          first_statement_ = false;
          continue;
        default: break;
      }
    }
    StmtPtr s = ParseStatement(false);
    first_statement_ = false;
    if (s) out.push_back(std::move(s));
    ExpectEndOfStatement();
  }
}

std::unique_ptr<NameExpr> Parser::DeclaredName(const Token& t, Makes how) {
  const bool declares = how != Makes::Assign;
  CheckName(t, "a variable name");
  auto n = std::make_unique<NameExpr>(W(t.pos), Intern(t));
  std::size_t id = static_cast<std::size_t>(n->name);
  if (proc_) {
    // Dim makes a local; a loop variable is the page's when the main code
    // has that name (settled once the whole page is read).
    if (how == Makes::Dim) proc_->dims.push_back(n->name);
    if (how == Makes::Loop) proc_->loop_vars.push_back(n->name);
    proc_assigned_.resize(std::max(proc_assigned_.size(), id + 1));
    proc_assigned_[id] = 1;
    proc_->names.push_back(n.get());
  } else {
    page_assigned_[id] = 1;
    if (declares) page_declared_[id] = 1;
    main_names_.push_back(n.get());
  }
  variable_uses_.emplace_back(n->name, t.pos);
  return n;
}

// A name assigned by a statement (directly or one of its elements) is a
// variable of the scope the statement stands in.
void Parser::NoteAssigned(const Expr& target) {
  const Expr* e = &target;
  if (e->kind == Expr::Kind::Postfix) {
    const auto& p = static_cast<const PostfixExpr&>(*e);
    for (const Step& s : p.steps) {
      if (s.member) return;  // a property: not an assignment to the name
    }
    e = p.base.get();
  }
  if (e->kind != Expr::Kind::Name) return;
  const auto& n = static_cast<const NameExpr&>(*e);
  std::size_t id = static_cast<std::size_t>(n.name);
  if (proc_ && n.name == proc_->name_id) return;  // a Function's result
  if (proc_) {
    proc_assigned_.resize(std::max(proc_assigned_.size(), id + 1));
    proc_assigned_[id] = 1;
  } else {
    page_assigned_[id] = 1;
  }
  variable_uses_.emplace_back(n.name, Pos{n.at.line, 1, n.at.file});
}

StmtPtr Parser::ParseStatement(bool one_line) {
  const Token& first = Peek();
  Pos pos = first.pos;
  DepthGuard guard(*this, pos);
  if (first.kind == Tok::Text) {
    auto s = std::make_unique<SimpleStmt>(Stmt::Kind::Text, W(pos));
    s->text = Take().text;
    return s;
  }
  if (first.kind == Tok::Identifier) return ParseCallOrAssign(false);
  if (first.kind != Tok::Keyword) Expected("a statement");
  switch (first.kw) {
    case Kw::Option: {
      Take();
      ExpectKw(Kw::Explicit, "'Explicit' after 'Option'");
      if (!first_statement_ || proc_ || depth_ > 1 || pos.file != 0) {
        Fail(pos, "'Option Explicit' must be the first statement of the page");
      }
      prog_.option_explicit = true;
      return nullptr;
    }
    case Kw::Dim: return ParseDim(false);
    case Kw::ReDim: return ParseDim(true);
    case Kw::Erase: {
      Take();
      auto s = std::make_unique<SimpleStmt>(Stmt::Kind::Erase, W(pos));
      Token t = Take();
      if (t.kind != Tok::Identifier) Fail(t.pos, "expected an array variable after 'Erase', found " + Describe(t));
      s->target = DeclaredName(t, Makes::Assign);
      return s;
    }
    case Kw::Set: {
      Take();
      if (!At(Tok::Identifier)) Expected("a variable name after 'Set'");
      auto s = std::make_unique<SimpleStmt>(Stmt::Kind::Set, W(pos));
      CheckName(Peek(), "a variable name");
      s->target = ParsePostfix();
      NoteAssigned(*s->target);
      Expect(Tok::Equals, "'='");
      s->value = ParseExpr();
      return s;
    }
    case Kw::Call: {
      Take();
      if (IsKw(Kw::Session) || IsKw(Kw::Application)) return ParseCallOrAssign(true);
      if (At(Tok::Keyword)) return ParseObjectStatement(true);
      if (!At(Tok::Identifier)) Expected("a procedure or member after 'Call'");
      return ParseCallOrAssign(true);
    }
    case Kw::Request:
    case Kw::Response:
    case Kw::Server:
    case Kw::Err: return ParseObjectStatement(false);
    case Kw::Session:
    case Kw::Application: return ParseCallOrAssign(false);
    case Kw::If:
      if (one_line && depth_ > 0) {
        // a one-line If inside a one-line If
      }
      return ParseIf();
    case Kw::Select:
      if (one_line) Fail(pos, "a one-line 'If' holds only simple statements");
      return ParseSelect();
    case Kw::For:
      if (one_line) Fail(pos, "a one-line 'If' holds only simple statements");
      return ParseFor();
    case Kw::Do:
      if (one_line) Fail(pos, "a one-line 'If' holds only simple statements");
      return ParseDo(false);
    case Kw::While:
      if (one_line) Fail(pos, "a one-line 'If' holds only simple statements");
      return ParseDo(true);
    case Kw::Exit: return ParseExit();
    case Kw::On: {
      Take();
      ExpectKw(Kw::Error, "'Error' after 'On'");
      if (IsKw(Kw::Resume)) {
        Take();
        ExpectKw(Kw::Next, "'Next' after 'Resume'");
        return std::make_unique<SimpleStmt>(Stmt::Kind::OnErrorResumeNext, W(pos));
      }
      if (IsKw(Kw::GoTo)) {
        Take();
        const Token& z = Peek();
        if (z.kind != Tok::Number || !z.whole || z.magnitude != 0) Expected("0 after 'GoTo'");
        Take();
        return std::make_unique<SimpleStmt>(Stmt::Kind::OnErrorGoTo0, W(pos));
      }
      Expected("'Resume Next' or 'GoTo 0' after 'On Error'");
    }
    case Kw::Sleep: {
      Take();
      auto s = std::make_unique<SimpleStmt>(Stmt::Kind::Sleep, W(pos));
      s->value = ParseExpr();
      return s;
    }
    default:
      Fail(pos,
           "expected a statement, found " + Describe(first) + (first.kw >= Kw::Request ? "" : " (a reserved word)"));
  }
}

StmtPtr Parser::ParseDim(bool redim) {
  Pos pos = Take().pos;
  auto s = std::make_unique<DimStmt>(redim ? Stmt::Kind::ReDim : Stmt::Kind::Dim, W(pos));
  if (redim && IsKw(Kw::Preserve)) {
    Take();
    s->preserve = true;
  }
  do {
    Token t = Take();
    if (t.kind != Tok::Identifier) Fail(t.pos, "expected a variable name, found " + Describe(t));
    DimStmt::Item item;
    item.name = DeclaredName(t, redim ? Makes::Assign : Makes::Dim);
    if (At(Tok::LParen)) {
      Pos open = Take().pos;
      item.array = true;
      if (!(At(Tok::RParen) && !redim)) {
        item.bounds = ParseArgs(Tok::RParen, false);
        if (item.bounds.empty() && redim) Fail(open, "expected the bounds of the array");
        if (item.bounds.size() > 8) Fail(open, "an array has at most 8 dimensions");
      }
      Expect(Tok::RParen, "')'");
    } else if (redim) {
      Expected("'(' and the bounds after the name in 'ReDim'");
    }
    s->items.push_back(std::move(item));
  } while (At(Tok::Comma) && (Take(), true));
  return s;
}

// Statements that start with a name: an assignment (a = x, a(i) = x,
// o.P = x) or a call (S a, b / o.M a, b / Call S(a, b)).
StmtPtr Parser::ParseCallOrAssign(bool with_call) {
  Pos pos = Peek().pos;
  if (functions::Find(Peek().lower) != nullptr) {
    Fail(pos, "expected a statement, found the function '" + Peek().text + "'");
  }
  const bool state = IsKw(Kw::Session) || IsKw(Kw::Application);
  if (!IsKw(Kw::Request) && !IsKw(Kw::Server) && !state) CheckName(Peek(), "a variable or procedure name");
  in_statement_call_ = !with_call;
  ExprPtr target = ParsePostfix();
  in_statement_call_ = false;
  if (!with_call && At(Tok::Equals)) {
    if (state && target->kind != Expr::Kind::Postfix) Fail(pos, "'Session' and 'Application' cannot be assigned");
    Take();
    auto s = std::make_unique<SimpleStmt>(Stmt::Kind::Assign, W(pos));
    NoteAssigned(*target);
    s->target = std::move(target);
    s->value = ParseExpr();
    return s;
  }
  auto s = std::make_unique<SimpleStmt>(Stmt::Kind::Call, W(pos));
  // The arguments: with Call they are the last parentheses of the target;
  // otherwise they follow without parentheses, and a last "(a)" of the
  // target is the parenthesised first argument (a copy of a).
  if (target->kind == Expr::Kind::Postfix) {
    auto& p = static_cast<PostfixExpr&>(*target);
    Step& last = p.steps.back();
    if (last.parens) {
      if (with_call) {
        s->args = std::move(last.args);
        last.parens = false;
      } else if (last.args.size() >= 2 && AtEndOfStatement()) {
        Fail(pos,
             "a call statement takes its arguments without parentheses (S a, b) or with 'Call' "
             "(Call S(a, b))");
      } else if (last.args.size() == 1 && last.args[0]) {
        seed_ = std::make_unique<UnaryExpr>(Expr::Kind::Paren, last.args[0]->at, Op::Plus, std::move(last.args[0]));
        last.args.clear();
        last.parens = false;
      } else if (last.args.empty()) {
        last.parens = false;
      }
      if (!last.member && !last.parens && last.args.empty() && !seed_ && !with_call) {
        // "S()" : a call without arguments
      }
      if (!last.member && !last.parens) {
        p.steps.pop_back();
      }
      if (p.steps.empty()) {
        target = std::move(p.base);
      }
    }
  }
  if (!with_call && (seed_ || !AtEndOfStatement())) {
    std::vector<ExprPtr> more = ParseArgs(Tok::EndOfStatement, true);
    for (auto& a : more) s->args.push_back(std::move(a));
  }
  if (seed_) Fail(pos, "expected an argument");
  bool member = target->kind == Expr::Kind::Postfix && static_cast<PostfixExpr&>(*target).steps.back().member;
  for (const ExprPtr& a : s->args) {
    if (!a && !member) Fail(pos, "a page procedure takes no left-out arguments");
  }
  s->target = std::move(target);
  return s;
}

// Statements on the built-in objects: Response.Write x, Response.Flush,
// Err.Clear, Err.Raise n [, source [, description]].
StmtPtr Parser::ParseObjectStatement(bool with_call) {
  if (PageStatementAhead()) return ParsePageStatement(with_call);
  if ((IsKw(Kw::Request) || IsKw(Kw::Server)) && PageChainAhead()) return ParseCallOrAssign(with_call);
  Token obj = Take();
  Pos pos = obj.pos;
  if (obj.kind != Tok::Keyword || (obj.kw != Kw::Response && obj.kw != Kw::Err)) {
    if (obj.kind == Tok::Keyword && (obj.kw == Kw::Request || obj.kw == Kw::Server)) {
      Fail(pos, "'" + obj.text + "' is not available to this page");
    }
    Fail(pos, "expected a procedure or member after 'Call', found " + Describe(obj));
  }
  Expect(Tok::Dot, "'.' after '" + obj.text + "'");
  Token m = Take();
  if (m.kind != Tok::Identifier && m.kind != Tok::Keyword) Fail(m.pos, "expected a member name after '.'");
  std::vector<ExprPtr> args;
  if (with_call) {
    if (At(Tok::LParen)) {
      Take();
      args = ParseArgs(Tok::RParen, false);
      Expect(Tok::RParen, "')'");
    }
  } else if (!AtEndOfStatement()) {
    args = ParseArgs(Tok::EndOfStatement, false);
  }
  auto count = [&](std::size_t lo, std::size_t hi) {
    if (args.size() < lo || args.size() > hi)
      Fail(m.pos, "wrong number of arguments for '" + obj.text + "." + m.text + "'");
  };
  if (obj.kw == Kw::Response) {
    if (m.lower == "write") {
      count(1, 1);
      auto s = std::make_unique<SimpleStmt>(Stmt::Kind::Write, W(pos));
      s->value = std::move(args[0]);
      return s;
    }
    if (m.lower == "flush") {
      count(0, 0);
      return std::make_unique<SimpleStmt>(Stmt::Kind::Flush, W(pos));
    }
    Fail(m.pos, "expected 'Write' or 'Flush' after 'Response.', found " + Describe(m));
  }
  if (m.lower == "clear") {
    count(0, 0);
    return std::make_unique<SimpleStmt>(Stmt::Kind::ErrClear, W(pos));
  }
  if (m.lower == "raise") {
    count(1, 3);
    auto s = std::make_unique<SimpleStmt>(Stmt::Kind::ErrRaise, W(pos));
    s->args = std::move(args);
    return s;
  }
  Fail(m.pos, "expected 'Clear' or 'Raise' after 'Err.', found " + Describe(m));
}

std::shared_ptr<const Program> Parse(std::string_view source, std::string file) {
  auto program = std::make_shared<Program>();
  program->file = file;
  program->files.push_back(std::move(file));
  Parser parser(source, *program);
  parser.ParseProgram();
  return program;
}

}  // namespace halvane::script
