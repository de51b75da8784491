"""The pytest plugin: a private desktop session for each test process, applications started in
it, and what a failing test leaves to look at.

    def test_calculator(launch):
        calculator = launch(["galculator"])
        calculator.find("role:AXButton title:7").click()

- `desktop`: the session (a `DesktopSession`), one per test process, so one per pytest-xdist
  worker: `pytest -n 4` runs four displays, four session buses and four accessibility buses that
  never see each other. It is started before the first test runs whenever a collected test uses
  it or carries the `desktop` marker, because pelorix connects to the accessibility bus once per
  process, at its first call.
- `launch`: starts an application in the session, connects to it by process id, waits (up to a
  time limit) until it shows a window, and ends it, and whatever it started, after the test.
- `@pytest.mark.window_manager("openbox")` runs a window manager on the display for one test;
  `--desktop-wm openbox` runs one for the whole session.
- When a test fails, each application it launched leaves a screenshot of its window, its
  accessibility tree as pelorix-inspect prints it, and its standard error in
  `--desktop-results` (pelorix-results/<test>/); the report lists the files and shows the
  standard error.

Where no desktop can start (no Xvfb, say), the tests that need one are skipped with the
reason; with `--desktop-required` (CI) the run fails instead.
"""

from __future__ import annotations

import io
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path
from typing import Any, Mapping, Sequence

import pytest

from pelorixkit.session import DesktopSession, DesktopUnavailable

__all__ = ["LaunchedApp", "LaunchError"]


def _inspector():
    # The tree dump is pelorix-inspect's own (its `main`, run on a process id).
    from pelorixkit import inspect as inspector

    return inspector


_STATE = pytest.StashKey["_SessionState"]()
_LAUNCHED = pytest.StashKey[list]()


class LaunchError(AssertionError):
    """An application launched for a test exited, or showed no window in time; the message
    carries its standard error."""


class _SessionState:
    """The test process's session, started at most once."""

    def __init__(self, config: pytest.Config):
        self.config = config
        self.session: DesktopSession | None = None
        self.reason: str | None = None

    def start(self) -> None:
        if self.session is not None or self.reason is not None:
            return
        session = DesktopSession(self.config.getoption("desktop_wm"))
        try:
            session.start()
        except DesktopUnavailable as error:
            self.reason = str(error)
            return
        session.activate()
        self.session = session

    def get(self) -> DesktopSession:
        self.start()
        if self.session is None:
            message = f"no desktop session: {self.reason}"
            if self.config.getoption("desktop_required"):
                pytest.fail(message, pytrace=False)
            pytest.skip(message)
        return self.session

    def close(self) -> None:
        if self.session is not None:
            self.session.close()
            self.session = None


def pytest_addoption(parser: pytest.Parser) -> None:
    group = parser.getgroup("pelorix", "pelorix desktop session")
    group.addoption("--desktop-wm", metavar="NAME", default=None,
                    help="run the desktop session under this window manager (openbox)")
    group.addoption("--desktop-required", action="store_true", default=False,
                    help="fail, rather than skip, the tests that need a desktop session when none can start")
    group.addoption("--desktop-results", metavar="DIR", default="pelorix-results",
                    help="where failing tests leave screenshots, accessibility trees and standard error "
                    "(default: pelorix-results)")


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line("markers", "desktop: needs the private desktop session (started before the first test)")
    config.addinivalue_line("markers", "window_manager(name): runs a window manager (openbox) on the session's "
                            "display during the test")
    config.stash[_STATE] = _SessionState(config)


def pytest_unconfigure(config: pytest.Config) -> None:
    state = config.stash.get(_STATE, None)
    if state is not None:
        state.close()


def _needs_desktop(item: pytest.Item) -> bool:
    return item.get_closest_marker("desktop") is not None or "pelorix_desktop" in getattr(item, "fixturenames", ())


