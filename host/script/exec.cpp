// Statements: the control structures, declarations, assignments and calls.
#include <cmath>
#include <thread>
#include <utility>

#include "core/arith.h"
#include "host/script/machine.h"
#include "host/web/page_io.h"

namespace halvane::script {
namespace {

// The kinds a For loop counts in.
enum class ForKind { Integer, Long, Double };

// A bound or step classed as the loop rules say, with its value.
struct Classed {
  ForKind kind;
  double value;
};

Classed ClassForBound(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty: return {ForKind::Integer, 0};
    case VarType::Boolean: return {ForKind::Integer, v.RawInt() ? -1.0 : 0.0};
    case VarType::Integer: return {ForKind::Integer, static_cast<double>(v.RawInt())};
    case VarType::Long: return {ForKind::Long, static_cast<double>(v.RawInt())};
    case VarType::String: {
      double d = ToDouble(v);
      if (d == std::floor(d) && d >= -32768 && d <= 32767) return {ForKind::Integer, d};
      if (d == std::floor(d) && d >= -2147483648.0 && d <= 2147483647.0) return {ForKind::Long, d};
      return {ForKind::Double, d};
    }
    default: return {ForKind::Double, ToDouble(v)};
  }
}

Variant MakeKind(ForKind k, double d) {
  switch (k) {
    case ForKind::Integer: return Variant(static_cast<std::int16_t>(d));
    case ForKind::Long: return Variant(static_cast<std::int32_t>(d));
    case ForKind::Double: return Variant(d);
  }
  return Variant(d);
}

bool Fits(ForKind k, double d) {
  switch (k) {
    case ForKind::Integer: return d >= -32768 && d <= 32767;
    case ForKind::Long: return d >= -2147483648.0 && d <= 2147483647.0;
    case ForKind::Double: return std::isfinite(d);
  }
  return false;
}

// The current value of the loop variable made the loop's kind.
double ReadCounter(ForKind k, const Value& v) {
  if (!v.IsPlain()) throw HostError(v.kind == Value::Kind::Object ? kErrNoMember : kErrTypeMismatch);
  switch (k) {
    case ForKind::Integer: return ToInteger(v.v);
    case ForKind::Long: return ToLong(v.v);
    case ForKind::Double: return ToDouble(v.v);
  }
  return 0;
}

}  // namespace

void Machine::Tick() {
  ++steps_;
  if (limits_.max_steps != 0 && steps_ > limits_.max_steps) throw Stop{Outcome::StepLimit};
  if ((steps_ & 255) == 0) Poll();
}

void Machine::Poll() {
  if (limits_.cancelled && limits_.cancelled()) throw Stop{Outcome::Cancelled};
  if (limits_.deadline && std::chrono::steady_clock::now() >= *limits_.deadline) throw Stop{Outcome::Timeout};
}

void Machine::Sleep(std::int32_t ms) {
  using namespace std::chrono;
  if (limits_.sleep) {
    Poll();
    limits_.sleep(milliseconds(ms));
    Poll();
    return;
  }
  auto end = steady_clock::now() + milliseconds(ms);
  for (;;) {
    Poll();
    auto now = steady_clock::now();
    if (now >= end) return;
    auto slice = std::min<steady_clock::duration>(end - now, milliseconds(10));
    if (limits_.deadline && *limits_.deadline - now < slice) {
      slice = std::max<steady_clock::duration>(*limits_.deadline - now, steady_clock::duration::zero());
    }
    std::this_thread::sleep_for(slice);
  }
}

// Runs a block.  An error of a statement goes to Err and the next statement
// runs when On Error Resume Next is in force in this frame; otherwise it
// leaves the block (and the procedure) to be handled by the caller.
Flow Machine::Exec(const Block& body) {
  for (const StmtPtr& sp : body) {
    const Stmt& s = *sp;
    line_ = s.at.line;
    file_ = s.at.file;
    Tick();
    try {
      try {
        Flow f = ExecOne(s);
        if (f != Flow::Normal) return f;
      } catch (const Error& e) {
        throw FromCore(e);
      }
    } catch (ScriptError& e) {
      if (e.line == 0) {
        e.line = line_;
        e.file = file_;
      }
      if (!frame_->resume_next) throw;
      err_ = e;
    }
  }
  return Flow::Normal;
}

