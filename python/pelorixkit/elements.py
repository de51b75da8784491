"""Lists and navigation: every element a query matches, their count, an element's children and
parent.

The lists come from one walk of the tree through the module's own search (its query parser, its
attribute tests and its walk order), so `find_all(app, q)[0]` is the element `app.find(q)` returns
when both see the same tree. Nothing here waits: see `pelorixkit.waiting` for that.
"""

from __future__ import annotations

from typing import Union

import pelorix

from . import _capi

Scope = Union[pelorix.AXApp, pelorix.AXElement]

__all__ = ["children", "count", "find_all", "parent"]


def find_all(scope: Scope, query: str) -> list[pelorix.AXElement]:
    """Every element `query` matches, in the order the find operations meet them.

    On an AXApp the query takes every form `AXApp.find` takes and the list is in level order,
    the application element first; an unparsable query raises ValueError. On an AXElement the
    query is `"Attribute:text"` (or a title) as `AXElement.find` takes it, and the list holds its
    descendants in depth-first order. Empty when nothing matches.
    """
    return _capi.table().find_all(scope, query)


def count(scope: Scope, query: str) -> int:
    """How many elements `find_all(scope, query)` lists."""
    return len(find_all(scope, query))


def children(scope: Scope) -> list[pelorix.AXElement]:
    """The element's children (an AXApp: its application element's, the windows and menu bar)
    in the order the application lists them; RuntimeError when the element is gone."""
    return _capi.table().children(scope)


def parent(element: pelorix.AXElement) -> pelorix.AXElement | None:
    """The element's parent (a window's is the application element), or None at the top."""
    return _capi.table().parent(element)
