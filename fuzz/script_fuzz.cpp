// The page-script parser and interpreter on arbitrary text: a script either
// fails to parse with a SyntaxError or runs to an outcome, within a step
// limit and a time limit; no other exception escapes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "fuzz/script_run.h"
#include "host/script/interpreter.h"
#include "host/script/program.h"

using namespace halvane;

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
  fuzz::RunWithinLimits(*program, source);
  return 0;
}
