// The AXElement Python class.
#include <atomic>

#include "accessibility/primitives.h"
#include "element/ax_element.h"
#include "element/element_search.h"
#include "lib/arguments.h"
#include "lib/methods.h"
#include "lib/once.h"
#include "lib/py_ref.h"
#include "lib/python_errors.h"
#include "lib/types.h"

namespace pelorix::binding {
namespace {

struct AXElementObject {
  PyObject ob_base;
  AXElement* record;
};

void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<AXElementObject*>(self)->record;
  reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
  Py_DECREF(type);
}

AXUIElementRef handle_of(PyObject* self) {
  return reinterpret_cast<AXElementObject*>(self)->record->handle.get();
}

// Reads never raise for the accessibility service's failures: they answer None or False.
template <const char* Attribute>
PyObject* read_string(PyObject* self, PyObject*) {
  auto text = accessibility::get_string_attribute_value(handle_of(self), Attribute);
  if (!text) Py_RETURN_NONE;
  return to_python_str(*text);
}

template <const char* Attribute>
PyObject* read_bool(PyObject* self, PyObject*) {
  return PyBool_FromLong(AXElement::get_bool_attribute(handle_of(self), Attribute).value_or(false));
}

PyObject* exists(PyObject* self, PyObject*) {
  return PyBool_FromLong(
      accessibility::get_string_attribute_value(handle_of(self), "AXRole").has_value());
}

PyObject* bounds(PyObject* self, PyObject*) {
  auto rect = AXElement::bounds(handle_of(self));
  if (!rect) Py_RETURN_NONE;
  return Py_BuildValue("(dddd)", rect->x, rect->y, rect->width, rect->height);
}

PyObject* screenshot(PyObject* self, PyObject*) {
  auto image = AXElement::screenshot(handle_of(self));
  if (!image) return raise_error(image.error());
  return PyBytes_FromStringAndSize(image->data(), static_cast<Py_ssize_t>(image->size()));
}

constexpr char kRole[] = "AXRole";
constexpr char kTitle[] = "AXTitle";
constexpr char kValue[] = "AXValue";
constexpr char kDescription[] = "AXDescription";
constexpr char kLabel[] = "AXLabel";
constexpr char kIdentifier[] = "AXIdentifier";
constexpr char kEnabled[] = "AXEnabled";
constexpr char kFocused[] = "AXFocused";

PyObject* done_or_raise(const Result<void>& done) {
  if (!done) return raise_error(done.error());
  Py_RETURN_NONE;
}

constexpr const char* kModeNames[] = {"mode"};
constexpr Signature kClick{"AXElement.click", kModeNames, 0};
constexpr Signature kDoubleClick{"AXElement.double_click", kModeNames, 0};
constexpr Signature kRightClick{"AXElement.right_click", kModeNames, 0};

// The three clicks: read `mode`, then act.
template <const Signature* S, Result<void> (*Act)(AXUIElementRef, ActionMode)>
PyObject* clicking(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* slots[1];
  if (!read_arguments(*S, args, nargs, kwnames, slots)) return nullptr;
  auto mode = read_mode(slots[0]);
  if (!mode) return nullptr;
  return done_or_raise(Act(handle_of(self), *mode));
}

PyObject* set_value(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* names[] = {"value"};
  static constexpr Signature signature{"AXElement.set_value", names, 1};
  PyObject* slots[1];
  if (!read_arguments(signature, args, nargs, kwnames, slots)) return nullptr;
  auto value = to_string("value", slots[0]);
  if (!value) return nullptr;
  return done_or_raise(AXElement::set_value(handle_of(self), *value));
}

PyObject* type_text(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* names[] = {"text", "mode"};
  static constexpr Signature signature{"AXElement.type_text", names, 1};
  PyObject* slots[2];
  if (!read_arguments(signature, args, nargs, kwnames, slots)) return nullptr;
  auto text = to_string("text", slots[0]);
  if (!text) return nullptr;
  auto mode = read_mode(slots[1]);
  if (!mode) return nullptr;
  // Only an explicit BACKGROUND is refused; leaving the mode out types as focus mode does.
  bool background_requested = given(slots[1]) && *mode == ActionMode::Background;
  return done_or_raise(AXElement::type_text(handle_of(self), *text, background_requested));
}

PyObject* find(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* names[] = {"query", "timeout_ms"};
  static constexpr Signature signature{"AXElement.find", names, 1};
  auto arguments = read_find_arguments(signature, args, nargs, kwnames);
  if (!arguments) return nullptr;
  return element_or_raise(
      find_in_element(handle_of(self), arguments->query, arguments->timeout_ms));
}

constexpr int kWithArguments = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef methods[] = {
    {"role", as_method(guarded<read_string<kRole>>), METH_NOARGS,
     "role($self)\n--\n\nGet the element's role (e.g., \"`AXButton`\", \"`AXTextField`\")"},
    {"title", as_method(guarded<read_string<kTitle>>), METH_NOARGS,
     "title($self)\n--\n\nGet the element's title"},
    {"value", as_method(guarded<read_string<kValue>>), METH_NOARGS,
     "value($self)\n--\n\nGet the element's value"},
    {"description", as_method(guarded<read_string<kDescription>>), METH_NOARGS,
     "description($self)\n--\n\nGet the element's description"},
    {"label", as_method(guarded<read_string<kLabel>>), METH_NOARGS,
     "label($self)\n--\n\nGet the element's label"},
    {"identifier", as_method(guarded<read_string<kIdentifier>>), METH_NOARGS,
     "identifier($self)\n--\n\nGet the element's identifier"},
    {"enabled", as_method(guarded<read_bool<kEnabled>>), METH_NOARGS,
     "enabled($self)\n--\n\nCheck if the element is enabled"},
    {"focused", as_method(guarded<read_bool<kFocused>>), METH_NOARGS,
     "focused($self)\n--\n\nCheck if the element currently has keyboard focus."},
    {"exists", as_method(guarded<exists>), METH_NOARGS,
     "exists($self)\n--\n\nCheck if the element exists in the UI"},
    {"bounds", as_method(guarded<bounds>), METH_NOARGS,
     "bounds($self)\n--\n\nGet the element's bounds (x, y, width, height)"},
    {"click", as_method(guarded<clicking<&kClick, AXElement::click>>), kWithArguments,
     "click($self, mode=None)\n--\n\n"
     "Click the element\n\n"
     "# Arguments\n"
     "* `mode` - Action mode (BACKGROUND or FOCUS). Default is BACKGROUND.\n\n"
     "# Example\n"
     "```python\n"
     "# Background click (no focus stealing!) - DEFAULT\n"
     "button.click()\n\n"
     "# Focus click (brings app to foreground)\n"
     "button.click(mode=pelorix.FOCUS)\n"
     "```"},
    {"double_click", as_method(guarded<clicking<&kDoubleClick, AXElement::double_click>>),
     kWithArguments,
     "double_click($self, mode=None)\n--\n\n"
     "Double-click the element\n\n"
     "# Arguments\n"
     "* `mode` - Action mode (BACKGROUND or FOCUS). Default is BACKGROUND."},
    {"right_click", as_method(guarded<clicking<&kRightClick, AXElement::right_click>>),
     kWithArguments,
     "right_click($self, mode=None)\n--\n\n"
     "Right-click the element\n\n"
     "# Arguments\n"
     "* `mode` - Action mode (BACKGROUND or FOCUS). Default is BACKGROUND."},
    {"type_text", as_method(guarded<type_text>), kWithArguments,
     "type_text($self, text, mode=None)\n--\n\n"
     "Type text into the element\n\n"
     "NOTE: Text input requires focus mode.\n\n"
     "# Arguments\n"
     "* `text` - Text to type\n"
     "* `mode` - Action mode (FOCUS required for text input)"},
    {"set_value", as_method(guarded<set_value>), kWithArguments,
     "set_value($self, value)\n--\n\n"
     "Set the element's value\n\n"
     "# Arguments\n"
     "* `value` - The new value, as text"},
    {"screenshot", as_method(guarded<screenshot>), METH_NOARGS,
     "screenshot($self)\n--\n\n"
     "Take a screenshot of just this element\n\n"
     "# Returns\n"
     "PNG image data as bytes"},
    {"find", as_method(guarded<find>), kWithArguments,
     "find($self, query, timeout_ms=None)\n--\n\n"
     "Find a child element\n\n"
     "# Arguments\n"
     "* `query` - \"Attribute:text\" (such as \"AXRole:AXButton\"), or a title to look for\n"
     "* `timeout_ms` - How long to keep retrying, in milliseconds (default: 100)"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot type_slots[] = {
    {Py_tp_doc, const_cast<char*>("Wrapper for an accessibility element")},
    {Py_tp_dealloc, as_slot(dealloc)},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec type_spec = {
    "builtins.AXElement",
    sizeof(AXElementObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    type_slots,
};

std::atomic<PyObject*> type_cell{nullptr};

}  // namespace

PyObject* element_or_raise(Result<ElementHandle> found) {
  if (!found) return raise_error(found.error());
  return new_element_object(std::move(found).value());
}

std::optional<FindArguments> read_find_arguments(const Signature& signature, PyObject* const* args,
                                                 Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* slots[2];
  if (!read_arguments(signature, args, nargs, kwnames, slots)) return std::nullopt;
  FindArguments arguments;
  auto query = to_string("query", slots[0]);
  if (!query) return std::nullopt;
  arguments.query = std::move(*query);
  if (given(slots[1]) && !(arguments.timeout_ms = to_u64("timeout_ms", slots[1])))
    return std::nullopt;
  return arguments;
}

PyTypeObject* ax_element_type() {
  return reinterpret_cast<PyTypeObject*>(
      once(type_cell, [] { return PyType_FromSpec(&type_spec); }));
}

AXElement* element_record_of(PyObject* object) {
  PyTypeObject* type = ax_element_type();
  if (type == nullptr || !PyObject_TypeCheck(object, type)) return nullptr;
  return reinterpret_cast<AXElementObject*>(object)->record;
}

PyObject* new_element_object(ElementHandle handle) {
  PyTypeObject* type = ax_element_type();
  if (type == nullptr) return nullptr;
  auto record = std::make_unique<AXElement>(AXElement{std::move(handle)});
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* object = alloc(type, 0);
  if (object != nullptr) reinterpret_cast<AXElementObject*>(object)->record = record.release();
  return object;
}

}  // namespace pelorix::binding
