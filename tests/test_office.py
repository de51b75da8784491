"""pelorix on LibreOffice Writer and Calc (GTK 3 plugin), used as a user would: a sheet that
claims 2,147,483,647 cells must never be asked for all of them (the first batched search made
Calc unresponsive for minutes while it grew by gigabytes), cells reached and typed into, a
document typed, selected and read by paragraph, a menu command with its dialog, and the error
text of a press on the sheet.

Each application starts once for the module (harness/office.py: a fresh profile, removed
afterwards); every call is bounded by its own time limit, and the hang the first test guards
against is measured against a bound far above what a working search takes.
"""

import os
import re
import time

import pytest

import office
from pelorix import FOCUS
from pelorixkit import elements, keyboard, pointer
from realdesk import wait_until

pytestmark = [pytest.mark.desktop, pytest.mark.large_app]

# A search that works takes well under a second; the hang took 78-120 s. Anything between
# would be a search that reads far more than what is on screen.
HANG_S = 10
# What reading the cells on screen may add to soffice.bin (a bulk read added 0.5-6 GB).
GROWTH_MIB = 150


@pytest.fixture(scope="module")
def calc():
    if reason := office.unavailable_reason():
        pytest.skip(reason)
    started = office.launch("calc")
    try:
        # The sheet is made after the window: the tests start once it is there (asked live,
        # so that waiting for it reads nothing in bulk).
        saved = os.environ.get("PELORIX_ATSPI_BATCH")
        os.environ["PELORIX_ATSPI_BATCH"] = "0"
        try:
            started.app().wait_for_element("role:AXTable title:Sheet", 20000)
            started.app().wait_for_element("role:AXButton title:Export", 20000)
        finally:
            if saved is None:
                os.environ.pop("PELORIX_ATSPI_BATCH")
            else:
                os.environ["PELORIX_ATSPI_BATCH"] = saved
        yield started
    finally:
        started.stop()


@pytest.fixture(scope="module")
def writer():
    if reason := office.unavailable_reason():
        pytest.skip(reason)
    started = office.launch("writer")
    yield started
    started.stop()


def still_answers(started):
    """Calc answers a plain live read at once."""
    began = time.monotonic()
    assert "LibreOffice Calc" in started.app().main_window().title()
    return time.monotonic() - began


@pytest.mark.parametrize("batch", ["1", "0"], ids=["batched", "live"])
def test_a_search_past_the_sheet_returns_and_calc_still_answers(calc, batch, monkeypatch):
    """The toolbar button lies in the tree after the sheet: reaching it passes the sheet's
    2^31-1 claimed children, of which only those on screen may be asked for."""
    monkeypatch.setenv("PELORIX_ATSPI_BATCH", batch)
    before = calc.rss_kib()
    began = time.monotonic()
    button = calc.app().find("role:AXButton title:Export", timeout_ms=HANG_S * 2000)
    elapsed = time.monotonic() - began
    assert button.title() == "Export Directly as PDF"
    assert elapsed < HANG_S
    assert still_answers(calc) < 1
    assert (calc.rss_kib() - before) / 1024 < GROWTH_MIB


def test_the_sheet_is_read_with_the_cells_on_screen(calc):
    sheet = calc.app().find("role:AXTable title:Sheet", timeout_ms=5000)
    cells = elements.children(sheet)
    names = [cell.title() for cell in cells]
    # Row by row from A1, a rectangle of whole rows: what the window shows, no more.
    assert names[:3] == ["A1", "B1", "C1"]
    columns = next(i for i, name in enumerate(names) if name == "A2")
    assert len(names) % columns == 0 and 20 <= len(names) <= 4096
    assert names[-1] == f"{names[columns - 1][:-1]}{len(names) // columns}"
    assert sheet.find("AXTitle:C4", timeout_ms=0).role() == "AXCell"
    # A cell far below the window is not one of the children read.
    with pytest.raises(RuntimeError, match="^Element not found: AXTitle:A5000$"):
        sheet.find("AXTitle:A5000", timeout_ms=0)
    assert still_answers(calc) < 1


def name_box(app):
    """The Name Box: the formula bar's field that shows the current cell's reference."""
    bar = app.find("role:AXToolbar title:Formula", timeout_ms=5000)
    fields = elements.find_all(bar, "AXRole:AXTextField")
    return next(f for f in fields if re.fullmatch(r"[A-Z]+[0-9]+(:[A-Z]+[0-9]+)?", f.value() or ""))


