#include "host/gallery_dir.h"

#include <system_error>

namespace halvane::host {

namespace {

namespace fs = std::filesystem;

// share/halvane/NAME of the installation the program runs from, found from
// the program's own place (bin/halvane) so that an installation moved
// elsewhere still finds it; empty when `marker` is not in it.
fs::path Installed(const char* name, const char* marker) {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const fs::path dir = (exe.parent_path() / HALVANE_BIN_TO_DATA / "halvane" / name).lexically_normal();
  return fs::is_regular_file(dir / marker, ec) ? dir : fs::path();
}

}  // namespace

std::filesystem::path DefaultGalleryDir() {
  fs::path installed = Installed("examples", "index.hvp");
  return installed.empty() ? fs::path(HALVANE_EXAMPLES_DIR) : installed;
}

std::filesystem::path DefaultImagesDir() {
  fs::path installed = Installed("default_images", "Calendar.gif");
  return installed.empty() ? fs::path(HALVANE_EXAMPLES_DIR) : installed;
}

}  // namespace halvane::host
