#include "host/session/hub.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace halvane::session {

const char* const kOptionsHelp = R"(  --sessions STORE         where Session and Application values live: memory
                           (default; this process only), sqlite:PATH (an
                           SQLite file shared by the processes of one host) or
                           redis://[:PASSWORD@]HOST[:PORT][/DB] (shared by many hosts)
  --session-timeout MINUTES  idle minutes after which a session ends (1-1440, default 20)
  --session-max-size BYTES   largest stored size of one session's values, and
                           of the application's (default 1048576)
  --max-sessions N         sessions the memory store keeps (default 100000);
                           beyond, the one idle longest is dropped
)";

bool IsValueOption(std::string_view name) {
  return name == "--sessions" || name == "--session-timeout" || name == "--session-max-size" ||
         name == "--max-sessions";
}

std::string ApplyOption(std::string_view name, const std::string& value, Settings& s) {
  if (name == "--sessions") {
    if (value.empty()) return "--sessions needs a store: memory, sqlite:PATH or redis://HOST[:PORT]";
    s.store = value;
    return {};
  }
  char* end = nullptr;
  errno = 0;
  const unsigned long long n = std::strtoull(value.c_str(), &end, 10);
  const bool number = !value.empty() && value[0] != '-' && *end == '\0' && errno == 0;
  if (name == "--session-timeout") {
    if (!number || n < 1 || n > 1440) return "--session-timeout needs minutes from 1 to 1440";
    s.timeout = static_cast<std::int32_t>(n);
  } else if (name == "--session-max-size") {
    if (!number || n < 64 || n > (1ull << 30)) return "--session-max-size needs bytes from 64 to 1073741824";
    s.max_size = static_cast<std::size_t>(n);
  } else if (name == "--max-sessions") {
    if (!number || n < 1 || n > 100000000) return "--max-sessions needs a whole number from 1 to 100000000";
    s.max_sessions = static_cast<std::size_t>(n);
  } else {
    return "unknown option " + std::string(name);
  }
  return {};
}

Hub::Hub(Settings settings, milliseconds page_limit)
    : settings_(std::move(settings)),
      // The page's own limit, and a little more for writing its values.
      lock_ttl_(page_limit + milliseconds(1000)),
      store_(OpenStore(settings_.store, StoreOptions{settings_.max_sessions})) {}

Hub::~Hub() {
  {
    std::lock_guard lk(m_);
    stop_ = true;
  }
  cv_.notify_all();
  if (purger_.joinable()) purger_.join();
}

void Hub::Log(const std::string& line) {
  if (log) {
    log(line);
  } else {
    std::fprintf(stderr, "halvane: sessions: %s\n", line.c_str());
  }
}

void Hub::StartPurging(milliseconds every) {
  purger_ = std::thread([this, every] {
    std::unique_lock lk(m_);
    auto next_purge = std::chrono::steady_clock::now() + every;
    while (!cv_.wait_for(lk, std::chrono::seconds(1), [this] { return stop_; })) {
      lk.unlock();
      try {
        store_->Tidy();
        if (std::chrono::steady_clock::now() >= next_purge) {
          next_purge += every;
          store_->Purge();
        }
      } catch (const StoreError& e) {
        Log(std::string("keeping the store tidy failed: ") + e.what());
      }
      lk.lock();
    }
  });
}

}  // namespace halvane::session
