// The page script a host puts in front of a page: the compatibility script,
// then the accessibility layer, each one <script> block of its .js file with
// CR LF line ends, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "components/compat/browser_compat.h"
#include "support/data_files.h"

namespace {

const std::filesystem::path kCompatDir =
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path() / "components" / "compat";

// The block a .js file becomes: "<script>" CR LF, its lines with CR LF ends
// (a CR LF in the file stays one line end), "</script>" CR LF.
std::string BlockOf(const std::string& name) {
  std::string out = "<script>\r\n";
  for (char c : halvane::test_support::ReadFile(kCompatDir / name)) {
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
  // One end tag, at the end.  (Every LF follows a CR: BlockOf writes each
  // line end as CR LF, and the blocks are equal to its text.)
  for (const std::string* block : {&compat, &a11y}) EXPECT_EQ(block->find("</script"), block->size() - 11);
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
