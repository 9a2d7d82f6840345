// What a page's Session and Application objects act on.  The host provides
// it (host/session/); the interpreter only calls these members and turns a
// StateError into the page's Err.  Where the values live, and how requests
// of one session wait for each other, is the host's business.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/script/value.h"

namespace halvane::script {

enum class StateScope : std::uint8_t { Session, Application };

// Thrown by a PageState member: the page gets this error number.
struct StateError {
  std::int32_t number;
};

class PageState {
 public:
  virtual ~PageState() = default;

  // Set by the running page before its first call: waits `ms` milliseconds
  // counting against the page's time limit (it throws when the page must
  // stop instead).
  std::function<void(std::int32_t ms)> wait;

  // A copy of the stored value; Empty when the name was never stored.
  virtual Value Get(StateScope scope, std::string_view name) = 0;
  // Stores a copy of `v` (Empty removes the name).  13 for an object, 7
  // past the size limit (the earlier value stays).
  virtual void Set(StateScope scope, std::string_view name, const Value& v) = 0;
  virtual void Remove(StateScope scope, std::string_view name) = 0;
  virtual void RemoveAll(StateScope scope) = 0;
  virtual std::int32_t Count(StateScope scope) = 0;
  // The names in the order first stored.
  virtual std::vector<std::string> Keys(StateScope scope) = 0;

  virtual std::string SessionID() = 0;
  virtual std::int32_t Timeout() = 0;
  virtual void SetTimeout(std::int32_t minutes) = 0;
  virtual void Abandon() = 0;

  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

}  // namespace halvane::script
