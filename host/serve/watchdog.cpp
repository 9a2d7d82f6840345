#include "host/serve/watchdog.h"

#include <sys/socket.h>

#include <memory>
#include <vector>

#include "host/serve/answers.h"

namespace halvane::serve {
namespace {

// Beyond its deadline, how long a page has to notice it before its request
// is answered without it.
constexpr auto kStuckGrace = std::chrono::seconds(2);

}  // namespace

void Watchdog::Start() {
  std::lock_guard lk(mutex_);
  stop_ = false;
  thread_ = std::thread([this] { Loop(); });
}

void Watchdog::Stop() {
  {
    std::lock_guard lk(mutex_);
    stop_ = true;
    cv_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void Watchdog::Loop() {
  std::unique_lock lk(mutex_);
  while (!stop_) {
    cv_.wait_for(lk, std::chrono::milliseconds(100));
    lk.unlock();
    Round(Clock::now());
    lk.lock();
  }
}

void Watchdog::Round(Clock::time_point now) {
  {
    std::lock_guard c(cx_.conns_mutex);
    for (ConnState* conn : cx_.conns) {
      if (!conn->busy && !conn->dropped && conn->fd >= 0 && now - conn->ready_since > cx_.options.request_timeout) {
        // The event loop sees the connection end and closes it.
        conn->dropped = true;
        ::shutdown(conn->fd, SHUT_RDWR);
      }
    }
  }
  std::vector<std::shared_ptr<Exchange>> stuck;
  {
    std::lock_guard l(cx_.live_mutex);
    for (const auto& ex : cx_.live) {
      if (now > ex->deadline() + kStuckGrace) stuck.push_back(ex);
    }
  }
  for (const auto& ex : stuck) ex->Abandon(true, ErrorBlock(ex->path() + ": stopped: the page did not stop in time"));
  cx_.log.Flush();
}

}  // namespace halvane::serve
