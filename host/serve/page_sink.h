// Where a served page's response goes: the one sink between the page's
// Response object and the client.  It keeps the page's head, puts the
// compatibility prefix in front of an HTML body, bounds the response, and
// on a flush hands the bytes to the page's exchange (on a page worker) or
// gives the run up (a first run on an event-loop thread, which must not
// wait for a client).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "host/serve/exchange.h"
#include "host/web/page_io.h"

namespace halvane::serve {

class Workers;

// Flushed bytes a client has not taken yet; beyond, the page waits.
inline constexpr std::size_t kMaxPending = std::size_t{256} << 10;
// One response.
inline constexpr std::size_t kMaxOutput = std::size_t{512} << 20;
// A page's own head (content type, headers, cookies).  The connection keeps
// room for this much beside the request, so a head up to it always goes
// out; a larger one is the page's error.
inline constexpr std::size_t kMaxPageHead = std::size_t{16} << 10;
// A first run on an event-loop thread writes at most this much.
inline constexpr std::size_t kInlineMaxOutput = std::size_t{1} << 20;

class PageSink final : public web::ResponseSink {
 public:
  // On a worker: flushes go to `exchange`, waiting without the worker's
  // slot in `workers` while the client is slow.
  PageSink(Exchange& exchange, Workers& workers, const std::string& prefix);
  // On the event-loop thread: the whole answer is kept here; a flush of a
  // body gives the run up.
  PageSink(bool head_only, const std::string& prefix);

  void SendHead(const web::PageResponse& r) override;
  void SendBody(std::string_view bytes) override;
  void Flushed() override;
  void Wrote(std::size_t total) override;

  // Stops a run on the event-loop thread; `for_good`: every run of this
  // page would stop the same way.
  [[noreturn]] void GiveUp(bool for_good);

  const PageHead& head() const { return head_; }
  // Written since the last hand-over (all of it on the event-loop thread).
  std::string& body() { return body_; }
  // A page of a bodyless answer (HEAD, 204, 304) that flushed: its head
  // would have gone then, so an error after it does not replace it.
  bool head_flushed() const { return head_flushed_; }
  // Bytes were handed over to the exchange: the answer is a stream.
  bool streamed() const { return streamed_; }
  bool head_too_large() const { return head_too_large_; }
  bool too_large() const { return too_large_; }
  // A run on the event-loop thread gave up (for_good: for every run).
  bool gave_up() const { return gave_up_; }
  bool gave_up_for_good() const { return gave_up_ && for_good_; }

 private:
  [[noreturn]] void TooLarge();
  bool Bodyless() const { return head_only_ || head_.status == 204 || head_.status == 304; }

  Exchange* const exchange_;  // null on the event-loop thread
  Workers* const workers_;
  const std::string& prefix_;
  const bool head_only_;
  PageHead head_;
  std::string body_;
  std::size_t total_ = 0;
  bool head_flushed_ = false;
  bool streamed_ = false;
  bool head_too_large_ = false;
  bool too_large_ = false;
  bool gave_up_ = false;
  bool for_good_ = false;
};

}  // namespace halvane::serve
