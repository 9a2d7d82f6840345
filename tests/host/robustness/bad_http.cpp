// halvane serve against hostile HTTP, over raw sockets on 127.0.0.1:
// malformed and oversized requests, bodies that try to pass for requests,
// slow and idle clients, sleeping pages and clients that do not read.  Each
// attack gets a clean status or a close, everyone else is answered within a
// second meanwhile, and resident memory stays bounded.  Every wait here is
// bounded, and the attacks are small enough to take a few seconds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
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

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::Clock;
using testing::Fetch;
using testing::Get;
using testing::Parse;
using testing::ResidentKiB;
using testing::Socket;

int StatusOf(const std::string& response) { return Parse(response).status; }

class BadHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("halvane-bad-http-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    std::ofstream(root_ / "page.hvs") << "Response.Write \"page ok\"\n";
    std::ofstream(root_ / "plain.txt") << "plain ok";
    std::ofstream(root_ / "sleep.hvs") << "Response.Write \"slept\"\nSleep 2000\n";
    std::ofstream(root_ / "big.hvs") << "s = String(65536, \"b\")\nFor i = 1 To 64\nResponse.Write s\nNext\n"
                                        "Response.Flush\nResponse.Write \"end\"\n";
    options_.root = root_;
    options_.port = 0;
    options_.log = nullptr;
    options_.compat = false;
    options_.idle_timeout = seconds(2);
    options_.request_timeout = milliseconds(3000);
    options_.grace = milliseconds(100);
  }
  void Start() {
    server_ = std::make_unique<Server>(options_);
    port_ = server_->Bind();
    thread_ = std::thread([this] { server_->Serve(); });
  }
  void TearDown() override {
    if (server_) {
      server_->Stop();
      thread_.join();
    }
    fs::remove_all(root_);
  }
  void WriteBinary(const std::string& name, std::size_t size) {
    std::ofstream out(root_ / name, std::ios::binary);
    std::string block(1 << 16, 'f');
    for (std::size_t n = 0; n < size; n += block.size())
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }

  // A page and a static file, each answered with 200 within `within`.
  void ExpectServed(Clock::duration within = seconds(1)) {
    for (const char* path : {"/page.hvs", "/plain.txt"}) {
      const auto start = Clock::now();
      auto r = Fetch(port_, "GET", path, {}, {}, within + seconds(2));
      EXPECT_EQ(r.status, 200) << path;
      EXPECT_NE(r.body.find("ok"), std::string::npos) << path;
      EXPECT_LT(Clock::now() - start, within) << path;
    }
  }

  // Sends `request`; the answer must be a 4xx status or a plain close, and
  // come within a few seconds.  Returns the status (0 for a close).
  int BadRequest(const std::string& request) {
    Socket s(port_);
    EXPECT_TRUE(s.connected());
    s.Send(request);
    bool closed = false;
    const std::string r = s.ReadUntilClose(seconds(6), &closed);
    const int status = StatusOf(r);
    EXPECT_TRUE(closed || status != 0) << "no answer and no close for: " << request.substr(0, 80);
    if (status != 0) {
      EXPECT_TRUE(status >= 400 && status < 500) << r.substr(0, 200);
    }
    return status;
  }

  Options options_;
  fs::path root_;
  std::unique_ptr<Server> server_;
  int port_ = 0;
  std::thread thread_;
};

TEST_F(BadHttp, MalformedRequestLinesGetAnErrorOrAClose) {
  Start();
  const std::vector<std::string> requests = {
      "GARBAGE\r\n\r\n",
      "GET\r\n\r\n",
      "GET /page.hvs HTTP/1.1 extra words\r\n\r\n",
      std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + std::string(64, '\0') + "\r\n\r\n",
      "GET /%zz%00%ff HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
      "GET page.hvs HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
      "\r\n\r\n\r\n\r\n",
      "GET /page.hvs HTTP/1.1\r\nHost 127.0.0.1\r\nConnection: close\r\n\r\n",
  };
  std::vector<std::future<int>> answers;
  for (const std::string& r : requests)
    answers.push_back(std::async(std::launch::async, [&, r] { return BadRequest(r); }));
  for (auto& a : answers) a.get();
  ExpectServed();
}

