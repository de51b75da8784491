// How failures leave the module: AXErrors as RuntimeError, internal faults as Python
// exceptions, never as a C++ exception unwinding into the interpreter.
#pragma once

#include <Python.h>

#include <string_view>

#include "error/ax_error.h"

namespace pelorix::binding {

// Raises RuntimeError(error.message()); returns null for the caller to pass on.
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

// Wraps an entry point the interpreter calls so that no C++ exception escapes it.
template <auto F>
struct Guarded;

template <class R, class... A, R (*F)(A...)>
struct Guarded<F> {
  static R call(A... args) noexcept {
    try {
      return F(args...);
    } catch (...) {
      set_internal_error();
      return failure_value<R>();
    }
  }
};

template <auto F>
inline constexpr auto guarded = &Guarded<F>::call;

}  // namespace pelorix::binding
