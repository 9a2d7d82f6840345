// Page workers: threads that run pages, at most `slots` of them at once.
// A page that waits (Sleep, or a slow client still taking what it flushed)
// gives its slot up meanwhile, so waiting pages never delay the others; it
// takes a slot again, before any page not yet started, to go on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace halvane::serve {

class Workers {
 public:
  // At most `slots` pages run at once; at most `max_in_flight` pages are
  // queued, running or waiting together (one thread each once started).
  // Threads beyond `slots` that a burst of waiting pages called up end once
  // they have been idle for `retire_after`.
  Workers(unsigned slots, unsigned max_in_flight,
          std::chrono::milliseconds retire_after = std::chrono::seconds(30));
  ~Workers();  // Shutdown()
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  // Queues `job` to run on a worker holding a slot.  False (and `job` is not
  // kept) when `max_in_flight` pages are in flight already, or after
  // Shutdown.
  bool TrySubmit(std::function<void()> job);
  // For a running job: gives up its slot while `wait` runs, then waits for
  // one again.
  void WithoutSlot(const std::function<void()>& wait);
  // Waits until no page is in flight or `until` has passed; true when none is.
  bool WaitIdle(std::chrono::steady_clock::time_point until);
  // Runs what is queued, then ends and joins every thread.
  void Shutdown();

  unsigned InFlight() const;
  unsigned Threads() const;

 private:
  void Loop();
  void ReleaseSlot();  // with mutex_ held

  void JoinRetired();  // with mutex_ not held

  const unsigned max_in_flight_;
  const unsigned slots_;
  const std::chrono::milliseconds retire_after_;
  mutable std::mutex mutex_;
  std::condition_variable work_cv_;  // idle threads: a job and a slot
  std::condition_variable slot_cv_;  // waiting jobs: a slot
  std::condition_variable idle_cv_;  // WaitIdle
  std::deque<std::function<void()>> queue_;
  std::vector<std::thread> threads_;
  std::vector<std::thread> retired_;  // ended by themselves, to be joined
  unsigned free_slots_;
  unsigned in_flight_ = 0;
  unsigned slot_waiters_ = 0;
  bool stop_ = false;
};

}  // namespace halvane::serve
