// The parser of page scripts (internal to host/script): statements in
// parser.cpp, the statements that hold blocks in parse_blocks.cpp,
// expressions in parse_expr.cpp, name resolution in resolve.cpp.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/script/lexer.h"
#include "host/script/program.h"

namespace halvane::script {

// Deeper nesting than this (parentheses, unary operators, blocks) is a
// syntax error rather than a risk to the stack of the parser, the
// interpreter or the tree's destructor.
inline constexpr int kMaxDepth = 64;

class Parser {
 public:
  Parser(std::string_view source, Program& program);
  // Tokens from `feed` instead of a source text (templates: page text and
  // the code of their blocks, see template_parse.cpp).
  Parser(std::function<Token()> feed, Program& program);
  void ParseProgram();

 private:
  friend struct DepthGuard;
  // ---- tokens (parser.cpp)
  const Token& Peek(std::size_t ahead = 0);
  Token Take();
  bool IsKw(Kw kw, std::size_t ahead = 0);
  bool At(Tok kind, std::size_t ahead = 0) { return Peek(ahead).kind == kind; }
  // In a one-line If, Else also ends a statement.
  bool AtEndOfStatement() {
    return At(Tok::EndOfStatement) || At(Tok::EndOfFile) || (one_line_if_ > 0 && IsKw(Kw::Else));
  }
  bool AtLineEnd() { return At(Tok::EndOfFile) || (At(Tok::EndOfStatement) && Peek().text != ":"); }
  [[noreturn]] void Fail(const Pos& p, const std::string& message) const { throw SyntaxError(p, message); }
  [[noreturn]] void Expected(const std::string& what);
  Token Expect(Tok kind, const std::string& what);
  void ExpectKw(Kw kw, const std::string& what);
  void ExpectEndOfStatement();
  Where W(const Pos& p) const { return Where{p.line, p.file}; }
  void Enter(const Pos& p);
  void Leave() { --depth_; }

  // ---- statements (parser.cpp)
  Block ParseBlock();
  void SameFile(const Pos& head, const char* opener);
  StmtPtr ParseStatement(bool one_line);
  StmtPtr ParseDim(bool redim);
  // ---- statements that hold blocks (parse_blocks.cpp)
  StmtPtr ParseIf();
  StmtPtr ParseSelect();
  StmtPtr ParseFor();
  StmtPtr ParseDo(bool while_wend);
  StmtPtr ParseExit();
  void ParseProcedure();
  // ---- calls and assignments (parser.cpp)
  StmtPtr ParseCallOrAssign(bool with_call);
  StmtPtr ParseObjectStatement(bool with_call);
  // Request, Response and Server (parse_page.cpp)
  bool PageStatementAhead();
  StmtPtr ParsePageStatement(bool with_call);
  ExprPtr ParsePageValue(const Token& head);
  ExprPtr ParsePageMember(const Token& head);
  // Request or Server ahead with a member whose result is indexed or
  // called in turn: Server.CreateObject(id).Method ...
  bool PageChainAhead();
  std::vector<ExprPtr> ParsePageArgs(bool statement, bool with_call);
  void NoteAssigned(const Expr& target);
  // How a statement makes a name: by assigning it (Set, ReDim), by Dim, or
  // as the variable of For or For Each.
  enum class Makes : std::uint8_t { Assign, Dim, Loop };
  std::unique_ptr<NameExpr> DeclaredName(const Token& t, Makes how);

  // ---- expressions (parse_expr.cpp)
 public:
  ExprPtr ParseExpr();

 private:
  ExprPtr ParseChain(int level);
  ExprPtr ParseNot();
  ExprPtr ParseUnary();
  ExprPtr ParsePowerOperand();
  ExprPtr ParsePostfix();
  ExprPtr ParsePrimary();
  void ParseSteps(PostfixExpr& p, bool name_base);
  std::vector<ExprPtr> ParseArgs(Tok close, bool allow_left_out);
  ExprPtr ParseBuiltin(const Token& t, const functions::Function& f);
  ExprPtr NameNode(const Token& t);
  ExprPtr seed_;  // a parsed first operand handed to ParsePrimary

  // ---- names (resolve.cpp)
  int Intern(const Token& t);
  void CheckName(const Token& t, const char* what);
  void Resolve();

  Lexer lex_;
  std::function<Token()> feed_;
  std::deque<Token> ahead_;
  Program& prog_;
  std::unordered_map<std::string, int> name_ids_;
  std::vector<char> page_declared_, page_assigned_;
  std::vector<NameExpr*> main_names_;
  std::vector<std::pair<int, Pos>> variable_uses_;  // names written as variables (checked against procedures)
  Procedure* proc_ = nullptr;                       // the procedure being read
  std::vector<char> proc_assigned_;                 // names assigned inside it
  std::vector<std::vector<char>> procs_assigned_;
  std::unordered_map<int, int> proc_index_;  // name -> procedure
  int depth_ = 0;
  int one_line_if_ = 0;
  int for_depth_ = 0, do_depth_ = 0;
  bool first_statement_ = true;
  bool in_statement_call_ = false;
  int proc_names_total_ = 0;
};

struct DepthGuard {
  DepthGuard(Parser& p, const Pos& at) : p_(p) { p_.Enter(at); }
  ~DepthGuard() { p_.Leave(); }
  Parser& p_;
};

}  // namespace halvane::script
