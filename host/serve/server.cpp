#include "host/serve/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_set>
#include <utility>

#include "components/compat/browser_compat.h"
#include "core/error.h"
#include "core/text.h"
#include "host/script/interpreter.h"
#include "host/serve/default_images.h"
#include "host/serve/pages.h"
#include "host/serve/paths.h"
#include "host/serve/request.h"
#include "host/serve/workers.h"
#include "host/session/page_session.h"
#include "host/web/page_io.h"

namespace halvane::serve {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string HtmlPrefix(const Options& options) {
  if (!options.compat) return {};
  return PageScript(options.a11y);
}

namespace {

constexpr std::size_t kMaxPending = std::size_t{256} << 10;  // flushed, not yet taken by the client
constexpr std::size_t kMaxOutput = std::size_t{512} << 20;   // one response
// A page's own head (content type, headers, cookies).  The connection keeps
// room for this much beside the request, so a head up to it always goes out;
// a larger one is the page's error.
constexpr std::size_t kMaxPageHead = std::size_t{16} << 10;
// Beyond its deadline, how long a page has to notice it before its request
// is answered without it.
constexpr auto kStuckGrace = std::chrono::seconds(2);
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr std::size_t kLogBuffer = 32 * 1024;  // access-log lines gathered before a write
// A page already parsed is first run on the event-loop thread itself, which
// spares the hand-over to a worker and back.  Such a run holds up every
// other connection of that thread, so it may take only this long and write
// only this much; a page that goes past either, flushes or sleeps is
// stopped, run again from its start on a worker, and from then on always
// runs on workers.  Pages have no effects beyond their response, so the
// stopped first run leaves nothing behind.
constexpr auto kInlineBudget = milliseconds(20);
constexpr std::size_t kInlineMaxOutput = std::size_t{1} << 20;

std::string ErrorPage(std::string_view title, std::string_view message) {
  std::string page = "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>";
  page += web::HtmlEncode(title);
  page += "</title></head>\r\n<body style=\"font-family:sans-serif;margin:2em\"><h1>";
  page += web::HtmlEncode(title);
  page += "</h1>\r\n<p><code>";
  page += web::HtmlEncode(message);
  page += "</code></p></body></html>\r\n";
  return page;
}

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::canonical(p, ec);
  return ec ? fs::path() : c;
}

// Appended to a response that was already streaming when its page failed.
std::string ErrorBlock(std::string_view message) {
  std::string block =
      "\r\n<div style=\"border:2px solid #b00020;background:#fdecee;color:#5c0010;padding:8px 12px;"
      "margin:8px 0;font:14px sans-serif\"><b>Script error</b>: <code>";
  block += web::HtmlEncode(message);
  block += "</code></div>\r\n";
  return block;
}

// The local time to the second, for log lines; worked out once a second
// (the conversion to local time is slow).
std::string TimeStamp() {
  static std::mutex m;
  static std::time_t last = 0;
  static char text[32] = "";
  std::time_t now = std::time(nullptr);
  std::lock_guard lk(m);
  if (now != last) {
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    last = now;
  }
  return text;
}

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

// One connection, from its accept to its close.  The watchdog reads it to
// drop clients that take too long to send a request.
struct ConnState {
  int fd = -1;
  std::string remote;  // the client's address, for the log
  std::uint16_t remote_port = 0;
  std::string target;  // the raw target of the request being read
  // Where that target ends in the event loop's buffer of the request line:
  // just before the protocol version, unless a NUL cut the target short.
  const char* target_end = nullptr;
  // Guarded by Impl::conns_mutex:
  Clock::time_point ready_since;  // when it became ready for its next request
  bool busy = false;              // a whole request is in; it is being answered
  bool dropped = false;
};

// One run of a page, shared by the worker that runs it, the event loop that
// sends what it writes, and the watchdog.
struct Exchange {
  std::mutex m;
  std::condition_variable cv;
  MHD_Connection* connection = nullptr;
  std::string path;   // the page's request path, for messages about it
  bool head = false;  // HEAD: the page runs, nothing is streamed
  Clock::time_point deadline;
  std::atomic<bool> cancel{false};
  // The page's own, until it ends:
  std::string buffer;  // written since the last flush
  std::size_t total = 0;
  bool too_large = false;
  bool head_too_large = false;
  bool head_flushed = false;
  // Guarded by m:
  std::string pending;          // flushed, not yet taken by the event loop
  std::size_t pending_off = 0;  // of pending, taken already
  std::uint64_t sent = 0;       // taken by the event loop in all
  bool streaming = false;       // something was flushed: the headers went
  bool finished = false;        // the page ended; pending holds the rest
  bool suspended = false;       // its connection is suspended, waiting for us
  bool closed = false;          // the request has ended (sent, or the client went)
  bool abandoned = false;       // the page did not stop in time; answered without it
  bool detached = false;        // the server is stopping: never suspend again
  int status = 200;             // for a response not streamed
  std::string failure;          // what went wrong, when the page did not complete
  // The page's head, set before its first flush or its end:
  std::string content_type = kHtml;
  std::vector<std::pair<std::string, std::string>> headers;
};

// One request, from its headers to its end.
struct RequestCtx {
  ConnState* conn = nullptr;
  Clock::time_point start;
  std::string method, target, version;
  bool responded = false;
  bool body_too_large = false;
  bool nul_in_target = false;
  Request request;
  std::shared_ptr<Exchange> exchange;
  // For the log line:
  int status = 0;
  std::uint64_t bytes = 0;
  std::string note;
};

class ExchangeOutput final : public script::Output {
 public:
  ExchangeOutput(Exchange& ex, Workers& workers) : ex_(ex), workers_(workers) {}

