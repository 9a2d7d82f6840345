// The server tests' tools: a server on its own thread over a fresh folder,
// and a small HTTP/1.x client over raw sockets on 127.0.0.1 that sends bytes
// exactly as given and reads exactly what comes back, every wait bounded.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "host/serve/server.h"
#include "support/data_files.h"

namespace halvane::serve::testing {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

inline void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// Sets a file's modification time an hour back: the page cache parses a
// file afresh while its time is recent.
inline void Age(const fs::path& p) { fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(1)); }

// A fresh folder (base/site, the served root) named after the running test,
// removed at the end; Start() serves it on a free port until the object goes.
class TestServer {
 public:
  TestServer() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // A parameterised test's name holds a '/': one folder, not two.
    std::string name = test ? test->name() : "suite";
    std::replace(name.begin(), name.end(), '/', '-');
    base = fs::temp_directory_path() / ("halvane-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(base);
    root = base / "site";
    fs::create_directories(root);
    options.root = root;
    options.port = 0;
    options.log = nullptr;
  }
  ~TestServer() {
    Stop();
    fs::remove_all(base);
  }
  void Start() {
    server = std::make_unique<Server>(options);
    port = server->Bind();
    thread = std::thread([this] { server->Serve(); });
    prefix = HtmlPrefix(options);
  }
  void Stop() {
    if (!server) return;
    server->Stop();
    thread.join();
    server.reset();
  }

  fs::path base, root;
  Options options;
  std::unique_ptr<Server> server;
  std::thread thread;
  int port = 0;
  std::string prefix;  // what every HTML answer starts with
};

class Socket {
 public:
  explicit Socket(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Socket() { ::close(fd_); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool connected() const { return connected_; }
  // Sends all of `data`; false when the server has closed the connection.
  bool Send(std::string_view data) {
    for (ssize_t n; !data.empty(); data.remove_prefix(static_cast<std::size_t>(n))) {
      if ((n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL)) <= 0) return false;
    }
    return true;
  }
  void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }
  // A small receive buffer, so that a client that does not read holds the
  // server's data back soon.
  void SmallReceiveBuffer() {
    int size = 4096;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }

  // Reads until the server closes the connection, `until` has arrived (when
  // not empty) or `limit` has passed; `closed` tells whether it closed.
  std::string Read(Clock::duration limit, bool* closed = nullptr, std::string_view until = {}) {
    std::string out;
    const auto end = Clock::now() + limit;
    if (closed) *closed = false;
    while (until.empty() || out.find(until) == std::string::npos) {
      const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buf[65536];
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) {
        if (closed) *closed = true;
        break;
      }
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }

 private:
  int fd_;
  bool connected_ = false;
};

struct Response {
  int status = 0;                                            // 0: no response
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string body;                                          // de-chunked
  bool chunked = false;
  std::string rest;  // bytes after this response (a pipelined next one)

  std::string Header(std::string_view name) const {
    const auto h = std::find_if(headers.begin(), headers.end(), [&](const auto& x) { return x.first == name; });
    return h == headers.end() ? std::string() : h->second;
  }
  bool Has(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return h.first == name; });
  }
};

