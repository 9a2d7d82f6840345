#include "host/session/redis_store.h"

#include <hiredis/hiredis.h>

#include <cstdlib>

#include "core/text.h"

namespace halvane::session {
namespace {

// Keys of this program carry a prefix, so that a server may be shared.
std::string Key(const std::string& k) { return "halvane:" + k; }

constexpr std::size_t kMaxIdle = 16;
constexpr timeval kTimeout{2, 0};

// KEYS[1] the lock; ARGV[1] the owner.
constexpr const char* kUnlockScript =
    "if redis.call('get', KEYS[1]) == ARGV[1] then return redis.call('del', KEYS[1]) end return 0";
// KEYS[1] the record, KEYS[2] the lock; ARGV[1] the owner, ARGV[2] "set"
// or "del", ARGV[3] the record, ARGV[4] its time to live in ms (0: none),
// ARGV[5] "1" to release the lock as well.
constexpr const char* kWriteScript =
    "if redis.call('get', KEYS[2]) ~= ARGV[1] then return 0 end "
    "if ARGV[2] == 'del' then redis.call('del', KEYS[1]) "
    "elseif ARGV[4] == '0' then redis.call('set', KEYS[1], ARGV[3]) "
    "else redis.call('set', KEYS[1], ARGV[3], 'PX', ARGV[4]) end "
    "if ARGV[5] == '1' then redis.call('del', KEYS[2]) end return 1";

// The connection is no longer fit for use.
class Broken : public StoreError {
 public:
  using StoreError::StoreError;
};

struct Reply {
  redisReply* r = nullptr;
  ~Reply() {
    if (r) freeReplyObject(r);
  }
};

}  // namespace

std::optional<RedisAddress> ParseRedisUrl(const std::string& url) {
  constexpr std::string_view kScheme = "redis://";
  if (url.rfind(kScheme, 0) != 0) return std::nullopt;
  std::string rest = url.substr(kScheme.size());
  RedisAddress a;
  if (const auto at = rest.rfind('@'); at != std::string::npos) {
    std::string auth = rest.substr(0, at);
    if (auth.empty() || auth[0] != ':') return std::nullopt;
    a.password = auth.substr(1);
    rest = rest.substr(at + 1);
  }
  if (const auto slash = rest.find('/'); slash != std::string::npos) {
    const std::string db = rest.substr(slash + 1);
    rest = rest.substr(0, slash);
    if (!db.empty()) {
      char* end = nullptr;
      const long n = std::strtol(db.c_str(), &end, 10);
      if (*end != '\0' || n < 0 || n > 100000 || db[0] == '-') return std::nullopt;
      a.db = static_cast<int>(n);
    }
  }
  if (const auto colon = rest.rfind(':'); colon != std::string::npos && rest.find(']') == std::string::npos) {
    const std::string port = rest.substr(colon + 1);
    char* end = nullptr;
    const long n = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0' || n < 1 || n > 65535) return std::nullopt;
    a.port = static_cast<int>(n);
    rest = rest.substr(0, colon);
  }
  if (rest.empty()) return std::nullopt;
  a.host = rest;
  return a;
}

class RedisStore::Connection {
 public:
  explicit Connection(const RedisAddress& a) {
    c_ = redisConnectWithTimeout(a.host.c_str(), a.port, kTimeout);
    if (!c_ || c_->err) Fail("cannot connect");
    redisSetTimeout(c_, kTimeout);
    if (!a.password.empty()) Expect(Command({"AUTH", a.password}), "AUTH");
    if (a.db != 0) Expect(Command({"SELECT", text::Decimal(a.db)}), "SELECT");
  }
  ~Connection() {
    if (c_) redisFree(c_);
  }

