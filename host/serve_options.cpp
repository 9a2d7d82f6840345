#include "host/serve_options.h"

#include <cerrno>
#include <cstdlib>

#include "core/text.h"
#include "host/command_line.h"

namespace halvane::host {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--host", true},           {"--port", true},             {"--timeout", true},
    {"--idle-timeout", true},   {"--request-timeout", true},  {"--grace", true},
    {"--workers", true},        {"--io-threads", true},       {"--max-pages", true},
    {"--max-connections", true}, {"--max-body", true},        {"--max-header", true},
    {"--no-compat", false},     {"--no-a11y", false},         {"--secure-cookies", false},
    {"--sessions", true},       {"--session-timeout", true},  {"--session-max-size", true},
    {"--max-sessions", true},
};

// Seconds above 0 (or 0 itself when `zero_ok`) and at most a day.
std::optional<std::chrono::milliseconds> ReadSeconds(const std::string& text, bool zero_ok) {
  char* end = nullptr;
  const double s = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(s > 0 || (zero_ok && s == 0)) || s > 86400) return std::nullopt;
  return std::chrono::milliseconds(static_cast<long long>(s * 1000));
}

// A whole number from `least` to `most`.
std::optional<unsigned long long> ReadCount(const std::string& text, unsigned long long least,
                                            unsigned long long most) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long n = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || n < least || n > most) return std::nullopt;
  return n;
}

}  // namespace

ServeOptionsResult ParseServeOptions(const std::vector<std::string>& args) {
  ServeOptionsResult r;
  serve::Options& o = r.options;
  const CommandLine line = ReadCommandLine(args, kOptions);
  r.help = line.help;
  r.error = line.error;
  for (const CommandArg& a : line.args) {
    const std::string& name = a.name;
    const std::string& value = a.value;
    auto fail = [&](const std::string& why) {
      r.error = why;
      return r;
    };
    if (a.operand) {
      if (r.dir) return fail("one folder at a time");
      r.dir = value;
    } else if (name == "--host") {
      if (value.empty()) return fail("--host needs an address");
      o.host = value;
    } else if (name == "--port") {
      const auto port = ReadCount(value, 0, 65535);
      if (!port) return fail("--port needs a number from 0 to 65535");
      o.port = static_cast<int>(*port);
    } else if (name == "--timeout" || name == "--idle-timeout" || name == "--request-timeout" || name == "--grace") {
      const auto ms = ReadSeconds(value, name == "--grace");
      if (!ms) return fail(name + " needs a number of seconds above 0");
      if (name == "--timeout") o.timeout = *ms;
      if (name == "--request-timeout") o.request_timeout = *ms;
      if (name == "--grace") o.grace = *ms;
      if (name == "--idle-timeout") {
        o.idle_timeout = std::chrono::seconds(std::max<long long>(1, (ms->count() + 500) / 1000));
      }
    } else if (name == "--no-compat") {
      o.compat = false;
    } else if (name == "--no-a11y") {
      o.a11y = false;
    } else if (name == "--secure-cookies") {
      r.sessions.secure_cookies = true;
    } else if (session::IsValueOption(name)) {
      if (std::string error = session::ApplyOption(name, value, r.sessions); !error.empty()) return fail(error);
    } else {  // a count or a size
      const bool bytes = name == "--max-body" || name == "--max-header";
      const unsigned long long most = bytes ? (1ull << 32) : 100000;
      const auto n = ReadCount(value, 1, most);
      if (!n) return fail(name + " needs a whole number from 1 to " + text::Decimal(most));
      if (name == "--workers") o.workers = static_cast<unsigned>(*n);
      if (name == "--io-threads") o.io_threads = static_cast<unsigned>(*n);
      if (name == "--max-pages") o.max_pages = static_cast<unsigned>(*n);
      if (name == "--max-connections") o.max_connections = static_cast<unsigned>(*n);
      if (name == "--max-body") o.max_body = static_cast<std::size_t>(*n);
      if (name == "--max-header") o.max_header = static_cast<std::size_t>(*n);
    }
  }
  return r;
}

}  // namespace halvane::host
