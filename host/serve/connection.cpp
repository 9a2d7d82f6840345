#include "host/serve/connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text.h"
#include "host/serve/answers.h"
#include "host/serve/context.h"
#include "host/serve/default_images.h"
#include "host/serve/page_runner.h"
#include "host/serve/paths.h"
#include "host/serve/static_files.h"

namespace halvane::serve {
namespace {

// 405, naming what was asked for and what is allowed.
MHD_Result NotAllowed(RequestCtx& ctx, MHD_Connection* c, std::string_view what, const char* allow, bool close) {
  std::string page = ErrorPage(405, what);
  const std::size_t n = page.size();
  MHD_Response* r = FromString(std::move(page));
  if (r == nullptr) return MHD_NO;
  MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, kHtml);
  MHD_add_response_header(r, MHD_HTTP_HEADER_ALLOW, allow);
  if (close) MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
  return Queue(ctx, c, 405, r, n);
}

// The request as a page reads it.
void Fill(const Context& cx, RequestCtx& ctx, MHD_Connection* c, std::string_view path, std::string_view query) {
  Request& req = ctx.request;
  req.method = ctx.method;
  req.target = ctx.target;
  req.path = std::string(path);
  req.query = std::string(query);
  req.protocol = ctx.version;
  MHD_get_connection_values(
      c, MHD_HEADER_KIND,
      [](void* cls, MHD_ValueKind, const char* key, const char* value) -> MHD_Result {
        static_cast<Request*>(cls)->headers.emplace_back(key ? key : "", value ? value : "");
        return MHD_YES;
      },
      &req);
  for (const auto& [name, value] : req.headers) {
    if (text::EqualNoCase(name, "Cookie")) ParseCookies(value, req.cookies);
  }
  if (ctx.conn) {
    req.remote_addr = ctx.conn->remote;
    req.remote_port = ctx.conn->remote_port;
  }
  req.server_port = static_cast<std::uint16_t>(cx.port);
  req.server_name = cx.options.host;
  if (const std::string* host = req.Header("Host"); host && !host->empty()) {
    std::string h = *host;
    if (h.front() == '[') {
      h = h.substr(0, h.find(']') + 1);
    } else if (auto colon = h.rfind(':'); colon != std::string::npos) {
      h.resize(colon);
    }
    req.server_name = h;
  }
}

// The first look at a request, once its headers are in: what can be
// refused before its body is read.  Returns false to go on.
bool Refuse(Context& cx, RequestCtx& ctx, MHD_Connection* c, MHD_Result* result) {
  if (ctx.target.size() > cx.options.max_url) {
    *result = Error(ctx, c, 414, "the request target is too long", true);
    return true;
  }
  // Two Content-Length headers that differ, or one beside chunked
  // encoding, leave the body's end in doubt: a proxy in front may see
  // another request there.  Refused, and the connection closed.
  struct Scan {
    std::vector<std::string> lengths;
    std::vector<std::string> codings;  // every Transfer-Encoding header
    std::size_t bytes = 0;
    int hosts = 0;
    bool blank_in_name = false;
  } scan;
  MHD_get_connection_values(
      c, MHD_HEADER_KIND,
      [](void* cls, MHD_ValueKind, const char* key, const char* value) -> MHD_Result {
        auto* s = static_cast<Scan*>(cls);
        std::string_view k = key ? key : "", v = value ? value : "";
        s->bytes += k.size() + v.size() + 4;
        if (k.find_first_of(" \t") != std::string_view::npos) s->blank_in_name = true;
        if (text::EqualNoCase(k, "Content-Length")) s->lengths.emplace_back(v);
        if (text::EqualNoCase(k, "Transfer-Encoding")) s->codings.emplace_back(v);
        if (text::EqualNoCase(k, "Host")) ++s->hosts;
        return MHD_YES;
      },
      &scan);
  // The event loop does not read a header name with a blank before its
  // colon ("Content-Length : 5") as the header it names, while a proxy in
  // front may: the body would then pass for a second request here.  Such a
  // request, one whose target holds a NUL (its request line then ends at
  // the NUL, leaving no protocol version), and one that names its host
  // twice or (HTTP/1.1) not at all are refused, and the connection closed.
  if (scan.blank_in_name || ctx.nul_in_target || (ctx.version != "HTTP/1.0" && ctx.version != "HTTP/1.1") || scan.hosts > 1 ||
      (scan.hosts == 0 && ctx.version == "HTTP/1.1")) {
    *result = Error(ctx, c, 400, "malformed request", true);
    return true;
  }
  // Chunked is the one transfer coding read here.  Any other (or another
  // before it) would leave the body's end unknown: refused rather than
  // waited on.
  if (!scan.codings.empty() &&
      (scan.codings.size() > 1 || !text::EqualNoCase(text::Trim(scan.codings.front()), "chunked"))) {
    *result = Error(ctx, c, 501, "unsupported transfer coding", true);
    return true;
  }
  const std::vector<std::string>& lengths = scan.lengths;
  const std::size_t header_bytes = scan.bytes;
  bool mixed = !scan.codings.empty() && !lengths.empty();
  for (const std::string& l : lengths) mixed = mixed || l != lengths.front();
  if (mixed) {
    *result = Error(ctx, c, 400, "conflicting body lengths", true);
    return true;
  }
  if (header_bytes > cx.options.max_header) {
    *result = Error(ctx, c, 431, "the request headers are too large", true);
    return true;
  }
  if (ctx.method != "GET" && ctx.method != "HEAD" && ctx.method != "POST") {
    *result = NotAllowed(ctx, c, ctx.method, "GET, HEAD, POST", true);
    return true;
  }
  if (!lengths.empty()) {
    char* end = nullptr;
    errno = 0;
    unsigned long long n = std::strtoull(lengths.front().c_str(), &end, 10);
    if (errno == 0 && *end == '\0' && n > cx.options.max_body) {
      *result = Error(ctx, c, 413, "the request body is too large", true);
      return true;
    }
  }
  return false;
}

MHD_Result Answer(Context& cx, RequestCtx& ctx, MHD_Connection* c) {
  if (ctx.body_too_large) {
    return Error(ctx, c, 413, "the request body is too large", true);
  }
  std::string_view target = ctx.target;
  if (target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0) {
    // The absolute form: only its path counts.
    std::size_t slash = target.find('/', target.find("//") + 2);
    target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
  }
  std::size_t q = target.find('?');
  std::string_view raw_path = target.substr(0, q);
  std::string_view query = q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
  if (raw_path.empty() || raw_path[0] != '/')
    return Error(ctx, c, 400, "bad request target", true);
  std::optional<std::string> path = DecodePath(raw_path);
  if (!path) return Error(ctx, c, 400, "bad request target", true);
  ctx.request.path = *path;
  Resolved r = Resolve(cx.root, *path);
  if (r.kind == Resolved::Kind::NotFound) r = DefaultImage(cx.options.default_images, *path);
  if (r.kind == Resolved::Kind::AddSlash) {
    MHD_Response* resp = FromString({});
    if (resp == nullptr) return MHD_NO;
    MHD_add_response_header(resp, MHD_HTTP_HEADER_LOCATION, FolderLocation(*path, query).c_str());
    return Queue(ctx, c, 301, resp, 0);
  }
  if (r.kind != Resolved::Kind::File) return Error(ctx, c, 404, *path);
  if (IsPageScript(r.file)) {
    Fill(cx, ctx, c, *path, query);
    if (const std::string why = ctx.request.MalformedBody(); !why.empty())
      return Error(ctx, c, 400, why, true);
    return StartPage(cx, ctx, c, r.file);
  }
  if (ctx.method == "POST") {
    return NotAllowed(ctx, c, "POST " + *path, "GET, HEAD", false);
  }
  return SendFile(cx, ctx, c, r.file);
}

}  // namespace

