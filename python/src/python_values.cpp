#include "python_values.h"

#include <datetime.h>

#include <cmath>
#include <cstring>
#include <cstdint>
#include <limits>
#include <string>

#include "core/dates.h"
#include "core/error.h"
#include "core/utf.h"
#include "python_errors.h"

namespace halvane::python {
namespace {

// A whole number as the page language reads a literal: Integer when it fits
// 16 bits, Long when it fits 32, else Double.
bool IntToVariant(PyObject* value, automation::ArgumentSlots& slots, std::size_t i) {
  int overflow = 0;
  const long long n = PyLong_AsLongLongAndOverflow(value, &overflow);
  if (overflow == 0) {
    if (n == -1 && PyErr_Occurred()) return false;
    if (n >= std::numeric_limits<std::int16_t>::min() && n <= std::numeric_limits<std::int16_t>::max()) {
      slots.Set(i, static_cast<std::int16_t>(n));
      return true;
    }
    if (n >= std::numeric_limits<std::int32_t>::min() && n <= std::numeric_limits<std::int32_t>::max()) {
      slots.Set(i, static_cast<std::int32_t>(n));
      return true;
    }
  }
  const double d = PyLong_AsDouble(value);
  if (d == -1.0 && PyErr_Occurred()) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
    PyErr_Clear();
    RaiseError(kErrOverflow, kHostSource, StandardDescription(kErrOverflow));
    return false;
  }
  slots.Set(i, d);
  return true;
}

bool StrToVariant(PyObject* value, automation::ArgumentSlots& slots, std::size_t i, std::string_view param) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
  if (utf8 == nullptr) {
    // Only an unpaired surrogate makes a str unencodable.
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return false;
    PyErr_Clear();
    PyErr_Format(PyExc_ValueError, "argument '%s': a str with an unpaired surrogate cannot be passed",
                 std::string(param).c_str());
    return false;
  }
  slots.Set(i, std::string_view(utf8, static_cast<std::size_t>(size)));
  return true;
}

// A calendar day as a day number; ValueError for a year the library's dates
// do not reach (before 100).
bool DayNumber(int year, int month, int day, double& out, std::string_view param) {
  const std::optional<double> d = DateSerial(year, month, day);
  if (!d) {
    PyErr_Format(PyExc_ValueError, "argument '%s': the year %d is outside 100..9999",
                 std::string(param).c_str(), year);
    return false;
  }
  out = *d;
  return true;
}

double TimeFraction(int hour, int minute, int second, int microsecond) {
  return TimeSerial(hour, minute, second) + microsecond / 86400e6;
}

bool DateToVariant(PyObject* value, automation::ArgumentSlots& slots, std::size_t i, std::string_view param) {
  if (PyTime_Check(value)) {
    slots.Set(i, Variant::Date(TimeFraction(PyDateTime_TIME_GET_HOUR(value), PyDateTime_TIME_GET_MINUTE(value),
                                            PyDateTime_TIME_GET_SECOND(value),
                                            PyDateTime_TIME_GET_MICROSECOND(value))));
    return true;
  }
  double day = 0;
  if (!DayNumber(PyDateTime_GET_YEAR(value), PyDateTime_GET_MONTH(value), PyDateTime_GET_DAY(value), day, param))
    return false;
  double time = 0;
  if (PyDateTime_Check(value))
    time = TimeFraction(PyDateTime_DATE_GET_HOUR(value), PyDateTime_DATE_GET_MINUTE(value),
                        PyDateTime_DATE_GET_SECOND(value), PyDateTime_DATE_GET_MICROSECOND(value));
  slots.Set(i, Variant::Date(CombineDateTime(day, time)));
  return true;
}

}  // namespace

SharedTypes& Shared() {
  static SharedTypes types;
  return types;
}

bool InitValues() {
  PyDateTime_IMPORT;
  return PyDateTimeAPI != nullptr;
}

