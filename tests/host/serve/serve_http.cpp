// halvane serve over real sockets on 127.0.0.1 with a free port: pages equal
// `halvane run`, streaming, path safety, runaway scripts, errors, the parsed
// page cache, the access log, and stopping on a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/serve/server.h"
#include "serve/http_client.h"

namespace halvane::serve {
namespace {

using testing::Fetch;
using testing::Get;
using testing::Socket;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The output and exit status of `halvane run FILE`.
std::pair<std::string, int> HalvaneRun(const fs::path& file) {
  std::string cmd = std::string("'") + HALVANE_BIN + "' run '" + file.string() + "' 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = pclose(p);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// A server on its own thread for the life of the object.
class Running {
 public:
  explicit Running(Options o) : options_(std::move(o)) {
    options_.port = 0;
    server_ = std::make_unique<Server>(options_);
    port_ = server_->Bind();
    thread_ = std::thread([this] { server_->Serve(); });
  }
  ~Running() {
    server_->Stop();
    thread_.join();
  }
  int port() const { return port_; }
  const Options& options() const { return options_; }
  Server& server() { return *server_; }

 private:
  Options options_;
  std::unique_ptr<Server> server_;
  int port_ = 0;
  std::thread thread_;
};

// A site of small scripts in a fresh folder, with a secret beside it.
class Site : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("halvane-serve-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(base_);
    root_ = base_ / "site";
    WriteFile(base_ / "secret.txt", "TOP-SECRET-CONTENT");
    WriteFile(base_ / "outside.hvs", "Response.Write \"outside\"");
    WriteFile(root_ / "hello.hvs", "Response.Write \"Hello, \" & \"world\" & vbCrLf");
    WriteFile(root_ / "index.hvs", "Response.Write \"index\"");
    WriteFile(root_ / "sub" / "index.hvs", "Response.Write \"sub index\"");
    WriteFile(root_ / "evil.example" / "index.hvs", "Response.Write \"local\"");
    WriteFile(root_ / "style.css", "body { color: red }");
    WriteFile(root_ / "plain.html", "<p>static</p>");
    WriteFile(root_ / ".hidden", "HIDDEN-CONTENT");
    WriteFile(root_ / ".git" / "config", "TOP-SECRET-CONTENT");
    WriteFile(root_ / "stream.hvs",
              "Response.Write \"part one\"\nResponse.Flush\nSleep 50\nResponse.Write \"|tail\"\n"
              "x = CInt(\"z\")\nResponse.Write \"NOT-REACHED\"");
    WriteFile(root_ / "fails.hvs",
              "Response.Write \"not sent\"\nSet c = CreateObject(\"Halvane.Calendar\")\n"
              "c.ActiveDate = \"2/30/2004\"");
    WriteFile(root_ / "broken.hvs", "Response.Write \"a\"\nIf x Then\n");
    WriteFile(root_ / "runaway.hvs", "On Error Resume Next\nFor i = 1 To 2 Step 0\nx = i\nNext");
    WriteFile(root_ / "sleepy.hvs", "Response.Write \"z\"\nSleep 60000");
    fs::create_directory_symlink(base_, root_ / "link-out");
    fs::create_symlink(base_ / "outside.hvs", root_ / "link-file.hvs");
    fs::create_symlink(root_ / "hello.hvs", root_ / "alias.hvs");
    // Links inside the folder that lead to hidden names.
    fs::create_symlink(root_ / ".hidden", root_ / "visible.txt");
    fs::create_directory_symlink(root_ / ".git", root_ / "repo");
    log_ = std::tmpfile();
    Options o;
    o.root = root_;
    o.timeout = milliseconds(1000);
    o.grace = milliseconds(200);
    o.log = log_;
    Configure(o);
    server_ = std::make_unique<Running>(o);
    port_ = server_->port();
    prefix_ = HtmlPrefix(o);
  }
  virtual void Configure(Options&) {}
  void TearDown() override {
    server_.reset();
    std::fclose(log_);
    fs::remove_all(base_);
  }
  std::string Log() {
    std::fflush(log_);
    std::rewind(log_);
    std::string s;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, log_)) > 0) s.append(buf, n);
    return s;
  }

  fs::path base_, root_;
  std::FILE* log_ = nullptr;
  std::unique_ptr<Running> server_;
  int port_ = 0;
  std::string prefix_;
};

