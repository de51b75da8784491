"""Drives the simulated desktop that pelorix runs against in tests, and fakes the programs it
starts.

The desktop lives inside the pelorix extension module itself; this module reaches it through
the C entry points the module exports for tests (JSON commands in, JSON out; and the idle
engine's tree fingerprint), so what a test builds is exactly what pelorix sees.
"""

from __future__ import annotations

import atexit
import ctypes
import enum
import gc
import json
import os
import secrets
import shutil
import subprocess
import sys
import tempfile
import textwrap
from pathlib import Path
from typing import Any, Callable, Iterable

import pytest


class AXError(enum.IntEnum):
    SUCCESS = 0
    FAILURE = -25200
    ILLEGAL_ARGUMENT = -25201
    INVALID_UI_ELEMENT = -25202
    INVALID_UI_ELEMENT_OBSERVER = -25203
    CANNOT_COMPLETE = -25204
    ATTRIBUTE_UNSUPPORTED = -25205
    ACTION_UNSUPPORTED = -25206
    NOTIFICATION_UNSUPPORTED = -25207
    NOT_IMPLEMENTED = -25208
    NOTIFICATION_ALREADY_REGISTERED = -25209
    NOTIFICATION_NOT_REGISTERED = -25210
    API_DISABLED = -25211
    NO_VALUE = -25212
    PARAMETERIZED_ATTRIBUTE_UNSUPPORTED = -25213
    NOT_ENOUGH_PRECISION = -25214


class SimDeskError(RuntimeError):
    """The simulated desktop refused a command."""


# --- Values -------------------------------------------------------------------------------


def point(x: float, y: float) -> dict:
    return {"point": [x, y]}


def size(width: float, height: float) -> dict:
    return {"size": [width, height]}


def rect(x: float, y: float, width: float, height: float) -> dict:
    return {"rect": [x, y, width, height]}


def status(code: int) -> dict:
    """An attribute whose read fails with `code`."""
    return {"status": int(code)}


def ticker(period_ms: int, prefix: str = "tick ") -> dict:
    """A text that reads "tick 0", "tick 1", ... one step every `period_ms`."""
    return {"ticker": period_ms, "prefix": prefix}


def utf16(text: str | Iterable[int], direct: bool | None = None) -> dict:
    """A text given as UTF-16 code units (a str may hold lone surrogates)."""
    if isinstance(text, str):
        data = text.encode("utf-16-le", "surrogatepass")
        units = [int.from_bytes(data[i : i + 2], "little") for i in range(0, len(data), 2)]
    else:
        units = [int(u) for u in text]
    encoded: dict = {"utf16": units}
    if direct is not None:
        encoded["direct"] = direct
    return encoded


def text(value: str, direct: bool) -> dict:
    """A text whose CFStringGetCStringPtr answer is forced (`direct`) instead of natural."""
    try:
        value.encode("utf-8")
    except UnicodeEncodeError:
        return utf16(value, direct)
    return {"str": value, "direct": direct}


def encode(value: Any) -> Any:
    """The harness encoding of a Python value (already encoded dicts pass through)."""
    if isinstance(value, Node):
        return {"element": value.id}
    if isinstance(value, str):
        try:
            value.encode("utf-8")
        except UnicodeEncodeError:
            return utf16(value)
        return value
    if value is None or isinstance(value, (bool, int, float, dict)):
        return value
    if isinstance(value, (list, tuple)):
        if value and all(isinstance(item, Node) for item in value):
            return {"elements": [item.id for item in value]}
        return {"array": [encode(item) for item in value]}
    raise TypeError(f"no simulated-desktop encoding for {value!r}")


def attribute_name(name: str) -> str:
    """`role_description` -> `AXRoleDescription`; names starting with AX are kept."""
    if name.startswith("AX"):
        return name
    return "AX" + "".join(part[:1].upper() + part[1:] for part in name.split("_"))


def encode_attrs(attrs: dict) -> dict:
    return {attribute_name(name): encode(value) for name, value in attrs.items()}


