// The page script a host puts in front of a page: the compatibility script,
// then the accessibility layer, each one <script> block of its .js file with
// CR LF line ends, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "components/compat/browser_compat.h"

namespace {

const std::filesystem::path kCompatDir =
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path() / "components" / "compat";

// The block a .js file becomes: "<script>" CR LF, its lines with CR LF ends
// (a CR LF in the file stays one line end), "</script>" CR LF.
std::string BlockOf(const std::string& name) {
  std::ifstream in(kCompatDir / name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string out = "<script>\r\n";
  for (char c : text.str()) {
    if (c == '\r') continue;
    if (c == '\n') out += '\r';
    out += c;
  }
  if (out.back() != '\n') out += "\r\n";
  return out + "</script>\r\n";
}

TEST(PageScript, BlocksAreTheScriptFilesWithCrLf) {
  const std::string compat = halvane::BrowserCompatScript();
  const std::string a11y = halvane::AccessibilityScript();
  EXPECT_EQ(compat, BlockOf("browser_compat.js"));
  EXPECT_EQ(a11y, BlockOf("accessibility.js"));
  for (const std::string* block : {&compat, &a11y}) {
    // One end tag, at the end; every LF follows a CR.
    EXPECT_EQ(block->find("</script"), block->size() - 11);
    for (std::size_t i = 0; i < block->size(); ++i) {
      if ((*block)[i] == '\n') {
        ASSERT_TRUE(i > 0 && (*block)[i - 1] == '\r') << i;
      }
    }
  }
}

TEST(PageScript, LayerFollowsTheCompatibilityScriptUnlessLeftOut) {
  const std::string compat = halvane::BrowserCompatScript();
  EXPECT_EQ(halvane::PageScript(), compat + halvane::AccessibilityScript());
  EXPECT_EQ(halvane::PageScript(true), halvane::PageScript());
  EXPECT_EQ(halvane::PageScript(false), compat);
  // A fresh text on every call: a caller may change its copy.
  std::string first = halvane::PageScript();
  first[0] = 'x';
  EXPECT_EQ(halvane::PageScript().substr(0, 8), "<script>");
}

}  // namespace
