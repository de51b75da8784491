"""type_text: the key events posted to the element's process, their spacing, and refusals."""

import pytest

import pelorix
from pelorix import BACKGROUND, FOCUS
from simdesk import AXError, node

SHIFT = 56


@pytest.fixture
def field(desktop):
    root, field_node = desktop.add_app(4242, node("AXApplication", children=[node("AXTextField", title="Name")]))
    element = pelorix.app(pid=4242).find("role:AXTextField")
    desktop.log(clear=True)
    return element, field_node


def keys(desktop):
    return [
        (r["value"]["key_code"], r["value"]["down"], "".join(map(chr, r["value"]["units"])) if r["value"]["units"] else "")
        for r in desktop.log(kind="key")
    ]


def press(code, text):
    return [(code, True, text), (code, False, text)]


def shifted(code, text):
    return [(SHIFT, True, "")] + press(code, text) + [(SHIFT, False, "")]


@pytest.mark.parametrize(
    "text, events",
    [
        ("a", press(0, "a")),
        ("A", shifted(0, "A")),
        ("\n", press(36, "\n")),
        ("\r", press(36, "\r")),
        ("\t", press(48, "\t")),
        (" ", press(49, " ")),
        ("\u00e9", press(49, "\u00e9")),
        ("\x0b", press(49, "\x0b")),
        ("\x7f", press(49, "\x7f")),
        ("\x00", press(49, "\x00")),
        ('"', shifted(39, '"')),
        ("~1", shifted(50, "~") + press(18, "1")),
    ],
)
def test_character_map(desktop, field, text, events):
    element, _ = field
    assert element.type_text(text) is None
    assert keys(desktop) == events


def test_astral_characters_arrive_whole(desktop, field):
    element, _ = field
    element.type_text("😀", mode=FOCUS)
    units = [r["value"]["units"] for r in desktop.log(kind="key")]
    assert units == [[0xD83D, 0xDE00]] * 2
    assert "".join(map(chr, units[0])).encode("utf-16-le", "surrogatepass").decode("utf-16-le") == "😀"


def test_events_go_to_the_elements_process_10_ms_apart(desktop, field):
    element, _ = field
    element.type_text("Hi")
    records = desktop.log(kind="key")
    assert {r["pid"] for r in records} == {4242}
    times = [r["t_ns"] for r in records]
    assert len(times) == 6
    assert all(b - a >= 10_000_000 for a, b in zip(times, times[1:]))


def test_empty_text_posts_nothing_but_asks_for_the_pid(desktop, field):
    element, _ = field
    element.type_text("")
    assert keys(desktop) == []
    assert len(desktop.log(kind="get_pid")) == 1


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda e: e.type_text("a", mode=BACKGROUND), RuntimeError,
         "Action not supported in background mode: Text input requires FOCUS mode"),
        (lambda e: e.type_text("a", BACKGROUND), RuntimeError,
         "Action not supported in background mode: Text input requires FOCUS mode"),
        (lambda e: e.type_text(b"a"), TypeError, "argument 'text': 'bytes' object cannot be converted to 'str'"),
        (lambda e: e.type_text("a", mode=1), TypeError, "argument 'mode': "),
        (lambda e: e.type_text(5, mode=1), TypeError, "argument 'text': "),
        (lambda e: e.type_text("a\udc00"), UnicodeEncodeError, ""),
        (lambda e: e.type_text(), TypeError, "AXElement.type_text() missing 1 required positional argument: 'text'"),
    ],
)
def test_refusals_post_nothing(desktop, field, call, error, message):
    element, _ = field
    with pytest.raises(error) as caught:
        call(element)
    assert str(caught.value).startswith(message)
    assert keys(desktop) == []


def test_platform_failures(desktop, field):
    element, field_node = field
    desktop.set_pid_status(field_node, AXError.INVALID_UI_ELEMENT)
    with pytest.raises(RuntimeError, match="^macOS API error: Failed to get PID$"):
        element.type_text("a")
    desktop.set_pid_status(field_node, None)
    desktop.settings(fail_event_source=True)
    with pytest.raises(RuntimeError, match="^Action failed: Failed to create event source$"):
        element.type_text("a")
    assert keys(desktop) == []


def test_events_that_cannot_be_made_are_skipped(desktop, field):
    element, _ = field
    # Creations in order for "aB": a-down, a-up, shift-down, b-down, b-up, shift-up.
    desktop.settings(fail_keyboard_events=[1, 3])
    element.type_text("aB")
    assert keys(desktop) == [(0, True, "a"), (SHIFT, True, ""), (SHIFT, False, "")]
