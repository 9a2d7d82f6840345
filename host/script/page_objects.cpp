// The page's Request, Response and Server objects while a page runs: thin
// calls into the request and response the host gave (host/web/page_io.h),
// which hold the decoding and the rules of what may be sent.
//
// A member named on the literal object (Request.Form("a")) was found when
// the page was read; a member called through a variable holding the object
// (Set r = Request: r.Form("a")) is found by name when it runs, and both
// then run the same code below.
#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "core/text.h"
#include "host/script/machine.h"
#include "host/web/page_io.h"
#include "server/automation.h"

namespace halvane::script {
namespace {

// The call-site cache of a member called through a variable remembers the
// member as an address in this table (one row per object): one atomic
// pointer, so a site shared by threads never mixes two lookups.
constexpr std::size_t kMemberCount = static_cast<std::size_t>(PageMember::ServerCreateObject) + 1;
const char kMemberTags[4][kMemberCount] = {};

std::optional<PageMember> CachedMember(const Step& step, PageObject which) {
  const char* row = kMemberTags[static_cast<std::size_t>(which)];
  const char* seen = static_cast<const char*>(step.cache->cls.load(std::memory_order_acquire));
  if (!std::less_equal<const char*>()(row, seen) || !std::less<const char*>()(seen, row + kMemberCount)) {
    return std::nullopt;
  }
  return static_cast<PageMember>(seen - row);
}

std::string_view ObjectName(PageObject which) {
  return which == PageObject::Request ? "Request" : which == PageObject::Response ? "Response" : "Server";
}

BuiltinObject AsBuiltin(PageObject which) {
  return which == PageObject::Request    ? BuiltinObject::Request
         : which == PageObject::Response ? BuiltinObject::Response
                                         : BuiltinObject::Server;
}

// How a member may be used, and with how many arguments (lo..hi).
struct Shape {
  PageUse use;
  std::size_t lo, hi;
};

Shape ShapeOf(PageMember m) {
  switch (m) {
    case PageMember::ResponseClear:
    case PageMember::ResponseEnd:
    case PageMember::ResponseFlush: return {PageUse::Call, 0, 0};
    case PageMember::ResponseAddHeader: return {PageUse::Call, 2, 2};
    case PageMember::ResponseRedirect:
    case PageMember::ResponseWrite: return {PageUse::Call, 1, 1};
    case PageMember::ResponseContentType:
    case PageMember::ResponseStatus: return {PageUse::Let, 0, 0};
    case PageMember::ResponseCookies: return {PageUse::Let, 1, 1};
    case PageMember::RequestQueryString:
    case PageMember::RequestForm: return {PageUse::Get, 0, 1};
    default: return {PageUse::Get, 1, 1};
  }
}

}  // namespace

std::string Machine::PageText(const Expr& e) { return ToString(EvalPlain(e)); }

Value Machine::PageObjectValue(BuiltinObject object) {
  switch (object) {
    case BuiltinObject::Request: return Value::Page(PageObject::Request);
    case BuiltinObject::Response: return Value::Page(PageObject::Response);
    case BuiltinObject::Server: return Value::Page(PageObject::Server);
    case BuiltinObject::Session: return Value::Page(PageObject::Session);
    case BuiltinObject::Application: return Value::Page(PageObject::Application);
    case BuiltinObject::Err: break;
  }
  throw HostError(kErrNoMember);
}

Value Machine::PageMemberUse(PageObject which, const Step* step, PageUse use, std::span<const ExprPtr> args,
                             const Expr* value) {
  if (which == PageObject::Session || which == PageObject::Application) {
    return StateMemberUse(which, step, use, args, value);
  }
  PageMember member = PageMember::RequestItem;  // a call of the object itself: Request("name")
  const std::string shown = std::string(ObjectName(which)) + (step ? "." + step->name : "");
  if (step) {
    std::optional<PageMember> found = CachedMember(*step, which);
    if (!found) {
      found = FindPageMember(AsBuiltin(which), text::ToLowerAscii(step->name));
      if (!found) throw HostError(kErrNoMember, shown);
      step->cache->cls.store(&kMemberTags[static_cast<std::size_t>(which)][static_cast<std::size_t>(*found)],
                             std::memory_order_release);
    }
    member = *found;
  } else if (which != PageObject::Request) {
    throw HostError(kErrNoMember, shown);
  }
  // A Response property read or called, a Response method or a Request or
  // Server value used otherwise: 438, as when named on the object itself.
  const Shape shape = ShapeOf(member);
  if (shape.use != use) throw HostError(kErrNoMember, shown);
  if (args.size() < shape.lo || args.size() > shape.hi) throw HostError(kErrArgCount);
  for (const ExprPtr& a : args) {
    // A left-out argument is the missing-argument value, which no member
    // here can take as its text.
    if (!a) throw HostError(kErrTypeMismatch);
  }
  if (use == PageUse::Get) return EvalPage(member, args, shown);
  ExecPage(member, args, value, shown);
  return {};
}

void Machine::ExecPage(PageMember member, std::span<const ExprPtr> args, const Expr* value,
                       std::string_view shown) {
  auto check = [](bool ok) {
    if (!ok) throw HostError(kErrInvalidCall);
  };
  switch (member) {
    case PageMember::ResponseWrite: Write(Eval(*args[0])); return;
    case PageMember::ResponseFlush: response_->Flush(); return;
    case PageMember::ResponseClear: response_->Clear(); return;
    case PageMember::ResponseEnd: throw Stop{Outcome::Completed};
    case PageMember::ResponseAddHeader: {
      const std::string name = PageText(*args[0]);
      const std::string text = PageText(*args[1]);
      check(response_->AddHeader(name, text));
      return;
    }
    case PageMember::ResponseRedirect: {
      const std::string url = PageText(*args[0]);
      check(response_->Redirect(url));
      throw Stop{Outcome::Completed};
    }
    case PageMember::ResponseContentType: check(response_->SetContentType(PageText(*value))); return;
    case PageMember::ResponseStatus: check(response_->SetStatus(PageText(*value))); return;
    case PageMember::ResponseCookies: {
      const std::string name = PageText(*args[0]);
      const std::string text = PageText(*value);
      check(response_->SetCookie(name, text));
      return;
    }
    default:
      // A Response property named as a call, or a Request or Server member
      // used as a statement.
      throw HostError(kErrNoMember, std::string(shown));
  }
}

Value Machine::EvalPage(PageMember member, std::span<const ExprPtr> args, std::string_view shown) {
  auto text_or_empty = [](std::optional<std::string> v) { return v ? Value(Variant(std::move(*v))) : Value(); };
  switch (member) {
    case PageMember::RequestItem: return text_or_empty(request_->Item(PageText(*args[0])));
    case PageMember::RequestQueryString:
      if (args.empty()) return Value(Variant(request_->RawQuery()));
      return text_or_empty(request_->QueryString(PageText(*args[0])));
    case PageMember::RequestForm:
      if (args.empty()) return Value(Variant(request_->RawForm()));
      return text_or_empty(request_->Form(PageText(*args[0])));
    case PageMember::RequestCookies: return text_or_empty(request_->Cookie(PageText(*args[0])));
    case PageMember::RequestServerVariables: return text_or_empty(request_->ServerVariable(PageText(*args[0])));
    case PageMember::ServerHTMLEncode:
    case PageMember::ServerURLEncode: {
      Variant v = EvalPlain(*args[0]);
      if (v.IsNullValue()) return Value(std::move(v));
      const std::string s = ToString(v);
      return Value(Variant(member == PageMember::ServerHTMLEncode ? web::HtmlEncode(s) : web::UrlEncode(s)));
    }
    case PageMember::ServerCreateObject: {
      const std::string id = PageText(*args[0]);
      automation::ObjectPtr obj;
      if (automation::CreateObject(id, obj) < 0 || !obj) throw HostError(kErrCannotCreate, QuotedForMessage(id));
      return Value::Object(std::move(obj));
    }
    default:
      // A Response member read as a value.
      throw HostError(kErrNoMember, std::string(shown));
  }
}

}  // namespace halvane::script
