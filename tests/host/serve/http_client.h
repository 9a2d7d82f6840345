// A small HTTP/1.x client over raw sockets on 127.0.0.1 for the server
// tests: sends bytes exactly as given and reads exactly what comes back,
// with every wait bounded.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvane::serve::testing {

using Clock = std::chrono::steady_clock;

class Socket {
 public:
  explicit Socket(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
  int fd() const { return fd_; }

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

  // A small receive buffer, so that a client that does not read holds the
  // server's data back soon.
  void SmallReceiveBuffer() {
    int size = 4096;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }

  // Reads until the server closes the connection or `limit` has passed;
  // `closed` tells which.  `pieces` gets the time and size of each read.
  std::string ReadUntilClose(Clock::duration limit, bool* closed = nullptr,
                             std::vector<std::pair<Clock::time_point, std::size_t>>* pieces = nullptr) {
    std::string out;
    const auto end = Clock::now() + limit;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buf[65536];
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) {
        if (closed) *closed = true;
        return out;
      }
      if (pieces) pieces->emplace_back(Clock::now(), static_cast<std::size_t>(n));
      out.append(buf, static_cast<std::size_t>(n));
    }
    if (closed) *closed = false;
    return out;
  }

  // Reads until `text` has arrived (true) or `limit` has passed.
  bool ReadUntil(std::string& got, std::string_view text, Clock::duration limit) {
    const auto end = Clock::now() + limit;
    while (got.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
      char buf[65536];
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return false;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

struct Response {
  int status = 0;                                            // 0: no response
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string body;                                          // de-chunked
  bool chunked = false;
  std::string rest;  // bytes after this response (a pipelined next one)

  std::string Header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
      if (n == name) return v;
    }
    return {};
  }
  bool Has(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return h.first == name; });
  }
};

// Parses one response from the start of `raw`; a HEAD response (no body)
// when `head`.  A body without a length runs to the end of `raw`.
inline Response Parse(const std::string& raw, bool head = false) {
  Response r;
  if (raw.rfind("HTTP/1.", 0) != 0 || raw.size() < 12) return r;
  const std::size_t end = raw.find("\r\n\r\n");
  if (end == std::string::npos) return r;
  r.status = std::atoi(raw.substr(9, 3).c_str());
  std::size_t line = raw.find("\r\n") + 2;
  while (line < end + 2) {
    std::size_t eol = raw.find("\r\n", line);
    std::string h = raw.substr(line, eol - line);
    line = eol + 2;
    std::size_t colon = h.find(':');
    if (colon == std::string::npos) continue;
    std::string name = h.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t v = colon + 1;
    while (v < h.size() && h[v] == ' ') ++v;
    r.headers.emplace_back(name, h.substr(v));
  }
  std::size_t pos = end + 4;
  if (head || r.status == 304 || r.status == 204) {
    r.rest = raw.substr(pos);
    return r;
  }
  if (r.Header("transfer-encoding") == "chunked") {
    r.chunked = true;
    for (;;) {
      std::size_t eol = raw.find("\r\n", pos);
      if (eol == std::string::npos) break;
      std::size_t n = std::strtoul(raw.substr(pos, eol - pos).c_str(), nullptr, 16);
      pos = eol + 2;
      if (n == 0) {
        std::size_t trailer = raw.find("\r\n", pos);
        pos = trailer == std::string::npos ? raw.size() : trailer + 2;
        break;
      }
      r.body += raw.substr(pos, n);
      pos += n + 2;
    }
    r.rest = pos < raw.size() ? raw.substr(pos) : std::string();
  } else if (r.Has("content-length")) {
    std::size_t n = std::strtoul(r.Header("content-length").c_str(), nullptr, 10);
    r.body = raw.substr(pos, n);
    r.rest = pos + n < raw.size() ? raw.substr(pos + n) : std::string();
  } else {
    r.body = raw.substr(pos);
  }
  return r;
}

// One request on a fresh connection (closed after it); `extra` is more
// header lines, each ending in CR LF.
inline Response Fetch(int port, std::string_view method, std::string_view target, std::string_view extra = {},
                      std::string_view body = {}, Clock::duration limit = std::chrono::seconds(20)) {
  Socket s(port);
  if (!s.connected()) return {};
  std::string req(method);
  req += ' ';
  req += target;
  req += " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  req += extra;
  if (!body.empty() || method == "POST") req += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  req += "\r\n";
  req += body;
  s.Send(req);
  return Parse(s.ReadUntilClose(limit), method == "HEAD");
}

inline Response Get(int port, std::string_view target) { return Fetch(port, "GET", target); }

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
