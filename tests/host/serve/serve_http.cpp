// halvane serve over real sockets on 127.0.0.1: what pages read and answer,
// static files, path safety, errors and streaming, runaway scripts, the
// parsed page cache, the access log, stopping, and the gallery equal to
// `halvane run`.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "serve/http_client.h"

namespace halvane::serve {
namespace {

using namespace testing;

// The output of `halvane run` with `args`, and its exit status.
std::pair<std::string, int> HalvaneRun(const std::string& args) {
  FILE* p = popen((std::string("'") + HALVANE_BIN + "' run " + args + " 2>/dev/null").c_str(), "r");
  std::string out;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = pclose(p);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// A site of small pages, with secrets beside and below it.
class Site : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path& root = s_.root;  // files from serve/site_data, links made here
    fs::copy(HALVANE_SITE_DIR, s_.base, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directory_symlink(s_.base, root / "link-out");
    fs::create_symlink(s_.base / "outside.hvs", root / "link-file.hvs");
    fs::create_symlink(root / "hello.hvs", root / "alias.hvs");
    fs::create_symlink(root / ".hidden", root / "visible.txt");
    fs::create_directory_symlink(root / ".git", root / "repo");
    // Our copies of the default images (site_data/images), laid out as a site's root.
    s_.options.default_images = s_.base / "images";
    log_ = std::tmpfile();
    s_.options.timeout = milliseconds(2000);
    s_.options.grace = milliseconds(200);
    s_.options.max_body = 64;
    s_.options.max_page_source = 1000;
    s_.options.log = log_;
    s_.Start();
  }
  void TearDown() override {
    s_.Stop();
    std::fclose(log_);
  }

  TestServer s_;
  std::FILE* log_ = nullptr;
};

TEST_F(Site, AnswersOfPagesAndFiles) {
  // The rows of answers.txt: what they hold is said at its top.
  const auto rows = test_support::ReadRows(fs::path(HALVANE_SITE_DIR).parent_path() / "answers.txt");
  EXPECT_GT(rows.size(), 60u);
  for (auto row : rows) {
    row.resize(8);
    const std::string what = row[0] + " " + row[1];
    const Response r = Fetch(s_.port, row[0], row[1], row[2], row[3]);
    EXPECT_EQ(r.status, std::stoi(row[4])) << what;
    std::string want = row[6];
    for (const auto& [mark, value] :
         {std::pair<std::string, std::string>{"{p}", s_.prefix}, {"{port}", std::to_string(s_.port)}}) {
      const std::size_t at = want.find(mark);
      if (at != std::string::npos) want.replace(at, mark.size(), value);
    }
    if (!want.empty() && want[0] == '~') {
      EXPECT_NE(r.body.find(want.substr(1)), std::string::npos) << what << "\n" << r.body;
    } else if (want.size() > 3 && want.substr(want.size() - 3) == "...") {
      EXPECT_EQ(r.body.substr(0, want.size() - 3), want.substr(0, want.size() - 3)) << what;
    } else {
      EXPECT_EQ(r.body, want) << what;
    }
    if (!row[7].empty()) {
      EXPECT_EQ(r.body.find(row[7]), std::string::npos) << what;
    }
    std::istringstream lines(row[5]);
    for (std::string h; std::getline(lines, h);) {
      if (h[0] == '!') {
        EXPECT_FALSE(r.Has(h.substr(1))) << what << " " << h;
      } else {
        EXPECT_EQ(r.Header(h.substr(0, h.find(':'))), h.substr(h.find(':') + 2)) << what;
      }
    }
  }
  // HEAD runs the page and sends its headers alone, with the length a GET has.
  for (const char* path : {"/hello.hvs", "/stream.hvs", "/style.css", "/plain.html"}) {
    const Response get = Get(s_.port, path), head = Fetch(s_.port, "HEAD", path);
    EXPECT_EQ(head.status, get.status) << path;
    EXPECT_EQ(head.rest, "") << path;
    if (!get.chunked) {
      EXPECT_EQ(head.Header("content-length"), std::to_string(get.body.size())) << path;
    }
  }
}

// Answers that have no body (204, 304, HEAD) carry none, even from a page
// that writes and flushes: the next answer on the connection follows the
// head directly.
TEST_F(Site, BodylessAnswersSendNoBodyBytes) {
  for (const std::string first : {"GET /nobody.hvs?s=204", "GET /nobody.hvs?s=304", "HEAD /nobody.hvs?s=200"}) {
    Socket sock(s_.port);
    sock.Send(first + " HTTP/1.1\r\nHost: x\r\n\r\nGET /hello.hvs HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const std::string raw = sock.Read(seconds(5));
    const std::size_t end = raw.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos) << raw;
    EXPECT_EQ(raw.compare(0, 13, "HTTP/1.1 " + first.substr(first.size() - 3) + " "), 0) << raw;
    EXPECT_EQ(raw.compare(end + 4, 15, "HTTP/1.1 200 OK"), 0) << first << "\n" << raw;
    EXPECT_EQ(raw.find("no body"), std::string::npos) << raw;
  }
}

TEST_F(Site, NothingOutsideTheFolderIsServed) {
  const auto rows = test_support::ReadRows(fs::path(HALVANE_SITE_DIR).parent_path() / "outside_paths.txt");
  EXPECT_EQ(rows.size(), 19u);
  for (const auto& row : rows) {
    const std::string& path = row[0];
    const Response r = Get(s_.port, path);
    EXPECT_TRUE(r.status == 404 || r.status == 400) << path << " " << r.status;
    for (const char* secret : {"TOP-SECRET-CONTENT", "HIDDEN-CONTENT", "Response.Write"})
      EXPECT_EQ(r.body.find(secret), std::string::npos) << path;
  }
}

// An HTTP/1.0 client cannot read chunks: a streamed page ends with the
// connection instead.
TEST_F(Site, StreamingToHttp10EndsWithTheConnection) {
  Socket sock(s_.port);
  sock.Send("GET /stream.hvs HTTP/1.0\r\n\r\n");
  bool closed = false;
  const Response r = Parse(sock.Read(seconds(5), &closed));
  EXPECT_TRUE(closed);
  EXPECT_EQ(r.status, 200);
  EXPECT_FALSE(r.Has("transfer-encoding"));
  EXPECT_EQ(r.body.substr(0, s_.prefix.size() + 13), s_.prefix + "part one|tail");
  EXPECT_NE(r.body.find("Type mismatch"), std::string::npos);
}

TEST_F(Site, EditedPagesAndIncludesRunTheirNewText) {
  EXPECT_EQ(Get(s_.port, "/index.hvs").body, s_.prefix + "index");
  EXPECT_EQ(Get(s_.port, "/index.hvs").body, s_.prefix + "index");  // the parsed page is reused
  WriteFile(s_.root / "index.hvs", "Response.Write \"edited\"");
  EXPECT_EQ(Get(s_.port, "/index.hvs").body, s_.prefix + "edited");
  WriteFile(s_.root / "index.hvs", "If x Then\n");
  EXPECT_EQ(Get(s_.port, "/index.hvs").status, 500);
  EXPECT_EQ(Get(s_.port, "/index.hvs").status, 500);  // the syntax error is kept too
  // Same size, same second: the modification time in nanoseconds still tells.
  WriteFile(s_.root / "index.hvs", "Response.Write \"index\"");
  EXPECT_EQ(Get(s_.port, "/").body, s_.prefix + "index");
  WriteFile(s_.root / "index.hvs", "Response.Write \"INDEX\"");
  EXPECT_EQ(Get(s_.port, "/").body, s_.prefix + "INDEX");
  // A cached template is compiled again when one of its includes changes.
  Age(s_.root / "include.hvp");
  Age(s_.root / "parts" / "top.inc");
  EXPECT_EQ(Get(s_.port, "/include.hvp").body, s_.prefix + "top 2|page");
  WriteFile(s_.root / "parts" / "top.inc", "new top");
  Age(s_.root / "parts" / "top.inc");
  EXPECT_EQ(Get(s_.port, "/include.hvp").body, s_.prefix + "new top|page");
  // One file is parsed once, however its path is spelled.
  Age(s_.root / "hello.hvs");
  const std::size_t before = s_.server->GetStats().cached_pages;
  for (const char* path :
       {"/hello.hvs", "//hello.hvs", "/alias.hvs", "/hello.hvs?x=1", "/%68ello.hvs", "/sub//..//hello.hvs"}) {
    Get(s_.port, path);
  }
  EXPECT_EQ(s_.server->GetStats().cached_pages, before + 1);
}

TEST(PageCache, HoldsNoMoreThanItsBound) {
  TestServer s;
  s.options.page_cache = 3 * 1024 + 400;
  s.Start();
  for (int i = 0; i < 20; ++i) {
    const std::string name = std::to_string(i) + ".hvs";
    WriteFile(s.root / name, "Response.Write " + std::to_string(i));
    Age(s.root / name);
    EXPECT_EQ(Get(s.port, "/" + name).body, s.prefix + std::to_string(i));
  }
  const Stats st = s.server->GetStats();
  EXPECT_LE(st.cached_bytes, 3u * 1024 + 400);
  EXPECT_GE(st.cached_pages, 1u);
  EXPECT_LE(st.cached_pages, 3u);
}

// A page already parsed runs first on an event-loop thread; one that
// flushes, sleeps or runs long there is run again from its start on a page
// worker.  Either way the answer is the one a worker gives.
TEST_F(Site, ParsedPagesAnswerAsOnAWorker) {
  const char* const paths[] = {"/hello.hvs", "/fails.hvs", "/broken.hvs", "/stream.hvs"};
  for (const char* path : paths) Age(s_.root / (path + 1));
  for (const char* path : paths) {
    const Response first = Get(s_.port, path);  // parses the page, on a worker
    for (int i = 0; i < 3; ++i) {
      const Response again = Get(s_.port, path);
      EXPECT_EQ(again.status, first.status) << path;
      EXPECT_EQ(again.chunked, first.chunked) << path;
      EXPECT_EQ(again.body, first.body) << path;
      EXPECT_EQ(Fetch(s_.port, "HEAD", path).status, first.status) << path;
    }
  }
  // hello and fails ran there after their first run (GET and HEAD alike);
  // broken.hvs never runs; stream.hvs flushed on its first try there and
  // has run on workers since.
  EXPECT_EQ(s_.server->GetStats().inline_runs, 12u);
}

// A page that loops or sleeps is stopped at the time limit, and holds no one
// else up meanwhile: neither on its first run (parsed on a worker) nor once
// parsed (begun on an event-loop thread).  A page blocked behind them would
// wait the whole 2 s limit; the bound below leaves a loaded machine room.
TEST_F(Site, RunawayPagesAreStoppedWhileOthersAreServed) {
  for (const char* name : {"runaway.hvs", "sleepy.hvs", "hello.hvs"}) Age(s_.root / name);
  for (int round = 0; round < 2; ++round) {
    const auto start = Clock::now();
    auto runaway = std::async(std::launch::async, [&] { return Get(s_.port, "/runaway.hvs"); });
    auto sleepy = std::async(std::launch::async, [&] { return Get(s_.port, "/sleepy.hvs"); });
    std::this_thread::sleep_for(milliseconds(100));
    for (int i = 0; i < 5; ++i) {
      const auto t0 = Clock::now();
      EXPECT_EQ(Get(s_.port, "/hello.hvs").status, 200);
      EXPECT_LT(Clock::now() - t0, milliseconds(1000)) << "round " << round;
    }
    Response r = runaway.get();
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("stopped: the script ran longer than the 2 s limit"), std::string::npos) << r.body;
    r = sleepy.get();
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("/sleepy.hvs:2: stopped"), std::string::npos) << r.body;
    EXPECT_GE(Clock::now() - start, milliseconds(1900));
    EXPECT_LT(Clock::now() - start, milliseconds(8000));
  }
}

