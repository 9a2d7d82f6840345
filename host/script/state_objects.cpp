// The page's Session and Application objects: members found by name when
// they run, each a call into the PageState the host gave (page_state.h),
// which knows where the values live.
#include <string>
#include <utility>

#include "core/text.h"
#include "host/script/machine.h"

namespace halvane::script {
namespace {

enum class StateMember : std::uint8_t {
  Item,  // Session("name"), Application("name"): get and let
  Remove,
  RemoveAll,
  Count,
  Keys,
  SessionID,
  Timeout,  // get and let
  Abandon,
  Lock,
  Unlock,
};

struct StateShape {
  StateMember member;
  bool session, application;  // which object has it
  bool get, call, let;        // how it may be used
  std::size_t args;
};

constexpr std::pair<std::string_view, StateShape> kMembers[] = {
    {"remove", {StateMember::Remove, true, true, false, true, false, 1}},
    {"removeall", {StateMember::RemoveAll, true, true, false, true, false, 0}},
    {"count", {StateMember::Count, true, true, true, false, false, 0}},
    {"keys", {StateMember::Keys, true, true, true, false, false, 0}},
    {"sessionid", {StateMember::SessionID, true, false, true, false, false, 0}},
    {"timeout", {StateMember::Timeout, true, false, true, false, true, 0}},
    {"abandon", {StateMember::Abandon, true, false, false, true, false, 0}},
    {"lock", {StateMember::Lock, false, true, false, true, false, 0}},
    {"unlock", {StateMember::Unlock, false, true, false, true, false, 0}},
};

constexpr StateShape kItem{StateMember::Item, true, true, true, false, true, 1};

}  // namespace

PageState& Machine::State() {
  // Without a host that keeps state (a bare Run), the store is unreachable.
  if (!state_) throw HostError(kErrDeviceIO);
  if (!state_->wait) state_->wait = [this](std::int32_t ms) { Sleep(ms); };
  return *state_;
}

Value Machine::StateMemberUse(PageObject which, const Step* step, PageUse use, std::span<const ExprPtr> args,
                              const Expr* value) {
  const bool session = which == PageObject::Session;
  const StateShape* shape = &kItem;
  if (step) {
    shape = nullptr;
    for (const auto& [name, s] : kMembers) {
      if (text::EqualNoCase(step->name, name)) shape = &s;
    }
    if (!shape || !(session ? shape->session : shape->application)) throw HostError(kErrNoMember);
  }
  const bool allowed = use == PageUse::Get ? shape->get : use == PageUse::Call ? shape->call : shape->let;
  if (!allowed) throw HostError(kErrNoMember);
  if (args.size() != shape->args) throw HostError(kErrArgCount);
  for (const ExprPtr& a : args) {
    if (!a) throw HostError(kErrTypeMismatch);
  }
  const StateScope scope = session ? StateScope::Session : StateScope::Application;
  // The arguments and the assigned value are evaluated before the store is
  // touched, so that a page that fails there never starts a session.
  std::string name;
  if (!args.empty()) name = PageText(*args[0]);
  Value assigned;
  if (use == PageUse::Let) {
    assigned = Eval(*value);
    if (assigned.kind == Value::Kind::Object) throw HostError(kErrTypeMismatch);
  }
  PageState& state = State();
  try {
    switch (shape->member) {
      case StateMember::Item:
        if (use == PageUse::Get) return state.Get(scope, name);
        state.Set(scope, name, assigned);
        return {};
      case StateMember::Remove: state.Remove(scope, name); return {};
      case StateMember::RemoveAll: state.RemoveAll(scope); return {};
      case StateMember::Count: return Value(Variant(state.Count(scope)));
      case StateMember::Keys: {
        std::vector<std::string> keys = state.Keys(scope);
        auto a = std::make_shared<Array>();
        a->upper.push_back(static_cast<std::int32_t>(keys.size()) - 1);
        a->items.reserve(keys.size());
        for (std::string& k : keys) a->items.emplace_back(Variant(std::move(k)));
        return Value::Of(std::move(a));
      }
      case StateMember::SessionID: return Value(Variant(state.SessionID()));
      case StateMember::Timeout:
        if (use == PageUse::Get) return Value(Variant(state.Timeout()));
        {
          const std::int32_t minutes = ToLong(Plain(std::move(assigned)));
          if (minutes < 1 || minutes > 1440) throw HostError(kErrInvalidCall);
          state.SetTimeout(minutes);
        }
        return {};
      case StateMember::Abandon: state.Abandon(); return {};
      case StateMember::Lock: state.Lock(); return {};
      case StateMember::Unlock: state.Unlock(); return {};
    }
  } catch (const StateError& e) {
    throw HostError(e.number);
  }
  return {};
}

}  // namespace halvane::script
