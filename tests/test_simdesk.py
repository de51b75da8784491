"""The test harness itself: it must reach the desktop pelorix really uses, and its fakes must
behave like the programs they replace."""

import subprocess

import pytest

import pelorix
from simdesk import SimDeskError, node, stand_in, utf16


@pytest.mark.parametrize("trusted", [True, False])
def test_trust_reaches_the_module(desktop, trusted):
    desktop.set_trusted(trusted)
    assert pelorix.is_accessibility_enabled() is trusted
    desktop.release()
    # Without the simulated desktop there is nothing to automate.
    assert pelorix.is_accessibility_enabled() is False
    desktop.use()


def test_values_round_trip_and_errors_raise(desktop):
    root, field = desktop.add_app(
        501, node("AXApplication", children=[node("AXTextField", value="a\ud800b")])
    )
    assert field.info()["attrs"]["AXValue"] == utf16("a\ud800b")
    assert field.info()["parent"] == root.id
    field.set(value="\u00e9t\u00e9", enabled=False)
    assert field.info()["attrs"] == {
        "AXRole": "AXTextField",
        "AXValue": "\u00e9t\u00e9",
        "AXEnabled": False,
    }
    with pytest.raises(SimDeskError, match="already has an application"):
        desktop.add_app(501)
    root.remove()
    with pytest.raises(SimDeskError, match="was removed"):
        field.set(title="x")


def test_stand_in_records_each_run(tmp_path, monkeypatch):
    fake = stand_in(
        tmp_path,
        monkeypatch,
        "pgrep",
        stdout="4242\n",
        exit_code=3,
        script="""
            if argv[-1] == "boom":
                sys.exit(9)
        """,
    )
    first = subprocess.run(["pgrep", "-x", "Safari"], capture_output=True, text=True)
    second = subprocess.run(["pgrep", "boom"], capture_output=True, text=True)
    assert (first.returncode, first.stdout) == (3, "4242\n")
    assert (second.returncode, second.stdout) == (9, "")
    assert fake.calls == [["-x", "Safari"], ["boom"]]


def test_spawned_process_is_found_by_name(spawn):
    process = spawn("pxsim-target")
    found = subprocess.run(["pgrep", "-x", "pxsim-target"], capture_output=True, text=True)
    assert str(process.pid) in found.stdout.split()
    process.stop()
    gone = subprocess.run(["pgrep", "-x", "pxsim-target"], capture_output=True, text=True)
    assert str(process.pid) not in gone.stdout.split()