def test_typing_into_a_cell_reached_through_the_name_box(calc):
    app = calc.app()
    # Clicked as a user clicks it: LibreOffice answers a focus request on the field with
    # success and leaves the focus where it was.
    field = name_box(app)
    pointer.click(field, mode=FOCUS)
    wait_until(field.focused, timeout=5)
    keyboard.press(field, "ctrl+a")
    field.type_text("C3\n", mode=FOCUS)
    wait_until(lambda: name_box(app).value() == "C3", timeout=5)
    sheet = app.find("role:AXTable title:Sheet", timeout_ms=5000)
    sheet.type_text("42\t=C3*2\n", mode=FOCUS)

    def cell(name):
        return sheet.find(f"AXTitle:{name}", timeout_ms=0)

    wait_until(lambda: cell("D3").value() == "84", timeout=5)
    assert [cell(name).value() for name in ("C3", "D3", "C2", "E3")] == ["42", "84", "", ""]
    # Enter moved down to the start of the typed row: the Name Box says so.
    assert name_box(app).value() == "C4"


@pytest.mark.parametrize("call, message", [
    (lambda sheet: sheet.click(mode=FOCUS),
     "Action not supported in background mode: Action unsupported: AXPress (the AXTable has no "
     "press action; its actions: none)"),
    (lambda sheet: sheet.set_value("1"),
     "Invalid query: Attribute unsupported: AXValue (the AXTable has no editable text and no "
     "value to set)"),
], ids=["press", "value"])
def test_what_the_sheet_cannot_do_is_said(calc, call, message):
    sheet = calc.app().find("role:AXTable title:Sheet", timeout_ms=5000)
    with pytest.raises(RuntimeError) as caught:
        call(sheet)
    assert str(caught.value) == message


def paragraphs(document):
    return [p.value() for p in elements.children(document)]


def test_typing_selecting_and_reading_paragraphs(writer):
    document = writer.app().find("role:AXTextArea", timeout_ms=5000)
    document.type_text("First paragraph\nSecond paragraph\nThird one", mode=FOCUS)
    wait_until(lambda: paragraphs(document) == ["First paragraph", "Second paragraph", "Third one"],
               timeout=5)
    # The second paragraph selected with the keyboard and typed over.
    keyboard.press(document, "ctrl+Home", mode=FOCUS)
    keyboard.press(document, "Down")
    keyboard.press(document, "shift+End")
    document.type_text("Replaced", mode=FOCUS)
    wait_until(lambda: paragraphs(document) == ["First paragraph", "Replaced", "Third one"],
               timeout=5)
    # A NUL cannot travel to the application: refused, the cause said, nothing written.
    first = elements.children(document)[0]
    with pytest.raises(RuntimeError) as caught:
        first.set_value("a\0b")
    assert str(caught.value).startswith("Invalid query: Illegal argument: AXValue (the value "
                                        "contains a NUL character")
    assert paragraphs(document)[0] == "First paragraph"


def test_a_menu_command_opens_a_dialog_that_is_read_and_closed(writer):
    app = writer.app()
    app.find("role:AXMenuItem title:Word Count", timeout_ms=5000).click(mode=FOCUS)
    dialog = app.wait_for_element("role:AXWindow title:Word Count", 5000)

    # What the status bar counts ("5 words, 33 characters") is what the dialog lists; the
    # status bar follows typing a moment later, so both are read again until they agree.
    def counts_agree():
        status = next(m for t in elements.find_all(app, "role:AXStaticText")
                      if (m := re.fullmatch(r"(\d+) words?, (\d+) characters?", t.value() or "")))
        texts = [t.value() for t in elements.find_all(dialog, "AXRole:AXStaticText")]
        return {"Words", "Document", status[1], status[2]} <= set(texts)

    wait_until(counts_agree, timeout=5)
    dialog.find("AXTitle:Close", timeout_ms=1000).click(mode=FOCUS)
    wait_until(lambda: "Word Count" not in [w.title() for w in app.windows()], timeout=5)
    assert [w.title() for w in app.windows()] == ["Untitled 1 - LibreOffice Writer"]


def test_profiles_are_private_and_removed():
    """The launcher leaves nothing behind: its profile folder goes with the application."""
    if reason := office.unavailable_reason():
        pytest.skip(reason)
    started = office.launch("writer")
    profile = started.profile
    assert os.path.isdir(os.path.join(profile, "user"))
    started.stop()
    assert not os.path.exists(profile)
