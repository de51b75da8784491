"""States and numbers of an element: checked, selected, expanded, showing, visible, editable,
focusable; the numeric value, minimum and maximum of sliders, spin buttons and progress bars.

Each is one attribute read through the module's platform layer (docs/states.md says which
attribute, and what it means on macOS and on the Linux desktop). Like the module's own reads,
they never raise for what the application cannot answer: a state it does not report is False,
a number it does not have is None.
"""

from __future__ import annotations

import math

import pelorix

from . import _capi

__all__ = [
    "CHECKABLE_ROLES",
    "STATES",
    "checked",
    "editable",
    "expanded",
    "focusable",
    "maximum",
    "minimum",
    "number",
    "selected",
    "showing",
    "state",
    "all_states",
    "visible",
]


def _read(element: pelorix.AXElement, attribute: str) -> object:
    return _capi.table().attribute(element, attribute)


def _flag(element: pelorix.AXElement, attribute: str) -> bool:
    return _read(element, attribute) is True


def _number(value: object) -> float | None:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        return None
    return float(value) if math.isfinite(value) else None


# The roles whose numeric AXValue says whether they are checked: a slider at 1 is not checked.
CHECKABLE_ROLES = frozenset({"AXCheckBox", "AXRadioButton", "AXMenuItem"})


def checked(element: pelorix.AXElement) -> bool:
    """Whether a check box, toggle or radio button, or a check or radio menu item is checked
    (its AXValue is 1; a menu item's AXMenuItemMarkChar is set). A mixed check box (AXValue 2)
    is not checked."""
    value = _read(element, "AXValue")
    if isinstance(value, (bool, int, float)):
        return element.role() in CHECKABLE_ROLES and value == 1
    mark = _read(element, "AXMenuItemMarkChar")
    return isinstance(mark, str) and mark != ""


def selected(element: pelorix.AXElement) -> bool:
    """Whether the row, cell, tab or item is selected (AXSelected)."""
    return _flag(element, "AXSelected")


def expanded(element: pelorix.AXElement) -> bool:
    """Whether the tree row, combo box or expander is open (AXExpanded)."""
    return _flag(element, "AXExpanded")


def showing(element: pelorix.AXElement) -> bool:
    """Whether the element is on screen now: visible, in a window that is shown, and not
    scrolled away (AXShowing)."""
    return _flag(element, "AXShowing")


def visible(element: pelorix.AXElement) -> bool:
    """Whether the application means the element to be seen, even if it is scrolled away or its
    window is covered (AXVisible)."""
    return _flag(element, "AXVisible")


def editable(element: pelorix.AXElement) -> bool:
    """Whether the user can edit the element's text (AXEditable)."""
    return _flag(element, "AXEditable")


def focusable(element: pelorix.AXElement) -> bool:
    """Whether the element can take the keyboard focus (AXFocusable)."""
    return _flag(element, "AXFocusable")


def number(element: pelorix.AXElement) -> float | None:
    """The numeric value of a slider, spin button, progress bar or scroll bar (AXValue as a
    number); None for an element whose value is not a number."""
    value = _read(element, "AXValue")
    return None if isinstance(value, bool) else _number(value)


def minimum(element: pelorix.AXElement) -> float | None:
    """The least value the element takes (AXMinValue), or None."""
    return _number(_read(element, "AXMinValue"))


def maximum(element: pelorix.AXElement) -> float | None:
    """The greatest value the element takes (AXMaxValue), or None."""
    return _number(_read(element, "AXMaxValue"))


# Every state by name, as `state()`, `all_states()` and the waits take them.
STATES = {
    "checked": checked,
    "selected": selected,
    "expanded": expanded,
    "showing": showing,
    "visible": visible,
    "editable": editable,
    "focusable": focusable,
}


def state(element: pelorix.AXElement, name: str) -> bool:
    """The state called `name` (one of STATES); ValueError for any other name."""
    if not isinstance(name, str):
        raise TypeError(f"state name must be a str, not {type(name).__name__}")
    try:
        read = STATES[name]
    except KeyError:
        raise ValueError(f"no state {name!r}; the states are {', '.join(STATES)}") from None
    return read(element)


def all_states(element: pelorix.AXElement) -> dict[str, bool]:
    """Every state of the element, by name."""
    return {name: read(element) for name, read in STATES.items()}
