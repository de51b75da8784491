"""Fixtures shared by the whole suite: the simulated desktop and real processes to target."""

import os

from simdesk import desktop, spawn  # noqa: F401  (fixtures)

# Under the sanitizer run the runtime is preloaded into this interpreter only; the programs the
# tests and the module start (pgrep, stand-ins) must not inherit it (some deadlock under it).
if "libasan" in os.environ.get("LD_PRELOAD", ""):
    del os.environ["LD_PRELOAD"]
