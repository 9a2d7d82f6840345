#include "components/compat/browser_compat.h"

// Generated at build time from browser_compat.js (cmake/embed_script.cmake).
#include "components/compat/browser_compat_js.h"

namespace halvane {

std::string BrowserCompatScript() {
  return std::string(reinterpret_cast<const char*>(compat_detail::kBrowserCompatBlock),
                     compat_detail::kBrowserCompatBlockSize);
}

std::string PageScript() { return BrowserCompatScript(); }

}  // namespace halvane
