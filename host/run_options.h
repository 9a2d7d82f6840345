// The command line of `halvane run` and the request it stands for.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/web/page_io.h"

namespace halvane::host {

struct RunOptions {
  std::string file;                   // "-": standard input
  bool help = false;                  // --help: nothing else matters
  bool show_head = false;             // -i
  std::optional<std::string> query;   // --query TEXT
  std::optional<std::string> form;    // --form TEXT
  std::optional<std::string> cookie;  // --cookie TEXT
  web::Pairs headers;                 // --header "Name: value", in order
  std::optional<double> now;          // --now DATE: the instant, as a Date's day number
  std::optional<std::chrono::milliseconds> timeout;  // --timeout S
  // --sessions, --session-timeout, --session-max-size, --max-sessions as
  // given (name, value), for the session settings (host/session/hub.h).
  web::Pairs session_options;
};

struct RunOptionsResult {
  RunOptions options;
  std::string error;  // not empty: the command line makes no sense
};

// Reads the arguments after "run".  Options may stand before or after the
// file; "--" ends the options.  A repeated option replaces the earlier one,
// but --header adds.  --now takes a text the CDate conversion reads,
// --timeout a number of seconds above 0 (at most a day).
RunOptionsResult ParseRunOptions(const std::vector<std::string>& args);

// The request a run stands for: GET, or POST with the --form body; the page's
// path is "/" and the file's base name; the --cookie text is the first
// Cookie header.
web::RequestData RunRequest(const RunOptions& options);

}  // namespace halvane::host
