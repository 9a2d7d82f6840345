#include "host/command_line.h"

#include <algorithm>

namespace halvane::host {

CommandLine ReadCommandLine(const std::vector<std::string>& args, std::span<const OptionSpec> options) {
  CommandLine r;
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_done || a.size() < 2 || a[0] != '-') {
      r.args.push_back(CommandArg{true, {}, a});
      continue;
    }
    if (a == "--") {
      options_done = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      r.help = true;
      return r;
    }
    std::string name = a;
    const bool long_form = a.rfind("--", 0) == 0;
    const std::size_t eq = long_form ? a.find('=') : std::string::npos;
    if (eq != std::string::npos) name.resize(eq);
    const auto known = std::find_if(options.begin(), options.end(), [&](const OptionSpec& o) { return o.name == name; });
    if (known == options.end()) {
      r.error = "unknown option " + name;
      return r;
    }
    CommandArg arg{false, name, {}};
    if (!known->takes_value) {
      if (eq != std::string::npos) {
        r.error = name + " takes no value";
        return r;
      }
    } else if (eq != std::string::npos) {
      arg.value = a.substr(eq + 1);
    } else if (i + 1 < args.size()) {
      arg.value = args[++i];
    } else {
      r.error = name + " needs a value";
      return r;
    }
    r.args.push_back(std::move(arg));
  }
  return r;
}

}  // namespace halvane::host
