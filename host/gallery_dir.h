// Where `halvane serve` finds the example gallery when no folder is given.
#pragma once

#include <filesystem>

namespace halvane::host {

// The installed gallery (share/halvane/examples beside the program's bin
// folder) when the program runs from an installation, else the source
// tree's examples folder it was built from.
std::filesystem::path DefaultGalleryDir();

}  // namespace halvane::host
