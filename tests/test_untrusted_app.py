"""Applications are untrusted input: an application that answers wrongly, late, hugely or not at
all never crashes, hangs or misleads pelorix.

Each case starts the fake application of harness/apps/fake_atspi_app.py with a scenario and
drives it from a child interpreter (a crash there fails the case instead of ending the run),
which reports what every call gave, how long the calls took, how much the process grew, whether
platform objects are left alive, and whether a real application (the GTK 3 fixture) still
answers afterwards.
"""

import json
import re
import subprocess

import pytest

from realdesk import APPS, SYSTEM_PYTHON, TOOLKITS, launch_fake_app, launch_fixture, sanitized
from simdesk import run_python

pytestmark = pytest.mark.desktop

ROLE_FRAME, ROLE_BUTTON, ROLE_LABEL, ROLE_PANEL = 23, 43, 29, 39
STATE_ACTIVE, STATE_ENABLED, STATE_SENSITIVE, STATE_SHOWING, STATE_VISIBLE = 1, 8, 24, 25, 30
REGISTRY_ROOT = {"ref": ["org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"]}

# Every AT-SPI call waits at most a second (docs/atspi-mapping.md); a read makes up to three.
CALL_S = 1.0


SLOWDOWN = 4 if sanitized() else 1
NOT_FOUND = "^Element not found: title:Nowhere$"


def scenario(odd=None, win=None, **extra):
    """A window holding the misbehaving element "odd" (a label, identifier "odd") before a
    well-behaved button "Fine button"; `odd` and `win` change those nodes."""
    nodes = {
        "root": {"role": 75, "name": "fake", "children": ["win"]},
        "win": {
            "role": ROLE_FRAME,
            "name": "Fake window",
            "states": [STATE_ACTIVE, STATE_ENABLED, STATE_SENSITIVE, STATE_SHOWING, STATE_VISIBLE],
            "children": ["odd", "ok"],
        },
        "odd": {"role": ROLE_LABEL, "name": "Odd one", "id": "odd"},
        "ok": {"role": ROLE_BUTTON, "name": "Fine button", "id": "ok"},
    }
    nodes["odd"].update(odd or {})
    nodes["win"].update(win or {})
    return {"nodes": nodes, **extra}


def answer(member, **behaviour):
    return {"answers": {member: behaviour}}


FIND_FINE = "app.find('title:Fine', timeout_ms=0).title()"
FIND_NOWHERE = "app.find('title:Nowhere', timeout_ms=0)"
ODD = "odd"


def returns(value):
    return ["returns", value]


def raises(pattern):
    return ["raises", pattern]


