// halvane serve against bad HTTP, over raw sockets on 127.0.0.1: malformed
// request lines, oversized headers and bodies, slow clients and half-closed
// connections get a clean error status, a close or a time-out, and the
// server keeps answering everybody else.  Every wait here is bounded.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <poll.h>

#include <chrono>
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
using std::chrono::seconds;

// The server drops a connection that sends nothing for this long (the HTTP
// library's read time-out); the tests allow a margin above it.
constexpr auto kReadTimeout = seconds(5);
constexpr auto kMargin = seconds(4);

class Socket {
 public:
  explicit Socket(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool connected() const { return connected_; }

  // Sends all of `data`; false when the server has closed the connection.
  bool Send(std::string_view data) {
    while (!data.empty()) {
      const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

  // Reads until the server closes the connection or `limit` has passed.
  // `closed` tells which of the two ended it.
  std::string ReadUntilClose(Clock::duration limit, bool* closed = nullptr) {
    std::string out;
    const auto end = Clock::now() + limit;
    for (;;) {
      const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buf[65536];
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) {
        if (closed) *closed = true;
        return out;
      }
      out.append(buf, static_cast<std::size_t>(n));
    }
    if (closed) *closed = false;
    return out;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

// The status of a response text, 0 when there is none.
int StatusOf(const std::string& response) {
  if (response.rfind("HTTP/1.", 0) != 0 || response.size() < 12) return 0;
  return std::stoi(response.substr(9, 3));
}

class BadHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("halvane-bad-http-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    std::ofstream(root_ / "page.hvs") << "Response.Write \"page ok\"\n";
    std::ofstream(root_ / "plain.txt") << "plain ok";
    Options o;
    o.root = root_;
    o.port = 0;
    o.log = nullptr;
    o.compat = false;
    server_ = std::make_unique<Server>(o);
    port_ = server_->Bind();
    thread_ = std::thread([this] { server_->Serve(); });
  }
  void TearDown() override {
    server_->Stop();
    thread_.join();
    fs::remove_all(root_);
  }

  // A well-formed request, answered promptly with 200 and the page.
  void ExpectServed(Clock::duration within = seconds(3)) {
    const auto start = Clock::now();
    Socket s(port_);
    ASSERT_TRUE(s.connected());
    ASSERT_TRUE(s.Send("GET /page.hvs HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"));
    const std::string r = s.ReadUntilClose(within);
    EXPECT_EQ(StatusOf(r), 200) << r.substr(0, 200);
    EXPECT_NE(r.find("page ok"), std::string::npos);
    EXPECT_LT(Clock::now() - start, within);
  }

  // Sends `request`; the answer must be a 4xx status or a plain close, and
  // come within a few seconds.  Returns the status (0 for a close).
  int BadRequest(const std::string& request) {
    Socket s(port_);
    EXPECT_TRUE(s.connected());
    s.Send(request);
    bool closed = false;
    const std::string r = s.ReadUntilClose(kReadTimeout + kMargin, &closed);
    const int status = StatusOf(r);
    EXPECT_TRUE(closed || status != 0) << "no answer and no close for: " << request.substr(0, 80);
    if (status != 0) {
      EXPECT_TRUE(status >= 400 && status < 500) << r.substr(0, 200);
    }
    return status;
  }

  // Sends a request with a body; the answer must be one of the statuses a
  // refused or ignored body gives, or a close, within the time-outs.
  void Answered(const std::string& head, const std::string& body) {
    const auto start = Clock::now();
    Socket s(port_);
    s.Send(head);
    s.Send(body);  // may stop early once the server refuses
    bool closed = false;
    const std::string r = s.ReadUntilClose(kReadTimeout + kMargin, &closed);
    const int status = StatusOf(r);
    EXPECT_TRUE(status == 200 || status == 400 || status == 405 || status == 413 || (status == 0 && closed))
        << r.substr(0, 200);
    EXPECT_LT(Clock::now() - start, kReadTimeout + kMargin);
  }

  fs::path root_;
  std::unique_ptr<Server> server_;
  int port_ = 0;
  std::thread thread_;
};

TEST_F(BadHttp, MalformedRequestLinesGetAnErrorOrAClose) {
  const std::vector<std::string> requests = {
      "GARBAGE\r\n\r\n",
      "GET\r\n\r\n",
      "GET /page.hvs\r\n\r\n",
      "GET /page.hvs HTTP/1.1 extra words\r\n\r\n",
      std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + std::string(64, '\0') + "\r\n\r\n",
      "GET /%zz%00%ff HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
      "\r\n\r\n\r\n\r\n",
  };
  // All at once: each waits for its own answer or close.
  std::vector<std::future<int>> answers;
  for (const std::string& r : requests) answers.push_back(std::async(std::launch::async, [&, r] { return BadRequest(r); }));
  for (auto& a : answers) a.get();
  // A header line without a colon is passed over; the request is answered.
  {
    Socket s(port_);
    s.Send("GET /page.hvs HTTP/1.1\r\nHost 127.0.0.1\r\nConnection: close\r\n\r\n");
    const int status = StatusOf(s.ReadUntilClose(kReadTimeout + kMargin));
    EXPECT_TRUE(status == 200 || status == 400) << status;
  }
  ExpectServed();
}

TEST_F(BadHttp, OversizedRequestLineAndHeaders) {
  // A target of 100,000 characters; a header line of 100,000; 2,000 headers.
  auto long_target = std::async(std::launch::async, [&] {
    return BadRequest("GET /" + std::string(100000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n");
  });
  auto long_header = std::async(std::launch::async, [&] {
    return BadRequest("GET /page.hvs HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(100000, 'b') + "\r\n\r\n");
  });
  std::string many = "GET /page.hvs HTTP/1.1\r\nHost: x\r\n";
  for (int i = 0; i < 2000; ++i) many += "X-H" + std::to_string(i) + ": " + std::string(40, 'h') + "\r\n";
  many += "\r\n";
  Socket s(port_);
  s.Send(many);
  bool closed = false;
  const std::string r = s.ReadUntilClose(kReadTimeout + kMargin, &closed);
  EXPECT_TRUE(closed || StatusOf(r) != 0);
  EXPECT_NE(long_target.get(), 200);
  EXPECT_NE(long_header.get(), 200);
  ExpectServed();
}

// Bodies: only GET and HEAD are served and their bodies are not read.  A
// body is either refused or left unread; unread bytes are then taken as the
// next request on the connection and refused in turn.  Either way the
// answer comes within the time-outs and the server serves everyone else.
TEST_F(BadHttp, OversizedAndBrokenBodies) {
  std::vector<std::future<void>> runs;
  auto answered = [&](std::string head, std::string body) {
    runs.push_back(std::async(std::launch::async, [this, head, body] { Answered(head, body); }));
  };
  // More than the 1 MiB a request may carry, announced and sent.
  answered("GET /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: 2000000\r\n\r\n", std::string(2000000, 'x'));
  answered("POST /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: 2000000\r\n\r\n", std::string(2000000, 'p'));
  // A body announced but never sent in full.
  answered("GET /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\n", "only a little");
  answered("POST /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\n", "only a little");
  // Lengths that are no numbers, negative or beyond any size; a chunked body
  // that never ends.
  answered("GET /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\n", "");
  answered("GET /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999999999999999\r\n\r\n", "");
  answered("GET /page.hvs HTTP/1.1\r\nHost: x\r\nContent-Length: ten\r\n\r\n", "");
  answered("POST /page.hvs HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n", "ffffffff\r\nabc");
  for (auto& r : runs) r.get();
  ExpectServed();
}

// Clients that connect and send nothing, or half a request, or a byte now
// and then: the others are served meanwhile, and the silent ones are dropped
// after the read time-out.  (Each connection holds one of the server's 16
// request threads while it is open, so these are fewer than that.)
TEST_F(BadHttp, SlowClientsDoNotBlockOthersAndAreDropped) {
  const auto start = Clock::now();
  std::vector<std::unique_ptr<Socket>> slow;
  for (int i = 0; i < 4; ++i) slow.push_back(std::make_unique<Socket>(port_));  // silent
  for (int i = 0; i < 4; ++i) {
    slow.push_back(std::make_unique<Socket>(port_));
    slow.back()->Send("GET /page.hvs HTTP/1.1\r\nHo");  // half a request
  }
  // One byte every 250 ms, well inside the read time-out, for longer than
  // it: the trickling client is kept and answered in the end.
  Socket trickle(port_);
  const std::string request = "GET /page.hvs HTTP/1.0\r\n\r\n";
  for (std::size_t i = 0; i < request.size(); ++i) {
    trickle.Send(request.substr(i, 1));
    if (i % 4 == 0) ExpectServed(seconds(2));  // answered while the slow ones hang on
    std::this_thread::sleep_for(milliseconds(250));
  }
  const std::string r = trickle.ReadUntilClose(seconds(5));
  EXPECT_EQ(StatusOf(r), 200) << r.substr(0, 200);
  ASSERT_GT(Clock::now() - start, kReadTimeout);
  // By now the silent and the half-sent ones have been dropped.
  for (auto& s : slow) {
    bool closed = false;
    const std::string answer = s->ReadUntilClose(kMargin, &closed);
    EXPECT_TRUE(closed || StatusOf(answer) >= 400) << "a silent client was kept";
  }
  ExpectServed();
}

TEST_F(BadHttp, HalfClosedConnections) {
  // A whole request, then the client's side closed.  The HTTP library takes
  // the client's close for a dead connection and closes without an answer;
  // what matters here is that it does so at once.
  {
    const auto start = Clock::now();
    Socket s(port_);
    s.Send("GET /page.hvs HTTP/1.1\r\nHost: x\r\n\r\n");
    s.ShutdownWrite();
    bool closed = false;
    const std::string r = s.ReadUntilClose(kReadTimeout + kMargin, &closed);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(StatusOf(r) == 0 || StatusOf(r) == 200) << r.substr(0, 200);
    EXPECT_LT(Clock::now() - start, seconds(2));
  }
  // Half a request, then closed: the server closes too, without waiting for
  // its time-out.
  {
    const auto start = Clock::now();
    Socket s(port_);
    s.Send("GET /page.hvs HT");
    s.ShutdownWrite();
    bool closed = false;
    const std::string r = s.ReadUntilClose(kReadTimeout + kMargin, &closed);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(StatusOf(r) == 0 || StatusOf(r) == 400);
    EXPECT_LT(Clock::now() - start, seconds(2));
  }
  // Requests whose clients go away before reading the answer (the server's
  // writes then fail), and connections closed at once.
  for (int i = 0; i < 20; ++i) {
    Socket s(port_);
    s.Send("GET /page.hvs HTTP/1.1\r\nHost: x\r\n\r\nGET /plain.txt HTTP/1.1\r\nHost: x\r\n\r\n");
  }
  for (int i = 0; i < 20; ++i) Socket s(port_);
  ExpectServed();
}

// Two requests in one write on one connection: the first is answered; the
// second is answered too or the connection is closed within the keep-alive
// time (the HTTP library does not see a request already in its buffer).
TEST_F(BadHttp, PipelinedRequestsAreAnsweredOrClosed) {
  const auto start = Clock::now();
  Socket s(port_);
  s.Send("GET /plain.txt HTTP/1.1\r\nHost: x\r\n\r\nGET /page.hvs HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  bool closed = false;
  const std::string r = s.ReadUntilClose(kReadTimeout + kMargin, &closed);
  EXPECT_TRUE(closed);
  const std::size_t first = r.find("plain ok");
  ASSERT_NE(first, std::string::npos) << r;
  const std::size_t second = r.find("page ok");
  if (second != std::string::npos) {
    EXPECT_LT(first, second);
  }
  EXPECT_LT(Clock::now() - start, kReadTimeout);
  ExpectServed();
}

}  // namespace
}  // namespace halvane::serve
