// What the rooms of the server share: its options, the served folder, the
// parsed pages, the page workers, the access log, and the connections and
// page exchanges in flight (read by the watchdog and the stop).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>

#include "host/serve/access_log.h"
#include "host/serve/exchange.h"
#include "host/serve/pages.h"
#include "host/serve/request.h"
#include "host/serve/server.h"
#include "host/serve/workers.h"
#include "host/session/hub.h"

namespace halvane::serve {

using Clock = std::chrono::steady_clock;

// One connection, from its accept to its close.
struct ConnState {
  int fd = -1;
  std::string remote;  // the client's address, for the log
  std::uint16_t remote_port = 0;
  std::string target;  // the raw target of the request being read
  // Where that target ends in the event loop's buffer of the request line:
  // just before the protocol version, unless a NUL cut the target short.
  const char* target_end = nullptr;
  // Guarded by Context::conns_mutex (read by the watchdog):
  Clock::time_point ready_since;  // when it became ready for its next request
  bool busy = false;              // a whole request is in; it is being answered
  bool dropped = false;           // shut down for taking too long to send it
};

// One request, from its headers to its end.
struct RequestCtx {
  ConnState* conn = nullptr;
  Clock::time_point start;
  std::string method, target, version;
  bool body_too_large = false;
  bool nul_in_target = false;
  Request request;
  std::shared_ptr<Exchange> exchange;  // a page running on a worker
  // For the log line:
  int status = 0;
  std::uint64_t bytes = 0;
  std::string note;
};

struct Context {
  explicit Context(Options o);

  Options options;
  std::filesystem::path root;  // canonical
  std::string prefix;          // HtmlPrefix(options)
  int port = 0;
  PageCache pages;
  Workers workers;
  AccessLog log;
  // The server stops: no page runs on an event-loop thread, running pages
  // are cancelled.
  std::atomic<bool> hard_stop{false};
  std::atomic<std::uint64_t> inline_runs{0};

  std::mutex conns_mutex;
  std::unordered_set<ConnState*> conns;
  std::mutex live_mutex;
  std::unordered_set<std::shared_ptr<Exchange>> live;  // pages on workers

  std::unique_ptr<session::Hub> own_sessions;  // when the options name no store
};

}  // namespace halvane::serve
