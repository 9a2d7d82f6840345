// The halvane._halvane extension module: the component classes (made from
// the class table, python_classes.cpp), the page script, and the class table
// itself for the package's stubs and tests.
#include <pybind11/pybind11.h>

#include <string>

#include "components/compat/browser_compat.h"
#include "python_classes.h"
#include "python_values.h"
#include "server/automation.h"
#include "server/class_table.h"

namespace py = pybind11;

namespace halvane::python {
namespace {

// The class table as plain Python data: a list of
// (name, prog_id, [(member, kind, dispid, [(param, type, optional)], result)]).
py::list ClassTable() {
  py::list classes;
  for (const ClassInfo& c : Classes()) {
    py::list members;
    for (const MemberInfo& m : c.members) {
      py::list params;
      for (const ParamInfo& p : m.params)
        params.append(py::make_tuple(std::string(p.name), std::string(ToText(p.type)), p.optional));
      members.append(py::make_tuple(std::string(m.name), std::string(ToText(m.kind)), m.dispid, params,
                                    std::string(ToText(m.result))));
    }
    classes.append(py::make_tuple(std::string(c.name), std::string(c.prog_id), members));
  }
  return classes;
}

// How a Python value arrives in the library: "Integer 5", "String \"a\"",
// "Null", ... (the kind and its text), for the tests of the conversions.
std::string DescribeValue(py::handle value) {
  automation::ArgumentSlots slot;
  if (!ToVariant(value.ptr(), slot, 0, "value")) throw py::error_already_set();
  const Variant& v = slot[0];
  switch (v.Type()) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::String: return "String \"" + v.RawString() + "\"";
    default: return std::string(TypeName(v)) + " " + ToString(v);
  }
}

// The value a Python value becomes on its way into the library and back.
py::object RoundTrip(py::handle value) {
  automation::ArgumentSlots slot;
  if (!ToVariant(value.ptr(), slot, 0, "value")) throw py::error_already_set();
  PyObject* back = FromVariant(slot[0]);
  if (back == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(back);
}

}  // namespace
}  // namespace halvane::python

PYBIND11_MODULE(_halvane, m) {
  using namespace halvane::python;
  m.doc() = "The Halvane components, made from the library's class table.";
  // The classes and the shared objects live as long as the process, for the
  // one interpreter that loaded the module; another interpreter would find
  // them made for the first.
  static bool loaded = false;
  if (loaded) throw py::import_error("halvane: the module is loaded once per process (one interpreter)");
  loaded = true;
  if (!InitValues()) throw py::error_already_set();

  // Html, Error and NULL are plain Python (halvane/_types.py); the calls make
  // and recognise those very objects.
  py::module_ types = py::module_::import("halvane._types");
  SharedTypes& shared = Shared();
  shared.html = py::object(types.attr("Html")).release().ptr();
  shared.error = py::object(types.attr("Error")).release().ptr();
  shared.null = py::object(types.attr("NULL")).release().ptr();

  if (!AddClasses(m.ptr())) throw py::error_already_set();
  py::list names;
  for (const halvane::ClassInfo& c : halvane::Classes()) names.append(std::string(c.name));
  m.attr("class_names") = py::tuple(names);

  m.def("class_table", &ClassTable,
        "The class table: (name, prog_id, members) per class; each member (name, kind, dispid, "
        "params, result), each parameter (name, type, optional).");
  m.def("describe_value", &DescribeValue, "The kind and text a value has in the library (for tests).");
  m.def("round_trip", &RoundTrip, "A value into the library and back (for tests).");
  m.def(
      "page_script",
      []() {
        const std::string text = halvane::PageScript();
        PyObject* html = HtmlToPython(text);
        if (html == nullptr) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(html);
      },
      "page_script() -> Html\n\nThe browser script to put in the page's head, before any component output.");
}
