// The halvane program driven by the case files of tests/host/cases/*.txt
// (their form is described in the README.md there), the examples of every
// page of docs/ (see ReadDocs), and the index of docs/.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/data_files.h"

namespace {

namespace fs = std::filesystem;

struct Case {
  std::string name;
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> files;  // name (or "name -> target"), text
  std::string out, err;
  int status = 0;
  bool out_prefix = false, err_prefix = false;
  bool lf_only = false;  // docs: compare with CR LF made LF, trailing line ends dropped
  bool elided = false;   // docs: a line "..." of `out` stands for any text
};

using halvane::test_support::ReadFile;

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The words of a line: blanks part them, except inside single quotes.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  bool quoted = false, in_word = false;
  for (char c : line) {
    if (c == ' ' && !quoted) {
      in_word = false;
      continue;
    }
    if (!in_word) words.emplace_back();
    in_word = true;
    if (c == '\'') quoted = !quoted;
    if (c != '\'') words.back() += c;
  }
  return words;
}

void ReadCaseFile(const fs::path& file, std::vector<Case>& cases) {
  const std::string text = ReadFile(file);
  std::string* section = nullptr;
  bool named = false;  // the line before was a case's name
  for (std::size_t at = 0; at < text.size();) {
    std::size_t eol = text.find('\n', at);
    if (eol == std::string::npos) eol = text.size();
    const std::string line = text.substr(at, eol - at);
    const bool marker = line.rfind("=== ", 0) == 0 || line.rfind("--- ", 0) == 0 || (named && line.rfind("$ ", 0) == 0);
    named = line.rfind("=== ", 0) == 0;
    if (marker && section != nullptr && !section->empty() && section->back() == '\n') section->pop_back();
    if (line.rfind("=== ", 0) == 0) {
      cases.emplace_back();
      cases.back().name = file.stem().string() + "/" + line.substr(4);
      section = nullptr;
    } else if (marker && line[0] == '$') {
      cases.back().args = Words(line.substr(2));
      section = nullptr;
    } else if (marker) {
      Case& c = cases.back();
      const std::vector<std::string> w = Words(line.substr(4));
      if (!w.empty() && w[0] == "stdout") {
        c.out_prefix = w.size() > 1 && w[1] == "prefix";
        section = &c.out;
      } else if (!w.empty() && w[0] == "stderr") {
        c.status = w.size() > 1 ? std::stoi(w[1]) : 1;
        c.err_prefix = w.size() > 2 && w[2] == "prefix";
        section = &c.err;
      } else {
        c.files.emplace_back(line.substr(4), "");
        section = &c.files.back().second;
      }
    } else if (section != nullptr) {
      section->append(text, at, eol - at + (eol < text.size() ? 1 : 0));
    }
    at = eol + 1;
  }
  if (section != nullptr && !section->empty() && section->back() == '\n') section->pop_back();
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

// The examples of one page of docs/.  A ```vb block is a page script; a
// fenced block right after a line "<!-- page: NAME ARGS -->" is the page NAME,
// run as `halvane run NAME ARGS` (single quotes group) and kept as a file
// for the later examples of the page; a fenced block right
// after "<!-- file: NAME -->" is a file every later example of the page
// gets (an include, say); a ```text block right after "<!-- run: ARGS -->"
// is the output of `halvane run ARGS` with those files (the same page with
// another request).  The next ```text block after an example's block
// (prose may stand between them, another block may not) is its standard
// output, compared with CR LF made LF and trailing line ends dropped; a line
// "..." in it stands for any text, so a long output can be shown by its
// beginning and end.  An example without a ```text block is run and must
// succeed.
void ReadDocs(const fs::path& page, std::vector<Case>& cases) {
  const std::string doc = ReadFile(page);
  std::vector<std::pair<std::string, std::string>> files;
  // A file of the page, replacing an earlier one of the same name.
  auto keep = [&files](const std::string& name, const std::string& text) {
    std::erase_if(files, [&name](const auto& f) { return f.first == name; });
    files.emplace_back(name, text);
  };
  std::string marker;  // the "<!-- ... -->" line right before the block
  Case* open_case = nullptr;  // the example whose output may follow
  for (std::size_t at = 0; at < doc.size();) {
    std::size_t eol = doc.find('\n', at);
    if (eol == std::string::npos) eol = doc.size();
    const std::string line = doc.substr(at, eol - at);
    at = eol + 1;
    if (line.rfind("<!-- ", 0) == 0 && line.size() > 9 && line.compare(line.size() - 4, 4, " -->") == 0) {
      marker = line.substr(5, line.size() - 9);
      continue;
    }
    if (line.rfind("```", 0) != 0) {
      if (!line.empty()) marker.clear();  // a marker stands right before its block
      continue;
    }
    const std::size_t end = doc.find("\n```\n", at - 1);
    if (end == std::string::npos) break;
    const std::string body = doc.substr(at, end + 1 - at);
    at = end + 5;
    const std::string info = line.substr(3);
    if (info == "text" && marker.rfind("run: ", 0) == 0) {
      Case c;
      c.name = "docs/" + page.stem().string();
      c.args = Words("run " + marker.substr(5));
      c.files = files;
      c.lf_only = true;
      c.out = Trimmed(body);
      c.elided = c.out.find("...") != std::string::npos;
      cases.push_back(std::move(c));
      open_case = nullptr;
    } else if (info == "text" && open_case != nullptr) {
      open_case->out = Trimmed(body);
      open_case->out_prefix = false;
      open_case->elided = open_case->out.find("...") != std::string::npos;
      open_case = nullptr;
    } else if (marker.rfind("file: ", 0) == 0) {
      keep(marker.substr(6), body);
      open_case = nullptr;
    } else if (marker.rfind("page: ", 0) == 0 || info == "vb") {
      Case c;
      c.name = "docs/" + page.stem().string();
      if (info == "vb" && marker.rfind("page: ", 0) != 0) {
        c.files = {{"example.hvs", body}};
        c.files.insert(c.files.end(), files.begin(), files.end());
      } else {
        c.args = Words("run " + marker.substr(6));
        keep(c.args.size() > 1 ? c.args[1] : "page.hvp", body);  // for the "<!-- run: -->" examples after it
        c.files = files;
      }
      c.lf_only = true;
      c.out_prefix = true;  // until a ```text block shows the output: any
      cases.push_back(std::move(c));
      open_case = &cases.back();
    } else {
      open_case = nullptr;
    }
    marker.clear();
  }
}

// Whether `out` is what `expected` shows, where a line "..." of `expected`
// stands for any text (none included).
bool ShownAs(const std::string& out, const std::string& expected) {
  const std::string o = "\n" + out + "\n", e = "\n" + expected + "\n";
  std::size_t at = 0, from = 0;  // `at`: where the next piece may begin in `o`
  for (std::size_t gap; (gap = e.find("\n...\n", from)) != std::string::npos; from = gap + 4) {
    const std::string piece = e.substr(from, gap + 1 - from);
    const std::size_t found = from > 0 ? o.find(piece, at) : o.compare(0, piece.size(), piece) == 0 ? 0 : o.npos;
    if (found == std::string::npos) return false;
    at = found + piece.size() - 1;
  }
  const std::string last = e.substr(from);
  if (from == 0) return o == last;
  return o.size() >= at + last.size() && o.compare(o.size() - last.size(), last.size(), last) == 0;
}

// The files of `dir` named *`ext`, in order.
std::vector<fs::path> FilesOf(const fs::path& dir, const char* ext) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ext) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const fs::path& f : FilesOf(HALVANE_CASES_DIR, ".txt")) ReadCaseFile(f, cases);
  for (const fs::path& p : FilesOf(HALVANE_DOCS_DIR, ".md")) ReadDocs(p, cases);
  return cases;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RunCase : public ::testing::TestWithParam<Case> {};

