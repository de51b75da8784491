"""pelorixkit: what scripts and test suites need beside the pelorix module.

The pelorix module itself stays exactly as it is documented; keyboard shortcuts, real pointer
input, element lists and states, waiting helpers, the desktop session, the pytest plugin and
pelorix-inspect live here, on top of the module's own objects.
"""

from . import keyboard, pointer
from .elements import children, count, find_all, parent
from .states import (
    STATES,
    checked,
    editable,
    expanded,
    focusable,
    maximum,
    minimum,
    number,
    selected,
    showing,
    state,
    all_states,
    visible,
)
from .waiting import WaitTimeout, wait_count, wait_for, wait_gone, wait_until

__all__ = [
    "WaitTimeout",
    "STATES",
    "checked",
    "children",
    "count",
    "editable",
    "expanded",
    "find_all",
    "keyboard",
    "focusable",
    "maximum",
    "minimum",
    "number",
    "parent",
    "pointer",
    "selected",
    "showing",
    "state",
    "all_states",
    "visible",
    "wait_count",
    "wait_for",
    "wait_gone",
    "wait_until",
]
