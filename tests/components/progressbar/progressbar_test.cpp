#include "components/progressbar/progressbar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace halvane {
namespace {

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}

std::string Cells() {
  std::string s;
  for (int i = 1; i <= 100; ++i)
    s += "<span id=\"progress" + std::to_string(i) + "\"><img src='' width=2 height=5></span>";
  return s;
}

const std::string kHidePage =
    "<Script Language=\"JavaScript\">document.getElementById('page').style.display = 'none';</Script>\r\n";
const std::string kShowPage =
    "<Script Language=\"JavaScript\">document.getElementById('page').style.display = 'block';</Script>\r\n";

// The expected Show text for an end line, a colour and the two options.
std::string ExpectedShow(const std::string& end_line, const std::string& color, bool hide_output, bool hide_bar) {
  std::vector<std::string> lines = {
      "<SCRIPT LANGUAGE=\"JavaScript\">",
      "function hideIt() {",
      "document.getElementById('progress').style.display = 'none'; }",
      end_line,
      "var progressColor = '" + color + "';",
      "var progressAt;",
      "function progress_clear() {",
      "for (var i = 1; i <= 100; i++) {",
      "document.getElementById('progress'+i).style.backgroundColor = 'transparent';",
      "}",
      "}",
      "function progress_update(progressIndex) {",
      "progressAt = parseInt(100 / (parseFloat(progressEnd) / parseFloat(progressIndex)));",
      "if (progressAt < 0) progressAt = 0;",
      "if (progressAt > 100) progressAt = 100;",
      "progress_clear();",
      "if (progressAt != 0) {",
      "for (var i = 1; i <= progressAt; i++) {",
      "document.getElementById('progress'+i).style.backgroundColor = progressColor;",
      "}",
      "Display.innerHTML = \"<font style='FONT-SIZE: 10pt'>\" + parseInt((progressAt/100)*100) + \"&nbsp;%</font>\";",
      "}else{",
      "Display.innerHTML = \"<font style='FONT-SIZE: 10pt'>\" + 0 + \"&nbsp;%</font>\";",
      "}",
      "}",
  };
  if (hide_bar) lines.push_back("window.onload=hideIt;");
  lines.push_back("</script>");
  lines.push_back("<div id=\"progress\">");
  lines.push_back("<table border=0><tr><td><div style=\"padding:2px;border:solid black 1px;\">");
  lines.push_back(
      Cells() +
      "</div></td><td id=Display align=left><font style=\"FONT-SIZE: 10pt\">0&nbsp;%</font></td></tr></table>");
  lines.push_back("</div>");
  lines.push_back("<div id=\"page\">");
  return Join(lines) + (hide_output ? kHidePage : "");
}

int Lines(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

TEST(ProgressBar, NewObjectDefaults) {
  ProgressBar bar;
  EXPECT_EQ(bar.GetValue().Type(), VarType::Long);
  EXPECT_EQ(bar.GetValue().RawInt(), 0);
  EXPECT_EQ(bar.Max().Type(), VarType::Long);
  EXPECT_EQ(bar.Max().RawInt(), 0);
  EXPECT_EQ(bar.Color().Type(), VarType::String);
  EXPECT_EQ(ToString(bar.Color()), "0000ff");
}

TEST(ProgressBar, ShowWithTwoFalseArgumentsIs31Lines) {
  ProgressBar bar;
  const std::string out = bar.Show(Variant(false), Variant(false));
  EXPECT_EQ(out, ExpectedShow("var progressEnd = 100;", "0000ff", false, false));
  EXPECT_EQ(Lines(out), 31);
}

TEST(ProgressBar, ShowWithTwoTrueArgumentsIs33Lines) {
  ProgressBar bar;
  bar.Max(Variant(250));
  const std::string out = bar.Show(Variant(true), Variant(true));
  EXPECT_EQ(out, ExpectedShow("var progressEnd = 250;", "0000ff", true, true));
  EXPECT_EQ(Lines(out), 33);
}

TEST(ProgressBar, Line30HoldsExactlyOneHundredCells) {
  ProgressBar bar;
  const std::string out = bar.Show(Variant(false), Variant(false));
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < out.size()) {
    const std::size_t end = out.find("\r\n", pos);
    lines.push_back(out.substr(pos, end - pos));
    pos = end + 2;
  }
  // Without the onload line, the cells stand on the 29th line.
  ASSERT_EQ(lines.size(), 31u);
  const std::string& cells = lines[28];
  EXPECT_EQ(cells.rfind("<span id=\"progress1\">", 0), 0u);
  std::size_t count = 0;
  for (std::size_t p = cells.find("<span"); p != std::string::npos; p = cells.find("<span", p + 1)) ++count;
  EXPECT_EQ(count, 100u);
  EXPECT_NE(cells.find("progress100\"><img src='' width=2 height=5></span></div>"), std::string::npos);
  EXPECT_EQ(cells.find(' ' + std::string("<span")), std::string::npos);
}