  // Sends one command (binary-safe arguments) and returns its reply.
  redisReply* Command(std::initializer_list<std::string> args) {
    std::vector<const char*> argv;
    std::vector<std::size_t> lens;
    for (const std::string& s : args) {
      argv.push_back(s.data());
      lens.push_back(s.size());
    }
    auto* r = static_cast<redisReply*>(redisCommandArgv(c_, static_cast<int>(argv.size()), argv.data(), lens.data()));
    if (!r) Fail("lost the connection");
    if (r->type == REDIS_REPLY_ERROR) {
      std::string why(r->str, r->len);
      freeReplyObject(r);
      throw StoreError("redis: " + why);
    }
    return r;
  }

 private:
  void Expect(redisReply* r, const char* what) {
    const bool ok = r->type == REDIS_REPLY_STATUS;
    freeReplyObject(r);
    if (!ok) throw StoreError(std::string("redis: ") + what + " failed");
  }
  [[noreturn]] void Fail(const char* what) {
    std::string why = std::string("redis: ") + what + (c_ && c_->errstr[0] ? std::string(": ") + c_->errstr : "");
    throw Broken(why);
  }

  redisContext* c_ = nullptr;
};

RedisStore::RedisStore(RedisAddress address) : address_(std::move(address)) {
  auto c = Take();
  Reply ping{c->Command({"PING"})};
  Give(std::move(c));
}

RedisStore::~RedisStore() = default;

std::unique_ptr<RedisStore::Connection> RedisStore::Take() {
  {
    std::lock_guard lk(m_);
    if (!idle_.empty()) {
      auto c = std::move(idle_.back());
      idle_.pop_back();
      return c;
    }
  }
  return std::make_unique<Connection>(address_);
}

void RedisStore::Give(std::unique_ptr<Connection> c) {
  std::lock_guard lk(m_);
  if (idle_.size() < kMaxIdle) idle_.push_back(std::move(c));
}

// Runs `use` on a connection of the pool.  A connection that failed is
// dropped (the next use connects afresh); a server's error reply leaves it
// fit for use.
template <class F>
auto RedisStore::With(F use) {
  auto c = Take();
  try {
    auto result = use(*c);
    Give(std::move(c));
    return result;
  } catch (const Broken&) {
    throw;
  } catch (const StoreError&) {
    Give(std::move(c));
    throw;
  }
}

bool RedisStore::TryLock(const std::string& lock, const std::string& owner, milliseconds ttl) {
  return With([&](Connection& c) {
    Reply r{c.Command({"SET", Key(lock), owner, "NX", "PX", text::Decimal(ttl.count())})};
    return r.r->type == REDIS_REPLY_STATUS;
  });
}

void RedisStore::Unlock(const std::string& lock, const std::string& owner) {
  With([&](Connection& c) {
    Reply r{c.Command({"EVAL", kUnlockScript, "1", Key(lock), owner})};
    return true;
  });
}

std::optional<std::string> RedisStore::Read(const std::string& key) {
  return With([&](Connection& c) -> std::optional<std::string> {
    Reply r{c.Command({"GET", Key(key)})};
    if (r.r->type != REDIS_REPLY_STRING) return std::nullopt;
    return std::string(r.r->str, r.r->len);
  });
}

bool RedisStore::Write(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
                       const std::string& owner) {
  return Run(key, record, ttl, lock, owner, false);
}

bool RedisStore::WriteAndUnlock(const std::string& key, const std::string* record, milliseconds ttl,
                                const std::string& lock, const std::string& owner) {
  return Run(key, record, ttl, lock, owner, true);
}

bool RedisStore::Run(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
                     const std::string& owner, bool unlock) {
  return With([&](Connection& c) {
    Reply r{c.Command({"EVAL", kWriteScript, "2", Key(key), Key(lock), owner, record ? "set" : "del",
                       record ? *record : std::string(), text::Decimal(ttl.count()), unlock ? "1" : "0"})};
    return r.r->type == REDIS_REPLY_INTEGER && r.r->integer == 1;
  });
}

}  // namespace halvane::session
