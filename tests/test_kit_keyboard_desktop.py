"""pelorixkit.keyboard on stock applications (scripts/setup installs them): the shortcuts a
keyboard-driven test suite needs open tabs and dialogs on GTK 3 (Mousepad), GTK 4
(gtk4-widget-factory) and Qt 5 (FeatherPad); also run under openbox by scripts/test."""

import pytest

import pelorix
import pelorixkit
from pelorix import BACKGROUND, FOCUS
from pelorixkit import keyboard
from realdesk import launch_program, launch_stock, wait_until

pytestmark = pytest.mark.desktop


def start(name):
    if name == "mousepad":
        return launch_program(["mousepad"], "Mousepad")
    return launch_stock(name)


@pytest.fixture
def running(request):
    started = start(request.param)
    yield started
    started.stop()


def tab_count(app):
    return pelorixkit.count(app, "role:AXRadioButton")


def window_titles(app):
    return [w.title() for w in app.windows()]


@pytest.mark.parametrize("running", ["mousepad", "featherpad"], indirect=True)
def test_ctrl_n_opens_a_tab(running):
    app = running.app()
    wait_until(lambda: tab_count(app) == 1)
    keyboard.press(app, "ctrl+n", mode=FOCUS)
    wait_until(lambda: tab_count(app) == 2)


@pytest.mark.parametrize(
    "running, shortcut, title",
    [("mousepad", "ctrl+o", "Open File"), ("gtk4-widget-factory", "ctrl+question", "GtkShortcutsWindow")],
    indirect=["running"],
)
def test_a_shortcut_opens_a_dialog_and_escape_closes_it(running, shortcut, title):
    app = running.app()
    keyboard.press(app, shortcut, mode=FOCUS)
    wait_until(lambda: title in window_titles(app))
    keyboard.press(app, "Escape")
    wait_until(lambda: title not in window_titles(app))


@pytest.mark.parametrize("running", ["featherpad"], indirect=True)
def test_shift_home_selects_what_the_next_key_replaces(running):
    app = running.app()
    text = app.find("role:AXTextArea")
    keyboard.press(text, "a", mode=FOCUS)
    keyboard.press(text, "shift+b")
    keyboard.press(text, "Return")
    keyboard.press(text, "c", repeat=3)
    wait_until(lambda: text.value() == "aB\nccc")
    keyboard.press(text, "shift+Home")
    keyboard.press(text, "asciitilde")
    wait_until(lambda: text.value() == "aB\n~")
    # The modifiers came up again: a plain key types its plain character.
    keyboard.press(text, "d")
    wait_until(lambda: text.value() == "aB\n~d")


@pytest.mark.parametrize("running", ["featherpad"], indirect=True)
def test_held_shift_lasts_until_released(running):
    app = running.app()
    text = app.find("role:AXTextArea")
    keyboard.press(text, "x", mode=FOCUS)
    keyboard.key_down(text, "shift")
    try:
        keyboard.press(text, "y", repeat=2)
    finally:
        keyboard.key_up(text, "shift")
    keyboard.press(text, "z")
    wait_until(lambda: text.value() == "xYYz")


@pytest.mark.parametrize("running", ["featherpad"], indirect=True)
def test_background_keys_are_refused_on_x11(running):
    app = running.app()
    with pytest.raises(RuntimeError, match="Key input without focus is not possible on this desktop"):
        keyboard.press(app, "ctrl+n", mode=BACKGROUND)
    assert tab_count(app) == 1
