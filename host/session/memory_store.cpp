#include "host/session/memory_store.h"

namespace halvane::session {

bool MemoryStore::TryLock(const std::string& lock, const std::string& owner, milliseconds ttl) {
  std::lock_guard lk(m_);
  const auto now = Clock::now();
  auto [it, added] = locks_.try_emplace(lock, Held{owner, now + ttl});
  if (added) return true;
  if (it->second.owner != owner && it->second.until > now) return false;
  it->second = Held{owner, now + ttl};
  return true;
}

void MemoryStore::Unlock(const std::string& lock, const std::string& owner) {
  std::lock_guard lk(m_);
  auto it = locks_.find(lock);
  if (it != locks_.end() && it->second.owner == owner) locks_.erase(it);
}

std::optional<std::string> MemoryStore::Read(const std::string& key) {
  std::lock_guard lk(m_);
  auto it = records_.find(key);
  if (it == records_.end() || it->second.until <= Clock::now()) return std::nullopt;
  return it->second.record;
}

void MemoryStore::Drop(std::unordered_map<std::string, Kept>::iterator it) {
  if (it->second.used != used_.end()) used_.erase(it->second.used);
  records_.erase(it);
}

bool MemoryStore::Write(const std::string& key, const std::string* record, milliseconds ttl, const std::string& lock,
                        const std::string& owner) {
  std::lock_guard lk(m_);
  auto held = locks_.find(lock);
  if (held == locks_.end() || held->second.owner != owner) return false;
  auto it = records_.find(key);
  if (!record) {
    if (it != records_.end()) Drop(it);
    return true;
  }
  const auto until = ttl.count() > 0 ? Clock::now() + ttl : Clock::time_point::max();
  const bool session = key.rfind("s:", 0) == 0;
  if (it == records_.end()) {
    if (session) {
      // Full: the session written longest ago goes first.
      while (used_.size() >= max_sessions_ && !used_.empty()) Drop(records_.find(used_.back()));
    }
    it = records_.emplace(key, Kept{std::string(), until, used_.end()}).first;
    if (session) {
      used_.push_front(key);
      it->second.used = used_.begin();
    }
  } else if (session) {
    used_.splice(used_.begin(), used_, it->second.used);
  }
  it->second.record = *record;
  it->second.until = until;
  return true;
}

void MemoryStore::Purge() {
  std::lock_guard lk(m_);
  const auto now = Clock::now();
  for (auto it = records_.begin(); it != records_.end();) {
    auto next = std::next(it);
    if (it->second.until <= now) Drop(it);
    it = next;
  }
  std::erase_if(locks_, [&](const auto& l) { return l.second.until <= now; });
}

std::size_t MemoryStore::Sessions() const {
  std::lock_guard lk(m_);
  return used_.size();
}

}  // namespace halvane::session
