// The store of one process: records and locks in a map, lost when the
// process ends.  At most `max_sessions` session records ("s:" keys) are
// kept; one more drops the session idle longest.
#pragma once

#include <list>
#include <mutex>
#include <unordered_map>

#include "host/session/store.h"

namespace halvane::session {

class MemoryStore final : public Store {
 public:
  explicit MemoryStore(std::size_t max_sessions) : max_sessions_(max_sessions) {}

  bool TryLock(const std::string& lock, const std::string& owner, milliseconds ttl) override;
  void Unlock(const std::string& lock, const std::string& owner) override;
  std::optional<std::string> Read(const std::string& key) override;
  bool Write(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
             const std::string& owner) override;
  void Purge() override;

  std::size_t Sessions() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Held {
    std::string owner;
    Clock::time_point until;
  };
  struct Kept {
    std::string record;
    Clock::time_point until;  // max(): never
    std::list<std::string>::iterator used;  // in used_; end() for other keys
  };
  void Drop(std::unordered_map<std::string, Kept>::iterator it);

  const std::size_t max_sessions_;
  mutable std::mutex m_;
  std::unordered_map<std::string, Held> locks_;
  std::unordered_map<std::string, Kept> records_;
  std::list<std::string> used_;  // session keys, last written first
};

}  // namespace halvane::session
