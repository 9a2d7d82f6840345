// The components' default images, answered from our own copies when a site
// has no file of its own at that path.
#pragma once

#include <filesystem>
#include <string_view>

#include "host/serve/paths.h"

namespace halvane::serve {

// The copy of a component's default image that answers `url_path`, looked
// up in `images`, a folder laid out as a site's root (Calendar.gif,
// images/icons/FolderOpen.gif ...):
//   - "/images/icons/FolderOpen.gif", "/images/icons/FolderClosed.gif",
//     "/images/icons/treeplus.gif", "/images/icons/treeminus.gif": the
//     Tree's four site-absolute defaults;
//   - a path whose last part is "Calendar.gif", in any folder: the
//     Calendar's button, which a page names relative to itself.
// NotFound for every other path, for a path with an empty, "." or hidden
// part, and when the copy is missing.  The caller asks only after the site
// itself had no file, so the site's own file always wins.
Resolved DefaultImage(const std::filesystem::path& images, std::string_view url_path);

}  // namespace halvane::serve
