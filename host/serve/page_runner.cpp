#include "host/serve/page_runner.h"

#include <cstdio>
#include <optional>
#include <string>

#include "core/text.h"
#include "host/script/interpreter.h"
#include "host/serve/answers.h"
#include "host/serve/page_sink.h"
#include "host/session/page_session.h"
#include "host/web/page_io.h"

namespace halvane::serve {
namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

// A page already parsed is first run on the event-loop thread itself, which
// spares the hand-over to a worker and back.  Such a run holds up every
// other connection of that thread, so it may take only this long (and
// write only kInlineMaxOutput); a page that goes past either, flushes or
// sleeps is stopped, run again from its start on a worker, and from then on
// always runs on workers.  Pages have no effects beyond their response, so
// the stopped first run leaves nothing behind.
constexpr auto kInlineBudget = milliseconds(20);

std::string PageName(const Context& cx, const fs::path& file) {
  std::string name(1, '/');
  name += file.lexically_relative(cx.root).generic_string();
  return name;
}

// Runs a page and sends what it left: after an error only when its head
// went already (else the answer is an error page).  A stop from outside, or
// running out of memory, comes back as the run's outcome.
script::Result RunAndFinish(Context& cx, const script::Program& program, const Request& req,
                            web::PageResponse& response, const script::Limits& limits, PageSink* inline_sink) {
  script::Result r;
  try {
    const web::PageRequest request(PageRequestData(req));
    // Only a page that names Session or Application has state to keep.
    std::optional<session::PageSession> state;
    if (program.uses_state && cx.options.sessions) {
      state.emplace(*cx.options.sessions, request, response);
      if (inline_sink) state->give_up = [inline_sink](bool for_good) { inline_sink->GiveUp(for_good); };
    }
    r = script::RunPage(program, request, response, limits, state ? &*state : nullptr);
    if (state) session::EndRun(*state, r, inline_sink != nullptr);
    if (r.outcome == script::Outcome::Completed || response.HeadSent()) response.Finish();
  } catch (const script::Cancelled&) {
    r.outcome = script::Outcome::Cancelled;
  } catch (const std::exception& e) {  // out of memory
    r.outcome = script::Outcome::Error;
    r.status = 0x80004005u;
    r.number = static_cast<std::int32_t>(r.status);
    r.source = kHostSource;
    r.description = e.what();
  }
  return r;
}

// One line on why a run did not complete.
std::string FailureText(const Context& cx, const script::Program& program, const script::Result& r,
                        const PageSink& sink) {
  if (sink.head_too_large()) {
    return program.file + ": stopped: the response head is larger than " + text::Decimal(kMaxPageHead >> 10) +
           " KiB";
  }
  if (sink.too_large()) {
    return script::Where(program, r) + ": stopped: the response grew beyond " + text::Decimal(kMaxOutput >> 20) +
           " MiB";
  }
  if (r.outcome == script::Outcome::Timeout) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", static_cast<double>(cx.options.timeout.count()) / 1000.0);
    return script::Where(program, r) + ": stopped: the script ran longer than the " + limit + " s limit";
  }
  if (r.outcome == script::Outcome::Cancelled && cx.hard_stop) {
    return script::Where(program, r) + ": stopped: the server is stopping";
  }
  return script::Describe(program, r);
}

// Runs a page already parsed right here on the event-loop thread.  False
// when it must run on a worker instead.
bool RunInline(Context& cx, RequestCtx& ctx, MHD_Connection* c, const fs::path& file, MHD_Result* result) {
  if (cx.hard_stop) return false;
  PageCache::Page page = cx.pages.Peek(file);
  if (!page.program) {
    if (page.error.empty()) return false;  // not parsed yet: the worker parses it
    *result = Error(ctx, c, 500, page.error);
    return true;
  }
  if (page.waits && page.waits->load(std::memory_order_relaxed)) return false;
  PageSink sink(ctx.method == "HEAD", cx.prefix);
  web::PageResponse response(sink);
  const auto now = Clock::now();
  script::Limits limits;
  limits.deadline = now + std::min<Clock::duration>(kInlineBudget, cx.options.timeout);
  limits.max_steps = cx.options.max_steps;
  limits.sleep = [&sink](milliseconds) { sink.GiveUp(true); };
  const script::Result r = RunAndFinish(cx, *page.program, ctx.request, response, limits, &sink);
  if (sink.gave_up() || r.outcome == script::Outcome::Timeout || r.outcome == script::Outcome::Cancelled) {
    // A session busy with another page sends this run to a worker this
    // once; anything else, every run of this page from now on.
    const bool once = sink.gave_up() && !sink.gave_up_for_good();
    if (page.waits && !once) page.waits->store(true, std::memory_order_relaxed);
    return false;
  }
  cx.inline_runs.fetch_add(1, std::memory_order_relaxed);
  std::string body = std::move(sink.body());
  if (r.outcome != script::Outcome::Completed) {
    const std::string failure = FailureText(cx, *page.program, r, sink);
    if (!sink.head_flushed()) {
      *result = Error(ctx, c, 500, failure);  // without the page's own head
      return true;
    }
    ctx.note = failure;
    body += ErrorBlock(failure);
  }
  const std::size_t n = body.size();
  MHD_Response* answer = FromString(std::move(body));
  if (answer) AddPageHead(answer, sink.head());
  *result = Queue(ctx, c, sink.head().status, answer, n);
  return true;
}

