// The page's Request, Response and Server objects as the parser reads them:
// their members are known by name, so a misspelt member of one of these
// literal names is a syntax error, and each member becomes one node.
// (Response.Write and Response.Flush are ordinary statements of parser.cpp.)
#include <string>
#include <utility>

#include "host/script/parser.h"

namespace halvane::script {
namespace {

struct MemberName {
  const char* lower;
  PageMember member;
};

constexpr MemberName kResponse[] = {
    {"clear", PageMember::ResponseClear},
    {"end", PageMember::ResponseEnd},
    {"addheader", PageMember::ResponseAddHeader},
    {"redirect", PageMember::ResponseRedirect},
    {"contenttype", PageMember::ResponseContentType},
    {"status", PageMember::ResponseStatus},
    {"cookies", PageMember::ResponseCookies},
    {"write", PageMember::ResponseWrite},
    {"flush", PageMember::ResponseFlush},
};
constexpr MemberName kRequest[] = {
    {"querystring", PageMember::RequestQueryString},
    {"form", PageMember::RequestForm},
    {"cookies", PageMember::RequestCookies},
    {"servervariables", PageMember::RequestServerVariables},
};
constexpr MemberName kServer[] = {
    {"htmlencode", PageMember::ServerHTMLEncode},
    {"urlencode", PageMember::ServerURLEncode},
    {"createobject", PageMember::ServerCreateObject},
};

template <std::size_t N>
const MemberName* Find(const MemberName (&table)[N], std::string_view lower) {
  for (const MemberName& m : table) {
    if (lower == m.lower) return &m;
  }
  return nullptr;
}

// The member named by token `m` in `table`, or nullptr.
template <std::size_t N>
const MemberName* Lookup(const Token& m, const MemberName (&table)[N]) {
  if (m.kind != Tok::Identifier && m.kind != Tok::Keyword) return nullptr;
  return Find(table, m.lower);
}

bool IsPageObject(const Token& t) {
  return t.kind == Tok::Keyword && (t.kw == Kw::Request || t.kw == Kw::Response || t.kw == Kw::Server);
}

}  // namespace

std::optional<PageMember> FindPageMember(BuiltinObject object, std::string_view lower) {
  const MemberName* found = object == BuiltinObject::Response  ? Find(kResponse, lower)
                            : object == BuiltinObject::Request ? Find(kRequest, lower)
                            : object == BuiltinObject::Server  ? Find(kServer, lower)
                                                               : nullptr;
  if (!found) return std::nullopt;
  return found->member;
}

bool Parser::PageStatementAhead() {
  const Token& obj = Peek();
  if (!IsPageObject(obj)) return false;
  if (obj.kw != Kw::Response) return !PageChainAhead();
  // Response.Write and Response.Flush stay with the ordinary statements.
  const Token& m = Peek(2);
  return !(At(Tok::Dot, 1) && (m.lower == "write" || m.lower == "flush"));
}

std::vector<ExprPtr> Parser::ParsePageArgs(bool statement, bool with_call) {
  if (At(Tok::LParen) && (!statement || with_call)) {
    Take();
    std::vector<ExprPtr> args = ParseArgs(Tok::RParen, false);
    Expect(Tok::RParen, "')'");
    return args;
  }
  if (statement && !AtEndOfStatement()) return ParseArgs(Tok::EndOfStatement, false);
  return {};
}

StmtPtr Parser::ParsePageStatement(bool with_call) {
  Token obj = Take();
  Pos pos = obj.pos;
  auto s = std::make_unique<SimpleStmt>(Stmt::Kind::Page, W(pos));
  s->page_member = PageMember::NotThere;
  const std::string name = obj.text;
  if (At(Tok::Equals)) Fail(pos, "'" + name + "' is a built-in object and cannot be assigned");
  s->text = name;
  if (obj.kw == Kw::Request && At(Tok::LParen)) {
    // Request("name") as a statement: a value used as a statement.
    s->args = ParsePageArgs(true, true);
    return s;
  }
  Expect(Tok::Dot, "'.' after '" + name + "'");
  Token m = Take();
  s->text = name + "." + m.text;
  const MemberName* found = obj.kw == Kw::Response  ? Lookup(m, kResponse)
                            : obj.kw == Kw::Request ? Lookup(m, kRequest)
                                                    : Lookup(m, kServer);
  if (!found) Fail(m.pos, "'" + name + "' has no member " + Describe(m));
  if (obj.kw != Kw::Response) {
    // A Request or Server member used as a statement: 438 when it runs.
    s->args = ParsePageArgs(true, with_call);
    return s;
  }
  const PageMember member = found->member;
  auto count = [&](std::size_t n) {
    if (s->args.size() != n) Fail(m.pos, "wrong number of arguments for 'Response." + m.text + "'");
  };
  switch (member) {
    case PageMember::ResponseClear:
    case PageMember::ResponseEnd:
    case PageMember::ResponseAddHeader:
    case PageMember::ResponseRedirect:
      s->args = ParsePageArgs(true, with_call);
      count(member == PageMember::ResponseAddHeader ? 2 : member == PageMember::ResponseRedirect ? 1 : 0);
      s->page_member = member;
      return s;
    case PageMember::ResponseContentType:
    case PageMember::ResponseStatus:
      if (!with_call && At(Tok::Equals)) {
        Take();
        s->value = ParseExpr();
        s->page_member = member;
        return s;
      }
      // Named as a call: 438 when it runs.
      s->args = ParsePageArgs(true, with_call);
      return s;
    case PageMember::ResponseCookies:
      if (At(Tok::LParen)) {
        Take();
        s->args = ParseArgs(Tok::RParen, false);
        Expect(Tok::RParen, "')'");
        if (!with_call && At(Tok::Equals)) {
          count(1);
          Take();
          s->value = ParseExpr();
          s->page_member = member;
          return s;
        }
      }
      if (!AtEndOfStatement()) Expected("'(' name ')' '=' value after 'Response.Cookies'");
      return s;
    default: return s;
  }
}

// Request(name), or a member of one of the objects, and what follows it: the
// result of a member call may be indexed or called in turn
// (Server.CreateObject(id).Width).
ExprPtr Parser::ParsePageValue(const Token& head) {
  ExprPtr e = ParsePageMember(head);
  if (e->kind != Expr::Kind::Page || (!At(Tok::Dot) && !At(Tok::LParen))) return e;
  auto p = std::make_unique<PostfixExpr>(e->at, std::move(e));
  ParseSteps(*p, false);
  return p;
}

bool Parser::PageChainAhead() {
  std::size_t k = 1;
  if (!At(Tok::LParen, 1)) {
    if (!At(Tok::Dot, 1)) return false;
    k = 3;
  }
  if (At(Tok::LParen, k)) {
    for (int depth = 0;; ++k) {
      if (At(Tok::EndOfStatement, k) || At(Tok::EndOfFile, k)) return false;
      depth += At(Tok::LParen, k) ? 1 : At(Tok::RParen, k) ? -1 : 0;
      if (depth == 0) break;
    }
    ++k;
  }
  return At(Tok::Dot, k) || At(Tok::LParen, k);
}

ExprPtr Parser::ParsePageMember(const Token& head) {
  const std::string name = head.text;
  if (head.kw == Kw::Request && At(Tok::LParen)) {
    auto e = std::make_unique<PageExpr>(W(head.pos), PageMember::RequestItem);
    e->args = ParsePageArgs(false, false);
    if (e->args.size() != 1) Fail(head.pos, "'Request(name)' takes one name");
    return e;
  }
  if (!At(Tok::Dot)) {
    // The object itself as a value: Set r = Request, TypeName(Response), S Server.
    auto object = head.kw == Kw::Request    ? BuiltinObject::Request
                  : head.kw == Kw::Response ? BuiltinObject::Response
                                            : BuiltinObject::Server;
    return std::make_unique<ObjectExpr>(W(head.pos), object);
  }
  Take();
  Token m = Take();
  const MemberName* found = head.kw == Kw::Response  ? Lookup(m, kResponse)
                            : head.kw == Kw::Request ? Lookup(m, kRequest)
                                                     : Lookup(m, kServer);
  if (!found) Fail(m.pos, "'" + name + "' has no member " + Describe(m));
  // A Response member read as a value: 438 when it runs.
  const PageMember member = head.kw == Kw::Response ? PageMember::NotThere : found->member;
  auto e = std::make_unique<PageExpr>(W(head.pos), member);
  e->shown = name + "." + m.text;
  e->args = ParsePageArgs(false, false);
  const std::size_t n = e->args.size();
  switch (member) {
    case PageMember::RequestQueryString:
    case PageMember::RequestForm:
      if (n > 1) Fail(m.pos, "'Request." + m.text + "' takes at most one name");
      break;
    case PageMember::NotThere: break;
    default:
      if (n != 1) Fail(m.pos, "'" + name + "." + m.text + "' takes one argument");
  }
  return e;
}

}  // namespace halvane::script
