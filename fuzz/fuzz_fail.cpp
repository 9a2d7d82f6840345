#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_input.h"

namespace halvane::fuzz {

void Fail(const char* what, std::string_view detail) {
  std::fprintf(stderr, "property failed: %s: [%.*s]\n", what, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

}  // namespace halvane::fuzz
