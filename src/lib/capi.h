/* The C interface the pelorix module exports for its companion package (pelorixkit) and for
 * other extensions: one entry, pelorix_capi, handing out a table of functions.
 *
 * The table only grows. A caller asks for the version it was written against and gets the table
 * when the module's version is at least that, else null: every function of that version is then
 * present, at the same place. New functions are appended at the end and raise the version; none
 * is ever removed, moved or changed.
 *
 * Every function is called with the GIL held. Objects passed in are borrowed; objects returned
 * are new references. A failure returns null (or -1) with a Python exception set: the module's
 * own errors as RuntimeError with the same message its methods raise, wrong argument types as
 * TypeError, unparsable queries as ValueError. Nothing is changed by a failed call. */
#ifndef PELORIX_CAPI_H
#define PELORIX_CAPI_H

#include <Python.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PELORIX_CAPI_VERSION 2

typedef struct PelorixCapi {
  /* The version of this table, and its size in bytes. */
  uint32_t version;
  uint32_t size;

  /* --- Version 1 ------------------------------------------------------------------------- */

  /* pelorix-inspect: runs one JSON request, returns the JSON reply (free it with
   * inspect_free); null only when memory ran out. Needs no GIL of its own but holds it. */
  char* (*inspect_request)(const char* request);
  void (*inspect_free)(char* reply);

  /* Every element `query` (a str) matches, as a new list of AXElement. On an AXApp: the query
   * forms of AXApp.find, in level order, the application element first. On an AXElement: an
   * "Attribute:text" query (or a title) as AXElement.find takes it, its descendants in
   * depth-first order. One walk, no waiting. */
  PyObject* (*find_all)(PyObject* scope, PyObject* query);
  /* The children of an AXElement (or of an AXApp's application element), as a new list;
   * empty for an element without children; RuntimeError when the element is gone. */
  PyObject* (*children)(PyObject* scope);
  /* The parent of an AXElement, or None at the top. */
  PyObject* (*parent)(PyObject* element);
  /* The value of the attribute `name` (a str, an AX attribute name) of an AXElement: bool,
   * int, float, str or AXElement; None when it cannot be read or has another type. */
  PyObject* (*attribute)(PyObject* element, PyObject* name);

  /* --- Version 2: keyboard and pointer input -----------------------------------------------
   * `mode` is None (no mode), pelorix.FOCUS or pelorix.BACKGROUND; every function returns None.
   * Bad arguments are TypeError or ValueError (a key combination names its bad part) and change
   * nothing; what the platform refuses is RuntimeError as the methods raise it. */

  /* A key combination ("ctrl+shift+t", "F11") on an AXElement's or AXApp's process: action 0
   * presses it `repeat` times (1 to 1000), 1 holds it down, 2 releases it. */
  PyObject* (*key_input)(PyObject* target, PyObject* keys, PyObject* action, PyObject* repeat,
                         PyObject* mode);
  /* Pointer input at an AXElement (its center, or `offset`, an (x, y) pair from its top-left
   * corner that lies inside it) or, where a target may be one, at a screen point (x, y): a click
   * of `button` (0 left, 1 right, 2 middle) `count` times (1 to 3), a move, a drag with the
   * left button, a scroll of `down` and `right` wheel steps (-1000 to 1000). */
  PyObject* (*pointer_click)(PyObject* target, PyObject* offset, PyObject* button, PyObject* count,
                             PyObject* mode);
  PyObject* (*pointer_move)(PyObject* target, PyObject* offset, PyObject* mode);
  PyObject* (*pointer_drag)(PyObject* source, PyObject* source_offset, PyObject* destination,
                            PyObject* destination_offset, PyObject* mode);
  PyObject* (*pointer_scroll)(PyObject* target, PyObject* offset, PyObject* down, PyObject* right,
                              PyObject* mode);
} PelorixCapi;

/* The table when the module's version is at least `version`, else null. */
#if defined(__GNUC__)
__attribute__((visibility("default")))
#endif
const PelorixCapi*
pelorix_capi(uint32_t version);

#ifdef __cplusplus
}
#endif

#endif /* PELORIX_CAPI_H */
