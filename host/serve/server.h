// `halvane serve`: serves a folder over HTTP.  Connections are handled by an
// event loop (libmicrohttpd, level-triggered poll), so idle and slow clients cost no
// thread.  Page scripts (*.hvs) run on page workers of their own, at most
// `workers` at once; everything else in the folder is sent as a static file
// straight from its file descriptor.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace halvane::session {
class Hub;
}

namespace halvane::serve {

struct Options {
  std::filesystem::path root;  // the served folder
  // Our copies of the components' default images (default_images.h), sent
  // for those paths when root has no such file; empty: none.
  std::filesystem::path default_images;
  std::string host = "127.0.0.1";
  int port = 8080;                           // 0: any free port (see Server::Bind)
  std::chrono::milliseconds timeout{10000};  // longest run of one page
  bool compat = true;                        // false: --no-compat (no accessibility layer either)
  bool a11y = true;                          // false: --no-a11y
  unsigned workers = 0;                      // pages running at once; 0: two per core
  unsigned max_pages = 256;                  // pages in flight (running, sleeping, waiting); beyond: 503
  unsigned max_connections = 1024;
  // Event-loop threads; 0: one per core.  Pages already parsed run first on
  // these threads (briefly; see page_runner.cpp), so one per core keeps every
  // core busy without a hand-over to a page worker.
  unsigned io_threads = 0;
  std::size_t max_header = 16 * 1024;             // request line and headers, bytes; beyond: 431
  std::size_t max_url = 8 * 1024;                 // request target, bytes; beyond: 414
  std::size_t max_body = 1024 * 1024;             // request body, bytes; beyond: 413
  std::size_t max_page_source = 4 * 1024 * 1024;  // a page file larger is not run (500)
  std::size_t page_cache = 64 * 1024 * 1024;      // parsed pages kept, by estimated size
  std::chrono::seconds idle_timeout{10};          // a connection silent this long is closed
  // A request's line, headers and body must have arrived within this time
  // of the connection being ready for it (slowly trickling clients).
  std::chrono::milliseconds request_timeout{30000};
  // On Stop: how long running pages may go on before they are cancelled.
  std::chrono::milliseconds grace{5000};
  std::uint64_t max_steps = 0;  // statements per request; 0: no limit
  std::FILE* log = stderr;      // access log; nullptr: none
  // Where pages keep Session and Application values (host/session/hub.h);
  // null: the server keeps them in its own memory.
  session::Hub* sessions = nullptr;
};

// The text put at the very start of every HTML response (page scripts and
// static .html files): the browser compatibility script and the accessibility
// layer (the script alone when `options.a11y` is false), or nothing when
// `options.compat` is false.
std::string HtmlPrefix(const Options& options);

// What the server holds now, for tests and monitoring.
struct Stats {
  std::size_t cached_pages = 0;  // parsed pages in the cache
  std::size_t cached_bytes = 0;  // their estimated size
  unsigned pages_in_flight = 0;
  unsigned worker_threads = 0;
  std::uint64_t inline_runs = 0;  // pages answered by a run on an event-loop thread
};

class Server {
 public:
  // Throws std::runtime_error when the root is not a folder.
  explicit Server(Options options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds the listening socket; returns the port (the chosen one when the
  // options ask for port 0).  Throws std::runtime_error when it cannot.
  int Bind();
  // Answers requests until Stop(), then stops accepting, lets running pages
  // finish for the grace period, cancels what still runs and returns once
  // every request has ended.  Throws std::runtime_error when the event loop
  // cannot start.
  void Serve();
  // Asks Serve to stop.  Any thread may call it, at any time.
  void Stop();

  Stats GetStats() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace halvane::serve
