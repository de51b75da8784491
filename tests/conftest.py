"""Fixtures shared by the whole suite: the simulated desktop and real processes to target."""

import os

import pytest

from realdesk import unavailable_reason
from simdesk import desktop, spawn  # noqa: F401  (fixtures)

# Under the sanitizer run the runtime is preloaded into this interpreter only; the programs the
# tests and the module start (pgrep, stand-ins) must not inherit it (some deadlock under it).
if "libasan" in os.environ.get("LD_PRELOAD", ""):
    del os.environ["LD_PRELOAD"]


def pytest_collection_modifyitems(config, items):
    """Real-desktop tests run only where a display and the accessibility bus are up, and say
    so when they cannot."""
    wanted = [item for item in items if item.get_closest_marker("desktop")]
    if not wanted:
        return
    reason = unavailable_reason()
    if reason:
        skip = pytest.mark.skip(reason=f"no desktop session: {reason}")
        for item in wanted:
            item.add_marker(skip)


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    # Fixtures may look at how the test itself went (a failed test keeps its objects alive).
    outcome = yield
    report = outcome.get_result()
    setattr(item, f"rep_{report.when}", report)
