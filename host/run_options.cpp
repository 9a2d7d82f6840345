#include "host/run_options.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "core/error.h"
#include "core/text.h"
#include "core/variant.h"

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
  RunOptionsResult r;
  RunOptions& o = r.options;
  bool have_file = false;
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!options_done && a.size() > 1 && a[0] == '-') {
      if (a == "--") {
        options_done = true;
        continue;
      }
      if (a == "--help" || a == "-h") {
        o.help = true;
        return r;
      }
      if (a == "-i") {
        o.show_head = true;
        continue;
      }
      // --name VALUE or --name=VALUE
      std::string name = a;
      std::optional<std::string> value;
      if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
      }
      std::optional<std::string>* slot = name == "--query"    ? &o.query
                                         : name == "--form"   ? &o.form
                                         : name == "--cookie" ? &o.cookie
                                                              : nullptr;
      const bool timed = name == "--now" || name == "--timeout";
      const bool session = name == "--sessions" || name == "--session-timeout" || name == "--session-max-size" ||
                           name == "--max-sessions";
      if (!slot && !timed && !session && name != "--header") {
        r.error = "unknown option " + name;
        return r;
      }
      if (!value) {
        if (i + 1 >= args.size()) {
          r.error = name + " needs a value";
          return r;
        }
        value = args[++i];
      }
      if (slot) {
        *slot = std::move(*value);
        continue;
      }
      if (name == "--now") {
        o.now = ReadNow(*value);
        if (!o.now) {
          r.error = "--now needs a date and time (got \"" + *value + "\")";
          return r;
        }
        continue;
      }
      if (name == "--timeout") {
        o.timeout = ReadSeconds(*value);
        if (!o.timeout) {
          r.error = "--timeout needs a number of seconds above 0 (got \"" + *value + "\")";
          return r;
        }
        continue;
      }
      if (session) {
        o.session_options.emplace_back(name, std::move(*value));
        continue;
      }
      const auto colon = value->find(':');
      const std::string_view hname = text::Trim(std::string_view(*value).substr(0, colon));
      if (colon == std::string::npos || !web::IsToken(hname)) {
        r.error = "--header needs \"Name: value\" (got \"" + *value + "\")";
        return r;
      }
      o.headers.emplace_back(std::string(hname), std::string(text::Trim(std::string_view(*value).substr(colon + 1))));
      continue;
    }
    if (have_file) {
      r.error = "one page at a time";
      return r;
    }
    o.file = a;
    have_file = true;
  }
  if (!have_file) r.error = "which page? (a file, or - for standard input)";
  return r;
}

bool IsTemplateName(std::string_view file) {
  return file.size() >= 4 && text::EqualNoCase(file.substr(file.size() - 4), ".hvp");
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
    d.content_length = std::to_string(options.form->size());
  }
  if (options.cookie) d.headers.emplace_back("Cookie", *options.cookie);
  d.headers.insert(d.headers.end(), options.headers.begin(), options.headers.end());
  return d;
}

}  // namespace halvane::host
