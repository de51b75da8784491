// The module's Python classes. Each getter returns the process-wide type object, made on first
// use and kept for the life of the process (borrowed), or null with an exception set.
#pragma once

#include <Python.h>

#include <memory>
#include <optional>
#include <string>

#include "accessibility/cf_ref.h"
#include "app/ax_app.h"
#include "element/action_mode.h"
#include "element/ax_element.h"
#include "healing/healing_config.h"
#include "lib/arguments.h"

namespace pelorix::binding {

PyTypeObject* action_mode_type();
PyTypeObject* ax_app_type();
PyTypeObject* ax_element_type();
PyTypeObject* healing_config_type();

// New objects owning their records (a null handle is allowed), or null with an exception set;
// on failure the record is released.
PyObject* new_app_object(std::unique_ptr<AXApp> record);
PyObject* new_element_object(ElementHandle handle);

// The record inside an AXApp (or AXElement) object, or null for any other object.
AXApp* app_record_of(PyObject* object);
AXElement* element_record_of(PyObject* object);

// A new AXElement for a found element, or the search's error raised.
PyObject* element_or_raise(Result<ElementHandle> found);

// The arguments of the find methods: `query`, and `timeout_ms` where None means no timeout.
struct FindArguments {
  std::string query;
  std::optional<std::uint64_t> timeout_ms;
};
std::optional<FindArguments> read_find_arguments(const Signature& signature, PyObject* const* args,
                                                 Py_ssize_t nargs, PyObject* kwnames);

// The configuration inside a HealingConfig object, or null for any other object.
const healing::HealingConfig* healing_config_of(PyObject* object);

// A new reference to the singleton object of `mode`.
PyObject* action_mode_object(ActionMode mode);
// Reads an optional `mode` argument: absent or None is Background, an ActionMode is its value,
// anything else is a TypeError for `mode`.
std::optional<ActionMode> read_mode(PyObject* slot);

}  // namespace pelorix::binding
