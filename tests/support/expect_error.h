// Checks that a call raises a halvane::Error with the given number and
// source, its standard description and its status.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string_view>

#include "core/error.h"

namespace halvane::test_support {

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
