// Where `halvane serve` finds the example gallery when no folder is given.
#pragma once

#include <filesystem>

namespace halvane::host {

// The installed gallery (share/halvane/examples beside the program's bin
// folder) when the program runs from an installation, else the source
// tree's examples folder it was built from.
std::filesystem::path DefaultGalleryDir();

// Our copies of the components' default images, in a folder laid out as a
// site's root (Calendar.gif, images/icons/*.gif): share/halvane/default_images
// of an installation, else the source tree's examples folder, which holds
// the same files at the same places.
std::filesystem::path DefaultImagesDir();

}  // namespace halvane::host
