// Helpers for filling the interpreter's method and slot tables.
#pragma once

#include <Python.h>

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

}  // namespace pelorix::binding
