"""pelorixkit on stock applications of the real desktop: lists and counts, states before and
after a change, numbers, and waits, on GTK 3 (gtk3-widget-factory), GTK 4 (gtk4-widget-factory)
and Qt 5 (FeatherPad)."""

import pytest

import pelorixkit
from realdesk import launch_stock, launch_zenity

pytestmark = pytest.mark.desktop


@pytest.fixture
def stock(request):
    started = launch_stock(request.param)
    yield started
    started.stop()


def titles(elements):
    return [e.title() for e in elements]


@pytest.mark.parametrize("stock", ["gtk3-widget-factory"], indirect=True)
def test_gtk3_tabs_counted_selected_and_a_toggle_checked_before_and_after(stock):
    app = stock.app()
    # The first notebook of the first page: its three tabs, the first selected.
    notebook = next(g for g in pelorixkit.find_all(app, "role:AXTabGroup") if "page 1" in titles(pelorixkit.children(g)))
    tabs = pelorixkit.find_all(notebook, "AXRole:AXRadioButton")
    assert titles(tabs) == ["page 1", "page 2", "page 3"]
    assert pelorixkit.count(notebook, "AXRole:AXRadioButton") == 3
    assert [pelorixkit.selected(t) for t in tabs] == [True, False, False]
    assert pelorixkit.parent(tabs[0]).role() == "AXTabGroup"
    tabs[1].click()
    assert pelorixkit.wait_until(tabs[1], "selected", equals=True, timeout_ms=5000) is True
    assert not pelorixkit.selected(tabs[0])

    toggle = next(t for t in pelorixkit.find_all(app, "role:AXCheckBox title:togglebutton") if not pelorixkit.checked(t))
    assert pelorixkit.focusable(toggle) and pelorixkit.showing(toggle) and not pelorixkit.editable(toggle)
    toggle.click()
    pelorixkit.wait_until(toggle, "checked", equals=True, timeout_ms=5000)
    toggle.click()
    pelorixkit.wait_until(toggle, "checked", equals=False, timeout_ms=5000)

    for slider in pelorixkit.find_all(app, "role:AXSlider"):
        low, high, now = pelorixkit.minimum(slider), pelorixkit.maximum(slider), pelorixkit.number(slider)
        assert low is not None and high is not None and low < high and low <= now <= high
    [progress, *_] = pelorixkit.find_all(app, "role:AXProgressIndicator")
    assert (pelorixkit.minimum(progress), pelorixkit.number(progress), pelorixkit.maximum(progress)) == (0.0, 0.5, 1.0)
    [entry, *_] = pelorixkit.find_all(app, "role:AXTextField")
    assert pelorixkit.editable(entry)


@pytest.mark.parametrize("stock", ["gtk4-widget-factory"], indirect=True)
def test_gtk4_check_button_and_expander_before_and_after(stock):
    app = stock.app()
    checks = pelorixkit.find_all(app, "role:AXCheckBox title:checkbutton")
    assert len(checks) == pelorixkit.count(app, "role:AXCheckBox title:checkbutton") >= 2
    box = next(c for c in checks if not pelorixkit.checked(c))
    # GTK 4 never sets showing below a window: what is mapped shows, what is not does not.
    assert pelorixkit.showing(box)
    hue = app.find("role:AXSlider title:Hue")
    assert pelorixkit.visible(hue) and not pelorixkit.showing(hue)
    box.click()
    assert pelorixkit.wait_until(box, "checked", equals=True, timeout_ms=5000) is True
    box.click()
    pelorixkit.wait_until(box, "checked", equals=False, timeout_ms=5000)

    expander = app.find("role:AXButton title:GtkExpander")
    before = pelorixkit.expanded(expander)
    expander.click()
    pelorixkit.wait_until(expander, "expanded", equals=not before, timeout_ms=5000)
    expander.click()
    pelorixkit.wait_until(expander, "expanded", equals=before, timeout_ms=5000)

    spin = pelorixkit.find_all(app, "role:AXIncrementor")[0]
    assert (pelorixkit.minimum(spin), pelorixkit.number(spin), pelorixkit.maximum(spin)) == (1.0, 50.0, 1000.0)
    assert pelorixkit.editable(spin) and pelorixkit.visible(spin)


@pytest.mark.parametrize("stock", ["featherpad"], indirect=True)
def test_qt_tabs_counted_and_a_menu_item_checked_before_and_after(stock):
    app = stock.app()
    [bar] = pelorixkit.find_all(app, "role:AXTabGroup")
    assert pelorixkit.count(bar, "AXRole:AXRadioButton") == 1
    app.find("role:AXButton title:New").click()
    assert len(pelorixkit.wait_count(bar, "AXRole:AXRadioButton", 2, timeout_ms=5000)) == 2
    assert [c.role() for c in pelorixkit.children(bar)] == ["AXRadioButton", "AXRadioButton"]

    wrap = app.find("role:AXMenuItem title:Wrap Lines")
    before = pelorixkit.checked(wrap)
    wrap.click()
    pelorixkit.wait_until(wrap, "checked", equals=not before, timeout_ms=5000)
    wrap.click()
    pelorixkit.wait_until(wrap, "checked", equals=before, timeout_ms=5000)
    # Qt marks checkable menu items with the checked state alone: the others are not checked.
    assert not pelorixkit.checked(app.find("role:AXMenuItem title:Open"))



def test_gtk3_dialog_waited_for_and_waited_out():
    dialog = launch_zenity("--question", "--text", "Go on?", title="Question")
    try:
        app = dialog.app()
        no = pelorixkit.wait_for(app, "role:AXButton title:No", timeout_ms=5000)
        assert titles(pelorixkit.find_all(app, "role:AXButton")) == ["No", "Yes"]
        no.click()
        pelorixkit.wait_gone(app, "role:AXButton title:No", timeout_ms=5000)
        assert dialog.output()[0] == 1
    finally:
        dialog.stop()
