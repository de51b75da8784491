"""The test harness itself: it must reach the desktop pelorix really uses, and its fakes must
behave like the programs they replace."""

import pytest

import pelorix
from simdesk import SimDeskError, node, run_python, utf16


@pytest.mark.parametrize("trusted", [True, False])
def test_trust_reaches_the_module(desktop, trusted):
    desktop.set_trusted(trusted)
    assert pelorix.is_accessibility_enabled() is trusted
    desktop.release()
    # Released, the module answers for the real desktop again, as a fresh interpreter does.
    fresh = run_python("import pelorix; print(pelorix.is_accessibility_enabled())").strip()
    assert str(pelorix.is_accessibility_enabled()) == fresh
    desktop.use()


def test_values_round_trip_and_errors_raise(desktop):
    root, field = desktop.add_app(
        501, node("AXApplication", children=[node("AXTextField", value="a\ud800b")])
    )
    assert field.info()["attrs"]["AXValue"] == utf16("a\ud800b")
    assert field.info()["parent"] == root.id
    field.set(value="\u00e9t\u00e9", enabled=False)
    assert field.info()["attrs"] == {
        "AXRole": "AXTextField",
        "AXValue": "\u00e9t\u00e9",
        "AXEnabled": False,
    }
    with pytest.raises(SimDeskError, match="already has an application"):
        desktop.add_app(501)
    root.remove()
    with pytest.raises(SimDeskError, match="was removed"):
        field.set(title="x")


def test_children_cycles_are_built_only_when_asked_for(desktop):
    root, group, button = desktop.add_app(
        502, node("AXApplication", children=[node("AXGroup", children=[node("AXButton")])])
    )
    with pytest.raises(SimDeskError, match="would contain itself"):
        desktop.set_children(button, [group])
    with pytest.raises(SimDeskError, match="application root cannot become a child"):
        desktop.set_children(button, [root])
    # Linked, the nodes are listed under the button and keep their own parents.
    desktop.set_children(button, [group, button, root], link=True)
    assert button.info()["children"] == [group.id, button.id, root.id]
    assert (group.info()["parent"], button.info()["parent"], root.info()["parent"]) == (
        root.id,
        group.id,
        None,
    )
    assert group.info()["children"] == [button.id]
    # Removing the application ends with every node of the cycle.
    root.remove()
    assert not button.info()["alive"]
