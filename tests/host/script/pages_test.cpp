// Table-driven tests of the page language: every tests/host/pages/TOPIC/*.hvs
// runs, and its response must equal TOPIC/NAME.out byte for byte.  When
// TOPIC/NAME.err exists the page must fail with exactly that line (the line
// `halvane run` prints: a syntax error or the unhandled run-time error),
// otherwise it must complete.  The examples of docs/page-language.md run
// the same way: each ```vb block followed by a ```text block of its output.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/script/interpreter.h"
#include "host/script/program.h"
#include "host/script/script_test_util.h"

namespace halvane::script {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Page {
  std::string name;  // TOPIC/NAME, or docs:N
  std::string source;
  std::string out;    // expected response
  std::string err;    // expected failure line, or empty
  bool docs = false;  // compare with line ends made LF and the last one dropped
  std::string file;   // the name the page runs under, when not NAME.hvs
};

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

std::vector<Page> Pages() {
  std::vector<Page> pages;
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(HALVANE_PAGES_DIR)) {
    if (e.path().extension() == ".hvs") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) {
    Page p;
    p.name = f.parent_path().filename().string() + "/" + f.stem().string();
    p.source = ReadFile(f);
    fs::path out = f, err = f;
    out.replace_extension(".out");
    err.replace_extension(".err");
    p.out = ReadFile(out);
    if (fs::exists(err)) p.err = Trimmed(ReadFile(err));
    pages.push_back(std::move(p));
  }
  // Pages that must not parse: in TOPIC/*.txt, each case starts with a line
  // "== " followed by the expected error line (for a page named t.hvs), and
  // its source follows up to the next case.
  std::vector<fs::path> lists;
  for (const auto& e : fs::recursive_directory_iterator(HALVANE_PAGES_DIR)) {
    if (e.path().extension() == ".txt") lists.push_back(e.path());
  }
  std::sort(lists.begin(), lists.end());
  for (const fs::path& f : lists) {
    std::istringstream in(ReadFile(f));
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
      if (line.rfind("== ", 0) == 0) {
        Page p;
        p.name = f.parent_path().filename().string() + "/" + f.stem().string() + std::to_string(++n);
        p.err = line.substr(3);
        p.file = "t.hvs";
        pages.push_back(std::move(p));
      } else if (!pages.empty() && !pages.back().file.empty()) {
        pages.back().source += line + "\n";
      }
    }
  }
  // The reference's examples.
  std::istringstream doc(ReadFile(HALVANE_DOCS_FILE));
  std::string line, code, text;
  enum { kNone, kCode, kWaitText, kText } state = kNone;
  int n = 0;
  while (std::getline(doc, line)) {
    if (state == kNone && line == "```vb") {
      state = kCode;
      code.clear();
    } else if (state == kCode) {
      if (line == "```") {
        state = kWaitText;
      } else {
        code += line + "\n";
      }
    } else if (state == kWaitText) {
      if (line == "```text") {
        state = kText;
        text.clear();
      } else if (line.rfind("```", 0) == 0) {
        state = kNone;
      }
    } else if (state == kText) {
      if (line == "```") {
        Page p;
        p.name = "docs/example" + std::to_string(++n);
        p.source = code;
        p.out = text;
        p.docs = true;
        pages.push_back(std::move(p));
        state = kNone;
      } else {
        text += line + "\n";
      }
    }
  }
  return pages;
}

void PrintTo(const Page& p, std::ostream* os) { *os << p.name; }

class PageTest : public ::testing::TestWithParam<Page> {};

TEST_P(PageTest, GivesItsResponseAndOutcome) {
  const Page& p = GetParam();
  std::string file = p.file.empty() ? p.name.substr(p.name.find('/') + 1) + ".hvs" : p.file;
  std::string out, failure;
  try {
    auto program = Parse(p.source, file);
    testing::Capture c;
    Limits limits;
    limits.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    Result r = script::Run(*program, c, limits);
    out = c.Text();
    if (r.outcome != Outcome::Completed) failure = Describe(*program, r);
  } catch (const SyntaxError& e) {
    failure = Describe(file, e);
  }
  if (p.docs) {
    std::string lf;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n') continue;
      lf += out[i];
    }
    EXPECT_EQ(Trimmed(lf), Trimmed(p.out)) << p.name;
  } else {
    EXPECT_EQ(out, p.out) << p.name;
  }
  EXPECT_EQ(failure, p.err) << p.name;
}

INSTANTIATE_TEST_SUITE_P(Pages, PageTest, ::testing::ValuesIn(Pages()), [](const ::testing::TestParamInfo<Page>& info) {
  std::string n = info.param.name;
  for (char& c : n) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return n;
});

}  // namespace
}  // namespace halvane::script
