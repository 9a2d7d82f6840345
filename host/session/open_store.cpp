// The store a host's --sessions option names.
#include "host/session/memory_store.h"
#include "host/session/redis_store.h"
#include "host/session/sqlite_store.h"

namespace halvane::session {

std::unique_ptr<Store> OpenStore(const std::string& address, const StoreOptions& options) {
  if (address == "memory") return std::make_unique<MemoryStore>(options.max_sessions);
  if (address.rfind("sqlite:", 0) == 0) {
    const std::string path = address.substr(7);
    if (path.empty()) throw StoreError("sqlite: needs a file, as in sqlite:/var/lib/site/sessions.db");
    return std::make_unique<SqliteStore>(path);
  }
  if (address.rfind("redis://", 0) == 0) {
    std::optional<RedisAddress> a = ParseRedisUrl(address);
    if (!a) throw StoreError(address + ": not a store address; redis://[:PASSWORD@]HOST[:PORT][/DB]");
    return std::make_unique<RedisStore>(std::move(*a));
  }
  throw StoreError("unknown session store \"" + address + "\"; memory, sqlite:PATH or redis://HOST[:PORT]");
}

}  // namespace halvane::session
