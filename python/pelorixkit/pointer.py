"""Pointer input: real pointer events where accessibility actions do not reach.

Clicks, moves (hover), drags and the scroll wheel at an AXElement's center or at an `offset`
(x, y) from its top-left corner, inside it. The element is scrolled into view first where it
offers that; an element without an area on the screen raises RuntimeError. Where a target may be
a screen point, an (x, y) pair in screen coordinates stands for it. See docs/pointer.md.

The pointer acts on whatever is on the screen: `mode=pelorix.FOCUS` raises the element's window
first, no mode leaves the windows as they are, and `mode=pelorix.BACKGROUND` is refused with
RuntimeError. Bad arguments raise TypeError or ValueError before any event is sent.
"""

from __future__ import annotations

from typing import Optional, Tuple, Union

import pelorix

from . import _capi

Point = Tuple[float, float]
Target = Union[pelorix.AXElement, Point]
Mode = Optional[pelorix.ActionMode]

__all__ = [
    "click",
    "double_click",
    "drag",
    "hover",
    "middle_click",
    "move",
    "right_click",
    "scroll",
]

_LEFT, _RIGHT, _MIDDLE = 0, 1, 2


def click(target: Target, offset: Optional[Point] = None, mode: Mode = None) -> None:
    """A left click (button down and up) at the element's center or `offset`."""
    _capi.table().pointer_click(target, offset, _LEFT, 1, mode)


def double_click(target: Target, offset: Optional[Point] = None, mode: Mode = None) -> None:
    """Two left clicks in quick succession, the second marked as a double click."""
    _capi.table().pointer_click(target, offset, _LEFT, 2, mode)


def right_click(target: Target, offset: Optional[Point] = None, mode: Mode = None) -> None:
    """A right click, which usually opens the element's context menu."""
    _capi.table().pointer_click(target, offset, _RIGHT, 1, mode)


def middle_click(target: Target, offset: Optional[Point] = None, mode: Mode = None) -> None:
    """A middle click (on X11 it pastes the primary selection into text fields)."""
    _capi.table().pointer_click(target, offset, _MIDDLE, 1, mode)


def move(target: Target, offset: Optional[Point] = None, mode: Mode = None) -> None:
    """Moves the pointer onto the element (or to a screen point) and leaves it there."""
    _capi.table().pointer_move(target, offset, mode)


hover = move


def drag(
    source: Target,
    destination: Target,
    source_offset: Optional[Point] = None,
    destination_offset: Optional[Point] = None,
    mode: Mode = None,
) -> None:
    """Presses the left button at `source`, moves to `destination` in steps and releases it
    there. The button is released even when an event half way cannot be made."""
    _capi.table().pointer_drag(source, source_offset, destination, destination_offset, mode)


def scroll(
    target: Target,
    down: int = 0,
    right: int = 0,
    offset: Optional[Point] = None,
    mode: Mode = None,
) -> None:
    """Moves the pointer onto the element (or to a screen point) and turns the wheel `down`
    steps (negative: up) and `right` steps (negative: left), -1000 to 1000 each; a step is a
    line."""
    _capi.table().pointer_scroll(target, offset, down, right, mode)