@pytest.hookimpl(trylast=True)
def pytest_collection_modifyitems(session: pytest.Session, config: pytest.Config, items: list[pytest.Item]) -> None:
    # Last, so that only the tests selected to run count (-m, -k and deselection are done).
    if config.option.collectonly:
        return
    wanted = [item for item in items if _needs_desktop(item)]
    if not wanted:
        return
    state = config.stash[_STATE]
    state.start()
    if state.session is not None:
        return
    if config.getoption("desktop_required"):
        raise pytest.UsageError(f"the desktop session cannot start: {state.reason}")
    skip = pytest.mark.skip(reason=f"no desktop session: {state.reason}")
    for item in wanted:
        item.add_marker(skip)


# --- fixtures -----------------------------------------------------------------------------


@pytest.fixture(scope="session")
def pelorix_desktop(pytestconfig: pytest.Config) -> DesktopSession:
    """The test process's private desktop session (also known as `desktop`)."""
    return pytestconfig.stash[_STATE].get()


@pytest.fixture(scope="session")
def desktop(pelorix_desktop: DesktopSession) -> DesktopSession:
    """The test process's private desktop session: display, session bus, accessibility bus."""
    return pelorix_desktop


@pytest.fixture(autouse=True)
def _pelorix_window_manager(request: pytest.FixtureRequest):
    marker = request.node.get_closest_marker("window_manager")
    if marker is None:
        yield
        return
    name = marker.args[0] if marker.args else marker.kwargs.get("name", "openbox")
    session = request.getfixturevalue("pelorix_desktop")
    running = session.running_window_manager()
    if running == name:
        yield
        return
    if running is not None:
        pytest.fail(f"the session runs {running}; the test asks for {name}", pytrace=False)
    try:
        session.start_window_manager(name)
    except DesktopUnavailable as error:
        pytest.fail(str(error), pytrace=False)
    try:
        yield
    finally:
        session.stop_window_manager()


class LaunchedApp:
    """An application started by `launch`: `app` is the pelorix application (connected by
    process id), `window` the window waited for, `process` the Popen. Other attributes are
    the application's (`find`, `windows`, `screenshot`...)."""

    def __init__(self, session: DesktopSession, argv: list[str], process: subprocess.Popen, stderr_path: Path):
        self.argv = argv
        self.process = process
        self.pid = process.pid
        self.app: Any = None
        self.window: Any = None
        self._session = session
        self._stderr_path = stderr_path
        self._stderr_text: str | None = None

    def __getattr__(self, name: str) -> Any:
        app = self.__dict__.get("app")
        if app is None:
            raise AttributeError(name)
        return getattr(app, name)

    def __repr__(self) -> str:
        return f"<LaunchedApp {self.argv[0]} pid {self.pid}>"

    def stderr(self) -> str:
        """What the application has written to its standard error so far."""
        if self._stderr_text is not None:
            return self._stderr_text
        try:
            return self._stderr_path.read_text(errors="replace")
        except OSError:
            return ""

    def running(self) -> bool:
        return self.process.poll() is None

    def stop(self) -> None:
        """Ends the application and everything in its process group; keeps its stderr."""
        if self._stderr_text is None:
            self._stderr_text = self.stderr()
        self.app = self.window = None
        self._session.end(self.process)
        self._stderr_path.unlink(missing_ok=True)

    def _wait_for_window(self, title: str | None, timeout: float) -> None:
        import pelorix

        deadline = time.monotonic() + timeout
        while True:
            if self.process.poll() is not None:
                raise LaunchError(self._failure(f"exited with status {self.process.returncode} before showing a window"))
            try:
                app = pelorix.app(pid=self.pid)
                for window in app.windows():
                    if title is None or title in (window.title() or ""):
                        self.app, self.window = app, window
                        return
            except RuntimeError:
                pass  # not on the accessibility bus yet
            if time.monotonic() > deadline:
                what = f"window titled {title!r}" if title is not None else "window"
                raise LaunchError(self._failure(f"showed no {what} within {timeout:g} s"))
            time.sleep(0.1)

    def _failure(self, what: str) -> str:
        said = self.stderr().strip()
        tail = "\n".join(said.splitlines()[-20:]) if said else "(nothing)"
        return f"{self.argv[0]} (pid {self.pid}) {what}; its standard error:\n{tail}"


