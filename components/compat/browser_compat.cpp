#include "components/compat/browser_compat.h"

// Generated at build time from the .js files (cmake/embed_script.cmake).
#include "components/compat/accessibility_js.h"
#include "components/compat/browser_compat_js.h"

namespace halvane {

std::string BrowserCompatScript() {
  return std::string(reinterpret_cast<const char*>(compat_detail::kBrowserCompatBlock),
                     compat_detail::kBrowserCompatBlockSize);
}

std::string AccessibilityScript() {
  return std::string(reinterpret_cast<const char*>(compat_detail::kAccessibilityBlock),
                     compat_detail::kAccessibilityBlockSize);
}

std::string PageScript(bool accessible) {
  std::string out;
  out.reserve(compat_detail::kBrowserCompatBlockSize + (accessible ? compat_detail::kAccessibilityBlockSize : 0));
  out.append(reinterpret_cast<const char*>(compat_detail::kBrowserCompatBlock), compat_detail::kBrowserCompatBlockSize);
  if (accessible) {
    out.append(reinterpret_cast<const char*>(compat_detail::kAccessibilityBlock),
               compat_detail::kAccessibilityBlockSize);
  }
  return out;
}

}  // namespace halvane
