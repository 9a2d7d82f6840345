#include "host/session/sqlite_store.h"

#include <sqlite3.h>

#include <thread>

namespace halvane::session {
namespace {

constexpr int kBusyTimeoutMs = 5000;

// While another connection writes, SQLite asks this whether to try again.
// Writes here take tens of microseconds, so the wait starts short (SQLite's
// own handler sleeps a millisecond and more at once) and gives up after
// kBusyTimeoutMs in all.
int WaitWhileBusy(void*, int tries) {
  constexpr int kShortTries = 100;
  constexpr auto kShort = std::chrono::microseconds(50);
  constexpr auto kLong = std::chrono::milliseconds(2);
  const auto waited = tries < kShortTries ? kShort * tries : kShort * kShortTries + kLong * (tries - kShortTries);
  if (waited >= milliseconds(kBusyTimeoutMs)) return 0;
  std::this_thread::sleep_for(tries < kShortTries ? std::chrono::microseconds(kShort) : std::chrono::microseconds(kLong));
  return 1;
}

// Times are the wall clock in milliseconds: every process of the host reads
// the same one.  0 in `until` means never.
std::int64_t NowMs() {
  return std::chrono::duration_cast<milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// One row per name: a record with its lapse time, and the lock of that
// record with its owner and lapse time.  The lock that guards a record sits
// in the record's own row, so a page's start (take the lock, read) and its
// end (write, release) each change one row in one statement.  A released
// lock keeps its owner and has the negated time of its release as its lapse
// time: free, and the row keeps its size, so a change rewrites one page of
// the file rather than moving rows between pages.  A lock is held by `owner`
// while lock_until is positive (a lapsed lock nobody took since still lets
// its owner write).
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS halvane_rows("
    "  name TEXT PRIMARY KEY, record BLOB, until INTEGER NOT NULL DEFAULT 0,"
    "  owner TEXT, lock_until INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID;";

constexpr const char* kSql[] = {
    // kTryLock: a new row, or a row whose lock is free or lapsed
    "INSERT INTO halvane_rows(name, owner, lock_until) VALUES(?1, ?2, ?3) "
    "ON CONFLICT(name) DO UPDATE SET owner = excluded.owner, lock_until = excluded.lock_until "
    "WHERE halvane_rows.lock_until <= ?4",
    // kLockAndRead: the same, giving the record when the lock was taken
    "INSERT INTO halvane_rows(name, owner, lock_until) VALUES(?1, ?2, ?3) "
    "ON CONFLICT(name) DO UPDATE SET owner = excluded.owner, lock_until = excluded.lock_until "
    "WHERE halvane_rows.lock_until <= ?4 "
    "RETURNING record, until",
    // kUnlock
    "UPDATE halvane_rows SET lock_until = -?3 WHERE name = ?1 AND owner = ?2 AND lock_until > 0",
    // kRead
    "SELECT record FROM halvane_rows WHERE name = ?1 AND record IS NOT NULL AND (until = 0 OR until > ?2)",
    // kUpsert: only while the owner holds the lock (in this row or another)
    "INSERT INTO halvane_rows(name, record, until) "
    "SELECT ?1, ?2, ?3 WHERE EXISTS (SELECT 1 FROM halvane_rows WHERE name = ?4 AND owner = ?5 AND lock_until > 0) "
    "ON CONFLICT(name) DO UPDATE SET record = excluded.record, until = excluded.until",
    // kDelete
    "UPDATE halvane_rows SET record = NULL, until = 0 WHERE name = ?1 AND record IS NOT NULL "
    "AND EXISTS (SELECT 1 FROM halvane_rows WHERE name = ?2 AND owner = ?3 AND lock_until > 0)",
    // kWriteAndUnlock: the record and the release of its own lock at once
    "UPDATE halvane_rows SET record = ?2, until = ?3, lock_until = -?5 "
    "WHERE name = ?1 AND owner = ?4 AND lock_until > 0",
    // kPurge: rows whose record is gone or lapsed and whose lock is free or lapsed
    "DELETE FROM halvane_rows WHERE (record IS NULL OR (until <> 0 AND until <= ?1)) AND lock_until <= ?1",
    // kHolds
    "SELECT 1 FROM halvane_rows WHERE name = ?1 AND owner = ?2 AND lock_until > 0",
    // kBegin, kCommit, kRollback
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
};

// The row that holds a lock: "lock:K" is the lock of record K and lives in
// K's row; any other lock name gets a row of its own, apart from every
// record (a NUL byte never starts a record's name).
std::string LockRow(const std::string& lock) {
  constexpr std::string_view kPrefix = "lock:";
  if (lock.compare(0, kPrefix.size(), kPrefix) == 0) return lock.substr(kPrefix.size());
  return std::string(1, '\0') + lock;
}

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

// The parameters of the statements that take a lock: its row, the owner,
// the lapse time, and now (a lock that lapsed by now may be taken).
void BindLock(sqlite3_stmt* s, const std::string& row, const std::string& owner, std::int64_t until,
              std::int64_t now) {
  Text(s, 1, row);
  Text(s, 2, owner);
  sqlite3_bind_int64(s, 3, until);
  sqlite3_bind_int64(s, 4, now);
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
  sqlite3_busy_handler(db_, WaitWhileBusy, nullptr);
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

// Runs `step` (statements that change the file) in a transaction.  Steps
// that other threads ask for meanwhile wait and then go together, in one
// transaction run by one of them: a commit costs the same system calls
// however much it carries, so a busy process commits far less often than
// it has steps.  A step that fails throws to its own caller; a transaction
// that fails throws to every caller whose step it carried.
template <class F>
auto SqliteStore::Batched(F step) {
  std::optional<decltype(step())> result;
  auto run = [&] { result.emplace(step()); };
  QueuedStep pending;
  pending.run = [](void* f) { (*static_cast<decltype(run)*>(f))(); };
  pending.context = &run;
  std::unique_lock lk(queue_m_);
  queue_.push_back(&pending);
  while (!pending.done) {
    if (running_) {
      queue_cv_.wait(lk);
      continue;
    }
    running_ = true;
    std::vector<QueuedStep*> batch;
    batch.swap(queue_);
    lk.unlock();
    RunBatch(batch);
    lk.lock();
    for (QueuedStep* b : batch) b->done = true;
    running_ = false;
    queue_cv_.notify_all();
  }
  if (pending.error) std::rethrow_exception(pending.error);
  return std::move(*result);
}

void SqliteStore::RunBatch(const std::vector<QueuedStep*>& batch) {
  std::lock_guard lk(m_);
  try {
    Step(kBegin, "cannot begin");
  } catch (const StoreError&) {
    for (QueuedStep* b : batch) b->error = std::current_exception();
    return;
  }
  for (QueuedStep* b : batch) {
    try {
      b->run(b->context);
    } catch (const StoreError&) {
      b->error = std::current_exception();
    }
  }
  try {
    // A failure that ended the transaction (the file full, an I/O error)
    // took the other steps' changes with it.
    if (sqlite3_get_autocommit(db_)) Fail("the transaction was rolled back");
    Step(kCommit, "cannot commit");
  } catch (const StoreError&) {
    if (!sqlite3_get_autocommit(db_)) {
      sqlite3_stmt* s = Prepared(kRollback);
      sqlite3_step(s);
      sqlite3_reset(s);
    }
    for (QueuedStep* b : batch) {
      if (!b->error) b->error = std::current_exception();
    }
  }
}

bool SqliteStore::TryLock(const std::string& lock, const std::string& owner, milliseconds ttl) {
  const std::string row = LockRow(lock);
  return Batched([&] { return TryLockLocked(row, owner, ttl); });
}

bool SqliteStore::TryLockLocked(const std::string& row, const std::string& owner, milliseconds ttl) {
  sqlite3_stmt* s = Prepared(kTryLock);
  Done done{s};
  const std::int64_t now = NowMs();
  BindLock(s, row, owner, now + ttl.count(), now);
  if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot take a lock");
  return sqlite3_changes(db_) == 1;
}

void SqliteStore::Unlock(const std::string& lock, const std::string& owner) {
  const std::string row = LockRow(lock);
  Batched([&] {
    UnlockLocked(row, owner);
    return true;
  });
}

void SqliteStore::UnlockLocked(const std::string& row, const std::string& owner) {
  sqlite3_stmt* s = Prepared(kUnlock);
  Done done{s};
  Text(s, 1, row);
  Text(s, 2, owner);
  sqlite3_bind_int64(s, 3, NowMs());
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
  return Column(s);
}

std::string SqliteStore::Column(sqlite3_stmt* s) {
  const void* bytes = sqlite3_column_blob(s, 0);
  const int n = sqlite3_column_bytes(s, 0);
  return std::string(static_cast<const char*>(bytes), bytes ? static_cast<std::size_t>(n) : 0);
}

bool SqliteStore::Write(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
                        const std::string& owner) {
  const std::string row = LockRow(lock);
  return Batched([&] { return WriteLocked(key, record, ttl, row, owner); });
}

void SqliteStore::Step(Statement st, const char* what) {
  sqlite3_stmt* s = Prepared(st);
  Done done{s};
  if (sqlite3_step(s) != SQLITE_DONE) Fail(what);
}

bool SqliteStore::LockAndRead(const std::string& lock, const std::string& owner, milliseconds ttl,
                              const std::string& key, std::optional<std::string>& record) {
  const std::string row = LockRow(lock);
  if (row != key) {
    return Batched([&] {
      if (!TryLockLocked(row, owner, ttl)) return false;
      record = ReadLocked(key);
      return true;
    });
  }
  // The record's own lock: one statement takes it and gives the record.
  return Batched([&] { return LockAndReadRow(row, owner, ttl, record); });
}

bool SqliteStore::LockAndReadRow(const std::string& row, const std::string& owner, milliseconds ttl,
                                 std::optional<std::string>& record) {
  sqlite3_stmt* s = Prepared(kLockAndRead);
  Done done{s};
  const std::int64_t now = NowMs();
  BindLock(s, row, owner, now + ttl.count(), now);
  int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) return false;  // another holds it
  if (rc != SQLITE_ROW) Fail("cannot take a lock");
  const std::int64_t until = sqlite3_column_int64(s, 1);
  if (sqlite3_column_type(s, 0) != SQLITE_NULL && (until == 0 || until > now)) {
    record = Column(s);
  } else {
    record.reset();
  }
  // The change is committed when the statement runs to its end.
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) Fail("cannot take a lock");
  return true;
}

bool SqliteStore::WriteAndUnlock(const std::string& key, const std::string* record, milliseconds ttl,
                                 const std::string& lock, const std::string& owner) {
  const std::string row = LockRow(lock);
  if (row != key) {
    return Batched([&] {
      const bool written = WriteLocked(key, record, ttl, row, owner);
      UnlockLocked(row, owner);
      return written;
    });
  }
  // The record's own lock: one statement writes (or removes) and releases.
  return Batched([&] { return WriteAndUnlockRow(key, record, ttl, owner); });
}

bool SqliteStore::WriteAndUnlockRow(const std::string& key, const std::string* record, milliseconds ttl,
                                    const std::string& owner) {
  sqlite3_stmt* s = Prepared(kWriteAndUnlock);
  Done done{s};
  Text(s, 1, key);
  if (record) {
    sqlite3_bind_blob(s, 2, record->data(), static_cast<int>(record->size()), SQLITE_STATIC);
    sqlite3_bind_int64(s, 3, ttl.count() > 0 ? NowMs() + ttl.count() : 0);
  } else {
    sqlite3_bind_null(s, 2);
    sqlite3_bind_int64(s, 3, 0);
  }
  Text(s, 4, owner);
  sqlite3_bind_int64(s, 5, NowMs());
  if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot write");
  return sqlite3_changes(db_) == 1;
}

void SqliteStore::Tidy() {
  if (sqlite3_wal_checkpoint_v2(checkpoints_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr) != SQLITE_OK &&
      sqlite3_errcode(checkpoints_) != SQLITE_BUSY) {
    throw StoreError("sqlite:" + path_ + ": cannot checkpoint: " + sqlite3_errmsg(checkpoints_));
  }
}

bool SqliteStore::WriteLocked(const std::string& key, const std::string* record, milliseconds ttl,
                              const std::string& row, const std::string& owner) {
  if (!record) {
    sqlite3_stmt* s = Prepared(kDelete);
    Done done{s};
    Text(s, 1, key);
    Text(s, 2, row);
    Text(s, 3, owner);
    if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot remove");
    if (sqlite3_changes(db_) == 1) return true;
    // Nothing removed: the record was not there, or the lock is another's.
    sqlite3_stmt* h = Prepared(kHolds);
    Done held{h};
    Text(h, 1, row);
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
  Text(s, 4, row);
  Text(s, 5, owner);
  if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot write");
  return sqlite3_changes(db_) == 1;
}

void SqliteStore::Purge() {
  std::lock_guard lk(m_);
  sqlite3_stmt* s = Prepared(kPurge);
  Done done{s};
  sqlite3_bind_int64(s, 1, NowMs());
  if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot purge");
}

}  // namespace halvane::session
