// Process-wide Python objects made once: the type objects and the two action modes.
#pragma once

#include <Python.h>

#include <atomic>

namespace pelorix::binding {

// Returns the object in `cell` (borrowed: the cell keeps it for the life of the process), making it
// with `make` (which returns a new reference or null) the first time. Callers hold the GIL; should
// `make` let another thread in (it may run Python code), whichever object was stored first wins and
// is the only one ever handed out.
template <class Make>
PyObject* once(std::atomic<PyObject*>& cell, Make make) {
  PyObject* object = cell.load(std::memory_order_acquire);
  if (object == nullptr) {
    PyObject* made = make();
    if (made == nullptr) return nullptr;
    if (cell.compare_exchange_strong(object, made, std::memory_order_acq_rel)) {
      object = made;  // the cell keeps this reference for the life of the process
    } else {
      Py_DECREF(made);
    }
  }
  return object;
}

}  // namespace pelorix::binding
