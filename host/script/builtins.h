// The built-in functions a page may call, by name: how many arguments each
// takes (checked when the page is read) and how it is run.
#pragma once

#include <string_view>

namespace halvane::script {

struct BuiltinInfo {
  std::string_view name;  // as documented
  int min_args;
  int max_args;  // -1: any number (Array)
};

// The index of a built-in function (lower-case name), or -1.
int FindBuiltin(std::string_view lower);
const BuiltinInfo& Builtin(int index);

}  // namespace halvane::script