@pytest.fixture
def launch(pelorix_desktop: DesktopSession, request: pytest.FixtureRequest):
    """launch(argv, *, window=None, timeout=30, env=None, cwd=None) -> LaunchedApp

    Starts `argv` (a list, or one program name) in the session, connects to it by process id
    and waits until it shows a window (whose title contains `window`, if given). Fails with
    the application's standard error when it exits first or the time runs out. Everything
    launched is ended after the test."""
    launched: list[LaunchedApp] = []
    request.node.stash[_LAUNCHED] = launched

    def start(argv: str | Sequence[str], *, window: str | None = None, timeout: float = 30.0,
              env: Mapping[str, str] | None = None, cwd: str | os.PathLike | None = None) -> LaunchedApp:
        argv = [argv] if isinstance(argv, str) else [str(a) for a in argv]
        if not argv:
            raise ValueError("launch needs a program to run")
        if timeout <= 0:
            raise ValueError("launch's timeout must be positive")
        handle, name = tempfile.mkstemp(prefix="app-", suffix=".stderr", dir=pelorix_desktop.directory)
        try:
            process = pelorix_desktop.popen(argv, stderr=handle, env=env, cwd=cwd)
        except BaseException:
            os.unlink(name)
            raise
        finally:
            os.close(handle)
        started = LaunchedApp(pelorix_desktop, argv, process, Path(name))
        launched.append(started)
        try:
            started._wait_for_window(window, timeout)
        except BaseException:
            started.stop()
            raise
        return started

    yield start
    for started in reversed(launched):
        started.stop()


# --- artifacts of failing tests -------------------------------------------------------------


def _folder_name(nodeid: str) -> str:
    return re.sub(r"[^A-Za-z0-9_.=-]+", "-", nodeid).strip("-")[:200]


def _artifacts(item: pytest.Item, report: pytest.TestReport, launched: list[LaunchedApp]) -> None:
    results = Path(item.config.getoption("desktop_results"))
    if not results.is_absolute():
        results = Path(item.config.invocation_params.dir) / results
    folder = results / _folder_name(item.nodeid)
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True, exist_ok=True)
    lines = []
    for started in launched:
        stem = f"{Path(started.argv[0]).name}-{started.pid}"
        if started.running():
            lines.append(_screenshot(started, folder / f"{stem}.png"))
            lines.append(_tree(started, folder / f"{stem}-tree.txt"))
        else:
            lines.append(f"{stem}: not running at the failure (exit status {started.process.returncode}); "
                         "no screenshot or tree")
        said = started.stderr()
        stderr_path = folder / f"{stem}-stderr.txt"
        stderr_path.write_text(said)
        lines.append(f"standard error: {stderr_path}")
        report.sections.append((f"stderr of {stem}", said or "(nothing)"))
        report.user_properties.append((f"pelorix {stem}", str(folder)))
    report.sections.append(("pelorix artifacts", "\n".join(lines)))


def _screenshot(started: LaunchedApp, path: Path) -> str:
    import pelorix

    try:
        path.write_bytes(pelorix.app(pid=started.pid).screenshot())
    except (RuntimeError, OSError) as error:
        return f"screenshot: not taken ({error})"
    return f"screenshot: {path}"


def _tree(started: LaunchedApp, path: Path) -> str:
    said = io.StringIO()  # its progress, and why it failed if it did
    with open(path, "w") as out:
        status = _inspector().main(["--pid", str(started.pid), "--limit", "2000"], out=out, err=said)
        if status != 0:
            out.write(said.getvalue())
    return f"accessibility tree: {path}" + ("" if status == 0 else " (pelorix-inspect failed, see the file)")


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item: pytest.Item, call: pytest.CallInfo):
    outcome = yield
    report = outcome.get_result()
    launched = item.stash.get(_LAUNCHED, None)
    if launched and report.failed and report.when in ("setup", "call"):
        try:
            _artifacts(item, report, launched)
        except Exception as error:  # a failure to record must not hide the test's own
            report.sections.append(("pelorix artifacts", f"not recorded: {error!r}"))
