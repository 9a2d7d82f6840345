// The interpreter against hostile pages and under its run limits: very long
// chains and deep nesting, large sources, the step, time and string limits,
// cancellation, and the host's Sleep hook.  (What pages write and the errors
// they give are the case files of tests/host/cases.)
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "host/script/interpreter.h"
#include "host/script/program.h"
#include "host/web/page_io.h"
#include "support/data_files.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#define HALVANE_HEAP_BYTES() __sanitizer_get_current_allocated_bytes()
#else
#include <malloc.h>
#define HALVANE_HEAP_BYTES() mallinfo2().uordblks
#endif

namespace halvane::script {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A run's result and response, with how much had been written at each Flush.
struct Ran : web::ResponseSink {
  void SendHead(const web::PageResponse&) override {}
  void SendBody(std::string_view t) override { out.append(t); }
  void Flushed() override { flushes.push_back(out.size()); }
  Result result;
  std::string out;
  std::vector<std::size_t> flushes;
};

Ran RunText(const std::string& source, const Limits& limits = {}) {
  Ran ran;
  ran.result = Run(*Parse(source, "t.hvs"), ran, limits);
  return ran;
}

std::string Repeat(std::string_view s, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out.append(s);
  return out;
}

TEST(ScriptLimits, LongChainsRunWithoutDeepRecursion) {
  // 25,000 operands and 30,000 members in one statement.
  EXPECT_EQ(RunText("x = \"a\"" + Repeat(" & \"a\"", 25000) + "\nResponse.Write Len(x)").out, "25001");
  EXPECT_EQ(RunText("x = 1" + Repeat(" + 1", 25000) + " * 2 - 1\nResponse.Write x").out, "25001");
  EXPECT_EQ(RunText("x = 2" + Repeat(" ^ 1", 30000) + "\nResponse.Write x").out, "2");
  const Ran r = RunText("Set t = CreateObject(\"Halvane.Tree\")\nx = t" + Repeat(".Width", 30000));
  EXPECT_EQ(r.result.outcome, Outcome::Error);
  EXPECT_EQ(r.result.number, 424);
}

TEST(ScriptLimits, DeepNestingIsASyntaxError) {
  for (const std::string& src : {"x = " + Repeat("(", 100000) + "1", "x = " + Repeat("-", 100000) + "1",
                                 Repeat("If True Then\n", 1000), "x = " + Repeat("Not ", 100000) + "1"}) {
    try {
      Parse(src, "t.hvs");
      ADD_FAILURE() << "parsed";
    } catch (const SyntaxError& e) {
      EXPECT_EQ(e.Message(), "nesting too deep");
    }
  }
}

TEST(ScriptLimits, LargeSourcesParseInBoundedMemory) {
  // A million-operand line is freed after being skipped, or after failing.
  const std::string line = "x = 1" + Repeat("+1", 1000000);
  EXPECT_EQ(RunText("If False Then\n" + line + "\nEnd If\nResponse.Write \"done\"").out, "done");
  EXPECT_THROW(Parse("If False Then\n" + line + "\nEnd If\nx = = 1", "t.hvs"), SyntaxError);
  // 4 MB (the largest page a server takes) of short statements, the
  // costliest shape per byte: about 42 bytes a source byte in a Release
  // build, where a naive tree took hundreds.
  const std::string src = Repeat("a = a & b & 1\n", 4u << 20 >> 4);
  const std::size_t before = HALVANE_HEAP_BYTES();
  auto program = Parse(src, "t.hvs");
  const std::size_t used = HALVANE_HEAP_BYTES() - before;
  EXPECT_LT(used, src.size() * 48) << used;
  RecordProperty("parse_bytes_per_source_byte", static_cast<int>(used / src.size()));
}

TEST(ScriptLimits, StepsTimeAndCancellationStopARun) {
  Limits steps;
  steps.max_steps = 1000;
  auto program = Parse("On Error Resume Next\nFor i = 1 To 2 Step 0\nx = 1\nNext", "loop.hvs");
  Ran c;
  const Result res = script::Run(*program, c, steps);
  EXPECT_EQ(res.steps, 1001u);
  EXPECT_EQ(Describe(*program, res), "loop.hvs:3: stopped: the script ran more statements than its limit allows");
  // The deadline stops a Sleep, and one long statement (30,000 operands of
  // 100 kB each) within it.
  Limits time;
  auto start = steady_clock::now();
  time.deadline = start + milliseconds(50);
  Ran r = RunText("Response.Write \"a\"\nResponse.Flush\nSleep 60000\nResponse.Write \"b\"", time);
  EXPECT_EQ(r.result.outcome, Outcome::Timeout);
  EXPECT_EQ(r.result.line, 3);
  EXPECT_EQ(r.out, "a");
  EXPECT_EQ(r.flushes, std::vector<std::size_t>{1});
  time.deadline = steady_clock::now() + milliseconds(50);
  EXPECT_EQ(RunText("x = 0" + Repeat(" + Len(Space(100000))", 30000), time).result.outcome, Outcome::Timeout);
  EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(2));
  // Searches take linear time whatever the text: these end well within a
  // limit that a quadratic search of them would pass by minutes (the bound
  // leaves room for a sanitizer build on a busy machine).
  time.deadline = steady_clock::now() + std::chrono::seconds(20);
  const auto search = steady_clock::now();
  Ran found = RunText(
      "s = String(4000000, \"a\") : f = String(2000000, \"a\") & \"b\"\n"
      "Response.Write InStr(s, f) & InStrRev(s, f) & InStr(1, s, f, 1) & UBound(Split(s, f)) & Len(Replace(s, f, \"\"))",
      time);
  EXPECT_EQ(found.out, "0000" + std::to_string(4000000));
  EXPECT_LT(steady_clock::now() - search, std::chrono::seconds(10));
  // Cancellation is polled within a statement too.
  Limits cancel;
  int polls = 0;
  cancel.cancelled = [&] { return ++polls > 3; };
  EXPECT_EQ(RunText("x = \"\"" + Repeat(" & Space(100000)", 3000), cancel).result.outcome, Outcome::Cancelled);
  polls = 100;
  EXPECT_EQ(RunText("Sleep 10000", cancel).result.outcome, Outcome::Cancelled);
  // Split polls as it makes its parts: 40,961 parts of a text written out
  // in the page, one statement.
  polls = 0;
  EXPECT_EQ(RunText("x = Split(\"" + std::string(40960, ',') + "\", \",\")", cancel).result.outcome,
            Outcome::Cancelled);
  // A response that can no longer be sent cancels the run, On Error or not.
  class Closing : public web::ResponseSink {
   public:
    void SendHead(const web::PageResponse&) override {}
    void SendBody(std::string_view) override {}
    void Flushed() override { throw Cancelled(); }
  } closing;
  EXPECT_EQ(script::Run(*Parse("On Error Resume Next\nResponse.Flush\nResponse.Write 1", "c.hvs"), closing).outcome,
            Outcome::Cancelled);
}

