"""The pelorix module's C interface, loaded with ctypes from the module's own shared library.

The table's layout mirrors src/lib/capi.h: fields are only ever appended there, and here in the
same order. PyDLL and PYFUNCTYPE keep the GIL held during each call and turn a null return with
an exception set into that exception.
"""

from __future__ import annotations

import ctypes
from typing import Any, Callable

import pelorix

# The version this package is written against: the table's functions up to it are present.
VERSION = 2

_object = ctypes.py_object


class _Table(ctypes.Structure):
    # What each field is to type checkers (ctypes makes them from _fields_ below); a field
    # appended there is declared here too.
    version: int
    size: int
    inspect_request: Callable[[bytes], int | None]
    inspect_free: Callable[[int], None]
    find_all: Callable[[object, object], Any]
    children: Callable[[object], Any]
    parent: Callable[[object], Any]
    attribute: Callable[[object, object], Any]
    key_input: Callable[[object, object, object, object, object], None]
    pointer_click: Callable[[object, object, object, object, object], None]
    pointer_move: Callable[[object, object, object], None]
    pointer_drag: Callable[[object, object, object, object, object], None]
    pointer_scroll: Callable[[object, object, object, object, object], None]

    _fields_ = [
        ("version", ctypes.c_uint32),
        ("size", ctypes.c_uint32),
        # Version 1
        ("inspect_request", ctypes.PYFUNCTYPE(ctypes.c_void_p, ctypes.c_char_p)),
        ("inspect_free", ctypes.PYFUNCTYPE(None, ctypes.c_void_p)),
        ("find_all", ctypes.PYFUNCTYPE(_object, _object, _object)),
        ("children", ctypes.PYFUNCTYPE(_object, _object)),
        ("parent", ctypes.PYFUNCTYPE(_object, _object)),
        ("attribute", ctypes.PYFUNCTYPE(_object, _object, _object)),
        # Version 2: keyboard and pointer input
        ("key_input", ctypes.PYFUNCTYPE(_object, _object, _object, _object, _object, _object)),
        ("pointer_click", ctypes.PYFUNCTYPE(_object, _object, _object, _object, _object, _object)),
        ("pointer_move", ctypes.PYFUNCTYPE(_object, _object, _object, _object)),
        ("pointer_drag", ctypes.PYFUNCTYPE(_object, _object, _object, _object, _object, _object)),
        ("pointer_scroll", ctypes.PYFUNCTYPE(_object, _object, _object, _object, _object, _object)),
    ]


_table: _Table | None = None


def table() -> _Table:
    """The module's table; ImportError when the module is older than this package."""
    global _table
    if _table is not None:
        return _table
    library = ctypes.PyDLL(pelorix.__file__)
    entry = library.pelorix_capi
    entry.argtypes = [ctypes.c_uint32]
    entry.restype = ctypes.POINTER(_Table)
    found = entry(VERSION)
    if not found:
        raise ImportError(f"pelorix {pelorix.__version__} lacks the C interface version {VERSION}")
    _table = found.contents
    return _table
