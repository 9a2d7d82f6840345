#include "host/web/page_io.h"

#include "core/strings.h"
#include "core/text.h"
#include "core/utf.h"
#include "host/web/multipart.h"

namespace halvane::web {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

using text::Trim;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// `bytes` with each ill-formed sequence (its maximal subpart) replaced by
// U+FFFD; with `surrogate_forms`, also each three-byte form of a surrogate,
// as one U+FFFD where it is otherwise read as three ill-formed bytes.
std::string Repaired(std::string_view bytes, bool surrogate_forms) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t ascii = i;
    while (ascii < bytes.size() && static_cast<unsigned char>(bytes[ascii]) < 0x80) ++ascii;
    out.append(bytes.substr(i, ascii - i));
    if ((i = ascii) == bytes.size()) break;
    const utf::Sequence q = utf::DecodeAt(bytes, i);
    if (q.well_formed) {
      out.append(bytes.substr(i, q.length));
      i += q.length;
      continue;
    }
    out.append(kReplacement);
    const bool surrogate = surrogate_forms && utf::DecodeAt(bytes, i, utf::Surrogates::Accepted).well_formed;
    i += surrogate ? 3 : q.length;
  }
  return out;
}

std::string Fold(std::string_view s) { return strings::LCase(s); }

// The values of `name` in `pairs` joined with ", "; nullopt when none.
std::optional<std::string> Joined(const Pairs& pairs, std::string_view name) {
  std::optional<std::string> out;
  const std::string folded = Fold(name);
  for (const auto& [n, v] : pairs) {
    if (Fold(n) != folded) continue;
    if (out) {
      out->append(", ");
      out->append(v);
    } else {
      out = v;
    }
  }
  return out;
}

bool HasControl(std::string_view s) {
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return true;
  }
  return false;
}

}  // namespace

std::string RepairUtf8(std::string_view bytes) { return Repaired(bytes, false); }

std::string SendableText(std::string_view text) { return Repaired(text, true); }

std::string UrlDecode(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      bytes.push_back(' ');
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      bytes.push_back(c);
    }
  }
  return RepairUtf8(bytes);
}

bool NamesEqual(std::string_view a, std::string_view b) { return Fold(a) == Fold(b); }

std::string HtmlEncode(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '&': out.append("&amp;"); break;
      case '<': out.append("&lt;"); break;
      case '>': out.append("&gt;"); break;
      case '"': out.append("&quot;"); break;
      case '\'': out.append("&#39;"); break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string bytes = SendableText(text);
  std::string out;
  out.reserve(bytes.size() * 3);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '*') {
      out.push_back(c);
    } else if (c == ' ') {
      out.push_back('+');
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
  }
  return out;
}

bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    const bool alnum = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9');
    if (!alnum && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) return false;
  }
  return true;
}

Pairs ParseParams(std::string_view text) {
  Pairs out;
  while (!text.empty()) {
    const std::size_t amp = text.find('&');
    const std::string_view piece = text.substr(0, amp);
    text.remove_prefix(amp == std::string_view::npos ? text.size() : amp + 1);
    if (piece.empty()) continue;
    const std::size_t eq = piece.find('=');
    if (eq == std::string_view::npos) {
      out.emplace_back(UrlDecode(piece), std::string());
    } else {
      out.emplace_back(UrlDecode(piece.substr(0, eq)), UrlDecode(piece.substr(eq + 1)));
    }
  }
  return out;
}

Pairs ParseCookies(std::string_view header) {
  Pairs out;
  while (!header.empty()) {
    const std::size_t semi = header.find(';');
    const std::string_view piece = header.substr(0, semi);
    header.remove_prefix(semi == std::string_view::npos ? header.size() : semi + 1);
    const std::size_t eq = piece.find('=');
    const std::string_view name = Trim(piece.substr(0, eq));
    if (name.empty()) continue;
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : Trim(piece.substr(eq + 1));
    out.emplace_back(RepairUtf8(name), UrlDecode(value));
  }
  return out;
}

// ---- PageRequest ------------------------------------------------------------------

PageRequest::PageRequest(RequestData data) : data_(std::move(data)) {
  raw_query_ = RepairUtf8(data_.query);
  query_ = ParseParams(data_.query);
  switch (FormBodyOf(data_.content_type)) {
    case FormBody::UrlEncoded:
      has_form_ = true;
      raw_form_ = RepairUtf8(data_.body);
      form_ = ParseParams(data_.body);
      break;
    case FormBody::Multipart: {
      // The raw form stays "": the parts are not text to show.
      MultipartFields parts = ParseMultipart(data_.content_type, data_.body);
      has_form_ = true;
      body_error_ = std::move(parts.error);
      if (body_error_.empty()) form_ = std::move(parts.fields);
      break;
    }
    case FormBody::None: break;
  }
  for (const auto& [name, value] : data_.headers) {
    if (!NamesEqual(name, "Cookie")) continue;
    Pairs some = ParseCookies(value);
    cookies_.insert(cookies_.end(), std::make_move_iterator(some.begin()), std::make_move_iterator(some.end()));
  }
}

std::optional<std::string> PageRequest::QueryString(std::string_view name) const { return Joined(query_, name); }

std::optional<std::string> PageRequest::Form(std::string_view name) const { return Joined(form_, name); }

std::optional<std::string> PageRequest::Cookie(std::string_view name) const {
  const std::string folded = Fold(name);
  for (const auto& [n, v] : cookies_) {
    if (Fold(n) == folded) return v;
  }
  return std::nullopt;
}

