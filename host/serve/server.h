// `halvane serve`: serves a folder over HTTP.  Page scripts (*.hvs) run once
// per request with objects of their own, on a pool of threads; everything
// else in the folder is sent as a static file.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace halvane::serve {

struct Options {
  std::filesystem::path root;               // the served folder
  std::string host = "127.0.0.1";
  int port = 8080;                          // 0: any free port (see Server::Bind)
  std::chrono::milliseconds timeout{10000};  // longest run of one page script
  bool compat = true;                       // false: --no-compat
  unsigned threads = 0;                     // request threads; 0: a default
  std::uint64_t max_steps = 0;              // statements per request; 0: no limit
  std::FILE* log = stderr;                  // access log; nullptr: none
};

// The text put at the very start of every HTML response (page scripts and
// static .html files): the browser compatibility script, or nothing when
// `options.compat` is false.
std::string HtmlPrefix(const Options& options);

class Server {
 public:
  // Throws std::runtime_error when the root is not a folder.
  explicit Server(Options options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds the listening socket; returns the port (the chosen one when the
  // options ask for port 0).  Throws std::runtime_error when it cannot.
  int Bind();
  // Answers requests until Stop(); returns once every request has ended.
  void Serve();
  // Stops accepting, cancels running scripts.  Any thread may call it.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace halvane::serve
