#include "lib/arguments.h"

#include <string>

#include "lib/py_ref.h"

namespace pelorix::binding {
namespace {

std::string type_name(PyObject* value) {
  PyRef name = PyRef::steal(PyType_GetName(Py_TYPE(value)));
  const char* text = name ? PyUnicode_AsUTF8AndSize(name.get(), nullptr) : nullptr;
  if (text == nullptr) {
    PyErr_Clear();
    return "object";
  }
  return text;
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c' — as the interpreter lists missing arguments.
std::string quoted_list(const std::vector<const char*>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    out += '\'';
    out += names[i];
    out += '\'';
  }
  return out;
}

void raise_type_error(const std::string& message) {
  PyErr_SetString(PyExc_TypeError, message.c_str());
}

std::string callable(const Signature& signature) {
  return std::string(signature.function) + "()";
}

bool too_many_positional(const Signature& signature, Py_ssize_t given_count) {
  std::size_t total = signature.names.size();
  std::string message = callable(signature) + " takes ";
  if (signature.required != total) message += "from " + std::to_string(signature.required) + " to ";
  message += std::to_string(total) + " positional arguments but " + std::to_string(given_count) +
             (given_count == 1 ? " was given" : " were given");
  raise_type_error(message);
  return false;
}

// Places one keyword argument; false with the error set when it does not fit.
bool place_keyword(const Signature& signature, PyObject* key, PyObject* value,
                   std::span<PyObject*> slots) {
  Py_ssize_t size = 0;
  const char* name = PyUnicode_Check(key) ? PyUnicode_AsUTF8AndSize(key, &size) : nullptr;
  if (name == nullptr) {
    if (!PyErr_Occurred()) raise_type_error(callable(signature) + " keywords must be strings");
    return false;
  }
  for (std::size_t i = 0; i < signature.names.size(); ++i) {
    if (std::string_view(signature.names[i]) !=
        std::string_view(name, static_cast<std::size_t>(size)))
      continue;
    if (slots[i] != nullptr) {
      raise_type_error(callable(signature) + " got multiple values for argument '" +
                       signature.names[i] + "'");
      return false;
    }
    slots[i] = value;
    return true;
  }
  raise_type_error(callable(signature) + " got an unexpected keyword argument '" +
                   std::string(name, static_cast<std::size_t>(size)) + "'");
  return false;
}

bool check_required(const Signature& signature, std::span<PyObject*> slots) {
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < signature.required; ++i)
    if (slots[i] == nullptr) missing.push_back(signature.names[i]);
  if (missing.empty()) return true;
  raise_type_error(callable(signature) + " missing " + std::to_string(missing.size()) +
                   " required positional argument" + (missing.size() == 1 ? ": " : "s: ") +
                   quoted_list(missing));
  return false;
}

void wrap_type_error(const char* parameter) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef cause = PyRef::steal(value);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  PyRef reason = PyRef::steal(cause ? PyObject_Str(cause.get()) : nullptr);
  if (!reason) return;
  PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", parameter, reason.get()));
  if (!message) return;
  PyRef wrapped =
      PyRef::steal(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr));
  if (!wrapped) return;
  PyException_SetCause(wrapped.get(), cause.release());
  PyErr_SetObject(PyExc_TypeError, wrapped.get());
}

}  // namespace

bool read_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> slots) {
  for (PyObject*& slot : slots) slot = nullptr;
  if (static_cast<std::size_t>(nargs) > signature.names.size())
    return too_many_positional(signature, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[static_cast<std::size_t>(i)] = args[i];
  Py_ssize_t keywords = kwnames != nullptr ? PyTuple_Size(kwnames) : 0;
  for (Py_ssize_t i = 0; i < keywords; ++i)
    if (!place_keyword(signature, PyTuple_GetItem(kwnames, i), args[nargs + i], slots))
      return false;
  return check_required(signature, slots);
}

bool read_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
                    std::span<PyObject*> slots) {
  for (PyObject*& slot : slots) slot = nullptr;
  Py_ssize_t nargs = PyTuple_Size(args);
  if (nargs < 0) return false;
  if (static_cast<std::size_t>(nargs) > signature.names.size())
    return too_many_positional(signature, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i)
    slots[static_cast<std::size_t>(i)] = PyTuple_GetItem(args, i);
  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject *key = nullptr, *value = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &value))
      if (!place_keyword(signature, key, value, slots)) return false;
  }
  return check_required(signature, slots);
}

