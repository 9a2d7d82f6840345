// Expressions of page scripts.  Each precedence level of binary operators
// reads its operands into one ChainExpr, so a line of 100,000 "&" is one
// node with a list, not a tree 100,000 deep.
#include <utility>

#include "host/script/functions.h"
#include "core/text.h"
#include "host/script/parser.h"

namespace halvane::script {
namespace {

// Binary levels from the loosest (0) to the tightest; Not sits between the
// comparisons and And.
enum Level { kXor, kOr, kAnd, kNot, kCompare, kConcat, kAdd, kMod, kIntDiv, kMul, kLevels };

bool OpAt(const Token& t, int level, Op& op) {
  switch (level) {
    case kXor:
      if (t.kind == Tok::Keyword && t.kw == Kw::Xor) {
        op = Op::Xor;
        return true;
      }
      return false;
    case kOr:
      if (t.kind == Tok::Keyword && t.kw == Kw::Or) {
        op = Op::Or;
        return true;
      }
      return false;
    case kAnd:
      if (t.kind == Tok::Keyword && t.kw == Kw::And) {
        op = Op::And;
        return true;
      }
      return false;
    case kCompare:
      switch (t.kind) {
        case Tok::Equals: op = Op::Eq; return true;
        case Tok::NotEqual: op = Op::Ne; return true;
        case Tok::Less: op = Op::Lt; return true;
        case Tok::Greater: op = Op::Gt; return true;
        case Tok::LessEqual: op = Op::Le; return true;
        case Tok::GreaterEqual: op = Op::Ge; return true;
        case Tok::Keyword:
          if (t.kw == Kw::Is) {
            op = Op::Is;
            return true;
          }
          return false;
        default: return false;
      }
    case kConcat:
      if (t.kind == Tok::Amp) {
        op = Op::Concat;
        return true;
      }
      return false;
    case kAdd:
      if (t.kind == Tok::Plus) {
        op = Op::Add;
        return true;
      }
      if (t.kind == Tok::Minus) {
        op = Op::Sub;
        return true;
      }
      return false;
    case kMod:
      if (t.kind == Tok::Keyword && t.kw == Kw::Mod) {
        op = Op::Mod;
        return true;
      }
      return false;
    case kIntDiv:
      if (t.kind == Tok::Backslash) {
        op = Op::IntDiv;
        return true;
      }
      return false;
    case kMul:
      if (t.kind == Tok::Star) {
        op = Op::Mul;
        return true;
      }
      if (t.kind == Tok::Slash) {
        op = Op::Div;
        return true;
      }
      return false;
    default: return false;
  }
}

}  // namespace

ExprPtr Parser::ParseExpr() {
  DepthGuard guard(*this, Peek().pos);
  return ParseChain(kXor);
}

ExprPtr Parser::ParseChain(int level) {
  if (level == kNot) return ParseNot();
  if (level == kLevels) return ParseUnary();
  ExprPtr first = ParseChain(level + 1);
  Op op;
  if (!OpAt(Peek(), level, op)) return first;
  auto chain = std::make_unique<ChainExpr>(first->at);
  chain->operands.push_back(std::move(first));
  while (OpAt(Peek(), level, op)) {
    int line = Take().pos.line;
    chain->ops.push_back(op);
    chain->op_lines.push_back(line);
    chain->operands.push_back(ParseChain(level + 1));
  }
  return chain;
}

ExprPtr Parser::ParseNot() {
  if (!IsKw(Kw::Not)) return ParseChain(kCompare);
  Token t = Take();
  DepthGuard guard(*this, t.pos);
  return std::make_unique<UnaryExpr>(Expr::Kind::Unary, W(t.pos), Op::Not, ParseNot());
}

// Unary minus and plus bind looser than ^: -2 ^ 2 is -(2 ^ 2).  A minus
// directly before a number literal gives the literal its kind (-32768 is an
// Integer) unless a ^ follows it.
ExprPtr Parser::ParseUnary() {
  if (!seed_ && (At(Tok::Minus) || At(Tok::Plus))) {
    Token t = Take();
    DepthGuard guard(*this, t.pos);
    if (t.kind == Tok::Minus && At(Tok::Number) && !At(Tok::Caret, 1)) {
      Token n = Take();
      return std::make_unique<LiteralExpr>(W(t.pos),
                                           n.whole ? WholeLiteral(-n.magnitude) : Variant(-n.value.RawDouble()));
    }
    Op op = t.kind == Tok::Minus ? Op::Neg : Op::Plus;
    return std::make_unique<UnaryExpr>(Expr::Kind::Unary, W(t.pos), op, ParseUnary());
  }
  ExprPtr first = ParsePostfix();
  if (!At(Tok::Caret)) return first;
  auto chain = std::make_unique<ChainExpr>(first->at);
  chain->operands.push_back(std::move(first));
  while (At(Tok::Caret)) {
    chain->op_lines.push_back(Take().pos.line);
    chain->ops.push_back(Op::Pow);
    chain->operands.push_back(ParsePowerOperand());
  }
  return chain;
}

// The right side of ^ may carry its own sign: 2 ^ -1.
ExprPtr Parser::ParsePowerOperand() {
  if (At(Tok::Minus) || At(Tok::Plus)) {
    Token t = Take();
    DepthGuard guard(*this, t.pos);
    if (t.kind == Tok::Minus && At(Tok::Number)) {
      Token n = Take();
      return std::make_unique<LiteralExpr>(W(t.pos),
                                           n.whole ? WholeLiteral(-n.magnitude) : Variant(-n.value.RawDouble()));
    }
    Op op = t.kind == Tok::Minus ? Op::Neg : Op::Plus;
    return std::make_unique<UnaryExpr>(Expr::Kind::Unary, W(t.pos), op, ParsePowerOperand());
  }
  return ParsePostfix();
}

ExprPtr Parser::NameNode(const Token& t) {
  CheckName(t, "a name");
  auto n = std::make_unique<NameExpr>(W(t.pos), Intern(t));
  if (proc_) {
    proc_->names.push_back(n.get());
  } else {
    main_names_.push_back(n.get());
  }
  return n;
}

ExprPtr Parser::ParsePostfix() {
  if (seed_) return std::move(seed_);
  const Token& t = Peek();
  bool name_base = t.kind == Tok::Identifier && functions::Find(t.lower) == nullptr;
  bool object_base =
      t.kind == Tok::Keyword && (t.kw == Kw::Request || t.kw == Kw::Response || t.kw == Kw::Server || t.kw == Kw::Err);
  bool state_base = t.kind == Tok::Keyword && (t.kw == Kw::Session || t.kw == Kw::Application);
  if (!name_base && !object_base && !state_base) return ParsePrimary();
  Token head = Take();
  ExprPtr base;
  if (name_base) {
    base = NameNode(head);
  } else if (state_base) {
    prog_.uses_state = true;
    // Session and Application: their members are found by name when they
    // run, as for an object held in a variable.
    base = std::make_unique<ObjectExpr>(
        W(head.pos), head.kw == Kw::Session ? BuiltinObject::Session : BuiltinObject::Application);
  } else {
    if (head.kw != Kw::Err) return ParsePageValue(head);
    base = std::make_unique<ObjectExpr>(W(head.pos), BuiltinObject::Err);
    Expect(Tok::Dot, "'.' after 'Err'");
    Token m = Take();
    if (m.kind != Tok::Identifier && m.kind != Tok::Keyword) Fail(m.pos, "expected a member name after '.'");
    if (m.lower != "number" && m.lower != "source" && m.lower != "description") {
      Fail(m.pos, "expected 'Number', 'Source' or 'Description' after 'Err.', found " + Describe(m));
    }
    auto p = std::make_unique<PostfixExpr>(W(head.pos), std::move(base));
    Step s;
    s.member = true;
    s.name = m.lower;
    s.line = m.pos.line;
    p->steps.push_back(std::move(s));
    return p;
  }
  if (!At(Tok::LParen) && !At(Tok::Dot)) return base;
  auto p = std::make_unique<PostfixExpr>(W(head.pos), std::move(base));
  ParseSteps(*p, name_base);
  return p;
}

// .member, .member(args) and (args) after a name, a call or an element.
void Parser::ParseSteps(PostfixExpr& p, bool name_base) {
  bool first = true;
  for (;;) {
    Step s;
    if (At(Tok::Dot)) {
      s.line = Take().pos.line;
      Token m = Take();
      if (m.kind != Tok::Identifier && m.kind != Tok::Keyword) Fail(m.pos, "expected a member name after '.'");
      s.member = true;
      s.name = m.text;
      if (At(Tok::LParen)) {
        Take();
        bool saved = in_statement_call_;
        in_statement_call_ = false;
        s.parens = true;
        s.args = ParseArgs(Tok::RParen, true);
        in_statement_call_ = saved;
        Expect(Tok::RParen, "')'");
      }
    } else if (At(Tok::LParen)) {
      s.line = Take().pos.line;
      bool saved = in_statement_call_;
      in_statement_call_ = false;
      s.parens = true;
      // A page procedure or an array index: no left-out arguments.
      s.args = ParseArgs(Tok::RParen, false);
      if (first && name_base) static_cast<NameExpr&>(*p.base).called = true;
      in_statement_call_ = saved;
      Expect(Tok::RParen, "')'");
    } else {
      return;
    }
    first = false;
    p.steps.push_back(std::move(s));
  }
}

// Arguments up to `close` (not taken); an empty place is a left-out one.
std::vector<ExprPtr> Parser::ParseArgs(Tok close, bool allow_left_out) {
  std::vector<ExprPtr> args;
  auto at_close = [&] { return close == Tok::EndOfStatement ? AtEndOfStatement() : At(close); };
  if (at_close() && !seed_) return args;
  for (;;) {
    if (!seed_ && (At(Tok::Comma) || at_close())) {
      if (!allow_left_out) Fail(Peek().pos, "expected an argument, found " + Describe(Peek()));
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

ExprPtr Parser::ParseBuiltin(const Token& t, const functions::Function& info) {
  auto e = std::make_unique<BuiltinExpr>(W(t.pos), info);
  if (At(Tok::LParen)) {
    Take();
    bool saved = in_statement_call_;
    in_statement_call_ = false;
    e->args = ParseArgs(Tok::RParen, false);
    in_statement_call_ = saved;
    Expect(Tok::RParen, "')'");
  } else if (info.min_args > 0) {
    Expected("'(' after '" + t.text + "'");
  }
  int n = static_cast<int>(e->args.size());
  if (n < info.min_args || (info.max_args >= 0 && n > info.max_args)) {
    std::string want = info.min_args == info.max_args ? text::Decimal(info.min_args)
                       : info.max_args < 0            ? "any number of"
                                           : text::Decimal(info.min_args) + " to " + text::Decimal(info.max_args);
    std::string message(1, '\'');
    message.append(info.name).append("' takes ").append(want).append(" argument");
    if (info.max_args != 1 || info.min_args != 1) message.push_back('s');
    message.append(", found ").append(text::Decimal(n));
    Fail(t.pos, message);
  }
  return e;
}

ExprPtr Parser::ParsePrimary() {
  Token t = Take();
  Where w = W(t.pos);
  switch (t.kind) {
    case Tok::Number:
    case Tok::String:
    case Tok::Date: return std::make_unique<LiteralExpr>(w, std::move(t.value));
    case Tok::LParen: {
      DepthGuard guard(*this, t.pos);
      bool saved = in_statement_call_;
      in_statement_call_ = false;
      ExprPtr inner = ParseExpr();
      in_statement_call_ = saved;
      if (At(Tok::Comma) && saved) {
        Fail(Peek().pos,
             "expected ')', found ','; a call statement takes its arguments without "
             "parentheses (o.M a, b) or with 'Call' (Call o.M(a, b))");
      }
      Expect(Tok::RParen, "')'");
      return std::make_unique<UnaryExpr>(Expr::Kind::Paren, w, Op::Plus, std::move(inner));
    }
    case Tok::Identifier:
      if (const functions::Function* f = functions::Find(t.lower)) return ParseBuiltin(t, *f);
      break;
    case Tok::Keyword:
      switch (t.kw) {
        case Kw::True: return std::make_unique<LiteralExpr>(w, Variant(true));
        case Kw::False: return std::make_unique<LiteralExpr>(w, Variant(false));
        case Kw::Null: return std::make_unique<LiteralExpr>(w, Variant::Null());
        case Kw::Empty: return std::make_unique<LiteralExpr>(w, Variant());
        case Kw::VbCrLf: return std::make_unique<LiteralExpr>(w, Variant("\r\n"));
        case Kw::VbCr: return std::make_unique<LiteralExpr>(w, Variant("\r"));
        case Kw::VbLf: return std::make_unique<LiteralExpr>(w, Variant("\n"));
        case Kw::VbTab: return std::make_unique<LiteralExpr>(w, Variant("\t"));
        case Kw::VbBinaryCompare: return std::make_unique<LiteralExpr>(w, Variant(std::int16_t{0}));
        case Kw::VbTextCompare: return std::make_unique<LiteralExpr>(w, Variant(std::int16_t{1}));
        case Kw::Nothing: return std::make_unique<Expr>(Expr::Kind::Nothing, w);
        case Kw::Not: Fail(t.pos, "'Not' cannot stand here; put the 'Not' expression in parentheses");
        default: break;
      }
      break;
    default: break;
  }
  Fail(t.pos, "expected an expression, found " + Describe(t));
}

}  // namespace halvane::script