// On a worker: parses (or reuses) the page, runs it and hands its end over.
void RunJob(Context& cx, const std::shared_ptr<Exchange>& exp, const Request& req) {
  Exchange& ex = *exp;
  PageSink sink(ex, cx.workers, cx.prefix);
  std::string failure;
  PageCache::Page page = cx.pages.Get(req.file, PageName(cx, req.file));
  if (!page.program) {
    failure = page.error;
  } else {
    script::Limits limits;
    limits.deadline = ex.deadline();
    limits.max_steps = cx.options.max_steps;
    limits.cancelled = [&cx, &ex] { return ex.StopAsked() || cx.hard_stop.load(); };
    // Sleep waits without the worker's slot, and wakes early on a stop.
    limits.sleep = [&cx, &ex](milliseconds ms) {
      const auto until = Clock::now() + ms;
      cx.workers.WithoutSlot([&] { ex.SleepUntil(until, cx.hard_stop); });
    };
    web::PageResponse response(sink);
    const script::Result r = RunAndFinish(cx, *page.program, req, response, limits, nullptr);
    if (r.outcome != script::Outcome::Completed) failure = FailureText(cx, *page.program, r, sink);
  }
  if (sink.streamed() || sink.head_flushed()) {
    // The head went (or would have): an error is told at the end of the body.
    std::string rest = std::move(sink.body());
    if (!failure.empty()) rest += ErrorBlock(failure);
    ex.End(sink.head(), std::move(rest), std::move(failure));
  } else if (!failure.empty()) {
    ex.End(PageHead{500, kHtml, {}}, ErrorPage(500, failure), failure);  // without the page's own head
  } else {
    ex.End(sink.head(), std::move(sink.body()), {});
  }
  std::lock_guard live_lk(cx.live_mutex);
  cx.live.erase(exp);
}

ssize_t ReadStream(void* cls, std::uint64_t, char* buf, std::size_t max) {
  const std::ptrdiff_t n = static_cast<Exchange*>(cls)->Read(buf, max);
  return n < 0 ? MHD_CONTENT_READER_END_OF_STREAM : static_cast<ssize_t>(n);
}

}  // namespace

MHD_Result StartPage(Context& cx, RequestCtx& ctx, MHD_Connection* c, const fs::path& file) {
  ctx.request.file = file;
  if (MHD_Result result = MHD_NO; RunInline(cx, ctx, c, file, &result)) return result;
  auto ex = std::make_shared<Exchange>(c, ctx.request.path, ctx.method == "HEAD", Clock::now() + cx.options.timeout,
                                       kMaxPending);
  ctx.exchange = ex;
  {
    std::lock_guard live_lk(cx.live_mutex);
    cx.live.insert(ex);
  }
  // The request moves to the worker; the log keeps what it needs.
  auto req = std::make_shared<Request>(std::move(ctx.request));
  const bool queued =
      ex->Begin([&] { return cx.workers.TrySubmit([&cx, ex, req] { RunJob(cx, ex, *req); }); });
  if (queued) return MHD_YES;
  {
    std::lock_guard live_lk(cx.live_mutex);
    cx.live.erase(ex);
  }
  ctx.exchange.reset();
  std::string page = ErrorPage(503, "too many pages at once; try again");
  const std::size_t n = page.size();
  MHD_Response* r = FromString(std::move(page));
  if (r == nullptr) return MHD_NO;
  MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, kHtml);
  MHD_add_response_header(r, MHD_HTTP_HEADER_RETRY_AFTER, "1");
  ctx.note = "too many pages in flight";
  return Queue(ctx, c, 503, r, n);
}

MHD_Result ContinuePage(Context&, RequestCtx& ctx, MHD_Connection* c) {
  Exchange& ex = *ctx.exchange;
  Exchange::Resumed r = ex.OnResume();
  switch (r.state) {
    case State::kRunning:  // put aside again
      return MHD_YES;
    case State::kEnded: {
      ctx.note = std::move(r.failure);
      const std::size_t n = r.body.size();
      MHD_Response* answer = FromString(std::move(r.body));
      if (answer) AddPageHead(answer, r.head);
      return Queue(ctx, c, r.head.status, answer, n);
    }
    case State::kAbandoned:
      if (r.status == 500) return Error(ctx, c, 500, ex.path() + ": stopped: the page did not stop in time");
      return Error(ctx, c, 503, "the server is stopping");
    default: {
      // The page's head from here on; the rest goes out as the page hands
      // it over.  The log's byte count comes when the request ends.
      MHD_Response* stream = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 64 * 1024, &ReadStream, &ex, nullptr);
      if (stream) AddPageHead(stream, r.head);
      return Queue(ctx, c, r.head.status, stream, 0);
    }
  }
}

}  // namespace halvane::serve
