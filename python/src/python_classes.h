// The component classes of the Python package, made at import from the class
// table: one type per class, a property per property name (readable,
// writable or both, as the table has its get and let rows), a method per
// method row.  Every call goes through the row, the automation layer's
// argument conversion (ConvertArguments) and the member's invoker
// (InvokeTyped), as a late-bound call does.
#pragma once

#include <Python.h>

namespace halvane::python {

// Adds every class of the table to `module`; false with a Python error set.
bool AddClasses(PyObject* module);

}  // namespace halvane::python
