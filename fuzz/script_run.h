// Running a parsed page under the fuzzers' limits: a few thousand
// statements, 50 ms, 1 MiB strings and 4 MiB of output.  A run that does
// not complete must be described.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "host/script/interpreter.h"
#include "host/script/program.h"
#include "host/web/page_io.h"

namespace halvane::fuzz {

// Keeps nothing of the response; a script that writes more than a few
// megabytes is stopped as a client that went away would stop it.
class CountingOutput final : public web::ResponseSink {
 public:
  void SendHead(const web::PageResponse&) override {}
  void SendBody(std::string_view) override {}
  void Wrote(std::size_t total) override {
    if (total > (std::size_t{4} << 20)) throw script::Cancelled();
  }
};

inline void RunWithinLimits(const script::Program& program, std::string_view input) {
  CountingOutput out;
  script::Limits limits;
  limits.max_steps = 20000;
  limits.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
  limits.max_string = std::size_t{1} << 20;
  const script::Result r = script::Run(program, out, limits);
  if (r.outcome != script::Outcome::Completed && script::Describe(program, r).empty()) {
    Fail("no description of a failed run", input);
  }
}

}  // namespace halvane::fuzz