// Parses one response from the start of `raw`; a HEAD response (no body)
// when `head`.  A body without a length runs to the end of `raw`.
inline Response Parse(const std::string& raw, bool head = false) {
  Response r;
  const std::size_t end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/1.", 0) != 0 || raw.size() < 12 || end == std::string::npos) return r;
  r.status = std::atoi(raw.substr(9, 3).c_str());
  for (std::size_t line = raw.find("\r\n") + 2, eol; line < end + 2; line = eol + 2) {
    eol = raw.find("\r\n", line);
    const std::string h = raw.substr(line, eol - line);
    const std::size_t colon = h.find(':');
    if (colon == std::string::npos) continue;
    std::string name = h.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t v = colon + 1;
    while (v < h.size() && h[v] == ' ') ++v;
    r.headers.emplace_back(name, h.substr(v));
  }
  std::size_t pos = end + 4;
  r.chunked = !head && r.Header("transfer-encoding") == "chunked";
  if (r.chunked) {
    for (std::size_t eol; (eol = raw.find("\r\n", pos)) != std::string::npos;) {
      const std::size_t n = std::strtoul(raw.substr(pos, eol - pos).c_str(), nullptr, 16);
      pos = eol + 2;
      if (n == 0) {
        pos = raw.find("\r\n", pos) == std::string::npos ? raw.size() : raw.find("\r\n", pos) + 2;  // trailer
        break;
      }
      r.body += raw.substr(pos, n);
      pos += n + 2;
    }
  } else if (!head && r.status != 304 && r.status != 204) {
    const std::size_t n =
        r.Has("content-length") ? std::strtoul(r.Header("content-length").c_str(), nullptr, 10) : std::string::npos;
    r.body = raw.substr(pos, n);
    pos = n == std::string::npos ? raw.size() : pos + n;
  }
  r.rest = pos < raw.size() ? raw.substr(pos) : std::string();
  return r;
}

// One request on a fresh connection (closed after it); `extra` is more
// header lines, each ending in CR LF.
inline Response Fetch(int port, std::string_view method, std::string_view target, std::string_view extra = {},
                      std::string_view body = {}, Clock::duration limit = seconds(20)) {
  Socket s(port);
  std::string req = std::string(method) + " " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  req += "Connection: close\r\n" + std::string(extra);
  if (!body.empty() || method == "POST") req += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  req += "\r\n" + std::string(body);
  if (!s.connected() || !s.Send(req)) return {};
  return Parse(s.Read(limit), method == "HEAD");
}

inline Response Get(int port, std::string_view target) { return Fetch(port, "GET", target); }

// A program of its own, its standard error into `log`, stopped (SIGTERM,
// then waited for) when the object goes.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const fs::path& log) : log_(log) {
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 2);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
  }
  ~Process() { Stop(SIGTERM); }
  void Signal(int sig) const {
    if (pid_ > 0) ::kill(pid_, sig);
  }
  // Waits for the end, killing the program once `limit` has passed; the
  // status as waitpid gives it (-1 when already waited for).
  int Wait(Clock::duration limit = seconds(10)) {
    int status = -1;
    for (const auto end = Clock::now() + limit; pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0;) {
      if (Clock::now() > end) ::kill(pid_, SIGKILL);
      std::this_thread::sleep_for(milliseconds(10));
    }
    pid_ = -1;
    return status;
  }
  void Stop(int sig) {
    Signal(sig);
    Wait();
  }
  std::string Log() const { return test_support::ReadFile(log_); }

 private:
  pid_t pid_ = -1;
  fs::path log_;
};

#ifdef HALVANE_BIN
// `halvane serve DIR --port 0 --no-compat MORE...`; `port` is the one it
// took, once its log names it (0 when it never does).
struct Backend {
  Backend(const fs::path& dir, std::vector<std::string> more, const fs::path& log)
      : process(Args(dir, std::move(more)), log) {
    const std::string at = "http://127.0.0.1:";
    for (int i = 0; i < 200 && port == 0; ++i) {
      const std::string text = process.Log();
      if (const std::size_t p = text.find(at); p != std::string::npos) port = std::atoi(text.c_str() + p + at.size());
      if (port == 0) std::this_thread::sleep_for(milliseconds(20));
    }
  }
  static std::vector<std::string> Args(const fs::path& dir, std::vector<std::string> more) {
    std::vector<std::string> a{HALVANE_BIN, "serve", dir.string(), "--port", "0", "--no-compat"};
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }
  Process process;
  int port = 0;
};
#endif

// This process's resident memory, in KiB.
inline long ResidentKiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

}  // namespace halvane::serve::testing
