#include "host/serve/server.h"

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>
#include <unordered_map>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "components/compat/browser_compat.h"
#include "host/script/interpreter.h"
#include "host/serve/paths.h"

namespace halvane::serve {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string HtmlPrefix(const Options& options) {
  if (!options.compat) return {};
  return BrowserCompatScript();
}

namespace {

constexpr std::size_t kMaxPending = std::size_t{1} << 20;    // flushed but unsent
constexpr std::size_t kMaxOutput = std::size_t{512} << 20;   // one response
constexpr auto kGrace = std::chrono::seconds(5);  // beyond the deadline, for a script to notice it

// Notes for the access log line of the request this thread is answering.
struct LogNote {
  bool started = false;
  Clock::time_point start;
  bool chunked = false;
  std::size_t streamed = 0;
  std::string note;
};
thread_local LogNote t_log;

// One run of a page script, shared by the thread that runs the script and
// the request thread that sends what it writes.
struct Exchange {
  std::mutex m;
  std::condition_variable cv;
  std::string buffer;   // written since the last flush; the script's own until finished
  std::string pending;  // flushed, not yet sent
  std::size_t total = 0;
  bool streaming = false;
  bool finished = false;
  std::atomic<bool> cancel{false};
  bool too_large = false;
  Clock::time_point deadline;
  script::Outcome outcome = script::Outcome::Completed;
  std::string failure;  // what went wrong, when the run did not complete
};

class ExchangeOutput final : public script::Output {
 public:
  explicit ExchangeOutput(Exchange& ex) : ex_(ex) {}

  void Write(std::string_view text) override {
    ex_.total += text.size();
    if (ex_.total > kMaxOutput) {
      ex_.too_large = true;
      throw script::Cancelled();
    }
    ex_.buffer.append(text);
  }

  // Hands what was written to the request thread, which sends it as one
  // chunk.  Waits while much is still unsent (a slow client).
  void Flush() override {
    std::unique_lock lk(ex_.m);
    ex_.pending.append(ex_.buffer);
    ex_.buffer.clear();
    ex_.streaming = true;
    ex_.cv.notify_all();
    while (ex_.pending.size() > kMaxPending) {
      if (ex_.cancel || Clock::now() >= ex_.deadline) throw script::Cancelled();
      ex_.cv.wait_for(lk, std::chrono::milliseconds(50));
    }
  }

 private:
  Exchange& ex_;
};

std::string ReadFile(const fs::path& file, bool& ok) {
  std::ifstream in(file, std::ios::binary);
  ok = static_cast<bool>(in);
  std::ostringstream s;
  s << in.rdbuf();
  return std::move(s).str();
}

std::string ErrorPage(std::string_view title, std::string_view message) {
  std::string page = "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>";
  page += HtmlEscape(title);
  page += "</title></head>\r\n<body style=\"font-family:sans-serif;margin:2em\"><h1>";
  page += HtmlEscape(title);
  page += "</h1>\r\n<p><code>";
  page += HtmlEscape(message);
  page += "</code></p></body></html>\r\n";
  return page;
}

// Appended to a response that was already streaming when its script failed.
std::string ErrorBlock(std::string_view message) {
  std::string block =
      "\r\n<div style=\"border:2px solid #b00020;background:#fdecee;color:#5c0010;padding:8px 12px;"
      "margin:8px 0;font:14px sans-serif\"><b>Script error</b>: <code>";
  block += HtmlEscape(message);
  block += "</code></div>\r\n";
  return block;
}

std::string TimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
  return buf;
}

}  // namespace

struct Server::Impl {
  Options options;
  fs::path root;
  httplib::Server http;
  std::unique_ptr<httplib::ThreadPool> scripts;
  std::atomic<bool> stopping{false};
  std::mutex log_mutex;
  bool pool_down = false;
  // Parsed page scripts by URL path, each with the source it was parsed
  // from: a page is parsed again only when its file's text has changed.
  // A Program is immutable, so requests share it.
  struct Parsed {
    std::string source;
    std::shared_ptr<const script::Program> program;
  };
  static constexpr std::size_t kMaxParsed = 256;
  std::mutex parsed_mutex;
  std::unordered_map<std::string, Parsed> parsed;
  // The listening socket, noted when the library makes it (see Bind).
  socket_t listen_socket = INVALID_SOCKET;