def node(
    role: str | None = None,
    title: str | None = None,
    children: Iterable[dict] = (),
    actions: dict | Iterable[str] | None = None,
    writable: dict | Iterable[str] | None = None,
    **attrs: Any,
) -> dict:
    """A tree description for add_app and add_nodes.

    Attribute keywords use snake case (`role_description=`) or AX names; `actions` and
    `writable` are {name: status} or a list of names that succeed."""
    node_attrs = {}
    if role is not None:
        node_attrs["AXRole"] = role
    if title is not None:
        node_attrs["AXTitle"] = encode(title)
    node_attrs.update(encode_attrs(attrs))
    desc: dict = {"attrs": node_attrs, "children": list(children)}
    if actions is not None:
        desc["actions"] = _statuses(actions)
    if writable is not None:
        desc["writable"] = _statuses(writable)
    return desc


def _statuses(statuses: dict | Iterable[str]) -> dict:
    if isinstance(statuses, dict):
        return {name: None if code is None else int(code) for name, code in statuses.items()}
    return {name: 0 for name in statuses}


def _preorder(desc: dict) -> list[dict]:
    out, pending = [], [desc]
    while pending:
        current = pending.pop()
        out.append(current)
        pending.extend(reversed(current.get("children", [])))
    return out


# --- The desktop --------------------------------------------------------------------------


def _library(path: str | os.PathLike | None) -> ctypes.CDLL:
    if path is None:
        import pelorix

        path = pelorix.__file__
    library = ctypes.CDLL(os.fspath(path))
    if not hasattr(library, "pelorix_simdesk_request"):
        raise RuntimeError(
            f"{path} was built without the simulated desktop: install it with "
            "`pip install --no-build-isolation -C cmake.define.PELORIX_SIMULATED_DESKTOP=ON .`"
        )
    library.pelorix_simdesk_request.argtypes = [ctypes.c_char_p]
    library.pelorix_simdesk_request.restype = ctypes.c_void_p
    library.pelorix_simdesk_free.argtypes = [ctypes.c_void_p]
    library.pelorix_simdesk_free.restype = None
    library.pelorix_simdesk_hash_tree.argtypes = [ctypes.c_int32, ctypes.POINTER(ctypes.c_uint64)]
    library.pelorix_simdesk_hash_tree.restype = ctypes.c_bool
    return library


class Node:
    """A handle on a node of the simulated desktop."""

    def __init__(self, desktop: "Desktop", node_id: int, attrs: dict | None = None):
        self.desktop = desktop
        self.id = node_id
        self.attrs = attrs or {}  # as created, for finding nodes again

    def __repr__(self) -> str:
        label = self.attrs.get("AXTitle") or self.attrs.get("AXRole") or ""
        return f"<Node {self.id} {label}>"

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Node) and other.id == self.id

    def __hash__(self) -> int:
        return hash(self.id)

    def set(self, **attrs: Any) -> None:
        self.desktop.set(self, **attrs)

    def unset(self, *names: str) -> None:
        self.desktop.unset(self, *names)

    def add(self, *trees: dict, index: int | None = None) -> "Nodes":
        return self.desktop.add_nodes(self, *trees, index=index)

    def remove(self) -> None:
        self.desktop.remove(self)

    def info(self) -> dict:
        return self.desktop.request("node", node=self.id)


class Nodes(list):
    """Node handles in pre-order, the first being the root of what was added."""

    def find(self, **attrs: Any) -> Node:
        wanted = encode_attrs(attrs)
        for item in self:
            if all(item.attrs.get(name) == value for name, value in wanted.items()):
                return item
        raise LookupError(f"no node with {wanted}")


def built_in(path: str | os.PathLike | None = None) -> bool:
    """Whether the module carries the simulated desktop: builds for macOS do not, the system's
    accessibility is their only desktop."""
    if path is None:
        import pelorix

        path = pelorix.__file__
    return hasattr(ctypes.CDLL(os.fspath(path)), "pelorix_simdesk_request")


