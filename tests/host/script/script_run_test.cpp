// Page-script statements, expressions, functions and the run limits.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "host/script/script_test_util.h"

namespace halvane::script {
namespace {

using testing::Out;
using testing::Ran;
using testing::RunText;
using Clock = std::chrono::steady_clock;

TEST(ScriptStatements, VariablesStartEmptyAndAssignmentDeclares) {
  EXPECT_EQ(Out("Dim a, b\nResponse.Write TypeName(a) & TypeName(b) & TypeName(never)\n"
                "c = 5\nc = c & \"!\"\nResponse.Write \" \" & c & TypeName(c)"),
            "EmptyEmptyEmpty 5!String");
  // Dim of a variable that holds a value leaves it alone.
  EXPECT_EQ(Out("a = 1\nDim a\nResponse.Write a"), "1");
}

TEST(ScriptStatements, ResponseWriteTextOfEveryKind) {
  EXPECT_EQ(Out("Response.Write Null\nResponse.Write Empty\nResponse.Write 7\nResponse.Write 1.5\n"
                "Response.Write True\nResponse.Write #12/4/2026#\nResponse.Write (\"x\")"),
            "71.5True12/4/2026x");
  Ran r = RunText("Response.Write \"a\"\nResponse.Flush\nResponse.Write \"bc\"\nResponse.Flush\nResponse.Flush");
  EXPECT_EQ(r.out, "abc");
  EXPECT_EQ(r.flushes, (std::vector<std::size_t>{1, 3, 3}));
}

TEST(ScriptStatements, ForCountsUpDownAndNests) {
  EXPECT_EQ(Out("For i = 1 To 3\nResponse.Write i\nNext"), "123");
  EXPECT_EQ(Out("For i = 10 To 1 Step -3\nResponse.Write i & \",\"\nNext i\nResponse.Write i"), "10,7,4,1,-2");
  EXPECT_EQ(Out("For i = 3 To 1\nResponse.Write i\nNext\nResponse.Write \"after\" & i"), "after3");
  EXPECT_EQ(Out("For i = 1 To 2 : For j = 1 To 3 Step 2 : Response.Write i & j & \" \" : Next : Next"), "11 13 21 23 ");
  // Bounds are read once; the body may move the counter.
  EXPECT_EQ(Out("n = 3\nFor i = 1 To n\nn = 10\nResponse.Write i\nNext"), "123");
  EXPECT_EQ(Out("For i = 1 To 10\nResponse.Write i\ni = 20\nNext\nResponse.Write \" \" & i"), "1 21");
}

TEST(ScriptStatements, ForCounterTakesTheKindOfItsBoundsAndStep) {
  EXPECT_EQ(Out("For i = 1 To 1\nResponse.Write TypeName(i)\nNext\nFor j = 1 To 40000 Step 39999\n"
                "Response.Write TypeName(j)\nNext\nFor k = 2.5 To 3\nResponse.Write k\nNext"),
            "IntegerLongLong2.5");
  // A loop up to the largest Integer (or down to the smallest) ends after
  // its last round; the counter keeps that round's value.
  Ran r = RunText("For i = 32766 To 32767\nResponse.Write i & \" \"\nNext\nResponse.Write i");
  EXPECT_EQ(r.out, "32766 32767 32767");
  EXPECT_EQ(r.result.outcome, Outcome::Completed);
  EXPECT_EQ(Out("For i = -32767 To -32768 Step -1\nResponse.Write i\nNext"), "-32767-32768");
  EXPECT_EQ(Out("For i = 2147483646 To 2147483647\nResponse.Write i\nNext"), "21474836462147483647");
  // So does a loop whose body moved the counter to the end of its range.
  EXPECT_EQ(Out("For i = 1 To 5\ni = 32767\nNext\nResponse.Write i"), "32767");
  // A step of another kind widens the counter.
  EXPECT_EQ(Out("For i = 1 To 2 Step 40000\nResponse.Write TypeName(i)\nNext\nResponse.Write i"), "Long40001");
  r = RunText("For i = \"a\" To 2\nNext");
  EXPECT_EQ(r.result.number, 13);
}

TEST(ScriptStatements, IfUsesTheTruthTest) {
  const char* tmpl = "If %s Then\nResponse.Write \"T\"\nElse\nResponse.Write \"F\"\nEnd If";
  auto run = [&](const char* cond) {
    char buf[256];
    std::snprintf(buf, sizeof buf, tmpl, cond);
    return Out(buf);
  };
  EXPECT_EQ(run("1"), "T");
  EXPECT_EQ(run("0"), "F");
  EXPECT_EQ(run("\"True\""), "T");
  EXPECT_EQ(run("\"false\""), "F");
  EXPECT_EQ(run("\"0.5\""), "T");
  EXPECT_EQ(run("Null"), "F");
  EXPECT_EQ(run("Empty"), "F");
  EXPECT_EQ(run("-1 & \"\""), "T");
  EXPECT_EQ(Out("If 1 Then\nIf 0 Then\nResponse.Write 1\nElse Response.Write 2\nEnd If\nEnd If"), "2");
  Ran r = RunText("If \"yes\" Then\nResponse.Write 1\nEnd If");
  EXPECT_EQ(r.result.number, 13);
  EXPECT_EQ(r.out, "");
}

TEST(ScriptStatements, SleepPausesWithinItsRange) {
  auto start = Clock::now();
  EXPECT_EQ(Out("Sleep 30\nSleep 0\nResponse.Write \"x\""), "x");
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
  for (const char* bad : {"Sleep -1", "Sleep 60001"}) {
    Ran r = RunText(bad);
    EXPECT_EQ(r.result.number, 5) << bad;
    EXPECT_EQ(r.result.description, "Invalid procedure call or argument");
    EXPECT_EQ(r.result.status, 0x800A0005u);
  }
  EXPECT_EQ(RunText("Sleep Null").result.number, 94);
}

TEST(ScriptExpressions, ConcatenationAndNegation) {
  EXPECT_EQ(Out("Response.Write TypeName(Null & Null) & TypeName(\"\" & Null) & (\"a\" & Null) & (1 & 2) & "
                "TypeName(1 & 2) & (\"a\" & True) & (\"a\" & 2.5)"),
            "NullStringa12StringaTruea2.5");
  EXPECT_EQ(Out("a = \"5\"\nResponse.Write -a & TypeName(-a) & \" \" & -True & \" \" & TypeName(-Null) & "
                "TypeName(-Empty)"),
            "-5Double 1 NullInteger");
}

TEST(ScriptExpressions, Functions) {
  EXPECT_EQ(Out("Response.Write CInt(2.5) & CInt(3.5) & CInt(\"&H10\") & TypeName(CInt(1)) & \" \" & "
                "CLng(\"12\") & TypeName(CLng(1)) & \" \" & CSng(1.5) & TypeName(CSng(1)) & \" \" & "
                "CDbl(\"2.25\") & TypeName(CDbl(1)) & \" \" & CStr(-7) & TypeName(CStr(1)) & \" \" & "
                "CBool(\"false\") & CBool(7) & TypeName(CBool(1)) & \" \" & CDate(\"12/4/2026\") & "
                "TypeName(CDate(\"2026-12-04\"))"),
            "2416Integer 12Long 1.5Single 2.25Double -7String FalseTrueBoolean 12/4/2026Date");
  EXPECT_EQ(Out("Response.Write Len(\"h\xC3\xA9llo\") & TypeName(Len(\"\")) & TypeName(Len(Null)) & Len(12345)"),
            "5LongNull5");
  EXPECT_EQ(Out("Response.Write Chr(65) & Chr(47) & Chr(233) & Len(Chr(0))"),
            "A/\xC3\xA9"
            "1");
  struct Bad {
    const char* expr;
    int number;
  };
  for (const Bad& b : {Bad{"CInt(\"x\")", 13}, Bad{"CLng(2147483648)", 6}, Bad{"CInt(32768)", 6},
                       Bad{"CBool(\"yes\")", 13}, Bad{"CStr(Null)", 94}, Bad{"CDate(\"2/30/2026\")", 13},
                       Bad{"Chr(256)", 5}, Bad{"Chr(-1)", 5}, Bad{"CLng(Null)", 94}}) {
    Ran r = RunText(std::string("x = ") + b.expr);
    EXPECT_EQ(r.result.outcome, Outcome::Error) << b.expr;
    EXPECT_EQ(r.result.number, b.number) << b.expr;
    EXPECT_EQ(r.result.source, "Halvane") << b.expr;
    EXPECT_EQ(r.result.status, 0x800A0000u + static_cast<std::uint32_t>(b.number)) << b.expr;
  }
}

TEST(ScriptErrors, UnhandledErrorStopsAndKeepsWhatWasWritten) {
  Ran r = RunText("Response.Write \"a\"\nResponse.Flush\nResponse.Write \"b\"\nx = CInt(\"z\")\nResponse.Write \"c\"");
  EXPECT_EQ(r.out, "ab");
  EXPECT_EQ(r.result.outcome, Outcome::Error);
  EXPECT_EQ(r.result.line, 4);
  EXPECT_EQ(r.result.number, 13);
  EXPECT_EQ(r.result.description, "Type mismatch");
  auto program = Parse("\n\nx = CInt(\"z\")", "dir/page.hvs");
  testing::Capture c;
  Result res = script::Run(*program, c);
  EXPECT_EQ(Describe(*program, res), "dir/page.hvs:3: error 0x800A000D: number 13, source \"Halvane\": Type mismatch");
  // A failed assignment leaves the variable as it was.
  EXPECT_EQ(Out("x = 1\nOn Error Resume Next\nx = CInt(\"z\")\nResponse.Write x"), "1");
}

TEST(ScriptErrors, ResumeNextFillsErrAndClearResetsIt) {
  EXPECT_EQ(Out("Response.Write Err.Number & TypeName(Err.Number) & \"[\" & Err.Source & Err.Description & \"]\"\n"
                "On Error Resume Next\nx = CStr(Null)\nResponse.Write \" \" & Err.Number & \" \" & Err.Source & "
                "\" \" & Err.Description\nResponse.Write \" still\"\nResponse.Write \" \" & Err.Number\n"
                "Err.Clear\nResponse.Write \" \" & Err.Number & TypeName(Err.Number) & \"[\" & Err.Source & \"]\""),
            "0Long[] 94 Halvane Invalid use of Null still 94 0Long[]");
  // Both On Error statements clear Err; after GoTo 0 errors stop the script again.
  Ran r = RunText(
      "On Error Resume Next\nx = CInt(\"a\")\nOn Error Resume Next\nResponse.Write Err.Number\n"
      "x = CInt(\"a\")\nOn Error GoTo 0\nResponse.Write Err.Number\nx = CInt(\"a\")\nResponse.Write 9");
  EXPECT_EQ(r.out, "00");
  EXPECT_EQ(r.result.outcome, Outcome::Error);
  EXPECT_EQ(r.result.line, 8);
  // The latest error wins.
  EXPECT_EQ(Out("On Error Resume Next\nx = CInt(\"a\")\nx = CInt(70000)\nResponse.Write Err.Number"), "6");
}

TEST(ScriptErrors, FailingIfConditionSkipsTheWholeIf) {
  EXPECT_EQ(Out("On Error Resume Next\nIf CInt(\"x\") Then\nResponse.Write \"then\"\nElse\nResponse.Write \"else\"\n"
                "End If\nResponse.Write \"after \" & Err.Number"),
            "after 13");
  // An error inside a branch goes on with the next statement of that branch.
  EXPECT_EQ(Out("On Error Resume Next\nIf 1 Then\nx = CInt(\"x\")\nResponse.Write \"next\"\nEnd If"), "next");
  // Inside a loop, with the next statement of the body; a failing header skips the loop.
  EXPECT_EQ(Out("On Error Resume Next\nFor i = 1 To 2\nx = CInt(\"x\")\nResponse.Write i\nNext\n"
                "For j = \"x\" To 3\nResponse.Write \"body\"\nNext\nResponse.Write \"end\""),
            "12end");
}

TEST(ScriptLimits, StepLimitStopsARunawayLoop) {
  Limits l;
  l.max_steps = 1000;
  Ran r = RunText("On Error Resume Next\nFor i = 1 To 2 Step 0\nx = 1\nNext", l);
  EXPECT_EQ(r.result.outcome, Outcome::StepLimit);
  EXPECT_EQ(r.result.steps, 1001u);
  auto program = Parse("For i = 1 To 2 Step 0\nNext", "loop.hvs");
  testing::Capture c;
  Result res = script::Run(*program, c, l);
  EXPECT_EQ(Describe(*program, res), "loop.hvs:2: stopped: the script ran more statements than its limit allows");
}

TEST(ScriptLimits, DeadlineStopsLoopsAndSleeps) {
  Limits l;
  l.deadline = Clock::now() + std::chrono::milliseconds(50);
  auto start = Clock::now();
  Ran r = RunText("On Error Resume Next\nFor i = 1 To 2 Step 0\nNext", l);
  EXPECT_EQ(r.result.outcome, Outcome::Timeout);
  l.deadline = Clock::now() + std::chrono::milliseconds(50);
  r = RunText("Response.Write \"a\"\nSleep 60000\nResponse.Write \"b\"", l);
  EXPECT_EQ(r.result.outcome, Outcome::Timeout);
  EXPECT_EQ(r.result.line, 2);
  EXPECT_EQ(r.out, "a");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(ScriptLimits, CancellationHookAndOutputStop) {
  std::atomic<bool> stop{false};
  Limits l;
  l.cancelled = [&] { return stop.load(); };
  stop = true;
  EXPECT_EQ(RunText("Sleep 10000", l).result.outcome, Outcome::Cancelled);
  class Closing : public Output {
   public:
    void Write(std::string_view) override {}
    void Flush() override { throw Cancelled(); }
  } closing;
  auto program = Parse("On Error Resume Next\nResponse.Flush\nResponse.Write 1", "c.hvs");
  EXPECT_EQ(script::Run(*program, closing).outcome, Outcome::Cancelled);
}

TEST(ScriptLimits, StringsStopGrowingAtTheirLimit) {
  Limits l;
  l.max_string = 1000;
  Ran r = RunText("a = \"xxxxxxxxxx\"\nFor i = 1 To 20\na = a & a\nNext", l);
  EXPECT_EQ(r.result.outcome, Outcome::Error);
  EXPECT_EQ(r.result.number, 14);
  EXPECT_EQ(r.result.description, "Out of string space");
  EXPECT_EQ(r.result.line, 3);
}

}  // namespace
}  // namespace halvane::script