TEST_F(Site, PagesStaticFilesAndFolders) {
  auto r = Get(port_, "/hello.hvs");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, prefix_ + "Hello, world\r\n");
  EXPECT_EQ(r.Header("content-type"), "text/html; charset=utf-8");
  EXPECT_EQ(Get(port_, "/").body, prefix_ + "index");
  EXPECT_EQ(Get(port_, "/sub/").body, prefix_ + "sub index");
  r = Get(port_, "/sub?x=1");
  EXPECT_EQ(r.status, 301);
  EXPECT_EQ(r.Header("location"), "/sub/?x=1");
  r = Get(port_, "/style.css");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "body { color: red }");
  EXPECT_EQ(r.Header("content-type"), "text/css; charset=utf-8");
  EXPECT_EQ(Get(port_, "/plain.html").body, prefix_ + "<p>static</p>");
  // A link that stays inside the folder is served.
  r = Get(port_, "/alias.hvs?q=1");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, prefix_ + "Hello, world\r\n");
  EXPECT_EQ(Get(port_, "/missing.hvs").status, 404);
  // Pages take POST (the body is read, never taken for a request); static
  // files and other methods do not.
  r = Fetch(port_, "POST", "/hello.hvs", "Content-Type: application/x-www-form-urlencoded\r\n", "a=1&b=2");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, prefix_ + "Hello, world\r\n");
  r = Fetch(port_, "POST", "/style.css", {}, "x");
  EXPECT_EQ(r.status, 405);
  EXPECT_EQ(r.Header("allow"), "GET, HEAD");
  r = Fetch(port_, "PUT", "/hello.hvs", {}, "x");
  EXPECT_EQ(r.status, 405);
  EXPECT_EQ(r.Header("allow"), "GET, HEAD, POST");
}

// HEAD runs the page and sends its headers alone, with the length a GET
// would have; HEAD of a static file likewise.
TEST_F(Site, HeadSendsNoBody) {
  for (const char* path : {"/hello.hvs", "/stream.hvs", "/style.css", "/plain.html"}) {
    auto get = Get(port_, path);
    Socket s(port_);
    s.Send(std::string("HEAD ") + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    std::string raw = s.ReadUntilClose(std::chrono::seconds(5));
    auto head = testing::Parse(raw, true);
    EXPECT_EQ(head.status, get.status) << path;
    EXPECT_EQ(head.rest, "") << path;  // nothing after the headers
    if (!get.chunked) {
      EXPECT_EQ(head.Header("content-length"), std::to_string(get.body.size())) << path;
    }
  }
}

TEST_F(Site, AnEditedPageRunsItsNewText) {
  EXPECT_EQ(Get(port_, "/index.hvs").body, prefix_ + "index");
  EXPECT_EQ(Get(port_, "/index.hvs").body, prefix_ + "index");  // the parsed page is reused
  WriteFile(root_ / "index.hvs", "Response.Write \"edited\"");
  EXPECT_EQ(Get(port_, "/index.hvs").body, prefix_ + "edited");
  WriteFile(root_ / "index.hvs", "If x Then\n");
  EXPECT_EQ(Get(port_, "/index.hvs").status, 500);
  EXPECT_EQ(Get(port_, "/index.hvs").status, 500);  // the syntax error is kept too
  // Same size, same second: the modification time in nanoseconds still tells.
  WriteFile(root_ / "index.hvs", "Response.Write \"index\"");
  EXPECT_EQ(Get(port_, "/").body, prefix_ + "index");
  WriteFile(root_ / "index.hvs", "Response.Write \"INDEX\"");
  EXPECT_EQ(Get(port_, "/").body, prefix_ + "INDEX");
}

// Sets a file's modification time an hour back: the cache parses a file
// afresh while its time is recent.
void Age(const fs::path& p) { fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(1)); }

// One file is parsed once, however its path is spelled.
TEST_F(Site, ParsedPagesAreKeptByFile) {
  Age(root_ / "hello.hvs");
  for (const char* path : {"/hello.hvs", "//hello.hvs", "///hello.hvs", "/alias.hvs", "/hello.hvs?x=1", "/%68ello.hvs",
                           "/sub//..//hello.hvs"}) {
    Get(port_, path);
  }
  EXPECT_EQ(server_->server().GetStats().cached_pages, 1u);
}

