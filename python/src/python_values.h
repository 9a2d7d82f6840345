// Python values into the library's Variants and back.
//
// Into the library: None Empty, bool Boolean, int Integer / Long / Double by
// its size (as the page language's literals), float Double, str String,
// datetime / date / time Date, halvane.NULL Null.  Anything else is refused
// with TypeError, a str with a lone surrogate with ValueError.
// Out of the library: Empty None, Null halvane.NULL, Integer and Long int,
// Single and Double float, String str, Boolean bool, Date datetime.
#pragma once

#include <Python.h>

#include <cstddef>
#include <string_view>

#include "core/variant.h"
#include "server/automation.h"

namespace halvane::python {

// The objects of halvane/_types.py the conversions make and recognise;
// set once when the module is imported.
struct SharedTypes {
  PyObject* html = nullptr;   // halvane.Html
  PyObject* error = nullptr;  // halvane.Error
  PyObject* null = nullptr;   // halvane.NULL
};
SharedTypes& Shared();

// Loads the datetime C interface; false with a Python error set.
bool InitValues();

// Makes slot `i` of `slots` the Variant of `value`, for the parameter named
// `param` (named in the error messages).  False with a Python error set
// (TypeError, ValueError, or halvane.Error 6 for a whole number beyond the
// Double range); the slot is then left as it was.
bool ToVariant(PyObject* value, automation::ArgumentSlots& slots, std::size_t i, std::string_view param);

// The Python value of a library value; nullptr with a Python error set.
PyObject* FromVariant(const Variant& value);

// A str of UTF-8 text from the library (an unpaired surrogate, which the
// library keeps in its three-byte form, comes back as itself).
PyObject* TextToPython(std::string_view text);
// The same text as a halvane.Html.
PyObject* HtmlToPython(std::string_view text);

}  // namespace halvane::python
