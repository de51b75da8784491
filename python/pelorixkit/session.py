"""A private desktop session: an X display (Xvfb), a D-Bus session bus, the accessibility bus
with its registry and, if asked for, a window manager.

    with DesktopSession() as session:
        subprocess.run(["zenity", "--info"], env=session.environ)

Everything the session starts runs in a process group of its own and is ended by that group's
id when the session closes. A small watcher process holds the other end of a pipe from this
one: if this process dies without closing the session (SIGKILL, a crash, an interpreter that
never runs its exit handlers), the pipe closes and the watcher ends the groups and removes the
session's directory. ^C (SIGINT) closes the session the ordinary way, as its exception unwinds
through `with` or pytest's teardown; SIGTERM, whose default ends the process at once, is left to
the watcher unless the program turns it into an exception (as the command below does).

This module only needs the standard library, so that scripts/desktop-session can run it as a
file with any Python 3.11 before pelorix is built:

    python3 pelorixkit/session.py [--check] [--wm NAME] [--] command [args...]

Exit status 77 means no display stack could be started; the reason is on standard error.
"""

from __future__ import annotations

import argparse
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from collections.abc import Callable
from pathlib import Path
from typing import IO, Mapping, Sequence

__all__ = ["DesktopSession", "DesktopUnavailable", "UNAVAILABLE_STATUS"]

UNAVAILABLE_STATUS = 77

# Where Debian puts the accessibility bus launcher (libexec since bookworm).
LAUNCHERS = ("/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher")

# The programs a session runs and the Debian packages that install them.
PACKAGES = {"Xvfb": "xvfb", "dbus-daemon": "dbus-daemon", "dbus-send": "dbus-bin",
            "at-spi-bus-launcher": "at-spi2-core", "openbox": "openbox"}

# Variables that would point the session's programs at another desktop, or stop toolkits from
# putting their trees on the accessibility bus.
_REMOVED = ("WAYLAND_DISPLAY", "GTK_MODULES", "PELORIX_WINDOW_MANAGER", "DBUS_SESSION_BUS_PID",
            "SESSION_MANAGER", "XAUTHORITY")

# Toolkits must expose their trees: GTK does unless told not to, Qt only when asked. Software
# rendering, since Xvfb has no GPU.
_TOOLKIT = {
    "GTK_A11Y": "atspi",
    "NO_AT_BRIDGE": "0",
    "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
    "QT_ACCESSIBILITY": "1",
    "QT_QPA_PLATFORM": "xcb",
    "GDK_BACKEND": "x11",
    "GSETTINGS_BACKEND": "memory",
    "LIBGL_ALWAYS_SOFTWARE": "1",
    "GSK_RENDERER": "cairo",
}

# The watcher: reads "group PGID" and "dir PATH" lines until its standard input closes, then
# ends those groups (politely, then not) and removes those directories. "drop PGID" takes back a
# group the session has ended itself (its number may be reused later); "forget" clears the lists
# once the session has closed itself.
_WATCHER = r"""
import os, shutil, signal, sys, time
groups, dirs = [], []
signal.signal(signal.SIGINT, signal.SIG_IGN)
for line in sys.stdin:
    kind, _, value = line.strip().partition(" ")
    if kind == "group":
        groups.append(int(value))
    elif kind == "dir":
        dirs.append(value)
    elif kind == "drop" and int(value) in groups:
        groups.remove(int(value))
    elif kind == "forget":
        groups.clear(); dirs.clear()
for number, sig in enumerate((signal.SIGTERM, signal.SIGKILL)):
    alive = False
    for group in reversed(groups):
        try:
            os.killpg(group, sig); alive = True
        except OSError:
            pass
    if alive and number == 0:
        time.sleep(1.0)
for path in dirs:
    shutil.rmtree(path, ignore_errors=True)
"""


class DesktopUnavailable(RuntimeError):
    """A part of the display stack is missing or did not start; the message names it."""


def _tail(path: Path, lines: int = 3) -> str:
    try:
        text = path.read_text(errors="replace").strip().splitlines()
    except OSError:
        return ""
    return " | ".join(text[-lines:])


