// UTF-8 text to and from the C interface's strings, and VARIANTs made in
// one line, for tests that call it.
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

// The text of a string handed to the caller, which frees it.
inline std::string Taken(BSTR s) {
  std::string out = Utf8(s);
  HalvaneSysFreeString(s);
  return out;
}

// A VARIANT of kind `vt` with `value` in `field`: Var(VT_I4, &VARIANT::lVal, 7).
template <class T, class U>
VARIANT Var(VARTYPE vt, T VARIANT::*field, U value) {
  VARIANT v;
  HalvaneVariantInit(&v);
  v.vt = vt;
  v.*field = static_cast<T>(value);
  return v;
}

inline VARIANT TextVar(std::string_view utf8) { return Var(VT_BSTR, &VARIANT::bstrVal, Bstr(utf8)); }

}  // namespace halvane::test_support
