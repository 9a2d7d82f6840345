// The request a page reads and the response it builds, free of HTTP and of
// the interpreter.  `halvane serve` fills a RequestData from the connection
// and sends a PageResponse through a ResponseSink of its own; `halvane run`
// fills it from its command line and sends to standard output.  The page's
// Request, Response and Server objects are thin layers over these classes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvane::web {

// ---- text ---------------------------------------------------------------------

// `bytes` as UTF-8 text: every maximal subpart of an ill-formed sequence (the
// longest prefix of a well-formed sequence, or else one byte) becomes one
// U+FFFD.  Encoded surrogates (ED A0..BF xx) are ill-formed here.
std::string RepairUtf8(std::string_view bytes);

// Page text (the interpreter's strings) made fit to send: an unpaired
// surrogate, which page strings carry as ED A0..BF xx, becomes one U+FFFD;
// any other ill-formed byte does as RepairUtf8 says.
std::string SendableText(std::string_view text);

// Decodes a query-string or form piece: "+" is a space, "%XX" (two hex
// digits, either case) the byte XX; a "%" not followed by two hex digits
// stays as it is.  The bytes are then read as UTF-8 (RepairUtf8).
std::string UrlDecode(std::string_view text);

// Names compared without regard to case: each character folded to lower
// case as the page language's LCase folds it.
bool NamesEqual(std::string_view a, std::string_view b);

// `&` `<` `>` `"` `'` as `&amp;` `&lt;` `&gt;` `&quot;` `&#39;`.
std::string HtmlEncode(std::string_view text);
// The UTF-8 bytes of `text`: ASCII letters, digits and "-_.*" kept, a space
// as "+", every other byte as "%XX" in upper case.
std::string UrlEncode(std::string_view text);

// An HTTP token: one or more of the letters, digits and !#$%&'*+-.^_`|~.
bool IsToken(std::string_view text);

// ---- request ------------------------------------------------------------------

using Pairs = std::vector<std::pair<std::string, std::string>>;

// "a=1&b=x+y&c" as decoded (name, value) pairs in order: ("a","1"),
// ("b","x y"), ("c",""); empty pieces are skipped.
Pairs ParseParams(std::string_view text);
// A Cookie header "a=1; b=2" as (name, value) pairs in order: names trimmed
// of blanks and kept as they are, values decoded as UrlDecode does (quotes
// kept).  Pieces without a name are skipped.
Pairs ParseCookies(std::string_view header);

// Everything the page may learn about its request, as received.
struct RequestData {
  std::string method = "GET";
  std::string path = "/";      // the page's URL path: SCRIPT_NAME and PATH_INFO
  std::string query;           // after "?", undecoded
  std::string body;            // undecoded
  std::string content_type;    // CONTENT_TYPE ("" when none)
  std::string content_length;  // CONTENT_LENGTH ("" when none)
  Pairs headers;               // request headers in order, names as received
  std::string remote_addr = "127.0.0.1";
  std::string server_name = "localhost";
  std::string server_port = "80";
  std::string protocol = "HTTP/1.1";
  bool https = false;
};

// The page's view of its request.  Every value is text; nullopt stands for
// Empty (the name was not sent).
class PageRequest {
 public:
  explicit PageRequest(RequestData data);

  const RequestData& Data() const { return data_; }
  // The raw query text and the raw url-encoded body, as UTF-8 text.
  const std::string& RawQuery() const { return raw_query_; }
  const std::string& RawForm() const { return raw_form_; }

  // Decoded values; several of one name joined with ", ".
  std::optional<std::string> QueryString(std::string_view name) const;
  std::optional<std::string> Form(std::string_view name) const;
  // The first cookie of that name.
  std::optional<std::string> Cookie(std::string_view name) const;
  std::optional<std::string> ServerVariable(std::string_view name) const;
  // Request("name"): the first of QueryString, Form, Cookies and
  // ServerVariables that has the name.
  std::optional<std::string> Item(std::string_view name) const;

