#include "host/gallery_dir.h"

#include <system_error>

namespace halvane::host {

std::filesystem::path DefaultGalleryDir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    // bin/halvane -> share/halvane/examples, found from the program's own
    // place so that an installation moved elsewhere still finds it.
    const fs::path installed = (exe.parent_path() / HALVANE_BIN_TO_DATA / "halvane" / "examples").lexically_normal();
    if (fs::is_regular_file(installed / "index.hvp", ec)) return installed;
  }
  return HALVANE_EXAMPLES_DIR;
}

}  // namespace halvane::host
