"""pelorixkit: what scripts and test suites need beside the pelorix module.

The pelorix module itself stays exactly as it is documented; keyboard shortcuts, real pointer
input, element lists and states, waiting helpers, the desktop session, the pytest plugin and
pelorix-inspect live here, on top of the module's own objects.
"""

from . import keyboard, pointer
from .elements import children, count, find_all, parent

__all__ = ["children", "count", "find_all", "keyboard", "parent", "pointer"]