std::optional<std::string> PageRequest::ServerVariable(std::string_view name) const {
  const std::string n = Fold(name);
  if (n == "request_method") return data_.method;
  if (n == "query_string") return raw_query_;
  if (n == "script_name" || n == "path_info" || n == "url") return RepairUtf8(data_.path);
  if (n == "content_type") return RepairUtf8(data_.content_type);
  if (n == "content_length") return data_.content_length;
  if (n == "remote_addr") return data_.remote_addr;
  if (n == "server_name") return RepairUtf8(data_.server_name);
  if (n == "server_port") return data_.server_port;
  if (n == "server_protocol") return data_.protocol;
  if (n == "https") return std::string(data_.https ? "on" : "off");
  if (n.size() > 5 && n.compare(0, 5, "http_") == 0) {
    // HTTP_X_Y: the header X-Y (or X_Y), values of one name joined with ", ".
    std::optional<std::string> out;
    for (const auto& [hname, hvalue] : data_.headers) {
      std::string h = Fold(hname);
      for (char& c : h) {
        if (c == '-') c = '_';
      }
      if (h != std::string_view(n).substr(5)) continue;
      const std::string v = RepairUtf8(Trim(hvalue));
      if (out) {
        out->append(", ");
        out->append(v);
      } else {
        out = v;
      }
    }
    return out;
  }
  return std::nullopt;
}

std::optional<std::string> PageRequest::Item(std::string_view name) const {
  if (auto v = QueryString(name)) return v;
  if (auto v = Form(name)) return v;
  if (auto v = Cookie(name)) return v;
  return ServerVariable(name);
}

// ---- PageResponse -----------------------------------------------------------------

void PageResponse::Write(std::string_view text) {
  pending_.append(text);
  total_ += text.size();
  sink_.Wrote(total_);
}

void PageResponse::Flush() {
  if (!head_sent_) {
    head_sent_ = true;
    sink_.SendHead(*this);
  }
  if (!pending_.empty()) {
    std::string out;
    out.swap(pending_);
    sink_.SendBody(out);
  }
  sink_.Flushed();
}

void PageResponse::Finish() {
  if (!head_sent_) {
    head_sent_ = true;
    sink_.SendHead(*this);
  }
  if (!pending_.empty()) {
    std::string out;
    out.swap(pending_);
    sink_.SendBody(out);
  }
}

bool PageResponse::SetStatus(std::string_view status) {
  if (!CanSetHead() || status.size() < 5 || status[3] != ' ' || HasControl(status)) return false;
  for (std::size_t i = 0; i < 3; ++i) {
    if (status[i] < '0' || status[i] > '9') return false;
  }
  // HTTP has no status below 100, and a 1xx status only announces the
  // answer still to come: neither can be the status line of a page's answer
  // (a client would wait for another).
  if (status[0] == '0' || status[0] == '1') return false;
  status_ = SendableText(status);
  return true;
}

int PageResponse::StatusCode() const { return (status_[0] - '0') * 100 + (status_[1] - '0') * 10 + (status_[2] - '0'); }

bool PageResponse::SetContentType(std::string_view type) {
  if (!CanSetHead() || HasControl(type)) return false;
  content_type_ = SendableText(type);
  return true;
}

bool PageResponse::AddHeader(std::string_view name, std::string_view value) {
  // The framing of the answer is the server's: a page that could set these
  // could make one answer read as two.  Content-Type is the page's own, kept
  // once.
  if (text::EqualNoCase(name, "Content-Type")) return SetContentType(value);
  if (text::EqualNoCase(name, "Transfer-Encoding") || text::EqualNoCase(name, "Content-Length") ||
      text::EqualNoCase(name, "Connection"))
    return false;
  if (!CanSetHead() || !IsToken(name) || HasControl(value)) return false;
  headers_.push_back(Header{std::string(name), SendableText(value), std::string()});
  return true;
}

bool PageResponse::SetCookie(std::string_view name, std::string_view value) {
  if (!CanSetHead() || !IsToken(name)) return false;
  std::string line(name);
  line.push_back('=');
  line.append(UrlEncode(value));
  line.append("; Path=/; SameSite=Lax");
  return SetCookieLine(name, std::move(line));
}

bool PageResponse::SetCookieLine(std::string_view name, std::string line) {
  if (!CanSetHead() || !IsToken(name)) return false;
  for (Header& h : headers_) {
    if (!h.cookie.empty() && NamesEqual(h.cookie, name)) {
      h.cookie = std::string(name);
      h.value = std::move(line);
      return true;
    }
  }
  headers_.push_back(Header{"Set-Cookie", std::move(line), std::string(name)});
  return true;
}

bool PageResponse::Redirect(std::string_view url) {
  if (!CanSetHead() || HasControl(url)) return false;
  pending_.clear();
  status_ = "302 Found";
  headers_.push_back(Header{"Location", SendableText(url), std::string()});
  redirected_ = true;
  return true;
}

std::string HeadBlock(const PageResponse& response) {
  std::string out = "HTTP/1.1 ";
  out.append(response.Status());
  out.append("\r\nContent-Type: ");
  out.append(response.ContentType());
  out.append("\r\n");
  for (const PageResponse::Header& h : response.Headers()) {
    out.append(h.name);
    out.append(": ");
    out.append(h.value);
    out.append("\r\n");
  }
  out.append("\r\n");
  return out;
}

}  // namespace halvane::web
