#include "core/error.h"

namespace halvane {

std::string_view StandardDescription(std::int32_t number) noexcept {
  switch (number) {
    case 5: return "Invalid procedure call or argument";
    case kErrOverflow: return "Overflow";
    case kErrTypeMismatch: return "Type mismatch";
    case kErrInvalidUseOfNull: return "Invalid use of Null";
    default: return {};
  }
}

void RaiseStandard(std::int32_t number) {
  throw Error(number, std::string(), std::string(StandardDescription(number)));
}

}  // namespace halvane