# (case, scenario, [(expression, expected outcome)], seconds the expressions may take together)
CASES = [
    # Replies of the wrong D-Bus type or signature read as no value; the rest of the tree reads.
    ("role not a number", scenario(answer("GetRole", reply=["(s)", ["push button"]])),
     [(f"{ODD}.role()", returns(None)), ("app.find('role:AXButton').title()", returns("Fine button"))], 3 * CALL_S),
    ("states not a bit set", scenario(answer("GetState", reply=["(u)", [7]])),
     [(f"{ODD}.role()", returns(None)), (f"{ODD}.enabled()", returns(False)), (FIND_FINE, returns("Fine button"))], 3 * CALL_S),
    ("name not a string", scenario(answer("Name", variant=["i", 42])),
     [(f"{ODD}.title()", returns(None)), (FIND_FINE, returns("Fine button"))], 3 * CALL_S),
    ("property reply without a variant", scenario(answer("Name", reply=["(s)", ["Odd one"]])),
     [(f"{ODD}.title()", returns(None)), (FIND_FINE, returns("Fine button"))], 3 * CALL_S),
    ("extents not a rectangle", scenario(answer("GetExtents", reply=["(iiii)", [1, 2, 3, 4]])),
     [(f"{ODD}.bounds()", returns(None)), (f"{ODD}.title()", returns("Odd one"))], 3 * CALL_S),
    ("child count not a number", scenario(win=answer("ChildCount", variant=["s", "2"])),
     [(FIND_NOWHERE, raises(NOT_FOUND)), ("[w.title() for w in app.windows()]", returns(["Fake window"]))], 3 * CALL_S),
    # Child counts that lie.
    ("more children counted than listed", scenario(win={"child_count": 7}),
     [(FIND_FINE, returns("Fine button")), (FIND_NOWHERE, raises(NOT_FOUND))], 3 * CALL_S),
    ("negative child count", scenario(win={"child_count": -1}),
     [(FIND_NOWHERE, raises(NOT_FOUND)), ("app.main_window().title()", returns("Fake window"))], 3 * CALL_S),
    ("most negative child count", scenario(win={"child_count": -(2**31)}),
     [(FIND_NOWHERE, raises(NOT_FOUND))], 3 * CALL_S),
    ("child count 2^31-1, every index answered", scenario(win={"child_count": 2**31 - 1, "every_child": "ok"}),
     [(FIND_NOWHERE, raises(NOT_FOUND)), ("app.main_window().title()", returns("Fake window"))], 8 * CALL_S),
    # Children that are not objects, or not this application's.
    ("child reference not an object", scenario(win=answer("GetChildAtIndex", reply=["(s)", ["ok"]])),
     [(FIND_NOWHERE, raises(NOT_FOUND)), ("app.main_window().title()", returns("Fake window"))], 3 * CALL_S),
    ("bulk children not objects", scenario(win=answer("GetMatches", reply=["(as)", [["odd", "ok"]]]), collection=True),
     [(FIND_FINE, returns("Fine button")), (FIND_NOWHERE, raises(NOT_FOUND))], 3 * CALL_S),
    ("children on no connection", scenario(win={"children": [{"ref": [":1.999999", "/x"]}, "odd", "ok"]}),
     [(FIND_FINE, returns("Fine button")), (FIND_NOWHERE, raises(NOT_FOUND))], 3 * CALL_S),
    ("another application's element as a child", scenario(win={"children": ["odd", REGISTRY_ROOT, "ok"]}),
     [("app.find('title:Press me', timeout_ms=0)", raises("^Element not found: title:Press me$")),
      (FIND_FINE, returns("Fine button"))], 4 * CALL_S),
    # Cycles: an element among its own descendants, an element its own parent and child.
    ("element among its descendants", scenario(odd={"children": ["win"]}),
     [(FIND_NOWHERE, raises(NOT_FOUND)), (FIND_FINE, returns("Fine button"))], 4 * CALL_S),
    ("element its own child", scenario(odd={"children": ["odd"]}),
     [(FIND_NOWHERE, raises(NOT_FOUND)), (FIND_FINE, returns("Fine button"))], 4 * CALL_S),
    ("element its own parent", scenario(odd={"parent": "odd"}),
     [(f"{ODD}.click(mode=pelorix.FOCUS)", raises("Cannot complete|not supported|Failed")),
      ("app.find('role:AXWindow').title()", returns("Fake window"))], 4 * CALL_S),
    # A flood of change signals while the caller reads.
    ("flood of change signals", scenario(flood={"count": 300_000, "on": "GetRole"}),
     [(f"{ODD}.role()", returns("AXStaticText")),
      (f"sum({ODD}.title() == 'Odd one' for _ in range(300))", returns(300))], 10 * CALL_S),
    # Huge and ill-formed text.
    ("name of 3 MB", scenario(odd={"name": {"repeat": ["Odd ", 750_000]}}),
     [(f"len({ODD}.title())", returns(3_000_000)), (FIND_FINE, returns("Fine button"))], 4 * CALL_S),
    ("name not UTF-8", scenario(answer("Name", raw_string="4f6464ff fe6f6e65".replace(" ", ""))),
     [(f"{ODD}.title()", returns(None)), (f"{ODD}.exists()", returns(False))], 3 * CALL_S),
    # Replies that never come, come late, or stop with the process or its connection.
    ("reply never comes", scenario(answer("GetRole", never=True)),
     [(f"{ODD}.role()", returns(None)), (f"{ODD}.title()", returns("Odd one"))], 3 * CALL_S),
    ("reply after the time-out", scenario(answer("GetRole", delay_ms=int(1500 * CALL_S))),
     [(f"{ODD}.role()", returns(None)), (f"{ODD}.title()", returns("Odd one")), ("__import__('time').sleep(0.7)", returns(None)),
      (f"{ODD}.title()", returns("Odd one")), ("app.find('role:AXButton').title()", returns("Fine button"))], 5 * CALL_S),
    ("process exits mid-call", scenario(answer("Name", exit=True)),
     [(f"{ODD}.title()", returns(None)), (f"{ODD}.exists()", returns(False)), ("app.windows()", raises("."))], 3 * CALL_S),
    ("connection closed mid-call", scenario(answer("Name", close=True)),
     [(f"{ODD}.title()", returns(None)), (f"{ODD}.exists()", returns(False)), ("app.windows()", raises("."))], 3 * CALL_S),
]

