// UTF-8 text to and from the C interface's strings, for tests that call it.
#pragma once

#include <string>
#include <string_view>

#include "server/halvane_com.h"

namespace halvane::test_support {

inline BSTR Bstr(std::string_view utf8) { return HalvaneSysAllocStringUtf8(utf8.data(), utf8.size()); }

inline std::string Utf8(BSTR s) {
  std::size_t len = 0;
  char* text = HalvaneSysStringToUtf8(s, &len);
  std::string out(text, len);
  HalvaneFreeUtf8(text);
  return out;
}

}  // namespace halvane::test_support
