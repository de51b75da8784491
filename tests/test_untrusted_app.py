"""Applications are untrusted input: an application that answers wrongly, late, hugely or not at
all never crashes, hangs or misleads pelorix.

Each case starts the fake application of harness/apps/fake_atspi_app.py with a scenario and
drives it from a child interpreter (a crash there fails the case instead of ending the run),
which reports what every call gave, how long the calls took, how much the process grew, whether
platform objects are left alive, and whether a real application (the GTK 3 fixture) still
answers afterwards.
"""

import json
import time

import pytest

from realdesk import TOOLKITS, launch_fake_app, launch_fixture
from simdesk import run_python

pytestmark = pytest.mark.desktop

ROLE_FRAME, ROLE_BUTTON, ROLE_LABEL = 23, 43, 29
STATE_ACTIVE, STATE_ENABLED, STATE_SENSITIVE, STATE_SHOWING, STATE_VISIBLE = 1, 8, 24, 25, 30
REGISTRY_ROOT = {"ref": ["org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"]}

# Every AT-SPI call waits at most a second (docs/atspi-mapping.md); a read makes up to three.
CALL_S = 1.0
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
ODD = "app.find('id:odd', timeout_ms=0)"


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
    ("element its own parent and child", scenario(odd={"children": ["odd"], "parent": "odd"}),
     [(FIND_NOWHERE, raises(NOT_FOUND)), (f"{ODD}.click(mode=pelorix.FOCUS)", raises("Cannot complete|not supported|Failed"))],
     4 * CALL_S),
    # Huge and ill-formed text.
    ("name of 8 MB", scenario(odd={"name": {"repeat": ["Odd ", 2_000_000]}}),
     [(f"len({ODD}.title())", returns(8_000_000)), (FIND_FINE, returns("Fine button"))], 4 * CALL_S),
    ("name not UTF-8", scenario(answer("Name", raw_string="4f6464ff fe6f6e65".replace(" ", ""))),
     [(f"{ODD}.title()", returns(None)), (f"{ODD}.exists()", returns(False))], 3 * CALL_S),
    # Replies that never come, come late, or stop with the process or its connection.
    ("reply never comes", scenario(answer("GetRole", never=True)),
     [(f"{ODD}.role()", returns(None)), (f"{ODD}.title()", returns("Odd one"))], 3 * CALL_S),
    ("reply after the time-out", scenario(answer("GetRole", delay_ms=int(1500 * CALL_S))),
     [(f"{ODD}.role()", returns(None)), (f"{ODD}.title()", returns("Odd one")), ("__import__('time').sleep(0.7)", returns(None)),
      (f"{ODD}.title()", returns("Odd one")), ("app.find('role:AXButton').title()", returns("Fine button"))], 5 * CALL_S),
    ("process exits mid-call", scenario(answer("GetRole", exit=True)),
     [(f"{ODD}.role()", returns(None)), (f"{ODD}.exists()", returns(False)), ("app.windows()", raises("."))], 3 * CALL_S),
    ("connection closed mid-call", scenario(answer("GetRole", close=True)),
     [(f"{ODD}.role()", returns(None)), (f"{ODD}.exists()", returns(False)), ("app.windows()", raises("."))], 3 * CALL_S),
]

CYCLES = {"element among its descendants", "element its own parent and child"}

CHILD = """
import gc, json, resource, time
import pelorix
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

app = pelorix.app(pid={fake})
base = rss_mb()
began = time.monotonic()
outcomes = [outcome(e) for e in {expressions}]
elapsed = time.monotonic() - began
grown = rss_mb() - base
del app
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


def drive(fake, real, expressions, timeout):
    code = CHILD.format(fake=fake.pid, real=real.pid, expressions=repr(expressions))
    return json.loads(run_python(code, timeout=timeout))


@pytest.mark.parametrize("case, setup, steps, bound", CASES, ids=[case[0] for case in CASES])
def test_misbehaving_application(case, setup, steps, bound, real_app):
    fake = launch_fake_app(setup)
    try:
        report = drive(fake, real_app, [expression for expression, _ in steps], timeout=bound + 30)
    finally:
        fake.stop()
    for (expression, expected), got in zip(steps, report["outcomes"]):
        if expected[0] == "raises":
            assert got[0] == "raises", f"{expression} gave {got}"
            assert __import__("re").search(expected[1], got[1]), f"{expression} gave {got}"
        else:
            assert got == expected, f"{expression} gave {got!r:.200}"
    assert report["elapsed"] < bound, f"the calls took {report['elapsed']:.2f} s"
    assert report["live"] == {}, "platform references left alive"
    assert report["grown"] < 100, f"the process grew by {report['grown']:.0f} MB"
    assert report["real"] == "Press me"
