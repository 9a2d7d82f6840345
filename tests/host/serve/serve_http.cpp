// halvane serve over real sockets on 127.0.0.1 with a free port: pages equal
// `halvane run`, streaming, path safety, runaway scripts, errors, load.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/serve/server.h"

namespace halvane::serve {
namespace {

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
  httplib::Client Client() const {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(20, 0);
    c.set_connection_timeout(5, 0);
    return c;
  }
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
    WriteFile(root_ / "style.css", "body { color: red }");
    WriteFile(root_ / "plain.html", "<p>static</p>");
    WriteFile(root_ / ".hidden", "hidden");
    WriteFile(root_ / "stream.hvs",
              "Response.Write \"part one\"\nResponse.Flush\nSleep 50\nResponse.Write \"|tail\"\n"
              "x = CInt(\"z\")\nResponse.Write \"NOT-REACHED\"");
    WriteFile(root_ / "fails.hvs", "Response.Write \"not sent\"\nSet c = CreateObject(\"Halvane.Calendar\")\n"
                                   "c.ActiveDate = \"2/30/2004\"");
    WriteFile(root_ / "broken.hvs", "Response.Write \"a\"\nIf x Then\n");
    WriteFile(root_ / "runaway.hvs", "On Error Resume Next\nFor i = 1 To 2 Step 0\nx = i\nNext");
    WriteFile(root_ / "sleepy.hvs", "Response.Write \"z\"\nSleep 60000");
    fs::create_directory_symlink(base_, root_ / "link-out");
    fs::create_symlink(base_ / "outside.hvs", root_ / "link-file.hvs");
    fs::create_symlink(root_ / "hello.hvs", root_ / "alias.hvs");
    log_ = std::tmpfile();
    Options o;
    o.root = root_;
    o.timeout = milliseconds(1000);
    o.log = log_;
    server_ = std::make_unique<Running>(o);
  }
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
};

TEST_F(Site, PagesStaticFilesAndFolders) {
  auto c = server_->Client();
  auto r = c.Get("/hello.hvs");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->body, HtmlPrefix(server_->options()) + "Hello, world\r\n");
  EXPECT_EQ(r->get_header_value("Content-Type"), "text/html; charset=utf-8");
  r = c.Get("/");
  EXPECT_EQ(r->body, HtmlPrefix(server_->options()) + "index");
  r = c.Get("/sub/");
  EXPECT_EQ(r->body, HtmlPrefix(server_->options()) + "sub index");
  r = c.Get("/sub?x=1");
  EXPECT_EQ(r->status, 301);
  EXPECT_EQ(r->get_header_value("Location"), "/sub/?x=1");
  r = c.Get("/style.css");
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->body, "body { color: red }");
  EXPECT_EQ(r->get_header_value("Content-Type"), "text/css; charset=utf-8");
  r = c.Get("/plain.html");
  EXPECT_EQ(r->body, HtmlPrefix(server_->options()) + "<p>static</p>");
  // A link that stays inside the folder is served.
  r = c.Get("/alias.hvs?q=1");
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->body, HtmlPrefix(server_->options()) + "Hello, world\r\n");
  EXPECT_EQ(c.Get("/missing.hvs")->status, 404);
  EXPECT_EQ(c.Post("/hello.hvs", "x", "text/plain")->status, 405);
}

TEST_F(Site, AnEditedPageRunsItsNewText) {
  auto c = server_->Client();
  const std::string prefix = HtmlPrefix(server_->options());
  EXPECT_EQ(c.Get("/index.hvs")->body, prefix + "index");
  EXPECT_EQ(c.Get("/index.hvs")->body, prefix + "index");  // the parsed page is reused
  WriteFile(root_ / "index.hvs", "Response.Write \"edited\"");
  EXPECT_EQ(c.Get("/index.hvs")->body, prefix + "edited");
  WriteFile(root_ / "index.hvs", "If x Then\n");
  EXPECT_EQ(c.Get("/index.hvs")->status, 500);
  WriteFile(root_ / "index.hvs", "Response.Write \"index\"");
  EXPECT_EQ(c.Get("/")->body, prefix + "index");
}

