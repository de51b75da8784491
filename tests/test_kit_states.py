"""pelorixkit's states and numbers on the simulated desktop: which attribute each reads, what
counts as true, and that a changed state is seen at the next read."""

import pytest

import pelorix
import pelorixkit
from pelorixkit import states
from simdesk import AXError, node, status

PID = 4545


@pytest.fixture
def element_with(desktop):
    """Builds an application whose window has one element with `attrs`; returns (element, node)."""

    def build(**attrs):
        nodes = desktop.add_app(PID, node("AXApplication", children=[node("AXWindow", children=[node("AXCheckBox", "Probe", **attrs)])]))
        nodes[0].set(windows=[nodes[1]], main_window=nodes[1])
        return pelorix.app(pid=PID).find("title:Probe"), nodes[2]

    return build


@pytest.mark.parametrize(
    "attrs, expected",
    [
        ({"value": 1}, True),
        ({"value": 0}, False),
        ({"value": 2}, False),  # mixed
        ({"value": 1.0}, True),
        ({"value": True}, True),
        ({"value": "1"}, False),
        ({}, False),
        ({"value": status(AXError.CANNOT_COMPLETE)}, False),
        ({"AXMenuItemMarkChar": "✓"}, True),
        ({"AXMenuItemMarkChar": ""}, False),
    ],
)
def test_checked_reads_the_value_or_the_menu_mark(element_with, attrs, expected):
    element, _ = element_with(**attrs)
    assert states.checked(element) is expected


@pytest.mark.parametrize(
    "role, expected",
    [("AXCheckBox", True), ("AXRadioButton", True), ("AXMenuItem", True), ("AXSlider", False), ("AXIncrementor", False)],
)
def test_only_checkable_roles_are_checked_by_their_value(desktop, role, expected):
    nodes = desktop.add_app(PID, node("AXApplication", children=[node("AXWindow", children=[node(role, "Probe", value=1)])]))
    nodes[0].set(windows=[nodes[1]], main_window=nodes[1])
    assert states.checked(pelorix.app(pid=PID).find("title:Probe")) is expected


FLAGS = {
    "selected": "AXSelected",
    "expanded": "AXExpanded",
    "showing": "AXShowing",
    "visible": "AXVisible",
    "editable": "AXEditable",
    "focusable": "AXFocusable",
}


@pytest.mark.parametrize("name, attribute", FLAGS.items())
@pytest.mark.parametrize("value, expected", [(True, True), (False, False), (1, False), ("true", False), (None, False)])
def test_each_state_is_its_own_boolean_attribute(element_with, name, attribute, value, expected):
    element, probe = element_with(**({attribute: value} if value is not None else {}))
    assert getattr(states, name)(element) is expected
    # No other state reads that attribute.
    others = {other: read for other, read in states.STATES.items() if other not in (name, "checked")}
    assert not any(read(element) for read in others.values())


def test_a_changed_state_is_seen_at_the_next_read(element_with):
    element, probe = element_with(value=0, AXExpanded=False, AXShowing=True)
    before = pelorixkit.all_states(element)
    probe.set(value=1, AXExpanded=True, AXShowing=False)
    after = pelorixkit.all_states(element)
    assert (before["checked"], before["expanded"], before["showing"]) == (False, False, True)
    assert (after["checked"], after["expanded"], after["showing"]) == (True, True, False)


@pytest.mark.parametrize(
    "attrs, expected",
    [
        ({"value": 5, "AXMinValue": 0, "AXMaxValue": 10}, (5.0, 0.0, 10.0)),
        ({"value": 2.5, "AXMinValue": -1.5, "AXMaxValue": 2.5}, (2.5, -1.5, 2.5)),
        ({"value": "5", "AXMinValue": True}, (None, None, None)),
        ({"value": [1, 2], "AXMaxValue": "10"}, (None, None, None)),
        ({}, (None, None, None)),
    ],
)
def test_numbers_are_floats_or_none(element_with, attrs, expected):
    element, _ = element_with(**attrs)
    assert (states.number(element), states.minimum(element), states.maximum(element)) == expected


@pytest.mark.parametrize(
    "name, error", [("Checked", ValueError), ("", ValueError), ("enabled", ValueError), (3, TypeError)]
)
def test_unknown_state_names_are_refused(element_with, name, error):
    element, _ = element_with(value=1)
    with pytest.raises(error, match="state"):
        states.state(element, name)

