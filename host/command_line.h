// The arguments of a command, read the same way for every command: options
// may stand before or after the other words; an option is "--name VALUE",
// "--name=VALUE" or a flag without a value; "--" ends the options; "-h" or
// "--help" asks for help; any other word (and "-" alone) is an operand.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halvane::host {

struct OptionSpec {
  std::string_view name;  // "--query", "-i"
  bool takes_value;
};

struct CommandArg {
  bool operand = false;  // a word that is not an option: in `value`
  std::string name;      // the option, as in its OptionSpec
  std::string value;     // the option's value, or the operand
};

struct CommandLine {
  std::vector<CommandArg> args;  // in order
  bool help = false;             // -h or --help: nothing else was read
  std::string error;             // not empty: an unknown option or a missing value
};

CommandLine ReadCommandLine(const std::vector<std::string>& args, std::span<const OptionSpec> options);

}  // namespace halvane::host
