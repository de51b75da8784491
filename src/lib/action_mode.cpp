// The ActionMode class: two singleton objects that compare equal to their integer values.
#include <atomic>

#include "lib/arguments.h"
#include "lib/once.h"
#include "lib/py_ref.h"
#include "lib/python_errors.h"
#include "lib/types.h"

namespace pelorix::binding {
namespace {

struct ActionModeObject {
  PyObject ob_base;
  ActionMode mode;
};

ActionMode mode_of(PyObject* self) {
  return reinterpret_cast<ActionModeObject*>(self)->mode;
}

PyObject* repr(PyObject* self) {
  return PyUnicode_FromString(mode_of(self) == ActionMode::Focus ? "ActionMode.Focus"
                                                                 : "ActionMode.Background");
}

PyObject* to_int(PyObject* self) {
  return PyLong_FromLong(static_cast<long>(mode_of(self)));
}

PyObject* compare(PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  bool equal = false;
  PyTypeObject* type = action_mode_type();
  if (type == nullptr) return nullptr;
  if (PyObject_TypeCheck(other, type)) {
    equal = mode_of(self) == mode_of(other);
  } else {
    // Anything usable as an integer compares by value; anything else is not our business.
    PyRef index = PyRef::steal(PyNumber_Index(other));
    if (!index) {
      PyErr_Clear();
      Py_RETURN_NOTIMPLEMENTED;
    }
    int overflow = 0;
    long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) {
      PyErr_Clear();
      Py_RETURN_NOTIMPLEMENTED;
    }
    equal = overflow == 0 && value == static_cast<long long>(mode_of(self));
  }
  return PyBool_FromLong((op == Py_EQ) == equal);
}

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("Action mode for element interactions")},
    {Py_tp_repr, reinterpret_cast<void*>(guarded<repr>)},
    {Py_tp_richcompare, reinterpret_cast<void*>(guarded<compare>)},
    {Py_nb_int, reinterpret_cast<void*>(guarded<to_int>)},
    {0, nullptr},
};

PyType_Spec type_spec = {
    "builtins.ActionMode",
    sizeof(ActionModeObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    slots,
};

std::atomic<PyObject*> type_cell{nullptr};
// The singletons, taken from the class attributes of the type that won the race to be made.
PyObject* modes[2] = {nullptr, nullptr};

PyObject* make_mode(PyTypeObject* type, ActionMode mode) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* object = alloc(type, 0);
  if (object != nullptr) reinterpret_cast<ActionModeObject*>(object)->mode = mode;
  return object;
}

PyObject* make_type() {
  PyRef type = PyRef::steal(PyType_FromSpec(&type_spec));
  if (!type) return nullptr;
  auto* type_object = reinterpret_cast<PyTypeObject*>(type.get());
  PyRef background = PyRef::steal(make_mode(type_object, ActionMode::Background));
  PyRef focus = PyRef::steal(make_mode(type_object, ActionMode::Focus));
  if (!background || !focus ||
      PyObject_SetAttrString(type.get(), "Background", background.get()) < 0 ||
      PyObject_SetAttrString(type.get(), "Focus", focus.get()) < 0)
    return nullptr;
  return type.release();
}

}  // namespace

PyTypeObject* action_mode_type() {
  PyObject* type = once(type_cell, make_type);
  if (type != nullptr && modes[1] == nullptr) {
    PyRef background = PyRef::steal(PyObject_GetAttrString(type, "Background"));
    PyRef focus = PyRef::steal(PyObject_GetAttrString(type, "Focus"));
    if (!background || !focus) return nullptr;
    modes[0] = background.release();
    modes[1] = focus.release();
  }
  return reinterpret_cast<PyTypeObject*>(type);
}

PyObject* action_mode_object(ActionMode mode) {
  if (action_mode_type() == nullptr) return nullptr;
  return Py_NewRef(modes[static_cast<int>(mode)]);
}

std::optional<ActionMode> read_mode(PyObject* slot) {
  if (!given(slot)) return ActionMode::Background;
  PyTypeObject* type = action_mode_type();
  if (type == nullptr || !check_instance("mode", slot, type)) return std::nullopt;
  return mode_of(slot);
}

}  // namespace pelorix::binding
