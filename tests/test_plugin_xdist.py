"""`pytest -n 4`: four workers, four private desktop sessions. While an application runs in
each of them at once, no worker sees another's application on its accessibility bus, and
the displays and buses all differ; afterwards nothing the sessions started is left.

The inner run uses `--dist each` so that every worker runs the test once, whatever the
scheduler would have made of four tests, and the four can wait for each other."""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

from test_kit_session import child_environ, live_in_groups

pytestmark = pytest.mark.desktop

WORKERS = 4

INNER = r'''
import json, os, time, pathlib
import pytest
import pelorix

SHARED = pathlib.Path(os.environ["SHARED"])
WORKERS = int(os.environ["WORKERS"])


def wait_for(suffix):
    deadline = time.monotonic() + 120
    while len(list(SHARED.glob(f"*.{suffix}"))) < WORKERS:
        assert time.monotonic() < deadline, f"not every worker got to {suffix}"
        time.sleep(0.1)


def test_workers_do_not_see_each_other(launch, desktop, worker_id):
    calculator = launch("galculator")
    mine = {"worker": worker_id, "pid": calculator.pid, "display": desktop.display,
            "bus": desktop.bus_address, "a11y": desktop.accessibility_address,
            "directory": str(desktop.directory), "groups": desktop.pids,
            "environ": [os.environ["DISPLAY"], os.environ["DBUS_SESSION_BUS_ADDRESS"],
                        os.environ["AT_SPI_BUS_ADDRESS"]]}
    (SHARED / f"{worker_id}.json").write_text(json.dumps(mine))
    wait_for("json")  # from here every worker's application runs
    others = [json.loads(p.read_text()) for p in SHARED.glob("*.json") if p.stem != worker_id]
    # Every pid gets an application object; one that is not on this accessibility bus cannot
    # answer for its windows.
    for other in others:
        with pytest.raises(RuntimeError, match="^Action failed: Cannot complete: AXWindows$"):
            pelorix.app(pid=other["pid"]).windows()
    assert [w.title() for w in pelorix.app(pid=calculator.pid).windows()] == ["galculator"]
    assert mine["environ"] == [desktop.display, desktop.bus_address, desktop.accessibility_address]
    (SHARED / f"{worker_id}.done").touch()
    wait_for("done")  # nobody ends its application while another still looks
'''


def test_four_workers_four_private_sessions(tmp_path):
    shared = tmp_path / "shared"
    shared.mkdir()
    (tmp_path / "pytest.ini").write_text("[pytest]\n")
    (tmp_path / "test_private.py").write_text(INNER)
    environ = child_environ(SHARED=str(shared), WORKERS=str(WORKERS))
    done = subprocess.run([sys.executable, "-m", "pytest", "-n", str(WORKERS), "--dist", "each",
                           "-p", "no:cacheprovider", "--desktop-required"], cwd=tmp_path, env=environ,
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stdout + done.stderr
    assert f"{WORKERS} passed" in done.stdout
    records = [json.loads(p.read_text()) for p in shared.glob("*.json")]
    assert len({r["worker"] for r in records}) == WORKERS
    for key in ("pid", "display", "bus", "a11y", "directory"):
        assert len({r[key] for r in records}) == WORKERS, key
    groups = {pid for r in records for pid in r["groups"]} | {r["pid"] for r in records}
    assert not live_in_groups(groups)
    assert not any(Path(r["directory"]).exists() for r in records)
