// Helpers for filling the interpreter's method and slot tables.
#pragma once

#include <Python.h>

#include "lib/arguments.h"
#include "lib/python_errors.h"

namespace pelorix::binding {

// Method tables store every function as a PyCFunction; the flags tell the interpreter the
// real signature.
template <class F>
PyCFunction as_method(F function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

template <class F>
void* as_slot(F function) {
  return reinterpret_cast<void*>(function);
}

// Methods whose behaviour is not part of this build yet: they accept exactly their documented
// arguments and then say plainly that the operation is unavailable.
template <const Signature* S>
PyObject* pending(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* slots[8];
  if (!read_arguments(*S, args, nargs, kwnames, std::span<PyObject*>(slots, S->names.size())))
    return nullptr;
  PyErr_Format(PyExc_NotImplementedError, "%s() is not available in this version of pelorix",
               S->function);
  return nullptr;
}

template <const char* Name>
PyObject* pending_noargs(PyObject*, PyObject*) {
  PyErr_Format(PyExc_NotImplementedError, "%s() is not available in this version of pelorix", Name);
  return nullptr;
}

}  // namespace pelorix::binding