  // True when the body is application/x-www-form-urlencoded or
  // multipart/form-data.
  bool HasForm() const { return has_form_; }
  // Not empty when the body is a malformed multipart/form-data body: what is
  // wrong with it (the form then has no fields).
  const std::string& BodyError() const { return body_error_; }

 private:
  RequestData data_;
  std::string raw_query_;
  std::string raw_form_;
  bool has_form_ = false;
  std::string body_error_;
  Pairs query_;
  Pairs form_;
  Pairs cookies_;
};

// ---- response -----------------------------------------------------------------

class PageResponse;

// Where a response goes.  SendHead is called once, before any body bytes,
// when status and headers are final; a host may throw from any member to
// stop the page (the exception passes through PageResponse unchanged).
class ResponseSink {
 public:
  virtual ~ResponseSink() = default;
  virtual void SendHead(const PageResponse& response) = 0;
  virtual void SendBody(std::string_view bytes) = 0;
  // After a Response.Flush has handed over its bytes.
  virtual void Flushed() {}
  // After each Response.Write, with the bytes written since the response
  // began (for hosts that limit a response's size).
  virtual void Wrote(std::size_t /*total*/) {}
};

class PageResponse {
 public:
  struct Header {
    std::string name;
    std::string value;
    std::string cookie;  // for Set-Cookie lines: the cookie's name
  };

  explicit PageResponse(ResponseSink& sink) : sink_(sink) {}
  PageResponse(const PageResponse&) = delete;
  PageResponse& operator=(const PageResponse&) = delete;

  // Response.Write: appends to what is held until the next flush.
  void Write(std::string_view text);
  // Response.Flush: the head the first time, then what was written.
  void Flush();
  // Response.Clear: drops what was written and not yet flushed.
  void Clear() { pending_.clear(); }

  // The setters return false where the page gets error 5: the head was
  // already sent, or the text is not allowed (see each).
  // "ddd reason": three digits (200 to 999), a space, a reason without
  // control characters.
  [[nodiscard]] bool SetStatus(std::string_view status);
  // Any text without control characters.
  [[nodiscard]] bool SetContentType(std::string_view type);
  // A token name; a value without U+0000-U+001F and U+007F.
  [[nodiscard]] bool AddHeader(std::string_view name, std::string_view value);
  // Set-Cookie "name=value; Path=/; SameSite=Lax" with the value URL-encoded;
  // a second cookie of one name replaces the first in its place.
  [[nodiscard]] bool SetCookie(std::string_view name, std::string_view value);
  // Set-Cookie with the whole text after "Set-Cookie: " given by the host
  // (name, value and attributes), replacing a cookie of `name` likewise.
  [[nodiscard]] bool SetCookieLine(std::string_view name, std::string line);
  // Drops unflushed output; status "302 Found" and a Location header.  The
  // page ends afterwards (the caller's business).
  [[nodiscard]] bool Redirect(std::string_view url);

  // The end of the page: the head if not yet sent, then what is held.
  void Finish();

  bool HeadSent() const { return head_sent_; }
  bool Redirected() const { return redirected_; }
  const std::string& Status() const { return status_; }
  // The status code of Status() (200 for the default).
  int StatusCode() const;
  const std::string& ContentType() const { return content_type_; }
  // AddHeader, Set-Cookie and Location lines in the order of the calls.
  const std::vector<Header>& Headers() const { return headers_; }
  // Written and not yet flushed.
  const std::string& Pending() const { return pending_; }

 private:
  bool CanSetHead() const { return !head_sent_; }

  ResponseSink& sink_;
  std::string status_ = "200 OK";
  std::string content_type_ = "text/html; charset=utf-8";
  std::vector<Header> headers_;
  std::string pending_;
  std::size_t total_ = 0;
  bool head_sent_ = false;
  bool redirected_ = false;
};

// The head as `halvane run -i` shows it: "HTTP/1.1 <status>", the content
// type, every header line in order, an empty line; each line ends in CR LF.
std::string HeadBlock(const PageResponse& response);

}  // namespace halvane::web
