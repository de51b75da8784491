// The keyboard and pointer functions of the module's C interface (lib/capi.h): each reads its
// arguments, calls one domain function and turns the outcome into Python.
#pragma once

#include <Python.h>

namespace pelorix::binding {

// action: 0 press, 1 key down, 2 key up.
PyObject* key_input(PyObject* target, PyObject* keys, PyObject* action, PyObject* repeat,
                    PyObject* mode);
// button: 0 left, 1 right, 2 middle; count: 1 to 3.
PyObject* pointer_click(PyObject* target, PyObject* offset, PyObject* button, PyObject* count,
                        PyObject* mode);
PyObject* pointer_move(PyObject* target, PyObject* offset, PyObject* mode);
PyObject* pointer_drag(PyObject* source, PyObject* source_offset, PyObject* destination,
                       PyObject* destination_offset, PyObject* mode);
PyObject* pointer_scroll(PyObject* target, PyObject* offset, PyObject* down, PyObject* right,
                         PyObject* mode);

}  // namespace pelorix::binding