// A page that ran quickly on an event-loop thread, then asked for something
// slow by two clients at once (one per event-loop thread): each slow run
// gives its thread up after a brief budget and goes on on a worker, so the
// static files those threads serve keep coming meanwhile.
TEST_F(Site, SlowRunsOfAQuickPageDoNotHoldStaticFiles) {
  Age(s_.root / "quick.hvs");
  for (int i = 0; i < 2; ++i) ASSERT_EQ(Get(s_.port, "/quick.hvs").body, s_.prefix + "quick");
  ASSERT_EQ(s_.server->GetStats().inline_runs, 1u);
  const auto start = Clock::now();
  auto a = std::async(std::launch::async, [&] { return Get(s_.port, "/quick.hvs?slow=1"); });
  auto b = std::async(std::launch::async, [&] { return Get(s_.port, "/quick.hvs?slow=1"); });
  std::this_thread::sleep_for(milliseconds(5));
  for (int i = 0; i < 20; ++i) {
    const auto t0 = Clock::now();
    EXPECT_EQ(Get(s_.port, "/still.txt").body, "still served");
    EXPECT_LT(Clock::now() - t0, milliseconds(300)) << i;
  }
  EXPECT_LT(Clock::now() - start, milliseconds(1500));  // all of them while the slow pages still run
  for (auto* slow : {&a, &b}) {
    const Response r = slow->get();
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("stopped: the script ran longer than the 2 s limit"), std::string::npos) << r.body;
  }
}

