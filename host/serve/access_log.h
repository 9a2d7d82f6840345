// The access log: one line per request, gathered and written 32 KiB at a
// time (the log is often an unbuffered standard error, where each line
// would cost a write of its own); Flush writes the rest.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace halvane::serve {

struct LogEntry {
  std::string_view remote;  // the client's address
  std::string_view method, target, version;
  int status = 0;
  std::uint64_t bytes = 0;  // body bytes sent
  std::chrono::steady_clock::duration took{};
  std::string_view note;  // what went wrong, if anything
};

class AccessLog {
 public:
  // `file`: where lines go; nullptr: nowhere.
  explicit AccessLog(std::FILE* file) : file_(file) {}

  // `time local-address "METHOD target VERSION" status bytes Nms [note]`,
  // every field escaped (LogEscape) so that a request cannot forge lines.
  void Add(const LogEntry& entry);
  // Writes what is gathered and flushes the file.  Any thread.
  void Flush();

 private:
  void Write();  // with mutex_ held

  std::FILE* const file_;
  std::mutex mutex_;
  std::string buffer_;  // lines not yet written
  bool dirty_ = false;  // written since the last fflush
};

}  // namespace halvane::serve
