// The pelorix module: what an import registers, in order, and the module-level functions.
#include <limits>

#include "accessibility/primitives.h"
#include "app/connect.h"
#include "lib/arguments.h"
#include "lib/methods.h"
#include "lib/py_ref.h"
#include "lib/python_errors.h"
#include "lib/types.h"

namespace pelorix::binding {
namespace {

// pyproject.toml's, passed in by the build.
constexpr const char* kVersion = PELORIX_VERSION;

PyObject* app(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* names[] = {"name", "bundle_id", "pid"};
  static constexpr Signature signature{"app", names, 0};
  PyObject* slots[3];
  if (!read_arguments(signature, args, nargs, kwnames, slots)) return nullptr;
  // Names are converted before anything else, even when a pid makes them unnecessary.
  std::optional<std::string> name, bundle_id;
  if (given(slots[0]) && !(name = to_string("name", slots[0]))) return nullptr;
  if (given(slots[1]) && !(bundle_id = to_string("bundle_id", slots[1]))) return nullptr;
  std::optional<pid_t> pid;
  if (given(slots[2])) {
    auto number = to_i64("pid", slots[2]);
    if (!number) return nullptr;
    if (*number < 0 || *number > std::numeric_limits<std::uint32_t>::max()) {
      PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
      return nullptr;
    }
    // 0 and the values past the signed range are no process: `kill` would read them as process
    // groups, or as every process.
    if (*number == 0 || *number > kMaxPid) {
      PyErr_Format(PyExc_ValueError, "Invalid pid: %lld (a process id is from 1 to %lld)",
                   static_cast<long long>(*number), static_cast<long long>(kMaxPid));
      return nullptr;
    }
    pid = static_cast<pid_t>(*number);
  } else if (!bundle_id && !name) {
    PyErr_SetString(PyExc_ValueError, "Must provide name, bundle_id, or pid");
    return nullptr;
  }
  auto connected = connect_app(name, bundle_id, pid);
  if (!connected) return raise_runtime_error(connected.error().message);
  return new_app_object(std::move(connected).value());
}

PyObject* is_accessibility_enabled(PyObject*, PyObject*) {
  return PyBool_FromLong(accessibility::is_process_trusted());
}

PyObject* configure_healing(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* names[] = {"config"};
  static constexpr Signature signature{"configure_healing", names, 1};
  PyObject* slots[1];
  if (!read_arguments(signature, args, nargs, kwnames, slots)) return nullptr;
  PyTypeObject* type = healing_config_type();
  if (type == nullptr || !check_instance("config", slots[0], type)) return nullptr;
  // The slot keeps its own copy: later changes to the Python object do not reach it.
  if (!healing::GLOBAL_CONFIG.install(*healing_config_of(slots[0])))
    return raise_runtime_error(healing::kPoisonedLockMessage);
  Py_RETURN_NONE;
}

PyMethodDef app_def = {
    "app", as_method(guarded<app>), METH_FASTCALL | METH_KEYWORDS,
    "app(name=None, bundle_id=None, pid=None)\n--\n\n"
    "Connect to an application\n\n"
    "Give one of the three; a pid wins over a bundle identifier, which wins over a name.\n\n"
    "# Arguments\n"
    "* `name` - The exact process name\n"
    "* `bundle_id` - The bundle identifier\n"
    "* `pid` - The process id\n\n"
    "# Example\n"
    "```python\n"
    "calc = pelorix.app(name=\"Calculator\")\n"
    "```"};

PyMethodDef is_accessibility_enabled_def = {
    "is_accessibility_enabled", as_method(guarded<is_accessibility_enabled>), METH_NOARGS,
    "is_accessibility_enabled()\n--\n\n"
    "Check if accessibility permissions are enabled\n\n"
    "# Returns\n"
    "True when this process may use the accessibility interface"};

PyMethodDef configure_healing_def = {
    "configure_healing", as_method(guarded<configure_healing>), METH_FASTCALL | METH_KEYWORDS,
    "configure_healing(config)\n--\n\n"
    "Configure the self-healing system\n\n"
    "# Arguments\n"
    "* `config` - The HealingConfig to install for the whole process (a copy is kept)"};

int add(PyObject* module, const char* name, PyObject* object) {
  PyRef held = PyRef::steal(object);
  if (!held) return -1;
  return PyModule_AddObjectRef(module, name, held.get());
}

int add_type(PyObject* module, const char* name, PyTypeObject* type) {
  if (type == nullptr) return -1;
  return PyModule_AddObjectRef(module, name, reinterpret_cast<PyObject*>(type));
}

int add_function(PyObject* module, PyMethodDef* def) {
  PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
  if (!module_name) return -1;
  return add(module, def->ml_name, PyCFunction_NewEx(def, module, module_name.get()));
}

int exec(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "pelorix can only be initialised into a module object");
    return -1;
  }
  if (add_type(module, "ActionMode", action_mode_type()) < 0 ||
      add_type(module, "AXApp", ax_app_type()) < 0 ||
      add_type(module, "AXElement", ax_element_type()) < 0 ||
      add_type(module, "HealingConfig", healing_config_type()) < 0 ||
      add_function(module, &app_def) < 0 ||
      add_function(module, &is_accessibility_enabled_def) < 0 ||
      add_function(module, &configure_healing_def) < 0 ||
      add(module, "BACKGROUND", action_mode_object(ActionMode::Background)) < 0 ||
      add(module, "FOCUS", action_mode_object(ActionMode::Focus)) < 0 ||
      add(module, "__version__", PyUnicode_FromString(kVersion)) < 0)
    return -1;
  // Ctrl-C stops a call at its next request or poll (platform/call_bounds.h).
  platform::install_signal_check(signal_raised);
  return 0;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, as_slot(guarded<exec>)},
    {0, nullptr},
};

PyModuleDef definition = {
    PyModuleDef_HEAD_INIT,
    "pelorix",
    "Initialize the Python module",
    0,
    nullptr,
    slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace pelorix::binding

// PyMODINIT_FUNC carries the C linkage itself.
PyMODINIT_FUNC PyInit_pelorix(void) {
  return PyModuleDef_Init(&pelorix::binding::definition);
}