  void Write(std::string_view text) override {
    ex_.total += text.size();
    if (ex_.total > kMaxOutput) {
      ex_.too_large = true;
      throw script::Cancelled();
    }
    ex_.buffer.append(text);
  }

  // Hands what was written to the event loop, which sends it as one chunk;
  // waits, without its slot, while much is still unsent (a slow client).
  void Flush() override {
    // An answer without a body (HEAD, 204, 304) is not streamed: its head
    // goes when the page ends, and no chunk, not even the last empty one,
    // follows it.
    if (ex_.head || ex_.status == 204 || ex_.status == 304) {
      ex_.head_flushed = true;  // a GET would have sent its head here
      return;
    }
    std::unique_lock lk(ex_.m);
    if (ex_.closed || ex_.abandoned || ex_.detached) throw script::Cancelled();
    if (ex_.pending_off == ex_.pending.size()) {
      ex_.pending.clear();
      ex_.pending_off = 0;
    }
    ex_.pending.append(ex_.buffer);
    ex_.buffer.clear();
    ex_.streaming = true;
    if (ex_.suspended) {
      ex_.suspended = false;
      MHD_resume_connection(ex_.connection);
    }
    auto drained = [&] { return ex_.pending.size() - ex_.pending_off <= kMaxPending || ex_.closed || ex_.cancel; };
    if (drained()) return;
    lk.unlock();
    workers_.WithoutSlot([&] {
      std::unique_lock wait(ex_.m);
      ex_.cv.wait_until(wait, ex_.deadline, drained);
    });
    lk.lock();
    if (ex_.closed || ex_.cancel) throw script::Cancelled();
  }

 private:
  Exchange& ex_;
  Workers& workers_;
};

// The output of a page run on the event-loop thread (see kInlineBudget).
class InlineOutput final : public script::Output {
 public:
  InlineOutput(std::string& body, bool head) : body_(body), head_(head) {}

  void Write(std::string_view text) override {
    if (body_.size() + text.size() > kInlineMaxOutput) GiveUp();
    body_.append(text);
  }

  void Flush() override {
    if (!head_) GiveUp();
    head_flushed = true;  // a GET would have sent its 200 here
  }

  // Stops the run: it goes on a worker instead.
  [[noreturn]] void GiveUp() {
    gave_up = true;
    throw script::Cancelled();
  }

  bool gave_up = false;
  bool once = false;  // gave up this time only (a session busy with another page)
  bool head_flushed = false;

 private:
  std::string& body_;
  const bool head_;
};

// A page's response into its exchange: the head is kept for the event loop,
// the body goes through the exchange's output.  The compatibility script
// goes in front of text/html bodies only.
class PageSink final : public web::ResponseSink {
 public:
  PageSink(Exchange& ex, script::Output& out, const std::string& prefix) : ex_(ex), out_(out), prefix_(prefix) {}

  void SendHead(const web::PageResponse& r) override {
    std::size_t bytes = r.ContentType().size() + 16;
    for (const web::PageResponse::Header& h : r.Headers()) bytes += h.name.size() + h.value.size() + 4;
    if (bytes > kMaxPageHead) {
      ex_.head_too_large = true;
      throw script::Cancelled();
    }
    ex_.status = r.StatusCode();
    ex_.content_type = r.ContentType();
    ex_.headers.clear();
    for (const web::PageResponse::Header& h : r.Headers()) ex_.headers.emplace_back(h.name, h.value);
    if (!r.Redirected() && IsHtml(r.ContentType())) out_.Write(prefix_);
  }
  void SendBody(std::string_view bytes) override { out_.Write(bytes); }
  void Flushed() override { out_.Flush(); }
  void Wrote(std::size_t total) override {
    if (total > kMaxOutput) {
      ex_.too_large = true;
      throw script::Cancelled();
    }
  }

 private:
  static bool IsHtml(std::string_view type) {
    constexpr std::string_view kType = "text/html";
    if (!text::StartsWithNoCase(type, kType)) return false;
    return type.size() == kType.size() || type[kType.size()] == ';' || type[kType.size()] == ' ';
  }

  Exchange& ex_;
  script::Output& out_;
  const std::string& prefix_;
};

// The page's status, content type and headers onto an answer.
void AddPageHead(MHD_Response* r, const Exchange& ex) {
  MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, ex.content_type.c_str());
  for (const auto& [name, value] : ex.headers) MHD_add_response_header(r, name.c_str(), value.c_str());
}

}  // namespace

struct Server::Impl {
  Options options;
  fs::path root;
  std::string prefix;  // HtmlPrefix(options)
  int listen_fd = -1;
  int port = 0;
  MHD_Daemon* daemon = nullptr;
  PageCache pages;
  Workers workers;

  std::mutex stop_mutex;
  std::condition_variable stop_cv;
  bool stop_requested = false;
  std::atomic<bool> hard_stop{false};

  std::mutex conns_mutex;
  std::unordered_set<ConnState*> conns;
  std::mutex live_mutex;
  std::unordered_set<std::shared_ptr<Exchange>> live;  // pages in flight
  std::thread watchdog;
  bool watchdog_stop = false;  // guarded by stop_mutex

  std::atomic<std::uint64_t> inline_runs{0};