Flow Machine::ExecOne(const Stmt& s) {
  switch (s.kind) {
    case Stmt::Kind::Nop: return Flow::Normal;
    case Stmt::Kind::Dim:
    case Stmt::Kind::ReDim: ExecDim(static_cast<const DimStmt&>(s)); return Flow::Normal;
    case Stmt::Kind::Erase: {
      const auto& st = static_cast<const SimpleStmt&>(s);
      Place p = PlaceOf(*st.target);
      if (p.value->kind != Value::Kind::Array) throw HostError(kErrTypeMismatch);
      auto a = std::make_shared<Array>();
      a->upper.push_back(-1);
      *p.value = Value::Of(std::move(a));
      return Flow::Normal;
    }
    case Stmt::Kind::Assign: {
      const auto& st = static_cast<const SimpleStmt&>(s);
      if (st.target->kind == Expr::Kind::Postfix) {
        const auto& p = static_cast<const PostfixExpr&>(*st.target);
        if (!p.steps.back().member && p.steps.size() == 1 && HoldsPageObject(*p.base)) {
          // Session("name") = x, also through a variable holding Session
          Value obj = EvalPostfix(p, 0);
          PageMemberUse(obj.page, nullptr, PageUse::Let, p.steps.back().args, st.value.get());
          return Flow::Normal;
        }
        if (p.steps.back().member) {  // o.P = x: property let
          Value obj = EvalPostfix(p, p.steps.size() - 1);
          if (obj.page != PageObject::None) {
            PageMemberUse(obj.page, &p.steps.back(), PageUse::Let, p.steps.back().args, st.value.get());
            return Flow::Normal;
          }
          automation::ObjectPtr o = ObjectOf(obj);
          CallArgs args(*this);
          MemberArgs(p.steps.back().args, args);
          args.Push(EvalPlain(*st.value));
          Invoke(o, p.steps.back(), automation::InvokeKind::PropertyLet, args.Span(), false);
          return Flow::Normal;
        }
      }
      Place place = PlaceOf(*st.target);
      Value v = Eval(*st.value);
      if (v.kind == Value::Kind::Object) throw HostError(kErrNoMember);
      Store(place, std::move(v), {});
      return Flow::Normal;
    }
    case Stmt::Kind::Set: {
      const auto& st = static_cast<const SimpleStmt&>(s);
      Place place = PlaceOf(*st.target);
      Value v = Eval(*st.value);
      if (v.kind != Value::Kind::Object) throw HostError(kErrObjectRequired);
      Store(place, std::move(v), {});
      return Flow::Normal;
    }
    case Stmt::Kind::Call: ExecCall(static_cast<const SimpleStmt&>(s)); return Flow::Normal;
    case Stmt::Kind::Write: Write(Eval(*static_cast<const SimpleStmt&>(s).value)); return Flow::Normal;
    case Stmt::Kind::Text: response_->Write(static_cast<const SimpleStmt&>(s).text); return Flow::Normal;
    case Stmt::Kind::Flush: response_->Flush(); return Flow::Normal;
    case Stmt::Kind::Page: {
      const auto& st = static_cast<const SimpleStmt&>(s);
      ExecPage(st.page_member, st.args, st.value.get(), st.text);
      return Flow::Normal;
    }
    case Stmt::Kind::Sleep: {
      std::int32_t ms = ToLong(EvalPlain(*static_cast<const SimpleStmt&>(s).value));
      if (ms < 0 || ms > 60000) throw HostError(kErrInvalidCall);
      Sleep(ms);
      return Flow::Normal;
    }
    case Stmt::Kind::If: {
      const auto& st = static_cast<const IfStmt&>(s);
      for (const auto& c : st.clauses) {
        if (TruthTest(EvalPlain(*c.test))) return Exec(c.body);
      }
      return Exec(st.else_body);
    }
    case Stmt::Kind::Select: {
      const auto& st = static_cast<const SelectStmt&>(s);
      Variant subject = EvalPlain(*st.subject);
      for (const auto& c : st.cases) {
        for (const ExprPtr& v : c.values) {
          Variant x = EvalPlain(*v);
          if (subject.IsNullValue() || x.IsNullValue()) continue;
          auto r = CompareValues(subject, x);
          if (r && *r == 0) return Exec(c.body);
        }
      }
      return Exec(st.else_body);
    }
    case Stmt::Kind::For: return ExecFor(static_cast<const ForStmt&>(s));
    case Stmt::Kind::ForEach: return ExecForEach(static_cast<const ForStmt&>(s));
    case Stmt::Kind::Do: return ExecDo(static_cast<const DoStmt&>(s));
    case Stmt::Kind::Exit:
      switch (static_cast<const SimpleStmt&>(s).exit_what) {
        case 0: return Flow::ExitFor;
        case 1: return Flow::ExitDo;
        default: return Flow::ExitProcedure;
      }
    case Stmt::Kind::OnErrorResumeNext:
      frame_->resume_next = true;
      err_.reset();
      return Flow::Normal;
    case Stmt::Kind::OnErrorGoTo0:
      frame_->resume_next = false;
      err_.reset();
      return Flow::Normal;
    case Stmt::Kind::ErrClear: err_.reset(); return Flow::Normal;
    case Stmt::Kind::ErrRaise: Raise(static_cast<const SimpleStmt&>(s).args); return Flow::Normal;
  }
  return Flow::Normal;
}

