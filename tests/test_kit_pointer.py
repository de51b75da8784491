"""pelorixkit.pointer on the simulated desktop: the pointer events at an element's place, the
scroll into view first, and the refusals of bad geometry and bad arguments."""

import math

import pytest

import pelorix
from pelorix import BACKGROUND, FOCUS
from pelorixkit import pointer
from simdesk import node, point, size


def make(desktop, pid=5151, **label):
    attrs = {"position": point(100, 200), "size": size(80, 20)}
    attrs.update(label)
    desktop.add_app(
        pid,
        node("AXApplication", children=[node("AXWindow", title="W", actions=["AXRaise"], children=[node("AXStaticText", title="Label", actions=["AXScrollToVisible"], **attrs)])]),
    )
    element = pelorix.app(pid=pid).find("role:AXStaticText")
    desktop.log(clear=True)
    return element


def events(desktop):
    out = []
    for r in desktop.log(kind="pointer"):
        v = r["value"]
        out.append((v["event"], v.get("x"), v.get("y"), v.get("button"), v["click_state"]) if v["event"] != "scroll" else ("scroll", v["wheel"]))
    return out


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda e: pointer.click(e), [("move", 140, 210, 0, 1), ("left_down", 140, 210, 0, 1), ("left_up", 140, 210, 0, 1)]),
        (lambda e: pointer.click(e, offset=(5, 15)), [("move", 105, 215, 0, 1), ("left_down", 105, 215, 0, 1), ("left_up", 105, 215, 0, 1)]),
        (
            lambda e: pointer.double_click(e),
            [("move", 140, 210, 0, 1), ("left_down", 140, 210, 0, 1), ("left_up", 140, 210, 0, 1), ("left_down", 140, 210, 0, 2), ("left_up", 140, 210, 0, 2)],
        ),
        (lambda e: pointer.right_click(e), [("move", 140, 210, 0, 1), ("right_down", 140, 210, 1, 1), ("right_up", 140, 210, 1, 1)]),
        (lambda e: pointer.middle_click(e), [("move", 140, 210, 0, 1), ("other_down", 140, 210, 2, 1), ("other_up", 140, 210, 2, 1)]),
        (lambda e: pointer.hover(e), [("move", 140, 210, 0, 1)]),
        # Down is positive for pelorix and negative for the system's wheel, as for right.
        (lambda e: pointer.scroll(e, down=3, right=-2), [("move", 140, 210, 0, 1), ("scroll", [-3, 2])]),
    ],
)
def test_pointer_events_at_the_element(desktop, call, expected):
    element = make(desktop)
    call(element)
    assert events(desktop) == expected
    # The element was asked to scroll into view before its place was read.
    log = desktop.log()
    scrolled = [i for i, r in enumerate(log) if r["kind"] == "action" and r["name"] == "AXScrollToVisible"]
    first_pointer = next(i for i, r in enumerate(log) if r["kind"] == "pointer")
    assert scrolled and scrolled[0] < first_pointer


def test_drag_moves_in_steps_and_releases_at_the_end(desktop):
    source = make(desktop)
    pointer.drag(source, (300, 410))
    got = events(desktop)
    assert got[:2] == [("move", 140, 210, 0, 1), ("left_down", 140, 210, 0, 1)]
    assert [e[0] for e in got[2:-1]] == ["left_dragged"] * 8
    assert got[-2][1:3] == (300, 410)
    assert got[-1] == ("left_up", 300, 410, 0, 1)


def test_drag_releases_the_button_when_a_move_cannot_be_made(desktop):
    source = make(desktop)
    # Events: move, down, the first dragged move fails.
    desktop.settings(fail_pointer_events=[2])
    with pytest.raises(RuntimeError, match="Failed to create a pointer event"):
        pointer.drag(source, (300, 410))
    assert events(desktop)[-1] == ("left_up", 140, 210, 0, 1)


def test_focus_mode_raises_the_window_first(desktop):
    element = make(desktop)
    pointer.click(element, mode=FOCUS)
    log = desktop.log()
    raised = [i for i, r in enumerate(log) if r["kind"] == "action" and r["name"] == "AXRaise"]
    assert raised and raised[0] < next(i for i, r in enumerate(log) if r["kind"] == "pointer")


def test_held_keys_make_a_modified_click(desktop):
    from pelorixkit import keyboard

    element = make(desktop)
    keyboard.key_down(element, "shift")
    try:
        pointer.click(element)
    finally:
        keyboard.key_up(element, "shift")
    assert {r["value"]["flags"] for r in desktop.log(kind="pointer")} == {0x20000}


@pytest.mark.parametrize(
    "geometry, message",
    [
        ({"size": size(0, 20)}, "no area on the screen \\(0 x 20\\)"),
        ({"size": size(80, -1)}, "no area on the screen"),
        # Geometry beyond any screen would overflow the integers of a real pointer.
        ({"position": point(1e300, 0)}, "not a usable screen area"),
        ({"position": point(0, -3e9)}, "not a usable screen area"),
        ({"size": size(1e300, 20)}, "not a usable screen area"),
    ],
)
def test_elements_without_a_usable_area_are_refused(desktop, geometry, message):
    element = make(desktop, **geometry)
    with pytest.raises(RuntimeError, match="^Action failed: .*" + message):
        pointer.click(element)
    assert events(desktop) == []


def test_an_element_without_bounds_is_refused(desktop):
    desktop.add_app(77, node("AXApplication", children=[node("AXStaticText", title="x")]))
    element = pelorix.app(pid=77).find("role:AXStaticText")
    with pytest.raises(RuntimeError, match="has no position and size"):
        pointer.move(element)
    assert events(desktop) == []


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda e: pointer.click(e, offset=(80, 5)), RuntimeError, "offset \\(80, 5\\) lies outside the element \\(80 x 20\\)"),
        (lambda e: pointer.click(e, offset=(-1, 5)), RuntimeError, "lies outside"),
        (lambda e: pointer.click(e, offset=(1, math.nan)), ValueError, "offset must be finite"),
        (lambda e: pointer.click(e, offset=(1,)), ValueError, "exactly two numbers"),
        (lambda e: pointer.click(e, offset="1,2"), TypeError, "offset must be an \\(x, y\\) pair of numbers, not str"),
        (lambda e: pointer.click(e, offset=(True, 1)), TypeError, "pair of numbers"),
        (lambda e: pointer.click(e, mode=BACKGROUND), RuntimeError, "^Action not supported in background mode: Pointer input"),
        (lambda e: pointer.click(e, mode=0), TypeError, "mode"),
        (lambda e: pointer.click(42), TypeError, "target must be an AXElement, not int"),
        (lambda e: pointer.move((1, 2), offset=(1, 1)), TypeError, "offset takes no offset when target is a screen point"),
        (lambda e: pointer.move((math.inf, 2)), ValueError, "target must be finite"),
        (lambda e: pointer.move((1e300, 2)), RuntimeError, "screen point is not a usable position"),
        (lambda e: pointer.scroll(e, down=1001), ValueError, "down must be between -1000 and 1000"),
        (lambda e: pointer.scroll(e, right=2**64), ValueError, "right must be between"),
        (lambda e: pointer.scroll(e, down=1.5), TypeError, "down"),
        (lambda e: pointer.drag(e, "x"), TypeError, "destination must be an AXElement, not str"),
    ],
)
def test_bad_arguments_send_nothing(desktop, call, error, message):
    element = make(desktop)
    with pytest.raises(error, match=message):
        call(element)
    assert events(desktop) == []
