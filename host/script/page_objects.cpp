// The page's Request, Response and Server objects while a page runs: thin
// calls into the request and response the host gave (host/web/page_io.h),
// which hold the decoding and the rules of what may be sent.
#include <optional>
#include <string>
#include <utility>

#include "host/script/machine.h"
#include "host/web/page_io.h"
#include "server/automation.h"

namespace halvane::script {

std::string Machine::PageText(const Expr& e) { return ToString(EvalPlain(e)); }

void Machine::ExecPage(const SimpleStmt& s) {
  auto check = [](bool ok) {
    if (!ok) throw HostError(5);
  };
  switch (s.page_member) {
    case PageMember::ResponseClear: response_->Clear(); return;
    case PageMember::ResponseEnd: throw Stop{Outcome::Completed};
    case PageMember::ResponseAddHeader: {
      const std::string name = PageText(*s.args[0]);
      const std::string value = PageText(*s.args[1]);
      check(response_->AddHeader(name, value));
      return;
    }
    case PageMember::ResponseRedirect: {
      const std::string url = PageText(*s.args[0]);
      check(response_->Redirect(url));
      throw Stop{Outcome::Completed};
    }
    case PageMember::ResponseContentType: check(response_->SetContentType(PageText(*s.value))); return;
    case PageMember::ResponseStatus: check(response_->SetStatus(PageText(*s.value))); return;
    case PageMember::ResponseCookies: {
      const std::string name = PageText(*s.args[0]);
      const std::string value = PageText(*s.value);
      check(response_->SetCookie(name, value));
      return;
    }
    default:
      // A Response property named as a call, or a Request or Server member
      // used as a statement.
      throw HostError(438);
  }
}

Value Machine::EvalPage(const PageExpr& e) {
  auto text_or_empty = [](std::optional<std::string> v) { return v ? Value(Variant(std::move(*v))) : Value(); };
  switch (e.member) {
    case PageMember::RequestItem: return text_or_empty(request_->Item(PageText(*e.args[0])));
    case PageMember::RequestQueryString:
      if (e.args.empty()) return Value(Variant(request_->RawQuery()));
      return text_or_empty(request_->QueryString(PageText(*e.args[0])));
    case PageMember::RequestForm:
      if (e.args.empty()) return Value(Variant(request_->RawForm()));
      return text_or_empty(request_->Form(PageText(*e.args[0])));
    case PageMember::RequestCookies: return text_or_empty(request_->Cookie(PageText(*e.args[0])));
    case PageMember::RequestServerVariables: return text_or_empty(request_->ServerVariable(PageText(*e.args[0])));
    case PageMember::ServerHTMLEncode:
    case PageMember::ServerURLEncode: {
      Variant v = EvalPlain(*e.args[0]);
      if (v.IsNullValue()) return Value(std::move(v));
      const std::string s = ToString(v);
      return Value(Variant(e.member == PageMember::ServerHTMLEncode ? web::HtmlEncode(s) : web::UrlEncode(s)));
    }
    case PageMember::ServerCreateObject: {
      const std::string id = PageText(*e.args[0]);
      automation::ObjectPtr obj;
      if (automation::CreateObject(id, obj) < 0 || !obj) throw HostError(429);
      return Value::Object(std::move(obj));
    }
    default:
      // A Response member read as a value.
      throw HostError(438);
  }
}

}  // namespace halvane::script