void Machine::Raise(std::span<const ExprPtr> args) {
  std::int32_t number = ToLong(EvalPlain(*args[0]));
  if (number == 0) throw HostError(kErrInvalidCall);
  ScriptError e = HostError(number);
  e.status = (number > 0 && number <= 0xFFFF) ? kErrorStatusBase + static_cast<std::uint32_t>(number)
                                              : static_cast<std::uint32_t>(number);
  if (args.size() > 1) e.source = ToString(EvalPlain(*args[1]));
  if (args.size() > 2) e.description = ToString(EvalPlain(*args[2]));
  throw e;
}

void Machine::Write(const Value& v) {
  if (v.kind == Value::Kind::Object) throw HostError(kErrNoMember);
  if (v.kind == Value::Kind::Array) throw HostError(kErrTypeMismatch);
  if (v.v.IsEmpty() || v.v.IsNullValue()) return;
  if (v.v.Type() == VarType::String) {
    response_->Write(v.v.RawString());
  } else {
    response_->Write(ToString(v.v));
  }
}

void Machine::ExecDim(const DimStmt& s) {
  for (const auto& item : s.items) {
    // Bounds first: an error there leaves the variable as it was.
    std::vector<std::int32_t> upper;
    for (const ExprPtr& b : item.bounds) {
      std::int32_t u = ToLong(EvalPlain(*b));
      if (u < -1) throw HostError(kErrSubscript);
      upper.push_back(u);
    }
    Place p = NamePlace(*item.name);
    Value& v = *p.value;
    if (s.kind == Stmt::Kind::Dim) {
      // Dim never resets a variable: only one still Empty becomes an array.
      if (!item.array || !(v.IsPlain() && v.v.IsEmpty())) continue;
      if (upper.empty()) upper.push_back(-1);
    }
    std::size_t count = 1;
    for (std::int32_t u : upper) {
      std::size_t n = static_cast<std::size_t>(u + 1);
      if (n != 0 && count > (std::size_t{1} << 28) / n) throw HostError(kErrOutOfMemory);
      count *= n;
    }
    if (count > kMaxArrayElements) throw HostError(kErrOutOfMemory);
    auto a = std::make_shared<Array>();
    a->upper = upper;
    a->items.resize(count);
    if (s.preserve && v.kind == Value::Kind::Array) {
      const Array& old = *v.arr;
      if (old.upper.size() != upper.size()) throw HostError(kErrSubscript);
      for (std::size_t d = 0; d + 1 < upper.size(); ++d) {
        if (old.upper[d] != upper[d]) throw HostError(kErrSubscript);
      }
      // Only the last dimension changes: copy row by row.
      std::size_t old_last = static_cast<std::size_t>(old.upper.back() + 1);
      std::size_t new_last = static_cast<std::size_t>(upper.back() + 1);
      std::size_t rows = old_last ? old.items.size() / old_last : 0;
      for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < std::min(old_last, new_last); ++c) {
          a->items[r * new_last + c] = old.items[r * old_last + c];
        }
      }
      a->depth = old.depth;
    }
    v = Value::Of(std::move(a));
  }
}

// True when `base` is Session or Application, or a variable holding one of
// the page's objects.
bool Machine::HoldsPageObject(const Expr& base) {
  if (base.kind == Expr::Kind::Object) return static_cast<const ObjectExpr&>(base).object != BuiltinObject::Err;
  if (base.kind != Expr::Kind::Name) return false;
  const auto& n = static_cast<const NameExpr&>(base);
  return (n.scope == NameExpr::Scope::Page || n.scope == NameExpr::Scope::Local) &&
         NameValue(n).page != PageObject::None;
}

void Machine::ExecCall(const SimpleStmt& s) {
  const Expr& t = *s.target;
  if (t.kind == Expr::Kind::Name) {
    const auto& n = static_cast<const NameExpr&>(t);
    if (n.scope != NameExpr::Scope::Procedure) {
      // A variable holding Request called as a statement (q "x"): a value
      // used as a statement, as Request("x") alone is.
      const bool page = (n.scope == NameExpr::Scope::Page || n.scope == NameExpr::Scope::Local) &&
                        NameValue(n).page != PageObject::None;
      throw page ? HostError(kErrNoMember) : HostError(kErrNotDefined, NameOf(n));
    }
    CallProcedure(n.slot, s.args, s.at.line);
    return;
  }
  if (t.kind == Expr::Kind::Page) throw HostError(kErrNoMember, static_cast<const PageExpr&>(t).shown);
  if (t.kind != Expr::Kind::Postfix) throw HostError(kErrNotDefined);
  const auto& p = static_cast<const PostfixExpr&>(t);
  const Step& last = p.steps.back();
  if (!last.member) throw HostError(kErrTypeMismatch);
  Value obj = EvalPostfix(p, p.steps.size() - 1);
  const std::span<const ExprPtr> given = last.parens ? std::span<const ExprPtr>(last.args) : s.args;
  if (obj.page != PageObject::None) {
    PageMemberUse(obj.page, &last, PageUse::Call, given);
    return;
  }
  automation::ObjectPtr o = ObjectOf(obj);
  CallArgs args(*this);
  MemberArgs(given, args);
  Invoke(o, last, automation::InvokeKind::Method, args.Span(), false);
}

