#include "host/session/page_session.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "host/session/session_id.h"

namespace halvane::session {
namespace {

using script::StateError;
using script::StateScope;

constexpr std::string_view kApplicationKey = "app";
constexpr std::string_view kApplicationLock = "lock:app";

std::vector<Entry>::iterator Find(Record& r, std::string_view name) {
  return std::find_if(r.entries.begin(), r.entries.end(),
                      [&](const Entry& e) { return web::NamesEqual(e.name, name); });
}

// Stores `v` under `name` in `r` (whose size is `size`), keeping its place
// when the name is there already; Empty removes the name.  7 when the
// record would grow past `max`, 13 for an object: `r` stays as it was.
void Put(Record& r, std::size_t& size, std::string_view name, const script::Value& v, std::size_t max) {
  auto it = Find(r, name);
  if (v.kind == script::Value::Kind::Plain && v.v.Type() == VarType::Empty) {
    if (it != r.entries.end()) {
      size -= EntrySize(it->name, it->value);
      r.entries.erase(it);
    }
    return;
  }
  std::string bytes;
  if (!EncodeValue(v, bytes)) throw StateError{kErrTypeMismatch};
  const std::size_t old = it == r.entries.end() ? 0 : EntrySize(it->name, it->value);
  const std::size_t grown = size - old + EntrySize(it == r.entries.end() ? name : it->name, bytes);
  if (grown > max) throw StateError{kErrOutOfMemory};
  if (it == r.entries.end()) {
    r.entries.push_back(Entry{std::string(name), std::move(bytes)});
  } else {
    it->value = std::move(bytes);
  }
  size = grown;
}

script::Value Value(Record& r, std::string_view name) {
  auto it = Find(r, name);
  script::Value v;
  if (it == r.entries.end()) return v;
  std::string_view bytes = it->value;
  if (!DecodeValue(bytes, &v)) return script::Value();
  return v;
}

std::vector<std::string> Names(const Record& r) {
  std::vector<std::string> names;
  names.reserve(r.entries.size());
  for (const Entry& e : r.entries) names.push_back(e.name);
  return names;
}

std::string SessionKey(std::string_view id) { return "s:" + std::string(id); }

}  // namespace

PageSession::PageSession(Hub& hub, const web::PageRequest& request, web::PageResponse& response)
    : hub_(hub), request_(request), response_(response) {}

PageSession::~PageSession() {
  try {
    Finish(false);
  } catch (...) {
    // Locks left behind lapse by themselves.
  }
}

// Unique among the processes of a store: this process's random name and a
// count (cheaper than the random source for every page).
const std::string& PageSession::Owner() {
  static const std::string process = NewId();
  static std::atomic<std::uint64_t> count{0};
  if (owner_.empty()) owner_ = process + "-" + text::Decimal(count.fetch_add(1, std::memory_order_relaxed));
  return owner_;
}

void PageSession::Failed(const StoreError& e) {
  hub_.Log(std::string("the session store failed: ") + e.what());
  throw StateError{kErrDeviceIO};
}

// Waits for `lock` as long as the page may run (the wait throws when the
// page must stop); with `key`, reads that record into `record` once the lock
// is taken.
void PageSession::TakeLock(const std::string& lock, const std::string* key, std::optional<std::string>* record) {
  std::int32_t pause = 1;
  Store& store = hub_.store();
  while (key ? !store.LockAndRead(lock, Owner(), hub_.lock_ttl(), *key, *record)
             : !store.TryLock(lock, Owner(), hub_.lock_ttl())) {
    if (give_up) give_up(false);
    if (!wait) throw StateError{kErrDeviceIO};
    wait(pause);
    pause = std::min(pause * 2, 16);
  }
}

std::optional<Record> PageSession::Load(const std::string& key) {
  std::optional<std::string> bytes = hub_.store().Read(key);
  if (!bytes) return std::nullopt;
  std::optional<Record> r = ReadRecord(*bytes);
  if (!r) hub_.Log("the stored record " + key + " does not read back (" + text::Decimal(bytes->size()) + " bytes); it is dropped");
  return r;
}

Record& PageSession::Session() {
  if (started_) return values_;
  try {
    const std::optional<std::string> cookie = request_.Cookie(kCookieName);
    if (cookie && IsIdForm(*cookie)) {
      const std::string lock = "lock:" + SessionKey(*cookie);
      const std::string key = SessionKey(*cookie);
      std::optional<std::string> bytes;
      TakeLock(lock, &key, &bytes);
      lock_ = lock;
      std::optional<Record> r = bytes ? ReadRecord(*bytes) : std::nullopt;
      if (r) {
        id_ = *cookie;
        values_ = std::move(*r);
        size_ = RecordSize(values_);
        started_ = true;
        return values_;
      }
      if (bytes) {
        hub_.Log("the stored record of session " + *cookie + " does not read back (" + text::Decimal(bytes->size()) +
                 " bytes); a new session starts");
        hub_.store().Write(key, nullptr, milliseconds(0), lock, Owner());
      }
      // Unknown, lapsed or unreadable: never adopted.
      hub_.store().Unlock(lock, Owner());
      lock_.clear();
    }
    // A new session sends its cookie, which needs the head still unsent.
    if (response_.HeadSent()) throw StateError{kErrInvalidCall};
    std::string id = NewId();
    const std::string lock = "lock:" + SessionKey(id);
    TakeLock(lock);
    lock_ = lock;
    id_ = std::move(id);
    values_ = Record{};
    values_.timeout = hub_.settings().timeout;
    size_ = RecordSize(values_);
    started_ = true;
    std::string line = std::string(kCookieName) + "=" + id_ + "; Path=/; HttpOnly; SameSite=Lax";
    if (hub_.settings().secure_cookies) line += "; Secure";
    (void)response_.SetCookieLine(kCookieName, std::move(line));
  } catch (const StoreError& e) {
    Failed(e);
  }
  return values_;
}

Record PageSession::ReadApplication() {
  if (give_up) give_up(true);
  try {
    std::optional<Record> r = Load(std::string(kApplicationKey));
    return r ? std::move(*r) : Record{};
  } catch (const StoreError& e) {
    Failed(e);
  }
}

template <class F>
void PageSession::ChangeApplication(F change) {
  if (give_up) give_up(true);
  const std::string lock(kApplicationLock);
  const bool own = !app_locked_;
  try {
    if (own) TakeLock(lock);
    struct Release {
      PageSession& p;
      const std::string& lock;
      bool own;
      ~Release() {
        if (!own) return;
        try {
          p.hub_.store().Unlock(lock, p.Owner());
        } catch (const StoreError&) {
          // The lock lapses by itself.
        }
      }
    } release{*this, lock, own};
    Record r = ReadApplication();
    std::size_t size = RecordSize(r);
    change(r, size);
    const std::string bytes = WriteRecord(r);
    if (!hub_.store().Write(std::string(kApplicationKey), &bytes, milliseconds(0), lock, Owner())) {
      hub_.Log("the application's lock lapsed before its values were written");
      throw StateError{kErrDeviceIO};
    }
  } catch (const StoreError& e) {
    Failed(e);
  }
}

script::Value PageSession::Get(StateScope scope, std::string_view name) {
  if (scope == StateScope::Session) return Value(Session(), name);
  Record r = ReadApplication();
  return Value(r, name);
}

void PageSession::Set(StateScope scope, std::string_view name, const script::Value& v) {
  const std::size_t max = hub_.settings().max_size;
  if (scope == StateScope::Session) {
    Record& r = Session();
    Put(r, size_, name, v, max);
    return;
  }
  ChangeApplication([&](Record& r, std::size_t& size) { Put(r, size, name, v, max); });
}

void PageSession::Remove(StateScope scope, std::string_view name) {
  Set(scope, name, script::Value());
}

void PageSession::RemoveAll(StateScope scope) {
  if (scope == StateScope::Session) {
    Session().entries.clear();
    size_ = RecordSize(values_);
    return;
  }
  ChangeApplication([](Record& r, std::size_t&) { r.entries.clear(); });
}

std::int32_t PageSession::Count(StateScope scope) {
  if (scope == StateScope::Session) return static_cast<std::int32_t>(Session().entries.size());
  return static_cast<std::int32_t>(ReadApplication().entries.size());
}

std::vector<std::string> PageSession::Keys(StateScope scope) {
  if (scope == StateScope::Session) return Names(Session());
  return Names(ReadApplication());
}

std::string PageSession::SessionID() {
  Session();
  return id_;
}

std::int32_t PageSession::Timeout() { return Session().timeout; }

void PageSession::SetTimeout(std::int32_t minutes) { Session().timeout = minutes; }

void PageSession::Abandon() {
  Session();
  if (!response_.SetCookieLine(kCookieName, std::string(kCookieName) + "=; Path=/; HttpOnly; SameSite=Lax; Max-Age=0"))
    throw StateError{kErrInvalidCall};
  abandoned_ = true;
}

void PageSession::Lock() {
  if (give_up) give_up(true);
  if (app_locked_) return;
  try {
    TakeLock(std::string(kApplicationLock));
  } catch (const StoreError& e) {
    Failed(e);
  }
  app_locked_ = true;
}

void PageSession::Unlock() {
  if (!app_locked_) return;
  app_locked_ = false;
  try {
    hub_.store().Unlock(std::string(kApplicationLock), Owner());
  } catch (const StoreError& e) {
    Failed(e);
  }
}

bool PageSession::Finish(bool write) {
  bool ok = true;
  Store& store = hub_.store();
  if (!lock_.empty()) {
    const std::string lock = std::move(lock_);
    lock_.clear();
    try {
      if (write) {
        const std::string key = SessionKey(id_);
        const std::string bytes = WriteRecord(values_);
        const bool written =
            abandoned_ ? store.WriteAndUnlock(key, nullptr, milliseconds(0), lock, Owner())
                       : store.WriteAndUnlock(key, &bytes, std::chrono::minutes(values_.timeout), lock, Owner());
        if (!written) {
          hub_.Log("session " + id_ + ": the page outlived its lock; its values were not written");
          ok = false;
        }
      } else {
        store.Unlock(lock, Owner());
      }
    } catch (const StoreError& e) {
      hub_.Log("session " + id_ + ": the store failed at the page's end: " + e.what());
      ok = false;
    }
  }
  if (app_locked_) {
    app_locked_ = false;
    try {
      store.Unlock(std::string(kApplicationLock), Owner());
    } catch (const StoreError& e) {
      hub_.Log(std::string("the application's lock could not be released: ") + e.what());
    }
  }
  return ok;
}

}  // namespace halvane::session

namespace halvane::session {

void EndRun(PageSession& session, script::Result& r, bool may_run_again) {
  const bool write = r.outcome != script::Outcome::Cancelled && !(may_run_again && r.outcome == script::Outcome::Timeout);
  if (session.Finish(write) || !write || r.outcome != script::Outcome::Completed) return;
  r.outcome = script::Outcome::Error;
  r.number = kErrDeviceIO;
  r.status = kErrorStatusBase + static_cast<std::uint32_t>(kErrDeviceIO);
  r.source = std::string(kHostSource);
  r.description = std::string(StandardDescription(kErrDeviceIO));
}

}  // namespace halvane::session