TEST_F(Site, NothingOutsideTheFolderIsServed) {
  auto c = server_->Client();
  for (const char* path : {"/../secret.txt", "/%2e%2e/secret.txt", "/%2E%2E%2Fsecret.txt", "/sub/../../secret.txt",
                           "/sub/%2e%2e/%2e%2e/secret.txt", "/..%2fsecret.txt", "/.%2e/secret.txt",
                           "/link-out/secret.txt", "/link-out/outside.hvs", "/link-file.hvs", "/.hidden",
                           "/sub%5c..%5c..%5csecret.txt", "/hello.hvs%00.txt", "/./hello.hvs", "/hello.hvs/"}) {
    auto r = c.Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 404) << path;
    EXPECT_EQ(r->body.find("TOP-SECRET-CONTENT"), std::string::npos) << path;
    EXPECT_EQ(r->body.find("Response.Write"), std::string::npos) << path;
  }
}

TEST_F(Site, ScriptErrorsGive500OrEndTheStream) {
  auto c = server_->Client();
  auto r = c.Get("/fails.hvs");
  EXPECT_EQ(r->status, 500);
  EXPECT_NE(r->body.find("/fails.hvs:3: error 0x800A0001: number 1, source &quot;Halvane.Calendar&quot;: "
                         "ActiveDate Property not a valid date."),
            std::string::npos)
      << r->body;
  EXPECT_EQ(r->body.find("not sent"), std::string::npos);
  r = c.Get("/broken.hvs");
  EXPECT_EQ(r->status, 500);
  EXPECT_NE(r->body.find("/broken.hvs:3:1: syntax error: expected &#39;End If&#39;"), std::string::npos) << r->body;
  // Once streaming, the status stays 200: the streamed part stays, the rest
  // written before the error follows, then the error.
  r = c.Get("/stream.hvs");
  EXPECT_EQ(r->status, 200);
  std::string expected_start = HtmlPrefix(server_->options()) + "part one|tail";
  EXPECT_EQ(r->body.substr(0, expected_start.size()), expected_start);
  EXPECT_NE(r->body.find("/stream.hvs:5: error 0x800A000D: number 13, source &quot;Halvane&quot;: Type mismatch"),
            std::string::npos)
      << r->body;
  EXPECT_EQ(r->body.find("NOT-REACHED"), std::string::npos);
}

TEST_F(Site, RunawayScriptIsStoppedWhileOthersAreServed) {
  auto start = Clock::now();
  auto runaway = std::async(std::launch::async, [&] { return server_->Client().Get("/runaway.hvs"); });
  auto sleepy = std::async(std::launch::async, [&] { return server_->Client().Get("/sleepy.hvs"); });
  std::this_thread::sleep_for(milliseconds(100));
  auto c = server_->Client();
  for (int i = 0; i < 5; ++i) {
    auto t0 = Clock::now();
    auto r = c.Get("/hello.hvs");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_LT(Clock::now() - t0, milliseconds(500));
  }
  auto r = runaway.get();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 500);
  EXPECT_NE(r->body.find("stopped: the script ran longer than the 1 s limit"), std::string::npos) << r->body;
  r = sleepy.get();
  EXPECT_EQ(r->status, 500);
  EXPECT_NE(r->body.find("/sleepy.hvs:2: stopped"), std::string::npos) << r->body;
  auto took = Clock::now() - start;
  EXPECT_GE(took, milliseconds(900));
  EXPECT_LT(took, milliseconds(4000));
  EXPECT_EQ(c.Get("/hello.hvs")->status, 200);
}

TEST_F(Site, FiftyConcurrentRequests) {
  std::vector<std::future<std::pair<int, std::string>>> all;
  for (int i = 0; i < 50; ++i) {
    all.push_back(std::async(std::launch::async, [&, i] {
      auto r = server_->Client().Get(i % 2 ? "/hello.hvs" : "/sub/");
      return r ? std::make_pair(r->status, r->body) : std::make_pair(-1, std::string());
    }));
  }
  for (int i = 0; i < 50; ++i) {
    auto [status, body] = all[static_cast<std::size_t>(i)].get();
    EXPECT_EQ(status, 200) << i;
    EXPECT_EQ(body, HtmlPrefix(server_->options()) + (i % 2 ? "Hello, world\r\n" : "sub index")) << i;
  }
}

