// Statements that hold blocks: If, Select Case, the loops, Exit and the
// declaration of procedures.
#include "host/script/parser.h"

#include "core/text.h"

namespace halvane::script {

// If: the block form, or the one-line form when something follows Then.
StmtPtr Parser::ParseIf() {
  Pos head = Take().pos;
  auto s = std::make_unique<IfStmt>(Stmt::Kind::If, W(head));
  IfStmt::Clause first;
  first.test = ParseExpr();
  ExpectKw(Kw::Then, "'Then'");
  if (!AtEndOfStatement()) {  // one line: If c Then a : b [Else c : d]
    ++one_line_if_;
    for (;;) {
      first.body.push_back(ParseStatement(true));
      if (At(Tok::EndOfStatement) && Peek().text == ":" && !IsKw(Kw::Else, 1)) {
        Take();
        if (AtLineEnd()) break;
        continue;
      }
      if (At(Tok::EndOfStatement) && Peek().text == ":") Take();
      break;
    }
    s->clauses.push_back(std::move(first));
    if (IsKw(Kw::Else)) {
      Take();
      for (;;) {
        s->else_body.push_back(ParseStatement(true));
        if (At(Tok::EndOfStatement) && Peek().text == ":") {
          Take();
          if (AtLineEnd()) break;
          continue;
        }
        break;
      }
    }
    --one_line_if_;
    if (!AtEndOfStatement()) Expected("end of line after a one-line 'If'");
    return s;
  }
  first.body = ParseBlock();
  s->clauses.push_back(std::move(first));
  while (IsKw(Kw::ElseIf)) {
    SameFile(head, "If");
    Take();
    IfStmt::Clause c;
    c.test = ParseExpr();
    ExpectKw(Kw::Then, "'Then'");
    c.body = ParseBlock();
    s->clauses.push_back(std::move(c));
  }
  if (IsKw(Kw::Else)) {
    SameFile(head, "If");
    Take();
    s->else_body = ParseBlock();
  }
  if (!IsKw(Kw::End) || !IsKw(Kw::If, 1)) {
    Expected("'End If' to close the 'If' of line " + text::Decimal(head.line));
  }
  SameFile(head, "If");
  Take();
  Take();
  return s;
}

StmtPtr Parser::ParseSelect() {
  Pos head = Take().pos;
  ExpectKw(Kw::Case, "'Case' after 'Select'");
  auto s = std::make_unique<SelectStmt>(Stmt::Kind::Select, W(head));
  s->subject = ParseExpr();
  ExpectEndOfStatement();
  // In a template, page text before the first Case is dropped when it is
  // only blanks and line ends; other text there is an error.
  while (At(Tok::EndOfStatement) || At(Tok::Text)) {
    const Token t = Take();
    if (t.kind == Tok::Text && t.text.find_first_not_of(" \t\r\n") != std::string::npos) {
      Fail(t.pos, "page text between 'Select Case' and its first 'Case'");
    }
  }
  while (IsKw(Kw::Case)) {
    SameFile(head, "Select Case");
    Pos at = Take().pos;
    if (s->has_else) Fail(at, "'Case Else' must be the last 'Case'");
    if (IsKw(Kw::Else)) {
      Take();
      s->has_else = true;
      s->else_body = ParseBlock();
      continue;
    }
    SelectStmt::Clause c;
    c.values = ParseArgs(Tok::EndOfStatement, false);
    if (c.values.empty()) Expected("a value after 'Case'");
    c.body = ParseBlock();
    s->cases.push_back(std::move(c));
  }
  if (!IsKw(Kw::End) || !IsKw(Kw::Select, 1)) {
    Expected("'Case' or 'End Select' to close the 'Select Case' of line " + text::Decimal(head.line));
  }
  SameFile(head, "Select Case");
  Take();
  Take();
  return s;
}

StmtPtr Parser::ParseFor() {
  Pos head = Take().pos;
  bool each = IsKw(Kw::Each);
  if (each) Take();
  auto s = std::make_unique<ForStmt>(each ? Stmt::Kind::ForEach : Stmt::Kind::For, W(head));
  Token v = Take();
  if (v.kind != Tok::Identifier) Fail(v.pos, "expected a variable name, found " + Describe(v));
  s->var = DeclaredName(v, Makes::Loop);
  if (each) {
    ExpectKw(Kw::In, "'In'");
    s->from = ParseExpr();
  } else {
    Expect(Tok::Equals, "'='");
    s->from = ParseExpr();
    ExpectKw(Kw::To, "'To'");
    s->to = ParseExpr();
    if (IsKw(Kw::Step)) {
      Take();
      s->step = ParseExpr();
    }
  }
  ExpectEndOfStatement();
  ++for_depth_;
  s->body = ParseBlock();
  --for_depth_;
  if (!IsKw(Kw::Next)) Expected("'Next' to close the 'For' of line " + text::Decimal(head.line));
  SameFile(head, "For");
  s->next_at = W(Take().pos);
  if (At(Tok::Identifier)) {
    Token n = Take();
    if (n.lower != v.lower) Fail(n.pos, "expected '" + v.text + "' after 'Next', found " + Describe(n));
  }
  return s;
}

// Do [While|Until c] ... Loop [While|Until c], and While c ... Wend.
StmtPtr Parser::ParseDo(bool while_wend) {
  Pos head = Take().pos;
  auto s = std::make_unique<DoStmt>(Stmt::Kind::Do, W(head));
  if (while_wend) {
    s->pre = DoStmt::Test::While;
    s->pre_test = ParseExpr();
  } else if (IsKw(Kw::While) || IsKw(Kw::Until)) {
    s->pre = IsKw(Kw::While) ? DoStmt::Test::While : DoStmt::Test::Until;
    Take();
    s->pre_test = ParseExpr();
  }
  ExpectEndOfStatement();
  ++do_depth_;
  s->body = ParseBlock();
  --do_depth_;
  if (while_wend) {
    if (!IsKw(Kw::Wend)) Expected("'Wend' to close the 'While' of line " + text::Decimal(head.line));
    SameFile(head, "While");
    s->loop_at = W(Take().pos);
    return s;
  }
  if (!IsKw(Kw::Loop)) Expected("'Loop' to close the 'Do' of line " + text::Decimal(head.line));
  SameFile(head, "Do");
  s->loop_at = W(Take().pos);
  if (IsKw(Kw::While) || IsKw(Kw::Until)) {
    if (s->pre != DoStmt::Test::None) Fail(Peek().pos, "a 'Do' loop has one test, at its top or at its bottom");
    s->post = IsKw(Kw::While) ? DoStmt::Test::While : DoStmt::Test::Until;
    Take();
    s->post_test = ParseExpr();
  }
  return s;
}

StmtPtr Parser::ParseExit() {
  Pos pos = Take().pos;
  auto s = std::make_unique<SimpleStmt>(Stmt::Kind::Exit, W(pos));
  Token w = Take();
  bool ok = false;
  if (w.kind == Tok::Keyword) {
    switch (w.kw) {
      case Kw::For:
        s->exit_what = 0;
        ok = for_depth_ > 0;
        break;
      case Kw::Do:
        s->exit_what = 1;
        ok = do_depth_ > 0;
        break;
      case Kw::Sub:
        s->exit_what = 2;
        ok = proc_ && !proc_->function;
        break;
      case Kw::Function:
        s->exit_what = 3;
        ok = proc_ && proc_->function;
        break;
      default: Fail(w.pos, "expected 'For', 'Do', 'Sub' or 'Function' after 'Exit', found " + Describe(w));
    }
  } else {
    Fail(w.pos, "expected 'For', 'Do', 'Sub' or 'Function' after 'Exit', found " + Describe(w));
  }
  if (!ok) Fail(pos, "'Exit " + w.text + "' outside a " + w.text);
  return s;
}

void Parser::ParseProcedure() {
  Token kw = Take();
  bool function = kw.kw == Kw::Function;
  Token name = Take();
  if (name.kind != Tok::Identifier) Fail(name.pos, "expected a procedure name, found " + Describe(name));
  CheckName(name, "a procedure name");
  int id = Intern(name);
  if (proc_index_.count(id)) Fail(name.pos, "'" + name.text + "' is already declared");
  prog_.procedures.emplace_back();
  proc_index_[id] = static_cast<int>(prog_.procedures.size() - 1);
  Procedure* p = &prog_.procedures.back();
  p->name = name.text;
  p->name_id = id;
  p->function = function;
  p->at = W(kw.pos);
  if (At(Tok::LParen)) {
    Take();
    if (!At(Tok::RParen)) {
      for (;;) {
        bool by_val = false;
        if (IsKw(Kw::ByVal) || IsKw(Kw::ByRef)) by_val = Take().kw == Kw::ByVal;
        Token param = Take();
        if (param.kind != Tok::Identifier) Fail(param.pos, "expected a parameter name, found " + Describe(param));
        CheckName(param, "a parameter name");
        int pid = Intern(param);
        for (int q : p->params) {
          if (q == pid) Fail(param.pos, "the parameter '" + param.text + "' is named twice");
        }
        if (pid == id) Fail(param.pos, "a parameter cannot have its procedure's name");
        variable_uses_.emplace_back(pid, param.pos);
        p->params.push_back(pid);
        p->by_val.push_back(by_val);
        if (!At(Tok::Comma)) break;
        Take();
      }
    }
    Expect(Tok::RParen, "')'");
  }
  ExpectEndOfStatement();
  proc_ = p;
  proc_assigned_.assign(prog_.names.size(), 0);
  int saved_for = for_depth_, saved_do = do_depth_;
  for_depth_ = do_depth_ = 0;
  p->body = ParseBlock();
  for_depth_ = saved_for;
  do_depth_ = saved_do;
  const char* closer = function ? "Function" : "Sub";
  if (!IsKw(Kw::End) || !IsKw(function ? Kw::Function : Kw::Sub, 1)) {
    Expected(std::string("'End ") + closer + "' to close the '" + closer + "' of line " + text::Decimal(kw.pos.line));
  }
  SameFile(kw.pos, closer);
  Take();
  Take();
  ExpectEndOfStatement();
  procs_assigned_.resize(prog_.procedures.size());
  procs_assigned_.back() = std::move(proc_assigned_);
  proc_ = nullptr;
}

}  // namespace halvane::script
