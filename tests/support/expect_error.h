// Checks of the errors a call raises.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string_view>

#include "core/error.h"

namespace halvane::test_support {

// The number of the Error that f() raises; 0 when it raises none.
template <class F>
int ErrorNumber(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.Number();
  }
  return 0;
}

// The call raises the given number and source, with the standard
// description and status.
inline void ExpectStandardError(const std::function<void()>& call, int number, std::string_view source) {
  try {
    call();
    ADD_FAILURE() << "no error raised";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), number);
    EXPECT_EQ(e.Source(), source);
    EXPECT_EQ(e.Description(), StandardDescription(number));
    EXPECT_EQ(e.Status(), 0x800A0000u + static_cast<unsigned>(number));
  }
}

}  // namespace halvane::test_support