TEST_P(RunCase, GivesItsOutputAndStatus) {
  const Case& c = GetParam();
  ASSERT_FALSE(c.files.empty() && c.args.empty()) << c.name;
  const fs::path dir = fs::temp_directory_path() / ("halvane-case-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "site");
  for (const auto& [name, text] : c.files) {
    const std::size_t arrow = name.find(" -> ");
    const fs::path p = dir / "site" / name.substr(0, arrow);
    fs::create_directories(p.parent_path());
    if (arrow != std::string::npos) {
      fs::create_symlink(name.substr(arrow + 4), p);
    } else {
      std::ofstream(p, std::ios::binary) << text;
    }
  }
  std::string cmd = "cd " + Quote((dir / "site").string()) + " && " + Quote(HALVANE_BIN);
  for (const std::string& a : c.args.empty() ? std::vector<std::string>{"run", c.files[0].first} : c.args)
    cmd += ' ' + Quote(a);
  cmd += " > ../out 2> ../err";
  cmd += std::any_of(c.files.begin(), c.files.end(), [](const auto& f) { return f.first == "stdin"; }) ? " < stdin"
                                                                                                       : " < /dev/null";
  const int raw = std::system(cmd.c_str());
  std::string out = ReadFile(dir / "out");
  std::string err = ReadFile(dir / "err");
  fs::remove_all(dir);
  if (c.lf_only) {
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    out = Trimmed(out);
  }
  if (c.elided) {
    EXPECT_TRUE(ShownAs(out, c.out)) << "the output:\n" << out << "\nis not what the docs show:\n" << c.out;
  } else {
    EXPECT_EQ(c.out_prefix ? out.substr(0, c.out.size()) : out, c.out);
  }
  EXPECT_EQ(c.err_prefix ? err.substr(0, c.err.size()) : err, c.err);
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status);
}

// A case's title, cut short: ctest pads every line to the longest name.
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string n = info.param.name.substr(0, 40) + "_" + std::to_string(info.index);
  std::replace_if(n.begin(), n.end(), [](unsigned char ch) { return !std::isalnum(ch); }, '_');
  return n;
}

INSTANTIATE_TEST_SUITE_P(Cases, RunCase, ::testing::ValuesIn(AllCases()), CaseName);

// docs/README.md is the index of the documentation: it leads to every page.
TEST(DocsIndex, ListsEveryPage) {
  const std::string index = ReadFile(fs::path(HALVANE_DOCS_DIR) / "README.md");
  for (const fs::path& page : FilesOf(HALVANE_DOCS_DIR, ".md")) {
    const std::string name = page.filename().string();
    if (name == "README.md") continue;
    EXPECT_NE(index.find("](" + name + ")"), std::string::npos) << name << " is not in docs/README.md";
  }
}

}  // namespace
