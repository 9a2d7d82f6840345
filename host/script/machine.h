// The statement machine that runs a parsed page (internal to host/script):
// statements in exec.cpp, expressions and calls in eval.cpp, operators in
// operators.cpp, built-in functions in builtins.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/script/interpreter.h"
#include "host/script/page_state.h"
#include "host/script/value.h"

namespace halvane::script {

inline constexpr int kMaxCallDepth = 256;

// An error the page can see through Err.
struct ScriptError {
  std::int32_t number;
  std::string source;
  std::string description;
  std::uint32_t status;
  int line = 0;
  int file = 0;
  // What failed, for the error line (never in Err): "Tree.WriteNod",
  // "\"Halvane.Tre\"", a variable's or a procedure's name.
  std::string culprit;
};

ScriptError HostError(std::int32_t number);
// The same, naming what failed.
ScriptError HostError(std::int32_t number, std::string culprit);
// A text the page supplied (an identifier) as an error line shows it: in
// double quotes, control characters, quotes and backslashes as \xNN, cut
// after 80 bytes.
std::string QuotedForMessage(std::string_view text);
ScriptError FromCore(const Error& e);

// A stop from outside or from a limit; never visible to On Error.
struct Stop {
  Outcome outcome;
};

// Where a name or an element lives: the value, and the array that holds it
// (kept alive while the place is in use).
struct Place {
  Value* value = nullptr;
  Pin keep;
};

// How a member of Request, Response or Server is used: read as a value,
// called as a statement, or assigned to.
enum class PageUse : std::uint8_t { Get, Call, Let };

enum class Flow : std::uint8_t { Normal, ExitFor, ExitDo, ExitProcedure };

class Machine;

// The arguments of one member call, kept on the machine's argument stack so
// that a call allocates nothing once the stack has grown; they are popped
// when the call ends, however it ends.  Calls made while the arguments are
// evaluated push above them and pop before the next is pushed.
class CallArgs {
 public:
  explicit CallArgs(Machine& m);
  ~CallArgs();
  CallArgs(const CallArgs&) = delete;
  CallArgs& operator=(const CallArgs&) = delete;
  void Push(Variant&& v);
  void Push(const Variant& v);
  std::span<Variant> Span();
  // Arrays holding by-reference arguments, kept alive while the call runs.
  std::vector<Pin> keep;

 private:
  std::vector<Variant>& stack_;
  std::size_t base_;
};

struct Frame {
  const Procedure* proc = nullptr;
  std::vector<Value> own;
  std::vector<Place> places;
  bool resume_next = false;
};

class Machine {
 public:
  Machine(const Program& p, web::PageResponse& response, const Limits& limits);
  Result Run();

  // ---- exec.cpp
  Flow Exec(const Block& body);
  Flow ExecOne(const Stmt& s);
  Flow ExecFor(const ForStmt& s);
  Flow ExecForEach(const ForStmt& s);
  Flow ExecDo(const DoStmt& s);
  void ExecDim(const DimStmt& s);
  void ExecCall(const SimpleStmt& s);
  bool HoldsPageObject(const Expr& base);
  void Write(const Value& v);
  void Sleep(std::int32_t ms);
  void Tick();
  void Poll();
  void Raise(std::span<const ExprPtr> args);

  // ---- eval.cpp
  Value Eval(const Expr& e);
  Variant EvalPlain(const Expr& e);
  Value EvalPostfix(const PostfixExpr& p, std::size_t steps);
  Value CallMember(automation::ObjectPtr obj, const Step& s);
  Value EvalChain(const ChainExpr& c);
  Value CallProcedure(int index, std::span<const ExprPtr> args, int line);
  Place PlaceOf(const Expr& e);
  Place NamePlace(const NameExpr& n);
  // The value of a variable, without the place's keep-alive (for a read, or
  // a write that stores no array).
  Value& NameValue(const NameExpr& n) {
    if (n.scope == NameExpr::Scope::Page && (n.declared || !prog_.option_explicit))
      return globals_[static_cast<std::size_t>(n.slot)];
    return *NamePlace(n).value;
  }
  // A name as the page first wrote it.
  const std::string& NameOf(const NameExpr& n) const;
  Value* Element(Value& base, std::span<const ExprPtr> index, Pin* keep, bool write);
  void Store(const Place& place, Value v, std::span<Array* const> path);
  void MemberArgs(std::span<const ExprPtr> exprs, CallArgs& args);
  bool IsElementOfArray(const Expr& e);
  Variant Invoke(const automation::ObjectPtr& obj, const Step& step, automation::InvokeKind kind,
                 std::span<Variant> args, bool either);
  automation::ObjectPtr ObjectOf(const Value& v);
  static Variant Plain(Value v);
  Value ErrMember(const std::string& name);

  // ---- operators.cpp
  Value Binary(Op op, Value a, Value b);
  Value Unary(Op op, Value a);
  Value ConcatChain(const ChainExpr& c);

  // ---- builtins.cpp
  Value CallBuiltin(const BuiltinExpr& e);
  Value MakeArray(std::span<const ExprPtr> exprs);
  Value Join(const Value& over, Value* delimiter);
  Value Split(std::span<const Variant> plain);
  // Poll for a function's context (functions.h).
  static void PollFrom(void* machine);

  // ---- page_objects.cpp: Request, Response and Server
  // `shown` names the member in messages ("Response.Status").
  void ExecPage(PageMember member, std::span<const ExprPtr> args, const Expr* value, std::string_view shown);
  Value EvalPage(PageMember member, std::span<const ExprPtr> args, std::string_view shown);
  std::string PageText(const Expr& e);
  Value PageObjectValue(BuiltinObject object);
  // A member of a page object held as a value, found by the name of `step`
  // (no step: the object called itself, Request("name")); `value` is what a
  // property let assigns.
  Value PageMemberUse(PageObject which, const Step* step, PageUse use, std::span<const ExprPtr> args,
                      const Expr* value = nullptr);

  // ---- state_objects.cpp: Session and Application, on the host's PageState
  Value StateMemberUse(PageObject which, const Step* step, PageUse use, std::span<const ExprPtr> args,
                       const Expr* value);
  PageState& State();

  const Program& prog_;
  const Limits& limits_;
  std::vector<Value> globals_;
  std::vector<Variant> arg_stack_;  // CallArgs
  Frame main_;
  Frame* frame_ = &main_;
  int call_depth_ = 0;
  std::optional<ScriptError> err_;
  std::uint64_t steps_ = 0;
  int line_ = 0;
  int file_ = 0;
  const char* stack_limit_ = nullptr;
  const web::PageRequest* request_ = nullptr;
  web::PageResponse* response_;  // where Response.Write and Response.Flush go
  PageState* state_ = nullptr;
};

inline CallArgs::CallArgs(Machine& m) : stack_(m.arg_stack_), base_(m.arg_stack_.size()) {}
inline CallArgs::~CallArgs() { stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(base_), stack_.end()); }
inline void CallArgs::Push(Variant&& v) { stack_.push_back(std::move(v)); }
inline void CallArgs::Push(const Variant& v) { stack_.push_back(v); }
inline std::span<Variant> CallArgs::Span() { return {stack_.data() + base_, stack_.size() - base_}; }

}  // namespace halvane::script
