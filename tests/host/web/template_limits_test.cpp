// Include expansion is bounded in count and in total size, not only in
// depth: files that include each other many times over are refused with a
// syntax error naming the include that passed the bound.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "host/web/template.h"

namespace halvane::web {
namespace {

namespace fs = std::filesystem;

class TemplateLimits : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("halvane-template-limits-" + std::to_string(::getpid()));
    fs::create_directories(root_);
    options_.root = root_;
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const std::string& name, const std::string& text) { std::ofstream(root_ / name) << text; }

  // Each of `levels` files includes the next twice; the last holds `leaf`.
  // The page reads 2 + 4 + ... + 2^levels includes.
  // (Names are appended piece by piece: GCC 12 misreads a literal plus a
  // number's text as overlapping copies.)
  static std::string Name(int k) {
    std::string name = "e";
    name += std::to_string(k);
    name += ".inc";
    return name;
  }
  void Doubling(int levels, const std::string& leaf) {
    for (int k = 1; k < levels; ++k) {
      std::string next = "<!--#include file=\"";
      next += Name(k + 1);
      next += "\"-->";
      Write(Name(k), next + next);
    }
    Write(Name(levels), leaf);
  }

  std::string Error(const std::string& page) {
    try {
      ExpandTemplate(page, "page.hvp", root_ / "page.hvp", options_);
    } catch (const TemplateError& e) {
      return e.what();
    }
    return "";
  }

  fs::path root_;
  TemplateOptions options_;
};

TEST_F(TemplateLimits, IncludesAreCountedAndSized) {
  const std::string page = "<!--#include file=\"e1.inc\"--><!--#include file=\"e1.inc\"-->";
  Doubling(9, "x");  // 2 + 4 + ... + 512 = 1022 includes
  options_.max_includes = 1022;
  EXPECT_EQ(Error(page), "");
  options_.max_includes = 1021;
  EXPECT_NE(Error(page).find("the page reads more than 1021 includes (\"e9.inc\")"), std::string::npos)
      << Error(page);
  // 512 copies of 2 KiB: 1 MiB of text in all, and a byte more is refused.
  options_.max_includes = 100000;
  Doubling(9, std::string(2048, 'x'));
  const std::size_t inner = 2 * std::string("<!--#include file=\"eN.inc\"-->").size();
  options_.max_total_size = (std::size_t{1} << 20) + page.size() + inner * (2 + 4 + 8 + 16 + 32 + 64 + 128 + 256);
  EXPECT_EQ(Error(page), "");
  options_.max_total_size -= 1;
  std::string want = "are larger than ";
  want += std::to_string(options_.max_total_size);
  want += " bytes in all (\"e9.inc\")";
  EXPECT_NE(Error(page).find(want), std::string::npos) << Error(page);
}

}  // namespace
}  // namespace halvane::web
