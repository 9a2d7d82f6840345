#include "python_errors.h"

#include <new>
#include <string>

#include "core/error.h"
#include "python_values.h"

namespace halvane::python {

std::nullptr_t RaiseError(std::int32_t number, std::string_view source, std::string_view description) {
  PyObject* src = TextToPython(source);
  PyObject* desc = src != nullptr ? TextToPython(description) : nullptr;
  PyObject* error = desc != nullptr ? PyObject_CallFunction(Shared().error, "iOO", number, src, desc) : nullptr;
  if (error != nullptr) {
    PyErr_SetObject(Shared().error, error);
    Py_DECREF(error);
  }
  Py_XDECREF(src);
  Py_XDECREF(desc);
  return nullptr;
}

std::nullptr_t RaiseStatus(automation::HResult hr, const automation::ExceptionInfo& excep) {
  switch (hr) {
    case automation::kDispEException: {
      const bool standard = (excep.status & 0xFFFF0000u) == kErrorStatusBase;
      const auto number = static_cast<std::int32_t>(standard ? excep.status & 0xFFFFu : excep.status);
      return RaiseError(number, excep.source, excep.description);
    }
    case automation::kDispETypeMismatch:
      return RaiseError(kErrTypeMismatch, kHostSource, StandardDescription(kErrTypeMismatch));
    case automation::kDispEOverflow: return RaiseError(kErrOverflow, kHostSource, StandardDescription(kErrOverflow));
    case automation::kEOutOfMemory: PyErr_NoMemory(); return nullptr;
    default: break;
  }
  PyErr_Format(PyExc_SystemError, "halvane: the call failed with status 0x%08X", static_cast<unsigned>(hr));
  return nullptr;
}

}  // namespace halvane::python
