#include "host/serve/exchange.h"

#include <algorithm>
#include <cstring>

namespace halvane::serve {

bool CanMove(State from, State to) {
  switch (from) {
    case State::kRunning:
      return to == State::kStreaming || to == State::kEnded || to == State::kAbandoned || to == State::kClosed;
    case State::kStreaming:
      return to == State::kStarved || to == State::kStreamEnded || to == State::kCut || to == State::kClosed;
    case State::kStarved:
      return to == State::kStreaming || to == State::kStreamEnded || to == State::kCut || to == State::kClosed;
    case State::kEnded:
    case State::kStreamEnded:
    case State::kAbandoned:
    case State::kCut:
      return to == State::kClosed;
    case State::kClosed:
      return false;
  }
  return false;
}

bool Exchange::Move(State to) {
  if (!CanMove(state_, to)) return false;
  state_ = to;
  return true;
}

void Exchange::AskToStop() {
  std::lock_guard lk(m_);
  stop_.store(true, std::memory_order_relaxed);
  cv_.notify_all();
}

void Exchange::AppendPending(std::string_view bytes) {
  if (pending_off_ == pending_.size()) {
    pending_.clear();
    pending_off_ = 0;
  }
  pending_.append(bytes);
}

void Exchange::End(const PageHead& head, std::string rest, std::string failure) {
  std::lock_guard lk(m_);
  failure_ = std::move(failure);
  switch (state_) {
    case State::kRunning:
      head_sent_ = head;
      whole_ = std::move(rest);
      Move(State::kEnded);
      Resume();
      break;
    case State::kStreaming:
    case State::kStarved: {
      const bool suspended = Suspended();
      AppendPending(rest);
      Move(State::kStreamEnded);
      if (suspended) Resume();
      break;
    }
    default:  // answered without the page, or gone
      break;
  }
}

void Exchange::SleepUntil(Clock::time_point until, const std::atomic<bool>& server_stopping) {
  std::unique_lock lk(m_);
  cv_.wait_until(lk, std::min(until, deadline_), [&] { return StopAsked() || server_stopping.load(); });
}

Exchange::Resumed Exchange::OnResume() {
  std::lock_guard lk(m_);
  Resumed r{state_, {}, {}, 0, failure_};
  switch (state_) {
    case State::kRunning:  // woken before the page had anything: wait on
      MHD_suspend_connection(connection_);
      break;
    case State::kEnded:
      r.head = std::move(head_sent_);
      r.body = std::move(whole_);
      break;
    case State::kAbandoned:
      r.status = abandon_status_;
      break;
    default:  // a stream: its head, the bytes follow through Read
      r.head = head_sent_;
      break;
  }
  return r;
}

std::ptrdiff_t Exchange::Read(char* buf, std::size_t max) {
  std::lock_guard lk(m_);
  if (const std::size_t have = Unsent(); have > 0) {
    const std::size_t n = std::min(have, max);
    std::memcpy(buf, pending_.data() + pending_off_, n);
    pending_off_ += n;
    taken_ += n;
    cv_.notify_all();  // a page may wait for the client to catch up
    return static_cast<std::ptrdiff_t>(n);
  }
  if (state_ != State::kStreaming) return -1;  // ended, cut (or closed)
  Move(State::kStarved);
  MHD_suspend_connection(connection_);
  return 0;
}

Exchange::Closed Exchange::Close() {
  std::lock_guard lk(m_);
  Closed c;
  c.streamed = state_ == State::kStreaming || state_ == State::kStarved || state_ == State::kStreamEnded ||
               state_ == State::kCut;
  c.bytes = taken_;
  c.failure = failure_;
  Move(State::kClosed);
  stop_.store(true, std::memory_order_relaxed);
  cv_.notify_all();
  return c;
}

void Exchange::Abandon(bool overrun, std::string_view error_block) {
  std::lock_guard lk(m_);
  stop_.store(true, std::memory_order_relaxed);
  cv_.notify_all();
  const bool suspended = Suspended();
  if (state_ == State::kRunning) {
    abandon_status_ = overrun ? 500 : 503;
    Move(State::kAbandoned);
  } else if (state_ == State::kStreaming || state_ == State::kStarved) {
    if (overrun) AppendPending(error_block);
    Move(State::kCut);
  } else {
    return;  // the page ended, or the request did
  }
  if (suspended) Resume();
}

}  // namespace halvane::serve
