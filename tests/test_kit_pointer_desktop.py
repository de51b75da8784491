"""pelorixkit.pointer on stock applications: a real click where no press action exists (a label
in GTK 3's file chooser sidebar), tabs switched by the pointer, hovers that open a menu and a
tooltip (Qt 5), a check box clicked in GTK 4; also run under openbox by scripts/test."""

import time

import pytest

import pelorixkit
from pelorix import FOCUS
from pelorixkit import keyboard, pointer
from realdesk import launch_program, launch_stock, wait_until

pytestmark = pytest.mark.desktop


@pytest.fixture
def mousepad():
    started = launch_program(["mousepad"], "Mousepad")
    yield started
    started.stop()


@pytest.fixture
def featherpad():
    started = launch_stock("featherpad")
    yield started
    started.stop()


def labels(app):
    return [label.title() for label in pelorixkit.find_all(app, "role:AXStaticText")]


def test_a_click_on_a_sidebar_label_without_press_action(mousepad):
    app = mousepad.app()
    keyboard.press(app, "ctrl+o", mode=FOCUS)
    wait_until(lambda: "Other Locations" in labels(app))
    label = app.find("role:AXStaticText title:Other Locations")
    with pytest.raises(RuntimeError, match="AXPress"):
        label.click()
    pointer.click(label)
    # The sidebar's "Other Locations" view lists the computer's own file system.
    wait_until(lambda: "Computer" in labels(app))


def test_tabs_switched_by_the_pointer(mousepad):
    app = mousepad.app()
    keyboard.press(app, "ctrl+n", mode=FOCUS)
    wait_until(lambda: pelorixkit.count(app, "role:AXRadioButton") == 2)
    wait_until(lambda: app.windows()[0].title().startswith("Untitled 2"))
    pointer.click(pelorixkit.find_all(app, "role:AXRadioButton")[0])
    wait_until(lambda: app.windows()[0].title().startswith("Untitled 1"))


def showing_items(app, title):
    return [item for item in pelorixkit.find_all(app, f"role:AXMenuItem title:{title}") if pelorixkit.showing(item)]


def test_hover_switches_the_open_menu(featherpad):
    app = featherpad.app()
    pointer.click(app.find("role:AXMenuItem title:File"), mode=FOCUS)
    wait_until(lambda: showing_items(app, "New"))
    # Qt's menu bar takes pointer motion as a switch of menus only once the popup it opened has
    # settled, as a person's hand would never be quicker.
    time.sleep(0.5)
    pointer.hover(app.find("role:AXMenuItem title:Options"))
    # The Options menu opens in place of the File menu.
    wait_until(lambda: showing_items(app, "Line Numbers"))
    assert not showing_items(app, "New")
    keyboard.press(app, "Escape")


def test_hover_shows_a_tooltip(featherpad):
    app = featherpad.app()
    assert pelorixkit.count(app, "role:AXHelpTag") == 0
    pointer.hover(app.find("role:AXButton title:Save"), mode=FOCUS)
    wait_until(lambda: pelorixkit.count(app, "role:AXHelpTag") == 1)
    pointer.move((1, 1))


@pytest.fixture
def gtk4_factory():
    started = launch_stock("gtk4-widget-factory")
    yield started
    started.stop()


def test_a_check_box_clicked_by_the_pointer(gtk4_factory):
    app = gtk4_factory.app()
    box = app.find("role:AXCheckBox title:checkbutton")
    before = pelorixkit.checked(box)
    pointer.click(box, mode=FOCUS)
    wait_until(lambda: pelorixkit.checked(box) != before)
    pointer.click(box)
    wait_until(lambda: pelorixkit.checked(box) == before)


@pytest.mark.parametrize("point", [(5000, 10), (10, 5000), (-1, 10)])
def test_a_point_off_the_screen_is_refused_not_clamped(point):
    with pytest.raises(RuntimeError, match="a point off the screen cannot be reached"):
        pointer.click(point)