class SmallPageCache : public Site {
  void Configure(Options& o) override { o.page_cache = 3 * 1024 + 400; }
};

TEST_F(SmallPageCache, HoldsNoMoreThanItsBound) {
  for (int i = 0; i < 20; ++i) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "p" + string.
    std::string name = "p";
    name += std::to_string(i);
    name += ".hvs";
    WriteFile(root_ / name, "Response.Write " + std::to_string(i));
    Age(root_ / name);
    auto r = Get(port_, "/" + name);
    EXPECT_EQ(r.body, prefix_ + std::to_string(i));
  }
  Stats st = server_->server().GetStats();
  EXPECT_LE(st.cached_bytes, 3u * 1024 + 400);
  EXPECT_GE(st.cached_pages, 1u);
  EXPECT_LE(st.cached_pages, 3u);
}

class SmallPageSource : public Site {
  void Configure(Options& o) override { o.max_page_source = 1000; }
};

TEST_F(SmallPageSource, LargerPagesAreNotRun) {
  WriteFile(root_ / "big.hvs", "Response.Write \"x\"\n" + std::string(2000, '\''));
  auto r = Get(port_, "/big.hvs");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("/big.hvs: the page is larger than"), std::string::npos) << r.body;
  EXPECT_EQ(Get(port_, "/hello.hvs").status, 200);
}

TEST_F(Site, NothingOutsideTheFolderIsServed) {
  for (const char* path :
       {"/../secret.txt", "/%2e%2e/secret.txt", "/%2E%2E%2Fsecret.txt", "/sub/../../secret.txt",
        "/sub/%2e%2e/%2e%2e/secret.txt", "/..%2fsecret.txt", "/.%2e/secret.txt", "/link-out/secret.txt",
        "/link-out/outside.hvs", "/link-file.hvs", "/.hidden", "/sub%5c..%5c..%5csecret.txt", "/hello.hvs%00.txt",
        "/./hello.hvs", "/hello.hvs/", "/visible.txt", "/repo/config", "/.git/config", "/%2egit/config"}) {
    auto r = Get(port_, path);
    EXPECT_TRUE(r.status == 404 || r.status == 400) << path << " " << r.status;
    EXPECT_EQ(r.body.find("TOP-SECRET-CONTENT"), std::string::npos) << path;
    EXPECT_EQ(r.body.find("HIDDEN-CONTENT"), std::string::npos) << path;
    EXPECT_EQ(r.body.find("Response.Write"), std::string::npos) << path;
  }
}

// A folder's redirect names a path on this server, never another host.
TEST_F(Site, FolderRedirectsStayOnThisServer) {
  const std::pair<const char*, const char*> cases[] = {
      {"//evil.example", "/evil.example/"},
      {"///evil.example?a=b", "/evil.example/?a=b"},
      {"/evil.example", "/evil.example/"},
      {"/%2Fevil.example", "/evil.example/"},
      {"/sub", "/sub/"},
  };
  for (const auto& [path, location] : cases) {
    auto r = Get(port_, path);
    EXPECT_EQ(r.status, 301) << path;
    EXPECT_EQ(r.Header("location"), location) << path;
  }
  EXPECT_EQ(Get(port_, "/evil.example/").body, prefix_ + "local");
}

TEST_F(Site, ScriptErrorsGive500OrEndTheStream) {
  auto r = Get(port_, "/fails.hvs");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("/fails.hvs:3: error 0x800A0001: number 1, source &quot;Halvane.Calendar&quot;: "
                        "ActiveDate Property not a valid date."),
            std::string::npos)
      << r.body;
  EXPECT_EQ(r.body.find("not sent"), std::string::npos);
  r = Get(port_, "/broken.hvs");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("/broken.hvs:3:1: syntax error: expected &#39;End If&#39;"), std::string::npos) << r.body;
  // Once streaming, the status stays 200: the streamed part stays, the rest
  // written before the error follows, then the error.
  r = Get(port_, "/stream.hvs");
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.chunked);
  std::string expected_start = prefix_ + "part one|tail";
  EXPECT_EQ(r.body.substr(0, expected_start.size()), expected_start);
  EXPECT_NE(r.body.find("/stream.hvs:5: error 0x800A000D: number 13, source &quot;Halvane&quot;: Type mismatch"),
            std::string::npos)
      << r.body;
  EXPECT_EQ(r.body.find("NOT-REACHED"), std::string::npos);
}

