"""pelorixkit's desktop session and scripts/desktop-session, which runs it: private displays
and buses, a clear reason when a program is missing, and nothing left running or on disk
afterwards, however the process that started the session ends."""

import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

from pelorixkit import session as kit_session
from pelorixkit.session import DesktopSession, DesktopUnavailable

pytestmark = pytest.mark.desktop

ROOT = Path(__file__).resolve().parent.parent
SCRIPT = ROOT / "scripts" / "desktop-session"


def child_environ(**added):
    """The environment for a child interpreter that imports pelorix: under the sanitizer run
    (which takes the runtime out of the suite's environment) it needs the runtime preloaded."""
    with open("/proc/self/maps", encoding="utf-8") as maps:
        runtimes = {line.split()[-1] for line in maps
                    if os.path.basename(line.split()[-1]).startswith(("libasan.so", "libubsan.so"))}
    environ = dict(os.environ, **added)
    if runtimes:
        environ["LD_PRELOAD"] = ":".join(sorted(runtimes, key=lambda p: "libubsan" in p))
    return environ


def live_in_groups(groups):
    """Processes (not zombies) still in any of these process groups."""
    out = subprocess.run(["ps", "-eo", "pid=,pgid=,stat=,comm="], capture_output=True, text=True).stdout
    return [line for line in out.splitlines()
            if int(line.split()[1]) in groups and not line.split()[2].startswith("Z")]


def wait_gone(groups, directory, timeout=10.0):
    deadline = time.monotonic() + timeout
    while (live_in_groups(groups) or Path(directory).exists()) and time.monotonic() < deadline:
        time.sleep(0.1)
    assert not live_in_groups(groups), live_in_groups(groups)
    assert not Path(directory).exists()


def test_sessions_side_by_side_are_private_and_end_everything():
    environ_before = dict(os.environ)
    with DesktopSession() as first, DesktopSession(window_manager="openbox") as second:
        assert first.display != second.display
        assert first.bus_address != second.bus_address
        assert first.accessibility_address != second.accessibility_address
        # Each bus lives inside its own session's directory, not in a shared place.
        assert str(first.directory) in first.bus_address
        assert str(second.directory) in second.accessibility_address
        assert second.running_window_manager() == "openbox" and first.running_window_manager() is None
        # The applications of one session see its display only.
        shown = subprocess.run(["sh", "-c", 'echo "$DISPLAY $AT_SPI_BUS_ADDRESS"'], env=second.environ,
                               capture_output=True, text=True).stdout.split()
        assert shown == [second.display, second.accessibility_address]
        groups = set(first.pids) | set(second.pids)
        # The launcher's own bus and the registry it activates are in its group.
        assert len(live_in_groups(groups)) > len(groups)
        directories = (first.directory, second.directory)
        second.stop_window_manager()
        assert second.running_window_manager() is None
        assert len(second.pids) == len(first.pids)
        first.activate()
        assert os.environ["DISPLAY"] == first.display
    assert dict(os.environ) == environ_before
    for directory in directories:
        wait_gone(groups, directory, timeout=0)


@pytest.mark.parametrize("program, package", [("Xvfb", "xvfb"), ("dbus-daemon", "dbus-daemon"),
                                              ("dbus-send", "dbus-bin"), ("launcher", "at-spi2-core"),
                                              ("openbox", "openbox")])
def test_a_missing_program_is_named_with_its_package(program, package, tmp_path, monkeypatch):
    for name in ("Xvfb", "dbus-daemon", "dbus-send", "openbox"):
        if name != program:
            (tmp_path / name).symlink_to(subprocess.run(["sh", "-c", f"command -v {name}"], capture_output=True,
                                                        text=True).stdout.strip())
    monkeypatch.setenv("PATH", str(tmp_path))
    if program == "launcher":
        monkeypatch.setattr(kit_session, "LAUNCHERS", (str(tmp_path / "at-spi-bus-launcher"),))
    before = set(Path("/tmp").glob("pelorix-session.*"))
    with pytest.raises(DesktopUnavailable, match=f"is not installed \\(Debian package {package}\\)"):
        DesktopSession(window_manager="openbox").start()
    assert set(Path("/tmp").glob("pelorix-session.*")) == before


CHILD = """
import sys, time
from pelorixkit.session import DesktopSession
with DesktopSession() as s:
    print(s.directory, *s.pids, flush=True)
    time.sleep(120)
"""


@pytest.mark.parametrize("sig", [signal.SIGINT, signal.SIGTERM, signal.SIGKILL])
def test_an_interrupted_process_leaves_nothing_running(sig):
    child = subprocess.Popen([sys.executable, "-c", CHILD], stdout=subprocess.PIPE, text=True, env=child_environ())
    try:
        directory, *pids = child.stdout.readline().split()
        assert len(pids) == 3 and Path(directory).is_dir()
        child.send_signal(sig)
        child.wait(30)
    finally:
        child.kill()
        child.wait()
        child.stdout.close()
    wait_gone({int(p) for p in pids}, directory)


@pytest.mark.parametrize("path, argv, status, said", [
    (None, ["--", "sh", "-c", 'test -n "$DISPLAY" && test -n "$AT_SPI_BUS_ADDRESS" && exit 3'], 3, ""),
    (None, ["--check"], 0, ""),
    ("/nowhere", ["--", "true"], 77, "Xvfb is not installed"),
    (None, [], 2, "a command is needed"),
])
def test_the_script_keeps_its_options_and_exit_statuses(path, argv, status, said):
    environ = dict(os.environ)
    if path is not None:
        environ["PATH"] = f"{path}:{os.path.dirname(sys.executable)}"
        environ["PELORIX_SESSION_PYTHON"] = sys.executable
    done = subprocess.run(["/bin/bash", str(SCRIPT), *argv], env=environ, capture_output=True, text=True, timeout=120)
    assert done.returncode == status, done.stderr
    assert said in done.stderr
