"""Clicks in background and focus mode, set_value, and what they do to the application, read
back from what the simulated desktop recorded."""

import pytest

import pelorix
from pelorix import BACKGROUND, FOCUS
from simdesk import AXError, node


@pytest.fixture
def ui(desktop):
    """root ─ window ─ group ─ button (and a menu-bar item with no window above it)."""
    root, window, group, button, bar, item = desktop.add_app(
        4242,
        node(
            "AXApplication",
            children=[
                node("AXWindow", title="Doc", actions=["AXRaise"], children=[
                    node("AXGroup", children=[
                        node("AXButton", title="OK", actions=["AXPress", "AXShowMenu"], writable=["AXFocused", "AXValue"]),
                    ]),
                ]),
                node("AXMenuBar", children=[node("AXMenuBarItem", title="File", actions=["AXPress"], writable=["AXFocused"])]),
            ],
        ),
    )
    nodes = dict(root=root, window=window, group=group, button=button, bar=bar, item=item)
    connected = pelorix.app(pid=4242)
    elements = {name: connected.find(f"title:{title}") for name, title in [("button", "OK"), ("item", "File"), ("window", "Doc")]}
    desktop.log(clear=True)
    return nodes, elements


def effects(desktop, nodes):
    """What was done, in order: (kind, node name, attribute or action, value)."""
    by_id = {n.id: name for name, n in nodes.items()}
    return [
        (r["kind"], by_id.get(r["node"]), r["name"], r["value"])
        for r in desktop.log()
        if r["kind"] in ("write", "action")
    ]


@pytest.mark.parametrize("call", [
    lambda e: e.click(), lambda e: e.click(None), lambda e: e.click(mode=None), lambda e: e.click(mode=BACKGROUND),
])
def test_background_click_is_one_press(desktop, ui, call):
    nodes, elements = ui
    assert call(elements["button"]) is None
    assert effects(desktop, nodes) == [("action", "button", "AXPress", None)]


def test_focus_click_focuses_raises_the_window_then_presses(desktop, ui):
    nodes, elements = ui
    elements["button"].click(mode=FOCUS)
    assert effects(desktop, nodes) == [
        ("write", "button", "AXFocused", True),
        ("action", "window", "AXRaise", None),
        ("action", "button", "AXPress", None),
    ]
    # The walk read roles on the way up and nothing past the window.
    walked = [r for r in desktop.log(kind="read") if r["name"] in ("AXRole", "AXParent")]
    assert [r["node"] for r in walked if r["name"] == "AXRole"] == [
        nodes[n].id for n in ("button", "group", "window")
    ]


def test_focus_click_on_a_window_raises_the_window_itself(desktop, ui):
    nodes, elements = ui
    desktop.set_writable(nodes["window"], ["AXFocused"])
    desktop.set_actions(nodes["window"], ["AXRaise", "AXPress"])
    desktop.log(clear=True)
    elements["window"].click(mode=FOCUS)
    assert effects(desktop, nodes) == [
        ("write", "window", "AXFocused", True),
        ("action", "window", "AXRaise", None),
        ("action", "window", "AXPress", None),
    ]


def test_focus_click_without_a_window_above(desktop, ui):
    nodes, elements = ui
    elements["item"].click(mode=FOCUS)
    assert effects(desktop, nodes) == [
        ("write", "item", "AXFocused", True),
        ("action", "item", "AXPress", None),
    ]


def test_a_failing_raise_is_not_reported(desktop, ui):
    nodes, elements = ui
    desktop.set_actions(nodes["window"], {"AXRaise": AXError.CANNOT_COMPLETE})
    assert elements["button"].click(mode=FOCUS) is None
    assert effects(desktop, nodes)[-1] == ("action", "button", "AXPress", None)


def test_a_refused_focus_write_stops_the_click(desktop, ui):
    nodes, elements = ui
    desktop.set_writable(nodes["button"], {"AXFocused": AXError.ATTRIBUTE_UNSUPPORTED})
    with pytest.raises(RuntimeError) as caught:
        elements["button"].click(mode=FOCUS)
    assert str(caught.value) == "Invalid query: Attribute unsupported: AXFocused"
    assert [e[2] for e in effects(desktop, nodes)] == ["AXFocused"]


def test_a_parent_cycle_ends_the_walk(desktop, ui):
    nodes, elements = ui
    nodes["group"].set(parent=nodes["button"])  # button -> group -> button -> ...
    assert elements["button"].click(mode=FOCUS) is None
    assert [e[2] for e in effects(desktop, nodes)] == ["AXFocused", "AXPress"]
    # It ends where it comes back, having asked each element once.
    roles = [r["node"] for r in desktop.log(kind="read") if r["name"] == "AXRole"]
    assert roles == [nodes["button"].id, nodes["group"].id]


