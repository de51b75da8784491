// The module's C interface (lib/capi.h): the functions of its table, each reading its arguments,
// calling one domain function and turning the outcome into Python, as the methods do.
#include "lib/capi.h"

#include <string>
#include <vector>

#include "accessibility/primitives.h"
#include "app/find_all.h"
#include "app/query.h"
#include "element/tree_reads.h"
#include "inspect/entry.h"
#include "lib/capi_input.h"
#include "lib/py_ref.h"
#include "lib/python_errors.h"
#include "lib/types.h"

namespace pelorix::binding {
namespace {

// The element an AXApp or AXElement object stands for, or false with a TypeError naming
// `function` and what it takes. The element is null when the platform answered without one.
bool scope_element(PyObject* scope, const char* function, bool app_allowed,
                   AXUIElementRef* element) {
  if (scope != nullptr) {
    if (AXElement* record = element_record_of(scope)) {
      *element = record->handle.get();
      return true;
    }
    AXApp* app = app_allowed ? app_record_of(scope) : nullptr;
    if (app != nullptr) {
      *element = app->element.get();
      return true;
    }
  }
  if (PyErr_Occurred()) return false;
  const char* wanted = app_allowed ? "an AXApp or an AXElement" : "an AXElement";
  PyRef type_name = PyRef::steal(scope == nullptr ? nullptr : PyType_GetName(Py_TYPE(scope)));
  if (!type_name) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "%s() takes %s", function, wanted);
  } else {
    PyErr_Format(PyExc_TypeError, "%s() takes %s, not %U", function, wanted, type_name.get());
  }
  return false;
}

std::optional<std::string> text_argument(PyObject* object, const char* function, const char* what) {
  if (object == nullptr || !PyUnicode_Check(object)) {
    PyErr_Format(PyExc_TypeError, "%s(): %s must be a str", function, what);
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) return std::nullopt;
  return std::string(utf8, static_cast<std::size_t>(size));
}

PyObject* element_list(std::vector<ElementHandle> elements) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(elements.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    PyObject* object = new_element_object(std::move(elements[i]));
    if (object == nullptr) return nullptr;  // the rest are released with `elements`
    if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), object) < 0) return nullptr;
  }
  return list.release();
}

PyObject* find_all(PyObject* scope, PyObject* query) {
  AXUIElementRef root = nullptr;
  if (!scope_element(scope, "find_all", true, &root)) return nullptr;
  bool in_app = app_record_of(scope) != nullptr;
  auto text = text_argument(query, "find_all", "query");
  if (!text) return nullptr;
  if (in_app) {
    auto criteria = parse_query(*text);
    if (!criteria) {
      PyErr_Format(PyExc_ValueError, "%s: %s", criteria.error().message().c_str(), text->c_str());
      return nullptr;
    }
    if (root == nullptr) return PyList_New(0);
    return element_list(find_all_matching(root, *criteria));
  }
  if (root == nullptr) return PyList_New(0);
  const std::pair<std::string, std::string> parsed = parse_attribute_query(*text);
  return element_list(find_all_below(root, parsed.first, parsed.second));
}

PyObject* children(PyObject* scope) {
  AXUIElementRef element = nullptr;
  if (!scope_element(scope, "children", true, &element)) return nullptr;
  // A null element is refused as the platform refuses it (illegal argument).
  auto listed = element_children(element);
  if (!listed) return raise_error(listed.error());
  return element_list(std::move(*listed));
}

PyObject* parent(PyObject* element_object) {
  AXUIElementRef element = nullptr;
  if (!scope_element(element_object, "parent", false, &element)) return nullptr;
  ElementHandle found = element_parent(element);
  if (!found) Py_RETURN_NONE;
  return new_element_object(std::move(found));
}

PyObject* from_value(CFTypeRef value) {
  if (value == nullptr) Py_RETURN_NONE;
  if (accessibility::has_type(value, CFBooleanGetTypeID()))
    return PyBool_FromLong(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? 1 : 0);
  if (accessibility::has_type(value, CFNumberGetTypeID())) {
    auto number = static_cast<CFNumberRef>(value);
    if (CFNumberIsFloatType(number)) {
      double real = 0;
      if (!CFNumberGetValue(number, kCFNumberDoubleType, &real)) Py_RETURN_NONE;
      return PyFloat_FromDouble(real);
    }
    long long whole = 0;
    if (!CFNumberGetValue(number, kCFNumberLongLongType, &whole)) Py_RETURN_NONE;
    return PyLong_FromLongLong(whole);
  }
  if (accessibility::has_type(value, CFStringGetTypeID())) {
    auto text = accessibility::cf_string_to_string(static_cast<CFStringRef>(value));
    if (!text) Py_RETURN_NONE;
    return to_python_str(*text);
  }
  if (accessibility::is_element(value))
    return new_element_object(ElementHandle::retain(static_cast<AXUIElementRef>(value)));
  Py_RETURN_NONE;
}

PyObject* attribute(PyObject* element_object, PyObject* name_object) {
  AXUIElementRef element = nullptr;
  if (!scope_element(element_object, "attribute", false, &element)) return nullptr;
  auto name = text_argument(name_object, "attribute", "name");
  if (!name) return nullptr;
  return from_value(element_attribute(element, *name).get());
}

template <auto F>
constexpr auto entry = guarded<F>;

const PelorixCapi kTable = {
    PELORIX_CAPI_VERSION,  sizeof(PelorixCapi),  inspect::request,    inspect::free_reply,
    entry<find_all>,       entry<children>,      entry<parent>,       entry<attribute>,
    entry<key_input>,      entry<pointer_click>, entry<pointer_move>, entry<pointer_drag>,
    entry<pointer_scroll>,
};

}  // namespace
}  // namespace pelorix::binding

extern "C" const PelorixCapi* pelorix_capi(uint32_t version) {
  if (version == 0 || version > PELORIX_CAPI_VERSION) return nullptr;
  return &pelorix::binding::kTable;
}
