// The store of the processes of one host: an SQLite database file in
// write-ahead mode (readers never wait for a writer), with a busy timeout
// for the moments two processes write at once.  Records and locks are rows
// with their lapse time; every member is one short statement, so no
// transaction stays open while a page runs.
#pragma once

#include <mutex>

#include "host/session/store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace halvane::session {

class SqliteStore final : public Store {
 public:
  // Opens (or creates) the file; StoreError when it cannot.
  explicit SqliteStore(const std::string& path);
  ~SqliteStore() override;

  bool TryLock(const std::string& lock, const std::string& owner, milliseconds ttl) override;
  void Unlock(const std::string& lock, const std::string& owner) override;
  std::optional<std::string> Read(const std::string& key) override;
  bool Write(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
             const std::string& owner) override;
  bool LockAndRead(const std::string& lock, const std::string& owner, milliseconds ttl, const std::string& key,
                   std::optional<std::string>& record) override;
  bool WriteAndUnlock(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
                      const std::string& owner) override;
  void Purge() override;
  // Copies the write-ahead log into the database file (pages never do it).
  void Tidy() override;

 private:
  enum Statement { kTryLock, kUnlock, kRead, kUpsert, kDelete, kPurgeRecords, kPurgeLocks, kHolds, kBegin, kCommit, kRollback, kStatements };
  sqlite3_stmt* Prepared(Statement s);
  // The members without the mutex.
  bool WriteLocked(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
                   const std::string& owner);
  void UnlockLocked(const std::string& lock, const std::string& owner);
  void Step(Statement s, const char* what);
  bool TryLockLocked(const std::string& lock, const std::string& owner, milliseconds ttl);
  std::optional<std::string> ReadLocked(const std::string& key);
  template <class F>
  auto InTransaction(F work);
  [[noreturn]] void Fail(const char* what);

  std::string path_;
  std::mutex m_;  // one connection, one statement at a time
  sqlite3* db_ = nullptr;
  sqlite3* checkpoints_ = nullptr;  // Tidy's own connection
  sqlite3_stmt* statements_[kStatements] = {};
};

}  // namespace halvane::session