TEST_F(Site, OneAccessLogLinePerRequest) {
  Get(s_.port, "/hello.hvs");
  Get(s_.port, "/nope");
  Get(s_.port, "/fails.hvs");
  // Control characters and quotes from the request line cannot forge or
  // break a line.
  Get(s_.port, "/x%0a\x1b[31m\"q\"");
  // Nor can C1 controls, as UTF-8 (U+009B) or as bare bytes; other UTF-8
  // text stays as it is.
  Get(s_.port, "/c1\xc2\x9b" "2J\x9b\xc3\xa9");
  s_.Stop();  // every request has ended
  std::fflush(log_);
  std::rewind(log_);
  std::vector<std::string> lines;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, log_)) lines.emplace_back(buf, std::strcspn(buf, "\n"));
  ASSERT_EQ(lines.size(), 5u);
  const std::string size = std::to_string(s_.prefix.size() + 14);
  EXPECT_NE(lines[0].find(" 127.0.0.1 \"GET /hello.hvs HTTP/1.1\" 200 " + size + " "), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(" 127.0.0.1 \"GET /nope HTTP/1.1\" 404 "), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("\"GET /fails.hvs HTTP/1.1\" 500 "), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find("/fails.hvs:3: error 0x800A0001"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find(" 127.0.0.1 \"GET /x%0a\\x1b[31m\\x22q\\x22 HTTP/1.1\" "), std::string::npos) << lines[3];
  EXPECT_NE(lines[4].find("\"GET /c1\\xc2\\x9b2J\\x9b\xc3\xa9 HTTP/1.1\" "), std::string::npos) << lines[4];
  for (const std::string& line : lines) {
    for (char c : line) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20) << line;
  }
}