void raise_conversion_error(const char* parameter, PyObject* value, const char* target) {
  // Built by appending: GCC 12 misreports operator+ chains here under -Wrestrict.
  std::string message = "'";
  message.append(type_name(value)).append("' object cannot be converted to '").append(target);
  message.append("'");
  raise_type_error(message);
  wrap_type_error(parameter);
}

std::optional<std::string> to_string(const char* parameter, PyObject* value) {
  if (!PyUnicode_Check(value)) {
    raise_conversion_error(parameter, value, "str");
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(value, &size);
  if (text == nullptr) return std::nullopt;
  return std::string(text, static_cast<std::size_t>(size));
}

std::optional<std::uint64_t> to_u64(const char* parameter, PyObject* value) {
  PyRef index = PyRef::steal(PyNumber_Index(value));
  if (!index) {
    wrap_type_error(parameter);
    return std::nullopt;
  }
  unsigned long long number = PyLong_AsUnsignedLongLong(index.get());
  if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    wrap_type_error(parameter);
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(number);
}

std::optional<std::int64_t> to_i64(const char* parameter, PyObject* value) {
  PyRef index = PyRef::steal(PyNumber_Index(value));
  if (!index) {
    wrap_type_error(parameter);
    return std::nullopt;
  }
  long long number = PyLong_AsLongLong(index.get());
  if (number == -1 && PyErr_Occurred()) {
    wrap_type_error(parameter);
    return std::nullopt;
  }
  return static_cast<std::int64_t>(number);
}

namespace {

// NumPy's boolean scalars count as booleans; we recognise them by name so as not to depend on
// NumPy.
bool is_numpy_bool(PyObject* value) {
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
  PyRef module = PyRef::steal(PyObject_GetAttrString(type, "__module__"));
  PyRef name = PyRef::steal(PyType_GetName(Py_TYPE(value)));
  if (!module || !name || !PyUnicode_Check(module.get())) {
    PyErr_Clear();
    return false;
  }
  return PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0 &&
         (PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
          PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0);
}

}  // namespace

std::optional<bool> to_bool(const char* parameter, PyObject* value) {
  if (PyBool_Check(value)) return value == Py_True;
  if (is_numpy_bool(value)) {
    int truth = PyObject_IsTrue(value);
    if (truth < 0) {
      wrap_type_error(parameter);
      return std::nullopt;
    }
    return truth == 1;
  }
  raise_conversion_error(parameter, value, "bool");
  return std::nullopt;
}

std::optional<std::vector<std::string>> to_string_list(const char* parameter, PyObject* value) {
  // A str is a sequence of str, but never a list of names.
  if (PyUnicode_Check(value) || !PySequence_Check(value)) {
    raise_conversion_error(parameter, value, "Sequence[str]");
    return std::nullopt;
  }
  Py_ssize_t size = PySequence_Size(value);
  if (size < 0) {
    wrap_type_error(parameter);
    return std::nullopt;
  }
  std::vector<std::string> items;
  items.reserve(static_cast<std::size_t>(size));
  for (Py_ssize_t i = 0; i < size; ++i) {
    PyRef item = PyRef::steal(PySequence_GetItem(value, i));
    if (!item) {
      wrap_type_error(parameter);
      return std::nullopt;
    }
    auto text = to_string(parameter, item.get());
    if (!text) return std::nullopt;
    items.push_back(std::move(*text));
  }
  return items;
}

bool check_instance(const char* parameter, PyObject* value, PyTypeObject* type) {
  if (PyObject_TypeCheck(value, type)) return true;
  PyRef name = PyRef::steal(PyType_GetName(type));
  const char* target = name ? PyUnicode_AsUTF8AndSize(name.get(), nullptr) : nullptr;
  if (target == nullptr) return false;
  raise_conversion_error(parameter, value, target);
  return false;
}

}  // namespace pelorix::binding
