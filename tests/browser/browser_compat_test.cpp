// The embedded browser compatibility script is the repository's .js file,
// whole, as one <script> block with CR LF line ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "halvane.h"

namespace {

std::string ReadSource() {
  const auto path =
      std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "components" / "compat" / "browser_compat.js";
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read " << path;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ToCrlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(BrowserCompatScript, IsTheSourceFileAsOneScriptBlock) {
  const std::string source = ReadSource();
  ASSERT_FALSE(source.empty());
  ASSERT_EQ(source.back(), '\n');
  EXPECT_EQ(halvane::BrowserCompatScript(), "<script>\r\n" + ToCrlf(source) + "</script>\r\n");
}

TEST(BrowserCompatScript, EveryLineEndsWithCrLfAndOnlyTheLastTagClosesTheBlock) {
  const std::string block = halvane::BrowserCompatScript();
  for (std::size_t i = 0; i < block.size(); ++i) {
    if (block[i] == '\n') {
      ASSERT_TRUE(i > 0 && block[i - 1] == '\r') << "bare LF at " << i;
    }
    if (block[i] == '\r') {
      ASSERT_TRUE(i + 1 < block.size() && block[i + 1] == '\n') << "bare CR at " << i;
    }
  }
  EXPECT_EQ(block.find("</"), block.size() - std::string("</script>\r\n").size());
  EXPECT_EQ(block.find("<!--"), std::string::npos);
}

}  // namespace
