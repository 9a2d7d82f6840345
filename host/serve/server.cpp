#include "host/serve/server.h"

#include <microhttpd.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "components/compat/browser_compat.h"
#include "core/text.h"
#include "host/serve/connection.h"
#include "host/serve/context.h"
#include "host/serve/page_sink.h"
#include "host/serve/watchdog.h"

namespace halvane::serve {
namespace fs = std::filesystem;
using std::chrono::milliseconds;

std::string HtmlPrefix(const Options& options) {
  if (!options.compat) return {};
  return PageScript(options.a11y);
}

namespace {

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::canonical(p, ec);
  return ec ? fs::path() : c;
}

unsigned DefaultWorkers() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::max(2u, 2 * (cores ? cores : 1));
}

}  // namespace

Context::Context(Options o)
    : options(std::move(o)),
      root(Canonical(options.root)),
      prefix(HtmlPrefix(options)),
      pages(options.page_cache, options.max_page_source, root),
      workers(options.workers ? options.workers : DefaultWorkers(), options.max_pages),
      log(options.log) {
  std::error_code ec;
  if (root.empty() || !fs::is_directory(root, ec)) throw std::runtime_error("not a folder: " + options.root.string());
  if (!options.sessions) {
    own_sessions = std::make_unique<session::Hub>(session::Settings{}, options.timeout);
    own_sessions->StartPurging(std::chrono::seconds(30));
    options.sessions = own_sessions.get();
  }
}

// The life of the server: the listening socket, the event loop, the
// watchdog, and the stop.
struct Server::Impl {
  explicit Impl(Options o) : cx(std::move(o)), watchdog(cx) {
    // A client that goes away mid-response must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
  }
  ~Impl() {
    if (listen_fd >= 0) ::close(listen_fd);
  }

  Context cx;
  Watchdog watchdog;
  int listen_fd = -1;
  MHD_Daemon* daemon = nullptr;
  std::mutex stop_mutex;
  std::condition_variable stop_cv;
  bool stop_requested = false;

  unsigned IoThreads() const {
    if (cx.options.io_threads > 0) return cx.options.io_threads;
    return std::max(1u, std::thread::hardware_concurrency());
  }

  void BindSocket() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = text::Decimal(cx.options.port);
    if (getaddrinfo(cx.options.host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
      throw std::runtime_error("cannot listen on " + cx.options.host + ": unknown address");
    }
    std::string error = "no address";
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
      const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
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
        cx.port = p;
        break;
      }
      error = std::strerror(errno);
      ::close(fd);
    }
    freeaddrinfo(found);
    if (listen_fd < 0) {
      throw std::runtime_error("cannot listen on " + cx.options.host + ":" + service + ": " + error);
    }
  }

  void Start() {
    const unsigned idle = static_cast<unsigned>(std::max<long long>(1, cx.options.idle_timeout.count()));
    // The connection's memory holds its request line and headers, buffers
    // for reading and sending, and the head of the answer.
    const std::size_t memory = cx.options.max_header + cx.options.max_url + 16 * 1024 + kMaxPageHead;
    // Level-triggered poll, one loop per I/O thread: libmicrohttpd's epoll
    // thread pool was no faster under load (bench/README.md), and poll does
    // not rely on an edge-triggered wake-up to notice a request cut short by
    // the client (its bytes and its FIN in one arrival).
    const unsigned flags = MHD_USE_POLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_TURBO;
    Context* const c = &cx;
    daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &OnRequest, c,                              //
                              MHD_OPTION_LISTEN_SOCKET, listen_fd,                                    //
                              MHD_OPTION_THREAD_POOL_SIZE, IoThreads(),                               //
                              MHD_OPTION_CONNECTION_LIMIT, std::max(1u, cx.options.max_connections),  //
                              MHD_OPTION_CONNECTION_TIMEOUT, idle,                                    //
                              MHD_OPTION_CONNECTION_MEMORY_LIMIT, memory,                             //
                              MHD_OPTION_NOTIFY_COMPLETED, &OnCompleted, c,                           //
                              MHD_OPTION_NOTIFY_CONNECTION, &OnConnection, c,                         //
                              MHD_OPTION_URI_LOG_CALLBACK, &OnUri, c,                                 //
                              // Requests without a Host header are refused
                              // by our own checks rather than by the event
                              // loop, whose own 400 sends its head twice.
                              MHD_OPTION_STRICT_FOR_CLIENT, 0,  //
                              MHD_OPTION_END);
    if (daemon == nullptr) throw std::runtime_error("cannot start the HTTP event loop");
  }

  // Every page on a worker, answered without it (the server stops): no
  // connection may stay put aside when the event loop stops.
  std::vector<std::shared_ptr<Exchange>> Live() {
    std::lock_guard l(cx.live_mutex);
    return {cx.live.begin(), cx.live.end()};
  }

  void Run() {
    Start();
    watchdog.Start();
    {
      std::unique_lock lk(stop_mutex);
      stop_cv.wait(lk, [&] { return stop_requested; });
    }
    // Stop accepting; running pages may finish within the grace period.
    const MHD_socket quiet = MHD_quiesce_daemon(daemon);
    if (quiet != MHD_INVALID_SOCKET) ::close(quiet);
    listen_fd = -1;
    if (!cx.workers.WaitIdle(Clock::now() + cx.options.grace)) {
      // Every running page stops at its next check, then ends its request.
      cx.hard_stop = true;
      for (const auto& ex : Live()) ex->AskToStop();
      cx.workers.WaitIdle(Clock::now() + std::chrono::seconds(2));
    }
    cx.hard_stop = true;
    for (const auto& ex : Live()) ex->Abandon(false, {});
    // The answers of pages that ended or were stopped are still on their way
    // out: the event loop sends them before it stops (a second at most).
    for (const auto until = Clock::now() + std::chrono::seconds(1); Clock::now() < until;) {
      const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
      if (info == nullptr || info->num_connections == 0) break;
      std::this_thread::sleep_for(milliseconds(10));
    }
    watchdog.Stop();
    MHD_stop_daemon(daemon);
    daemon = nullptr;
    cx.workers.Shutdown();
    cx.log.Flush();
  }
};

Server::Server(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Server::~Server() = default;

int Server::Bind() {
  if (impl_->listen_fd < 0) impl_->BindSocket();
  return impl_->cx.port;
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
  const Context& cx = impl_->cx;
  Stats s;
  s.cached_pages = cx.pages.Entries();
  s.cached_bytes = cx.pages.Bytes();
  s.pages_in_flight = cx.workers.InFlight();
  s.worker_threads = cx.workers.Threads();
  s.inline_runs = cx.inline_runs.load(std::memory_order_relaxed);
  return s;
}

}  // namespace halvane::serve
