#include "host/script/interpreter.h"

#include <cinttypes>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

#include "server/automation.h"

namespace halvane::script {
namespace {

using automation::HResult;
using automation::InvokeKind;
using automation::ObjectPtr;

constexpr std::uint32_t kVbStatus = 0x800A0000u;
constexpr std::int32_t kErrInvalidCall = 5;
constexpr std::int32_t kErrOutOfStringSpace = 14;
constexpr std::int32_t kErrObjectRequired = 424;
constexpr std::int32_t kErrCannotCreate = 429;
constexpr std::int32_t kErrNoMember = 438;
constexpr std::int32_t kErrArgCount = 450;
constexpr int kVarTypeObject = 9;

// An error the script can see through Err.
struct ScriptError {
  std::int32_t number;
  std::string source;
  std::string description;
  std::uint32_t status;
  int line = 0;
};

ScriptError HostError(std::int32_t number, std::string description) {
  return {number, "Halvane", std::move(description), kVbStatus + static_cast<std::uint32_t>(number)};
}

ScriptError FromCore(const Error& e) {
  return {e.Number(), e.Source().empty() ? std::string("Halvane") : e.Source(), e.Description(), e.Status()};
}

// A stop from outside or from a limit; never visible to On Error.
struct Stop {
  Outcome outcome;
};

// What a variable or an expression holds: a value, or an object.
struct Value {
  Variant v;
  ObjectPtr obj;
};

// The Err values of an automation status from a name lookup or an invoke.
ScriptError FromStatus(HResult hr, const automation::ExceptionInfo& ex) {
  switch (hr) {
    case automation::kDispEException: {
      std::uint32_t status = ex.status;
      std::int32_t number = (status & 0xFFFF0000u) == kVbStatus ? static_cast<std::int32_t>(status & 0xFFFFu)
                                                                : static_cast<std::int32_t>(status);
      return {number, ex.source, ex.description, status};
    }
    case automation::kDispETypeMismatch: return HostError(kErrTypeMismatch, "Type mismatch");
    case automation::kDispEOverflow: return HostError(kErrOverflow, "Overflow");
    case automation::kDispEUnknownName:
    case automation::kDispEMemberNotFound:
      return HostError(kErrNoMember, "Object has no such property or method");
    case automation::kDispEBadParamCount: return HostError(kErrArgCount, "Wrong number of arguments");
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "Automation error 0x%08" PRIX32, static_cast<std::uint32_t>(hr));
      return {hr, "Halvane", text, static_cast<std::uint32_t>(hr)};
    }
  }
}

ScriptError NoMember() { return HostError(kErrNoMember, "Object has no such property or method"); }

class Machine {
 public:
  Machine(const Program& p, Output& out, const Limits& limits)
      : prog_(p), out_(out), limits_(limits), vars_(p.variables.size()) {}

  Result Run() {
    Result r;
    try {
      Exec(prog_.body);
    } catch (const ScriptError& e) {
      r.outcome = Outcome::Error;
      r.line = e.line;
      r.status = e.status;
      r.number = e.number;
      r.source = e.source;
      r.description = e.description;
    } catch (const Stop& s) {
      r.outcome = s.outcome;
      r.line = line_;
    } catch (const Cancelled&) {
      r.outcome = Outcome::Cancelled;
      r.line = line_;
    }
    r.steps = steps_;
    // Objects go before the run returns, on the thread that made them.
    vars_.clear();
    return r;
  }

 private:
  // ---- limits ----------------------------------------------------------------

  void Step() {
    ++steps_;
    if (limits_.max_steps != 0 && steps_ > limits_.max_steps) throw Stop{Outcome::StepLimit};
    if ((steps_ & 255) == 0) Poll();
  }

  void Poll() {
    if (limits_.cancelled && limits_.cancelled()) throw Stop{Outcome::Cancelled};
    if (limits_.deadline && std::chrono::steady_clock::now() >= *limits_.deadline) throw Stop{Outcome::Timeout};
  }

