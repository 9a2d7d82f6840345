// Library errors as Python exceptions: every error a member raises arrives as
// halvane.Error with the member's number, source and description; a value the
// automation layer's conversion refuses arrives as the page language reports
// it (13 "Type mismatch" or 6 "Overflow", source "Halvane").
#pragma once

#include <Python.h>

#include <cstdint>
#include <string_view>

#include "server/automation.h"

namespace halvane::python {

// Sets halvane.Error(number, source, description) as the current exception;
// returns nullptr for the caller to return.
std::nullptr_t RaiseError(std::int32_t number, std::string_view source, std::string_view description);

// Sets the exception of a failed call of a member: `hr` is the status of
// ConvertArguments or InvokeTyped, `excep` the member's error record.
std::nullptr_t RaiseStatus(automation::HResult hr, const automation::ExceptionInfo& excep);

}  // namespace halvane::python
