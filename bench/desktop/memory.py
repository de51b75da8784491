"""Memory over many batched calls on a real desktop: RSS after 10,000 finds (each one read scope,
GTK 4's bulk reply included) stays where it was after the first 1,000, and no platform
reference is left alive. Run inside scripts/desktop-session:

    .venv/bin/python bench/desktop/memory.py [calls] [toolkit: gtk4|gtk3|qt5]
"""

import gc
import os
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "harness"))

import pelorix  # noqa: E402
from simdesk import Desktop  # noqa: E402

WINDOWS = {"gtk3": "wide_app.py", "gtk4": "wide_app_gtk4.py", "qt5": "wide_app_qt5.py"}
PAGE = os.sysconf("SC_PAGE_SIZE")


def rss_mb() -> float:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE / 2**20


def main() -> int:
    calls = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000
    toolkit = sys.argv[2] if len(sys.argv) > 2 else "gtk4"
    # One row of 50 buttons: about 100 elements, so that 10,000 calls take minutes, not hours.
    app = subprocess.Popen(["/usr/bin/python3", str(HERE / WINDOWS[toolkit]), "1"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        if app.stdout.readline().strip() != "ready":
            raise SystemExit("the window did not start")
        time.sleep(1.5)
        target = pelorix.app(pid=app.pid)
        marks = {}
        started = time.perf_counter()
        for call in range(1, calls + 1):
            target.find("//AXButton[@AXTitle='Target']", timeout_ms=0)
            if call in (1_000, calls):
                gc.collect()
                marks[call] = rss_mb()
        elapsed = time.perf_counter() - started
        del target
        gc.collect()
        live = {kind: n for kind, n in Desktop().stats()["live"].items() if n}
        print(f"{toolkit}: {calls} finds in {elapsed:.1f} s; RSS after 1,000: {marks[1_000]:.1f} MB,"
              f" after {calls}: {marks[calls]:.1f} MB ({marks[calls] - marks[1_000]:+.1f} MB);"
              f" platform references alive: {live or 'none'}")
        return 0 if marks[calls] - marks[1_000] < 5 and not live else 1
    finally:
        app.terminate()
        app.wait()


if __name__ == "__main__":
    sys.exit(main())