CHILD = """
import gc, json, resource, time
import pelorix
from pelorixkit import pointer as POINTER
from simdesk import Desktop

def rss_mb():
    with open("/proc/self/status") as status:
        return next(int(l.split()[1]) for l in status if l.startswith("VmRSS:")) / 1024

def outcome(expression):
    try:
        value = eval(expression)
    except RuntimeError as error:
        return ["raises", str(error)]
    if isinstance(value, list):
        value = [v.title() if isinstance(v, pelorix.AXElement) else v for v in value]
    if isinstance(value, pelorix.AXElement):
        value = value.title()
    return ["returns", value]

def interrupted(expression, after_s):
    # Ctrl-C's own handler, run by a signal `after_s` into the expression.
    import signal
    signal.signal(signal.SIGALRM, signal.default_int_handler)
    signal.setitimer(signal.ITIMER_REAL, after_s)
    try:
        eval(expression)
    except KeyboardInterrupt:
        return "KeyboardInterrupt"
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
    return "went on"

app = pelorix.app(pid={fake})
try:
    odd = app.find("id:odd", timeout_ms=0)
except RuntimeError:
    odd = None
base = rss_mb()
began = time.monotonic()
outcomes = [outcome(e) for e in {expressions}]
elapsed = time.monotonic() - began
grown = rss_mb() - base
del app, odd
gc.collect()
live = {{k: n for k, n in Desktop().stats()["live"].items() if n}}
real = pelorix.app(pid={real}).find("role:AXButton title:Press", timeout_ms=2000).title()
print(json.dumps(dict(outcomes=outcomes, elapsed=elapsed, grown=grown, live=live, real=real), default=repr))
"""


@pytest.fixture(scope="module")
def real_app():
    started = launch_fixture(TOOLKITS["gtk3"])
    yield started
    started.stop()


def drive(fake, real, expressions, timeout, env=None):
    code = CHILD.format(fake=fake.pid, real=real.pid, expressions=repr(expressions))
    try:
        return json.loads(run_python(code, env=env, timeout=timeout))
    except subprocess.TimeoutExpired:
        pytest.fail(f"{expressions} had not ended after {timeout:.0f} s", pytrace=False)


@pytest.mark.parametrize("case, setup, steps, bound", CASES, ids=[case[0] for case in CASES])
def test_misbehaving_application(case, setup, steps, bound, real_app):
    fake = launch_fake_app(setup)
    env = {"PELORIX_ATSPI_BATCH": "0"} if setup.get("live_reads") else None
    try:
        report = drive(fake, real_app, [expression for expression, _ in steps],
                       timeout=bound * SLOWDOWN + 30, env=env)
    finally:
        fake.stop()
    check(report, steps, bound)


def check(report, steps, bound):
    """Each call gave what was expected, all within `bound` seconds, without leaving platform
    objects alive or growing the process much, and a real application still answers."""
    for (expression, expected), got in zip(steps, report["outcomes"]):
        if expected[0] == "raises":
            assert got[0] == "raises", f"{expression} gave {got}"
            assert re.search(expected[1], got[1]), f"{expression} gave {got}"
        else:
            assert got == expected, f"{expression} gave {got!r:.200}"
    assert report["elapsed"] < bound * SLOWDOWN, f"the calls took {report['elapsed']:.2f} s"
    assert report["live"] == {}, "platform references left alive"
    assert report["grown"] < 100, f"the process grew by {report['grown']:.0f} MB"
    assert report["real"] == "Press me"


