"""pelorixkit.keyboard on the simulated desktop: the exact key events a combination makes, their
flags, the release of whatever went down, and refusals that send nothing."""

import pytest

import pelorix
from pelorix import BACKGROUND, FOCUS
from pelorixkit import keyboard
from simdesk import AXError, node

SHIFT, CONTROL, ALT, SUPER = 56, 59, 58, 55
F_SHIFT, F_CONTROL, F_ALT, F_SUPER = 0x20000, 0x40000, 0x80000, 0x100000


@pytest.fixture
def app(desktop):
    desktop.add_app(
        4242,
        node(
            "AXApplication",
            children=[node("AXWindow", title="Main", children=[node("AXTextField", title="Name")])],
        ),
    )
    application = pelorix.app(pid=4242)
    desktop.log(clear=True)
    return application


def keys(desktop):
    return [(r["value"]["key_code"], r["value"]["down"], r["value"].get("flags")) for r in desktop.log(kind="key")]


@pytest.mark.parametrize(
    "combination, events",
    [
        ("F11", [(103, True, 0), (103, False, 0)]),
        (
            "ctrl+shift+t",
            [
                (CONTROL, True, F_CONTROL),
                (SHIFT, True, F_CONTROL | F_SHIFT),
                (17, True, F_CONTROL | F_SHIFT),
                (17, False, F_CONTROL | F_SHIFT),
                (SHIFT, False, F_CONTROL),
                (CONTROL, False, 0),
            ],
        ),
        (
            "alt+asciitilde",
            [
                (ALT, True, F_ALT),
                (SHIFT, True, F_ALT | F_SHIFT),
                (50, True, F_ALT | F_SHIFT),
                (50, False, F_ALT | F_SHIFT),
                (SHIFT, False, F_ALT),
                (ALT, False, 0),
            ],
        ),
        ("super+Up", [(SUPER, True, F_SUPER), (126, True, F_SUPER), (126, False, F_SUPER), (SUPER, False, 0)]),
        ("shift", [(SHIFT, True, F_SHIFT), (SHIFT, False, 0)]),
    ],
)
def test_combination_events_and_flags(desktop, app, combination, events):
    keyboard.press(app, combination)
    assert keys(desktop) == events
    assert {r["pid"] for r in desktop.log(kind="key")} == {4242}


def test_repeat_holds_the_modifiers_around_all_presses(desktop, app):
    keyboard.press(app, "shift+Down", repeat=3)
    assert keys(desktop) == [(SHIFT, True, F_SHIFT)] + [(125, True, F_SHIFT), (125, False, F_SHIFT)] * 3 + [
        (SHIFT, False, 0)
    ]


def test_held_modifiers_carry_into_later_keys_until_released(desktop, app):
    keyboard.key_down(app, "ctrl")
    keyboard.press(app, "a")
    keyboard.key_up(app, "ctrl")
    keyboard.press(app, "a")
    assert keys(desktop) == [
        (CONTROL, True, F_CONTROL),
        (0, True, F_CONTROL),
        (0, False, F_CONTROL),
        (CONTROL, False, 0),
        (0, True, 0),
        (0, False, 0),
    ]


# Event indices count from the first event the call makes: ctrl, shift, t down, t up, ...
@pytest.mark.parametrize(
    "failing, events",
    [
        ([1], [(CONTROL, True, F_CONTROL), (CONTROL, False, 0)]),
        ([2], [(CONTROL, True, F_CONTROL), (SHIFT, True, F_CONTROL | F_SHIFT), (SHIFT, False, F_CONTROL), (CONTROL, False, 0)]),
        (
            [3],
            [(CONTROL, True, F_CONTROL), (SHIFT, True, F_CONTROL | F_SHIFT), (17, True, F_CONTROL | F_SHIFT), (SHIFT, False, F_CONTROL), (CONTROL, False, 0)],
        ),
    ],
)
def test_what_went_down_comes_up_when_an_event_cannot_be_made(desktop, app, failing, events):
    desktop.settings(fail_keyboard_events=failing)
    with pytest.raises(RuntimeError, match="Action failed: Failed to create a keyboard event for 't'"):
        keyboard.press(app, "ctrl+shift+t")
    assert keys(desktop) == events


def test_focus_mode_focuses_the_element_first(desktop, app):
    field = app.find("role:AXTextField")
    desktop.set_writable(desktop.log(kind="read")[-1]["node"], ["AXFocused"])
    desktop.log(clear=True)
    keyboard.press(field, "Return", mode=FOCUS)
    log = desktop.log()
    writes = [r for r in log if r["kind"] == "write"]
    assert writes and writes[0]["name"] == "AXFocused"
    assert log.index(writes[0]) < log.index(desktop.log(kind="key")[0])


def test_background_is_refused_where_no_event_source_can_work_without_focus(desktop, app):
    desktop.settings(fail_event_source=True)
    with pytest.raises(RuntimeError, match="^Action not supported in background mode: Key input without focus"):
        keyboard.press(app, "F5", mode=BACKGROUND)
    assert keys(desktop) == []


@pytest.mark.parametrize(
    "args, error, message",
    [
        (("ctrl+foo",), ValueError, "Unknown key name 'foo' in 'ctrl\\+foo'"),
        (("t+ctrl",), ValueError, "'t' in 't\\+ctrl' is not a modifier"),
        (("Print",), ValueError, "Mac keyboards have no such key"),
        (("",), ValueError, "Empty key combination"),
        ((b"F5",), TypeError, "keys must be a str"),
        (("F5", 0), ValueError, "repeat must be between 1 and 1000"),
        (("F5", 1001), ValueError, "repeat must be between 1 and 1000"),
        (("F5", 2**70), ValueError, "repeat must be between 1 and 1000"),
        (("F5", 1, 1), TypeError, "mode"),
        (("\ud800",), UnicodeEncodeError, "surrogate"),
    ],
)
def test_bad_arguments_send_nothing(desktop, app, args, error, message):
    with pytest.raises(error, match=message):
        keyboard.press(app, *args)
    assert desktop.log(kind="key") == []
    assert desktop.log(kind="get_pid") == []


def test_a_target_that_is_no_app_or_element_is_a_type_error(desktop):
    with pytest.raises(TypeError, match="target must be an AXApp or an AXElement, not str"):
        keyboard.press("app", "F5")


def test_a_target_without_pid_is_refused(desktop):
    _, field_node = desktop.add_app(77, node("AXApplication", children=[node("AXTextField")]))
    field = pelorix.app(pid=77).find("role:AXTextField")
    desktop.set_pid_status(field_node, AXError.INVALID_UI_ELEMENT)
    desktop.log(clear=True)
    with pytest.raises(RuntimeError, match="Failed to get PID"):
        keyboard.press(field, "F5")
    assert desktop.log(kind="key") == []
