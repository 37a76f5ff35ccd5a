// The few places where the supported CPython versions (3.11 to 3.14) differ.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace tavrell::py {

// Takes the raised exception out of the thread state (a new reference, or
// null when none is set).
inline PyObject* take_raised_exception() {
#if PY_VERSION_HEX >= 0x030C0000
  return PyErr_GetRaisedException();
#else
  PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
  PyErr_Fetch(&type, &value, &tb);
  if (type == nullptr) return nullptr;
  PyErr_NormalizeException(&type, &value, &tb);
  if (tb != nullptr && value != nullptr) PyException_SetTraceback(value, tb);
  Py_XDECREF(type);
  Py_XDECREF(tb);
  return value;
#endif
}

// Raises exc again; steals the reference.
inline void restore_raised_exception(PyObject* exc) {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exc);
#else
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(exc));
  Py_INCREF(type);
  PyErr_Restore(type, exc, PyException_GetTraceback(exc));
#endif
}

}  // namespace tavrell::py
