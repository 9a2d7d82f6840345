#include "host/session/sqlite_store.h"

#include <sqlite3.h>

namespace halvane::session {
namespace {

constexpr int kBusyTimeoutMs = 5000;

// Times are the wall clock in milliseconds: every process of the host reads
// the same one.  0 in `until` means never.
std::int64_t NowMs() {
  return std::chrono::duration_cast<milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS halvane_records("
    "  key TEXT PRIMARY KEY, record BLOB NOT NULL, until INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS halvane_locks("
    "  name TEXT PRIMARY KEY, owner TEXT NOT NULL, until INTEGER NOT NULL);";

constexpr const char* kSql[] = {
    // kTryLock: a new row, or the row of a lock that lapsed
    "INSERT INTO halvane_locks(name, owner, until) VALUES(?1, ?2, ?3) "
    "ON CONFLICT(name) DO UPDATE SET owner = excluded.owner, until = excluded.until "
    "WHERE halvane_locks.until <= ?4",
    // kUnlock
    "DELETE FROM halvane_locks WHERE name = ?1 AND owner = ?2",
    // kRead
    "SELECT record FROM halvane_records WHERE key = ?1 AND (until = 0 OR until > ?2)",
    // kUpsert: only while the owner holds the lock
    "INSERT INTO halvane_records(key, record, until) "
    "SELECT ?1, ?2, ?3 WHERE EXISTS (SELECT 1 FROM halvane_locks WHERE name = ?4 AND owner = ?5) "
    "ON CONFLICT(key) DO UPDATE SET record = excluded.record, until = excluded.until",
    // kDelete
    "DELETE FROM halvane_records WHERE key = ?1 "
    "AND EXISTS (SELECT 1 FROM halvane_locks WHERE name = ?2 AND owner = ?3)",
    // kPurgeRecords, kPurgeLocks
    "DELETE FROM halvane_records WHERE until <> 0 AND until <= ?1",
    "DELETE FROM halvane_locks WHERE until <= ?1",
    // kHolds
    "SELECT 1 FROM halvane_locks WHERE name = ?1 AND owner = ?2",
    // kBegin, kCommit, kRollback
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
};

// Resets a statement when a member is done with it, however it leaves.
struct Done {
  sqlite3_stmt* s;
  ~Done() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
};

void Text(sqlite3_stmt* s, int i, const std::string& v) {
  sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
}

}  // namespace

SqliteStore::SqliteStore(const std::string& path) : path_(path) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw StoreError("sqlite:" + path_ + ": cannot open: " + why);
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  char* err = nullptr;
  // Write-ahead mode: readers go on while one process writes.  A commit
  // then needs no sync of the file (a crash of the machine may lose the
  // last moments' values, never corrupt the file); the syncs come with the
  // copying of the log into the file, which Tidy does off the pages (the
  // pages' connection does it only if the log grows past some 40 MB).
  if (sqlite3_exec(db_, "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=40000;",
                   nullptr, nullptr, &err) != SQLITE_OK ||
      sqlite3_exec(db_, kSchema, nullptr, nullptr, &err) != SQLITE_OK ||
      sqlite3_open_v2(path.c_str(), &checkpoints_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) !=
          SQLITE_OK) {
    std::string why = err ? err : checkpoints_ ? sqlite3_errmsg(checkpoints_) : "out of memory";
    sqlite3_free(err);
    sqlite3_close(checkpoints_);
    sqlite3_close(db_);
    db_ = nullptr;
    throw StoreError("sqlite:" + path_ + ": " + why);
  }
}

SqliteStore::~SqliteStore() {
  for (sqlite3_stmt* s : statements_) sqlite3_finalize(s);
  sqlite3_close(checkpoints_);
  sqlite3_close(db_);
}

void SqliteStore::Fail(const char* what) {
  std::string why = std::string(what) + ": " + sqlite3_errmsg(db_);
  throw StoreError("sqlite:" + path_ + ": " + why);
}

sqlite3_stmt* SqliteStore::Prepared(Statement s) {
  if (!statements_[s] && sqlite3_prepare_v3(db_, kSql[s], -1, SQLITE_PREPARE_PERSISTENT, &statements_[s], nullptr) !=
                             SQLITE_OK) {
    Fail("cannot prepare a statement");
  }
  return statements_[s];
}

bool SqliteStore::TryLock(const std::string& lock, const std::string& owner, milliseconds ttl) {
  std::lock_guard lk(m_);
  return TryLockLocked(lock, owner, ttl);
}

bool SqliteStore::TryLockLocked(const std::string& lock, const std::string& owner, milliseconds ttl) {
  sqlite3_stmt* s = Prepared(kTryLock);
  Done done{s};
  const std::int64_t now = NowMs();
  Text(s, 1, lock);
  Text(s, 2, owner);
  sqlite3_bind_int64(s, 3, now + ttl.count());
  sqlite3_bind_int64(s, 4, now);
  if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot take a lock");
  return sqlite3_changes(db_) == 1;
}

void SqliteStore::Unlock(const std::string& lock, const std::string& owner) {
  std::lock_guard lk(m_);
  UnlockLocked(lock, owner);
}

void SqliteStore::UnlockLocked(const std::string& lock, const std::string& owner) {
  sqlite3_stmt* s = Prepared(kUnlock);
  Done done{s};
  Text(s, 1, lock);
  Text(s, 2, owner);
  if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot release a lock");
}

std::optional<std::string> SqliteStore::Read(const std::string& key) {
  std::lock_guard lk(m_);
  return ReadLocked(key);
}

std::optional<std::string> SqliteStore::ReadLocked(const std::string& key) {
  sqlite3_stmt* s = Prepared(kRead);
  Done done{s};
  Text(s, 1, key);
  sqlite3_bind_int64(s, 2, NowMs());
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) Fail("cannot read");
  const void* bytes = sqlite3_column_blob(s, 0);
  const int n = sqlite3_column_bytes(s, 0);
  return std::string(static_cast<const char*>(bytes), bytes ? static_cast<std::size_t>(n) : 0);
}

bool SqliteStore::Write(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
                        const std::string& owner) {
  std::lock_guard lk(m_);
  return WriteLocked(key, record, ttl, lock, owner);
}

void SqliteStore::Step(Statement st, const char* what) {
  sqlite3_stmt* s = Prepared(st);
  Done done{s};
  if (sqlite3_step(s) != SQLITE_DONE) Fail(what);
}

// `work` in one transaction (one commit), under the mutex.
template <class F>
auto SqliteStore::InTransaction(F work) {
  std::lock_guard lk(m_);
  Step(kBegin, "cannot begin");
  try {
    auto result = work();
    Step(kCommit, "cannot commit");
    return result;
  } catch (const StoreError&) {
    if (!sqlite3_get_autocommit(db_)) {
      sqlite3_stmt* s = Prepared(kRollback);
      sqlite3_step(s);
      sqlite3_reset(s);
    }
    throw;
  }
}

bool SqliteStore::LockAndRead(const std::string& lock, const std::string& owner, milliseconds ttl,
                              const std::string& key, std::optional<std::string>& record) {
  return InTransaction([&] {
    if (!TryLockLocked(lock, owner, ttl)) return false;
    record = ReadLocked(key);
    return true;
  });
}

bool SqliteStore::WriteAndUnlock(const std::string& key, const std::string* record, milliseconds ttl,
                                 const std::string& lock, const std::string& owner) {
  return InTransaction([&] {
    const bool written = WriteLocked(key, record, ttl, lock, owner);
    UnlockLocked(lock, owner);
    return written;
  });
}

void SqliteStore::Tidy() {
  if (sqlite3_wal_checkpoint_v2(checkpoints_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr) != SQLITE_OK &&
      sqlite3_errcode(checkpoints_) != SQLITE_BUSY) {
    throw StoreError("sqlite:" + path_ + ": cannot checkpoint: " + sqlite3_errmsg(checkpoints_));
  }
}

bool SqliteStore::WriteLocked(const std::string& key, const std::string* record, milliseconds ttl,
                              const std::string& lock, const std::string& owner) {
  if (!record) {
    sqlite3_stmt* s = Prepared(kDelete);
    Done done{s};
    Text(s, 1, key);
    Text(s, 2, lock);
    Text(s, 3, owner);
    if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot remove");
    if (sqlite3_changes(db_) == 1) return true;
    // Nothing removed: the record was not there, or the lock is another's.
    sqlite3_stmt* h = Prepared(kHolds);
    Done held{h};
    Text(h, 1, lock);
    Text(h, 2, owner);
    const int rc = sqlite3_step(h);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail("cannot read a lock");
    return rc == SQLITE_ROW;
  }
  sqlite3_stmt* s = Prepared(kUpsert);
  Done done{s};
  Text(s, 1, key);
  sqlite3_bind_blob(s, 2, record->data(), static_cast<int>(record->size()), SQLITE_STATIC);
  sqlite3_bind_int64(s, 3, ttl.count() > 0 ? NowMs() + ttl.count() : 0);
  Text(s, 4, lock);
  Text(s, 5, owner);
  if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot write");
  return sqlite3_changes(db_) == 1;
}

void SqliteStore::Purge() {
  std::lock_guard lk(m_);
  for (Statement st : {kPurgeRecords, kPurgeLocks}) {
    sqlite3_stmt* s = Prepared(st);
    Done done{s};
    sqlite3_bind_int64(s, 1, NowMs());
    if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot purge");
  }
}

}  // namespace halvane::session
