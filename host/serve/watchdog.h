// A thread that looks over the server every 100 ms: drops connections
// whose request takes longer than the request time-out to arrive, answers
// requests whose page did not stop within 2 s after its deadline, and
// writes the access log's gathered lines.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "host/serve/context.h"

namespace halvane::serve {

class Watchdog {
 public:
  explicit Watchdog(Context& cx) : cx_(cx) {}
  ~Watchdog() { Stop(); }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  void Start();
  void Stop();  // ends and joins the thread

 private:
  void Loop();
  void Round(Clock::time_point now);

  Context& cx_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace halvane::serve