TEST(ProgressBar, MaxAndColorAreSplicedAsStored) {
  ProgressBar bar;
  bar.Max(Variant(-5));
  bar.Color(Variant(255));
  EXPECT_EQ(ToString(bar.Color()), "255");
  EXPECT_EQ(bar.Show(Variant(false), Variant(false)), ExpectedShow("var progressEnd = -5;", "255", false, false));
  bar.Max(Variant(0));
  bar.Color(Variant("o'dd"));
  EXPECT_EQ(bar.Show(Variant(false), Variant(false)), ExpectedShow("var progressEnd = 100;", "o'dd", false, false));
  bar.Max(Variant(2.5));
  EXPECT_EQ(bar.Max().RawInt(), 2);
  bar.Max(Variant("12"));
  EXPECT_EQ(bar.Max().RawInt(), 12);
}

TEST(ProgressBar, SetValueScriptAndStoredValue) {
  ProgressBar bar;
  EXPECT_EQ(bar.SetValue(Variant(42)), "<SCRIPT LANGUAGE=\"JavaScript\">progress_update(42);</script>\r\n");
  EXPECT_EQ(bar.GetValue().RawInt(), 42);
  EXPECT_EQ(bar.SetValue(Variant(-1)), "<SCRIPT LANGUAGE=\"JavaScript\">progress_update(-1);</script>\r\n");
  EXPECT_EQ(bar.SetValue(Variant(3.5)), "<SCRIPT LANGUAGE=\"JavaScript\">progress_update(4);</script>\r\n");
  Variant arg("12");
  bar.SetValue(arg);
  EXPECT_EQ(arg.Type(), VarType::String);  // the argument itself is left alone
  EXPECT_EQ(bar.GetValue().RawInt(), 12);
}

TEST(ProgressBar, FailedConversionsChangeNothing) {
  ProgressBar bar;
  bar.Max(Variant(7));
  bar.SetValue(Variant(3));
  for (const Variant& bad : {Variant("abc"), Variant::Null(), Variant(3e10)}) {
    try {
      bar.Max(bad);
      FAIL();
    } catch (const Error& e) {
      EXPECT_EQ(e.Source(), "Halvane.ProgressBar");
    }
    EXPECT_THROW(bar.SetValue(bad), Error);
  }
  EXPECT_EQ(bar.Max().RawInt(), 7);
  EXPECT_EQ(bar.GetValue().RawInt(), 3);
  try {
    bar.Color(Variant::Null());
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 94);
    EXPECT_EQ(e.Description(), "Invalid use of Null");
    EXPECT_EQ(e.Status(), 0x800A005Eu);
  }
  EXPECT_EQ(ToString(bar.Color()), "0000ff");
}

TEST(ProgressBar, ShowWritesConvertedBooleansBack) {
  ProgressBar bar;
  Variant during("True");
  Variant after("0");
  const std::string out = bar.Show(during, after);
  EXPECT_EQ(out, ExpectedShow("var progressEnd = 100;", "0000ff", true, false));
  EXPECT_EQ(during.Type(), VarType::Boolean);
  EXPECT_EQ(during.RawInt(), -1);
  EXPECT_EQ(after.Type(), VarType::Boolean);
  EXPECT_EQ(after.RawInt(), 0);

  // Through references, the caller's own variables receive the Booleans.
  Variant a(std::int16_t{5});
  Variant b(std::int16_t{0});
  Variant ra = Variant::Ref(a);
  Variant rb = Variant::Ref(b);
  bar.Show(ra, rb);
  EXPECT_EQ(a.Type(), VarType::Boolean);
  EXPECT_EQ(b.Type(), VarType::Boolean);
}

TEST(ProgressBar, ShowFailureOnSecondArgumentKeepsTheFirstConverted) {
  ProgressBar bar;
  Variant during("1");
  Variant after("maybe");
  try {
    bar.Show(during, after);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 13);
    EXPECT_EQ(e.Source(), "Halvane.ProgressBar");
  }
  EXPECT_EQ(during.Type(), VarType::Boolean);
  EXPECT_EQ(during.RawInt(), -1);
  EXPECT_EQ(after.Type(), VarType::String);
}

TEST(ProgressBar, HideOutputLinesAndWriteBack) {
  ProgressBar bar;
  Variant yes(std::int16_t{7});
  EXPECT_EQ(bar.HideOutput(yes), kHidePage);
  EXPECT_EQ(yes.Type(), VarType::Boolean);
  EXPECT_EQ(bar.HideOutput(Variant(false)), kShowPage);
  Variant bad("x");
  EXPECT_THROW(bar.HideOutput(bad), Error);
  EXPECT_EQ(bad.Type(), VarType::String);
}

}  // namespace
}  // namespace halvane