def gtk3(cache=None, **extra):
    """The scenario tree, described as GTK 3 describes itself (bulk replies and Collection)."""
    return scenario(toolkit=["gtk", "3.24.38"], collection=True, cache=cache or {}, **extra)


NO_BULK_PATH = "the backend asks no application for bulk replies (Cache.GetItems)"

# Bulk replies (Cache.GetItems) that are cut short or contradict themselves: what they say
# wrongly is not believed, and the well-formed part of the tree still reads.
BULK_CASES = [
    ("truncated", gtk3({"keep": 2})),
    ("not the item signature", gtk3({"answers": {"GetItems": {"reply": ["(a((so)(so)))", [[]]]}}})),
    ("an element its own parent", gtk3({"override": {"odd": {"parent": "odd"}}})),
    ("a child count of 2^31-1", gtk3({"override": {"win": {"child_count": 2**31 - 1}}})),
    ("parents and indexes that contradict the tree",
     gtk3({"override": {"ok": {"parent": {"ref": [":1.999999", "/x"]}, "index": 7}}, "extra": [{"node": "ok", "name": "Liar", "parent": "root"}]})),
    ("reply never comes", gtk3({"answers": {"GetItems": {"never": True}}})),
]


# Whether the backend asked for a bulk reply in the first case: when it did not, it has no
# bulk reader and the other cases need not start their applications to find that out again.
bulk_path = {}


@pytest.mark.parametrize("case, setup", BULK_CASES, ids=[case[0] for case in BULK_CASES])
def test_misbehaving_bulk_reply(case, setup, real_app, tmp_path):
    if bulk_path.get("asked") is False:
        pytest.skip(NO_BULK_PATH)
    log = tmp_path / "calls"
    setup = {**setup, "log_calls": str(log)}
    steps = [(FIND_FINE, returns("Fine button")), (FIND_NOWHERE, raises(NOT_FOUND)),
             ("app.find('title:Liar', timeout_ms=0)", raises("^Element not found: title:Liar$")),
             ("[w.title() for w in app.windows()]", returns(["Fake window"]))]
    fake = launch_fake_app(setup)
    try:
        report = drive(fake, real_app, [expression for expression, _ in steps], timeout=40)
    finally:
        fake.stop()
    bulk_path["asked"] = "GetItems" in log.read_text(encoding="utf-8").split()
    if not bulk_path["asked"]:
        pytest.skip(NO_BULK_PATH)
    check(report, steps, bound=6 * CALL_S)


def browser_like(descendants, panels=120):
    """A window of `panels` panels holding a button each, the first one "Deep target", described
    as a browser describes itself (Gecko, Collection), whose bridge lists the descendants of an
    element as `descendants` says."""
    nodes = {"root": {"role": 75, "name": "fake", "children": ["win"]},
             "win": {"role": ROLE_FRAME, "name": "Fake window", "children": [f"p{i}" for i in range(panels)]}}
    for i in range(panels):
        nodes[f"p{i}"] = {"role": ROLE_PANEL, "children": [f"b{i}"]}
        nodes[f"b{i}"] = {"role": ROLE_BUTTON, "name": "Deep target" if i == 0 else f"Button {i}"}
    return {"toolkit": ["Gecko", "115.0"], "collection": True, "descendants": descendants, "nodes": nodes}


# A browser's tree is read with its outline: one Collection request that lists everything below
# an element in walk order, from which leaves and only children are not asked. A bridge that
# lists in another order, or only the children, must not have a subtree taken for a leaf.
OUTLINE_CASES = [("depth first, as the browsers list", "depth_first"),
                 ("breadth first", "breadth_first"),
                 ("the children only, whatever is asked", None)]


