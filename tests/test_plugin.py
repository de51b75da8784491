"""pelorixkit's pytest plugin, run as a user runs it: pytest started in a fresh folder with the
README's example and tests that fail, time out or ask for a window manager, two workers each
with its own desktop session. Checked: what a failure leaves (screenshot, tree, standard error,
their paths in the report), what a launch that never shows a window says, and that nothing the
sessions started, applications included, outlives the run, even one interrupted by a signal."""

import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

from test_kit_session import child_environ, live_in_groups, wait_gone

pytestmark = pytest.mark.desktop

ROOT = Path(__file__).resolve().parent.parent


def readme_example() -> str:
    """The Python block of the README's section on testing an application with pytest."""
    text = (ROOT / "README.md").read_text()
    section = text.split("## Testing an application with pytest", 1)[1].split("\n## ", 1)[0]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


INNER = r'''
import os, subprocess, sys
import pytest
from pelorixkit.pytest_plugin import LaunchError

RECORD = os.environ["RECORD"]


@pytest.fixture(autouse=True)
def record(desktop):
    # Which groups the sessions started, to check afterwards that they are gone.
    with open(RECORD, "a") as out:
        print(desktop.directory, *desktop.pids, file=out)


def test_fails_with_an_application_open(launch):
    launch(["sh", "-c", "echo said-on-stderr >&2; exec galculator"], window="galculator")
    assert False, "on purpose"


@pytest.mark.parametrize("argv, said", [
    (["sh", "-c", "echo no-window-ever >&2; exec sleep 60"], "showed no window within 2 s"),
    (["sh", "-c", "echo gone-at-once >&2; exit 4"], "exited with status 4 before showing a window"),
])
def test_a_launch_without_a_window_fails_with_its_stderr(launch, argv, said):
    with pytest.raises(LaunchError) as caught:
        launch(argv, timeout=2)
    assert said in str(caught.value) and argv[2].split()[1] in str(caught.value)
    pid = int(str(caught.value).split("(pid ")[1].split(")")[0])
    # Ended already, not left for the session to end.
    assert subprocess.run(["ps", "-o", "stat=", "-p", str(pid)], capture_output=True, text=True).stdout.strip()[:1] in ("", "Z")


def test_a_missing_program_is_named(launch, desktop):
    with pytest.raises(FileNotFoundError, match="no-such-program"):
        launch("no-such-program")
    assert not list(desktop.directory.glob("app-*"))


@pytest.mark.window_manager("openbox")
def test_under_a_window_manager(desktop):
    assert os.environ["PELORIX_WINDOW_MANAGER"] == "openbox" == desktop.running_window_manager()


def test_without_one(desktop):
    assert "PELORIX_WINDOW_MANAGER" not in os.environ and desktop.running_window_manager() is None
'''


def test_plugin_in_a_users_folder_with_two_workers(tmp_path):
    (tmp_path / "pytest.ini").write_text("[pytest]\n")
    (tmp_path / "test_readme.py").write_text(readme_example())
    (tmp_path / "test_inner.py").write_text(INNER)
    record = tmp_path / "sessions.txt"
    results = tmp_path / "results"
    environ = child_environ(RECORD=str(record))
    done = subprocess.run([sys.executable, "-m", "pytest", "-n", "2", "-p", "no:cacheprovider", "-rA",
                           f"--desktop-results={results}"], cwd=tmp_path, env=environ,
                          capture_output=True, text=True, timeout=600)
    out = done.stdout
    assert done.returncode == 1, out + done.stderr
    assert re.search(r"1 failed, 6 passed", out), out
    # Only the failing test leaves a folder; in it the window, the tree, the standard error.
    (folder,) = results.iterdir()
    assert folder.name == "test_inner.py-test_fails_with_an_application_open"
    png, tree, stderr = (sorted(folder.glob(f"sh-*{suffix}")) for suffix in (".png", "-tree.txt", "-stderr.txt"))
    assert len(png) == len(tree) == len(stderr) == 1
    assert png[0].read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and png[0].stat().st_size > 1000
    assert re.match(r"pid \d+: \d+ elements", tree[0].read_text())
    assert 'AXWindow title="galculator"' in tree[0].read_text()
    assert "said-on-stderr" in stderr[0].read_text()
    # The report names the files and shows the standard error.
    for path in (png[0], tree[0], stderr[0]):
        assert str(path) in out
    assert re.search(r"stderr of sh-\d+ -+\nsaid-on-stderr", out)
    # Two workers, two sessions (one per worker, however many tests each ran), all ended.
    sessions = {line.split()[0]: line.split()[1:] for line in record.read_text().splitlines()}
    assert len(sessions) == 2
    groups = {int(pid) for pids in sessions.values() for pid in pids}
    assert not live_in_groups(groups)
    assert not any(Path(directory).exists() for directory in sessions)


HANGING = r'''
import os, time

def test_hangs(launch, desktop):
    calculator = launch("galculator")
    with open(os.environ["RECORD"] + ".part", "w") as out:
        print(desktop.directory, calculator.pid, *desktop.pids, file=out)
    os.rename(os.environ["RECORD"] + ".part", os.environ["RECORD"])
    time.sleep(120)
'''


@pytest.mark.parametrize("sig", [signal.SIGINT, signal.SIGTERM])
def test_an_interrupted_run_ends_its_sessions_and_applications(tmp_path, sig):
    (tmp_path / "pytest.ini").write_text("[pytest]\n")
    (tmp_path / "test_hangs.py").write_text(HANGING)
    record = tmp_path / "record.txt"
    run = subprocess.Popen([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider"], cwd=tmp_path,
                           env=child_environ(RECORD=str(record)), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 120
        while not record.exists():
            assert run.poll() is None and time.monotonic() < deadline, "the inner run never got going"
            time.sleep(0.1)
        run.send_signal(sig)
        run.wait(60)
    finally:
        run.kill()
        run.wait()
    directory, *pids = record.read_text().split()
    wait_gone({int(pid) for pid in pids}, directory)


@pytest.mark.parametrize("required, status, said", [
    (False, 0, "no desktop session: Xvfb is not installed (Debian package xvfb)"),
    (True, 4, "the desktop session cannot start: Xvfb is not installed (Debian package xvfb)"),
])
def test_without_a_display_stack_the_tests_skip_or_the_run_fails(tmp_path, required, status, said):
    (tmp_path / "pytest.ini").write_text("[pytest]\n")
    (tmp_path / "test_needs.py").write_text("def test_needs(launch):\n    launch('galculator')\n\n\ndef test_other():\n    pass\n")
    done = subprocess.run([sys.executable, "-m", "pytest", "-rs", "-p", "no:cacheprovider",
                           *(["--desktop-required"] if required else [])], cwd=tmp_path,
                          env=child_environ(PATH="/nowhere"), capture_output=True, text=True, timeout=120)
    assert done.returncode == status, done.stdout + done.stderr
    assert said in done.stdout + done.stderr
    if not required:
        assert "1 passed, 1 skipped" in done.stdout
