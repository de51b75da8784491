"""Fixtures shared by the whole suite, and the checks every test ends with."""

import gc
import os
import sys
import tempfile
from pathlib import Path

import pytest

from realdesk import unavailable_reason
from simdesk import Desktop, built_in, desktop, spawn  # noqa: F401  (fixtures)

SIMULATED_DESKTOP = built_in()

# Under the sanitizer run the runtime is preloaded into this interpreter only; the programs the
# tests and the module start (pgrep, stand-ins) must not inherit it (some deadlock under it).
if "libasan" in os.environ.get("LD_PRELOAD", ""):
    del os.environ["LD_PRELOAD"]


def pytest_collection_modifyitems(config, items):
    """On macOS, where the module has no simulated desktop, the tests that need it are skipped
    and say so; so they are where PELORIX_RELEASE_MODULE says the module is a release build on
    purpose (scripts/wheel); elsewhere its absence fails them. The real-desktop group (marked
    `desktop`) runs in the private desktop session of pelorixkit's pytest plugin, which starts it
    before the first test, or skips the group with the reason (fails the run with
    --desktop-required); here only what the group needs beyond a desktop is checked, without
    calling pelorix, which must not meet the accessibility bus before the session is up."""
    release = os.environ.get("PELORIX_RELEASE_MODULE") == "1"
    if not SIMULATED_DESKTOP and (sys.platform == "darwin" or release):
        where = "the macOS build" if sys.platform == "darwin" else "the release build"
        skip = pytest.mark.skip(reason=f"{where} has no simulated desktop")
        for item in items:
            if "desktop" in item.fixturenames or item.get_closest_marker("simulated"):
                item.add_marker(skip)
    reason = unavailable_reason()
    if reason:
        skip = pytest.mark.skip(reason=f"no real-desktop applications: {reason}")
        for item in items:
            if item.get_closest_marker("desktop"):
                item.add_marker(skip)


def _our_temporary_files():
    # Other processes (a second test run, say) may capture at the same time; only names that
    # carry this process's id are ours to answer for.
    roots = {Path("/tmp"), Path(tempfile.gettempdir())}
    return {path for root in roots for path in root.glob(f"pelorix_*{os.getpid()}*")}


@pytest.fixture(autouse=True)
def nothing_left_behind(request):
    """Every test ends with no platform object alive and no pelorix_* file of its own in the
    temporary directory, whatever it did and whether it passed."""
    files_before = _our_temporary_files()
    yield
    # What the test's fixtures handed out is the test's, not a leak of the module.
    funcargs = getattr(request.node, "funcargs", {})
    for name in funcargs:
        funcargs[name] = None
    gc.collect()
    # The system's frameworks count nothing for us; our own object model counts everything.
    if SIMULATED_DESKTOP:
        stats = Desktop().stats()
        live = {kind: n for kind, n in stats["live"].items() if n}
        live.update({k: stats[k] for k in ("true_extra_refs", "false_extra_refs") if stats[k]})
        assert not live, f"platform references left: {live}"
    left = _our_temporary_files() - files_before
    assert not left, f"temporary files left behind: {sorted(map(str, left))}"
