"""Keyboard input: key combinations and keys that type no character.

A combination is written as in most tools: `"ctrl+shift+t"`, `"F11"`, `"shift+Home"`,
`"super+Up"`, `"alt+asciitilde"`, `"Return"`. Key names are X keysym names (`Page_Up`,
`BackSpace`, `minus`, `a`, `T`) or the usual aliases (`ctrl`/`control`, `alt`/`option`, `shift`,
`super`/`meta`/`cmd`, `enter`, `esc`, `PageUp`, `ArrowLeft`); a single character names its own
key. A bad combination raises ValueError naming the bad part, before anything is sent. See
docs/keyboard.md.

The keys go to the process of the target (an AXApp or an AXElement), as `type_text` sends
text. `mode=pelorix.FOCUS` first focuses the element (an application: raises its main window);
`mode=pelorix.BACKGROUND` sends the keys without touching the focus where the platform can
(macOS) and raises RuntimeError where it cannot (the X11 desktop, where keys reach only the
focused window); no mode sends them as they are.
"""

from __future__ import annotations

from typing import Optional, Union

import pelorix

from . import _capi

Target = Union[pelorix.AXApp, pelorix.AXElement]

__all__ = ["key_down", "key_up", "press"]

_PRESS, _DOWN, _UP = 0, 1, 2


def press(
    target: Target, keys: str, repeat: int = 1, mode: Optional[pelorix.ActionMode] = None
) -> None:
    """Presses the combination `repeat` times (1 to 1000): the modifiers go down in the order
    written, the key is pressed and released `repeat` times, the modifiers come up in reverse.
    Whatever went down comes up again if an event cannot be made half way."""
    _capi.table().key_input(target, keys, _PRESS, repeat, mode)


def key_down(target: Target, keys: str, mode: Optional[pelorix.ActionMode] = None) -> None:
    """Holds the combination down (modifiers, then the key) until `key_up` with the same keys.
    Keys and pointer clicks sent meanwhile carry the held modifiers."""
    _capi.table().key_input(target, keys, _DOWN, 1, mode)


def key_up(target: Target, keys: str, mode: Optional[pelorix.ActionMode] = None) -> None:
    """Releases the combination: the key, then the modifiers in reverse order."""
    _capi.table().key_input(target, keys, _UP, 1, mode)