// An HTTP/1.0 client cannot read chunks: a streamed page ends with the
// connection instead.
TEST_F(Site, StreamingToHttp10EndsWithTheConnection) {
  Socket s(port_);
  s.Send("GET /stream.hvs HTTP/1.0\r\n\r\n");
  bool closed = false;
  auto r = testing::Parse(s.ReadUntilClose(std::chrono::seconds(5), &closed));
  EXPECT_TRUE(closed);
  EXPECT_EQ(r.status, 200);
  EXPECT_FALSE(r.chunked);
  EXPECT_FALSE(r.Has("transfer-encoding"));
  EXPECT_EQ(r.body.substr(0, prefix_.size() + 13), prefix_ + "part one|tail");
  EXPECT_NE(r.body.find("Type mismatch"), std::string::npos);
}

TEST_F(Site, RunawayScriptIsStoppedWhileOthersAreServed) {
  auto start = Clock::now();
  auto runaway = std::async(std::launch::async, [&] { return Get(port_, "/runaway.hvs"); });
  auto sleepy = std::async(std::launch::async, [&] { return Get(port_, "/sleepy.hvs"); });
  std::this_thread::sleep_for(milliseconds(100));
  for (int i = 0; i < 5; ++i) {
    auto t0 = Clock::now();
    auto r = Get(port_, "/hello.hvs");
    EXPECT_EQ(r.status, 200);
    EXPECT_LT(Clock::now() - t0, milliseconds(500));
  }
  auto r = runaway.get();
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("stopped: the script ran longer than the 1 s limit"), std::string::npos) << r.body;
  r = sleepy.get();
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("/sleepy.hvs:2: stopped"), std::string::npos) << r.body;
  auto took = Clock::now() - start;
  EXPECT_GE(took, milliseconds(900));
  EXPECT_LT(took, milliseconds(4000));
  EXPECT_EQ(Get(port_, "/hello.hvs").status, 200);
}

// A page already parsed runs first on an event-loop thread; one that
// flushes, sleeps or runs long there is run again from its start on a page
// worker.  Either way the answer is the one a worker gives.
TEST_F(Site, ParsedPagesAnswerAsOnAWorker) {
  const char* const paths[] = {"/hello.hvs", "/fails.hvs", "/broken.hvs", "/stream.hvs"};
  for (const char* path : paths) Age(root_ / (path + 1));
  for (const char* path : paths) {
    auto first = Get(port_, path);  // parses the page, on a worker
    for (int i = 0; i < 3; ++i) {
      auto again = Get(port_, path);
      EXPECT_EQ(again.status, first.status) << path;
      EXPECT_EQ(again.chunked, first.chunked) << path;
      EXPECT_EQ(again.body, first.body) << path;
      auto head = Fetch(port_, "HEAD", path);
      EXPECT_EQ(head.status, first.status) << path;
    }
  }
  // hello and fails ran there after their first run (GET and HEAD alike);
  // broken.hvs never runs; stream.hvs flushed on its first try there and
  // has run on workers since.
  EXPECT_EQ(server_->server().GetStats().inline_runs, 12u);
}

// A parsed page that loops or sleeps holds an event-loop thread only for a
// moment before it goes to a worker: others are answered meanwhile.
TEST_F(Site, ParsedRunawayPagesHoldUpNoOne) {
  for (const char* name : {"runaway.hvs", "sleepy.hvs", "hello.hvs"}) Age(root_ / name);
  for (int round = 0; round < 2; ++round) {  // parsed by the first, cached for the second
    auto runaway = std::async(std::launch::async, [&] { return Get(port_, "/runaway.hvs"); });
    auto sleepy = std::async(std::launch::async, [&] { return Get(port_, "/sleepy.hvs"); });
    std::this_thread::sleep_for(milliseconds(100));
    for (int i = 0; i < 5; ++i) {
      auto t0 = Clock::now();
      EXPECT_EQ(Get(port_, "/hello.hvs").status, 200);
      EXPECT_LT(Clock::now() - t0, milliseconds(300)) << "round " << round;
    }
    auto r = runaway.get();
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("stopped: the script ran longer than the 1 s limit"), std::string::npos) << r.body;
    r = sleepy.get();
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("/sleepy.hvs:2: stopped"), std::string::npos) << r.body;
  }
}

