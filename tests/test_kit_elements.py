"""pelorixkit's lists and navigation on the simulated desktop: every match in the order the
module's own search meets them, the count, children and parent, and the refusals of bad input."""

import ctypes

import pytest

import pelorix
import pelorixkit
from pelorixkit import _capi
from simdesk import node

PID = 4343


def titles(elements):
    return [e.title() for e in elements]


@pytest.fixture
def app(desktop):
    """A window with two rows of buttons; level order and depth-first order differ."""
    tree = node(
        "AXApplication",
        "Shop",
        children=[
            node(
                "AXWindow",
                "Main",
                identifier="main",
                children=[
                    node("AXGroup", "Row 1", children=[node("AXButton", "Buy 1a"), node("AXButton", "Buy 1b")]),
                    node("AXButton", "Buy top", label="top"),
                    node("AXGroup", "Row 2", children=[node("AXButton", "Buy 2a")]),
                ],
            )
        ],
    )
    nodes = desktop.add_app(PID, tree)
    nodes[0].set(windows=[nodes[1]], main_window=nodes[1])
    return pelorix.app(pid=PID), nodes


@pytest.mark.parametrize(
    "query, expected",
    [
        ("role:AXButton", ["Buy top", "Buy 1a", "Buy 1b", "Buy 2a"]),
        ("//AXButton[@AXTitle='Buy']", ["Buy top", "Buy 1a", "Buy 1b", "Buy 2a"]),
        ("title:Row", ["Row 1", "Row 2"]),
        ("role:AXButton label:top", ["Buy top"]),
        ("role:AXApplication", ["Shop"]),
        ("role:AXSlider", []),
    ],
)
def test_an_app_lists_every_match_in_level_order_and_the_first_is_what_find_returns(app, query, expected):
    connected, _ = app
    found = pelorixkit.find_all(connected, query)
    assert titles(found) == expected
    assert pelorixkit.count(connected, query) == len(expected)
    if expected:
        assert connected.find(query).title() == expected[0]


@pytest.mark.parametrize(
    "query, expected",
    [
        ("Buy", ["Buy 1a", "Buy 1b", "Buy top", "Buy 2a"]),
        ("AXTitle:Row", ["Row 1", "Row 2"]),
        ("AXLabel:top", ["Buy top"]),
        ("AXTitle:Main", []),  # the element itself is not among its descendants
    ],
)
def test_an_element_lists_its_descendants_in_depth_first_order(app, query, expected):
    connected, _ = app
    [window] = connected.windows()
    assert titles(pelorixkit.find_all(window, query)) == expected
    if expected:
        assert window.find(query).title() == expected[0]


def test_a_children_cycle_lists_each_element_once(app, desktop):
    connected, nodes = app
    row1 = nodes.find(title="Row 1")
    desktop.set_children(nodes.find(title="Buy 1a"), [row1, nodes[0]], link=True)
    assert titles(pelorixkit.find_all(connected, "role:AXButton")) == ["Buy top", "Buy 1a", "Buy 1b", "Buy 2a"]
    [window] = connected.windows()
    assert titles(pelorixkit.find_all(window, "Row")) == ["Row 1", "Row 2"]


def test_children_and_parent_walk_the_tree_both_ways(app):
    connected, _ = app
    [root] = pelorixkit.find_all(connected, "role:AXApplication")
    [window] = pelorixkit.children(connected)
    assert titles(pelorixkit.children(window)) == ["Row 1", "Buy top", "Row 2"]
    row2 = pelorixkit.children(window)[2]
    assert titles(pelorixkit.children(row2)) == ["Buy 2a"]
    assert pelorixkit.children(pelorixkit.children(row2)[0]) == []
    assert pelorixkit.parent(row2).title() == "Main"
    assert pelorixkit.parent(window).role() == "AXApplication"
    assert pelorixkit.parent(root) is None


def test_a_removed_element_has_no_children_to_list(app):
    connected, nodes = app
    row1 = connected.find("title:Row 1")
    nodes.find(title="Row 1").remove()
    with pytest.raises(RuntimeError):
        pelorixkit.children(row1)
    assert pelorixkit.parent(row1) is None


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda c, w: pelorixkit.find_all(c, "colour:red"), ValueError, "colour"),
        (lambda c, w: pelorixkit.find_all(c, b"role:AXButton"), TypeError, "query must be a str"),
        (lambda c, w: pelorixkit.find_all("app", "x"), TypeError, "AXApp or an AXElement, not str"),
        (lambda c, w: pelorixkit.count(None, "x"), TypeError, "not NoneType"),
        (lambda c, w: pelorixkit.children(42), TypeError, "not int"),
        (lambda c, w: pelorixkit.parent(c), TypeError, "takes an AXElement, not AXApp"),
        (lambda c, w: pelorixkit.find_all(c, "a\ud800b"), UnicodeEncodeError, "surrogate"),
        # Through the C interface a caller can pass NULL itself.
        (lambda c, w: _capi.table().find_all(ctypes.py_object(), "x"), TypeError, r"^find_all\(\) takes an AXApp or an AXElement$"),
        (lambda c, w: _capi.table().parent(ctypes.py_object()), TypeError, r"^parent\(\) takes an AXElement$"),
        (lambda c, w: _capi.table().attribute(w, ctypes.py_object()), TypeError, "name must be a str"),
    ],
)
def test_bad_input_is_refused_with_a_clear_error(app, call, error, message):
    connected, _ = app
    [window] = connected.windows()
    with pytest.raises(error, match=message):
        call(connected, window)


def test_the_table_is_handed_out_for_the_versions_the_module_has():
    library = ctypes.PyDLL(pelorix.__file__)
    library.pelorix_capi.restype = ctypes.c_void_p
    library.pelorix_capi.argtypes = [ctypes.c_uint32]
    assert library.pelorix_capi(0) is None and library.pelorix_capi(2**32 - 1) is None
    assert library.pelorix_capi(1) == ctypes.addressof(_capi.table())
