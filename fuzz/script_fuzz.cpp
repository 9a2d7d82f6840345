// The page-script parser and interpreter on arbitrary text: a script either
// fails to parse with a SyntaxError or runs to an outcome, within a step
// limit and a time limit; no other exception escapes.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "host/script/interpreter.h"
#include "host/script/program.h"

using namespace halvane;

namespace {

// Keeps the response's length only; a script that writes more than a few
// megabytes is stopped as a client that went away would stop it.
class CountingOutput final : public script::Output {
 public:
  void Write(std::string_view text) override {
    written_ += text.size();
    if (written_ > (std::size_t{4} << 20)) throw script::Cancelled();
  }
  void Flush() override {}

 private:
  std::size_t written_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view source(reinterpret_cast<const char*>(data), size);
  std::shared_ptr<const script::Program> program;
  try {
    program = script::Parse(source, "fuzz.hvs");
  } catch (const script::SyntaxError& e) {
    if (e.Position().line < 1 || e.Position().column < 1) fuzz::Fail("syntax error without a position", source);
    (void)script::Describe("fuzz.hvs", e);
    return 0;
  }
  CountingOutput out;
  script::Limits limits;
  limits.max_steps = 20000;
  limits.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
  limits.max_string = std::size_t{1} << 20;
  const script::Result r = script::Run(*program, out, limits);
  if (r.outcome != script::Outcome::Completed) {
    if (script::Describe(*program, r).empty()) fuzz::Fail("no description of a failed run", source);
  }
  return 0;
}