TEST_F(Site, FiftyConcurrentRequests) {
  std::vector<std::future<testing::Response>> all;
  for (int i = 0; i < 50; ++i) {
    all.push_back(std::async(std::launch::async, [&, i] { return Get(port_, i % 2 ? "/hello.hvs" : "/sub/"); }));
  }
  for (int i = 0; i < 50; ++i) {
    auto r = all[static_cast<std::size_t>(i)].get();
    EXPECT_EQ(r.status, 200) << i;
    EXPECT_EQ(r.body, prefix_ + (i % 2 ? "Hello, world\r\n" : "sub index")) << i;
  }
}

TEST_F(Site, OneAccessLogLinePerRequest) {
  Get(port_, "/hello.hvs");
  Get(port_, "/nope");
  Get(port_, "/fails.hvs");
  // Control characters and quotes from the request line cannot forge or
  // break a line.
  Get(port_, "/x%0a\x1b[31m\"q\"");
  server_.reset();  // every request has ended
  std::string log = Log();
  std::vector<std::string> lines;
  for (std::size_t b = 0, e; (e = log.find('\n', b)) != std::string::npos; b = e + 1)
    lines.push_back(log.substr(b, e - b));
  ASSERT_EQ(lines.size(), 4u) << log;
  std::string size = std::to_string(prefix_.size() + 14);
  EXPECT_NE(lines[0].find(" 127.0.0.1 \"GET /hello.hvs HTTP/1.1\" 200 " + size + " "), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(" 127.0.0.1 \"GET /nope HTTP/1.1\" 404 "), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("\"GET /fails.hvs HTTP/1.1\" 500 "), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find("/fails.hvs:3: error 0x800A0001"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find(" 127.0.0.1 \"GET /x%0a\\x1b[31m\\x22q\\x22 HTTP/1.1\" "), std::string::npos) << lines[3];
  for (const std::string& line : lines) {
    for (char c : line) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20) << line;
  }
}

TEST_F(Site, StopEndsRunningRequestsPromptly) {
  auto sleepy = std::async(std::launch::async, [&] { return Get(port_, "/sleepy.hvs"); });
  std::this_thread::sleep_for(milliseconds(100));
  auto t0 = Clock::now();
  server_.reset();
  EXPECT_LT(Clock::now() - t0, milliseconds(3000));
  auto r = sleepy.get();
  EXPECT_EQ(r.status, 500);
}

// `halvane serve` as a process, stopped by SIGTERM: a page that is running
// finishes within the grace period; one that would run on is cancelled.
class ServeProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("halvane-serve-proc-" + std::to_string(getpid()));
    fs::remove_all(root_);
    WriteFile(root_ / "short.hvs", "Response.Write \"begun\"\nResponse.Flush\nSleep 700\nResponse.Write \" and done\"");
    WriteFile(root_ / "long.hvs", "Response.Write \"begun\"\nSleep 20000\nResponse.Write \" and done\"");
  }
  void TearDown() override { fs::remove_all(root_); }

  // Starts the server; returns its port, 0 when it did not start.
  int Start(const char* grace) {
    int err[2];
    if (pipe(err) != 0) return 0;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(err[1], 2);
      close(err[0]);
      close(err[1]);
      execl(HALVANE_BIN, HALVANE_BIN, "serve", root_.c_str(), "--port", "0", "--grace", grace, "--timeout", "30",
            "--no-compat", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(err[1]);
    err_ = fdopen(err[0], "r");
    char line[512];
    if (!std::fgets(line, sizeof line, err_)) return 0;
    const char* at = std::strstr(line, "http://127.0.0.1:");
    return at ? std::atoi(at + 17) : 0;
  }
  // Waits for the process to end; its exit status, or -1 after `limit`.
  int Wait(Clock::duration limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        std::fclose(err_);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      std::this_thread::sleep_for(milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    std::fclose(err_);
    return -1;
  }

  fs::path root_;
  pid_t pid_ = -1;
  std::FILE* err_ = nullptr;
};

TEST_F(ServeProcess, SigtermLetsRunningPagesFinish) {
  int port = Start("5");
  ASSERT_GT(port, 0);
  // The stop comes once the page has surely begun: its first flush arrived.
  Socket client(port);
  ASSERT_TRUE(client.Send("GET /short.hvs HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
  std::string got;
  ASSERT_TRUE(client.ReadUntil(got, "begun", std::chrono::seconds(10)));
  auto t0 = Clock::now();
  kill(pid_, SIGTERM);
  std::this_thread::sleep_for(milliseconds(100));
  Socket late(port);
  EXPECT_FALSE(late.connected());  // no longer accepting
  got += client.ReadUntilClose(std::chrono::seconds(5));
  EXPECT_EQ(got.rfind("HTTP/1.1 200", 0), 0u) << got;
  EXPECT_NE(got.find(" and done"), std::string::npos) << got;
  EXPECT_EQ(Wait(std::chrono::seconds(5)), 0);
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(3));
}

TEST_F(ServeProcess, SigtermCancelsPagesAfterTheGrace) {
  int port = Start("0.3");
  ASSERT_GT(port, 0);
  auto page = std::async(std::launch::async, [&] { return Get(port, "/long.hvs"); });
  std::this_thread::sleep_for(milliseconds(600));  // the page is sleeping by then, even on a busy machine
  auto t0 = Clock::now();
  kill(pid_, SIGTERM);
  auto r = page.get();
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("the server is stopping"), std::string::npos) << r.body;
  EXPECT_EQ(Wait(std::chrono::seconds(5)), 0);
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(3));
}