  std::mutex log_mutex;
  std::string log_buffer;  // guarded by log_mutex: lines not yet written
  bool log_dirty = false;  // guarded by log_mutex

  unsigned IoThreads() const {
    if (options.io_threads > 0) return options.io_threads;
    const unsigned cores = std::thread::hardware_concurrency();
    return std::max(1u, cores);
  }

  static unsigned DefaultWorkers() {
    unsigned cores = std::thread::hardware_concurrency();
    return std::max(2u, 2 * (cores ? cores : 1));
  }

  std::unique_ptr<session::Hub> own_sessions;  // when the options name no store

  explicit Impl(Options o)
      : options(std::move(o)),
        prefix(HtmlPrefix(options)),
        pages(options.page_cache, options.max_page_source, Canonical(options.root)),
        workers(options.workers ? options.workers : DefaultWorkers(), options.max_pages) {
    std::error_code ec;
    root = fs::canonical(options.root, ec);
    if (ec || !fs::is_directory(root)) throw std::runtime_error("not a folder: " + options.root.string());
    if (!options.sessions) {
      own_sessions = std::make_unique<session::Hub>(session::Settings{}, options.timeout);
      own_sessions->StartPurging(std::chrono::seconds(30));
      options.sessions = own_sessions.get();
    }
    // A client that goes away mid-response must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
  }

  ~Impl() {
    if (listen_fd >= 0) ::close(listen_fd);
  }

  // ---- the log ------------------------------------------------------------

  void Log(const RequestCtx& ctx) {
    if (!options.log) return;
    auto ms = std::chrono::duration_cast<milliseconds>(Clock::now() - ctx.start).count();
    std::string line = TimeStamp();
    line += ' ';
    line += ctx.conn ? ctx.conn->remote : "?";
    line += " \"";
    line += LogEscape(ctx.method);
    line += ' ';
    line += LogEscape(ctx.target);
    line += ' ';
    line += LogEscape(ctx.version);
    line += "\" ";
    line += std::to_string(ctx.status);
    line += ' ';
    line += std::to_string(ctx.bytes);
    line += ' ';
    line += std::to_string(ms);
    line += "ms";
    if (!ctx.note.empty()) {
      line += ' ';
      line += LogEscape(ctx.note);
    }
    line += '\n';
    std::lock_guard lk(log_mutex);
    // Lines gather here and go out together: the log is often an unbuffered
    // stderr, where each line would cost a write of its own.
    log_buffer += line;
    if (log_buffer.size() >= kLogBuffer) WriteLog();
    // The rest is written by the watchdog within 100 ms, and at the end.
  }

  void WriteLog() {  // with log_mutex held
    if (log_buffer.empty()) return;
    std::fwrite(log_buffer.data(), 1, log_buffer.size(), options.log);
    log_buffer.clear();
    log_dirty = true;
  }

  void FlushLog() {
    if (!options.log) return;
    std::lock_guard lk(log_mutex);
    WriteLog();
    if (log_dirty) std::fflush(options.log);
    log_dirty = false;
  }

  // ---- answers ------------------------------------------------------------

  MHD_Result Queue(RequestCtx& ctx, MHD_Connection* c, int status, MHD_Response* r, std::uint64_t bytes) {
    if (r == nullptr) return MHD_NO;
    ctx.status = status;
    ctx.bytes = bytes;
    ctx.responded = true;
    MHD_Result ok = MHD_queue_response(c, static_cast<unsigned>(status), r);
    MHD_destroy_response(r);
    return ok;
  }

  static MHD_Response* FromString(std::string text) {
    auto* held = new std::string(std::move(text));
    MHD_Response* r = MHD_create_response_from_buffer_with_free_callback_cls(
        held->size(), held->data(), [](void* p) { delete static_cast<std::string*>(p); }, held);
    if (r == nullptr) delete held;
    return r;
  }

  MHD_Result Text(RequestCtx& ctx, MHD_Connection* c, int status, std::string body, const char* type,
                  bool close = false) {
    const std::size_t n = body.size();
    MHD_Response* r = FromString(std::move(body));
    if (r == nullptr) return MHD_NO;
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    if (close) MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
    return Queue(ctx, c, status, r, n);
  }

  MHD_Result Error(RequestCtx& ctx, MHD_Connection* c, int status, std::string_view title, std::string_view message,
                   bool close = false) {
    if (status >= 500) ctx.note = std::string(message);
    return Text(ctx, c, status, ErrorPage(title, message), kHtml, close);
  }

  // ---- static files ---------------------------------------------------------