  explicit Impl(Options o) : options(std::move(o)) {
    std::error_code ec;
    root = fs::canonical(options.root, ec);
    if (ec || !fs::is_directory(root)) {
      throw std::runtime_error("not a folder: " + options.root.string());
    }
    // A client that goes away mid-response must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    unsigned n = options.threads ? options.threads : 16;
    // Every request thread waits for at most one script, so as many script
    // threads as request threads never leave a script waiting for a thread.
    scripts = std::make_unique<httplib::ThreadPool>(n);
    http.new_task_queue = [n] { return new httplib::ThreadPool(n); };
    http.set_tcp_nodelay(true);
    http.set_keep_alive_timeout(2);
    http.set_read_timeout(5);
    http.set_write_timeout(5);
    http.set_payload_max_length(std::size_t{1} << 20);
    http.set_socket_options([this](socket_t sock) {
      httplib::default_socket_options(sock);
      listen_socket = sock;
    });

    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      t_log = LogNote{};
      t_log.started = true;
      t_log.start = Clock::now();
      // Compressed bodies would be held back by the compressor, which
      // defeats Response.Flush; answers go out as they are.
      const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
      if (req.method != "GET" && req.method != "HEAD") {
        res.status = 405;
        res.set_header("Allow", "GET, HEAD");
        res.set_content(ErrorPage("405 Method Not Allowed", req.method + " " + req.path),
                        "text/html; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
      }
      return httplib::Server::HandlerResponse::Unhandled;
    });
    http.Get(".*", [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); });
    http.set_logger([this](const httplib::Request& req, const httplib::Response& res) { Log(req, res); });
  }

  void ShutdownScripts() {
    if (!pool_down) {
      pool_down = true;
      scripts->shutdown();
    }
  }

  void Log(const httplib::Request& req, const httplib::Response& res) {
    if (options.log) {
      std::string line = TimeStamp() + " " + req.remote_addr + " \"" + req.method + " " + req.target + " " +
                         req.version + "\" " + std::to_string(res.status) + " " +
                         std::to_string(t_log.chunked ? t_log.streamed : res.body.size());
      if (t_log.started) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t_log.start).count();
        line += " " + std::to_string(ms) + "ms";
      }
      if (!t_log.note.empty()) line += " " + t_log.note;
      line += "\n";
      std::lock_guard lk(log_mutex);
      std::fputs(line.c_str(), options.log);
      std::fflush(options.log);
    }
    t_log = LogNote{};
  }

  void NotFound(httplib::Response& res, const std::string& path) {
    res.status = 404;
    res.set_content(ErrorPage("404 Not Found", path), "text/html; charset=utf-8");
  }

  void Handle(const httplib::Request& req, httplib::Response& res) {
    Resolved r = Resolve(root, req.path);
    if (r.kind == Resolved::Kind::AddSlash) {
      std::string to = req.path + "/";
      if (auto q = req.target.find('?'); q != std::string::npos) to += req.target.substr(q);
      res.set_redirect(to, 301);
      return;
    }
    if (r.kind != Resolved::Kind::File) return NotFound(res, req.path);
    bool ok = false;
    std::string body = ReadFile(r.file, ok);
    if (!ok) return NotFound(res, req.path);
    std::string type(ContentType(r.file));
    if (IsPageScript(r.file)) return RunPage(req.path, std::move(body), res);
    if (type.rfind("text/html", 0) == 0) body.insert(0, HtmlPrefix(options));
    res.status = 200;
    res.set_content(std::move(body), type);
  }

  void Fail500(httplib::Response& res, const std::string& message) {
    t_log.note = message;
    res.status = 500;
    res.set_content(ErrorPage("500 Script error", message), "text/html; charset=utf-8");
  }

  std::string FailureText(const script::Program& program, const script::Result& r, const Exchange& ex) {
    if (ex.too_large) {
      return program.file + ":" + std::to_string(r.line) + ": stopped: the response grew beyond " +
             std::to_string(kMaxOutput >> 20) + " MiB";
    }
    if (r.outcome == script::Outcome::Timeout) {
      char limit[32];
      std::snprintf(limit, sizeof limit, "%g", static_cast<double>(options.timeout.count()) / 1000.0);
      return program.file + ":" + std::to_string(r.line) + ": stopped: the script ran longer than the " +
             limit + " s limit";
    }
    return script::Describe(program, r);
  }

  std::shared_ptr<const script::Program> CachedProgram(const std::string& url_path, const std::string& source) {
    std::lock_guard lk(parsed_mutex);
    auto it = parsed.find(url_path);
    if (it == parsed.end() || it->second.source != source) return nullptr;
    return it->second.program;
  }

  void RememberProgram(const std::string& url_path, std::string source,
                       std::shared_ptr<const script::Program> program) {
    std::lock_guard lk(parsed_mutex);
    if (parsed.size() >= kMaxParsed && parsed.find(url_path) == parsed.end()) parsed.clear();
    parsed[url_path] = Parsed{std::move(source), std::move(program)};
  }

  void RunPage(const std::string& url_path, std::string source, httplib::Response& res) {
    std::shared_ptr<const script::Program> program = CachedProgram(url_path, source);
    if (!program) {
      try {
        program = script::Parse(source, url_path);
      } catch (const script::SyntaxError& e) {
        return Fail500(res, script::Describe(url_path, e));
      }
      RememberProgram(url_path, std::move(source), program);
    }
    auto ex = std::make_shared<Exchange>();
    ex->deadline = Clock::now() + options.timeout;
    ex->buffer = HtmlPrefix(options);
    scripts->enqueue([this, ex, program] { RunScript(*ex, *program); });

    {
      std::unique_lock lk(ex->m);
      if (!ex->cv.wait_until(lk, ex->deadline + kGrace, [&] { return ex->streaming || ex->finished; })) {
        ex->cancel = true;
        return Fail500(res, url_path + ": stopped: the script did not stop in time");
      }
      if (!ex->streaming) {
        if (ex->outcome == script::Outcome::Completed) {
          res.status = 200;
          res.set_content(std::move(ex->buffer), "text/html; charset=utf-8");
        } else {
          Fail500(res, ex->failure);
        }
        return;
      }
    }
    // Streaming: the status is 200 from here on; the rest goes out in chunks.
    t_log.chunked = true;
    res.status = 200;
    res.set_chunked_content_provider(
        "text/html; charset=utf-8",
        [ex](std::size_t, httplib::DataSink& sink) {
          std::string data;
          bool finished = false;
          {
            std::unique_lock lk(ex->m);
            if (!ex->cv.wait_until(lk, ex->deadline + kGrace, [&] { return !ex->pending.empty() || ex->finished; })) {
              ex->cancel = true;
              return false;
            }
            data.swap(ex->pending);
            finished = ex->finished;
            if (finished) t_log.note = ex->failure;
          }
          ex->cv.notify_all();
          if (!data.empty()) {
            t_log.streamed += data.size();
            if (!sink.write(data.data(), data.size())) {
              ex->cancel = true;
              return false;
            }
          }
          if (finished) sink.done();
          return true;
        },
        [ex](bool) {
          ex->cancel = true;
          ex->cv.notify_all();
        });
  }

  // On a script thread: runs the page and reports how it ended.
  void RunScript(Exchange& ex, const script::Program& program) {
    script::Limits limits;
    limits.deadline = ex.deadline;
    limits.max_steps = options.max_steps;
    limits.cancelled = [this, &ex] { return ex.cancel.load() || stopping.load(); };
    ExchangeOutput out(ex);
    script::Result r;
    try {
      r = script::Run(program, out, limits);
    } catch (const std::exception& e) {
      r.outcome = script::Outcome::Error;
      r.status = 0x80004005u;
      r.number = static_cast<std::int32_t>(r.status);
      r.source = "Halvane";
      r.description = e.what();
    }
    std::lock_guard lk(ex.m);
    ex.outcome = r.outcome;
    if (r.outcome != script::Outcome::Completed) ex.failure = FailureText(program, r, ex);
    if (ex.streaming) {
      ex.pending.append(ex.buffer);
      ex.buffer.clear();
      if (r.outcome != script::Outcome::Completed) ex.pending += ErrorBlock(ex.failure);
    }
    ex.finished = true;
    ex.cv.notify_all();
  }
};

Server::Server(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Server::~Server() {
  Stop();
  impl_->ShutdownScripts();
}

// The HTTP library listens with a queue of 5 connections; with more clients
// connecting at once the queue overflows and they wait for their connection
// attempts to be repeated (a second or more).  Listening again on the bound
// socket gives it the system's longest queue.
void LongerListenQueue(socket_t sock) {
  if (sock != INVALID_SOCKET) ::listen(sock, SOMAXCONN);
}

int Server::Bind() {
  const Options& o = impl_->options;
  if (o.port == 0) {
    int port = impl_->http.bind_to_any_port(o.host);
    if (port <= 0) throw std::runtime_error("cannot listen on " + o.host);
    LongerListenQueue(impl_->listen_socket);
    return port;
  }
  if (!impl_->http.bind_to_port(o.host, o.port)) {
    throw std::runtime_error("cannot listen on " + o.host + ":" + std::to_string(o.port));
  }
  LongerListenQueue(impl_->listen_socket);
  return o.port;
}

void Server::Serve() {
  impl_->http.listen_after_bind();
  impl_->stopping = true;
  impl_->ShutdownScripts();
}

void Server::Stop() {
  impl_->stopping = true;
  impl_->http.stop();
}

}  // namespace halvane::serve
