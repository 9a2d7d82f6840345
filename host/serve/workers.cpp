#include "host/serve/workers.h"

#include <pthread.h>

#include <algorithm>

namespace halvane::serve {

Workers::Workers(unsigned slots, unsigned max_in_flight, std::chrono::milliseconds retire_after)
    : max_in_flight_(std::max(1u, max_in_flight)),
      slots_(std::max(1u, slots)),
      retire_after_(retire_after),
      free_slots_(slots_) {}

Workers::~Workers() { Shutdown(); }

void Workers::JoinRetired() {
  std::vector<std::thread> done;
  {
    std::lock_guard lk(mutex_);
    done.swap(retired_);
  }
  for (std::thread& t : done) t.join();
}

bool Workers::TrySubmit(std::function<void()> job) {
  JoinRetired();
  std::lock_guard lk(mutex_);
  if (stop_ || in_flight_ >= max_in_flight_) return false;
  ++in_flight_;
  queue_.push_back(std::move(job));
  // Every started page keeps its thread until it ends (sleeping pages
  // included), so there are as many threads as pages in flight at most.
  if (threads_.size() < in_flight_) threads_.emplace_back([this] { Loop(); });
  work_cv_.notify_one();
  return true;
}

void Workers::ReleaseSlot() {
  ++free_slots_;
  if (slot_waiters_ > 0) {
    slot_cv_.notify_one();
  } else {
    work_cv_.notify_one();
  }
}

void Workers::Loop() {
  pthread_setname_np(pthread_self(), "halvane-page");
  std::unique_lock lk(mutex_);
  auto ready = [&] { return (stop_ && queue_.empty()) || (!queue_.empty() && free_slots_ > 0 && slot_waiters_ == 0); };
  for (;;) {
    if (!work_cv_.wait_for(lk, retire_after_, ready)) {
      // Idle this long: a thread above the usual number (and above the pages
      // in flight, each of which may need one) ends.
      if (threads_.size() > std::max<std::size_t>(slots_, in_flight_)) {
        const auto self = std::find_if(threads_.begin(), threads_.end(),
                                       [](const std::thread& t) { return t.get_id() == std::this_thread::get_id(); });
        if (self != threads_.end()) {
          retired_.push_back(std::move(*self));
          threads_.erase(self);
          return;
        }
      }
      continue;
    }
    if (queue_.empty()) return;  // stopping
    std::function<void()> job = std::move(queue_.front());
    queue_.pop_front();
    --free_slots_;
    lk.unlock();
    job();
    job = nullptr;
    lk.lock();
    --in_flight_;
    ReleaseSlot();
    if (in_flight_ == 0) idle_cv_.notify_all();
  }
}

void Workers::WithoutSlot(const std::function<void()>& wait) {
  {
    std::lock_guard lk(mutex_);
    ReleaseSlot();
  }
  // The slot must be taken back even when `wait` throws.
  struct Retake {
    Workers& w;
    ~Retake() {
      std::unique_lock lk(w.mutex_);
      ++w.slot_waiters_;
      w.slot_cv_.wait(lk, [&] { return w.free_slots_ > 0; });
      --w.slot_waiters_;
      --w.free_slots_;
      if (w.slot_waiters_ == 0 && w.free_slots_ > 0 && !w.queue_.empty()) w.work_cv_.notify_one();
    }
  } retake{*this};
  wait();
}

bool Workers::WaitIdle(std::chrono::steady_clock::time_point until) {
  std::unique_lock lk(mutex_);
  return idle_cv_.wait_until(lk, until, [&] { return in_flight_ == 0; });
}

void Workers::Shutdown() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lk(mutex_);
    stop_ = true;
    threads.swap(threads_);
    work_cv_.notify_all();
  }
  for (std::thread& t : threads) t.join();
  JoinRetired();
}

unsigned Workers::InFlight() const {
  std::lock_guard lk(mutex_);
  return in_flight_;
}

unsigned Workers::Threads() const {
  std::lock_guard lk(mutex_);
  return static_cast<unsigned>(threads_.size());
}

}  // namespace halvane::serve