@pytest.mark.parametrize("case, descendants", OUTLINE_CASES, ids=[case[0] for case in OUTLINE_CASES])
def test_an_outline_listed_otherwise_hides_no_subtree(case, descendants, real_app, tmp_path):
    log = tmp_path / "calls"
    setup = {**browser_like(descendants), "log_calls": str(log)}
    steps = [("app.find('title:Deep target', timeout_ms=0).title()", returns("Deep target")),
             (FIND_NOWHERE, raises(NOT_FOUND))]
    fake = launch_fake_app(setup)
    try:
        report = drive(fake, real_app, [expression for expression, _ in steps], timeout=40)
    finally:
        fake.stop()
    check(report, steps, bound=3 * CALL_S)
    if descendants == "depth_first":
        # The outline was used: neither the panels (one child each) nor the buttons (none)
        # were asked for their children, in either search (each reads all 242 elements).
        assert log.read_text(encoding="utf-8").split().count("GetChildren") < 50


def test_a_misbehaving_bystander_does_not_reach_other_applications():
    """An application nobody asked about, registered before the one a script works with, whose
    bulk reply would crash a reader that trusts it, leaves that work alone."""
    fake = launch_fake_app(gtk3({"answers": {"GetItems": {"reply": ["(a(i))", [[[5]]]]}}}))
    real = subprocess.Popen([SYSTEM_PYTHON, str(APPS / TOOLKITS["gtk3"].script)],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # The child waits for the application itself: this interpreter must not meet the
        # misbehaving one on the way.
        code = f"""
import pelorix
button = pelorix.app(pid={real.pid}).find("role:AXButton title:Press", timeout_ms=20000)
print(button.title(), button.role())
"""
        assert run_python(code, timeout=40).split() == ["Press", "me", "AXButton"]
    finally:
        fake.stop()
        real.kill()
        real.wait()


# Trees, counts and replies without end or limit: every call ends within its own limit and a
# fixed margin (three seconds), whatever the application describes.
ENDLESS = dict(endless=True)
FOCUSABLE_BUTTON = {"role": ROLE_BUTTON, "focusable": True, "actions": {"count": 1, "names": ["click"]}}
BOUNDED_CASES = [
    ("endless tree", scenario(win={"children": ["odd", "ok", "g0"]}, width=3, **ENDLESS),
     [("app.find('title:Nowhere', timeout_ms=100)", raises(NOT_FOUND)), (FIND_FINE, returns("Fine button"))],
     5 * CALL_S),
    ("endlessly wide tree, a wait", scenario(win={"children": ["odd", "ok", "g0"]}, width=2000, **ENDLESS),
     [("app.wait_for_idle(100)", returns(False))], 5 * CALL_S),
    ("endlessly wide tree, a test", scenario(win={"children": ["odd", "ok", "g0"]}, width=2000, **ENDLESS),
     [("app.is_idle() in (True, False)", returns(True))], 5 * CALL_S),
    ("endless parent chain", scenario(odd={"parent": "up0", **FOCUSABLE_BUTTON}, **ENDLESS),
     [(f"{ODD}.click(mode=pelorix.FOCUS)", returns(None))], 4 * CALL_S),
    ("Ctrl-C in a search of an endless tree", scenario(win={"children": ["odd", "ok", "g0"]}, width=3, **ENDLESS),
     [("interrupted(\"app.find('title:Nowhere', timeout_ms=60000)\", 0.5)", returns("KeyboardInterrupt")),
      ("interrupted('app.wait_for_idle(60000)', 0.5)", returns("KeyboardInterrupt")),
      (FIND_FINE, returns("Fine button"))], 3 * CALL_S),
    ("2^31-1 actions", scenario(odd={"role": ROLE_BUTTON, "actions": {"count": 2**31 - 1}}),
     [(f"{ODD}.click()", raises(".")), (FIND_FINE, returns("Fine button"))], 3 * CALL_S),
    ("5,000 label elements", scenario(odd={"labelled_by": {"count": 5_000, "target": "ok"}}),
     [(f"{ODD}.label()", returns(" ".join(["Fine button"] * 16)))], 3 * CALL_S),
    ("20,000 state words", scenario(odd={"state_words": 20_000}),
     [(f"{ODD}.role()", returns("AXStaticText")), (f"{ODD}.enabled()", returns(True))], 3 * CALL_S),
    ("an element of 32768x32768 pixels", scenario(odd={"extents": [0, 0, 32768, 32768]}),
     [(f"len({ODD}.screenshot()) > 0", returns(True))], 3 * CALL_S),
    # Positions and sizes at the ends of 32 bits: sums and centres that would overflow.
    ("geometry at the ends of 32 bits",
     scenario(win={"extents": [2**31 - 1, -(2**31), 2**31 - 1, 2**31 - 1]},
              odd={"extents": [-(2**31), 2**31 - 1, 2**31 - 1, 2**31 - 1]}),
     [(f"{ODD}.bounds()", returns([-(2**31), 2**31 - 1, 2**31 - 1, 2**31 - 1])),
      (f"{ODD}.screenshot()", raises(".")), (f"POINTER.click({ODD})", raises("not a usable screen area")),
      ("app.screenshot()", raises(".")), ("[w.bounds() for w in app.windows()]", returns([[2**31 - 1, -(2**31), 2**31 - 1, 2**31 - 1]]))],
     3 * CALL_S),
    # Not a size, but a value cut short where the toolkit takes it as a C string.
    ("a NUL in a value", scenario(odd={"role": 61, "editable": True, "text": "before", "states": [7, 8, 24, 25, 30]}),
     [(f"{ODD}.set_value('abc\\x00def')", raises(".")), (f"{ODD}.value()", returns("before")),
      (f"{ODD}.set_value('after')", returns(None)), (f"{ODD}.value()", returns("after"))], 3 * CALL_S),
    # Read live: the batched reads already give up on an application after its first time-out.
    ("every reply late", scenario(delay_all_ms=int(1500 * CALL_S), live_reads=True),
     [(FIND_FINE, raises("^Element not found")), ("app.windows()", raises(".")),
      ("app.find('title:Fine', timeout_ms=2000)", raises("^Element not found"))], 10 * CALL_S),
]


@pytest.mark.parametrize("case, setup, steps, bound", BOUNDED_CASES, ids=[case[0] for case in BOUNDED_CASES])
def test_every_call_ends_within_its_limit(case, setup, steps, bound, real_app):
    test_misbehaving_application(case, setup, steps, bound, real_app)


def test_a_forked_child_reads_on_a_connection_of_its_own(real_app):
    """Parent and child both read after a fork; sharing one connection, each would take some
    of the other's replies and lose its own."""
    fake = launch_fake_app(scenario())
    code = f"""
import json, os
import pelorix
odd = pelorix.app(pid={fake.pid}).find("id:odd", timeout_ms=0)
child = os.fork()
failed = sum(odd.title() != "Odd one" or odd.role() != "AXStaticText" for _ in range(200))
if child == 0:
    os._exit(min(failed, 100))
_, status = os.waitpid(child, 0)
print(json.dumps([failed, os.waitstatus_to_exitcode(status)]))
"""
    try:
        assert json.loads(run_python(code, timeout=60 * SLOWDOWN)) == [0, 0]
    finally:
        fake.stop()


KILL_PELORIX_X_CLIENT = """
import ctypes, os

class ClientIdSpec(ctypes.Structure):
    _fields_ = [("client", ctypes.c_ulong), ("mask", ctypes.c_uint)]

class Value(ctypes.Structure):
    _fields_ = [("spec", ClientIdSpec), ("length", ctypes.c_long), ("value", ctypes.c_void_p)]

xlib, xres = ctypes.CDLL("libX11.so.6"), ctypes.CDLL("libXRes.so.1")
xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
xlib.XKillClient.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
xres.XResQueryClientIds.argtypes = [ctypes.c_void_p, ctypes.c_long, ctypes.POINTER(ClientIdSpec),
                                    ctypes.POINTER(ctypes.c_long), ctypes.POINTER(ctypes.POINTER(Value))]
xres.XResGetClientPid.argtypes = [ctypes.POINTER(Value)]
xres.XResClientIdsDestroy.argtypes = [ctypes.c_long, ctypes.POINTER(Value)]
xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = xlib.XOpenDisplay(None)

def own_clients():
    every = ClientIdSpec(0, 2)  # all clients, with their pids
    count, ids = ctypes.c_long(), ctypes.POINTER(Value)()
    xres.XResQueryClientIds(display, 1, ctypes.byref(every), ctypes.byref(count), ctypes.byref(ids))
    found = {{ids[i].spec.client for i in range(count.value) if xres.XResGetClientPid(ids[i]) == os.getpid()}}
    xres.XResClientIdsDestroy(count, ids)
    return found

mine = own_clients()
app = __import__("pelorix").app(pid={real})
shots = [len(app.screenshot()) > 0]
killed = own_clients() - mine
for client in killed:
    xlib.XKillClient(display, client)
xlib.XSync(display, 0)
for _ in range(2):
    try:
        shots.append(len(app.screenshot()) > 0)
    except RuntimeError as error:
        shots.append(str(error))
# The killed connection is gone: one of pelorix's now is a new one (its id may be reused).
reopened = bool(own_clients() - mine)
xlib.XCloseDisplay(display)
print(__import__("json").dumps([shots, len(killed), reopened]))
"""


def test_a_lost_x_connection_is_an_error_then_opened_again(real_app):
    """The X server closes pelorix's connection (a KillClient, as when the server goes away):
    the request that meets it fails, the interpreter goes on, and a new connection is opened,
    within the same call when it has more to ask of the server (a screenshot first looks for
    popup windows, then captures), else by the next call."""
    shots, killed, reopened = json.loads(run_python(KILL_PELORIX_X_CLIENT.format(real=real_app.pid),
                                                    timeout=60))
    assert killed >= 1 and reopened
    assert shots[0] is True and shots[2] is True
    assert shots[1] in (True, "macOS API error: Screenshot failed")


LOSE_THE_ACCESSIBILITY_BUS = """
import json, os, subprocess, tempfile
import pelorix
from realdesk import TOOLKITS, launch_fixture

# The programs started here (the bus, its registry, the fixture) run uninstrumented, as the
# suite's own do.
os.environ.pop("LD_PRELOAD", None)
folder = tempfile.TemporaryDirectory()
os.environ["AT_SPI_BUS_ADDRESS"] = f"unix:path={folder.name}/bus"

def start_bus():
    bus = subprocess.Popen(["dbus-daemon", "--config-file=/usr/share/defaults/at-spi2/accessibility.conf",
                            "--nofork", "--print-address", "--address=" + os.environ["AT_SPI_BUS_ADDRESS"]],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    bus.stdout.readline()
    return bus

def outcome(call):
    try:
        return call()
    except RuntimeError as error:
        return "RuntimeError"

bus = start_bus()
fixture = launch_fixture(TOOLKITS["gtk3"])
app = pelorix.app(pid=fixture.pid)
button = app.find("role:AXButton title:Press", timeout_ms=5000)
seen = [button.title()]
bus.kill()
bus.wait()
seen += [outcome(button.title), outcome(lambda: app.find("role:AXButton", timeout_ms=500)),
         outcome(lambda: len(app.windows())), outcome(lambda: app.is_idle() in (True, False))]
fixture.stop()
bus = start_bus()
fixture = launch_fixture(TOOLKITS["gtk3"])
seen.append(pelorix.app(pid=fixture.pid).find("role:AXButton title:Press", timeout_ms=5000).title())
fixture.stop()
bus.kill()
bus.wait()
print(json.dumps(seen))
"""


def test_a_lost_accessibility_bus_is_an_error_then_opened_again(real_app):
    """The accessibility bus goes away under a connected script (its daemon ended): calls that
    need it fail or read as empty, nothing crashes, and once a bus answers at the address again
    the same process reaches the applications on it."""
    seen = json.loads(run_python(LOSE_THE_ACCESSIBILITY_BUS, timeout=90 * SLOWDOWN))
    assert seen == ["Press me", None, "RuntimeError", "RuntimeError", True, "Press me"]
