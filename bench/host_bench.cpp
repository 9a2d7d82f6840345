// The gallery pages through the page-script interpreter, in process: each
// page parsed once, then run per iteration into a string, as `halvane run`
// and `halvane serve` run it (bench/run.sh also times the `halvane run`
// process itself).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "bench/bench_util.h"
#include "host/script/interpreter.h"
#include "host/script/program.h"
#include "host/script/template_parse.h"

namespace halvane::bench {
namespace {

class StringOutput final : public script::Output {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  void Flush() override {}
  std::string& text() { return text_; }

 private:
  std::string text_;
};

void RegisterPage(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string source = ss.str();
  const std::string shown = file.filename().string();
  web::TemplateOptions t;
  t.root = file.parent_path();
  // The gallery's pages are templates: the text is expanded with its
  // includes once, and the timed parse starts from the expanded pieces.
  const auto expanded = std::make_shared<web::ExpandedTemplate>(web::ExpandTemplate(source, shown, file, t));
  std::shared_ptr<const script::Program> program = script::ParseTemplate(*expanded, shown);
  StringOutput probe;
  if (script::Run(*program, probe).outcome != script::Outcome::Completed) return;  // a page that fails on purpose
  const double bytes = static_cast<double>(probe.text().size());
  const std::string name = file.stem().string();
  bm::RegisterBenchmark(("page/" + name + "/run").c_str(), [program, bytes](bm::State& state) {
    for (auto _ : state) {
      StringOutput out;
      script::Run(*program, out);
      Consume(out.text());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["bytes"] = bytes;
  })->Unit(bm::kMicrosecond);
  bm::RegisterBenchmark(("page/" + name + "/parse+run").c_str(), [expanded, shown](bm::State& state) {
    for (auto _ : state) {
      auto p = script::ParseTemplate(*expanded, shown);
      StringOutput out;
      script::Run(*p, out);
      Consume(out.text());
    }
  })->Unit(bm::kMicrosecond);
}

[[maybe_unused]] const int kRegistered = [] {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(HALVANE_EXAMPLES_DIR, ec)) {
    // progress.hvp sleeps on purpose between its steps.
    if (entry.path().extension() == ".hvp" && entry.path().stem() != "progress") RegisterPage(entry.path());
  }
  return 0;
}();

}  // namespace
}  // namespace halvane::bench
