#include "host/script/interpreter.h"

#include <pthread.h>

#include <cinttypes>
#include <cstdio>
#include <utility>

#include "core/text.h"
#include "core/utf.h"
#include "host/script/machine.h"
#include "host/web/page_io.h"

namespace halvane::script {

ScriptError HostError(std::int32_t number) {
  return {number, std::string(kHostSource), std::string(DescriptionOrDefault(number)),
          kErrorStatusBase + static_cast<std::uint32_t>(number & 0xFFFF), 0, 0, {}};
}

ScriptError HostError(std::int32_t number, std::string culprit) {
  ScriptError e = HostError(number);
  e.culprit = std::move(culprit);
  return e;
}

std::string QuotedForMessage(std::string_view text) {
  constexpr std::size_t kMost = 80;
  // Cut at a character's start, so the line stays UTF-8.
  const std::size_t end = text.size() > kMost ? utf::CharacterStart(text, kMost) : text.size();
  std::string out = "\"";
  for (std::size_t n = 0; n < end; ++n) {
    const auto b = static_cast<unsigned char>(text[n]);
    if (b < 0x20 || b == 0x7F || b == '"' || b == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += text[n];
    }
  }
  if (end < text.size()) out += "...";
  return out + "\"";
}

ScriptError FromCore(const Error& e) {
  return {e.Number(), e.Source().empty() ? std::string(kHostSource) : e.Source(),
          e.Description().empty() ? std::string(DescriptionOrDefault(e.Number())) : e.Description(), e.Status(), 0, 0, {}};
}

namespace {

// The lowest address this thread's stack may use before a call is refused
// (with some room kept for the frames below the check).
const char* ReadStackLimit() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return nullptr;
  void* base = nullptr;
  std::size_t size = 0;
  const char* limit = nullptr;
  if (pthread_attr_getstack(&attr, &base, &size) == 0 && size > (std::size_t{512} << 10)) {
    limit = static_cast<const char*>(base) + (std::size_t{256} << 10);
  }
  pthread_attr_destroy(&attr);
  return limit;
}

// The same, read once per thread: on the main thread the C library finds
// the stack by reading the process's memory map, which would cost a page
// run more than its statements.
const char* StackLimit() {
  thread_local const char* const limit = ReadStackLimit();
  return limit;
}

}  // namespace

Machine::Machine(const Program& p, web::PageResponse& response, const Limits& limits)
    : prog_(p), limits_(limits), globals_(static_cast<std::size_t>(p.page_variables)), response_(&response) {
  stack_limit_ = StackLimit();
  arg_stack_.reserve(16);
}

Result Machine::Run() {
  Result r;
  try {
    Exec(prog_.body);
  } catch (const ScriptError& e) {
    r.outcome = Outcome::Error;
    r.line = e.line;
    r.file = e.file;
    r.status = e.status;
    r.number = e.number;
    r.source = e.source;
    r.description = e.description;
    r.culprit = e.culprit;
  } catch (const Stop& s) {
    r.outcome = s.outcome;
    r.line = line_;
    r.file = file_;
  } catch (const Cancelled&) {
    r.outcome = Outcome::Cancelled;
    r.line = line_;
    r.file = file_;
  }
  r.steps = steps_;
  // Objects go before the run returns, on the thread that made them.
  globals_.clear();
  return r;
}

Result RunPage(const Program& program, const web::PageRequest& request, web::PageResponse& response,
               const Limits& limits, PageState* state) {
  Machine machine(program, response, limits);
  machine.request_ = &request;
  machine.state_ = state;
  Result r = machine.Run();
  if (state) state->wait = nullptr;  // the machine that waited is gone
  return r;
}

Result Run(const Program& program, web::ResponseSink& sink, const Limits& limits) {
  web::PageResponse response(sink);
  const web::PageRequest request{web::RequestData{}};
  Result r = RunPage(program, request, response, limits);
  try {
    response.Finish();
  } catch (const Cancelled&) {
    if (r.outcome == Outcome::Completed) r.outcome = Outcome::Cancelled;
  }
  return r;
}

std::string Where(const Program& program, const Result& r) {
  const std::size_t f = static_cast<std::size_t>(r.file);
  const std::string& file = f < program.files.size() ? program.files[f] : program.file;
  return file + ":" + text::Decimal(r.line);
}

std::string Describe(const Program& program, const Result& r) {
  std::string head = Where(program, r) + ": ";
  switch (r.outcome) {
    case Outcome::Completed: return head + "completed";
    case Outcome::Error: {
      char status[16];
      std::snprintf(status, sizeof status, "0x%08" PRIX32, r.status);
      return head + "error " + status + ": number " + text::Decimal(r.number) + ", source \"" + r.source +
             "\": " + r.description + (r.culprit.empty() ? "" : ": " + r.culprit);
    }
    case Outcome::StepLimit: return head + "stopped: the script ran more statements than its limit allows";
    case Outcome::Timeout: return head + "stopped: the script ran longer than its time limit";
    case Outcome::Cancelled: return head + "stopped: the script was cancelled";
  }
  return head;
}

std::string Describe(std::string_view file, const SyntaxError& error) {
  return std::string(file) + ":" + text::Decimal(error.Position().line) + ":" +
         text::Decimal(error.Position().column) + ": syntax error: " + error.Message();
}

}  // namespace halvane::script
