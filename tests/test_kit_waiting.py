"""pelorixkit's waits on the simulated desktop: each returns once what it waits for holds (the
desktop changes on a schedule while it waits), and times out with a message that names what it
waited for and the last value seen. Bad arguments are refused before any waiting."""

import pytest

import pelorix
import pelorixkit
from pelorixkit import WaitTimeout
from simdesk import node

PID = 4646


@pytest.fixture
def app(desktop):
    nodes = desktop.add_app(
        PID,
        node(
            "AXApplication",
            children=[
                node(
                    "AXWindow",
                    "Editor",
                    children=[
                        node("AXButton", "Save", value="idle"),
                        node("AXCheckBox", "Wrap", value=0),
                        node("AXSlider", "Zoom", value=1.0),
                    ],
                )
            ],
        ),
    )
    nodes[0].set(windows=[nodes[1]], main_window=nodes[1])
    return pelorix.app(pid=PID), nodes


def test_wait_for_returns_the_first_element_once_one_appears(app, desktop):
    connected, nodes = app
    desktop.schedule(100, "add_nodes", parent=nodes[1], nodes=[node("AXSheet", "Saved 1"), node("AXSheet", "Saved 2")])
    assert pelorixkit.wait_for(connected, "role:AXSheet", timeout_ms=3000).title() == "Saved 1"


def test_wait_count_returns_the_matches_once_there_are_so_many(app, desktop):
    connected, nodes = app
    desktop.schedule(50, "add_nodes", parent=nodes[1], nodes=[node("AXButton", "Open")])
    desktop.schedule(150, "add_nodes", parent=nodes[1], nodes=[node("AXButton", "Close")])
    assert [b.title() for b in pelorixkit.wait_count(connected, "role:AXButton", 3, timeout_ms=3000)] == ["Save", "Open", "Close"]
    assert pelorixkit.wait_count(connected, "role:AXSheet", 0, timeout_ms=0) == []


def test_wait_gone_returns_once_nothing_matches(app, desktop):
    connected, nodes = app
    desktop.schedule(100, "remove", node=nodes.find(title="Save"))
    pelorixkit.wait_gone(connected, "title:Save", timeout_ms=3000)
    assert pelorixkit.count(connected, "title:Save") == 0


@pytest.mark.parametrize(
    "target, attribute, new, what, condition, expected",
    [
        ("Save", "title", "Saved", "title", {"equals": "Saved"}, "Saved"),
        ("Save", "title", "Save all", "title", {"contains": "all"}, "Save all"),
        ("Save", "value", "busy", "value", {"equals": "busy"}, "busy"),
        ("Wrap", "value", 1, "checked", {"equals": True}, True),
        ("Zoom", "value", 2.5, "number", {"equals": 2.5}, 2.5),
        ("Zoom", "AXExpanded", True, "expanded", {"equals": True}, True),
    ],
)
def test_wait_until_returns_the_value_once_it_holds(app, desktop, target, attribute, new, what, condition, expected):
    connected, nodes = app
    element = connected.find(f"title:{target}")
    desktop.schedule(100, "set_attrs", node=nodes.find(title=target), attrs={attribute: new})
    assert pelorixkit.wait_until(element, what, timeout_ms=3000, **condition) == expected


@pytest.mark.parametrize(
    "wait, message, last",
    [
        (lambda c: pelorixkit.wait_for(c, "role:AXSheet", timeout_ms=120), r"'role:AXSheet' matched nothing in the application \(pid 4646\) within 120 ms \(last seen: 0 matches\)", 0),
        (lambda c: pelorixkit.wait_for(c.windows()[0], "AXTitle:Print", timeout_ms=0), r"'AXTitle:Print' matched nothing below AXWindow 'Editor'", 0),
        (lambda c: pelorixkit.wait_count(c, "role:AXButton", 2, timeout_ms=60), r"'role:AXButton' did not match 2 elements in the application \(pid 4646\) within 60 ms \(last seen: 1 match\)", 1),
        (lambda c: pelorixkit.wait_gone(c, "role:AXButton", timeout_ms=60), r"'role:AXButton' still matched 1 element in the .* after 60 ms \(last seen: AXButton 'Save' first\)", 1),
        (lambda c: pelorixkit.wait_until(c.find("title:Save"), "value", equals="busy", timeout_ms=60), r"the value of AXButton 'Save' did not equal 'busy' within 60 ms \(last seen: 'idle'\)", "idle"),
        (lambda c: pelorixkit.wait_until(c.find("title:Wrap"), "checked", equals=True, timeout_ms=60), r"the checked of AXCheckBox 'Wrap' did not equal True .*\(last seen: False\)", False),
        (lambda c: pelorixkit.wait_until(c.find("title:Zoom"), "title", contains="%", timeout_ms=60), r"the title of AXSlider 'Zoom' did not contain '%'.*\(last seen: 'Zoom'\)", "Zoom"),
    ],
)
def test_a_wait_that_times_out_names_what_it_waited_for_and_the_last_value_seen(app, wait, message, last):
    connected, _ = app
    with pytest.raises(WaitTimeout, match=message) as raised:
        wait(connected)
    assert raised.value.last == last
    assert isinstance(raised.value, TimeoutError)


def test_an_element_that_goes_away_is_waited_for_and_reported_as_none(app, desktop):
    connected, nodes = app
    element = connected.find("title:Save")
    nodes.find(title="Save").remove()
    with pytest.raises(WaitTimeout, match=r"last seen: None") as raised:
        pelorixkit.wait_until(element, "title", equals="Save", timeout_ms=60)
    assert raised.value.last is None


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda c, e: pelorixkit.wait_for(c, "title:Save", timeout_ms=-1), ValueError, "must not be negative"),
        (lambda c, e: pelorixkit.wait_for(c, "title:Save", timeout_ms=1.5), TypeError, "must be an int"),
        (lambda c, e: pelorixkit.wait_count(c, "title:Save", -1), ValueError, "count must not be negative"),
        (lambda c, e: pelorixkit.wait_count(c, "title:Save", "2"), TypeError, "count must be an int"),
        (lambda c, e: pelorixkit.wait_until(e, "title"), TypeError, "exactly one of"),
        (lambda c, e: pelorixkit.wait_until(e, "title", equals="a", contains="b"), TypeError, "exactly one of"),
        (lambda c, e: pelorixkit.wait_until(e, "checked", contains="1"), ValueError, "for texts"),
        (lambda c, e: pelorixkit.wait_until(e, "checked", equals=1), TypeError, "True or False"),
        (lambda c, e: pelorixkit.wait_until(e, "number", equals="5"), TypeError, "number or None"),
        (lambda c, e: pelorixkit.wait_until(e, "title", equals=5), TypeError, "str or None"),
        (lambda c, e: pelorixkit.wait_until(e, "colour", equals="red"), ValueError, "cannot wait for 'colour'"),
        (lambda c, e: pelorixkit.wait_until(c, "title", equals="x"), TypeError, "takes an AXElement"),
    ],
)
def test_bad_arguments_are_refused_before_any_waiting(app, call, error, message):
    connected, _ = app
    element = connected.find("title:Save")
    with pytest.raises(error, match=message):
        call(connected, element)
