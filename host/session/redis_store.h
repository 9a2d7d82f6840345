// The store of many hosts: a Redis server (or any server that speaks its
// protocol).  Records are keys that lapse by themselves (the session's
// timeout); a lock is a key set only when absent, for its time to live, and
// removed or overwritten only by its owner, each check and change one
// script that the server runs as a whole.
#pragma once

#include <mutex>
#include <vector>

#include "host/session/store.h"

struct redisContext;

namespace halvane::session {

struct RedisAddress {
  std::string host;
  int port = 6379;
  std::string password;
  int db = 0;
};

// "redis://[:PASSWORD@]HOST[:PORT][/DB]"; nullopt when it is not one.
std::optional<RedisAddress> ParseRedisUrl(const std::string& url);

class RedisStore final : public Store {
 public:
  // Connects once to check that the server answers; StoreError when not.
  explicit RedisStore(RedisAddress address);
  ~RedisStore() override;

  bool TryLock(const std::string& lock, const std::string& owner, milliseconds ttl) override;
  void Unlock(const std::string& lock, const std::string& owner) override;
  std::optional<std::string> Read(const std::string& key) override;
  bool Write(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
             const std::string& owner) override;
  bool WriteAndUnlock(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
                      const std::string& owner) override;
  void Purge() override {}  // the server lets keys lapse itself

 private:
  class Connection;
  // A connection of the pool (a new one when none is free).
  std::unique_ptr<Connection> Take();
  void Give(std::unique_ptr<Connection> c);
  template <class F>
  auto With(F use);
  // The write script: writes or removes `key` while `owner` holds `lock`,
  // releasing it too with `unlock`.
  bool Run(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
           const std::string& owner, bool unlock);

  RedisAddress address_;
  std::mutex m_;
  std::vector<std::unique_ptr<Connection>> idle_;
};

}  // namespace halvane::session