def chain(desktop, parent, depth, leaf, per_request=200):
    """`depth` nested groups below `parent`, then `leaf`; added in pieces (a request's nesting
    is bounded). Returns the leaf node."""
    while True:
        count = min(depth, per_request)
        last = count == depth
        tree = leaf if last else node("AXGroup")
        for _ in range(count if last else count - 1):
            tree = node("AXGroup", children=[tree])
        parent = desktop.add_nodes(parent, tree)[-1]
        depth -= count
        if last:
            return parent


@pytest.mark.parametrize("depth", [5, 3000])
def test_the_walk_to_the_window_has_no_depth_limit(desktop, depth):
    root, window = desktop.add_app(
        4343, node("AXApplication", children=[node("AXWindow", title="Deep", actions=["AXRaise"])])
    )
    deepest = chain(desktop, window, depth, node("AXButton", title="Deep OK", actions=["AXPress"], writable=["AXFocused"]))
    assert deepest.info()["attrs"]["AXTitle"] == "Deep OK"
    button = pelorix.app(pid=4343).find_by_role("AXButton", title="Deep OK")
    desktop.log(clear=True)
    button.click(mode=FOCUS)
    assert [(r["node"], r["name"]) for r in desktop.log() if r["kind"] == "action"] == [
        (window.id, "AXRaise"),
        (deepest.id, "AXPress"),
    ]


def test_right_click_opens_the_menu_only(desktop, ui):
    nodes, elements = ui
    elements["button"].right_click()
    assert effects(desktop, nodes) == [("action", "button", "AXShowMenu", None)]
    with pytest.raises(RuntimeError) as caught:
        elements["item"].right_click()
    assert str(caught.value) == (
        "Action not supported in background mode: Action unsupported: AXShowMenu"
    )


def press_times(desktop):
    return [r["t_ns"] for r in desktop.log(kind="action") if r["name"] == "AXPress"]


@pytest.mark.parametrize("mode", [BACKGROUND, FOCUS])
def test_double_click_presses_twice_50_ms_apart(desktop, ui, mode):
    _, elements = ui
    elements["button"].double_click(mode)
    first, second = press_times(desktop)
    assert second - first >= 50_000_000


def test_a_failed_first_press_ends_the_double_click(desktop, ui):
    nodes, elements = ui
    desktop.set_actions(nodes["button"], {"AXPress": AXError.FAILURE})
    with pytest.raises(RuntimeError, match="^Action failed: AXPress$"):
        elements["button"].double_click()
    assert len(press_times(desktop)) == 1


@pytest.mark.parametrize("text", ["", "Grüße, 世界 😀", "a\x00b"])
def test_set_value_writes_the_text(desktop, ui, text):
    nodes, elements = ui
    assert elements["button"].set_value(text) is None
    assert effects(desktop, nodes) == [("write", "button", "AXValue", text)]
    assert elements["button"].value() == text


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda e: e.click(mode=1), TypeError, "argument 'mode': 'int' object cannot be converted to 'ActionMode'"),
        (lambda e: e.double_click("FOCUS"), TypeError, "argument 'mode': "),
        (lambda e: e.right_click(mode=True), TypeError, "argument 'mode': "),
        (lambda e: e.set_value(5), TypeError, "argument 'value': 'int' object cannot be converted to 'str'"),
        (lambda e: e.set_value(b"x"), TypeError, "argument 'value': "),
        (lambda e: e.set_value(), TypeError, "AXElement.set_value() missing 1 required positional argument: 'value'"),
        (lambda e: e.click(FOCUS, 1), TypeError, "AXElement.click() takes from 0 to 1 positional arguments but 2 were given"),
        (lambda e: e.set_value("\ud800"), UnicodeEncodeError, ""),
    ],
)
def test_bad_arguments_do_nothing(desktop, ui, call, error, message):
    nodes, elements = ui
    with pytest.raises(error) as caught:
        call(elements["button"])
    assert str(caught.value).startswith(message)
    assert effects(desktop, nodes) == []


def test_the_double_click_interval_survives_signals(desktop, ui):
    import signal

    _, elements = ui
    received = []
    previous = signal.signal(signal.SIGALRM, lambda *_: received.append(1))
    signal.setitimer(signal.ITIMER_REAL, 0.005, 0.005)
    try:
        elements["button"].double_click()
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    first, second = press_times(desktop)
    assert second - first >= 50_000_000
    assert received  # the signals did arrive meanwhile
