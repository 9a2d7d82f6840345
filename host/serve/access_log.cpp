#include "host/serve/access_log.h"

#include <ctime>

#include "core/text.h"
#include "host/serve/paths.h"

namespace halvane::serve {
namespace {

constexpr std::size_t kLogBuffer = 32 * 1024;  // lines gathered before a write

// The local time to the second; worked out once a second (the conversion
// to local time is slow).
std::string TimeStamp() {
  static std::mutex m;
  static std::time_t last = 0;
  static char text[32] = "";
  std::time_t now = std::time(nullptr);
  std::lock_guard lk(m);
  if (now != last) {
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    last = now;
  }
  return text;
}

}  // namespace

void AccessLog::Add(const LogEntry& e) {
  if (!file_) return;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(e.took).count();
  std::string line = TimeStamp();
  line += ' ';
  line += e.remote;
  line += " \"";
  line += LogEscape(e.method);
  line += ' ';
  line += LogEscape(e.target);
  line += ' ';
  line += LogEscape(e.version);
  line += "\" ";
  line += text::Decimal(e.status);
  line += ' ';
  line += text::Decimal(e.bytes);
  line += ' ';
  line += text::Decimal(ms);
  line += "ms";
  if (!e.note.empty()) {
    line += ' ';
    line += LogEscape(e.note);
  }
  line += '\n';
  std::lock_guard lk(mutex_);
  buffer_ += line;
  if (buffer_.size() >= kLogBuffer) Write();
}

void AccessLog::Write() {
  if (buffer_.empty()) return;
  std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  buffer_.clear();
  dirty_ = true;
}

void AccessLog::Flush() {
  if (!file_) return;
  std::lock_guard lk(mutex_);
  Write();
  if (dirty_) std::fflush(file_);
  dirty_ = false;
}

}  // namespace halvane::serve
