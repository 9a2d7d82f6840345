// The store of the processes of one host: an SQLite database file in
// write-ahead mode (readers never wait for a writer), with a busy timeout
// for the moments two processes write at once.  A record and the lock that
// guards it share a row, each with its lapse time; every member is one short
// statement (or two in one transaction), so no transaction stays open while
// a page runs.
#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

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
  enum Statement {
    kTryLock,
    kLockAndRead,
    kUnlock,
    kRead,
    kUpsert,
    kDelete,
    kWriteAndUnlock,
    kPurge,
    kHolds,
    kBegin,
    kCommit,
    kRollback,
    kStatements
  };
  sqlite3_stmt* Prepared(Statement s);
  // The members without the mutex; `row` is the row that holds the lock.
  bool WriteLocked(const std::string& key, const std::string* record, milliseconds ttl, const std::string& row,
                   const std::string& owner);
  void UnlockLocked(const std::string& row, const std::string& owner);
  void Step(Statement s, const char* what);
  bool TryLockLocked(const std::string& row, const std::string& owner, milliseconds ttl);
  static std::string Column(sqlite3_stmt* s);  // column 0 as bytes
  std::optional<std::string> ReadLocked(const std::string& key);
  bool LockAndReadRow(const std::string& row, const std::string& owner, milliseconds ttl,
                      std::optional<std::string>& record);
  bool WriteAndUnlockRow(const std::string& key, const std::string* record, milliseconds ttl,
                         const std::string& owner);

  // A caller's step waiting to go into the next transaction.
  struct QueuedStep {
    void (*run)(void*) = nullptr;
    void* context = nullptr;
    std::exception_ptr error;
    bool done = false;
  };
  template <class F>
  auto Batched(F step);
  void RunBatch(const std::vector<QueuedStep*>& batch);
  [[noreturn]] void Fail(const char* what);

  std::string path_;
  std::mutex m_;  // one connection, one statement at a time
  // Steps waiting for a transaction, and whether one is running.
  std::mutex queue_m_;
  std::condition_variable queue_cv_;
  std::vector<QueuedStep*> queue_;
  bool running_ = false;
  sqlite3* db_ = nullptr;
  sqlite3* checkpoints_ = nullptr;  // Tidy's own connection
  sqlite3_stmt* statements_[kStatements] = {};
};

}  // namespace halvane::session
