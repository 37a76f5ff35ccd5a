// Placeholders for surfaces that are not built yet. Removed once every
// surface exists.
#pragma once

#include "lib/binding.h"

namespace tavrell::py::stub {

inline Ref not_available(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) {
  PyErr_SetString(PyExc_NotImplementedError, "not available yet");
  throw_error_already_set();
}

inline PyTypeObject* placeholder_type(OnceObject& once, const char* name, const char* doc) {
  return reinterpret_cast<PyTypeObject*>(once.get([&] {
    PyType_Slot slots[] = {{Py_tp_doc, const_cast<char*>(doc)}, {0, nullptr}};
    PyType_Spec spec = {name, sizeof(PyObject), 0,
                        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, slots};
    return PyType_FromSpec(&spec);
  }));
}

}  // namespace tavrell::py::stub
