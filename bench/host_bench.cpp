// The gallery pages through the page-script interpreter, in process: each
// page parsed once, then run per iteration into a string, as `halvane run`
// and `halvane serve` run it (bench/run.sh also times the `halvane run`
// process itself).  NavRatio compares a page's component calls with the same
// calls made directly.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_util.h"
#include "host/script/interpreter.h"
#include "host/script/program.h"
#include "host/script/template_parse.h"
#include "host/web/page_io.h"
#include "server/automation.h"

namespace halvane::bench {
namespace {

class StringOutput final : public web::ResponseSink {
 public:
  void SendHead(const web::PageResponse&) override {}
  void SendBody(std::string_view text) override { text_.append(text); }
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

// A navigation page: a tree of 20 menus of 10 nodes (241 component calls
// with arguments built by the page), through the interpreter and as the
// same calls made directly through the automation layer.  `ratio` is the
// interpreter's time over the direct calls' time, measured in the same run.
constexpr std::string_view kNavPage = R"(Set t = CreateObject("Halvane.Tree")
t.Width = "240"
Response.Write t.WriteExpandCollapse()
For m = 1 To 20
  Response.Write t.WriteMenuHeader("Menu " & m)
  For n = 1 To 10
    Response.Write t.WriteNode("Item " & m & "." & n, "/page" & m & "_" & n & ".hvs", "_top", "images/page.gif")
  Next
  Response.Write t.WriteMenuFooter()
Next
)";

std::string DirectNav() {
  automation::ObjectPtr t;
  automation::CreateObject("Halvane.Tree", t);
  std::int32_t width = 0, expand = 0, header = 0, node = 0, footer = 0;
  t->GetIDOfName("Width", width);
  t->GetIDOfName("WriteExpandCollapse", expand);
  t->GetIDOfName("WriteMenuHeader", header);
  t->GetIDOfName("WriteNode", node);
  t->GetIDOfName("WriteMenuFooter", footer);
  std::string out;
  Variant result;
  std::vector<Variant> args{Variant("240")};
  t->Invoke(width, automation::InvokeKind::PropertyLet, args, nullptr, nullptr);
  args.clear();
  t->Invoke(expand, automation::InvokeKind::Method, args, &result, nullptr);
  out.append(result.RawString());
  for (int m = 1; m <= 20; ++m) {
    args.assign(1, Variant("Menu " + std::to_string(m)));
    t->Invoke(header, automation::InvokeKind::Method, args, &result, nullptr);
    out.append(result.RawString());
    for (int n = 1; n <= 10; ++n) {
      args.clear();
      args.emplace_back("Item " + std::to_string(m) + "." + std::to_string(n));
      args.emplace_back("/page" + std::to_string(m) + "_" + std::to_string(n) + ".hvs");
      args.emplace_back("_top");
      args.emplace_back("images/page.gif");
      t->Invoke(node, automation::InvokeKind::Method, args, &result, nullptr);
      out.append(result.RawString());
    }
    args.clear();
    t->Invoke(footer, automation::InvokeKind::Method, args, &result, nullptr);
    out.append(result.RawString());
  }
  return out;
}

void NavRatio(bm::State& state) {
  auto program = script::Parse(kNavPage, "nav.hvs");
  double interp = 0, direct = 0;
  for (auto _ : state) {
    auto a = std::chrono::steady_clock::now();
    StringOutput out;
    script::Run(*program, out);
    Consume(out.text());
    auto b = std::chrono::steady_clock::now();
    Consume(DirectNav());
    auto c = std::chrono::steady_clock::now();
    interp += std::chrono::duration<double, std::micro>(b - a).count();
    direct += std::chrono::duration<double, std::micro>(c - b).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["interpreter_us"] = interp / n;
  state.counters["direct_us"] = direct / n;
  state.counters["ratio"] = direct > 0 ? interp / direct : 0;
}
BENCHMARK(NavRatio)->Unit(bm::kMicrosecond);

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
