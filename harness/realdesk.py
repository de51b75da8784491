"""Real applications for the tests that run on the desktop session (the `desktop` marker: the
private session pelorixkit's pytest plugin starts in each test process).

The fixture applications in harness/apps are written with Debian's PyGObject and PyQt5, which
only Debian's own interpreter can import; each runs as a separate process of that interpreter.
"""

from __future__ import annotations

import json
import os
import select
import shutil
import struct
import subprocess
import time
import zlib
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Callable

import pelorix

SYSTEM_PYTHON = "/usr/bin/python3"
APPS = Path(__file__).resolve().parent / "apps"


@dataclass(frozen=True)
class Toolkit:
    name: str
    script: str
    process_name: str  # what `pgrep -x` matches
    bundle_id: str  # what the desktop knows the application by
    title: str  # the main window's title


TOOLKITS = {
    "gtk3": Toolkit("gtk3", "gtk3_app.py", "pxgtk3", "org.pelorix.Gtk3Fixture", "Pelorix GTK3 Fixture"),
    "gtk4": Toolkit("gtk4", "gtk4_app.py", "pxgtk4", "org.pelorix.Gtk4Fixture", "Pelorix GTK4 Fixture"),
    "qt5": Toolkit("qt5", "qt5_app.py", "pxqt5", "org.pelorix.Qt5Fixture", "Pelorix Qt5 Fixture"),
}



def sanitized() -> bool:
    """Whether this interpreter runs the instrumented build, whose own work (copying megabytes,
    starting interpreters) is several times slower and whose allocator keeps freed memory in
    quarantine: time and memory bounds then allow for it."""
    with open("/proc/self/maps", encoding="utf-8") as maps:
        return any("libasan.so" in line for line in maps)

def unavailable_reason() -> str | None:
    """Why the real-desktop applications cannot run here, or None when they can. The desktop
    session itself is the pytest plugin's (pelorixkit.pytest_plugin), which says when it cannot
    start."""
    if not os.access(SYSTEM_PYTHON, os.X_OK):
        return f"{SYSTEM_PYTHON} (Debian's interpreter with PyGObject and PyQt5) is missing"
    return None


def wait_until(condition: Callable[[], Any], timeout: float = 10.0, interval: float = 0.05) -> Any:
    """Polls `condition` until it gives a true value, which is returned; fails after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = condition()
        except RuntimeError:
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"condition not met within {timeout} s: {condition}")
        time.sleep(interval)


class RunningApp:
    """A started application. It holds no pelorix object: every test connects afresh (`app()`),
    so that nothing the module handed out outlives the test that asked for it."""

    def __init__(self, popen: subprocess.Popen, title: str):
        self.popen = popen
        self.pid = popen.pid
        self.title = title

    def app(self) -> pelorix.AXApp:
        return pelorix.app(pid=self.pid)

    def wait_ready(self, timeout: float = 20.0) -> "RunningApp":
        def ready():
            if self.popen.poll() is not None:
                raise AssertionError(f"the application exited with status {self.popen.returncode}")
            return any(self.title in (w.title() or "") for w in self.app().windows())

        wait_until(ready, timeout)
        return self

    def stop(self) -> None:
        if self.popen.poll() is None:
            self.popen.kill()
        self.popen.wait()
        if self.popen.stdout is not None:
            self.popen.stdout.close()

    def output(self, timeout: float = 10.0) -> tuple[int, str]:
        """The exit status and standard output of a program started with `capture`, once it
        has exited."""
        out, _ = self.popen.communicate(timeout=timeout)
        return self.popen.returncode, out


def launch_fixture(toolkit: Toolkit, *args: str) -> RunningApp:
    popen = subprocess.Popen(
        [SYSTEM_PYTHON, str(APPS / toolkit.script), *args],
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )
    try:
        return RunningApp(popen, toolkit.title).wait_ready()
    except BaseException:
        popen.kill()
        popen.wait()
        raise


def launch_program(argv: list[str], title: str, capture: bool = False) -> RunningApp:
    """Starts a program and waits for its window titled `title`. With `capture`, its standard
    output is kept (`RunningApp.output()`): what a dialog answers."""
    if shutil.which(argv[0]) is None:
        raise FileNotFoundError(argv[0])
    popen = subprocess.Popen(
        argv,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        text=capture,
    )
    try:
        return RunningApp(popen, title).wait_ready()
    except BaseException:
        popen.kill()
        popen.wait()
        raise


def decode_png(data: bytes) -> tuple[int, int, list[list[tuple[int, int, int]]]]:
    """Width, height and RGB rows of an 8-bit RGB or RGBA PNG (what screenshots are)."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos : pos + 4])
        kind = data[pos + 4 : pos + 8]
        body = data[pos + 8 : pos + 8 + length]
        if zlib.crc32(kind + body) != struct.unpack(">I", data[pos + 8 + length : pos + 12 + length])[0]:
            raise ValueError(f"bad CRC in {kind!r}")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError("only 8-bit RGB(A) PNGs without interlacing are read here")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1 : (y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * channels : x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


# Stock Debian applications that nobody here wrote (installed by scripts/setup), driven as a new
# user would: the command line and the title of the window to wait for.
QT5_CALCULATOR = "/usr/lib/x86_64-linux-gnu/qt5/examples/widgets/widgets/calculator/calculator"
STOCK = {
    "gtk3-widget-factory": (["gtk3-widget-factory"], ""),
    "gtk4-widget-factory": (["gtk4-widget-factory"], "GTK Widget Factory"),
    "galculator": (["galculator"], "galculator"),
    "qt5-calculator": ([QT5_CALCULATOR], "Calculator"),
    "featherpad": (["featherpad"], "Untitled"),
}


def launch_stock(name: str, *args: str) -> RunningApp:
    """Starts one of the STOCK applications and waits for its main window."""
    argv, title = STOCK[name]
    return launch_program([*argv, *args], title)


def launch_zenity(*args: str, title: str) -> RunningApp:
    """A zenity dialog (`zenity --entry ...`), whose answer is read with `output()`."""
    return launch_program(["zenity", *args], title, capture=True)


class FakeApp(RunningApp):
    """The scripted accessibility tree of apps/fake_atspi_app.py. Its standard output says when
    it is registered ("ready", with its bus name) and when a flood of change signals has been
    sent ("flooded")."""

    said: list[str] = []

    @property
    def bus_name(self) -> str:
        return self.said[0]

    def wait_for_line(self, wanted: str, timeout: float = 20.0) -> None:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.popen.stdout], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                break
            line = self.popen.stdout.readline()
            if not line:
                raise AssertionError(f"the fake application exited ({self.popen.wait()}) before {wanted!r}")
            said = line.split()
            if said and said[0] == wanted:
                self.said = said[1:]
                return
        raise AssertionError(f"the fake application did not say {wanted!r} within {timeout} s")



def launch_fake_app(scenario: dict) -> FakeApp:
    """Starts the fake application with `scenario` and returns once the registry lists it."""
    popen = subprocess.Popen(
        [SYSTEM_PYTHON, str(APPS / "fake_atspi_app.py"), json.dumps(scenario)],
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL,
        text=True,
    )
    started = FakeApp(popen, "")
    try:
        started.wait_for_line("ready")
    except BaseException:
        started.stop()
        raise
    return started