bool ToVariant(PyObject* value, automation::ArgumentSlots& slots, std::size_t i, std::string_view param) {
  // The common kinds first, by exact type; subclasses below.
  if (PyUnicode_CheckExact(value)) return StrToVariant(value, slots, i, param);
  if (PyBool_Check(value)) {
    slots.Set(i, value == Py_True);
    return true;
  }
  if (PyLong_CheckExact(value)) return IntToVariant(value, slots, i);
  if (value == Py_None) {
    slots.Set(i);
    return true;
  }
  if (PyFloat_CheckExact(value)) {
    slots.Set(i, PyFloat_AS_DOUBLE(value));
    return true;
  }
  if (value == Shared().null) {
    slots.Set(i, Variant::Null());
    return true;
  }
  if (PyUnicode_Check(value)) return StrToVariant(value, slots, i, param);
  if (PyLong_Check(value)) return IntToVariant(value, slots, i);
  if (PyFloat_Check(value)) {
    slots.Set(i, PyFloat_AsDouble(value));
    return true;
  }
  if (PyDate_Check(value) || PyTime_Check(value)) return DateToVariant(value, slots, i, param);
  PyErr_Format(PyExc_TypeError, "argument '%s': a %.200s cannot be passed to the library",
               std::string(param).c_str(), Py_TYPE(value)->tp_name);
  return false;
}

PyObject* TextToPython(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogatepass");
}

// CPython 3.11 makes an instance of a str subclass in two copies (a str,
// then the subclass's own copy of its characters).  For the common case, an
// ASCII output, the Html is made here in one: the legacy (non-compact) layout
// that str's own subclass constructor builds, its UTF-8 sharing the
// characters.  Other versions, a changed Html and non-ASCII text take the
// ordinary way.
#if PY_VERSION_HEX >= 0x030B0000 && PY_VERSION_HEX < 0x030C0000
#define HALVANE_DIRECT_HTML 1
PyObject* AsciiHtml(std::string_view text) {
  auto* type = reinterpret_cast<PyTypeObject*>(Shared().html);
  PyObject* self = type->tp_alloc(type, 0);
  if (self == nullptr) return nullptr;
  auto* data = static_cast<char*>(PyObject_Malloc(text.size() + 1));
  if (data == nullptr) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  std::memcpy(data, text.data(), text.size());
  data[text.size()] = '\0';
  auto* u = reinterpret_cast<PyUnicodeObject*>(self);
  const auto length = static_cast<Py_ssize_t>(text.size());
  u->_base._base.length = length;
  u->_base._base.hash = -1;
  u->_base._base.state.interned = 0;
  u->_base._base.state.kind = PyUnicode_1BYTE_KIND;
  u->_base._base.state.compact = 0;
  u->_base._base.state.ascii = 1;
  u->_base._base.state.ready = 1;
  u->_base._base.wstr = nullptr;
  u->_base.utf8 = data;
  u->_base.utf8_length = length;
  u->_base.wstr_length = 0;
  u->data.any = data;
  return self;
}
#endif

bool DirectHtmlFits() {
#ifdef HALVANE_DIRECT_HTML
  auto* type = reinterpret_cast<PyTypeObject*>(Shared().html);
  return PyType_Check(Shared().html) && type->tp_base == &PyUnicode_Type &&
         type->tp_basicsize == PyUnicode_Type.tp_basicsize && type->tp_itemsize == 0 && type->tp_dictoffset == 0;
#else
  return false;
#endif
}

PyObject* HtmlToPython(std::string_view text) {
#ifdef HALVANE_DIRECT_HTML
  static const bool direct = DirectHtmlFits();
  if (direct && utf::IsAscii(text)) return AsciiHtml(text);
#endif
  PyObject* plain = TextToPython(text);
  if (plain == nullptr) return nullptr;
  PyObject* html = PyObject_CallOneArg(Shared().html, plain);
  Py_DECREF(plain);
  return html;
}

PyObject* FromVariant(const Variant& value) {
  switch (value.Type()) {
    case VarType::Empty: Py_RETURN_NONE;
    case VarType::Null: return Py_NewRef(Shared().null);
    case VarType::Integer:
    case VarType::Long: return PyLong_FromLong(value.RawInt());
    case VarType::Single:
    case VarType::Double: return PyFloat_FromDouble(value.RawDouble());
    case VarType::String: return TextToPython(value.RawString());
    case VarType::Boolean: return PyBool_FromLong(value.RawInt() != 0);
    case VarType::Date: {
      DateParts p{};
      try {
        p = SplitDate(value.RawDouble());
      } catch (const Error& e) {
        return RaiseError(e.Number(), e.Source().empty() ? kHostSource : std::string_view(e.Source()),
                          e.Description());
      }
      return PyDateTime_FromDateAndTime(p.year, p.month, p.day, p.hour, p.minute, p.second, 0);
    }
    case VarType::Error: break;
  }
  // No member returns an Error value (the omitted-argument marker); should
  // one ever, it is its status.
  return PyLong_FromLong(value.RawInt());
}

}  // namespace halvane::python