  MHD_Result SendFile(RequestCtx& ctx, MHD_Connection* c, const fs::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (fd >= 0) ::close(fd);
      return Error(ctx, c, 404, "404 Not Found", ctx.request.path);
    }
    std::string type(ContentType(file));
    const auto size = static_cast<std::uint64_t>(st.st_size);
    MHD_Response* r = nullptr;
    std::uint64_t total = size;
    if (type.rfind("text/html", 0) == 0 && !prefix.empty()) {
      // The prefix, then the file read piece by piece as it is sent.
      struct Source {
        int fd;
        const std::string* prefix;
      };
      auto* src = new Source{fd, &prefix};
      total = prefix.size() + size;
      r = MHD_create_response_from_callback(
          total, 64 * 1024,
          [](void* cls, std::uint64_t pos, char* buf, std::size_t max) -> ssize_t {
            auto* s = static_cast<Source*>(cls);
            if (pos < s->prefix->size()) {
              std::size_t n = std::min(max, s->prefix->size() - static_cast<std::size_t>(pos));
              std::memcpy(buf, s->prefix->data() + pos, n);
              return static_cast<ssize_t>(n);
            }
            ssize_t n = ::pread(s->fd, buf, max, static_cast<off_t>(pos - s->prefix->size()));
            return n > 0 ? n : MHD_CONTENT_READER_END_WITH_ERROR;
          },
          src,
          [](void* cls) {
            auto* s = static_cast<Source*>(cls);
            ::close(s->fd);
            delete s;
          });
      if (r == nullptr) {
        ::close(fd);
        delete src;
      }
    } else {
      r = MHD_create_response_from_fd64(size, fd);  // sent with sendfile; closes fd
      if (r == nullptr) ::close(fd);
    }
    if (r == nullptr) return MHD_NO;
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
    return Queue(ctx, c, 200, r, ctx.method == "HEAD" ? 0 : total);
  }

  // ---- pages ------------------------------------------------------------------

  std::string PageName(const fs::path& file) const {
    std::string name(1, '/');
    name += file.lexically_relative(root).generic_string();
    return name;
  }

  // Runs a page and sends what it left with its head: after an error only
  // when streaming had begun (else the answer is an error page).  A stop from
  // outside, or running out of memory, comes back as the run's outcome.
  script::Result RunAndFinish(const script::Program& program, const Request& req, web::PageResponse& response,
                              const script::Limits& limits, InlineOutput* inline_out = nullptr) {
    script::Result r;
    try {
      const web::PageRequest request(PageRequestData(req));
      // Only a page that names Session or Application has state to keep.
      std::optional<session::PageSession> state;
      if (program.uses_state && options.sessions) {
        state.emplace(*options.sessions, request, response);
        if (inline_out) {
          state->give_up = [inline_out](bool for_good) {
            inline_out->once = !for_good;
            inline_out->GiveUp();
          };
        }
      }
      r = script::RunPage(program, request, response, limits, state ? &*state : nullptr);
      if (state) session::EndRun(*state, r, inline_out != nullptr);
      if (r.outcome == script::Outcome::Completed || response.HeadSent()) response.Finish();
    } catch (const script::Cancelled&) {
      r.outcome = script::Outcome::Cancelled;
    } catch (const std::exception& e) {  // out of memory
      r.outcome = script::Outcome::Error;
      r.status = 0x80004005u;
      r.number = static_cast<std::int32_t>(r.status);
      r.source = kHostSource;
      r.description = e.what();
    }
    return r;
  }

  // Runs a page already parsed right here on the event-loop thread (see
  // kInlineBudget).  False when it must run on a worker instead.
  bool RunInline(RequestCtx& ctx, MHD_Connection* c, const fs::path& file, MHD_Result* result) {
    if (hard_stop) return false;
    PageCache::Page page = pages.Peek(file);
    if (!page.program) {
      if (page.error.empty()) return false;  // not parsed yet: the worker parses it
      ctx.note = page.error;
      *result = Text(ctx, c, 500, ErrorPage("500 Script error", page.error), kHtml);
      return true;
    }
    if (page.waits && page.waits->load(std::memory_order_relaxed)) return false;
    const bool head = ctx.method == "HEAD";
    // The page's head lands in a local exchange; its body (the compatibility
    // script first, for HTML) in `body`, sent as one answer when it ends.
    Exchange ex;
    std::string body;
    InlineOutput out(body, head);
    PageSink sink(ex, out, prefix);
    web::PageResponse response(sink);
    const auto now = Clock::now();
    script::Limits limits;
    limits.deadline = std::min(now + kInlineBudget, now + options.timeout);
    limits.max_steps = options.max_steps;
    limits.sleep = [&out](milliseconds) { out.GiveUp(); };
    const script::Result r = RunAndFinish(*page.program, ctx.request, response, limits, &out);
    if (out.gave_up || r.outcome == script::Outcome::Timeout || r.outcome == script::Outcome::Cancelled) {
      if (page.waits && !(out.gave_up && out.once)) page.waits->store(true, std::memory_order_relaxed);
      return false;
    }
    inline_runs.fetch_add(1, std::memory_order_relaxed);
    if (r.outcome != script::Outcome::Completed) {
      const std::string failure = FailureText(*page.program, r, ex);
      ctx.note = failure;
      if (!out.head_flushed) {
        // An error page, without the page's own head.
        *result = Text(ctx, c, 500, ErrorPage("500 Script error", failure), kHtml);
        return true;
      }
      body += ErrorBlock(failure);
    }
    const std::size_t n = body.size();
    MHD_Response* answer = FromString(std::move(body));
    if (answer == nullptr) {
      *result = MHD_NO;
      return true;
    }
    AddPageHead(answer, ex);
    *result = Queue(ctx, c, ex.status, answer, n);
    return true;
  }

  MHD_Result StartPage(RequestCtx& ctx, MHD_Connection* c, const fs::path& file) {
    Request& req = ctx.request;
    req.file = file;
    if (MHD_Result result = MHD_NO; RunInline(ctx, c, file, &result)) return result;
    auto ex = std::make_shared<Exchange>();
    ex->connection = c;
    ex->path = ctx.request.path;
    ex->head = ctx.method == "HEAD";
    ex->deadline = Clock::now() + options.timeout;
    ctx.exchange = ex;
    std::unique_lock lk(ex->m);
    {
      std::lock_guard live_lk(live_mutex);
      live.insert(ex);
    }
    // The request moves to the worker; the log keeps what it needs.
    auto shared_req = std::make_shared<Request>(std::move(req));
    bool queued = workers.TrySubmit([this, ex, shared_req] { RunJob(ex, *shared_req); });
    if (!queued) {
      lk.unlock();
      {
        std::lock_guard live_lk(live_mutex);
        live.erase(ex);
      }
      ctx.exchange.reset();
      MHD_Response* r = FromString(ErrorPage("503 Service Unavailable", "too many pages at once; try again"));
      if (r == nullptr) return MHD_NO;
      MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, kHtml);
      MHD_add_response_header(r, MHD_HTTP_HEADER_RETRY_AFTER, "1");
      ctx.note = "too many pages in flight";
      return Queue(ctx, c, 503, r, 0);
    }
    // Suspended before the worker can resume it: the worker needs ex->m.
    ex->suspended = true;
    MHD_suspend_connection(c);
    return MHD_YES;
  }

  // Called by the event loop when the page's connection is resumed.
  MHD_Result ContinuePage(RequestCtx& ctx, MHD_Connection* c) {
    std::shared_ptr<Exchange> ex = ctx.exchange;
    std::unique_lock lk(ex->m);
    if (ex->streaming && !ex->head) {
      // The page's head from here on; the rest goes out as the page flushes it.
      MHD_Response* r =
          MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 64 * 1024, &Impl::ReadStream, ex.get(), nullptr);
      if (r == nullptr) return MHD_NO;
      AddPageHead(r, *ex);
      ctx.status = ex->status;
      ctx.responded = true;
      MHD_Result ok = MHD_queue_response(c, static_cast<unsigned>(ex->status), r);
      MHD_destroy_response(r);
      return ok;
    }
    if (ex->finished) {
      std::string body = std::move(ex->buffer);
      int status = ex->status;
      ctx.note = ex->failure;
      if (!ex->failure.empty() && !ex->head_flushed) {
        // An error page, without the page's own head.
        lk.unlock();
        return Text(ctx, c, status, std::move(body), kHtml);
      }
      const std::size_t n = body.size();
      MHD_Response* r = FromString(std::move(body));
      if (r == nullptr) return MHD_NO;
      AddPageHead(r, *ex);
      lk.unlock();
      return Queue(ctx, c, status, r, n);
    }
    if (ex->abandoned || ex->detached) {
      std::string why =
          ex->abandoned ? ex->path + ": stopped: the page did not stop in time" : "the server is stopping";
      lk.unlock();
      return Error(ctx, c, ex->abandoned ? 500 : 503, ex->abandoned ? "500 Script error" : "503 Service Unavailable",
                   why);
    }
    ex->suspended = true;  // woken early: wait on
    MHD_suspend_connection(c);
    return MHD_YES;
  }

  static ssize_t ReadStream(void* cls, std::uint64_t, char* buf, std::size_t max) {
    auto* ex = static_cast<Exchange*>(cls);
    std::lock_guard lk(ex->m);
    const std::size_t have = ex->pending.size() - ex->pending_off;
    if (have > 0) {
      const std::size_t n = std::min(have, max);
      std::memcpy(buf, ex->pending.data() + ex->pending_off, n);
      ex->pending_off += n;
      ex->sent += n;
      if (ex->pending_off == ex->pending.size()) {
        ex->pending.clear();
        ex->pending_off = 0;
      }
      ex->cv.notify_all();
      return static_cast<ssize_t>(n);
    }
    if (ex->finished || ex->abandoned || ex->detached) return MHD_CONTENT_READER_END_OF_STREAM;
    ex->suspended = true;
    MHD_suspend_connection(ex->connection);
    return 0;
  }

  std::string FailureText(const script::Program& program, const script::Result& r, const Exchange& ex) const {
    if (ex.head_too_large) {
      return program.file + ": stopped: the response head is larger than " + std::to_string(kMaxPageHead >> 10) +
             " KiB";
    }
    if (ex.too_large) {
      return script::Where(program, r) + ": stopped: the response grew beyond " +
             std::to_string(kMaxOutput >> 20) + " MiB";
    }
    if (r.outcome == script::Outcome::Timeout) {
      char limit[32];
      std::snprintf(limit, sizeof limit, "%g", static_cast<double>(options.timeout.count()) / 1000.0);
      return script::Where(program, r) + ": stopped: the script ran longer than the " + limit +
             " s limit";
    }
    if (r.outcome == script::Outcome::Cancelled && hard_stop) {
      return script::Where(program, r) + ": stopped: the server is stopping";
    }
    return script::Describe(program, r);
  }

  // The page's own Sleep: waits without holding a slot, and wakes early
  // when the page is stopped.
  void SleepWithoutSlot(Exchange& ex, milliseconds ms) {
    workers.WithoutSlot([&] {
      const auto until = std::min(Clock::now() + ms, ex.deadline);
      std::unique_lock lk(ex.m);
      ex.cv.wait_until(lk, until, [&] { return ex.cancel.load() || hard_stop.load(); });
    });
  }

  // On a worker: parses (or reuses) the page, runs it and hands over the end.
  void RunJob(const std::shared_ptr<Exchange>& exp, const Request& req) {
    Exchange& ex = *exp;
    std::string failure;
    int status = 200;
    bool ok = true;
    PageCache::Page page = pages.Get(req.file, PageName(req.file));
    if (!page.program) {
      ok = false;
      status = 500;
      failure = page.error;
    } else {
      script::Limits limits;
      limits.deadline = ex.deadline;
      limits.max_steps = options.max_steps;
      limits.cancelled = [this, &ex] { return ex.cancel.load() || hard_stop.load(); };
      limits.sleep = [this, &ex](milliseconds ms) { SleepWithoutSlot(ex, ms); };
      ExchangeOutput out(ex, workers);
      PageSink sink(ex, out, prefix);
      web::PageResponse response(sink);
      const script::Result r = RunAndFinish(*page.program, req, response, limits);
      if (r.outcome != script::Outcome::Completed) {
        ok = false;
        status = 500;
        failure = FailureText(*page.program, r, ex);
      }
    }
    {
      std::lock_guard lk(ex.m);
      ex.failure = failure;
      if (ex.streaming) {
        if (ex.pending_off == ex.pending.size()) {
          ex.pending.clear();
          ex.pending_off = 0;
        }
        ex.pending.append(ex.buffer);
        if (!ok) ex.pending += ErrorBlock(failure);
        ex.buffer.clear();
      } else if (!ok && ex.head_flushed) {
        ex.buffer += ErrorBlock(failure);
        status = 200;
      } else if (!ok) {
        ex.buffer = ErrorPage("500 Script error", failure);
      }
      // A page that streamed, or that flushed under HEAD, keeps its own status.
      if (!ok && !ex.streaming && !ex.head_flushed) ex.status = status;
      ex.finished = true;
      if (ex.suspended && !ex.closed && !ex.detached) {
        ex.suspended = false;
        MHD_resume_connection(ex.connection);
      }
    }
    std::lock_guard live_lk(live_mutex);
    live.erase(exp);
  }

  // ---- requests -----------------------------------------------------------------

  void Fill(RequestCtx& ctx, MHD_Connection* c, std::string_view path, std::string_view query) {
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
    req.server_port = static_cast<std::uint16_t>(port);
    req.server_name = options.host;
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
  bool Refuse(RequestCtx& ctx, MHD_Connection* c, MHD_Result* result) {
    if (ctx.target.size() > options.max_url) {
      *result = Error(ctx, c, 414, "414 URI Too Long", "the request target is too long", true);
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
      *result = Error(ctx, c, 400, "400 Bad Request", "malformed request", true);
      return true;
    }
    // Chunked is the one transfer coding read here.  Any other (or another
    // before it) would leave the body's end unknown: refused rather than
    // waited on.
    if (!scan.codings.empty() &&
        (scan.codings.size() > 1 || !text::EqualNoCase(text::Trim(scan.codings.front()), "chunked"))) {
      *result = Error(ctx, c, 501, "501 Not Implemented", "unsupported transfer coding", true);
      return true;
    }
    const std::vector<std::string>& lengths = scan.lengths;
    const std::size_t header_bytes = scan.bytes;
    bool mixed = !scan.codings.empty() && !lengths.empty();
    for (const std::string& l : lengths) mixed = mixed || l != lengths.front();
    if (mixed) {
      *result = Error(ctx, c, 400, "400 Bad Request", "conflicting body lengths", true);
      return true;
    }
    if (header_bytes > options.max_header) {
      *result = Error(ctx, c, 431, "431 Request Header Fields Too Large", "the request headers are too large", true);
      return true;
    }
    if (ctx.method != "GET" && ctx.method != "HEAD" && ctx.method != "POST") {
      MHD_Response* r = FromString(ErrorPage("405 Method Not Allowed", ctx.method));
      if (r == nullptr) {
        *result = MHD_NO;
        return true;
      }
      MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, kHtml);
      MHD_add_response_header(r, MHD_HTTP_HEADER_ALLOW, "GET, HEAD, POST");
      MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
      *result = Queue(ctx, c, 405, r, 0);
      return true;
    }
    if (!lengths.empty()) {
      char* end = nullptr;
      errno = 0;
      unsigned long long n = std::strtoull(lengths.front().c_str(), &end, 10);
      if (errno == 0 && *end == '\0' && n > options.max_body) {
        *result = Error(ctx, c, 413, "413 Content Too Large", "the request body is too large", true);
        return true;
      }
    }
    return false;
  }

  MHD_Result Answer(RequestCtx& ctx, MHD_Connection* c) {
    if (ctx.body_too_large) {
      return Error(ctx, c, 413, "413 Content Too Large", "the request body is too large", true);
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
      return Error(ctx, c, 400, "400 Bad Request", "bad request target", true);
    std::optional<std::string> path = DecodePath(raw_path);
    if (!path) return Error(ctx, c, 400, "400 Bad Request", "bad request target", true);
    ctx.request.path = *path;
    Resolved r = Resolve(root, *path);
    if (r.kind == Resolved::Kind::NotFound) r = DefaultImage(options.default_images, *path);
    if (r.kind == Resolved::Kind::AddSlash) {
      MHD_Response* resp = FromString({});
      if (resp == nullptr) return MHD_NO;
      MHD_add_response_header(resp, MHD_HTTP_HEADER_LOCATION, FolderLocation(*path, query).c_str());
      return Queue(ctx, c, 301, resp, 0);
    }
    if (r.kind != Resolved::Kind::File) return Error(ctx, c, 404, "404 Not Found", *path);
    if (IsPageScript(r.file)) {
      Fill(ctx, c, *path, query);
      if (const std::string why = ctx.request.MalformedBody(); !why.empty())
        return Error(ctx, c, 400, "400 Bad Request", why, true);
      return StartPage(ctx, c, r.file);
    }
    if (ctx.method == "POST") {
      MHD_Response* resp = FromString(ErrorPage("405 Method Not Allowed", "POST " + *path));
      if (resp == nullptr) return MHD_NO;
      MHD_add_response_header(resp, MHD_HTTP_HEADER_CONTENT_TYPE, kHtml);
      MHD_add_response_header(resp, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
      return Queue(ctx, c, 405, resp, 0);
    }
    return SendFile(ctx, c, r.file);
  }

  static MHD_Result OnRequest(void* cls, MHD_Connection* c, const char* url, const char* method, const char* version,
                              const char* upload_data, std::size_t* upload_data_size, void** con_cls) {
    auto* self = static_cast<Impl*>(cls);
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
      if (self->Refuse(*ctx, c, &result)) return result;
      return MHD_YES;
    }
    if (ctx->exchange) return self->ContinuePage(*ctx, c);
    if (*upload_data_size > 0) {
      // The body: kept up to the limit, the rest read and dropped.
      if (!ctx->body_too_large && ctx->request.body.size() + *upload_data_size <= self->options.max_body) {
        ctx->request.body.append(upload_data, *upload_data_size);
      } else {
        ctx->body_too_large = true;
        ctx->request.body.clear();
      }
      *upload_data_size = 0;
      return MHD_YES;
    }
    if (ctx->conn) {
      std::lock_guard lk(self->conns_mutex);
      ctx->conn->busy = true;
    }
    return self->Answer(*ctx, c);
  }

  static void OnCompleted(void* cls, MHD_Connection*, void** con_cls, MHD_RequestTerminationCode code) {
    auto* self = static_cast<Impl*>(cls);
    auto* ctx = static_cast<RequestCtx*>(*con_cls);
    if (ctx == nullptr) return;
    *con_cls = nullptr;
    if (ctx->exchange) {
      Exchange& ex = *ctx->exchange;
      std::lock_guard lk(ex.m);
      ex.closed = true;
      ex.cancel = true;
      ex.cv.notify_all();
      if (ex.streaming) {
        ctx->bytes = ex.sent;
        if (ctx->note.empty()) ctx->note = ex.failure;
      }
    }
    if (code != MHD_REQUEST_TERMINATED_COMPLETED_OK && ctx->note.empty()) {
      static const char* const kWhy[] = {
          "", "ended by an error", "the client timed out", "the server stopped", "read error", "the client went away"};
      if (static_cast<unsigned>(code) < 6) ctx->note = kWhy[code];
    }
    if (ctx->conn) {
      std::lock_guard lk(self->conns_mutex);
      ctx->conn->busy = false;
      ctx->conn->ready_since = Clock::now();
      ctx->conn->target.clear();
      ctx->conn->target_end = nullptr;
    }
    self->Log(*ctx);
    delete ctx;
  }

  static void* OnUri(void*, const char* uri, MHD_Connection* c) {
    if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT)) {
      if (auto* conn = static_cast<ConnState*>(info->socket_context)) {
        conn->target = uri ? uri : "";
        conn->target_end = uri ? uri + conn->target.size() : nullptr;
      }
    }
    return nullptr;
  }

  static void OnConnection(void* cls, MHD_Connection* c, void** socket_context, MHD_ConnectionNotificationCode code) {
    auto* self = static_cast<Impl*>(cls);
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
      std::lock_guard lk(self->conns_mutex);
      self->conns.insert(conn);
    } else if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
      auto* conn = static_cast<ConnState*>(*socket_context);
      if (conn == nullptr) return;
      *socket_context = nullptr;
      {
        std::lock_guard lk(self->conns_mutex);
        self->conns.erase(conn);
      }
      delete conn;
    }
  }

  // ---- the watchdog -----------------------------------------------------------------

  // Every 100 ms: drops connections whose request takes too long to arrive,
  // and answers requests whose page did not stop after its deadline.
  void Watch() {
    std::unique_lock lk(stop_mutex);
    while (!watchdog_stop) {
      stop_cv.wait_for(lk, milliseconds(100));
      const auto now = Clock::now();
      {
        std::lock_guard c(conns_mutex);
        for (ConnState* conn : conns) {
          if (!conn->busy && !conn->dropped && conn->fd >= 0 && now - conn->ready_since > options.request_timeout) {
            // The event loop sees the connection end and closes it.
            conn->dropped = true;
            ::shutdown(conn->fd, SHUT_RDWR);
          }
        }
      }
      std::vector<std::shared_ptr<Exchange>> stuck;
      {
        std::lock_guard l(live_mutex);
        for (const auto& ex : live) {
          if (now > ex->deadline + kStuckGrace) stuck.push_back(ex);
        }
      }
      for (const auto& ex : stuck) Abandon(*ex, false);
      lk.unlock();
      FlushLog();
      lk.lock();
    }
  }

  // Answers a page's request without waiting for the page any more.
  void Abandon(Exchange& ex, bool detach) {
    std::lock_guard lk(ex.m);
    ex.cancel = true;
    ex.cv.notify_all();
    if (detach) ex.detached = true;
    if (ex.finished || ex.closed) return;
    if (!ex.abandoned && !detach) {
      ex.abandoned = true;
      if (ex.streaming) ex.pending += ErrorBlock(ex.path + ": stopped: the page did not stop in time");
    }
    if (ex.suspended) {
      ex.suspended = false;
      MHD_resume_connection(ex.connection);
    }
  }

  // ---- the life of the server ---------------------------------------------------------

  void BindSocket() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(options.port);
    if (getaddrinfo(options.host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
      throw std::runtime_error("cannot listen on " + options.host + ": unknown address");
    }
    std::string error = "no address";
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
      int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
      if (fd < 0) continue;
      int one = 1;
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
      if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0) {
        sockaddr_storage bound{};
        socklen_t len = sizeof bound;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
        std::uint16_t p = 0;
        AddressText(reinterpret_cast<sockaddr*>(&bound), &p);
        listen_fd = fd;
        port = p;
        break;
      }
      error = std::strerror(errno);
      ::close(fd);
    }
    freeaddrinfo(found);
    if (listen_fd < 0) throw std::runtime_error("cannot listen on " + options.host + ":" + service + ": " + error);
  }

  void Start() {
    const unsigned idle = static_cast<unsigned>(std::max<long long>(1, options.idle_timeout.count()));
    // The connection's memory holds its request line and headers, buffers
    // for reading and sending, and the head of the answer.
    const std::size_t memory = options.max_header + options.max_url + 16 * 1024 + kMaxPageHead;
    // Level-triggered poll, not epoll: with edge-triggered epoll a request
    // cut short by the client (its bytes and its FIN in one arrival) is read
    // once and then never polled again, so the connection lingered until the
    // idle timeout instead of being closed at once.
    unsigned flags = MHD_USE_POLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_TURBO;
    daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Impl::OnRequest, this,                  //
                              MHD_OPTION_LISTEN_SOCKET, listen_fd,                                 //
                              MHD_OPTION_THREAD_POOL_SIZE, IoThreads(),                            //
                              MHD_OPTION_CONNECTION_LIMIT, std::max(1u, options.max_connections),  //
                              MHD_OPTION_CONNECTION_TIMEOUT, idle,                                 //
                              MHD_OPTION_CONNECTION_MEMORY_LIMIT, memory,                          //
                              MHD_OPTION_NOTIFY_COMPLETED, &Impl::OnCompleted, this,               //
                              MHD_OPTION_NOTIFY_CONNECTION, &Impl::OnConnection, this,             //
                              MHD_OPTION_URI_LOG_CALLBACK, &Impl::OnUri, this,                     //
                              // Requests without a Host header are refused by
                              // Refuse() rather than by the event loop, whose
                              // own 400 sends its head twice.
                              MHD_OPTION_STRICT_FOR_CLIENT, 0,                                     //
                              MHD_OPTION_END);
    if (daemon == nullptr) throw std::runtime_error("cannot start the HTTP event loop");
  }

  void Run() {
    Start();
    watchdog = std::thread([this] { Watch(); });
    {
      std::unique_lock lk(stop_mutex);
      stop_cv.wait(lk, [&] { return stop_requested; });
    }
    // Stop accepting; running pages may finish within the grace period.
    MHD_socket quiet = MHD_quiesce_daemon(daemon);
    if (quiet != MHD_INVALID_SOCKET) ::close(quiet);
    listen_fd = -1;
    if (!workers.WaitIdle(Clock::now() + options.grace)) {
      hard_stop = true;
      CancelAll();
      workers.WaitIdle(Clock::now() + std::chrono::seconds(2));
    }
    hard_stop = true;
    // No connection may stay suspended when the event loop stops.
    std::vector<std::shared_ptr<Exchange>> all;
    {
      std::lock_guard l(live_mutex);
      all.assign(live.begin(), live.end());
    }
    for (const auto& ex : all) Abandon(*ex, true);
    // The answers of pages that ended or were stopped are still on their way
    // out: the event loop sends them before it stops (a second at most).
    for (const auto until = Clock::now() + std::chrono::seconds(1); Clock::now() < until;) {
      const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
      if (info == nullptr || info->num_connections == 0) break;
      std::this_thread::sleep_for(milliseconds(10));
    }
    {
      std::lock_guard lk(stop_mutex);
      watchdog_stop = true;
      stop_cv.notify_all();
    }
    watchdog.join();
    MHD_stop_daemon(daemon);
    daemon = nullptr;
    workers.Shutdown();
    FlushLog();
  }

  // Stops every running page at its next check; each then ends its request.
  void CancelAll() {
    std::lock_guard l(live_mutex);
    for (const auto& ex : live) {
      std::lock_guard lk(ex->m);
      ex->cancel = true;
      ex->cv.notify_all();
    }
  }
};

Server::Server(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Server::~Server() = default;

int Server::Bind() {
  if (impl_->listen_fd < 0) impl_->BindSocket();
  return impl_->port;
}

void Server::Serve() {
  if (impl_->listen_fd < 0) impl_->BindSocket();
  impl_->Run();
}

void Server::Stop() {
  std::lock_guard lk(impl_->stop_mutex);
  impl_->stop_requested = true;
  impl_->stop_cv.notify_all();
}

Stats Server::GetStats() const {
  Stats s;
  s.cached_pages = impl_->pages.Entries();
  s.cached_bytes = impl_->pages.Bytes();
  s.pages_in_flight = impl_->workers.InFlight();
  s.worker_threads = impl_->workers.Threads();
  s.inline_runs = impl_->inline_runs.load(std::memory_order_relaxed);
  return s;
}

}  // namespace halvane::serve