TEST_F(BadHttp, OversizedRequestLineAndHeaders) {
  options_.max_header = 4096;
  Start();
  const long rss = ResidentKiB();
  auto long_target = std::async(std::launch::async, [&] {
    return BadRequest("GET /" + std::string(100000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n");
  });
  auto long_header = std::async(std::launch::async, [&] {
    return BadRequest("GET /page.hvs HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(100000, 'b') + "\r\n\r\n");
  });
  // 5 MB of small headers on each of 8 connections: refused after the
  // first few kilobytes, not gathered.
  std::string many = "GET /page.hvs HTTP/1.1\r\nHost: x\r\n";
  while (many.size() < 5000000) many += "X-H: h\r\n";
  many += "\r\n";
  std::vector<std::future<int>> floods;
  for (int i = 0; i < 8; ++i) floods.push_back(std::async(std::launch::async, [&] { return BadRequest(many); }));
  for (auto& f : floods) {
    int status = f.get();
    EXPECT_TRUE(status == 0 || status == 431 || status == 400) << status;
  }
  int t = long_target.get();
  EXPECT_TRUE(t == 0 || t == 414 || t == 431 || t == 400) << t;
  int h = long_header.get();
  EXPECT_TRUE(h == 0 || h == 431 || h == 400) << h;
  // Past the header limit, within what the connection can hold: refused
  // with a status.
  std::string over = "GET /page.hvs HTTP/1.1\r\nHost: x\r\n";
  for (int i = 0; i < 200; ++i) over += "X-H" + std::to_string(i) + ": " + std::string(30, 'h') + "\r\n";
  EXPECT_NE(BadRequest(over + "\r\n"), 0);
  EXPECT_LT(ResidentKiB() - rss, 64 * 1024);
  ExpectServed();
}

// A body is read (kept for a page, or dropped) and never taken for a
// request of its own, so nothing can be smuggled in it; requests after it
// on the same connection are answered in order.
TEST_F(BadHttp, BodiesAreNeverTakenForRequests) {
  Start();
  const std::string inner = "GET /page.hvs HTTP/1.1\r\nHost: x\r\n\r\n";
  for (const char* method : {"GET", "POST"}) {
    Socket s(port_);
    s.Send(std::string(method) + " /plain.txt HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(inner.size()) +
           "\r\n\r\n" + inner);
    std::string raw = s.ReadUntilClose(milliseconds(800));
    auto first = Parse(raw);
    EXPECT_EQ(first.status, std::string(method) == "GET" ? 200 : 405) << raw;
    EXPECT_EQ(raw.find("page ok"), std::string::npos) << raw;  // no second answer
  }
  // Pipelined: a POST with a body, a GET, a POST to a static file, a GET;
  // four answers, in order.
  Socket s(port_);
  s.Send(
      "POST /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      "Content-Length: 11\r\n\r\na=1&b=GET /"
      "GET /plain.txt HTTP/1.1\r\nHost: x\r\n\r\n"
      "POST /plain.txt HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nGET /\r\n0\r\n\r\n"
      "GET /page.hvs HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  std::string raw = s.ReadUntilClose(seconds(5));
  std::vector<int> statuses;
  std::string bodies;
  for (auto r = Parse(raw); r.status != 0; r = Parse(r.rest)) {
    statuses.push_back(r.status);
    bodies += r.body.substr(0, 8) + "|";
  }
  EXPECT_EQ(statuses, (std::vector<int>{200, 200, 405, 200})) << raw;
  EXPECT_EQ(bodies.substr(0, 18), "page ok|plain ok|<") << bodies;
}

TEST_F(BadHttp, ConflictingBodyLengthsAreRefused) {
  Start();
  const std::string cases[] = {
      "POST /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 40\r\n\r\nabc",
      "POST /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nTransfer-Encoding: "
      "chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
  };
  for (const std::string& c : cases) {
    Socket s(port_);
    s.Send(c);
    bool closed = false;
    std::string raw = s.ReadUntilClose(seconds(3), &closed);
    EXPECT_EQ(StatusOf(raw), 400) << raw.substr(0, 200);
    EXPECT_TRUE(closed);
  }
  // The same length twice says one thing: accepted.
  Socket s(port_);
  s.Send(
      "POST /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 3\r\nConnection: close\r\n\r\nabc");
  EXPECT_EQ(StatusOf(s.ReadUntilClose(seconds(3))), 200);
}

TEST_F(BadHttp, OversizedBodiesGet413) {
  options_.max_body = 1000;
  Start();
  auto r = Fetch(port_, "POST", "/page.hvs", {}, std::string(1001, 'x'));
  EXPECT_EQ(r.status, 413);
  r = Fetch(port_, "POST", "/page.hvs", {}, std::string(1000, 'x'));
  EXPECT_EQ(r.status, 200);
  // Chunked, so the size shows only as it comes.
  Socket s(port_);
  std::string chunk(600, 'c');
  s.Send("POST /page.hvs HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n258\r\n" + chunk + "\r\n258\r\n" +
         chunk + "\r\n0\r\n\r\n");
  EXPECT_EQ(StatusOf(s.ReadUntilClose(seconds(3))), 413);
  // A body announced but never sent in full, and a chunked one that never
  // ends: dropped once the request time is up.
  const auto start = Clock::now();
  Socket half(port_);
  half.Send("POST /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: 900\r\n\r\nonly a little");
  Socket endless(port_);
  endless.Send("POST /page.hvs HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n");
  for (Socket* sock : {&half, &endless}) {
    bool closed = false;
    sock->ReadUntilClose(seconds(6), &closed);
    EXPECT_TRUE(closed);
  }
  EXPECT_LT(Clock::now() - start, seconds(5));
  ExpectServed();
}

// 200 clients that trickle a request a byte at a time (within the idle
// time), and others that connect and send nothing: pages and static files
// are answered within a second all along.
TEST_F(BadHttp, SlowClientsCostNoWorker) {
  Start();
  const long rss = ResidentKiB();
  std::vector<std::unique_ptr<Socket>> slow;
  for (int i = 0; i < 200; ++i) slow.push_back(std::make_unique<Socket>(port_));
  const std::string request = "GET /page.hvs HTTP/1.1\r\nHost: x\r\n";
  for (int round = 0; round < 5; ++round) {
    for (auto& s : slow) s->Send(request.substr(static_cast<std::size_t>(round), 1));
    ExpectServed();
    std::this_thread::sleep_for(milliseconds(300));
  }
  EXPECT_LT(ResidentKiB() - rss, 64 * 1024);
}

// A client that keeps trickling, each byte within the idle time, is
// dropped once the request time is up; a silent one at the idle time.
TEST_F(BadHttp, TricklingAndSilentClientsAreDropped) {
  options_.request_timeout = milliseconds(1500);
  options_.idle_timeout = seconds(1);
  Start();
  const auto start = Clock::now();
  Socket silent(port_);
  Socket trickle(port_);
  const std::string request = "GET /page.hvs HTTP/1.1\r\nHost: x\r\nX-Pad: " + std::string(100, 'p');
  bool dropped = false;
  for (std::size_t i = 0; i < request.size() && Clock::now() - start < seconds(5); ++i) {
    if (!trickle.Send(request.substr(i, 1))) {
      dropped = true;
      break;
    }
    bool closed = false;
    trickle.ReadUntilClose(milliseconds(200), &closed);
    if (closed) {
      dropped = true;
      break;
    }
  }
  EXPECT_TRUE(dropped);
  EXPECT_LT(Clock::now() - start, milliseconds(2500));
  bool closed = false;
  silent.ReadUntilClose(seconds(2), &closed);
  EXPECT_TRUE(closed);
}

// 64 pages that sleep hold no worker: others are answered meanwhile.
TEST_F(BadHttp, SleepingPagesDoNotDelayOthers) {
  options_.workers = 2;
  Start();
  std::vector<std::future<testing::Response>> sleepers;
  for (int i = 0; i < 64; ++i)
    sleepers.push_back(std::async(std::launch::async, [&] { return Get(port_, "/sleep.hvs"); }));
  std::this_thread::sleep_for(milliseconds(300));
  ExpectServed();
  for (auto& s : sleepers) EXPECT_EQ(s.get().body, "slept");
}

// Past the pages in flight, 503 at once; static files go on.
TEST_F(BadHttp, TooManyPagesGet503) {
  options_.max_pages = 4;
  Start();
  std::vector<std::future<testing::Response>> sleepers;
  for (int i = 0; i < 4; ++i)
    sleepers.push_back(std::async(std::launch::async, [&] { return Get(port_, "/sleep.hvs"); }));
  std::this_thread::sleep_for(milliseconds(300));
  auto r = Get(port_, "/page.hvs");
  EXPECT_EQ(r.status, 503);
  EXPECT_EQ(r.Header("retry-after"), "1");
  EXPECT_EQ(Get(port_, "/plain.txt").status, 200);
  for (auto& s : sleepers) EXPECT_EQ(s.get().status, 200);
  EXPECT_EQ(Get(port_, "/page.hvs").status, 200);
}

// A page whose client does not take what it flushed waits without its
// worker: with one worker, other pages are answered meanwhile.
TEST_F(BadHttp, ClientsThatDoNotReadHoldNoWorker) {
  options_.workers = 1;
  options_.timeout = seconds(3);
  Start();
  std::vector<std::unique_ptr<Socket>> stuck;
  for (int i = 0; i < 3; ++i) {
    stuck.push_back(std::make_unique<Socket>(port_));
    stuck.back()->SmallReceiveBuffer();
    stuck.back()->Send("GET /big.hvs HTTP/1.1\r\nHost: x\r\n\r\n");
  }
  std::this_thread::sleep_for(milliseconds(500));
  ExpectServed();
}

// A large file is sent from its file descriptor: many clients that take it
// slowly cost no copies of it.  Range does not multiply a response.
TEST_F(BadHttp, LargeStaticFilesAreNotReadIntoMemory) {
  WriteBinary("large.bin", std::size_t{16} << 20);
  WriteBinary("mib.bin", std::size_t{1} << 20);
  Start();
  const long rss = ResidentKiB();
  std::vector<std::unique_ptr<Socket>> readers;
  for (int i = 0; i < 32; ++i) {
    readers.push_back(std::make_unique<Socket>(port_));
    readers.back()->SmallReceiveBuffer();
    readers.back()->Send(std::string(i % 2 ? "HEAD" : "GET") + " /large.bin HTTP/1.1\r\nHost: x\r\n\r\n");
  }
  std::string ranges = "bytes=0-";
  for (int i = 0; i < 300; ++i) ranges += ",0-";
  std::vector<std::future<testing::Response>> ranged;
  for (int i = 0; i < 4; ++i) {
    ranged.push_back(std::async(std::launch::async, [&] {
      return Fetch(port_, "GET", "/mib.bin", "Range: " + ranges + "\r\n", {}, seconds(10));
    }));
  }
  for (auto& f : ranged) {
    auto r = f.get();
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body.size(), std::size_t{1} << 20);
  }
  // One range: ignored (the whole file with 200), never a 200 with a part.
  auto r = Fetch(port_, "GET", "/plain.txt", "Range: bytes=0-3\r\n");
  EXPECT_TRUE((r.status == 200 && r.body == "plain ok") || (r.status == 206 && r.body == "plai")) << r.status;
  std::this_thread::sleep_for(milliseconds(300));
  ExpectServed();
  EXPECT_LT(ResidentKiB() - rss, 64 * 1024);
}

TEST_F(BadHttp, HalfClosedConnections) {
  Start();
  // A whole request, then the client's side closed: answered or closed at once.
  {
    const auto start = Clock::now();
    Socket s(port_);
    s.Send("GET /page.hvs HTTP/1.1\r\nHost: x\r\n\r\n");
    s.ShutdownWrite();
    bool closed = false;
    const std::string r = s.ReadUntilClose(seconds(5), &closed);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(StatusOf(r) == 0 || StatusOf(r) == 200) << r.substr(0, 200);
    EXPECT_LT(Clock::now() - start, seconds(2));
  }
  // Half a request, then closed: the server closes too, without waiting.
  {
    const auto start = Clock::now();
    Socket s(port_);
    s.Send("GET /page.hvs HT");
    s.ShutdownWrite();
    bool closed = false;
    const std::string r = s.ReadUntilClose(seconds(5), &closed);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(StatusOf(r) == 0 || StatusOf(r) == 400);
    EXPECT_LT(Clock::now() - start, seconds(2));
  }
  // Clients that go away before reading the answer, or at once.
  for (int i = 0; i < 20; ++i) {
    Socket s(port_);
    s.Send("GET /page.hvs HTTP/1.1\r\nHost: x\r\n\r\nGET /sleep.hvs HTTP/1.1\r\nHost: x\r\n\r\n");
  }
  for (int i = 0; i < 20; ++i) Socket s(port_);
  ExpectServed();
}

}  // namespace
}  // namespace halvane::serve