std::string AddressText(const sockaddr* sa, std::uint16_t* port) {
  char buf[INET6_ADDRSTRLEN] = "?";
  if (sa == nullptr) return buf;
  if (sa->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf);
    if (port) *port = ntohs(in->sin_port);
  } else if (sa->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
    inet_ntop(AF_INET6, &in6->sin6_addr, buf, sizeof buf);
    if (port) *port = ntohs(in6->sin6_port);
  }
  return buf;
}

MHD_Result OnRequest(void* cls, MHD_Connection* c, const char* url, const char* method, const char* version,
                            const char* upload_data, std::size_t* upload_data_size, void** con_cls) {
  auto* cx = static_cast<Context*>(cls);
  auto* ctx = static_cast<RequestCtx*>(*con_cls);
  if (ctx == nullptr) {
    ctx = new RequestCtx;
    *con_cls = ctx;
    ctx->start = Clock::now();
    if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT)) {
      ctx->conn = static_cast<ConnState*>(info->socket_context);
    }
    ctx->method = method ? method : "";
    ctx->version = version ? version : "";
    // The request line is "METHOD TARGET VERSION" in one buffer: a target
    // that ends anywhere but one blank before the version held a NUL.
    ctx->nul_in_target = ctx->conn && ctx->conn->target_end && version && ctx->conn->target_end + 1 != version;
    ctx->target = ctx->conn && !ctx->conn->target.empty() ? ctx->conn->target : (url ? url : "");
    MHD_Result result = MHD_YES;
    if (Refuse(*cx, *ctx, c, &result)) return result;
    return MHD_YES;
  }
  if (ctx->exchange) return ContinuePage(*cx, *ctx, c);
  if (*upload_data_size > 0) {
    // The body: kept up to the limit, the rest read and dropped.
    if (!ctx->body_too_large && ctx->request.body.size() + *upload_data_size <= cx->options.max_body) {
      ctx->request.body.append(upload_data, *upload_data_size);
    } else {
      ctx->body_too_large = true;
      ctx->request.body.clear();
    }
    *upload_data_size = 0;
    return MHD_YES;
  }
  if (ctx->conn) {
    std::lock_guard lk(cx->conns_mutex);
    ctx->conn->busy = true;
  }
  return Answer(*cx, *ctx, c);
}

