// Registration of the server: the path of the file this code was loaded
// from, and DllRegisterServer / DllUnregisterServer writing the class store.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "server/automation.h"
#include "server/class_store.h"
#include "server/com_internal.h"

namespace {

namespace automation = halvane::automation;

// The absolute path of the file this code was loaded from (the shared
// library, or the program that links the static library), as the loader
// was given it.  It is taken when the library is loaded: a relative name is
// relative to the directory of that moment, which the process may leave
// before it registers.  A bare name that the loader found on its search
// path is looked up in the process's memory map.
std::string PathFromMemoryMap(std::uintptr_t address) {
  FILE* maps = std::fopen("/proc/self/maps", "r");
  if (maps == nullptr) return {};
  char line[4096 + 128];
  std::string found;
  while (std::fgets(line, sizeof line, maps) != nullptr) {
    unsigned long long lo = 0, hi = 0;
    int path_at = -1;
    if (std::sscanf(line, "%llx-%llx %*s %*s %*s %*s %n", &lo, &hi, &path_at) < 2 || path_at < 0) continue;
    if (address < lo || address >= hi || line[path_at] != '/') continue;
    found = line + path_at;
    while (!found.empty() && (found.back() == '\n' || found.back() == '\r')) found.pop_back();
    break;
  }
  std::fclose(maps);
  return found;
}

std::string LoadedPath() {
  static const char anchor = 0;
  Dl_info info{};
  if (::dladdr(&anchor, &info) != 0 && info.dli_fname != nullptr && std::strchr(info.dli_fname, '/') != nullptr) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(info.dli_fname, ec);
    if (!ec) return p.lexically_normal().string();
  }
  return PathFromMemoryMap(reinterpret_cast<std::uintptr_t>(&anchor));
}

const std::string& ServerPath() {
  static const std::string path = LoadedPath();
  return path;
}

// The library entry point: note the file's path while the directory the
// loader resolved it against is still current.
__attribute__((constructor)) void OnLoad() {
  try {
    (void)ServerPath();
  } catch (...) {}
}

}  // namespace

extern "C" {

HALVANE_API HRESULT DllRegisterServer(void) {
  try {
    const std::string& server = ServerPath();
    if (server.empty()) return SELFREG_E_CLASS;
    return automation::RegisterClasses(automation::ClassStorePath(), server) ? S_OK : SELFREG_E_CLASS;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

HALVANE_API HRESULT DllUnregisterServer(void) {
  try {
    return automation::UnregisterClasses(automation::ClassStorePath()) ? S_OK : SELFREG_E_CLASS;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

}  // extern "C"