class Desktop:
    """The process-wide simulated desktop, seen through the pelorix module's harness."""

    def __init__(self, library: str | os.PathLike | None = None):
        self._library = _library(library)

    # The raw door: one command, its result or SimDeskError.
    def request(self, command: str, **fields: Any) -> Any:
        payload = json.dumps({"command": command, **fields}).encode()
        raw = self._library.pelorix_simdesk_request(payload)
        if not raw:
            raise MemoryError("the simulated desktop could not reply")
        try:
            reply = json.loads(ctypes.string_at(raw).decode())
        finally:
            self._library.pelorix_simdesk_free(raw)
        if "error" in reply:
            raise SimDeskError(f"{command}: {reply['error']}")
        return reply["result"]

    # Commands as dicts, shared by immediate calls and schedule().
    @staticmethod
    def command(name: str, **fields: Any) -> dict:
        out: dict = {"command": name}
        for key, value in fields.items():
            if isinstance(value, Node):
                value = value.id
            elif key == "attrs" and name == "set_attrs":
                value = encode_attrs(value)
            elif key == "children":
                value = [item.id if isinstance(item, Node) else item for item in value]
            out[key] = value
        return out

    def _run(self, name: str, **fields: Any) -> Any:
        command = self.command(name, **fields)
        del command["command"]
        return self.request(name, **command)

    def use(self) -> "Desktop":
        """Makes this the desktop pelorix sees, emptied."""
        self.request("use")
        return self

    def reset(self) -> None:
        self.request("reset")

    def release(self) -> None:
        """Gives pelorix back its default (empty) desktop."""
        self.request("release")

    def set_trusted(self, trusted: bool) -> None:
        self.request("set_trusted", trusted=trusted)

    def settings(self, **settings: Any) -> dict:
        """trusted, delay_us, fail_event_source, fail_keyboard_events, fail_pointer_events,
        record_reads. The failing events are indices counted from this call, in the order the
        events are made."""
        return self.request("settings", **settings)

    def add_app(self, pid: int, tree: dict | None = None) -> Nodes:
        tree = tree if tree is not None else node("AXApplication")
        ids = self.request("add_app", pid=pid, tree=tree)
        return self._handles(ids, [tree])

    def add_nodes(self, parent: Node | int, *trees: dict, index: int | None = None) -> Nodes:
        fields: dict = {"parent": parent, "nodes": list(trees)}
        if index is not None:
            fields["index"] = index
        return self._handles(self._run("add_nodes", **fields), trees)

    def _handles(self, ids: list[int], trees: Iterable[dict]) -> Nodes:
        described = [desc for tree in trees for desc in _preorder(tree)]
        return Nodes(Node(self, i, desc.get("attrs", {})) for i, desc in zip(ids, described))

    def remove(self, target: Node | int) -> None:
        self._run("remove", node=target)

    def set(self, target: Node | int, **attrs: Any) -> None:
        self._run("set_attrs", node=target, attrs=attrs)

    def unset(self, target: Node | int, *names: str) -> None:
        self._run("unset_attrs", node=target, names=[attribute_name(n) for n in names])

    def set_actions(self, target: Node | int, actions: dict | Iterable[str]) -> None:
        self._run("set_actions", node=target, actions=_statuses(actions))

    def set_writable(self, target: Node | int, attrs: dict | Iterable[str]) -> None:
        self._run("set_writable", node=target, attrs=_statuses(attrs))

    def set_pid_status(self, target: Node | int, code: int | None) -> None:
        self._run("set_pid_status", node=target, status=code)

    def set_children(
        self, target: Node | int, children: Iterable[Node | int], link: bool = False
    ) -> None:
        """The children of `target` become `children`, moved from their parents. With `link`
        they stay where they are as well (their AXParent unchanged) and may be `target` itself
        or one of its ancestors: a children cycle, as buggy toolkits make."""
        if link:
            self._run("set_children", node=target, children=list(children), link=True)
        else:
            self._run("set_children", node=target, children=list(children))

    def fail_create_application(self, pid: int, fail: bool = True) -> None:
        self.request("fail_create_application", pid=pid, fail=fail)

    def schedule(
        self,
        after_ms: int,
        command: str,
        every_ms: int | None = None,
        times: int | None = None,
        **fields: Any,
    ) -> int:
        """Applies a command (set_attrs, remove, add_nodes, ...) after `after_ms`, then every
        `every_ms` for `times` times (forever without `times`). Returns the schedule's id."""
        if "nodes" in fields:
            fields["nodes"] = list(fields["nodes"])
        extra: dict = {}
        if every_ms is not None:
            extra["every_ms"] = every_ms
        if times is not None:
            extra["times"] = times
        change = self.command(command, **fields)
        return self.request("schedule", after_ms=after_ms, change=change, **extra)

    def unschedule(self, schedule_id: int) -> bool:
        return self.request("unschedule", schedule=schedule_id)

    def log(self, kind: str | None = None, clear: bool = False, since: int = 0) -> list[dict]:
        """Records of what reached the desktop: {seq, t_ns, kind, node, pid, name, value,
        status}; kinds are read, write, action, get_pid, create_application, key, pointer,
        change. A key's value: {key_code, down, units, flags (only when set)}; a pointer event's:
        {event (move, left_down, left_up, left_dragged, right_down, right_up, other_down,
        other_up, scroll), x, y (not for scroll), button, click_state, units and wheel
        [vertical, horizontal] (scroll only), flags (only when set)}."""
        records = self.request("log", clear=clear, since=since)
        return [r for r in records if kind is None or r["kind"] == kind]

    def hash_tree(self, pid: int) -> int:
        """The idle engine's fingerprint of the application with `pid` (hashing reads the tree,
        so it shows in the log like any other reads)."""
        out = ctypes.c_uint64()
        if not self._library.pelorix_simdesk_hash_tree(pid, ctypes.byref(out)):
            raise SimDeskError(f"hash_tree: no element for pid {pid}")
        return out.value

    def stats(self) -> dict:
        return self.request("stats")

    def assert_balanced(self, baseline: dict | None = None) -> None:
        """Fails when platform objects are alive (beyond `baseline`, a stats() taken earlier)
        or the boolean constants hold extra references."""
        gc.collect()
        now = self.stats()
        base_live = baseline["live"] if baseline else {}
        problems = [
            f"{count - base_live.get(kind, 0)} {kind}"
            for kind, count in now["live"].items()
            if count != base_live.get(kind, 0)
        ]
        for which in ("true", "false"):
            key = f"{which}_extra_refs"
            extra = now[key] - (baseline[key] if baseline else 0)
            if extra:
                problems.append(f"{extra} extra reference(s) to kCFBoolean{which.title()}")
        if problems:
            raise AssertionError("platform references leaked: " + ", ".join(problems))


