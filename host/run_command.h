// `halvane run FILE [options]`: one page, its response on standard output.
#pragma once

#include <string>
#include <vector>

namespace halvane::host {

// The arguments after "run"; returns the exit status.
int RunCommand(const std::vector<std::string>& args);

}  // namespace halvane::host