  void Sleep(std::int32_t ms) {
    using namespace std::chrono;
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

  // ---- statements ------------------------------------------------------------

  void Exec(const std::vector<Stmt>& body) {
    for (const Stmt& s : body) {
      line_ = s.pos.line;
      Step();
      try {
        try {
          ExecOne(s);
        } catch (const Error& e) {
          throw FromCore(e);
        }
      } catch (ScriptError& e) {
        if (e.line == 0) e.line = s.pos.line;
        if (!resume_next_) throw;
        err_ = e;
      }
    }
  }

  void ExecOne(const Stmt& s) {
    switch (s.kind) {
      case Stmt::Kind::Dim:
        return;
      case Stmt::Kind::Assign: {
        Variant v = ValueOf(Eval(*s.value));
        Slot(s.slot) = Value{std::move(v), {}};
        return;
      }
      case Stmt::Kind::Set: {
        Value v = Eval(*s.value);
        if (!v.obj) throw HostError(kErrObjectRequired, "Object required");
        Slot(s.slot) = Value{Variant(), std::move(v.obj)};
        return;
      }
      case Stmt::Kind::PropertyLet: {
        ObjectPtr obj = ObjectOf(*s.object);
        std::vector<Variant> args;
        args.push_back(ValueOf(Eval(*s.value)));
        Invoke(obj, s.name, InvokeKind::PropertyLet, args, nullptr, false);
        return;
      }
      case Stmt::Kind::CallMember: {
        ObjectPtr obj = ObjectOf(*s.object);
        std::vector<Variant> args = Arguments(s.args);
        Invoke(obj, s.name, InvokeKind::Method, args, nullptr, false);
        return;
      }
      case Stmt::Kind::Write: {
        Variant v = ValueOf(Eval(*s.value));
        if (v.IsEmpty() || v.IsNullValue()) return;
        if (v.Type() == VarType::String) {
          out_.Write(v.RawString());
        } else {
          out_.Write(ToString(v));
        }
        return;
      }
      case Stmt::Kind::Flush:
        out_.Flush();
        return;
      case Stmt::Kind::Sleep: {
        std::int32_t ms = ToLong(ValueOf(Eval(*s.value)));
        if (ms < 0 || ms > 60000) throw HostError(kErrInvalidCall, "Invalid procedure call or argument");
        if (limits_.sleep) {
          // The host waits (and may return early when the run is stopped);
          // the limits are checked once it returns.
          Poll();
          limits_.sleep(std::chrono::milliseconds(ms));
          Poll();
        } else {
          Sleep(ms);
        }
        return;
      }
      case Stmt::Kind::For:
        return ExecFor(s);
      case Stmt::Kind::If: {
        Variant c = ValueOf(Eval(*s.value));
        Exec(TruthTest(c) ? s.body : s.else_body);
        return;
      }
      case Stmt::Kind::OnErrorResumeNext:
        resume_next_ = true;
        err_.reset();
        return;
      case Stmt::Kind::OnErrorGoTo0:
        resume_next_ = false;
        err_.reset();
        return;
      case Stmt::Kind::ErrClear:
        err_.reset();
        return;
    }
  }

  // A counted loop.  The counter is an Integer when both bounds fit in 16
  // bits, else a Long; stepping it is checked arithmetic (error 6) while the
  // loop still has rounds to run.  The
  // body may change the variable; each round reads it back.
  void ExecFor(const Stmt& s) {
    std::int32_t from = ToLong(ValueOf(Eval(*s.value)));
    std::int32_t to = ToLong(ValueOf(Eval(*s.to)));
    bool integer = from >= -32768 && from <= 32767 && to >= -32768 && to <= 32767;
    std::int32_t step = 1;
    if (s.step) {
      Variant sv = ValueOf(Eval(*s.step));
      step = integer ? ToInteger(sv) : ToLong(sv);
    }
    auto store = [&](std::int32_t v) {
      Slot(s.slot) = Value{integer ? Variant(static_cast<std::int16_t>(v)) : Variant(v), {}};
    };
    auto read = [&]() -> std::int32_t {
      const Value& cur = Slot(s.slot);
      if (cur.obj) throw NoMember();
      return integer ? ToInteger(cur.v) : ToLong(cur.v);
    };
    store(from);
    for (;;) {
      std::int32_t i;
      try {
        i = read();
      } catch (const Error& e) {
        ScriptError se = FromCore(e);
        se.line = s.next_pos.line;
        throw se;
      }
      if (step >= 0 ? i > to : i < to) return;
      Exec(s.body);
      line_ = s.next_pos.line;
      Step();
      try {
        i = read();
        // Past the last round the counter may have no next value in its
        // type (For i = 1 To 32767): the loop is over, and the counter keeps
        // the value of its last round instead of raising an overflow.
        const std::int64_t next = static_cast<std::int64_t>(i) + step;
        const bool past = step >= 0 ? next > to : next < to;
        const bool fits = integer ? (next >= -32768 && next <= 32767)
                                  : (next >= INT32_MIN && next <= INT32_MAX);
        if (past && !fits) return;
        store(integer ? AddInteger(static_cast<std::int16_t>(i), static_cast<std::int16_t>(step))
                      : AddLong(i, step));
      } catch (const Error& e) {
        ScriptError se = FromCore(e);
        se.line = s.next_pos.line;
        throw se;
      } catch (ScriptError& e) {
        e.line = s.next_pos.line;
        throw;
      }
    }
  }

  // ---- expressions -----------------------------------------------------------

  Value& Slot(int slot) { return vars_[static_cast<std::size_t>(slot)]; }

  // The value of an expression where a plain value is needed: an object
  // has no default member to give one.
  static Variant ValueOf(Value v) {
    if (v.obj) throw NoMember();
    return std::move(v.v);
  }

  ObjectPtr ObjectOf(const Expr& e) {
    Value v = Eval(e);
    if (!v.obj) throw HostError(kErrObjectRequired, "Object required");
    return std::move(v.obj);
  }

  // Arguments in declaration order: a bare variable by reference, an
  // omitted one as the missing-argument value, anything else by value.
  std::vector<Variant> Arguments(const std::vector<ExprPtr>& exprs) {
    std::vector<Variant> args;
    args.reserve(exprs.size());
    for (const ExprPtr& a : exprs) {
      if (!a) {
        args.push_back(Variant::Missing());
      } else if (a->kind == Expr::Kind::Variable) {
        Value& slot = Slot(a->slot);
        if (slot.obj) throw NoMember();
        args.push_back(Variant::Ref(slot.v));
      } else {
        args.push_back(ValueOf(Eval(*a)));
      }
    }
    return args;
  }

  // Looks the member up and invokes it.  A get in an expression also finds a
  // method and a call with parentheses also finds a property get, as a
  // scripting host's late-bound call does; statements ask for one kind only.
  void Invoke(const ObjectPtr& obj, const std::string& name, InvokeKind kind, std::vector<Variant>& args,
              Variant* result, bool either) {
    std::int32_t dispid = 0;
    HResult hr = obj->GetIDOfName(name, dispid);
    automation::ExceptionInfo ex;
    if (hr >= 0) {
      hr = obj->Invoke(dispid, kind, args, result, &ex);
      if (hr == automation::kDispEMemberNotFound && either) {
        InvokeKind other = kind == InvokeKind::Method ? InvokeKind::PropertyGet : InvokeKind::Method;
        hr = obj->Invoke(dispid, other, args, result, &ex);
      }
    }
    if (hr < 0) throw FromStatus(hr, ex);
  }

  Value Eval(const Expr& e) {
    switch (e.kind) {
      case Expr::Kind::Literal:
        return Value{e.value, {}};
      case Expr::Kind::Variable:
        return Slot(e.slot);
      case Expr::Kind::Paren:
        return Eval(*e.a);
      case Expr::Kind::Member: {
        ObjectPtr obj = ObjectOf(*e.a);
        std::vector<Variant> args = Arguments(e.args);
        Variant result;
        Invoke(obj, e.name, e.call ? InvokeKind::Method : InvokeKind::PropertyGet, args, &result, true);
        return Value{result.Value(), {}};
      }
      case Expr::Kind::Call:
        return CallFunction(e.function, Eval(*e.args[0]));
      case Expr::Kind::Concat: {
        Variant a = ValueOf(Eval(*e.a));
        Variant b = ValueOf(Eval(*e.b));
        std::size_t size = (a.Type() == VarType::String ? a.RawString().size() : 32) +
                           (b.Type() == VarType::String ? b.RawString().size() : 32);
        if (size > limits_.max_string) throw HostError(kErrOutOfStringSpace, "Out of string space");
        return Value{Concat(a, b), {}};
      }
      case Expr::Kind::Negate:
        return Value{Negate(ValueOf(Eval(*e.a))), {}};
      case Expr::Kind::ErrNumber:
        return Value{Variant(err_ ? err_->number : 0), {}};
      case Expr::Kind::ErrSource:
        return Value{Variant(err_ ? err_->source : std::string()), {}};
      case Expr::Kind::ErrDescription:
        return Value{Variant(err_ ? err_->description : std::string()), {}};
    }
    return {};
  }

  Value CallFunction(Function f, Value arg) {
    switch (f) {
      case Function::TypeName:
        if (arg.obj) return Value{Variant(std::string(arg.obj->Class().name)), {}};
        return Value{Variant(std::string(TypeName(arg.v))), {}};
      case Function::VarType:
        if (arg.obj) return Value{Variant(static_cast<std::int16_t>(kVarTypeObject)), {}};
        return Value{Variant(static_cast<std::int16_t>(arg.v.Type())), {}};
      default:
        break;
    }
    Variant v = ValueOf(std::move(arg));
    switch (f) {
      case Function::CInt: return Value{Variant(ToInteger(v)), {}};
      case Function::CLng: return Value{Variant(ToLong(v)), {}};
      case Function::CSng: return Value{Variant(ToSingle(v)), {}};
      case Function::CDbl: return Value{Variant(ToDouble(v)), {}};
      case Function::CStr: return Value{Variant(ToString(v)), {}};
      case Function::CBool: return Value{Variant(ToBoolean(v)), {}};
      case Function::CDate: return Value{Variant::Date(ToDate(v)), {}};
      case Function::Len: return Value{Len(v), {}};
      case Function::Chr: {
        std::int32_t code = ToLong(v);
        if (code < 0 || code > 255) throw HostError(kErrInvalidCall, "Invalid procedure call or argument");
        return Value{Chr(code), {}};
      }
      case Function::CreateObject: {
        std::string id = ToString(v);
        ObjectPtr obj;
        if (automation::CreateObject(id, obj) < 0 || !obj) {
          throw HostError(kErrCannotCreate, "Cannot create object");
        }
        return Value{Variant(), std::move(obj)};
      }
      default:
        return {};
    }
  }

  const Program& prog_;
  Output& out_;
  const Limits& limits_;
  std::vector<Value> vars_;
  std::optional<ScriptError> err_;
  bool resume_next_ = false;
  std::uint64_t steps_ = 0;
  int line_ = 0;
};

}  // namespace

Result Run(const Program& program, Output& out, const Limits& limits) {
  return Machine(program, out, limits).Run();
}

std::string Describe(const Program& program, const Result& r) {
  std::string head = program.file + ":" + std::to_string(r.line) + ": ";
  switch (r.outcome) {
    case Outcome::Completed:
      return head + "completed";
    case Outcome::Error: {
      char status[16];
      std::snprintf(status, sizeof status, "0x%08" PRIX32, r.status);
      return head + "error " + status + ": number " + std::to_string(r.number) + ", source \"" + r.source +
             "\": " + r.description;
    }
    case Outcome::StepLimit:
      return head + "stopped: the script ran more statements than its limit allows";
    case Outcome::Timeout:
      return head + "stopped: the script ran longer than its time limit";
    case Outcome::Cancelled:
      return head + "stopped: the script was cancelled";
  }
  return head;
}

std::string Describe(std::string_view file, const SyntaxError& error) {
  return std::string(file) + ":" + std::to_string(error.Position().line) + ":" +
         std::to_string(error.Position().column) + ": syntax error: " + error.Message();
}

}  // namespace halvane::script
