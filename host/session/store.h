// Where sessions and the application's values live: records of bytes
// (record.h) under keys, and locks that a page holds while it works on a
// record.  One interface, three stores: this process's memory, an SQLite
// file shared by the processes of one host, a Redis server shared by many
// hosts.  Every member may be called from any thread; a store that cannot
// do what is asked throws StoreError.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace halvane::session {

using std::chrono::milliseconds;

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Store {
 public:
  virtual ~Store() = default;

  // Takes the lock `lock` for `owner` for `ttl` (after which it lapses, so a
  // process that died cannot hold it for ever).  False when someone else
  // holds it.  Callers never ask again for a lock they hold.
  virtual bool TryLock(const std::string& lock, const std::string& owner, milliseconds ttl) = 0;
  // Releases `lock` when `owner` holds it; does nothing otherwise.
  virtual void Unlock(const std::string& lock, const std::string& owner) = 0;

  // The record under `key`, unless absent or lapsed.
  virtual std::optional<std::string> Read(const std::string& key) = 0;
  // Writes `record` under `key`, to lapse `ttl` from now (zero: never), or
  // with `record` null removes the key, but only while `owner` holds `lock`:
  // false (and nothing changed) when the lock lapsed and went to another.
  virtual bool Write(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
                     const std::string& owner) = 0;

  // TryLock, then (when it took the lock) Read of `key` into `record`, as one
  // step where the store can (a page's first use of its session).
  virtual bool LockAndRead(const std::string& lock, const std::string& owner, milliseconds ttl, const std::string& key,
                           std::optional<std::string>& record) {
    if (!TryLock(lock, owner, ttl)) return false;
    record = Read(key);
    return true;
  }

  // Write, then Unlock, as one step where the store can (a page's end).
  virtual bool WriteAndUnlock(const std::string& key, const std::string* record, milliseconds ttl,
                              const std::string& lock, const std::string& owner) {
    const bool written = Write(key, record, ttl, lock, owner);
    Unlock(lock, owner);
    return written;
  }

  // Drops lapsed records and locks.  Called now and then, off any page.
  virtual void Purge() = 0;
  // Work that keeps the store quick, done off any page (called every second).
  virtual void Tidy() {}
};

struct StoreOptions {
  std::size_t max_sessions = 100000;  // memory store: session records kept
};

// The store named by `address`: "memory", "sqlite:PATH" or
// "redis://[:PASSWORD@]HOST[:PORT][/DB]", reached once to check that it
// answers.  Throws StoreError with a message fit for the user.
std::unique_ptr<Store> OpenStore(const std::string& address, const StoreOptions& options);

}  // namespace halvane::session
