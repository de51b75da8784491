"""is_running() and terminate() against real processes, and the kill command behind them."""

import signal

import pytest

from pelorix import app
from simdesk import stand_in


def test_a_live_process_runs_until_it_is_terminated(desktop, spawn):
    process = spawn()
    connected = app(pid=process.pid)
    assert connected.is_running() is True
    assert connected.terminate() is None
    assert process.wait(timeout=10) == -signal.SIGTERM
    assert connected.is_running() is False
    # Terminating what has already gone is not an error.
    assert connected.terminate() is None


def test_is_running_falls_back_to_kill(desktop, spawn, tmp_path, monkeypatch):
    process = spawn()
    process.stop()
    connected = app(pid=process.pid)
    kill = stand_in(tmp_path, monkeypatch, "kill", exit_code=0)
    assert connected.is_running() is True
    assert kill.calls == [["-0", str(process.pid)]]
    stand_in(tmp_path, monkeypatch, "kill", exit_code=1)
    assert connected.is_running() is False


def test_without_kill(desktop, spawn, tmp_path, monkeypatch):
    process = spawn()
    connected = app(pid=process.pid)
    monkeypatch.setenv("PATH", str(tmp_path))
    assert connected.is_running() is True  # the process table still answers
    with pytest.raises(RuntimeError) as caught:
        connected.terminate()
    assert str(caught.value) == "No such file or directory (os error 2)"
    process.stop()
    assert connected.is_running() is False


def test_terminate_runs_kill_with_the_pid_and_ignores_its_outcome(desktop, tmp_path, monkeypatch):
    kill = stand_in(tmp_path, monkeypatch, "kill", stderr="no such process", exit_code=1)
    assert app(pid=31337).terminate() is None
    assert kill.calls == [["31337"]]
