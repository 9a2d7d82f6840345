// Operators of the page language on values: the checks the page adds
// (Error values, Null, objects, arrays, in that order) before the Variant
// operations of core/ do the arithmetic.
#include <utility>

#include "core/arith.h"
#include "host/script/machine.h"

namespace halvane::script {
namespace {

bool IsErrorValue(const Value& v) { return v.IsPlain() && v.v.Type() == VarType::Error; }
bool IsNullValue(const Value& v) { return v.IsPlain() && v.v.IsNullValue(); }

// The order of operand checks: an Error value (13), then Null (the
// operation gives Null), then an object (438), then an array (13).
// Returns true when the result is Null.
bool CheckOperands(const Value& a, const Value& b) {
  if (IsErrorValue(a) || IsErrorValue(b)) throw HostError(kErrTypeMismatch);
  if (IsNullValue(a) || IsNullValue(b)) return true;
  if (a.kind == Value::Kind::Object || b.kind == Value::Kind::Object) throw HostError(kErrNoMember);
  if (a.kind == Value::Kind::Array || b.kind == Value::Kind::Array) throw HostError(kErrTypeMismatch);
  return false;
}

Variant Comparison(Op op, const Variant& a, const Variant& b) {
  std::optional<int> c = CompareValues(a, b);
  if (!c) return Variant::Null();
  switch (op) {
    case Op::Eq: return Variant(*c == 0);
    case Op::Ne: return Variant(*c != 0);
    case Op::Lt: return Variant(*c < 0);
    case Op::Gt: return Variant(*c > 0);
    case Op::Le: return Variant(*c <= 0);
    default: return Variant(*c >= 0);
  }
}

}  // namespace

Value Machine::Binary(Op op, Value a, Value b) {
  if (op == Op::Is) {
    if (a.kind != Value::Kind::Object || b.kind != Value::Kind::Object) throw HostError(kErrObjectRequired);
    return Value(Variant(a.obj.get() == b.obj.get() && a.page == b.page));
  }
  if (op == Op::And || op == Op::Or) {
    // Null And False is False and Null Or True is True, whatever else the
    // other side is not.
    if (IsErrorValue(a) || IsErrorValue(b)) throw HostError(kErrTypeMismatch);
    bool an = IsNullValue(a), bn = IsNullValue(b);
    if (an || bn) {
      const Value& other = an ? b : a;
      if (other.IsPlain() && other.v.Type() == VarType::Boolean) {
        return Value(op == Op::And ? And(a.v, b.v) : Or(a.v, b.v));
      }
      return Value(Variant::Null());
    }
  }
  if (CheckOperands(a, b)) {
    if (op == Op::Concat) return Value(Concat(a.IsPlain() ? a.v : Variant(), b.IsPlain() ? b.v : Variant()));
    return Value(Variant::Null());
  }
  const Variant& x = a.v;
  const Variant& y = b.v;
  switch (op) {
    case Op::Pow: return Value(Power(x, y));
    case Op::Mul: return Value(Multiply(x, y));
    case Op::Div: return Value(Divide(x, y));
    case Op::IntDiv: return Value(IntDivide(x, y));
    case Op::Mod: return Value(Modulo(x, y));
    case Op::Add: return Value(Plus(x, y, limits_.max_string));
    case Op::Sub: return Value(Subtract(x, y));
    case Op::Concat: {
      std::size_t size = (x.Type() == VarType::String ? x.RawString().size() : 32) +
                         (y.Type() == VarType::String ? y.RawString().size() : 32);
      if (size > limits_.max_string) throw HostError(kErrOutOfStringSpace);
      return Value(Concat(x, y));
    }
    case Op::Eq:
    case Op::Ne:
    case Op::Lt:
    case Op::Gt:
    case Op::Le:
    case Op::Ge: return Value(Comparison(op, x, y));
    case Op::And: return Value(And(x, y));
    case Op::Or: return Value(Or(x, y));
    case Op::Xor: return Value(Xor(x, y));
    default: break;
  }
  throw HostError(kErrInvalidCall);
}

Value Machine::Unary(Op op, Value a) {
  if (op == Op::Plus) return a;
  if (IsErrorValue(a)) throw HostError(kErrTypeMismatch);
  if (IsNullValue(a)) return a;
  if (a.kind == Value::Kind::Object) throw HostError(kErrNoMember);
  if (a.kind == Value::Kind::Array) throw HostError(kErrTypeMismatch);
  if (op == Op::Not) return Value(Not(a.v));
  return Value(Negate(a.v));
}

// a & b & c ...: one String built in place (each operand's text appended),
// so a long line costs time in proportion to its length.  The result
// respects the string limit and the run's time limit as it grows.
Value Machine::ConcatChain(const ChainExpr& c) {
  std::string text;
  bool all_null = true;
  // Appends one operand's text; literals and variables are read where they
  // stand, without a copy.
  auto add = [&](const Value& v) {
    if (v.kind == Value::Kind::Object) throw HostError(kErrNoMember);
    if (v.kind == Value::Kind::Array) throw HostError(kErrTypeMismatch);
    const Variant& x = v.v;
    const std::size_t room = limits_.max_string - std::min(text.size(), limits_.max_string);
    switch (x.Type()) {
      case VarType::Error: throw HostError(kErrTypeMismatch);
      case VarType::Null: return;
      case VarType::Empty: all_null = false; return;
      case VarType::String: {
        all_null = false;
        const std::string& s = x.RawString();
        if (s.size() > room) throw HostError(kErrOutOfStringSpace);
        text.append(s);
        return;
      }
      default: {
        all_null = false;
        const std::string s = ToString(x);
        if (s.size() > room) throw HostError(kErrOutOfStringSpace);
        text.append(s);
        return;
      }
    }
  };
  // Room for the literals and a short text of every other operand, so that
  // the usual line grows its text once.
  std::size_t guess = 0;
  for (std::size_t k = 0; k < c.operands.size() && (k == 0 || c.ops[k - 1] == Op::Concat); ++k) {
    const Expr& e = *c.operands[k];
    const bool text_literal = e.kind == Expr::Kind::Literal &&
                              static_cast<const LiteralExpr&>(e).value.Type() == VarType::String;
    guess += text_literal ? static_cast<const LiteralExpr&>(e).value.RawString().size() : 16;
  }
  text.reserve(std::min(guess, limits_.max_string));
  std::size_t i = 0;
  for (; i < c.operands.size(); ++i) {
    if (i > 0 && c.ops[i - 1] != Op::Concat) break;
    if ((i & 15) == 15) Poll();
    const Expr& e = *c.operands[i];
    if (e.kind == Expr::Kind::Literal) {
      const Variant& lit = static_cast<const LiteralExpr&>(e).value;
      if (lit.Type() == VarType::String) {
        all_null = false;
        if (lit.RawString().size() > limits_.max_string - std::min(text.size(), limits_.max_string)) {
          throw HostError(kErrOutOfStringSpace);
        }
        text.append(lit.RawString());
        continue;
      }
    } else if (e.kind == Expr::Kind::Name) {
      const auto& n = static_cast<const NameExpr&>(e);
      if (n.scope == NameExpr::Scope::Page || n.scope == NameExpr::Scope::Local) {
        add(NameValue(n));
        continue;
      }
    }
    add(Eval(e));
  }
  Value acc = all_null ? Value(Variant::Null()) : Value(Variant(std::move(text)));
  for (; i < c.operands.size(); ++i) {
    acc = Binary(c.ops[i - 1], std::move(acc), Eval(*c.operands[i]));
  }
  return acc;
}

}  // namespace halvane::script