def _program(name: str) -> str:
    found = shutil.which(name)
    if found is None:
        raise DesktopUnavailable(f"{name} is not installed (Debian package {PACKAGES.get(name, name)})")
    return found


def _read_line(fd: int, deadline: float, alive: subprocess.Popen) -> str:
    """A line a starting program writes to `fd`, waiting until `deadline` or its exit."""
    data = b""
    while b"\n" not in data:
        left = deadline - time.monotonic()
        if left <= 0:
            break
        ready, _, _ = select.select([fd], [], [], min(left, 0.1))
        if ready:
            chunk = os.read(fd, 4096)
            if not chunk:
                break
            data += chunk
        elif alive.poll() is not None:
            break
    return data.decode(errors="replace").strip()


class DesktopSession:
    """A private desktop: `start()` (or `with`) brings it up, `close()` ends all it started.

    `environ` is the environment for programs to run in it; `activate()` puts those variables
    into this process's own environment too, which pelorix needs before its first call (it
    connects to the accessibility bus once per process). `window_manager` is the name of a
    window manager to run ("openbox"), or None.
    """

    def __init__(self, window_manager: str | None = None, *, screen: str = "1280x1024x24",
                 timeout: float = 30.0, base_environ: Mapping[str, str] | None = None):
        self.window_manager = window_manager
        self.screen = screen
        # Up to 30 s per step: on a loaded machine Xvfb alone can take several seconds.
        self.timeout = timeout
        self.display: str | None = None
        self.bus_address: str | None = None
        self.accessibility_address: str | None = None
        self.directory: Path | None = None
        self.environ: dict[str, str] = {}
        self._base = dict(os.environ if base_environ is None else base_environ)
        self._started: list[tuple[str, subprocess.Popen]] = []
        self._watcher: subprocess.Popen | None = None
        self._lock = threading.Lock()
        self._saved: dict[str, str | None] | None = None

    # --- life cycle ---------------------------------------------------------------------

    def __enter__(self) -> "DesktopSession":
        return self.start()

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = f"display {self.display}" if self.display else "not started"
        return f"<DesktopSession {state}>"

    @property
    def pids(self) -> list[int]:
        """The processes the session started itself (each leads a process group)."""
        return [p.pid for _, p in self._started]

    def start(self) -> "DesktopSession":
        if self.directory is not None:
            raise RuntimeError("the desktop session is already started")
        xvfb = _program("Xvfb")
        dbus_daemon = _program("dbus-daemon")
        _program("dbus-send")
        launcher = next((c for c in LAUNCHERS if os.access(c, os.X_OK)), None)
        if launcher is None:
            raise DesktopUnavailable("at-spi-bus-launcher is not installed (Debian package at-spi2-core)")
        if self.window_manager is not None:
            _program(self.window_manager)
        self.directory = Path(tempfile.mkdtemp(prefix="pelorix-session."))
        try:
            self._start_watcher()
            self.environ = self._session_environ()
            self._start_display(xvfb)
            self._start_buses(dbus_daemon, launcher)
            if self.window_manager is not None:
                self.start_window_manager(self.window_manager)
        except BaseException:
            self.close()
            raise
        return self

    def close(self) -> None:
        """Ends every process the session started (by process group), newest first, and
        removes its directory. Safe to call more than once, and from a signal handler's
        unwinding."""
        with self._lock:
            started, self._started = self._started, []
        self.deactivate()
        _end(p for _, p in reversed(started))
        if self.directory is not None:
            shutil.rmtree(self.directory, ignore_errors=True)
        watcher, self._watcher = self._watcher, None
        if watcher is not None:
            try:
                if watcher.stdin is not None:
                    watcher.stdin.write("forget\n")
                    watcher.stdin.close()
            except (OSError, ValueError):
                pass
            watcher.wait()
        self.directory = None

    # --- the environment ----------------------------------------------------------------

    def activate(self) -> None:
        """Puts the session's variables into this process's environment (until `deactivate`
        or `close`)."""
        if self._saved is not None:
            return
        # What the session sets, and what it takes away; the process's other variables stay.
        keys = set(self.environ) | set(_REMOVED) | {"LD_PRELOAD"}
        changed = {k for k in keys if os.environ.get(k) != self.environ.get(k)}
        self._saved = {k: os.environ.get(k) for k in changed}
        for key in changed:
            if key in self.environ:
                os.environ[key] = self.environ[key]
            else:
                os.environ.pop(key, None)

    def deactivate(self) -> None:
        saved, self._saved = self._saved, None
        for key, value in (saved or {}).items():
            if value is None:
                os.environ.pop(key, None)
            else:
                os.environ[key] = value

    def popen(self, argv: Sequence[str], *, stdout: int | IO | None = subprocess.DEVNULL,
              stderr: int | IO | None = subprocess.DEVNULL, env: Mapping[str, str] | None = None,
              **kwargs) -> subprocess.Popen:
        """Starts a program in the session, in a process group of its own (so that `end`
        reaches whatever it starts in turn). The caller ends it; the session ends it too if
        it is still running when the session closes."""
        if self.directory is None:
            raise RuntimeError("the desktop session is not started")
        environ = dict(self.environ)
        environ.update(env or {})
        process = subprocess.Popen(list(argv), stdin=subprocess.DEVNULL, stdout=stdout,
                                   stderr=stderr, env=environ, start_new_session=True, **kwargs)
        self._track("app", process)
        return process

    def end(self, process: subprocess.Popen, grace: float = 3.0) -> None:
        """Ends a program started with `popen` and everything in its process group."""
        with self._lock:
            self._started = [(k, p) for k, p in self._started if p is not process]
        _end([process], grace)
        self._tell_watcher(f"drop {process.pid}")

    # --- the window manager --------------------------------------------------------------

    def start_window_manager(self, name: str = "openbox") -> None:
        """Runs a window manager on the display: windows get frames, placement and focus from
        it, as on a user's desktop. Windows already open are taken over."""
        if self.running_window_manager() is not None:
            raise RuntimeError(f"a window manager already runs: {self.running_window_manager()}")
        program = _program(name)
        log = self._folder() / "wm.log"
        if name == "openbox":
            # openbox runs its --startup command once it manages the screen.
            ready = self._folder() / "wm-ready"
            ready.unlink(missing_ok=True)
            process = self._spawn("wm", [program, "--sm-disable", "--startup", f"touch {ready}"], log)
            deadline = time.monotonic() + self.timeout
            while not ready.exists() and process.poll() is None and time.monotonic() < deadline:
                time.sleep(0.05)
            if not ready.exists():
                raise DesktopUnavailable(f"openbox did not start: {_tail(log)}")
        else:
            process = self._spawn("wm", [program], log)
            time.sleep(1.0)
            if process.poll() is not None:
                raise DesktopUnavailable(f"{name} did not start: {_tail(log)}")
        self.environ["PELORIX_WINDOW_MANAGER"] = name
        if self._saved is not None:
            os.environ["PELORIX_WINDOW_MANAGER"] = name

    def stop_window_manager(self) -> None:
        with self._lock:
            managers = [p for k, p in self._started if k == "wm"]
            self._started = [(k, p) for k, p in self._started if k != "wm"]
        _end(managers)
        for process in managers:
            self._tell_watcher(f"drop {process.pid}")
        self.environ.pop("PELORIX_WINDOW_MANAGER", None)
        if self._saved is not None:
            os.environ.pop("PELORIX_WINDOW_MANAGER", None)

    def running_window_manager(self) -> str | None:
        return self.environ.get("PELORIX_WINDOW_MANAGER")

    # --- starting the pieces -------------------------------------------------------------

    def _folder(self) -> Path:
        # The session's own folder, which exists from start() until close().
        if self.directory is None:
            raise RuntimeError("the desktop session is not started")
        return self.directory

    def _spawn_announcing(self, kind: str, argv_for: Callable[[int], list[str]], log: Path) -> str:
        """Starts a program that announces itself (a display number, a bus address) with one
        line on the pipe whose descriptor its command line is given; returns that line, or ""
        when none comes within the time limit."""
        read_end, write_end = os.pipe()
        try:
            process = self._spawn(kind, argv_for(write_end), log, pass_fds=(write_end,))
            os.close(write_end)
            write_end = -1
            return _read_line(read_end, time.monotonic() + self.timeout, process)
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)

    def _track(self, kind: str, process: subprocess.Popen) -> None:
        with self._lock:
            self._started.append((kind, process))
        self._tell_watcher(f"group {process.pid}")

    def _tell_watcher(self, line: str) -> None:
        if self._watcher is not None and self._watcher.stdin is not None:
            try:
                self._watcher.stdin.write(line + "\n")
                self._watcher.stdin.flush()
            except (OSError, ValueError):
                pass

    def _spawn(self, kind: str, argv: list[str], log: Path, **kwargs) -> subprocess.Popen:
        with open(log, "ab") as out:
            process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                       env=self.environ, start_new_session=True,
                                       **kwargs)
        self._track(kind, process)
        return process

    def _start_watcher(self) -> None:
        # Its own session: a ^C on the terminal must not end it before it is needed.
        self._watcher = subprocess.Popen(
            [sys.executable, "-I", "-S", "-c", _WATCHER], stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True,
            start_new_session=True, env={k: v for k, v in self._base.items() if k != "LD_PRELOAD"})
        self._tell_watcher(f"dir {self.directory}")

    def _session_environ(self) -> dict[str, str]:
        environ = {k: v for k, v in self._base.items() if k not in _REMOVED}
        for name in ("DISPLAY", "AT_SPI_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS"):
            environ.pop(name, None)
        # A test process run under AddressSanitizer preloads its runtime; the session's programs
        # are not instrumented, and some of them hang with it.
        preload = [p for p in environ.pop("LD_PRELOAD", "").split(":")
                   if p and not os.path.basename(p).startswith(("libasan.so", "libubsan.so"))]
        if preload:
            environ["LD_PRELOAD"] = ":".join(preload)
        # Programs running as root (CI, containers) have no login session to lend them these.
        for name in ("runtime", "config", "cache", "data"):
            (self._folder() / name).mkdir(mode=0o700)
        environ.update(XDG_RUNTIME_DIR=str(self._folder() / "runtime"),
                       XDG_CONFIG_HOME=str(self._folder() / "config"),
                       XDG_CACHE_HOME=str(self._folder() / "cache"),
                       XDG_DATA_HOME=str(self._folder() / "data"), **_TOOLKIT)
        return environ

    def _start_display(self, xvfb: str) -> None:
        # Xvfb picks a free display number itself and writes it to the descriptor it is given.
        log = self._folder() / "xvfb.log"
        number = self._spawn_announcing("display", lambda fd: [xvfb, "-displayfd", str(fd), "-screen", "0",
                                                               self.screen, "-nolisten", "tcp", "-noreset"], log)
        if not number.isdigit():
            raise DesktopUnavailable(f"Xvfb did not start: {_tail(log) or 'no display number within the time limit'}")
        self.display = f":{number}"
        self.environ["DISPLAY"] = self.display

    def _start_buses(self, dbus_daemon: str, launcher: str) -> None:
        directory = self._folder()
        environ = self.environ
        # The session bus, listening inside the session's directory.
        log = directory / "dbus.log"
        address = self._spawn_announcing("bus", lambda fd: [dbus_daemon, "--session", "--nofork", "--nopidfile",
                                                            f"--address=unix:path={directory}/bus",
                                                            f"--print-address={fd}"], log)
        if not address:
            raise DesktopUnavailable(f"dbus-daemon did not start: {_tail(log)}")
        self.bus_address = address
        environ["DBUS_SESSION_BUS_ADDRESS"] = address

        # The accessibility bus, announced on the session bus and on the display's root window.
        log = directory / "a11y.log"
        launched = self._spawn("accessibility", [launcher, "--launch-immediately", "--a11y=1"], log)
        deadline = time.monotonic() + self.timeout
        a11y = None
        while time.monotonic() < deadline and launched.poll() is None:
            # Ask only once the launcher owns its name, so that the question starts no other.
            owned = self._send(["--session", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"])
            if owned is not None and "true" in owned:
                a11y = self._send(["--session", "--dest=org.a11y.Bus", "/org/a11y/bus",
                                   "org.a11y.Bus.GetAddress"])
                a11y = a11y.strip() if a11y else None
                if a11y:
                    break
            time.sleep(0.05)
        if not a11y:
            raise DesktopUnavailable(f"the accessibility bus did not start: {_tail(log)}")
        self.accessibility_address = a11y
        environ["AT_SPI_BUS_ADDRESS"] = a11y

        # The registry is started on first use; wait until it answers.
        while time.monotonic() < deadline:
            if self._send([f"--bus={a11y}", "--dest=org.a11y.atspi.Registry",
                           "/org/a11y/atspi/accessible/root", "org.freedesktop.DBus.Properties.Get",
                           "string:org.a11y.atspi.Accessible", "string:ChildCount"]) is not None:
                return
            time.sleep(0.1)
        raise DesktopUnavailable("the accessibility registry does not answer")

    def _send(self, args: list[str]) -> str | None:
        try:
            done = subprocess.run(["dbus-send", "--print-reply=literal", *args], env=self.environ,
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=10)
        except subprocess.TimeoutExpired:
            return None
        return done.stdout if done.returncode == 0 else None


def _end(processes, grace: float = 3.0) -> None:
    """Ends each process's group: SIGTERM, then SIGKILL for what is left after `grace`."""
    processes = list(processes)
    for process in processes:
        _signal_group(process, signal.SIGTERM)
    deadline = time.monotonic() + grace
    for process in processes:
        try:
            process.wait(max(0.0, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            pass
        # The group outlives its leader when the leader's children stay (the accessibility
        # bus launcher's own dbus-daemon and the registry it activates).
        _signal_group(process, signal.SIGKILL)
        process.wait()


def _signal_group(process: subprocess.Popen, sig: int) -> None:
    try:
        os.killpg(process.pid, sig)
    except (ProcessLookupError, PermissionError):
        pass


# --- the command --------------------------------------------------------------------------


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(
        prog="desktop-session",
        description="Run a command inside a private desktop session: an Xvfb display, a D-Bus "
        "session bus and the accessibility bus with its registry. Everything started is ended "
        f"when the command ends; exit status {UNAVAILABLE_STATUS} means no display stack could "
        "be started.")
    parser.add_argument("--check", action="store_true",
                        help="only start the session, check that the registry answers, and exit")
    parser.add_argument("--wm", metavar="NAME", help="also run this window manager (openbox)")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not args.check and not command:
        parser.error("a command is needed (or --check)")

    # SIGTERM unwinds like ^C does, so that the session closes on the way out.
    def terminated(signum, frame):
        raise SystemExit(128 + signum)

    signal.signal(signal.SIGTERM, terminated)
    try:
        with DesktopSession(args.wm) as session:
            if args.check:
                print(f"desktop-session: display {session.display} with the accessibility bus at "
                      f"{session.accessibility_address}")
                return 0
            # The command stays in this process group: ^C on a terminal reaches it directly.
            process = subprocess.Popen(command, env=session.environ)
            try:
                return process.wait()
            finally:
                if process.poll() is None:
                    process.terminate()
                    try:
                        process.wait(5)
                    except subprocess.TimeoutExpired:
                        process.kill()
                        process.wait()
    except DesktopUnavailable as error:
        print(f"desktop-session: {error}", file=sys.stderr)
        return UNAVAILABLE_STATUS
    except FileNotFoundError as error:
        print(f"desktop-session: {error}", file=sys.stderr)
        return 127
    except KeyboardInterrupt:
        return 130


if __name__ == "__main__":
    sys.exit(main())
