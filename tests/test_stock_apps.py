"""pelorix on stock Debian applications that nobody here wrote (scripts/setup installs them),
used as a new user would: GTK 3 (gtk3-widget-factory, zenity, galculator), GTK 4
(gtk4-widget-factory), Qt 5 (Qt's calculator example, FeatherPad).

Each test is a fault seen on such an application: what a press does, hidden widgets found before
visible ones, writes that report success and change nothing, screenshots of the wrong window,
lost keystrokes, and names taken as patterns. The group runs with and without a window manager
(scripts/test runs it a second time under openbox).
"""

import pytest

import pelorix
from pelorix import FOCUS
from realdesk import decode_png, launch_stock, launch_zenity, wait_until

pytestmark = pytest.mark.desktop

OFF_SCREEN = -2147483648


@pytest.fixture
def stock(request):
    """Starts the stock application named by the test's parameter and stops it afterwards."""
    started = launch_stock(request.param)
    yield started
    started.stop()


@pytest.fixture
def zenity():
    """Starts a zenity dialog given as (args, title); stopped afterwards if still open."""
    started = []

    def start(*args, title):
        started.append(launch_zenity(*args, title=title))
        return started[-1]

    yield start
    for dialog in started:
        dialog.stop()


def still_open(dialog, seconds=0.6):
    """The dialog is still running `seconds` after what could have closed it."""
    try:
        dialog.popen.wait(timeout=seconds)
    except Exception:
        return True
    return False


# --- A press means a press -------------------------------------------------------------------


def test_pressing_an_entry_focuses_it_without_submitting(zenity):
    """A press on a text field takes the focus, as a click into it does; GTK's "activate" action
    is Enter and would submit the dialog with half-typed text."""
    dialog = zenity("--entry", "--text", "Your name?", title="Add a new entry")
    app = dialog.app()
    field = app.find("role:AXTextField")
    field.type_text("half", mode=FOCUS)
    wait_until(lambda: field.value() == "half")
    field.click()
    assert still_open(dialog)
    assert field.focused() and field.value() == "half"
    field.type_text(" done", mode=FOCUS)
    wait_until(lambda: field.value() == "half done")
    app.find("role:AXButton title:OK").click()
    assert dialog.output() == (0, "half done\n")


def test_pressing_a_list_row_selects_it_and_a_double_click_activates_it(zenity):
    rows = ["apple", "red", "banana", "yellow", "cherry", "dark red"]
    args = ["--list", "--column", "Fruit", "--column", "Colour", *rows]
    title = "Select items from the list"
    # A press selects the row, and the dialog stays open until it is answered.
    dialog = zenity(*args, title=title)
    app = dialog.app()
    app.find("role:AXCell title:cherry").click()
    assert still_open(dialog)
    app.find("role:AXCell title:yellow").click()  # a cell of another column: its row
    assert still_open(dialog)
    app.find("role:AXButton title:OK").click()
    assert dialog.output() == (0, "banana\n")
    # The second press of a double click activates the row, which answers the dialog.
    dialog = zenity(*args, title=title)
    dialog.app().find("role:AXCell title:cherry").double_click()
    assert dialog.output() == (0, "cherry\n")


@pytest.mark.parametrize(("button", "status"), [("Yes", 0), ("No", 1)])
def test_pressing_a_dialog_button_clicks_it(zenity, button, status):
    dialog = zenity("--question", "--text", "Proceed?", title="Question")
    dialog.app().find(f"role:AXButton title:{button}").click()
    assert dialog.output()[0] == status


@pytest.mark.parametrize("stock", ["qt5-calculator"], indirect=True)
def test_qt_push_button_double_click_counts_twice(stock):
    app = stock.app()
    display = app.find("role:AXTextField")
    app.find("//AXButton[@AXTitle='Clear All']").click()
    wait_until(lambda: display.value() == "0")
    seven = app.find("role:AXButton title:7")
    seven.double_click()
    wait_until(lambda: display.value() == "77")
    seven.click()
    wait_until(lambda: display.value() == "777")


@pytest.mark.parametrize(
    ("stock", "field", "elsewhere"),
    [
        ("gtk4-widget-factory", "title:GtkPasswordEntry", "role:AXTextField title:GtkEntry"),
        ("qt5-calculator", "", "role:AXButton title:7"),
    ],
    indirect=["stock"],
)
def test_pressing_an_entry_takes_the_focus_on_gtk4_and_qt(stock, field, elsewhere):
    app = stock.app()
    other = app.find(elsewhere)
    other.click(mode=FOCUS)
    entry = app.find(f"role:AXTextField {field}")
    entry.click(mode=FOCUS)
    wait_until(entry.focused)
    assert stock.popen.poll() is None


# --- Hidden elements are not in the tree ------------------------------------------------------


