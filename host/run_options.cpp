#include "host/run_options.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "core/error.h"
#include "core/text.h"
#include "core/variant.h"
#include "host/command_line.h"

namespace halvane::host {
namespace {

// A date text as the page's CDate reads it, as a day number.
std::optional<double> ReadNow(const std::string& text) {
  try {
    return ToDate(Variant(text));
  } catch (const Error&) {
    return std::nullopt;
  }
}

// Seconds above 0 and at most a day ("2", "0.5").
std::optional<std::chrono::milliseconds> ReadSeconds(const std::string& text) {
  char* end = nullptr;
  const double s = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(s > 0) || s > 86400) return std::nullopt;
  return std::chrono::milliseconds(std::max<long long>(1, static_cast<long long>(s * 1000)));
}

}  // namespace

RunOptionsResult ParseRunOptions(const std::vector<std::string>& args) {
  static constexpr OptionSpec kOptions[] = {
      {"-i", false},        {"--query", true},           {"--form", true},
      {"--cookie", true},   {"--header", true},          {"--now", true},
      {"--timeout", true},  {"--sessions", true},        {"--session-timeout", true},
      {"--session-max-size", true}, {"--max-sessions", true},
  };
  RunOptionsResult r;
  RunOptions& o = r.options;
  const CommandLine line = ReadCommandLine(args, kOptions);
  o.help = line.help;
  r.error = line.error;
  bool have_file = false;
  for (const CommandArg& a : line.args) {
    const std::string& name = a.name;
    const std::string& value = a.value;
    if (a.operand) {
      if (have_file) {
        r.error = "one page at a time";
        return r;
      }
      o.file = value;
      have_file = true;
    } else if (name == "-i") {
      o.show_head = true;
    } else if (name == "--query") {
      o.query = value;
    } else if (name == "--form") {
      o.form = value;
    } else if (name == "--cookie") {
      o.cookie = value;
    } else if (name == "--now") {
      o.now = ReadNow(value);
      if (!o.now) {
        r.error = "--now needs a date and time (got \"" + value + "\")";
        return r;
      }
    } else if (name == "--timeout") {
      o.timeout = ReadSeconds(value);
      if (!o.timeout) {
        r.error = "--timeout needs a number of seconds above 0 (got \"" + value + "\")";
        return r;
      }
    } else if (name == "--header") {
      const auto colon = value.find(':');
      const std::string_view hname = text::Trim(std::string_view(value).substr(0, colon));
      if (colon == std::string::npos || !web::IsToken(hname)) {
        r.error = "--header needs \"Name: value\" (got \"" + value + "\")";
        return r;
      }
      o.headers.emplace_back(std::string(hname), std::string(text::Trim(std::string_view(value).substr(colon + 1))));
    } else {  // a session option, read with the session settings
      o.session_options.emplace_back(name, value);
    }
  }
  if (!have_file && !o.help && r.error.empty()) r.error = "which page? (a file, or - for standard input)";
  return r;
}

web::RequestData RunRequest(const RunOptions& options) {
  web::RequestData d;
  d.path = "/";
  if (options.file != "-") d.path += std::filesystem::path(options.file).filename().string();
  if (options.query) d.query = *options.query;
  if (options.form) {
    d.method = "POST";
    d.body = *options.form;
    d.content_type = "application/x-www-form-urlencoded";
    d.content_length = text::Decimal(options.form->size());
  }
  if (options.cookie) d.headers.emplace_back("Cookie", *options.cookie);
  d.headers.insert(d.headers.end(), options.headers.begin(), options.headers.end());
  return d;
}

}  // namespace halvane::host
