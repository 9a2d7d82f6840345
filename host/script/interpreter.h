// Running a parsed page script.  Every object operation goes through the
// automation layer (server/automation.h): creation by identifier, member
// name lookup, invoke by DISPID with Variant arguments and its statuses,
// which become the Err values of the script.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "host/script/program.h"

namespace halvane::web {
class PageRequest;
class PageResponse;
class ResponseSink;
}  // namespace halvane::web

namespace halvane::script {

class PageState;

// Thrown by a response's sink (for instance when the client has gone away),
// or by a `cancelled` hook's owner, to stop a script from outside.  A script
// cannot catch it with On Error Resume Next.
class Cancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "the script was cancelled"; }
};

struct Limits {
  // Statements (loop rounds included) a run may execute; 0 = no limit.
  std::uint64_t max_steps = 0;
  // The run stops with Outcome::Timeout once this moment has passed.
  std::optional<std::chrono::steady_clock::time_point> deadline;
  // Polled now and then (and during Sleep); true stops the run.
  std::function<bool()> cancelled;
  // The longest String a page may build, component results included
  // (error 14, "Out of string space").
  std::size_t max_string = std::size_t{64} << 20;
  std::function<void(std::chrono::milliseconds)> sleep;  // if set, Sleep calls it instead of sleeping on this thread
};

enum class Outcome { Completed, Error, StepLimit, Timeout, Cancelled };

struct Result {
  Outcome outcome = Outcome::Completed;
  int line = 0;              // the statement that failed or was running
  int file = 0;              // ... in this file of the program (Program::files)
  std::uint32_t status = 0;  // 0x800A0000 + number, or the automation status
  std::int32_t number = 0;
  std::string source;
  std::string description;
  // What failed, when known: the class and member of 438 ("Tree.WriteNod"),
  // the identifier of 429, the variable of 500, the procedure of 35.
  // Describe adds it after the description; Err never shows it.
  std::string culprit;
  std::uint64_t steps = 0;
};

// Runs the script to its end, or until an unhandled error or a limit stops
// it, and finishes its response into `sink`.  What was written before that
// stays written.  The page's request is empty (a GET of "/").
Result Run(const Program& program, web::ResponseSink& sink, const Limits& limits = {});

// Runs the page for `request`, building `response`: Response.Write and the
// other Response members act on it; the caller calls response.Finish()
// afterwards (also after an error, to send what was written).  Response.End
// and Response.Redirect end the run as Completed.  Session and Application
// act on `state` (host/script/page_state.h); without one they give 57.
Result RunPage(const Program& program, const web::PageRequest& request, web::PageResponse& response,
               const Limits& limits = {}, PageState* state = nullptr);

// One line (without line end) describing a run that did not complete:
//   page.hvs:12: error 0x800A000D: number 13, source "Halvane": Type mismatch
//   page.hvs:3: error 0x800A01B6: number 438, source "Halvane": Object has no such property or method: Tree.WriteNod
//   page.hvs:4: stopped: the script ran longer than its time limit
std::string Describe(const Program& program, const Result& result);
// Where the run stopped: "file:line" (an included file's own name).
std::string Where(const Program& program, const Result& result);
// file:line:column: syntax error: message
std::string Describe(std::string_view file, const SyntaxError& error);

}  // namespace halvane::script
