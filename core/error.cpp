#include "core/error.h"

namespace halvane {

std::string_view StandardDescription(std::int32_t number) noexcept {
  switch (number) {
    case kErrInvalidCall: return "Invalid procedure call or argument";
    case kErrOverflow: return "Overflow";
    case kErrOutOfMemory: return "Out of memory";
    case kErrSubscript: return "Subscript out of range";
    case kErrDivisionByZero: return "Division by zero";
    case kErrTypeMismatch: return "Type mismatch";
    case kErrOutOfStringSpace: return "Out of string space";
    case kErrOutOfStack: return "Out of stack space";
    case kErrNotDefined: return "Sub or Function not defined";
    case kErrDeviceIO: return "Device I/O error";
    case kErrInvalidUseOfNull: return "Invalid use of Null";
    case kErrObjectRequired: return "Object required";
    case kErrCannotCreate: return "Cannot create object";
    case kErrNoMember: return "Object has no such property or method";
    case kErrArgCount: return "Wrong number of arguments";
    case kErrUndefinedVariable: return "Variable is undefined";
    default: return {};
  }
}

std::string_view DescriptionOrDefault(std::int32_t number) noexcept {
  const std::string_view d = StandardDescription(number);
  return d.empty() ? kDefaultDescription : d;
}

void RaiseStandard(std::int32_t number) {
  throw Error(number, std::string(), std::string(StandardDescription(number)));
}

}  // namespace halvane