TEST_F(Site, OneAccessLogLinePerRequest) {
  auto c = server_->Client();
  c.Get("/hello.hvs");
  c.Get("/nope");
  c.Get("/fails.hvs");
  server_.reset();  // every request has ended
  std::string log = Log();
  std::vector<std::string> lines;
  for (std::size_t b = 0, e; (e = log.find('\n', b)) != std::string::npos; b = e + 1) lines.push_back(log.substr(b, e - b));
  ASSERT_EQ(lines.size(), 3u) << log;
  std::string size = std::to_string(HtmlPrefix(Options{}).size() + 14);
  EXPECT_NE(lines[0].find("127.0.0.1 \"GET /hello.hvs HTTP/1.1\" 200 " + size + " "), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("\"GET /nope HTTP/1.1\" 404 "), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("\"GET /fails.hvs HTTP/1.1\" 500 "), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find("/fails.hvs:3: error 0x800A0001"), std::string::npos) << lines[2];
}

TEST_F(Site, StopEndsRunningRequestsPromptly) {
  auto sleepy = std::async(std::launch::async, [&] { return server_->Client().Get("/sleepy.hvs"); });
  std::this_thread::sleep_for(milliseconds(100));
  auto t0 = Clock::now();
  server_.reset();
  EXPECT_LT(Clock::now() - t0, milliseconds(3000));
  sleepy.get();
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
  for (const auto& entry : fs::directory_iterator(HALVANE_EXAMPLES_DIR)) {
    const fs::path& file = entry.path();
    if (file.extension() != ".hvs" || file.filename() == "progress.hvs") continue;
    ++pages;
    auto before = HalvaneRun(file);
    ASSERT_EQ(before.second, 0) << file;
    std::string path = file.filename().string();
    path.insert(path.begin(), '/');
    auto r = server_->Client().Get(path);
    ASSERT_TRUE(r) << file;
    EXPECT_EQ(r->status, 200) << file;
    auto after = HalvaneRun(file);
    // A page showing today's date may change at midnight; compare only
    // when two runs around the request agree.
    if (before.first != after.first) continue;
    EXPECT_EQ(r->body, HtmlPrefix(server_->options()) + before.first) << file;
  }
  EXPECT_GE(pages, 7);
  auto r = server_->Client().Get("/images/icons/FolderOpen.gif");
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->get_header_value("Content-Type"), "image/gif");
  EXPECT_EQ(r->body.substr(0, 6), "GIF89a");
  EXPECT_EQ(server_->Client().Get("/Calendar.gif")->status, 200);
}

TEST_F(Gallery, ProgressPageStreamsInChunksOverTime) {
  auto run = std::async(std::launch::async, [] { return HalvaneRun(fs::path(HALVANE_EXAMPLES_DIR) / "progress.hvs"); });
  std::vector<std::pair<Clock::duration, std::size_t>> pieces;
  std::string body;
  auto start = Clock::now();
  auto c = server_->Client();
  auto r = c.Get("/progress.hvs", [&](const char* data, std::size_t n) {
    pieces.emplace_back(Clock::now() - start, n);
    body.append(data, n);
    return true;
  });
  auto total = Clock::now() - start;
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->get_header_value("Transfer-Encoding"), "chunked");
  // 100 steps of 30 ms: the whole takes about 3 s, the first chunk comes at once.
  EXPECT_GE(total, milliseconds(2500));
  ASSERT_GE(pieces.size(), 20u);
  EXPECT_LT(pieces.front().first, milliseconds(500));
  EXPECT_GT(pieces.back().first - pieces.front().first, milliseconds(2000));
  // Pieces arrive spread over the run, not all at the end.
  std::size_t early = 0;
  for (const auto& [when, n] : pieces) early += when < total / 2 ? 1 : 0;
  EXPECT_GE(early, 20u);
  auto ran = run.get();
  EXPECT_EQ(ran.second, 0);
  EXPECT_EQ(body, HtmlPrefix(server_->options()) + ran.first);
}

}  // namespace
}  // namespace halvane::serve