// The gallery, served with its defaults.
class Gallery : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Options o;
    o.root = HALVANE_EXAMPLES_DIR;
    o.log = nullptr;
    server_ = new Running(o);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static Running* server_;
};
Running* Gallery::server_ = nullptr;

TEST_F(Gallery, EveryPageEqualsHalvaneRun) {
  int pages = 0;
  const int port = server_->port();
  for (const auto& entry : fs::directory_iterator(HALVANE_EXAMPLES_DIR)) {
    const fs::path& file = entry.path();
    if (file.extension() != ".hvp" || file.filename() == "progress.hvp") continue;
    ++pages;
    auto before = HalvaneRun(file);
    ASSERT_EQ(before.second, 0) << file;
    std::string path = file.filename().string();
    path.insert(path.begin(), '/');
    auto r = Get(port, path);
    EXPECT_EQ(r.status, 200) << file;
    auto after = HalvaneRun(file);
    // A page showing today's date may change at midnight; compare only
    // when two runs around the request agree.
    if (before.first != after.first) continue;
    EXPECT_EQ(r.body, HtmlPrefix(server_->options()) + before.first) << file;
  }
  EXPECT_GE(pages, 7);
  auto r = Get(port, "/images/icons/FolderOpen.gif");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.Header("content-type"), "image/gif");
  EXPECT_EQ(r.body.substr(0, 6), "GIF89a");
  EXPECT_EQ(r.body.size(), fs::file_size(fs::path(HALVANE_EXAMPLES_DIR) / "images/icons/FolderOpen.gif"));
  EXPECT_EQ(Get(port, "/Calendar.gif").status, 200);
}

TEST_F(Gallery, ProgressPageStreamsInChunksOverTime) {
  auto run = std::async(std::launch::async, [] { return HalvaneRun(fs::path(HALVANE_EXAMPLES_DIR) / "progress.hvp"); });
  std::vector<std::pair<Clock::time_point, std::size_t>> pieces;
  auto start = Clock::now();
  Socket s(server_->port());
  s.Send("GET /progress.hvp HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  std::string raw = s.ReadUntilClose(std::chrono::seconds(20), nullptr, &pieces);
  auto total = Clock::now() - start;
  auto r = testing::Parse(raw);
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.chunked);
  // 100 steps of 30 ms: the whole takes about 3 s, the first chunk comes at once.
  EXPECT_GE(total, milliseconds(2500));
  ASSERT_GE(pieces.size(), 20u);
  EXPECT_LT(pieces.front().first - start, milliseconds(500));
  EXPECT_GT(pieces.back().first - pieces.front().first, milliseconds(2000));
  // Pieces arrive spread over the run, not all at the end.
  std::size_t early = 0;
  for (const auto& [when, n] : pieces) early += when - start < total / 2 ? 1 : 0;
  EXPECT_GE(early, 20u);
  auto ran = run.get();
  EXPECT_EQ(ran.second, 0);
  EXPECT_EQ(r.body, HtmlPrefix(server_->options()) + ran.first);
}

}  // namespace
}  // namespace halvane::serve
