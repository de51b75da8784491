// The AXApp Python class.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/ax_app.h"
#include "app/search.h"
#include "lib/arguments.h"
#include "lib/methods.h"
#include "lib/once.h"
#include "lib/py_ref.h"
#include "lib/python_errors.h"
#include "lib/types.h"

namespace pelorix::binding {
namespace {

struct AXAppObject {
  PyObject ob_base;
  AXApp* record;
};

AXApp& record_of(PyObject* self) {
  return *reinterpret_cast<AXAppObject*>(self)->record;
}

void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<AXAppObject*>(self)->record;
  reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
  Py_DECREF(type);
}

PyObject* get_pid(PyObject* self, void*) {
  return PyLong_FromLong(record_of(self).pid);
}

PyObject* get_bundle_id(PyObject* self, void*) {
  const auto& bundle_id = record_of(self).bundle_id;
  if (!bundle_id) Py_RETURN_NONE;
  return to_python_str(*bundle_id);
}

PyObject* is_running(PyObject* self, PyObject*) {
  return PyBool_FromLong(record_of(self).is_running());
}

PyObject* terminate(PyObject* self, PyObject*) {
  auto terminated = record_of(self).terminate();
  if (!terminated) return raise_runtime_error(terminated.error().message);
  Py_RETURN_NONE;
}

PyObject* windows(PyObject* self, PyObject*) {
  auto windows = record_of(self).windows();
  if (!windows) return raise_error(windows.error());
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(windows->size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < windows->size(); ++i) {
    // Handles not yet handed out are released with `windows` if this fails part-way.
    PyObject* element = new_element_object(std::move((*windows)[i]));
    if (element == nullptr || PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), element) < 0)
      return nullptr;
  }
  return list.release();
}

PyObject* main_window(PyObject* self, PyObject*) {
  auto window = record_of(self).main_window();
  if (!window) return raise_error(window.error());
  return new_element_object(std::move(window).value());
}

PyObject* screenshot(PyObject* self, PyObject*) {
  auto image = record_of(self).screenshot();
  if (!image) return raise_error(image.error());
  return PyBytes_FromStringAndSize(image->data(), static_cast<Py_ssize_t>(image->size()));
}

constexpr const char* kFindNames[] = {"query", "timeout_ms"};

PyObject* find(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature signature{"AXApp.find", kFindNames, 1};
  auto arguments = read_find_arguments(signature, args, nargs, kwnames);
  if (!arguments) return nullptr;
  return element_or_raise(
      find_element(record_of(self).element.get(), arguments->query, arguments->timeout_ms));
}

PyObject* wait_for_element(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  static constexpr Signature signature{"AXApp.wait_for_element", kFindNames, 1};
  PyObject* slots[2];
  if (!read_arguments(signature, args, nargs, kwnames, slots)) return nullptr;
  auto query = to_string("query", slots[0]);
  if (!query) return nullptr;
  // Only leaving the limit out selects the default; None is no number of milliseconds.
  std::optional<std::uint64_t> timeout_ms = 5000;
  if (slots[1] != nullptr && !(timeout_ms = to_u64("timeout_ms", slots[1]))) return nullptr;
  return element_or_raise(find_element(record_of(self).element.get(), *query, timeout_ms));
}

PyObject* find_by_role(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* names[] = {"role", "title", "identifier", "label"};
  static constexpr Signature signature{"AXApp.find_by_role", names, 1};
  PyObject* slots[4];
  if (!read_arguments(signature, args, nargs, kwnames, slots)) return nullptr;
  SearchCriteria criteria;
  if (!(criteria.role = to_string("role", slots[0]))) return nullptr;
  std::optional<std::string>* fields[] = {&criteria.title, &criteria.identifier, &criteria.label};
  for (int i = 0; i < 3; ++i)
    if (given(slots[i + 1]) && !(*fields[i] = to_string(names[i + 1], slots[i + 1])))
      return nullptr;
  return element_or_raise(search_once(record_of(self).element.get(), criteria));
}

constexpr std::uint64_t kDefaultIdleTimeoutMs = 5000;
constexpr const char* kTimeoutNames[] = {"timeout_ms"};
constexpr Signature kWaitForIdle{"AXApp.wait_for_idle", kTimeoutNames, 0};

PyObject* wait_for_idle(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  PyObject* slots[1];
  if (!read_arguments(kWaitForIdle, args, nargs, kwnames, slots)) return nullptr;
  // The default is a number, so None is not a way of leaving the limit out.
  std::optional<std::uint64_t> timeout_ms = kDefaultIdleTimeoutMs;
  if (slots[0] != nullptr) timeout_ms = to_u64("timeout_ms", slots[0]);
  if (!timeout_ms) return nullptr;
  auto idle = record_of(self).sync_engine->wait_for_idle(sync::Limit::milliseconds(*timeout_ms));
  if (!idle) return raise_runtime_error(idle.error().message);
  return PyBool_FromLong(*idle);
}

