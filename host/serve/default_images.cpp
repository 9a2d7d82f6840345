#include "host/serve/default_images.h"

#include <array>
#include <system_error>

namespace halvane::serve {

Resolved DefaultImage(const std::filesystem::path& images, std::string_view url_path) {
  Resolved out;
  if (images.empty() || url_path.size() < 2 || url_path[0] != '/') return out;
  // Every part a plain name: nothing that Resolve would have refused is
  // answered here instead.
  for (std::size_t i = 1; i <= url_path.size();) {
    std::size_t j = url_path.find('/', i);
    if (j == std::string_view::npos) j = url_path.size();
    const std::string_view part = url_path.substr(i, j - i);
    if (part.empty() || part[0] == '.' || part.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos)
      return out;
    i = j + 1;
  }
  static constexpr std::array<std::string_view, 4> kTreeIcons = {
      "/images/icons/FolderOpen.gif", "/images/icons/FolderClosed.gif", "/images/icons/treeplus.gif",
      "/images/icons/treeminus.gif"};
  constexpr std::string_view kCalendar = "Calendar.gif";
  std::filesystem::path file;
  for (std::string_view icon : kTreeIcons) {
    if (url_path == icon) file = images / std::filesystem::path(std::string(icon.substr(1)));
  }
  const std::string_view last = url_path.substr(url_path.rfind('/') + 1);
  if (last == kCalendar) file = images / kCalendar;
  std::error_code ec;
  if (file.empty() || !std::filesystem::is_regular_file(file, ec)) return out;
  out.kind = Resolved::Kind::File;
  out.file = std::move(file);
  return out;
}

}  // namespace halvane::serve
