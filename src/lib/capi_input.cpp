#include "lib/capi_input.h"

#include <cmath>
#include <optional>
#include <string>

#include "element/keyboard.h"
#include "element/keys.h"
#include "element/pointer.h"
#include "lib/arguments.h"
#include "lib/py_ref.h"
#include "lib/python_errors.h"
#include "lib/types.h"

namespace pelorix::binding {
namespace {

// The name of an object's type, for messages; "object" when it cannot be had.
PyRef type_name(PyObject* object) {
  PyRef name = PyRef::steal(PyType_GetName(Py_TYPE(object)));
  if (!name) {
    PyErr_Clear();
    name = PyRef::steal(PyUnicode_FromString("object"));
  }
  return name;
}

// An AXElement's element, or an AXApp's application element when `app_allowed`; false with a
// TypeError otherwise. The element is null when the platform answered without one.
bool element_of(PyObject* object, const char* function, const char* parameter, bool app_allowed,
                AXUIElementRef* element) {
  if (object != nullptr) {
    if (AXElement* record = element_record_of(object)) {
      *element = record->handle.get();
      return true;
    }
    if (AXApp* app = app_allowed ? app_record_of(object) : nullptr) {
      *element = app->element.get();
      return true;
    }
  }
  if (PyErr_Occurred()) return false;
  const char* wanted = app_allowed ? "an AXApp or an AXElement" : "an AXElement";
  if (object == nullptr) {
    PyErr_Format(PyExc_TypeError, "%s(): %s must be %s", function, parameter, wanted);
    return false;
  }
  PyRef name = type_name(object);
  if (!name) return false;
  PyErr_Format(PyExc_TypeError, "%s(): %s must be %s, not %U", function, parameter, wanted,
               name.get());
  return false;
}

// An optional mode: None is no mode at all, unlike the methods' default of BACKGROUND.
bool read_optional_mode(PyObject* object, std::optional<ActionMode>* mode) {
  if (object == nullptr || object == Py_None) {
    *mode = std::nullopt;
    return true;
  }
  auto read = read_mode(object);
  if (!read) return false;
  *mode = *read;
  return true;
}

// An integer in [low, high]; ValueError naming the parameter outside it.
std::optional<std::int64_t> whole(PyObject* object, const char* function, const char* parameter,
                                  std::int64_t low, std::int64_t high) {
  if (object == nullptr || PyBool_Check(object)) {
    PyErr_Format(PyExc_TypeError, "%s(): %s must be an int", function, parameter);
    return std::nullopt;
  }
  auto value = to_i64(parameter, object);
  if (!value) {
    if (PyErr_ExceptionMatches(PyExc_OverflowError)) {
      PyErr_Clear();
      value = low - 1;  // reported as out of range below
    } else {
      return std::nullopt;
    }
  }
  if (*value < low || *value > high) {
    PyErr_Format(PyExc_ValueError, "%s(): %s must be between %lld and %lld", function, parameter,
                 static_cast<long long>(low), static_cast<long long>(high));
    return std::nullopt;
  }
  return value;
}

// A pair of finite real numbers (x, y), or nothing for None.
bool read_point(PyObject* object, const char* function, const char* parameter,
                std::optional<pointer::Point>* point) {
  *point = std::nullopt;
  if (object == nullptr || object == Py_None) return true;
  if (!PyTuple_Check(object) && !PyList_Check(object)) {
    PyRef name = type_name(object);
    if (!name) return false;
    PyErr_Format(PyExc_TypeError, "%s(): %s must be an (x, y) pair of numbers, not %U", function,
                 parameter, name.get());
    return false;
  }
  PyRef items = PyRef::steal(PySequence_Tuple(object));
  if (!items) return false;
  if (PyTuple_Size(items.get()) != 2) {
    PyErr_Format(PyExc_ValueError, "%s(): %s must hold exactly two numbers", function, parameter);
    return false;
  }
  double xy[2] = {0, 0};
  for (Py_ssize_t i = 0; i < 2; ++i) {
    PyObject* item = PyTuple_GetItem(items.get(), i);
    if (item == nullptr) return false;
    if (PyBool_Check(item) || (!PyLong_Check(item) && !PyFloat_Check(item))) {
      PyErr_Format(PyExc_TypeError, "%s(): %s must be an (x, y) pair of numbers", function,
                   parameter);
      return false;
    }
    xy[i] = PyFloat_AsDouble(item);
    if (xy[i] == -1.0 && PyErr_Occurred()) return false;
    if (!std::isfinite(xy[i])) {
      PyErr_Format(PyExc_ValueError, "%s(): %s must be finite", function, parameter);
      return false;
    }
  }
  *point = pointer::Point{xy[0], xy[1]};
  return true;
}

// An AXElement with an optional offset inside it, or a screen point (x, y) with no offset.
bool read_target(PyObject* object, PyObject* offset, const char* function, const char* parameter,
                 const char* offset_parameter, pointer::Target* target) {
  if (PyTuple_Check(object) || PyList_Check(object)) {
    if (offset != nullptr && offset != Py_None) {
      PyErr_Format(PyExc_TypeError, "%s(): %s takes no offset when %s is a screen point", function,
                   offset_parameter, parameter);
      return false;
    }
    target->element = nullptr;
    return read_point(object, function, parameter, &target->at);
  }
  if (!element_of(object, function, parameter, false, &target->element)) return false;
  if (target->element == nullptr) {
    // An element the platform delivered as nothing has no place on the screen either.
    raise_error(
        AXError(AXErrorKind::ActionFailed, "The element has no position and size on the screen"));
    return false;
  }
  return read_point(offset, function, offset_parameter, &target->at);
}

PyObject* done_or_raise(const Result<void>& done) {
  if (!done) return raise_error(done.error());
  Py_RETURN_NONE;
}

constexpr const char* kKeyFunctions[] = {"press", "key_down", "key_up"};

}  // namespace

PyObject* key_input(PyObject* target, PyObject* keys, PyObject* action, PyObject* repeat,
                    PyObject* mode) {
  auto which = whole(action, "key_input", "action", 0, 2);
  if (!which) return nullptr;
  const char* function = kKeyFunctions[*which];
  AXUIElementRef element = nullptr;
  // A null element is refused by the keyboard itself, as type_text refuses it.
  if (!element_of(target, function, "target", true, &element)) return nullptr;
  if (keys == nullptr || !PyUnicode_Check(keys)) {
    PyErr_Format(PyExc_TypeError, "%s(): keys must be a str", function);
    return nullptr;
  }
  auto text = to_string("keys", keys);
  if (!text) return nullptr;
  auto times = whole(repeat, function, "repeat", 1, keyboard::kMaxRepeat);
  if (!times) return nullptr;
  std::optional<ActionMode> chosen;
  if (!read_optional_mode(mode, &chosen)) return nullptr;
  auto chord = keys::parse_chord(*text);
  if (!chord) {
    PyErr_SetString(PyExc_ValueError, chord.error().message.c_str());
    return nullptr;
  }
  return done_or_raise(keyboard::send(element, *chord, static_cast<keyboard::KeyAction>(*which),
                                      static_cast<unsigned>(*times), chosen));
}

PyObject* pointer_click(PyObject* target, PyObject* offset, PyObject* button, PyObject* count,
                        PyObject* mode) {
  pointer::Target where;
  if (!read_target(target, offset, "click", "target", "offset", &where)) return nullptr;
  auto which = whole(button, "click", "button", 0, 2);
  if (!which) return nullptr;
  auto clicks = whole(count, "click", "count", 1, 3);
  if (!clicks) return nullptr;
  std::optional<ActionMode> chosen;
  if (!read_optional_mode(mode, &chosen)) return nullptr;
  return done_or_raise(pointer::click(where, static_cast<pointer::Button>(*which),
                                      static_cast<int>(*clicks), chosen));
}

PyObject* pointer_move(PyObject* target, PyObject* offset, PyObject* mode) {
  pointer::Target where;
  if (!read_target(target, offset, "move", "target", "offset", &where)) return nullptr;
  std::optional<ActionMode> chosen;
  if (!read_optional_mode(mode, &chosen)) return nullptr;
  return done_or_raise(pointer::move(where, chosen));
}

PyObject* pointer_drag(PyObject* source, PyObject* source_offset, PyObject* destination,
                       PyObject* destination_offset, PyObject* mode) {
  pointer::Target from, to;
  if (!read_target(source, source_offset, "drag", "source", "source_offset", &from) ||
      !read_target(destination, destination_offset, "drag", "destination", "destination_offset",
                   &to))
    return nullptr;
  std::optional<ActionMode> chosen;
  if (!read_optional_mode(mode, &chosen)) return nullptr;
  return done_or_raise(pointer::drag(from, to, chosen));
}

PyObject* pointer_scroll(PyObject* target, PyObject* offset, PyObject* down, PyObject* right,
                         PyObject* mode) {
  pointer::Target where;
  if (!read_target(target, offset, "scroll", "target", "offset", &where)) return nullptr;
  auto vertical =
      whole(down, "scroll", "down", -pointer::kMaxScrollSteps, pointer::kMaxScrollSteps);
  if (!vertical) return nullptr;
  auto horizontal =
      whole(right, "scroll", "right", -pointer::kMaxScrollSteps, pointer::kMaxScrollSteps);
  if (!horizontal) return nullptr;
  std::optional<ActionMode> chosen;
  if (!read_optional_mode(mode, &chosen)) return nullptr;
  return done_or_raise(pointer::scroll(where, static_cast<std::int32_t>(*vertical),
                                       static_cast<std::int32_t>(*horizontal), chosen));
}

}  // namespace pelorix::binding
