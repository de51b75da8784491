#include "lib/python_errors.h"

#include <exception>
#include <new>
#include <string>

#include "lib/py_ref.h"

namespace pelorix::binding {

PyObject* to_python_str(std::string_view utf8) {
  return PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace");
}

PyObject* raise_runtime_error(std::string_view message) {
  if (PyErr_Occurred() != nullptr) return nullptr;
  PyRef text = PyRef::steal(to_python_str(message));
  if (text) PyErr_SetObject(PyExc_RuntimeError, text.get());
  return nullptr;
}

PyObject* raise_error(const AXError& error) {
  return raise_runtime_error(error.message());
}

namespace {
thread_local int entry_points = 0;
}  // namespace

EntryPoint::EntryPoint() noexcept {
  ++entry_points;
}

EntryPoint::~EntryPoint() {
  --entry_points;
}

bool signal_raised() noexcept {
  // Elsewhere (pelorix's own threads, a caller that released the lock) nothing may be asked of
  // the interpreter. Signal handlers run on the main thread only.
  if (entry_points == 0) return false;
  return PyErr_Occurred() != nullptr || PyErr_CheckSignals() != 0;
}

void set_internal_error() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& fault) {
    PyErr_Format(PyExc_RuntimeError, "pelorix internal error: %s", fault.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "pelorix internal error");
  }
}

}  // namespace pelorix::binding
