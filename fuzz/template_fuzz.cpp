// Page templates on arbitrary text: include lines (well-formed or not),
// blocks and text are read, compiled and run.  A template either fails with
// a positioned TemplateError or SyntaxError, or runs to an outcome within a
// step and a time limit.  The served folder does not exist, so no include
// ever reads a file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "fuzz/script_run.h"
#include "host/script/interpreter.h"
#include "host/script/program.h"
#include "host/script/template_parse.h"
#include "host/web/template.h"

using namespace halvane;


extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view source(reinterpret_cast<const char*>(data), size);
  web::TemplateOptions options;
  options.root = "/nonexistent-halvane-fuzz-root";
  std::shared_ptr<const script::Program> program;
  try {
    const web::ExpandedTemplate expanded =
        web::ExpandTemplate(source, "fuzz.hvp", options.root / "fuzz.hvp", options);
    if (!expanded.includes.empty()) fuzz::Fail("an include was read", source);
    program = script::ParseTemplate(expanded, "fuzz.hvp");
  } catch (const web::TemplateError& e) {
    if (e.Line() < 1 || e.Column() < 1 || e.Message().empty()) fuzz::Fail("a template error without a position", source);
    return 0;
  } catch (const script::SyntaxError& e) {
    if (e.Position().line < 1 || e.Position().column < 1) fuzz::Fail("syntax error without a position", source);
    return 0;
  }
  fuzz::RunWithinLimits(*program, source);
  return 0;
}
