// One page answering one request on a page worker, shared by the worker
// that runs it, the event-loop thread that sends what it hands over, and the
// watchdog.  Where the exchange stands is one State; every change of it goes
// through Move, which refuses a change the life of an exchange does not have.
#pragma once

#include <microhttpd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvane::serve {

inline constexpr const char* kHtml = "text/html; charset=utf-8";

// A page's status, content type and headers, as its response had them when
// it first flushed or ended.
struct PageHead {
  int status = 200;
  std::string content_type = kHtml;
  std::vector<std::pair<std::string, std::string>> headers;
};

// The life of an exchange.  "Suspended" means the event loop has put the
// connection aside until the page resumes it.
enum class State : std::uint8_t {
  kRunning,      // the page runs and has handed nothing over; suspended
  kStreaming,    // the page flushed: its head and bytes are for the event loop
  kStarved,      // streaming, and the event loop took every byte; suspended
  kEnded,        // the page ended without a flush: its whole answer waits
  kStreamEnded,  // the page ended after flushing: the rest of it waits
  kAbandoned,    // before any flush, answered without the page (overrun, or stop)
  kCut,          // after a flush, the stream ends without the rest of the page
  kClosed,       // the request ended: sent, or the client went away
};

// Whether an exchange may go from `from` to `to`.
bool CanMove(State from, State to);

// What the page does once flushed bytes have been handed over, and what the
// event loop makes of a resumed connection.
class Exchange {
 public:
  using Clock = std::chrono::steady_clock;

  Exchange(MHD_Connection* connection, std::string path, bool head, Clock::time_point deadline,
           std::size_t max_pending)
      : connection_(connection), path_(std::move(path)), head_(head), deadline_(deadline), max_pending_(max_pending) {}

  // Queues the page's run with `submit` and puts the connection aside
  // until the page has something for it; false (and nothing is put aside)
  // when `submit` could not queue it.  Called by the event loop.
  template <class SubmitFn>
  bool Begin(SubmitFn&& submit);

  const std::string& path() const { return path_; }
  bool head_only() const { return head_; }
  Clock::time_point deadline() const { return deadline_; }
  // Set once the page should stop: it checks this now and then.
  bool StopAsked() const { return stop_.load(std::memory_order_relaxed); }
  void AskToStop();

  // ---- the page's side (its worker) ----
  // Hands `bytes` over, and the head the first time; false when the request
  // is gone or answered without the page (the page should stop).  Returns
  // once at most max_pending bytes are still unsent, the deadline passed or
  // the page should stop; `wait` runs the waiting (without the worker's slot).
  template <class WaitFn>
  bool HandOver(const PageHead& head, std::string& bytes, WaitFn&& wait);
  // The page ended: `rest` goes after what was handed over, or is the whole
  // answer under `head` when nothing was.  `failure` (one line, "" when the
  // page completed) is kept for the log.
  void End(const PageHead& head, std::string rest, std::string failure);
  // Waits up to `until` unless the page is stopped meanwhile.
  void SleepUntil(Clock::time_point until, const std::atomic<bool>& server_stopping);

  // ---- the event loop's side ----
  // What a resumed connection is to send: the state, and for kEnded and
  // kAbandoned the whole answer moved out (body and head).
  struct Resumed {
    State state;
    PageHead head;     // kEnded: the page's; a stream's head for the others
    std::string body;  // kEnded: the whole answer
    int status = 0;    // kAbandoned: 500 or 503
    std::string failure;
  };
  // The state seen on a resume; suspends again when the page has nothing
  // for the connection yet.
  Resumed OnResume();
  // The stream's reader: copies up to `max` bytes into `buf`; 0 and a
  // suspend when nothing waits yet; -1 at the end of the stream.
  std::ptrdiff_t Read(char* buf, std::size_t max);
  // The request ended.  What the log says of a stream: the bytes the client
  // took and what stopped the page ("" when it completed).
  struct Closed {
    bool streamed = false;
    std::uint64_t bytes = 0;
    std::string failure;
  };
  Closed Close();

  // ---- the watchdog and the stop ----
  // Answers without the page: a 500 (or, when streaming, `error_block`
  // ends the stream) when `overrun`; else (the server stops) a 503 or the
  // end of the stream.  Nothing changes once the page ended.
  void Abandon(bool overrun, std::string_view error_block);

  State state() const {
    std::lock_guard lk(m_);
    return state_;
  }

 private:
  // With m_ held.  Moves to `to` when CanMove allows it; false if not.
  bool Move(State to);
  bool Suspended() const { return state_ == State::kRunning || state_ == State::kStarved; }
  void Resume() { MHD_resume_connection(connection_); }  // with m_ held, leaving a suspended state
  std::size_t Unsent() const { return pending_.size() - pending_off_; }
  void AppendPending(std::string_view bytes);

  MHD_Connection* const connection_;
  const std::string path_;
  const bool head_;
  const Clock::time_point deadline_;
  const std::size_t max_pending_;
  std::atomic<bool> stop_{false};
  mutable std::mutex m_;
  std::condition_variable cv_;
  // Guarded by m_:
  State state_ = State::kRunning;
  PageHead head_sent_;       // from the first hand-over, or the end
  std::string pending_;      // handed over, not yet taken by the event loop
  std::size_t pending_off_ = 0;
  std::uint64_t taken_ = 0;  // taken by the event loop in all
  std::string whole_;        // kEnded: the whole body
  int abandon_status_ = 500;  // kAbandoned: 500 (overrun) or 503 (stop)
  std::string failure_;      // why the page did not complete, for the log
};

template <class SubmitFn>
bool Exchange::Begin(SubmitFn&& submit) {
  // Put aside under the lock, before the worker can resume it.
  std::lock_guard lk(m_);
  if (!submit()) return false;
  MHD_suspend_connection(connection_);
  return true;
}

template <class WaitFn>
bool Exchange::HandOver(const PageHead& head, std::string& bytes, WaitFn&& wait) {
  std::unique_lock lk(m_);
  if (state_ == State::kRunning) {
    head_sent_ = head;
    Move(State::kStreaming);
    Resume();
  } else if (state_ == State::kStarved) {
    Move(State::kStreaming);
    Resume();
  } else if (state_ != State::kStreaming) {
    return false;  // closed, abandoned or cut
  }
  AppendPending(bytes);
  bytes.clear();
  auto drained = [&] { return Unsent() <= max_pending_ || StopAsked(); };
  if (drained()) return true;
  lk.unlock();
  wait([&] {
    std::unique_lock w(m_);
    cv_.wait_until(w, deadline_, drained);
  });
  return !StopAsked();
}

}  // namespace halvane::serve