@pytest.fixture
def desktop(request):
    """The simulated desktop, in use and empty; at the end no platform object may be alive."""
    sim = Desktop().use()
    try:
        yield sim
        # The test's view of its fixtures outlives their teardown; objects a fixture handed to
        # the test (an AXApp, say) must not count as leaks.
        funcargs = getattr(request.node, "funcargs", {})
        for name in funcargs:
            if name != "desktop":
                funcargs[name] = None
        sim.assert_balanced()
    finally:
        sim.release()


# --- Real processes and stand-in programs -------------------------------------------------


class Process:
    def __init__(self, name: str, popen: subprocess.Popen, directory: str):
        self.name = name
        self.pid = popen.pid
        self._popen = popen
        self._directory = directory

    def wait(self, timeout: float | None = None) -> int:
        """Waits for the process to end by itself (reaping it); returns its exit status."""
        return self._popen.wait(timeout)

    def stop(self) -> None:
        if self._popen.poll() is None:
            self._popen.kill()
        self._popen.wait()
        shutil.rmtree(self._directory, ignore_errors=True)


def spawn_process(name: str | None = None, cleanup: Callable[[Callable], Any] | None = None):
    """Starts a long sleeping process whose process name (what `pgrep -x` matches) is `name`.

    It is stopped through `cleanup` (e.g. request.addfinalizer), or at exit.
    """
    name = name or "pxsim" + secrets.token_hex(4)
    if len(name) > 15 or "/" in name or not name:
        raise ValueError("a process name has 1 to 15 characters and no slash")
    sleep = shutil.which("sleep")
    if sleep is None:
        raise RuntimeError("no sleep program")
    directory = tempfile.mkdtemp(prefix="simdesk-")
    program = os.path.join(directory, name)
    # The kernel names a process after the file it executed, so a link is enough.
    os.symlink(os.path.realpath(sleep), program)
    popen = subprocess.Popen(
        [program, "86400"],
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )
    process = Process(name, popen, directory)
    (cleanup or atexit.register)(process.stop)
    return process


