// The command line of `halvane serve`.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/serve/server.h"
#include "host/session/hub.h"

namespace halvane::host {

struct ServeOptionsResult {
  serve::Options options;                    // root left as it is without DIR
  std::optional<std::string> dir;            // DIR, when given
  session::Settings sessions;                // --sessions and the other session options
  bool help = false;                         // --help: nothing else matters
  std::string error;                         // not empty: the command line makes no sense
};

// Reads the arguments after "serve" with the same reader as `run`.
// Seconds (--timeout, --idle-timeout, --request-timeout) are above 0 and at
// most a day, --grace may be 0; counts and byte sizes are whole numbers
// from 1 (to 100,000, byte sizes to 2^32).
ServeOptionsResult ParseServeOptions(const std::vector<std::string>& args);

}  // namespace halvane::host
