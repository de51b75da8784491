"""Elements as windows() and main_window() hand them out, and their ten reads, which never
raise for the accessibility service's failures."""

import pytest

import pelorix
from simdesk import AXError, node, point, size, status, utf16


@pytest.fixture
def window_of(desktop):
    """Builds an application whose only window has `attrs`; returns (app, window, node)."""

    def build(**attrs):
        root, window = desktop.add_app(4242, node("AXApplication", children=[node(**attrs)]))
        root.set(windows=[window], main_window=window)
        connected = pelorix.app(pid=4242)
        [element] = connected.windows()
        return connected, element, window

    return build


STRING_READS = ["role", "title", "value", "description", "label", "identifier"]


@pytest.mark.parametrize(
    "value, expected",
    [
        ("Save", "Save"),
        ("", ""),
        ("Grüße 😀", "Grüße 😀"),
        (utf16("Save", direct=False), "Save"),
        (utf16("ab\ud800cd"), "ab"),
        (5, None),
        (1.5, None),
        (True, None),
        (None, None),
        (point(1, 2), None),
        (status(AXError.ATTRIBUTE_UNSUPPORTED), None),
        (status(AXError.CANNOT_COMPLETE), None),
        (status(AXError.API_DISABLED), None),
    ],
)
@pytest.mark.parametrize("method", STRING_READS)
def test_string_reads(window_of, method, value, expected):
    _, element, _ = window_of(**{method: value})
    assert getattr(element, method)() == expected


@pytest.mark.parametrize(
    "value, expected",
    [(True, True), (False, False), (1, False), ("true", False), (None, False), (status(-25205), False)],
)
@pytest.mark.parametrize("method", ["enabled", "focused"])
def test_boolean_reads(window_of, method, value, expected):
    _, element, _ = window_of(**{method: value})
    assert getattr(element, method)() is expected


def test_missing_attributes(window_of):
    _, element, _ = window_of()
    assert [getattr(element, m)() for m in STRING_READS] == [None] * 6
    assert (element.enabled(), element.focused(), element.exists(), element.bounds()) == (
        False,
        False,
        False,
        None,
    )


@pytest.mark.parametrize(
    "position, extent, expected",
    [
        (point(10.5, -3.25), size(300, 40.125), (10.5, -3.25, 300.0, 40.125)),
        (point(1e308, 0), size(0, 0), (1e308, 0.0, 0.0, 0.0)),
        (point(1, 2), status(AXError.ATTRIBUTE_UNSUPPORTED), None),
        (status(AXError.NO_VALUE), size(1, 2), None),
        (point(1, 2), None, None),
        (size(1, 2), size(1, 2), None),
        (point(1, 2), point(3, 4), None),
        ("10,20", size(1, 2), None),
    ],
)
def test_bounds(window_of, position, extent, expected):
    _, element, _ = window_of(position=position, size=extent)
    got = element.bounds()
    assert got == expected
    if got is not None:
        assert all(type(v) is float for v in got)


def test_a_vanished_element_reads_empty(window_of):
    _, element, window = window_of(role="AXWindow", title="Doc", enabled=True, position=point(0, 0), size=size(1, 1))
    assert element.exists() and element.role() == "AXWindow"
    window.remove()
    assert [getattr(element, m)() for m in STRING_READS] == [None] * 6
    assert (element.enabled(), element.focused(), element.exists(), element.bounds()) == (
        False,
        False,
        False,
        None,
    )


def test_reads_are_live_and_methods_are_methods(window_of):
    _, element, window = window_of(role="AXWindow", title="One")
    assert element.title() == "One"
    window.set(title="Two")
    assert element.title() == "Two"
    assert callable(element.role) and element.role.__self__ is element


def test_windows_in_order_and_outliving_the_app(desktop):
    root, first, second = desktop.add_app(
        4242,
        node("AXApplication", children=[node("AXWindow", title="B"), node("AXWindow", title="A")]),
    )
    root.set(windows=[second, first], main_window=first)
    connected = pelorix.app(pid=4242)
    windows = connected.windows()
    assert [w.title() for w in windows] == ["A", "B"]
    assert all(w.role() == "AXWindow" for w in windows)
    main = connected.main_window()
    assert main.title() == "B" and main is not windows[1]
    del connected
    assert windows[0].title() == "A"


@pytest.mark.parametrize(
    "value, outcome",
    [
        ([], []),
        (None, "macOS API error: Failed to get windows array"),
        ("not an array", "macOS API error: Failed to get windows array"),
        (status(AXError.ATTRIBUTE_UNSUPPORTED), "Invalid query: Attribute unsupported: AXWindows"),
        (status(AXError.CANNOT_COMPLETE), "Action failed: Cannot complete: AXWindows"),
    ],
)
def test_windows_failures(desktop, value, outcome):
    desktop.add_app(4242, node("AXApplication", windows=value))
    connected = pelorix.app(pid=4242)
    if isinstance(outcome, list):
        assert connected.windows() == outcome
    else:
        with pytest.raises(RuntimeError) as caught:
            connected.windows()
        assert str(caught.value) == outcome


def test_windows_skips_entries_that_are_not_elements(desktop):
    root, window = desktop.add_app(4242, node("AXApplication", children=[node("AXWindow")]))
    root.set(windows={"array": [{"element": window.id}, "stray text", 5]})
    assert [w.role() for w in pelorix.app(pid=4242).windows()] == ["AXWindow"]


def test_an_application_that_is_gone(desktop):
    root, = desktop.add_app(4242)
    connected = pelorix.app(pid=4242)
    root.remove()
    for call, attribute in ((connected.windows, "AXWindows"), (connected.main_window, "AXMainWindow")):
        with pytest.raises(RuntimeError) as caught:
            call()
        assert str(caught.value) == "Element not found: " + attribute


@pytest.mark.parametrize("value", [None, "a string", 7])
def test_a_main_window_that_is_no_element_reads_empty(desktop, value):
    desktop.add_app(4242, node("AXApplication", main_window=value))
    main = pelorix.app(pid=4242).main_window()
    assert isinstance(main, pelorix.AXElement)
    assert (main.role(), main.exists(), main.enabled(), main.bounds()) == (None, False, False, None)
