// The one argument reader every function and method of the module uses: positional and keyword
// arguments matched to a parameter list, and the conversions of argument values, each failing
// with the interpreter's own wording.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pelorix::binding {

struct Signature {
  // The callable as errors name it, without parentheses ("AXApp.find").
  const char* function;
  std::span<const char* const> names;
  // The first `required` parameters must be given.
  std::size_t required;
};

// Matches a vectorcall argument list to `signature`. Each slot receives the argument given for
// that parameter (borrowed) or null. False with a TypeError set when the call does not fit.
bool read_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> slots);
// The same for a tuple and a keyword dict, as constructors receive them.
bool read_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
                    std::span<PyObject*> slots);

// A parameter whose default is None counts as given only for something other than None.
inline bool given(PyObject* slot) {
  return slot != nullptr && slot != Py_None;
}

// Conversions. On failure each returns nothing with the exception set: a TypeError reads
// "argument '<parameter>': <reason>" and has the underlying error as its cause; any other error
// (OverflowError, UnicodeEncodeError) passes unchanged.
std::optional<std::string> to_string(const char* parameter, PyObject* value);
std::optional<std::uint64_t> to_u64(const char* parameter, PyObject* value);
std::optional<std::int64_t> to_i64(const char* parameter, PyObject* value);
std::optional<bool> to_bool(const char* parameter, PyObject* value);
std::optional<std::vector<std::string>> to_string_list(const char* parameter, PyObject* value);
// Checks that `value` is an instance of `type` (subclasses included).
bool check_instance(const char* parameter, PyObject* value, PyTypeObject* type);

// Raises the conversion TypeError "'<type of value>' object cannot be converted to '<target>'"
// for `parameter`.
void raise_conversion_error(const char* parameter, PyObject* value, const char* target);

}  // namespace pelorix::binding