def run_python(code: str, env: dict | None = None, timeout: float = 60) -> str:
    """Runs `code` in a fresh interpreter that imports the same pelorix and this harness, with
    `env` added to the environment; returns its standard output, failing on a non-zero exit."""
    env = {**os.environ, **(env or {})}
    harness = os.path.dirname(os.path.abspath(__file__))
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [harness, env.get("PYTHONPATH")]))
    # An instrumented build needs the sanitizer runtime loaded first in the child as well. The
    # suite takes it out of the environment so other programs do not inherit it; put it back.
    with open("/proc/self/maps", encoding="utf-8") as maps:
        runtimes = {
            line.split()[-1]
            for line in maps
            if os.path.basename(line.split()[-1]).startswith(("libasan.so", "libubsan.so"))
        }
    if runtimes:
        env["LD_PRELOAD"] = ":".join(sorted(runtimes, key=lambda p: "libubsan" in p))
    done = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        env=env,
        stdin=subprocess.DEVNULL,
        capture_output=True,
        text=True,
        timeout=timeout,
    )
    if done.returncode != 0:
        raise AssertionError(f"child interpreter failed ({done.returncode}):\n{done.stderr}")
    return done.stdout


@pytest.fixture
def spawn(request):
    """spawn_process, stopped when the test ends."""

    def start(name: str | None = None) -> Process:
        return spawn_process(name, request.addfinalizer)

    return start


_STAND_IN = """\
#!{python}
import json, sys
with open({record!r}, "a", encoding="utf-8") as calls:
    calls.write(json.dumps(sys.argv[1:]) + "\\n")
argv = sys.argv[1:]
{script}
sys.stdout.write({stdout!r})
sys.stderr.write({stderr!r})
sys.stdout.flush()
sys.exit({exit_code})
"""


class StandIn:
    def __init__(self, path: Path, record: Path):
        self.path = path
        self._record = record

    @property
    def calls(self) -> list[list[str]]:
        """The arguments (without the program name) of every run, in order."""
        if not self._record.exists():
            return []
        lines = self._record.read_text(encoding="utf-8").splitlines()
        return [json.loads(line) for line in lines if line]


def stand_in(
    tmp_path: Path,
    monkeypatch: pytest.MonkeyPatch,
    name: str,
    stdout: str = "",
    exit_code: int = 0,
    script: str = "",
    stderr: str = "",
) -> StandIn:
    """Puts a program called `name` first on PATH that records its arguments, runs `script`
    (Python, with `argv` at hand), prints `stdout` and `stderr` and exits with `exit_code`."""
    directory = Path(tmp_path) / "stand-ins"
    directory.mkdir(exist_ok=True)
    record = directory / f"{name}.calls.jsonl"
    program = directory / name
    program.write_text(
        _STAND_IN.format(
            python=sys.executable,
            record=str(record),
            script=textwrap.dedent(script),
            stdout=stdout,
            stderr=stderr,
            exit_code=int(exit_code),
        ),
        encoding="utf-8",
    )
    program.chmod(0o755)
    path = os.environ.get("PATH", "")
    if not path.startswith(str(directory) + os.pathsep):
        monkeypatch.setenv("PATH", str(directory) + os.pathsep + path)
    return StandIn(program, record)