// `halvane serve` as a process, stopped by Ctrl-C, SIGTERM or SIGHUP: a page
// that is running finishes within the grace period; one that would run on is
// cancelled at its end.
TEST(ServeProcess, StopsGracefullyOnCtrlCSigtermAndSighup) {
  TestServer s;  // its folder only
  WriteFile(s.root / "short.hvs", "Response.Write \"begun\"\nResponse.Flush\nSleep 300\nResponse.Write \" and done\"");
  WriteFile(s.root / "long.hvs", "Response.Write \"begun\"\nResponse.Flush\nSleep 20000\nResponse.Write \" and done\"");
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    Backend serve(s.root, {"--grace", "1.5", "--timeout", "30"}, s.base / ("log" + std::to_string(sig)));
    const int port = serve.port;
    // The stop comes once both pages have surely begun: their first flush arrived.
    Socket short_page(port), long_page(port);
    std::string got[2];
    for (auto [sock, i] : {std::pair{&short_page, 0}, {&long_page, 1}}) {
      sock->Send(std::string("GET /") + (i ? "long" : "short") +
                 ".hvs HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
      got[i] = sock->Read(seconds(10), nullptr, "begun");
      ASSERT_NE(got[i].find("begun"), std::string::npos) << sig;
    }
    const auto t0 = Clock::now();
    serve.process.Signal(sig);
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_FALSE(Socket(port).connected()) << sig;  // no longer accepting
    got[0] += short_page.Read(seconds(5));
    got[1] += long_page.Read(seconds(5));
    EXPECT_EQ(got[0].rfind("HTTP/1.1 200", 0), 0u) << got[0];
    EXPECT_NE(got[0].find(" and done"), std::string::npos) << got[0];
    EXPECT_NE(got[1].find("the server is stopping"), std::string::npos) << got[1];
    EXPECT_EQ(got[1].find(" and done"), std::string::npos) << got[1];
    // The process ends at the end of the grace period.
    const int status = serve.process.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << sig << " " << status;
    EXPECT_LT(Clock::now() - t0, seconds(3));
    const std::string log = serve.process.Log();
    EXPECT_NE(log.find("\"GET /short.hvs HTTP/1.1\" 200 14 "), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - std::min<std::size_t>(log.size(), 17)), "halvane: stopped\n") << log;
  }
}

