// How failures leave the module: AXErrors as RuntimeError, internal faults as Python
// exceptions, never as a C++ exception unwinding into the interpreter.
#pragma once

#include <Python.h>

#include <string_view>

#include "error/ax_error.h"
#include "platform/call_bounds.h"

namespace pelorix::binding {

// Raise RuntimeError(error.message()) or RuntimeError(message); return null for the caller to
// pass on. An exception already pending (KeyboardInterrupt from a signal that stopped the
// call) is what the call raises instead.
PyObject* raise_error(const AXError& error);
PyObject* raise_runtime_error(std::string_view message);
// A str from UTF-8 text; bytes that are not UTF-8 become U+FFFD.
PyObject* to_python_str(std::string_view utf8);

// Turns the C++ exception being handled into a Python exception.
void set_internal_error() noexcept;

template <class R>
R failure_value() {
  if constexpr (std::is_pointer_v<R>) {
    return nullptr;
  } else {
    return -1;
  }
}

// Runs the handlers of signals that arrived; true when an exception is pending. Installed as
// the platform's signal check; it looks only on a thread inside one of the module's entry
// points, the one place where the thread certainly holds the interpreter lock.
bool signal_raised() noexcept;

// Marks the thread as inside an entry point while it lives.
class EntryPoint {
 public:
  EntryPoint() noexcept;
  ~EntryPoint();
  EntryPoint(const EntryPoint&) = delete;
  EntryPoint& operator=(const EntryPoint&) = delete;
};

// Discards what an entry point returned when a signal handler raised during the call: the
// exception is what the call gives.
template <class R>
R unless_raised(R result) {
  if (result == failure_value<R>() || PyErr_Occurred() == nullptr) return result;
  if constexpr (std::is_pointer_v<R>) Py_XDECREF(reinterpret_cast<PyObject*>(result));
  return failure_value<R>();
}

// Wraps an entry point the interpreter calls so that no C++ exception escapes it, and opens
// the bounds of the call it makes (platform/call_bounds.h).
template <auto F>
struct Guarded;

template <class R, class... A, R (*F)(A...)>
struct Guarded<F> {
  static R call(A... args) noexcept {
    try {
      EntryPoint entered;
      platform::CallBounds bounds;
      return unless_raised<R>(F(args...));
    } catch (...) {
      set_internal_error();
      return failure_value<R>();
    }
  }
};

template <auto F>
inline constexpr auto guarded = &Guarded<F>::call;

}  // namespace pelorix::binding
