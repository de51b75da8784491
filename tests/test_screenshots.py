"""Screenshots of an application's window and of one element: the capture tools' command lines,
the private file each capture goes through, and every way a capture fails."""

import errno
import glob
import os
import re

import pytest

import pelorix
from simdesk import AXError, node, point, size, stand_in, status

# Shared by the tests and the stand-in capture tools: a valid 1x1 PNG carrying `note`.
PNG = """import os, struct, zlib
def png(note):
    c = lambda k, d: struct.pack(">I", len(d)) + k + d + struct.pack(">I", zlib.crc32(k + d))
    return (b"\\x89PNG\\r\\n\\x1a\\n" + c(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
            + c(b"tEXt", b"note\\0" + note.encode()) + c(b"IDAT", zlib.compress(b"\\0\\x80"))
            + c(b"IEND", b""))
"""
exec(PNG)
WRITE = "open(argv[-1], 'wb').write(png('window'))"

# Distinct from any other test process's, so what this run finds in /tmp is its own.
PID = 5_000_000 + os.getpid()
STEMS = {"app": f"pelorix_screenshot_{PID}", "element": f"pelorix_element_screenshot_{os.getpid()}"}
WINDOW_SCRIPT = (
    f'tell application "System Events" to id of window 1 of (processes whose unix id is {PID})'
)
FAILED = {
    "app": "macOS API error: Screenshot failed",
    "element": "Action failed: Screenshot failed",
}


def os_error(number):
    return f"macOS API error: {os.strerror(number)} (os error {number})"


def capture(target):
    """The image, or the message of the RuntimeError."""
    connected = pelorix.app(pid=PID)
    try:
        return connected.screenshot() if target == "app" else connected.main_window().screenshot()
    except RuntimeError as error:
        return str(error)


@pytest.fixture
def window(desktop, tmp_path):
    """An application with one window at 10.9,-0.5 sized 100.99x20; at the end nothing of ours is
    left in /tmp and the file tmp_path/victim is untouched."""
    root, window_node = desktop.add_app(PID, node("AXApplication", children=[node("AXWindow")]))
    root.set(windows=[window_node], main_window=window_node)
    window_node.set(position=point(10.9, -0.5), size=size(100.99, 20))
    (tmp_path / "victim").write_bytes(b"precious")
    yield window_node
    assert [path for stem in STEMS.values() for path in glob.glob(f"/tmp/{stem}_*")] == []
    assert (tmp_path / "victim").read_bytes() == b"precious"


@pytest.fixture
def tools(tmp_path, monkeypatch):
    """Installs osascript printing `window_id` and screencapture running `script`."""

    def install(script=WRITE, window_id=b" \t77001\r\n"):
        lookup = f"sys.stdout.buffer.write({window_id!r})"
        victim = f"VICTIM = {str(tmp_path / 'victim')!r}\n"
        return (
            stand_in(tmp_path, monkeypatch, "osascript", script=lookup),
            stand_in(tmp_path, monkeypatch, "screencapture", script=PNG + victim + script),
        )

    return install


@pytest.mark.parametrize(
    "target, shape, arguments",
    [
        ("app", {}, ["-l", "77001", "-o", "-x"]),
        ("element", {}, ["-R", "10,0,100,20", "-x"]),
        ("element", {"position": point(5, 5), "size": size(0, 0)}, ["-R", "5,5,0,0", "-x"]),
        ("element", {"size": size(4e9, -1e12)}, ["-R", "10,0,2147483647,-2147483648", "-x"]),
    ],
)
def test_command_lines_and_private_file(window, tools, target, shape, arguments):
    window.set(**shape)
    # The tool reports the mode of the directory it is given.
    mode = "oct(os.stat(os.path.dirname(argv[-1])).st_mode & 0o777)"
    lookup, screencapture = tools(f"open(argv[-1], 'wb').write(png({mode}))")
    assert capture(target) == png("0o700")
    assert lookup.calls == ([["-e", WINDOW_SCRIPT]] if target == "app" else [])
    [[*given, path]] = screencapture.calls
    assert given == arguments
    assert re.fullmatch(rf"/tmp/{STEMS[target]}_[^/]{{6}}/{STEMS[target]}\.png", path)