void OnCompleted(void* cls, MHD_Connection*, void** con_cls, MHD_RequestTerminationCode code) {
  auto* cx = static_cast<Context*>(cls);
  auto* ctx = static_cast<RequestCtx*>(*con_cls);
  if (ctx == nullptr) return;
  *con_cls = nullptr;
  if (ctx->exchange) {
    Exchange::Closed closed = ctx->exchange->Close();
    if (closed.streamed) {
      ctx->bytes = closed.bytes;
      if (ctx->note.empty()) ctx->note = std::move(closed.failure);
    }
  }
  if (code != MHD_REQUEST_TERMINATED_COMPLETED_OK && ctx->note.empty()) {
    static const char* const kWhy[] = {
        "", "ended by an error", "the client timed out", "the server stopped", "read error", "the client went away"};
    if (static_cast<unsigned>(code) < 6) ctx->note = kWhy[code];
  }
  if (ctx->conn) {
    std::lock_guard lk(cx->conns_mutex);
    ctx->conn->busy = false;
    ctx->conn->ready_since = Clock::now();
    ctx->conn->target.clear();
    ctx->conn->target_end = nullptr;
  }
  cx->log.Add(LogEntry{ctx->conn ? std::string_view(ctx->conn->remote) : std::string_view("?"), ctx->method,
                       ctx->target, ctx->version, ctx->status, ctx->bytes, Clock::now() - ctx->start, ctx->note});
  delete ctx;
}

void* OnUri(void*, const char* uri, MHD_Connection* c) {
  if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT)) {
    if (auto* conn = static_cast<ConnState*>(info->socket_context)) {
      conn->target = uri ? uri : "";
      conn->target_end = uri ? uri + conn->target.size() : nullptr;
    }
  }
  return nullptr;
}

void OnConnection(void* cls, MHD_Connection* c, void** socket_context, MHD_ConnectionNotificationCode code) {
  auto* cx = static_cast<Context*>(cls);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    auto* conn = new ConnState;
    if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD)) {
      conn->fd = info->connect_fd;
    }
    if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
      conn->remote = AddressText(info->client_addr, &conn->remote_port);
    }
    conn->ready_since = Clock::now();
    *socket_context = conn;
    std::lock_guard lk(cx->conns_mutex);
    cx->conns.insert(conn);
  } else if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
    auto* conn = static_cast<ConnState*>(*socket_context);
    if (conn == nullptr) return;
    *socket_context = nullptr;
    {
      std::lock_guard lk(cx->conns_mutex);
      cx->conns.erase(conn);
    }
    delete conn;
  }
}

}  // namespace halvane::serve