@pytest.mark.parametrize("stock", ["gtk3-widget-factory", "galculator"], indirect=True)
def test_hidden_fields_are_not_found(stock):
    """The first text field found is one a person can see: not one in a closed popover
    (gtk3-widget-factory) or galculator's hidden formula entry."""
    app = stock.app()
    try:
        field = app.find("role:AXTextField", timeout_ms=0)
    except RuntimeError:
        return  # galculator in its basic mode shows none
    x, y, width, height = field.bounds()
    assert x != OFF_SCREEN and y != OFF_SCREEN and width > 1 and height > 1


@pytest.mark.parametrize(
    ("stock", "hidden", "shown"),
    [
        # The volume popover and the combo box's alternative list are closed; the first page
        # shows its buttons.
        ("gtk3-widget-factory", "role:AXButton title:Volume Up", "role:AXButton title:Maximize"),
        ("gtk3-widget-factory", "role:AXButton title:Cash", "role:AXRadioButton title:Page 2"),
        # The formula entry belongs to a mode that is not on.
        ("galculator", "role:AXTextField", "role:AXTextArea"),
        # Items of closed menus stay reachable, as on a desktop.
        ("galculator", "role:AXButton title:Volume Up", "role:AXMenuItem title:Quit"),
        ("galculator", "role:AXButton title:Volume Up", "role:AXMenuItem title:Formula Entry"),
    ],
    indirect=["stock"],
)
def test_hidden_elements_are_out_of_the_tree(stock, hidden, shown):
    app = stock.app()
    assert app.find(shown).exists()
    with pytest.raises(RuntimeError, match="^Element not found: "):
        app.find(hidden, timeout_ms=0)


@pytest.mark.parametrize("stock", ["featherpad"], indirect=True)
def test_closed_qt_menus_keep_their_items(stock):
    app = stock.app()
    item = app.find("role:AXMenuItem title:Open")
    assert item.role() == "AXMenuItem"
    # Qt's hidden top-level dialogs (FeatherPad keeps a "Replacement" one) are no windows.
    assert [w.title() for w in app.windows()] == ["Untitled"]


# --- Writes that are not taken fail ------------------------------------------------------------


@pytest.mark.parametrize("stock", ["galculator"], indirect=True)
def test_set_value_on_a_read_only_text_view_raises(stock):
    app = stock.app()
    display = app.find("role:AXTextArea")
    before = display.value()
    with pytest.raises(RuntimeError, match="^Action failed: Cannot complete: AXValue$"):
        display.set_value("42")
    assert display.value() == before


# --- Screenshots show the application's window ------------------------------------------------


def window_size(app):
    _, _, width, height = app.main_window().bounds()
    return int(width), int(height)


@pytest.mark.parametrize("stock", ["featherpad"], indirect=True)
def test_screenshot_with_an_open_menu_shows_the_window(stock):
    app = stock.app()
    size = window_size(app)
    app.find("role:AXMenuItem title:File").click(mode=FOCUS)
    wait_until(lambda: app.find("role:AXMenuItem title:Open").bounds()[2] > 100)
    width, height, _ = decode_png(app.screenshot())
    assert (width, height) == size


@pytest.mark.parametrize("stock", ["gtk4-widget-factory"], indirect=True)
def test_gtk4_screenshot_is_the_window_without_its_shadow(stock):
    app = stock.app()
    size = window_size(app)
    width, height, _ = decode_png(app.screenshot())
    assert (width, height) == size
    # With the entry's context menu open (a popup window GTK 4 does not put in the tree), still
    # the window, with the menu drawn over it.
    before = decode_png(app.screenshot())[2]
    app.find("role:AXTextField").right_click(mode=FOCUS)

    def window_with_menu():
        width, height, rows = decode_png(app.screenshot())
        assert (width, height) == size
        return rows != before

    wait_until(window_with_menu, timeout=5)


# --- Typing arrives whole ---------------------------------------------------------------------


@pytest.mark.parametrize("stock", ["galculator"], indirect=True)
@pytest.mark.parametrize(("keys", "shown"), [("777", "777"), ("5+5=", "10"), ("12*3=", "36")])
def test_typing_into_galculator_loses_nothing(stock, keys, shown):
    app = stock.app()
    display = app.find("role:AXTextArea")
    app.find("role:AXCheckBox title:AC").click(mode=FOCUS)
    wait_until(lambda: display.value().strip() == "0")
    display.type_text(keys, mode=FOCUS)
    wait_until(lambda: display.value().strip() == shown, timeout=5)


# --- Names are names --------------------------------------------------------------------------


@pytest.mark.parametrize("stock", ["galculator"], indirect=True)
@pytest.mark.parametrize("name", [".*", "galc.*", "galculato.", "[g]alculator", "^galculator$"])
def test_app_names_match_literally(stock, name):
    with pytest.raises(RuntimeError, match=r"^Application not found: "):
        pelorix.app(name=name)
    assert pelorix.app(name="galculator").pid == stock.pid