@pytest.mark.parametrize(
    "script, outcome",
    [
        # An image written before a failing exit is neither taken nor left behind.
        pytest.param(WRITE + "; sys.exit(1)", FAILED, id="exit 1"),
        pytest.param("os.kill(os.getpid(), 9)", FAILED, id="killed"),
        pytest.param("pass", os_error(errno.ENOENT), id="no file"),
        pytest.param("os.symlink(VICTIM, argv[-1])", os_error(errno.ELOOP), id="link"),
        pytest.param("os.mkdir(argv[-1])", os_error(errno.EISDIR), id="directory"),
        pytest.param("os.mkfifo(argv[-1])", os_error(errno.EINVAL), id="fifo"),
        # Whatever else the tool leaves goes too; links go without their targets.
        pytest.param(
            "d = os.path.dirname(argv[-1]); os.makedirs(d + '/sub/deeper'); "
            "os.symlink(VICTIM, d + '/sub/link'); os.symlink(os.path.dirname(VICTIM), d + '/up'); "
            + WRITE,
            png("window"), id="debris"),
    ],
)
@pytest.mark.parametrize("target", ["app", "element"])
def test_capture_outcomes(window, tools, target, script, outcome):
    tools(script)
    assert capture(target) == (outcome[target] if isinstance(outcome, dict) else outcome)


@pytest.mark.parametrize(
    "target, broken, error",
    [
        ("app", "osascript", errno.ENOENT),
        ("app", "screencapture", errno.ENOENT),
        ("element", "not executable", errno.EACCES),
    ],
)
def test_tools_that_cannot_be_started(window, tools, monkeypatch, target, broken, error):
    lookup, screencapture = tools()
    if broken == "not executable":
        screencapture.path.chmod(0o644)
    else:
        (screencapture.path.parent / broken).unlink()
    monkeypatch.setenv("PATH", str(screencapture.path.parent))
    assert capture(target) == os_error(error)
    assert screencapture.calls == []
    looked_up = target == "app" and broken != "osascript"
    assert lookup.calls == ([["-e", WINDOW_SCRIPT]] if looked_up else [])


@pytest.mark.parametrize(
    "window_id, passed",
    [
        (b"", ""),  # no window: the lookup fails quietly and the capture decides
        (" \ufeff12\u00a0\u3000\n".encode(), "\ufeff12"),  # U+FEFF is no White_Space
        (b"\xff12\n", "\ufffd12"),
        (b"12\x0034\n", None),  # an argument ends at a NUL: it would name another window
    ],
)
def test_window_id_as_the_lookup_prints_it(window, tools, window_id, passed):
    script = "sys.exit(1) if not argv[1] else open(argv[-1], 'wb').write(png(argv[1]))"
    _, screencapture = tools(script, window_id)
    assert capture("app") == (png(passed) if passed else FAILED["app"])
    assert [call[1] for call in screencapture.calls] == ([] if passed is None else [passed])


@pytest.mark.parametrize("broken", [{"size": status(AXError.NO_VALUE)}, {"position": size(1, 2)}])
def test_element_without_bounds_runs_nothing(window, tools, broken):
    window.set(**broken)
    _, screencapture = tools()
    assert capture("element") == "Action failed: Could not get element bounds"
    assert screencapture.calls == []


@pytest.mark.parametrize("target", ["app", "element"])
def test_planted_links_are_never_followed(window, tools, tmp_path, target):
    # Links at the names a capture would use if they were predictable, and a tool that writes
    # through whatever link it finds at its path.
    planted = [f"/tmp/{STEMS[target]}.png", f"/tmp/{STEMS[target]}"]
    if any(os.path.lexists(path) for path in planted):
        pytest.skip("something else is at a planted path")
    try:
        for path in planted:
            os.symlink(tmp_path / "victim", path)
        tools()
        assert capture(target) == png("window")
        assert all(os.readlink(path) == str(tmp_path / "victim") for path in planted)
    finally:
        for path in planted:
            if os.path.islink(path):
                os.unlink(path)


def test_two_processes_capturing_the_same_app_get_their_own_images(window, tools, tmp_path):
    # Both tools write before either capture reads, each the pid of its capturing process: a
    # path the two shared would hand one of them the other's image.
    tools(
        f"import time\nGATE = {str(tmp_path)!r}\n"
        "def meet(step):\n"
        "    open(os.path.join(GATE, f'{os.getppid()}.{step}'), 'w').close()\n"
        "    deadline = time.monotonic() + 20\n"
        "    while (sum(n.endswith(step) for n in os.listdir(GATE)) < 2\n"
        "           and time.monotonic() < deadline):\n"
        "        time.sleep(0.01)\n"
        f"meet('started')\nopen(argv[-1], 'wb').write(png(str(os.getppid())))\nmeet('written')\n"
    )
    children = []
    for _ in range(2):
        read_end, write_end = os.pipe()
        child = os.fork()
        if child == 0:
            try:
                image = capture("app")
                os.write(write_end, image if isinstance(image, bytes) else image.encode())
            finally:
                os._exit(0)
        os.close(write_end)
        children.append((child, read_end))
    for child, read_end in children:
        with os.fdopen(read_end, "rb") as pipe:
            assert pipe.read() == png(str(child))
        os.waitpid(child, 0)