PyObject* is_idle(PyObject* self, PyObject*) {
  return PyBool_FromLong(record_of(self).sync_engine->is_idle());
}

PyMethodDef methods[] = {
    {"is_running", as_method(guarded<is_running>), METH_NOARGS,
     "is_running($self)\n--\n\nCheck if the application is running"},
    {"find", as_method(guarded<find>), METH_FASTCALL | METH_KEYWORDS,
     "find($self, query, timeout_ms=None)\n--\n\n"
     "Find an element by query\n\n"
     "# Arguments\n"
     "* `query` - A role and attributes in the key-value form (\"role:AXButton title:Save\"),\n"
     "  the path form (\"//AXButton[@AXTitle='Save']\") or plain text\n"
     "* `timeout_ms` - How long to keep retrying, in milliseconds (default: 100)\n\n"
     "# Example\n"
     "```python\n"
     "save = app.find(\"role:AXButton title:Save\")\n"
     "```"},
    {"find_by_role", as_method(guarded<find_by_role>), METH_FASTCALL | METH_KEYWORDS,
     "find_by_role($self, role, title=None, identifier=None, label=None)\n--\n\n"
     "Find an element by role and optional attributes\n\n"
     "# Arguments\n"
     "* `role` - The exact role, such as \"AXButton\"\n"
     "* `title` - Text the title must contain\n"
     "* `identifier` - The exact identifier\n"
     "* `label` - Text the label must contain\n\n"
     "# Example\n"
     "```python\n"
     "ok = app.find_by_role(\"AXButton\", title=\"OK\")\n"
     "```"},
    {"wait_for_element", as_method(guarded<wait_for_element>), METH_FASTCALL | METH_KEYWORDS,
     "wait_for_element($self, query, timeout_ms=5000)\n--\n\n"
     "Wait for an element to appear\n\n"
     "# Arguments\n"
     "* `query` - A query as for `find`\n"
     "* `timeout_ms` - How long to wait, in milliseconds (default: 5000)\n\n"
     "# Example\n"
     "```python\n"
     "dialog = app.wait_for_element(\"role:AXSheet\", timeout_ms=2000)\n"
     "```"},
    {"wait_for_idle", as_method(guarded<wait_for_idle>), METH_FASTCALL | METH_KEYWORDS,
     "wait_for_idle($self, timeout_ms=5000)\n--\n\n"
     "Wait for the application to become idle\n\n"
     "Uses `Serenix` SDK if available, otherwise falls back to heuristic detection.\n\n"
     "# Arguments\n"
     "* `timeout_ms` - Timeout in milliseconds (default: 5000)\n\n"
     "# Returns\n"
     "True when the application became idle, False when the time ran out"},
    {"is_idle", as_method(guarded<is_idle>), METH_NOARGS,
     "is_idle($self)\n--\n\n"
     "Check if the application is currently idle (non-blocking)\n\n"
     "# Returns\n"
     "* `true` if app is idle\n"
     "* `false` if app is busy"},
    {"screenshot", as_method(guarded<screenshot>), METH_NOARGS,
     "screenshot($self)\n--\n\n"
     "Take a screenshot of the application window\n\n"
     "# Returns\n"
     "PNG image data as bytes"},
    {"windows", as_method(guarded<windows>), METH_NOARGS,
     "windows($self)\n--\n\nGet all windows of the application"},
    {"main_window", as_method(guarded<main_window>), METH_NOARGS,
     "main_window($self)\n--\n\nGet the main window"},
    {"terminate", as_method(guarded<terminate>), METH_NOARGS,
     "terminate($self)\n--\n\nTerminate the application"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef properties[] = {
    {"pid", guarded<get_pid>, nullptr, "Get the process ID", nullptr},
    {"bundle_id", guarded<get_bundle_id>, nullptr, "Get the bundle identifier", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc,
     const_cast<char*>("Application wrapper providing the main entry point for GUI automation")},
    {Py_tp_dealloc, as_slot(dealloc)},
    {Py_tp_methods, methods},
    {Py_tp_getset, properties},
    {0, nullptr},
};

PyType_Spec type_spec = {
    "builtins.AXApp",
    sizeof(AXAppObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    slots,
};

std::atomic<PyObject*> type_cell{nullptr};

}  // namespace

PyTypeObject* ax_app_type() {
  return reinterpret_cast<PyTypeObject*>(
      once(type_cell, [] { return PyType_FromSpec(&type_spec); }));
}

AXApp* app_record_of(PyObject* object) {
  PyTypeObject* type = ax_app_type();
  if (type == nullptr || !PyObject_TypeCheck(object, type)) return nullptr;
  return reinterpret_cast<AXAppObject*>(object)->record;
}

PyObject* new_app_object(std::unique_ptr<AXApp> record) {
  PyTypeObject* type = ax_app_type();
  if (type == nullptr) return nullptr;
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* object = alloc(type, 0);
  if (object != nullptr) reinterpret_cast<AXAppObject*>(object)->record = record.release();
  return object;
}

}  // namespace pelorix::binding
