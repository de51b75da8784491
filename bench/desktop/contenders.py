"""The Python contenders of the desktop benchmark; each run times one search or reading.

    python3 contenders.py pyatspi PID      (Debian's /usr/bin/python3: pyatspi)
    python3 contenders.py dogtail PID      (Debian's /usr/bin/python3: dogtail)
    .venv/bin/python contenders.py pelorix PID        pelorix find
    .venv/bin/python contenders.py is_idle PID        pelorix AXApp.is_idle()
    .venv/bin/python contenders.py wait_for_idle PID  pelorix AXApp.wait_for_idle(5000)
    .venv/bin/python contenders.py find_default PID   pelorix find of a stack page, default limit
    .venv/bin/python contenders.py find_missing PID   pelorix find of nothing, default limit
    .venv/bin/python contenders.py hung PID      one find and one read of a stopped application

BENCH_TARGET=cell makes the searches look for the web page's last table cell instead of the
generated window's last button.

Prints "<seconds> <bus calls> <found>" for the timed part alone; the bus calls are counted by
the preloaded callcount.so (0 without it). Connecting and looking up the application happen
before the clock starts.
"""

import ctypes
import os
import sys
import time

QUERY = "//AXButton[@AXTitle='Target']"


def bus_calls():
    try:
        return ctypes.CDLL(None).bench_bus_calls()
    except AttributeError:
        return 0


def pyatspi_app(pid):
    import pyatspi

    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.get_process_id() == pid:
            return app
    raise SystemExit(f"no application with pid {pid}")


# What each search looks for: the generated window's last button, or the last cell of the web
# page's 1,000-row table (harness/browsers.py).
TARGETS = {
    "button": {"query": QUERY, "role": "push button", "name": "Target"},
    "cell": {"query": "role:AXCell title:Last cell", "role": "table cell", "name": "Last cell"},
}


def target():
    return TARGETS[os.environ.get("BENCH_TARGET", "button")]


def pyatspi_search(pid):
    # The same breadth-first search as the plain C one, in Python.
    import collections

    import pyatspi

    root = pyatspi_app(pid)
    role = {"push button": pyatspi.ROLE_PUSH_BUTTON, "table cell": pyatspi.ROLE_TABLE_CELL}[target()["role"]]
    name = target()["name"]

    def search():
        queue = collections.deque([root])
        while queue:
            element = queue.popleft()
            if element.getRole() == role and element.name == name:
                return element
            for i in range(element.childCount):
                child = element.getChildAtIndex(i)
                if child is not None:
                    queue.append(child)
        return None

    return search


def dogtail_search(pid):
    from dogtail.config import config

    # No GNOME settings under Xvfb (the check reads them), no log files, and the whole tree.
    config.checkForA11y = False
    config.logDebugToFile = False
    config.logDebugToStdOut = False
    config.childrenLimit = 1_000_000
    config.searchShowingOnly = False
    from dogtail import predicate, tree

    node = tree.Node  # noqa: F841 (dogtail wraps every pyatspi accessible in its Node mixin)
    root = pyatspi_app(pid)
    wanted = predicate.GenericPredicate(name=target()["name"], roleName=target()["role"])
    return lambda: root.findChild(wanted, retry=False, requireResult=False)


def pelorix_search(pid):
    import pelorix

    app = pelorix.app(pid=pid)
    query = target()["query"]
    return lambda: app.find(query, timeout_ms=0)


def pelorix_is_idle(pid):
    import pelorix

    app = pelorix.app(pid=pid)
    return lambda: app.is_idle() or None


def pelorix_wait_for_idle(pid):
    import pelorix

    app = pelorix.app(pid=pid)
    return lambda: app.wait_for_idle(5000) or None


def pelorix_find_default(pid):
    # gtk4-widget-factory: the first page of its stack, with find's default time limit.
    import pelorix

    app = pelorix.app(pid=pid)
    return lambda: app.find("title:Page _1")


def pelorix_find_missing(pid):
    import pelorix

    app = pelorix.app(pid=pid)

    def find():
        try:
            return app.find("title:Nowhere at all")
        except RuntimeError:
            return True  # not found, as expected: the figure is how long it took to say so

    return find


def pelorix_hung(pid):
    # One find and one read while the application is stopped (SIGSTOP): both must give up
    # within the documented bound instead of waiting for it.
    import signal

    import pelorix

    app = pelorix.app(pid=pid)
    button = app.find(QUERY, timeout_ms=0)
    os.kill(pid, signal.SIGSTOP)
    try:
        for label, work in (("find", lambda: app.find(QUERY, timeout_ms=0)),
                            ("read", button.title)):
            start = time.perf_counter()
            try:
                work()
                outcome = "returned"
            except Exception as error:
                outcome = type(error).__name__
            print(f"{label} {time.perf_counter() - start:.3f} {outcome}")
    finally:
        os.kill(pid, signal.SIGCONT)


def main():
    kind, pid = sys.argv[1], int(sys.argv[2])
    os.environ.setdefault("ATSPI_NO_CACHE", "1")
    make = {
        "pyatspi": pyatspi_search,
        "dogtail": dogtail_search,
        "pelorix": pelorix_search,
        "is_idle": pelorix_is_idle,
        "wait_for_idle": pelorix_wait_for_idle,
        "find_default": pelorix_find_default,
        "find_missing": pelorix_find_missing,
    }.get(kind)
    if make is None:
        return pelorix_hung(pid)
    work = make(pid)
    before = bus_calls()
    start = time.perf_counter()
    try:
        result = work()
    except Exception as error:  # a hung application: the time to the failure is the figure
        result = None
        print(f"{kind}: {type(error).__name__}: {error}", file=sys.stderr)
    elapsed = time.perf_counter() - start
    calls = bus_calls() - before
    print(f"{elapsed:.6f} {calls} {int(result is not None)}")
    if os.environ.get("BENCH_CALL_DETAIL"):
        ctypes.CDLL(None).bench_bus_calls_dump()


if __name__ == "__main__":
    main()