// The gallery, served with its defaults.
class Gallery : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new TestServer;
    server_->options.root = HALVANE_EXAMPLES_DIR;
    server_->Start();
  }
  static void TearDownTestSuite() { delete server_; }
  static TestServer* server_;
};
TestServer* Gallery::server_ = nullptr;

TEST_F(Gallery, EveryPageEqualsHalvaneRun) {
  int pages = 0;
  for (const auto& entry : fs::directory_iterator(HALVANE_EXAMPLES_DIR)) {
    const fs::path& file = entry.path();
    // (progress.hvp sleeps for 3 s; the streaming of pages is checked above.)
    if (file.extension() != ".hvp" || file.filename() == "progress.hvp") continue;
    ++pages;
    const auto before = HalvaneRun("'" + file.string() + "'");
    ASSERT_EQ(before.second, 0) << file;
    const Response r = Get(server_->port, "/" + file.filename().string());
    EXPECT_EQ(r.status, 200) << file;
    // A page showing today's date may change at midnight; compare only
    // when two runs around the request agree.
    if (before.first == HalvaneRun("'" + file.string() + "'").first) {
      EXPECT_EQ(r.body, server_->prefix + before.first) << file;
    }
  }
  EXPECT_GE(pages, 7);
  const Response r = Get(server_->port, "/images/icons/FolderOpen.gif");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.Header("content-type"), "image/gif");
  EXPECT_EQ(r.body.size(), fs::file_size(fs::path(HALVANE_EXAMPLES_DIR) / "images/icons/FolderOpen.gif"));
  EXPECT_EQ(r.body.substr(0, 6), "GIF89a");
}

// Every form of the gallery, sent markup in each of its fields, answers
// with it encoded: the pages never write what the client sent as it stands.
TEST_F(Gallery, ClientTextComesBackEncoded) {
  const std::string sent = "%3Cscript%3Ealert('x')%3C%2Fscript%3E";
  const auto rows = test_support::ReadRows(fs::path(HALVANE_SITE_DIR).parent_path() / "gallery_fields.txt");
  EXPECT_EQ(rows.size(), 8u);
  for (const auto& row : rows) {
    const std::string &page = row[0], &field = row[1];
    const bool query = page.back() == '?';
    const Response r = query ? Get(server_->port, page + field + "=" + sent)
                             : Fetch(server_->port, "POST", page,
                                     "Content-Type: application/x-www-form-urlencoded\r\n", field + "=" + sent);
    EXPECT_EQ(r.status, 200) << page << field;
    EXPECT_EQ(r.body.find("<script>alert('x')</script>"), std::string::npos) << page << " " << field;
    EXPECT_NE(r.body.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"), std::string::npos) << page << field;
  }
}

}  // namespace
}  // namespace halvane::serve
