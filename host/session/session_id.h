// Session identifiers: 24 letters and digits (about 142 bits) drawn from the
// operating system's random source.
#pragma once

#include <string>
#include <string_view>

namespace halvane::session {

inline constexpr std::size_t kIdLength = 24;

// A new identifier.  Throws StoreError when the random source fails.
std::string NewId();

// True when `text` has the form of an identifier (it may still be unknown).
bool IsIdForm(std::string_view text);

}  // namespace halvane::session
