// Expressions: names, elements, member calls (through the automation layer)
// and calls of the page's own procedures.
#include <utility>

#include "host/script/machine.h"

namespace halvane::script {
namespace {

using automation::HResult;
using automation::InvokeKind;
using automation::ObjectPtr;

// The Err values of an automation status from a name lookup or an invoke.
ScriptError FromStatus(HResult hr, const automation::ExceptionInfo& ex) {
  switch (hr) {
    case automation::kDispEException: {
      std::uint32_t status = ex.status;
      std::int32_t number = (status & 0xFFFF0000u) == kErrorStatusBase ? static_cast<std::int32_t>(status & 0xFFFFu)
                                                                       : static_cast<std::int32_t>(status);
      return {number, ex.source, ex.description, status, 0, 0, {}};
    }
    case automation::kDispETypeMismatch: return HostError(kErrTypeMismatch);
    case automation::kDispEOverflow: return HostError(kErrOverflow);
    case automation::kDispEUnknownName:
    case automation::kDispEMemberNotFound: return HostError(kErrNoMember);
    case automation::kDispEBadParamCount: return HostError(kErrArgCount);
    default: {
      ScriptError e = HostError(static_cast<std::int32_t>(hr));
      char text[64];
      std::snprintf(text, sizeof text, "Automation error 0x%08X", static_cast<unsigned>(hr));
      e.description = text;
      e.status = static_cast<std::uint32_t>(hr);
      return e;
    }
  }
}

// Arrays hold arrays at most kMaxArrayDepth deep; a page that nests more
// gets error 28, as for calls nested too deep.
bool Reaches(const Array& from, const Array* target) {
  if (&from == target) return true;
  for (const Value& v : from.items) {
    if (v.kind == Value::Kind::Array && Reaches(*v.arr, target)) return true;
  }
  return false;
}

std::shared_ptr<Array> DeepCopy(const Array& a) {
  auto c = std::make_shared<Array>(a);
  for (Value& v : c->items) {
    if (v.kind == Value::Kind::Array) v.arr = DeepCopy(*v.arr);
  }
  return c;
}

}  // namespace

const std::string& Machine::NameOf(const NameExpr& n) const { return prog_.names[static_cast<std::size_t>(n.name)]; }

Variant Machine::Plain(Value v) {
  if (v.kind == Value::Kind::Object) throw HostError(kErrNoMember);
  if (v.kind == Value::Kind::Array) throw HostError(kErrTypeMismatch);
  return std::move(v.v);
}

Variant Machine::EvalPlain(const Expr& e) {
  if (e.kind == Expr::Kind::Literal) return static_cast<const LiteralExpr&>(e).value;
  Value v = Eval(e);
  if (v.kind == Value::Kind::Object) throw HostError(kErrNoMember);
  if (v.kind == Value::Kind::Array) throw HostError(kErrTypeMismatch);
  return std::move(v.v);
}

ObjectPtr Machine::ObjectOf(const Value& v) {
  if (v.kind != Value::Kind::Object || !v.obj) throw HostError(kErrObjectRequired);
  return v.obj;
}

Value Machine::Eval(const Expr& e) {
  switch (e.kind) {
    case Expr::Kind::Literal: return Value(static_cast<const LiteralExpr&>(e).value);
    case Expr::Kind::Name: {
      const auto& n = static_cast<const NameExpr&>(e);
      if (n.scope == NameExpr::Scope::Procedure) return CallProcedure(n.slot, {}, e.at.line);
      return NameValue(n);
    }
    case Expr::Kind::Chain: return EvalChain(static_cast<const ChainExpr&>(e));
    case Expr::Kind::Unary: {
      const auto& u = static_cast<const UnaryExpr&>(e);
      return Unary(u.op, Eval(*u.a));
    }
    case Expr::Kind::Paren: return Eval(*static_cast<const UnaryExpr&>(e).a);
    case Expr::Kind::Postfix: {
      const auto& p = static_cast<const PostfixExpr&>(e);
      return EvalPostfix(p, p.steps.size());
    }
    case Expr::Kind::Builtin: return CallBuiltin(static_cast<const BuiltinExpr&>(e));
    case Expr::Kind::Object: return PageObjectValue(static_cast<const ObjectExpr&>(e).object);
    case Expr::Kind::Nothing: return Value::Object({});
    case Expr::Kind::Page: {
      const auto& pe = static_cast<const PageExpr&>(e);
      return EvalPage(pe.member, pe.args, pe.shown);
    }
  }
  return {};
}

Place Machine::NamePlace(const NameExpr& n) {
  if (!n.declared && prog_.option_explicit) throw HostError(kErrUndefinedVariable, NameOf(n));
  switch (n.scope) {
    case NameExpr::Scope::Page: return Place{&globals_[static_cast<std::size_t>(n.slot)], {}};
    case NameExpr::Scope::Local: return frame_->places[static_cast<std::size_t>(n.slot)];
    case NameExpr::Scope::Unknown:
    case NameExpr::Scope::Procedure:
    case NameExpr::Scope::Unresolved: break;
  }
  throw HostError(kErrNotDefined, NameOf(n));
}

// The element of `base` at `index`.  For a write the array is made this
// value's own first (copy on write).
Value* Machine::Element(Value& base, std::span<const ExprPtr> index, Pin* keep, bool write) {
  std::vector<std::int32_t> at;
  at.reserve(index.size());
  for (const ExprPtr& x : index) at.push_back(ToLong(EvalPlain(*x)));
  if (base.kind != Value::Kind::Array)
    throw HostError(base.kind == Value::Kind::Object ? kErrNoMember : kErrTypeMismatch);
  if (write && Array::Shared(base.arr)) base.arr = std::make_shared<Array>(*base.arr);
  Array& a = *base.arr;
  if (at.size() != a.upper.size()) throw HostError(kErrSubscript);
  std::size_t flat = 0;
  for (std::size_t d = 0; d < at.size(); ++d) {
    if (at[d] < 0 || at[d] > a.upper[d]) throw HostError(kErrSubscript);
    flat = flat * static_cast<std::size_t>(a.upper[d] + 1) + static_cast<std::size_t>(at[d]);
  }
  if (keep) *keep = Pin(base.arr);
  return &a.items[flat];
}

// The place an assignment, ReDim or by-reference argument names: a variable,
// or an element (a(1), a(1)(2)) made writable on the way.
Place Machine::PlaceOf(const Expr& e) {
  if (e.kind == Expr::Kind::Name) {
    const auto& n = static_cast<const NameExpr&>(e);
    if (n.scope == NameExpr::Scope::Procedure) throw HostError(kErrInvalidCall);
    return NamePlace(n);
  }
  if (e.kind != Expr::Kind::Postfix) throw HostError(kErrInvalidCall);
  const auto& p = static_cast<const PostfixExpr&>(e);
  if (p.base->kind != Expr::Kind::Name) throw HostError(kErrInvalidCall);
  const auto& n = static_cast<const NameExpr&>(*p.base);
  if (n.scope == NameExpr::Scope::Procedure || n.scope == NameExpr::Scope::Unknown)
    throw n.scope == NameExpr::Scope::Unknown ? HostError(kErrNotDefined, NameOf(n)) : HostError(kErrInvalidCall);
  Place place = NamePlace(n);
  for (const Step& s : p.steps) {
    if (s.member) throw HostError(kErrInvalidCall);
    place.value = Element(*place.value, s.args, &place.keep, true);
  }
  return place;
}

// Stores `v` at `place`.  An array stored into an element must not contain
// the array that receives it (that would be a cycle): such a value is
// copied in full first.
void Machine::Store(const Place& place, Value v, std::span<Array* const>) {
  if (place.keep && v.kind == Value::Kind::Array) {
    if (v.arr->depth + 1 > kMaxArrayDepth) throw HostError(kErrOutOfStack);
    if (Reaches(*v.arr, place.keep.get())) v.arr = DeepCopy(*v.arr);
    if (place.keep.get()->depth < v.arr->depth + 1) place.keep.get()->depth = v.arr->depth + 1;
  }
  *place.value = std::move(v);
}

// Arguments of a member call in declaration order: a bare variable or an
// element of an array variable by reference (kept alive in `args.keep`
// while the call runs), a left-out one as the missing-argument value,
// anything else by value.
void Machine::MemberArgs(std::span<const ExprPtr> exprs, CallArgs& args) {
  for (const ExprPtr& a : exprs) {
    if (!a) {
      args.Push(Variant::Missing());
    } else if (a->kind == Expr::Kind::Name && static_cast<const NameExpr&>(*a).scope != NameExpr::Scope::Procedure) {
      Value& slot = NameValue(static_cast<const NameExpr&>(*a));
      if (!slot.IsPlain()) throw HostError(slot.kind == Value::Kind::Object ? kErrNoMember : kErrTypeMismatch);
      args.Push(Variant::Ref(slot.v));
    } else if (a->kind == Expr::Kind::Literal) {
      args.Push(static_cast<const LiteralExpr&>(*a).value);
    } else if (IsElementOfArray(*a)) {
      Place place = PlaceOf(*a);
      if (!place.value->IsPlain())
        throw HostError(place.value->kind == Value::Kind::Object ? kErrNoMember : kErrTypeMismatch);
      args.Push(Variant::Ref(place.value->v));
      args.keep.push_back(std::move(place.keep));
    } else {
      args.Push(EvalPlain(*a));
    }
  }
}

// a(i) or a(i)(j) where `a` is a variable holding an array (not Request
// held in a variable, whose "elements" are values).
bool Machine::IsElementOfArray(const Expr& e) {
  if (e.kind != Expr::Kind::Postfix) return false;
  const auto& p = static_cast<const PostfixExpr&>(e);
  if (p.base->kind != Expr::Kind::Name) return false;
  const auto& n = static_cast<const NameExpr&>(*p.base);
  if (n.scope != NameExpr::Scope::Page && n.scope != NameExpr::Scope::Local) return false;
  for (const Step& s : p.steps) {
    if (s.member) return false;
  }
  return NameValue(n).kind == Value::Kind::Array;
}

// Looks the member up (or takes its DISPID from the call site, when the
// object is of the class seen last time) and invokes it.  A get in an
// expression also finds a method and a call with parentheses also finds a
// property get, as a late-bound call does; statements ask for one kind.
Variant Machine::Invoke(const ObjectPtr& obj, const Step& step, InvokeKind kind, std::span<Variant> args,
                        bool either) {
  const void* cls = &obj->Class();
  std::int32_t dispid = 0;
  HResult hr = 0;
  if (step.cache->cls.load(std::memory_order_acquire) == cls) {
    dispid = step.cache->dispid.load(std::memory_order_relaxed);
  } else {
    hr = obj->GetIDOfName(step.name, dispid);
    if (hr >= 0) {
      step.cache->dispid.store(dispid, std::memory_order_relaxed);
      step.cache->cls.store(cls, std::memory_order_release);
    }
  }
  automation::ExceptionInfo ex;
  Variant result;
  if (hr >= 0) {
    hr = obj->Invoke(dispid, kind, args, &result, &ex);
    if (hr == automation::kDispEMemberNotFound && either) {
      InvokeKind other = kind == InvokeKind::Method ? InvokeKind::PropertyGet : InvokeKind::Method;
      hr = obj->Invoke(dispid, other, args, &result, &ex);
    }
  }
  if (hr < 0) {
    ScriptError e = FromStatus(hr, ex);
    if (hr == automation::kDispEUnknownName || hr == automation::kDispEMemberNotFound) {
      e.culprit = std::string(obj->Class().name) + "." + step.name;
    }
    throw e;
  }
  Poll();
  if (result.IsByRef()) result = result.Value();
  if (result.Type() == VarType::String && result.RawString().size() > limits_.max_string)
    throw HostError(kErrOutOfStringSpace);
  return result;
}

Value Machine::ErrMember(const std::string& name) {
  if (name == "number") return Value(Variant(err_ ? err_->number : 0));
  if (name == "source") return Value(Variant(err_ ? err_->source : std::string()));
  return Value(Variant(err_ ? err_->description : std::string()));
}

// base, then `count` of the steps: element indexes, member gets and calls.
Value Machine::EvalPostfix(const PostfixExpr& p, std::size_t count) {
  std::size_t i = 0;
  Value cur;
  if (p.base->kind == Expr::Kind::Object) {
    const BuiltinObject object = static_cast<const ObjectExpr&>(*p.base).object;
    if (object == BuiltinObject::Err) {
      cur = ErrMember(p.steps[0].name);
      i = 1;
    } else {
      cur = PageObjectValue(object);  // Session or Application, then its steps
    }
  } else if (p.base->kind == Expr::Kind::Page) {
    cur = Eval(*p.base);  // Server.CreateObject(id), then its steps
  } else {
    const auto& n = static_cast<const NameExpr&>(*p.base);
    if (n.scope == NameExpr::Scope::Procedure) {
      if (count > 0 && !p.steps[0].member) {
        cur = CallProcedure(n.slot, p.steps[0].args, p.steps[0].line);
        i = 1;
      } else {
        cur = CallProcedure(n.slot, {}, p.at.line);
      }
    } else if (n.scope == NameExpr::Scope::Unknown) {
      throw HostError(kErrNotDefined, NameOf(n));
    } else if (count > 0 && !p.steps[0].member) {
      // Read an element without copying the whole array.
      Value& base = NameValue(n);
      if (base.page != PageObject::None) {
        cur = PageMemberUse(base.page, nullptr, PageUse::Get, p.steps[0].args);
      } else {
        cur = *Element(base, p.steps[0].args, nullptr, false);
      }
      i = 1;
    } else {
      const Value& held = NameValue(n);
      if (count > 0 && held.kind == Value::Kind::Object && held.obj) {
        // o.M(...): the member of the object where the variable holds it.
        cur = CallMember(held.obj, p.steps[0]);
        i = 1;
      } else {
        cur = held;
      }
    }
  }
  for (; i < count; ++i) {
    const Step& s = p.steps[i];
    if (cur.page != PageObject::None) {
      Value next = PageMemberUse(cur.page, s.member ? &s : nullptr, PageUse::Get, s.args);
      cur = std::move(next);
      continue;
    }
    if (!s.member) {
      Value next = *Element(cur, s.args, nullptr, false);
      cur = std::move(next);
      continue;
    }
    cur = CallMember(ObjectOf(cur), s);
  }
  return cur;
}

// A member get or call in an expression (`s` a member step).
Value Machine::CallMember(ObjectPtr obj, const Step& s) {
  CallArgs args(*this);
  MemberArgs(s.args, args);
  return Value(Invoke(obj, s, s.parens ? InvokeKind::Method : InvokeKind::PropertyGet, args.Span(), true));
}

// Calls a Sub or Function of the page.  By-reference parameters become the
// caller's places; the wrong argument count fails before any is evaluated.
Value Machine::CallProcedure(int index, std::span<const ExprPtr> args, int line) {
  const Procedure& p = prog_.procedures[static_cast<std::size_t>(index)];
  if (args.size() != p.params.size()) throw HostError(kErrArgCount);
  if (call_depth_ >= kMaxCallDepth) throw HostError(kErrOutOfStack);
  char here;
  if (stack_limit_ && &here < stack_limit_) throw HostError(kErrOutOfStack);
  Frame f;
  f.proc = &p;
  f.own.resize(static_cast<std::size_t>(p.locals));
  f.places.resize(f.own.size());
  for (std::size_t k = 0; k < f.own.size(); ++k) f.places[k].value = &f.own[k];
  for (std::size_t k = 0; k < args.size(); ++k) {
    const Expr& a = *args[k];
    bool place =
        !p.by_val[k] &&
        ((a.kind == Expr::Kind::Name && static_cast<const NameExpr&>(a).scope != NameExpr::Scope::Procedure) ||
         (a.kind == Expr::Kind::Postfix && static_cast<const PostfixExpr&>(a).base->kind == Expr::Kind::Name &&
          static_cast<const NameExpr&>(*static_cast<const PostfixExpr&>(a).base).scope != NameExpr::Scope::Procedure &&
          !static_cast<const PostfixExpr&>(a).steps.back().member));
    if (place) {
      bool elements_only = true;
      if (a.kind == Expr::Kind::Postfix) {
        for (const Step& s : static_cast<const PostfixExpr&>(a).steps) elements_only = elements_only && !s.member;
      }
      if (elements_only) {
        f.places[k + 1] = PlaceOf(a);
        continue;
      }
    }
    f.own[k + 1] = Eval(a);
  }
  (void)line;
  Frame* saved = frame_;
  int saved_line = line_, saved_file = file_;
  frame_ = &f;
  ++call_depth_;
  struct Restore {
    Machine& m;
    Frame* f;
    ~Restore() {
      m.frame_ = f;
      --m.call_depth_;
    }
  } restore{*this, saved};
  Exec(p.body);
  line_ = saved_line;
  file_ = saved_file;
  if (!p.function) return Value();
  return std::move(f.own[0]);
}

Value Machine::EvalChain(const ChainExpr& c) {
  if (c.ops[0] == Op::Concat) return ConcatChain(c);
  Value acc = Eval(*c.operands[0]);
  for (std::size_t i = 0; i < c.ops.size(); ++i) {
    if ((i & 15) == 15) Poll();
    acc = Binary(c.ops[i], std::move(acc), Eval(*c.operands[i + 1]));
  }
  return acc;
}

}  // namespace halvane::script