// A counted loop in the kind its bounds and step give (Integer, Long or
// Double).  The body may change the variable; each round reads it back.
Flow Machine::ExecFor(const ForStmt& s) {
  Classed from = ClassForBound(EvalPlain(*s.from));
  Classed to = ClassForBound(EvalPlain(*s.to));
  Classed step = s.step ? ClassForBound(EvalPlain(*s.step)) : Classed{ForKind::Integer, 1};
  ForKind kind = ForKind::Integer;
  for (ForKind k : {from.kind, to.kind, step.kind}) {
    if (k == ForKind::Double || (k == ForKind::Long && kind == ForKind::Integer)) kind = k;
  }
  // Whole kinds take their values as Variant to Long would make them.
  if (kind != ForKind::Double) {
    from.value = std::nearbyint(from.value);
    to.value = std::nearbyint(to.value);
    step.value = std::nearbyint(step.value);
  }
  Place var = NamePlace(*s.var);
  Store(var, Value(MakeKind(kind, from.value)), {});
  for (;;) {
    double i = 0;
    try {
      i = ReadCounter(kind, NameValue(*s.var));
    } catch (const Error& e) {
      ScriptError se = FromCore(e);
      se.line = s.next_at.line;
      se.file = s.next_at.file;
      throw se;
    }
    if (step.value >= 0 ? i > to.value : i < to.value) return Flow::Normal;
    Flow f = Exec(s.body);
    if (f == Flow::ExitFor) return Flow::Normal;
    if (f != Flow::Normal) return f;
    line_ = s.next_at.line;
    file_ = s.next_at.file;
    Tick();
    try {
      Value& var_now = NameValue(*s.var);
      double cur = ReadCounter(kind, var_now);
      double next = cur + step.value;
      // No next value in the loop's kind: the loop is over, and the
      // variable keeps the value of its last round.
      if (!Fits(kind, next)) return Flow::Normal;
      var_now = Value(MakeKind(kind, next));
    } catch (const Error& e) {
      ScriptError se = FromCore(e);
      se.line = s.next_at.line;
      se.file = s.next_at.file;
      throw se;
    } catch (ScriptError& e) {
      e.line = s.next_at.line;
      e.file = s.next_at.file;
      throw;
    }
  }
}

Flow Machine::ExecForEach(const ForStmt& s) {
  Value over = Eval(*s.from);
  if (over.kind == Value::Kind::Plain && over.v.IsEmpty()) return Flow::Normal;
  if (over.kind != Value::Kind::Array) throw HostError(kErrTypeMismatch);
  std::shared_ptr<Array> a = over.arr;  // held: writes to the array copy it
  for (const Value& item : a->items) {
    Store(NamePlace(*s.var), item, {});
    Flow f = Exec(s.body);
    if (f == Flow::ExitFor) return Flow::Normal;
    if (f != Flow::Normal) return f;
    line_ = s.next_at.line;
    Tick();
  }
  return Flow::Normal;
}

Flow Machine::ExecDo(const DoStmt& s) {
  for (;;) {
    if (s.pre != DoStmt::Test::None) {
      if (s.pre == DoStmt::Test::While) {
        if (!TruthTest(EvalPlain(*s.pre_test))) return Flow::Normal;
      } else if (TruthTest(EvalPlain(*s.pre_test))) {
        return Flow::Normal;
      }
    }
    Flow f = Exec(s.body);
    if (f == Flow::ExitDo) return Flow::Normal;
    if (f != Flow::Normal) return f;
    line_ = s.loop_at.line;
    file_ = s.loop_at.file;
    Tick();
    if (s.post != DoStmt::Test::None) {
      if (s.post == DoStmt::Test::While) {
        if (!TruthTest(EvalPlain(*s.post_test))) return Flow::Normal;
      } else if (TruthTest(EvalPlain(*s.post_test))) {
        return Flow::Normal;
      }
    }
  }
}

}  // namespace halvane::script
