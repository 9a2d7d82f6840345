// The session store of a host process and what every page's Session and
// Application need from it: the settings of the command line, the store
// opened from them, and a thread that purges lapsed sessions now and then
// so that no page waits for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "host/session/store.h"

namespace halvane::session {

struct Settings {
  std::string store = "memory";         // --sessions
  std::int32_t timeout = 20;            // --session-timeout, minutes
  std::size_t max_size = 1024 * 1024;   // --session-max-size, bytes of one record
  std::size_t max_sessions = 100000;    // --max-sessions (memory store)
  bool secure_cookies = false;          // --secure-cookies
};

// True when `name` is a session option taking a value (--sessions,
// --session-timeout, --session-max-size, --max-sessions).
bool IsValueOption(std::string_view name);
// Sets the option `name` to `value`; the error text when it makes no sense.
std::string ApplyOption(std::string_view name, const std::string& value, Settings& settings);

// The lines of `serve --help` (and `run --help`) for these options.
extern const char* const kOptionsHelp;

class Hub {
 public:
  // Opens the store (StoreError when it cannot be reached).  A lock a page
  // holds lapses after `page_limit`, the longest a page may run, so that a
  // process that died holding it does not block its session for ever.
  Hub(Settings settings, milliseconds page_limit);
  ~Hub();
  Hub(const Hub&) = delete;
  Hub& operator=(const Hub&) = delete;

  const Settings& settings() const { return settings_; }
  Store& store() { return *store_; }
  milliseconds lock_ttl() const { return lock_ttl_; }

  // A line to the log (a record that did not read back, a store failure).
  void Log(const std::string& line);
  std::function<void(const std::string&)> log;  // default: standard error

  // Purges the store every `every`, and tidies it every second, on a thread
  // of its own, until the hub goes.
  void StartPurging(milliseconds every);

 private:
  Settings settings_;
  milliseconds lock_ttl_;
  std::unique_ptr<Store> store_;
  std::mutex m_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::thread purger_;
};

}  // namespace halvane::session
