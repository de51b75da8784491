"""Every public entry point, fed every kind of wrong value, in a child interpreter: each call
ends in the documented exception (or a normal result), and nothing brings the process down."""

import json

import pytest

from simdesk import run_python

pytestmark = pytest.mark.simulated

SWEEP = r"""
import gc, json, sys
import pelorix
from simdesk import Desktop, node

desktop = Desktop().use()
root, window, field = desktop.add_app(4242, node("AXApplication", children=[
    node("AXWindow", title="W", children=[
        node("AXTextField", title="F", actions=["AXPress", "AXShowMenu"], writable=["AXValue", "AXFocused"])])]))
root.set(windows=[window])
app = pelorix.app(pid=4242)
element = app.find("role:AXTextField")
config = pelorix.HealingConfig()

class Str(str): pass
class Index:
    def __init__(self, error): self.error = error
    def __index__(self): raise self.error
class NumpyBool:
    __module__ = "numpy"
    def __bool__(self): return True
NumpyBool.__name__ = "bool_"

values = {
    "None": None, "int": 7, "bool": True, "huge": 2**64, "negative": -1, "nan": float("nan"),
    "bytes": b"x", "str": "x", "str_subclass": Str("x"), "lone_surrogate": "\ud800",
    "long_str": "x" * 100_000, "list": ["x"], "index_raises_value": Index(ValueError("idx")),
    "index_raises_type": Index(TypeError("idx")), "numpy_bool": NumpyBool(), "mode": pelorix.FOCUS,
}

def setter(name):
    return lambda v: setattr(config, name, v)

sites = {
    "app.name": lambda v: pelorix.app(name=v, pid=4242),
    "app.bundle_id": lambda v: pelorix.app(bundle_id=v, pid=4242),
    "app.pid": lambda v: pelorix.app(pid=v),
    "find.query": lambda v: app.find(v, timeout_ms=0),
    "find.timeout_ms": lambda v: app.find("//", timeout_ms=v),
    "wait_for_element.timeout_ms": lambda v: app.wait_for_element("//", timeout_ms=v),
    "find_by_role.role": lambda v: app.find_by_role(v),
    "find_by_role.label": lambda v: app.find_by_role("AXTextField", label=v),
    "element.find.query": lambda v: element.find(v, timeout_ms=0),
    "click.mode": lambda v: element.click(mode=v),
    "double_click.mode": lambda v: element.double_click(v),
    "right_click.mode": lambda v: element.right_click(v),
    "type_text.text": lambda v: element.type_text(v[:3] if isinstance(v, str) else v),
    "type_text.mode": lambda v: element.type_text("a", mode=v),
    "set_value.value": lambda v: element.set_value(v),
    "HealingConfig.strategies": lambda v: pelorix.HealingConfig(strategies=v),
    "HealingConfig.max_heal_time_ms": lambda v: pelorix.HealingConfig(max_heal_time_ms=v),
    "HealingConfig.cache_healed": lambda v: pelorix.HealingConfig(cache_healed=v),
    "set strategies": setter("strategies"),
    "set max_heal_time_ms": setter("max_heal_time_ms"),
    "set cache_healed": setter("cache_healed"),
    "configure_healing.config": lambda v: pelorix.configure_healing(v),
}

results = {}
for site, call in sites.items():
    for name, value in values.items():
        try:
            call(value)
            outcome = ["ok", ""]
        except BaseException as error:
            cause = error.__cause__
            outcome = [type(error).__name__, str(error), type(cause).__name__ if cause else None]
        results[f"{site}|{name}"] = outcome
del app, element
gc.collect()
stats = desktop.stats()
print(json.dumps({"results": results, "live": stats["live"]}))
"""

STR, U64, MODE, BOOL, LIST, CONFIG = "str", "u64", "mode", "bool", "list", "config"
SITES = {
    "app.name": (STR, "name", "absent"),
    "app.bundle_id": (STR, "bundle_id", "absent"),
    "app.pid": ("pid", "pid", "absent"),
    "find.query": (STR, "query", "required"),
    "find.timeout_ms": (U64, "timeout_ms", "absent"),
    "wait_for_element.timeout_ms": (U64, "timeout_ms", "required"),
    "find_by_role.role": (STR, "role", "required"),
    "find_by_role.label": (STR, "label", "absent"),
    "element.find.query": (STR, "query", "required"),
    "click.mode": (MODE, "mode", "absent"),
    "double_click.mode": (MODE, "mode", "absent"),
    "right_click.mode": (MODE, "mode", "absent"),
    "type_text.text": (STR, "text", "required"),
    "type_text.mode": (MODE, "mode", "absent"),
    "set_value.value": (STR, "value", "required"),
    "HealingConfig.strategies": (LIST, "strategies", "absent"),
    "HealingConfig.max_heal_time_ms": (U64, "max_heal_time_ms", "required"),
    "HealingConfig.cache_healed": (BOOL, "cache_healed", "required"),
    "set strategies": (LIST, "strategies", "required"),
    "set max_heal_time_ms": (U64, "max_heal_time_ms", "required"),
    "set cache_healed": (BOOL, "cache_healed", "required"),
    "configure_healing.config": (CONFIG, "config", "required"),
}
# Values each kind of parameter takes; every other value must be refused with a TypeError
# naming the parameter (or, for numbers out of range, an OverflowError).
ACCEPTED = {
    STR: {"str", "str_subclass", "long_str"},
    U64: {"int", "bool"},
    "pid": {"int", "bool"},
    MODE: {"mode"},
    BOOL: {"bool", "numpy_bool"},
    LIST: {"list"},
    CONFIG: set(),
}
PASSED_THROUGH = {"index_raises_value": "ValueError"}


def expected(kind, parameter, none, value):
    if value == "None" and none == "absent":
        return None  # the same as leaving it out: whatever the call then does
    if value in ACCEPTED[kind]:
        return None
    if value == "lone_surrogate" and kind == STR:
        return ("UnicodeEncodeError", "")
    if value in PASSED_THROUGH and kind in (U64, "pid"):
        return (PASSED_THROUGH[value], "idx")
    if value in ("huge", "negative") and kind in (U64, "pid"):
        return ("OverflowError", "")
    return ("TypeError", f"argument '{parameter}': ")


@pytest.fixture(scope="module")
def sweep():
    # A crash of the child fails here, with its standard error.
    return json.loads(run_python(SWEEP, timeout=600).splitlines()[-1])


@pytest.mark.parametrize("site", SITES)
def test_every_wrong_value_is_refused_cleanly(sweep, site):
    kind, parameter, none = SITES[site]
    problems = []
    for key, outcome in sweep["results"].items():
        name, value = key.split("|")
        if name != site:
            continue
        want = expected(kind, parameter, none, value)
        if want is None:
            if outcome[0] in ("TypeError", "OverflowError", "UnicodeEncodeError", "SystemError"):
                problems.append((value, outcome))
            continue
        kind_ok = outcome[0] == want[0] and outcome[1].startswith(want[1])
        cause_ok = want[0] != "TypeError" or outcome[2] is not None
        if not (kind_ok and cause_ok):
            problems.append((value, outcome, want))
    assert not problems


def test_nothing_was_left_alive(sweep):
    assert not any(sweep["live"].values()), sweep["live"]