// The time this thread has run, which a busy machine does not stretch.
steady_clock::duration ThreadTime() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

// One call on a text of many megabytes stops at the time limit too: each
// of these would take far longer than the limit in one piece.  The limit
// falls after the text is made (timed first), inside the calls.  The page
// polls its time limit and its cancel hook at the same places; the hook
// counts the thread's own run time, so that a machine busy with other work
// neither moves the limit into the making of the text nor counts its own
// delays as the call's.
TEST(ScriptLimits, TheTimeLimitHoldsInsideLongBuiltInCalls) {
  const std::string make = "s = String(30000000, ChrW(233))\nResponse.Write \"made\"\nResponse.Flush\n";
  const auto t0 = ThreadTime();
  ASSERT_EQ(RunText(make).out, "made");
  const auto making = ThreadTime() - t0;
  for (const char* call : {"n = InStr(1, s, \"x\", 1)", "n = InStrRev(s, \"x\")", "t = UCase(s)",
                           "t = StrReverse(s)", "t = Space(60000000)", "t = String(60000000, \"a\")",
                           "t = Replace(s, \"x\", \"y\", 1, -1, 1)", "t = Replace(s, ChrW(233), \"e\")",
                           "u = Split(s, \"x\")", "u = Split(s, ChrW(233) & \"x\")"}) {
    Limits time;
    const auto limit = ThreadTime() + 2 * making + milliseconds(200);
    time.cancelled = [&] { return ThreadTime() >= limit; };
    Ran ran = RunText(make + "For i = 1 To 50\n" + call + "\nNext\n", time);
    const auto stopped = ThreadTime();
    EXPECT_EQ(ran.result.outcome, Outcome::Cancelled) << call;
    EXPECT_EQ(ran.out.substr(0, 4), "made") << call;
    // Unsliced, these calls overran by seconds; a sanitizer build's last
    // piece takes some hundred milliseconds.
    EXPECT_LT(stopped - limit, milliseconds(500)) << call;
  }
}

// Split makes no more elements than an array may hold (as ReDim): 7, before
// the parts are made.
TEST(ScriptLimits, SplitObeysTheArrayLimit) {
  const Ran r = RunText("On Error Resume Next\nx = Split(String(16777216, \",\"), \",\")\n"
                        "Response.Write Err.Number & \" \" & IsEmpty(x) & \" \" & UBound(Split(String(16777216, \",\"), \",\", 3))");
  EXPECT_EQ(r.out, "7 True 2");
}

TEST(ScriptLimits, EveryStringRespectsTheLimit) {
  Limits limits;
  limits.max_string = 1000;
  const auto rows = test_support::ReadRows(HALVANE_TEST_DIR "/string_limit_scripts.txt");
  EXPECT_EQ(rows.size(), 7u);
  for (const auto& row : rows) {
    const Ran r = RunText(row[0], limits);
    EXPECT_EQ(r.result.number, 14) << row[0];
    EXPECT_EQ(r.result.description, "Out of string space") << row[0];
  }
}

// Work inside one statement polls as it goes, but not at every item: a
// chain of 4,096 operands, and Join and Split over 100,000 items.
TEST(ScriptLimits, LongStatementsPollAsTheyGoAndNotAtEveryItem) {
  const auto polls = [](const std::string& script) {
    Limits counting;
    int n = 0;
    counting.cancelled = [&] { return ++n < 0; };
    EXPECT_EQ(RunText(script, counting).result.outcome, Outcome::Completed) << script;
    return n;
  };
  std::string chain = "x = 1";
  for (int i = 1; i < 4096; ++i) chain += " + 1";
  const int chained = polls(chain) - polls("x = 1");
  EXPECT_GE(chained, 200);
  EXPECT_LE(chained, 600);
  const std::string items = "Dim a(99999)\nt = String(99999, \",\")\n";
  const int base = polls(items);
  for (const char* call : {"x = Join(a)", "x = Split(t, \",\")"}) {
    const int n = polls(items + call) - base;
    EXPECT_GE(n, 20) << call;
    EXPECT_LE(n, 100) << call;
  }
}

TEST(ScriptLimits, SleepUsesTheHostsHook) {
  Limits limits;
  milliseconds slept{0};
  limits.sleep = [&](milliseconds ms) { slept += ms; };
  const auto start = steady_clock::now();
  EXPECT_EQ(RunText("Sleep 1500\nSleep 20000\nResponse.Write \"woke\"", limits).out, "woke");
  EXPECT_EQ(slept.count(), 21500);
  EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace halvane::script
