#include "python_classes.h"

#include <structmember.h>

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "python_errors.h"
#include "python_values.h"
#include "server/automation.h"
#include "server/class_table.h"

namespace halvane::python {
namespace {

// An instance: the automation object of its class.
struct Instance {
  PyObject_HEAD
  automation::Object* object;
};

// What the types and descriptors point at; made once and kept for the life
// of the process (the types live as long as the module).
struct ClassEntry {
  const ClassInfo* info = nullptr;
  PyTypeObject* type = nullptr;
  std::string qualified;  // halvane.Tree
  std::string doc;
};
struct PropertyEntry {
  ClassEntry* owner = nullptr;
  const MemberInfo* get = nullptr;
  const MemberInfo* let = nullptr;
  std::string name, doc;
};
std::deque<ClassEntry> g_classes;
std::deque<PropertyEntry> g_properties;
std::deque<std::vector<PyGetSetDef>> g_getsets;

// The Python spelling of a parameter or result type, for signatures and
// messages.
std::string_view PythonType(ValueType type) {
  switch (type) {
    case ValueType::String: return "str";
    case ValueType::Integer: return "int";
    case ValueType::Boolean: return "bool";
    case ValueType::Variant: return "Value";
    case ValueType::None: break;
  }
  return "None";
}
// The default an omitted optional parameter shows (the value it receives).
std::string_view OmittedText(ValueType type) {
  switch (type) {
    case ValueType::String: return "''";
    case ValueType::Integer: return "0";
    case ValueType::Boolean: return "False";
    case ValueType::Variant:
    case ValueType::None: break;
  }
  return "None";
}

bool IsOutput(const MemberInfo& m) { return m.kind == MemberKind::Method && m.result == ValueType::String; }

// ---- the call of one row ---------------------------------------------------------

std::string_view Utf8(PyObject* str) {
  Py_ssize_t n = 0;
  const char* s = PyUnicode_AsUTF8AndSize(str, &n);
  return s != nullptr ? std::string_view(s, static_cast<std::size_t>(n)) : std::string_view();
}

// Calls `member` of `self` with positional `args` and keyword arguments
// (`kwnames` names the values after the positional ones, vectorcall style).
// Every argument is converted before the member runs, so a refused value
// leaves the object untouched.
PyObject* CallRow(PyObject* self, const MemberInfo& member, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) {
  const std::span<const ParamInfo> params = member.params;
  const std::size_t count = params.size();
  const std::string_view name = member.name;
  if (static_cast<std::size_t>(nargs) > count) {
    PyErr_Format(PyExc_TypeError, "%s() takes %zu argument%s (%zd given)", std::string(name).c_str(), count, count == 1 ? "" : "s", nargs);
    return nullptr;
  }
  PyObject* given[kMaxParams] = {};
  for (Py_ssize_t i = 0; i < nargs; ++i) given[i] = args[i];
  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      PyObject* key = PyTuple_GET_ITEM(kwnames, k);
      const std::string_view key_text = Utf8(key);
      std::size_t j = 0;
      while (j < count && params[j].name != key_text) ++j;
      if (j == count) {
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'",
                     std::string(name).c_str(), key);
        return nullptr;
      }
      if (given[j] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'", std::string(name).c_str(), key);
        return nullptr;
      }
      given[j] = args[nargs + k];
    }
  }
  std::size_t last = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (given[i] != nullptr) {
      last = i + 1;
    } else if (!params[i].optional) {
      PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s'", std::string(name).c_str(), std::string(params[i].name).c_str());
      return nullptr;
    }
  }
  try {
    automation::ArgumentSlots slots;
    for (std::size_t i = 0; i < last; ++i) {
      if (given[i] == nullptr) {
        slots.Set(i, Variant::Missing());  // an optional one left out before a given one
      } else if (!ToVariant(given[i], slots, i, params[i].name)) {
        return nullptr;
      }
    }
    automation::ExceptionInfo excep;
    automation::HResult hr = automation::ConvertArguments(member, slots, last, nullptr);
    if (hr != automation::kOk) return RaiseStatus(hr, excep);
    Variant result;
    automation::Object& object = *reinterpret_cast<Instance*>(self)->object;
    hr = object.InvokeTyped(member, slots.First(count), result, excep);
    if (hr != automation::kOk) return RaiseStatus(hr, excep);
    if (IsOutput(member)) return HtmlToPython(result.RawString());
    if (member.result == ValueType::None) Py_RETURN_NONE;
    return FromVariant(result.Deref());
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

// ---- methods: a descriptor called with the instance first (no bound method
// is made for a call `obj.Method(...)`) ----------------------------------------

struct MethodDescr {
  PyObject_HEAD
  vectorcallfunc vectorcall;
  const ClassEntry* owner;
  const MemberInfo* member;
  PyObject* doc;
  PyObject* signature;
};
PyTypeObject* g_method_type = nullptr;

PyObject* MethodVectorcall(PyObject* callable, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
  auto* d = reinterpret_cast<MethodDescr*>(callable);
  const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  if (nargs < 1 || !PyObject_TypeCheck(args[0], d->owner->type)) {
    PyErr_Format(PyExc_TypeError, "%s() needs a %s object first", std::string(d->member->name).c_str(), d->owner->qualified.c_str());
    return nullptr;
  }
  return CallRow(args[0], *d->member, args + 1, nargs - 1, kwnames);
}

PyObject* MethodGet(PyObject* self, PyObject* obj, PyObject*) {
  if (obj == nullptr || obj == Py_None) return Py_NewRef(self);
  return PyMethod_New(self, obj);
}

void MethodDealloc(PyObject* self) {
  auto* d = reinterpret_cast<MethodDescr*>(self);
  PyTypeObject* type = Py_TYPE(self);
  Py_XDECREF(d->doc);
  Py_XDECREF(d->signature);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* MethodName(PyObject* self, void*) {
  const auto* d = reinterpret_cast<MethodDescr*>(self);
  return TextToPython(d->member->name);
}
PyObject* MethodQualname(PyObject* self, void*) {
  const auto* d = reinterpret_cast<MethodDescr*>(self);
  return PyUnicode_FromFormat("%s.%s", std::string(d->owner->info->name).c_str(), std::string(d->member->name).c_str());
}
PyObject* MethodDoc(PyObject* self, void*) { return Py_NewRef(reinterpret_cast<MethodDescr*>(self)->doc); }
PyObject* MethodTextSignature(PyObject* self, void*) {
  return Py_NewRef(reinterpret_cast<MethodDescr*>(self)->signature);
}
PyObject* MethodObjclass(PyObject* self, void*) {
  return Py_NewRef(reinterpret_cast<PyObject*>(reinterpret_cast<MethodDescr*>(self)->owner->type));
}
PyObject* MethodRepr(PyObject* self) {
  const auto* d = reinterpret_cast<MethodDescr*>(self);
  return PyUnicode_FromFormat("<method '%s' of '%s' objects>", std::string(d->member->name).c_str(), d->owner->qualified.c_str());
}

PyGetSetDef kMethodGetSets[] = {
    {"__name__", MethodName, nullptr, nullptr, nullptr},
    {"__qualname__", MethodQualname, nullptr, nullptr, nullptr},
    {"__doc__", MethodDoc, nullptr, nullptr, nullptr},
    {"__text_signature__", MethodTextSignature, nullptr, nullptr, nullptr},
    {"__objclass__", MethodObjclass, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyMemberDef kMethodMembers[] = {
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(MethodDescr, vectorcall), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};
PyType_Slot kMethodSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(MethodDealloc)},
    {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
    {Py_tp_descr_get, reinterpret_cast<void*>(MethodGet)},
    {Py_tp_getset, kMethodGetSets},
    {Py_tp_members, kMethodMembers},
    {Py_tp_repr, reinterpret_cast<void*>(MethodRepr)},
    {0, nullptr},
};
PyType_Spec kMethodSpec = {
    "halvane.Method", sizeof(MethodDescr), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_METHOD_DESCRIPTOR | Py_TPFLAGS_IMMUTABLETYPE,
    kMethodSlots};

// ---- signatures and help texts --------------------------------------------------

// "($self, /, NodeName, URI, Target, ImagePath='')": the form inspect reads
// from __text_signature__, so help() and inspect.signature() show the
// parameters by name.
std::string TextSignature(const MemberInfo& m) {
  std::string s = "($self, /";
  for (const ParamInfo& p : m.params) {
    s.append(", ").append(p.name);
    if (p.optional) s.append("=").append(OmittedText(p.type));
  }
  return s + ")";
}

std::string Parameters(const MemberInfo& m) {
  std::string s;
  for (const ParamInfo& p : m.params) {
    if (!s.empty()) s += ", ";
    s.append(p.name).append(": ").append(PythonType(p.type));
    if (p.optional) s.append(" = ").append(OmittedText(p.type));
  }
  return s;
}

std::string MethodHelp(const ClassInfo& cls, const MemberInfo& m) {
  std::string s = std::string(m.name) + "(" + Parameters(m) + ") -> ";
  s += IsOutput(m) ? "Html" : std::string(PythonType(m.result));
  s += "\n\nMethod of " + std::string(cls.prog_id) + ".";
  if (IsOutput(m)) s += " Returns the markup to write into the page.";
  return s;
}

std::string PropertyHelp(const ClassInfo& cls, const PropertyEntry& p) {
  const MemberInfo& any = p.get != nullptr ? *p.get : *p.let;
  std::string type(PythonType(p.get != nullptr ? p.get->result : p.let->params[0].type));
  std::string s = std::string(any.name) + ": " + type + "\n\nProperty of " + std::string(cls.prog_id) + ", ";
  if (p.get != nullptr && p.let != nullptr) return s + "read and write.";
  if (p.get != nullptr) return s + "read only.";
  return s + "write only (the value is named " + std::string(p.let->params[0].name) + ").";
}

// ---- properties ---------------------------------------------------------------------

PyObject* PropertyGet(PyObject* self, void* closure) {
  const auto* p = static_cast<const PropertyEntry*>(closure);
  return CallRow(self, *p->get, nullptr, 0, nullptr);
}

int PropertySet(PyObject* self, PyObject* value, void* closure) {
  const auto* p = static_cast<const PropertyEntry*>(closure);
  if (value == nullptr) {
    PyErr_Format(PyExc_AttributeError, "the property %s cannot be deleted", p->name.c_str());
    return -1;
  }
  PyObject* done = CallRow(self, *p->let, &value, 1, nullptr);
  if (done == nullptr) return -1;
  Py_DECREF(done);
  return 0;
}

// ---- the component types -------------------------------------------------------------

const ClassEntry* EntryOf(PyTypeObject* type) {
  for (const ClassEntry& c : g_classes)
    if (PyType_IsSubtype(type, c.type)) return &c;
  return nullptr;
}

PyObject* InstanceNew(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  const ClassEntry* entry = EntryOf(type);
  if (entry == nullptr) return PyErr_Format(PyExc_TypeError, "%s is not a Halvane class", type->tp_name);
  // Arguments are refused unless a subclass's __init__ takes them.
  if (entry->type == type && (PyTuple_GET_SIZE(args) != 0 || (kwargs != nullptr && PyDict_GET_SIZE(kwargs) != 0)))
    return PyErr_Format(PyExc_TypeError, "%s() takes no arguments", entry->qualified.c_str());
  automation::ObjectPtr object;
  const automation::HResult hr = automation::CreateObject(entry->info->prog_id, object);
  if (hr == automation::kEOutOfMemory) return PyErr_NoMemory();
  if (hr != automation::kOk) return RaiseStatus(hr, {});
  PyObject* self = type->tp_alloc(type, 0);
  if (self == nullptr) return nullptr;
  reinterpret_cast<Instance*>(self)->object = object.release();
  return self;
}

void InstanceDealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  if (automation::Object* object = reinterpret_cast<Instance*>(self)->object) object->Release();
  type->tp_free(self);
  Py_DECREF(type);
}

bool AddClass(PyObject* module, const ClassInfo& info) {
  ClassEntry& entry = g_classes.emplace_back();
  entry.info = &info;
  entry.qualified = "halvane." + std::string(info.name);
  entry.doc = std::string(info.name) + "()\n\nThe " + std::string(info.prog_id) +
              " component. Output methods return halvane.Html.";

  // Properties: one per name, with the get row, the let row or both.
  std::vector<PyGetSetDef>& getsets = g_getsets.emplace_back();
  std::vector<PropertyEntry*> props;
  for (const MemberInfo& m : info.members) {
    if (m.kind == MemberKind::Method) continue;
    PropertyEntry* p = nullptr;
    for (PropertyEntry* q : props)
      if (q->name == m.name) p = q;
    if (p == nullptr) {
      p = &g_properties.emplace_back();
      p->owner = &entry;
      p->name = std::string(m.name);
      props.push_back(p);
    }
    (m.kind == MemberKind::PropertyGet ? p->get : p->let) = &m;
  }
  for (PropertyEntry* p : props) {
    p->doc = PropertyHelp(info, *p);
    getsets.push_back({p->name.c_str(), p->get != nullptr ? PropertyGet : nullptr,
                       p->let != nullptr ? PropertySet : nullptr, p->doc.c_str(), p});
  }
  getsets.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});

  PyType_Slot slots[] = {
      {Py_tp_new, reinterpret_cast<void*>(InstanceNew)},
      {Py_tp_dealloc, reinterpret_cast<void*>(InstanceDealloc)},
      {Py_tp_getset, getsets.data()},
      {Py_tp_doc, const_cast<char*>(entry.doc.c_str())},
      {0, nullptr},
  };
  PyType_Spec type_spec = {entry.qualified.c_str(), sizeof(Instance), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, slots};
  PyObject* type = PyType_FromSpec(&type_spec);
  if (type == nullptr) return false;
  entry.type = reinterpret_cast<PyTypeObject*>(type);

  for (const MemberInfo& m : info.members) {
    if (m.kind != MemberKind::Method) continue;
    auto* d = PyObject_New(MethodDescr, g_method_type);
    if (d == nullptr) return false;
    d->vectorcall = MethodVectorcall;
    d->owner = &entry;
    d->member = &m;
    d->doc = TextToPython(MethodHelp(info, m));
    d->signature = TextToPython(TextSignature(m));
    const std::string name(m.name);
    const int added = d->doc != nullptr && d->signature != nullptr
                          ? PyObject_SetAttrString(type, name.c_str(), reinterpret_cast<PyObject*>(d))
                          : -1;
    Py_DECREF(d);
    if (added != 0) return false;
  }
  return PyModule_AddObjectRef(module, std::string(info.name).c_str(), type) == 0;
}

}  // namespace

bool AddClasses(PyObject* module) {
  g_method_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kMethodSpec));
  if (g_method_type == nullptr) return false;
  for (const ClassInfo& info : Classes())
    if (!AddClass(module, info)) return false;
  return true;
}

}  // namespace halvane::python
