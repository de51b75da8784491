"""Connecting: the pid, bundle and name lookups, their order, the permission check and the
record that comes out."""

import pytest

from pelorix import app
from simdesk import stand_in

NOT_ENABLED = "Accessibility not enabled. Enable in System Preferences > Privacy > Accessibility"


def bundle_script(literal):
    return (
        'tell application "System Events" to unix id of (processes whose bundle identifier is "'
        + literal
        + '")'
    )


@pytest.mark.parametrize(
    "output, outcome",
    [
        ("812\n1337\n", 812),
        (" \t4242 \r\n", 4242),
        ("+77", 77),
        ("", "Application not found: Finder"),
        ("\n812\n", "Application not found: Finder"),
        ("abc\n", "Failed to parse PID"),
        ("4242 4243\n", "Failed to parse PID"),
        ("2147483648\n", "Failed to parse PID"),
        ("0\n", "Failed to parse PID"),
        ("-1\n", "Failed to parse PID"),
    ],
)
def test_name_lookup(desktop, tmp_path, monkeypatch, output, outcome):
    pgrep = stand_in(tmp_path, monkeypatch, "pgrep", stdout=output, exit_code=1)
    if isinstance(outcome, int):
        assert app(name="Finder").pid == outcome
    else:
        with pytest.raises(RuntimeError) as caught:
            app(name="Finder")
        assert str(caught.value) == outcome
    assert pgrep.calls == [["-x", "Finder"]]


@pytest.mark.parametrize(
    "name, pattern",
    [
        ("Finder", "Finder"),
        ("Google Chrome", "Google Chrome"),
        (".*", r"\.\*"),
        ("a+b (beta)?", r"a\+b \(beta\)\?"),
        ("[x]{2}|^y$", r"\[x\]\{2\}\|\^y\$"),
        ("back\\slash", r"back\\slash"),
        # A leading dash would be read as an option (-v inverts the match).
        ("-v", "[-]v"),
        ("a-b", "a-b"),
    ],
)
def test_names_reach_pgrep_as_literal_patterns(desktop, tmp_path, monkeypatch, name, pattern):
    """pgrep takes an extended regular expression: every character that means something there
    is escaped, so a name matches only a process of exactly that name."""
    pgrep = stand_in(tmp_path, monkeypatch, "pgrep", stdout="4242\n")
    assert app(name=name).pid == 4242
    assert pgrep.calls == [["-x", pattern]]


def test_name_lookup_output_is_decoded_lossily(desktop, tmp_path, monkeypatch):
    stand_in(tmp_path, monkeypatch, "pgrep", script="sys.stdout.buffer.write(b'\\xff12\\n')")
    with pytest.raises(RuntimeError, match="^Failed to parse PID$"):
        app(name="x")


@pytest.mark.parametrize(
    "output, outcome",
    [
        (" 4242 \n", 4242),
        ("missing value\n", "Application not found: com.example.App"),
        ("  \n", "Application not found: com.example.App"),
        ("123, 456\n", "Failed to parse PID"),
        ("4242\n4243\n", "Failed to parse PID"),
    ],
)
def test_bundle_lookup(desktop, tmp_path, monkeypatch, output, outcome):
    osascript = stand_in(tmp_path, monkeypatch, "osascript", stdout=output)
    if isinstance(outcome, int):
        connected = app(bundle_id="com.example.App")
        assert (connected.pid, connected.bundle_id) == (outcome, "com.example.App")
    else:
        with pytest.raises(RuntimeError) as caught:
            app(bundle_id="com.example.App")
        assert str(caught.value) == outcome
    assert osascript.calls == [["-e", bundle_script("com.example.App")]]


def test_a_hostile_bundle_id_is_looked_up_literally(desktop, tmp_path, monkeypatch):
    hostile = 'x") & (do shell script "touch /tmp/owned") & ("\\'
    osascript = stand_in(tmp_path, monkeypatch, "osascript", stdout="missing value")
    with pytest.raises(RuntimeError) as caught:
        app(bundle_id=hostile)
    assert str(caught.value) == "Application not found: " + hostile
    escaped = hostile.replace("\\", "\\\\").replace('"', '\\"')
    assert osascript.calls == [["-e", bundle_script(escaped)]]


def test_an_identifier_with_nul_matches_nothing_and_runs_nothing(desktop, tmp_path, monkeypatch):
    pgrep = stand_in(tmp_path, monkeypatch, "pgrep", stdout="1\n")
    with pytest.raises(RuntimeError, match="^Application not found: a\x00b$"):
        app(name="a\x00b")
    assert pgrep.calls == []


@pytest.mark.parametrize("kwargs", [{"name": "Finder"}, {"bundle_id": "com.example.App"}])
def test_a_lookup_program_missing_from_path(desktop, tmp_path, monkeypatch, kwargs):
    monkeypatch.setenv("PATH", str(tmp_path))
    with pytest.raises(RuntimeError) as caught:
        app(**kwargs)
    assert str(caught.value) == "No such file or directory (os error 2)"


def test_a_chatty_lookup_cannot_stall(desktop, tmp_path, monkeypatch):
    stand_in(
        tmp_path,
        monkeypatch,
        "pgrep",
        script="sys.stderr.write('e' * (4 << 20)); sys.stdout.write('4242\\n' + 'x' * (4 << 20))",
    )
    assert app(name="Finder").pid == 4242


def test_precedence_pid_then_bundle_then_name(desktop, tmp_path, monkeypatch):
    pgrep = stand_in(tmp_path, monkeypatch, "pgrep", stdout="1\n")
    osascript = stand_in(tmp_path, monkeypatch, "osascript", stdout="2\n")
    assert app(name="X", pid=123).pid == 123
    assert app(name="X", bundle_id="Y", pid=5).bundle_id == "Y"
    assert (pgrep.calls, osascript.calls) == ([], [])
    assert app(name="X", bundle_id="Y").pid == 2
    assert (pgrep.calls, len(osascript.calls)) == ([], 1)
    assert app(name="X").bundle_id is None


def test_permission_is_checked_after_the_lookup(desktop, tmp_path, monkeypatch):
    desktop.set_trusted(False)
    stand_in(tmp_path, monkeypatch, "pgrep", script="print('4242' if argv[-1] == 'Found' else '')")
    with pytest.raises(RuntimeError, match="^Application not found: Missing$"):
        app(name="Missing")
    for kwargs in ({"name": "Found"}, {"pid": 4242}):
        with pytest.raises(RuntimeError) as caught:
            app(**kwargs)
        assert str(caught.value) == NOT_ENABLED


def test_element_creation_failure(desktop):
    desktop.fail_create_application(4242)
    with pytest.raises(RuntimeError) as caught:
        app(pid=4242)
    assert str(caught.value) == "macOS API error: Failed to create element for pid 4242"


@pytest.mark.parametrize("pid", [0, 2**31, 2**32 - 1])
def test_pids_that_name_no_single_process_are_refused(desktop, pid):
    with pytest.raises(ValueError) as caught:
        app(pid=pid)
    assert str(caught.value) == f"Invalid pid: {pid} (a process id is from 1 to 2147483647)"


def test_the_record(desktop):
    connected = app(pid=2**31 - 1, bundle_id="b")
    assert (connected.pid, connected.bundle_id) == (2**31 - 1, "b")
    assert type(connected.pid) is int
    for name in ("pid", "bundle_id"):
        with pytest.raises(AttributeError):
            setattr(connected, name, 1)
    # No lookup of a live process: any pid the platform makes an element for connects.
    assert app(pid=999999).pid == 999999
