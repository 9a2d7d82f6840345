#include "host/serve/page_sink.h"

#include "core/text.h"
#include "host/script/interpreter.h"
#include "host/serve/workers.h"

namespace halvane::serve {
namespace {

bool IsHtml(std::string_view type) {
  constexpr std::string_view kType = "text/html";
  if (!text::StartsWithNoCase(type, kType)) return false;
  return type.size() == kType.size() || type[kType.size()] == ';' || type[kType.size()] == ' ';
}

}  // namespace

PageSink::PageSink(Exchange& exchange, Workers& workers, const std::string& prefix)
    : exchange_(&exchange), workers_(&workers), prefix_(prefix), head_only_(exchange.head_only()) {}

PageSink::PageSink(bool head_only, const std::string& prefix)
    : exchange_(nullptr), workers_(nullptr), prefix_(prefix), head_only_(head_only) {}

void PageSink::SendHead(const web::PageResponse& r) {
  std::size_t bytes = r.ContentType().size() + 16;
  for (const web::PageResponse::Header& h : r.Headers()) bytes += h.name.size() + h.value.size() + 4;
  if (bytes > kMaxPageHead) {
    head_too_large_ = true;
    throw script::Cancelled();
  }
  head_.status = r.StatusCode();
  head_.content_type = r.ContentType();
  head_.headers.clear();
  for (const web::PageResponse::Header& h : r.Headers()) head_.headers.emplace_back(h.name, h.value);
  if (!r.Redirected() && IsHtml(r.ContentType())) SendBody(prefix_);
}

void PageSink::SendBody(std::string_view bytes) {
  total_ += bytes.size();
  if (total_ > kMaxOutput) TooLarge();
  if (!exchange_ && total_ > kInlineMaxOutput) GiveUp(true);
  body_.append(bytes);
}

void PageSink::Wrote(std::size_t total) {
  if (total > kMaxOutput) TooLarge();
  if (!exchange_ && total > kInlineMaxOutput) GiveUp(true);
}

// A bodyless answer is not streamed: its head goes when the page ends, and
// no chunk, not even the last empty one, follows it.
void PageSink::Flushed() {
  if (Bodyless()) {
    head_flushed_ = true;
    return;
  }
  if (!exchange_) GiveUp(true);
  streamed_ = true;
  const bool go_on = exchange_->HandOver(head_, body_, [this](const auto& wait) { workers_->WithoutSlot(wait); });
  if (!go_on) throw script::Cancelled();
}

void PageSink::GiveUp(bool for_good) {
  gave_up_ = true;
  for_good_ = for_good;
  throw script::Cancelled();
}

void PageSink::TooLarge() {
  too_large_ = true;
  throw script::Cancelled();
}

}  // namespace halvane::serve
