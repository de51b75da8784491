"""pelorix-inspect on the simulated desktop: the tree it prints, the query it suggests for each
element (which pelorix's own find must answer with exactly that element), why an element has
none, its JSON, its diagnosis of a query and its progress report."""

import ctypes
import io
import json
import re

import pytest

import pelorix
from pelorixkit import _capi
from pelorixkit import inspect as pelorix_inspect
from simdesk import AXError, node, point, size, status

PID = 4343


def run(*args):
    out, err = io.StringIO(), io.StringIO()
    code = pelorix_inspect.main(["--pid", str(PID), *args], out=out, err=err)
    return code, out.getvalue(), err.getvalue()


def inspected(*args):
    code, out, err = run("--json", *args)
    assert code == 0, err
    return json.loads(out)


# Each case: the elements of a window, the first of them (#2) under test, and the query it must
# get, or the start of the reason it has none.
CASES = {
    # "+" is contained in "M+", so nothing names "+" alone; "M+" is named by its title.
    "substring trap": (
        [node("AXButton", title="+"), node("AXButton", title="M+")],
        None,
        'every query that names it also finds #3 (AXButton title="M+"): title "M+" contains "+"',
    ),
    "shortest form wins": ([node("AXButton", title="7", identifier="seven")], "title:7", None),
    "title with a blank needs the path form": (
        [node("AXButton", title="Save As"), node("AXButton", title="Save")],
        "//[@AXTitle='Save As']",
        None,
    ),
    "a single quote inside is quoted with double quotes": (
        [node("AXButton", title="Don't save"), node("AXButton", title="Save")],
        '//[@AXTitle="Don\'t save"]',
        None,
    ),
    "the role tells apart what the title does not": (
        [node("AXCheckBox", title="Bold"), node("AXButton", title="Bold")],
        "//AXCheckBox",
        None,
    ),
    "role and title together": (
        [node("AXButton", title="Open"), node("AXMenuItem", title="Open"), node("AXButton", title="Close")],
        "role:AXButton title:Open",
        None,
    ),
    "a colon in the value stays in the value": (
        [node("AXStaticText", title="a:b"), node("AXStaticText", title="a")],
        "title:a:b",
        None,
    ),
    "quotes stay in the key-value form": (
        [node("AXButton", title="'x'"), node("AXButton", title="x")],
        "title:'x'",
        None,
    ),
    "a no-break space splits the key-value form too": (
        [node("AXButton", title="Save\u00a0As"), node("AXButton", title="Save")],
        "//[@AXTitle='Save\u00a0As']",
        None,
    ),
    "plain text when the identifier is in the title and the label": (
        [node("AXButton", identifier="ok", title="ok!", label="ok?"), node("AXButton", title="ok!", label="ok?")],
        "ok",
        None,
    ),
    "twins": (
        [node("AXButton", title="Go"), node("AXButton", title="Go")],
        None,
        "same role, title, identifier and label as #3",
    ),
    "nothing to name": ([node(None, AXRole=status(AXError.CANNOT_COMPLETE))], None, "nothing to name it by"),
    "an identifier no query can hold": (
        [node("AXButton", identifier=" a b] "), node("AXButton", identifier="c")],
        None,
        'its identifier " a b] " cannot be written in a query (white space and \']\' and blanks at its ends)',
    ),
    # No query can ask for a title to be missing.
    "an unreadable title is no title": (
        [node("AXButton", title=status(AXError.CANNOT_COMPLETE)), node("AXButton", title="")],
        None,
        "every query that names it also finds #3 (AXButton)",
    ),
}


@pytest.mark.parametrize("case", CASES, ids=list(CASES))
def test_query_or_reason_for_each_element(desktop, case):
    others, expected_query, expected_reason = CASES[case]
    desktop.add_app(
        PID,
        node("AXApplication", title="Calc", children=[node("AXWindow", title="Calculator", children=others)]),
    )
    document = inspected()
    (target,) = [e for e in document["elements"] if e["number"] == 2]
    assert target["query"] == expected_query
    if expected_reason is None:
        assert target["no_query_reason"] is None
    else:
        assert target["no_query_reason"].startswith(expected_reason)
    _every_query_finds_its_element(document)


def _every_query_finds_its_element(document):
    """Each suggested query, run through the public find, returns the element it was made for
    (told apart by their attributes and their place: no two listed elements are alike)."""
    connected = pelorix.app(pid=PID)
    elements = {e["number"]: e for e in document["elements"]}
    for e in document["elements"]:
        if e["query"] is None:
            continue
        found = connected.find(e["query"], timeout_ms=0)
        same = [
            n
            for n, other in elements.items()
            if (other["role"], other["title"], other["identifier"], other["label"])
            == (found.role(), found.title(), found.identifier(), found.label())
        ]
        assert same == [e["number"]], e


def test_every_element_of_a_larger_tree_gets_a_working_query(desktop):
    keys = [node("AXButton", title=t, identifier=f"key-{i}") for i, t in enumerate("789456123+-×÷=")]
    rows = [node("AXGroup", label=f"row {r}", children=keys[r * 4 : r * 4 + 4]) for r in range(4)]
    desktop.add_app(
        PID,
        node(
            "AXApplication",
            title="Calc",
            children=[
                node("AXWindow", title="Calculator", children=[node("AXMenuBar", children=[node("AXMenu", title="M+"), node("AXMenu", title="MR")]), *rows]),
                node("AXWindow", title="About Calc"),
            ],
        ),
    )
    document = inspected()
    assert len(document["elements"]) == 1 + 2 + 1 + 2 + 4 + 14
    _every_query_finds_its_element(document)
    queries = {e["title"] or e["label"] or e["role"]: e["query"] for e in document["elements"]}
    # "+" is in "M+", so the key is named by its identifier; "Calc" is in both window titles.
    assert queries["+"] == "id:key-9" and queries["M+"] == "title:M+"
    assert queries["Calc"] == "//AXApplication" and queries["row 1"] == "//[@AXLabel='row 1']"
    # The numbers are the search's level order: parents before children, siblings in order.
    for e in document["elements"]:
        assert all(child > e["number"] for child in e["children"])
        assert e["parent"] is None or e["parent"] < e["number"]


def test_printed_tree(desktop):
    desktop.add_app(
        PID,
        node(
            "AXApplication",
            title="Calc",
            children=[
                node(
                    "AXWindow",
                    title="Calculator",
                    position=point(100, 50),
                    size=size(300, 200),
                    children=[
                        node("AXGroup", children=[node("AXButton", title="7", enabled=False, focused=True, position=point(110, 60), size=size(40, 30))]),
                        node("AXTextField", value="42", label="Display", position=point(900, 900), size=size(50, 20)),
                    ],
                )
            ],
        ),
    )
    code, out, err = run()
    assert (code, err) == (0, "")
    lines = out.splitlines()
    assert re.fullmatch(r"pid 4343: 5 elements read in [\d.]+ s; 5 with a verified query, 0 without", lines[0])
    # Each element under its parent, in the application's order; "Calc" alone would also find
    # "Calculator", so the root is named by its role.
    assert lines[1:] == [
        '#0 AXApplication title="Calc"    find: //AXApplication',
        '  #1 AXWindow title="Calculator" @100,50 300x200    find: //AXWindow',
        "    #2 AXGroup [empty]    find: //AXGroup",
        '      #4 AXButton title="7" disabled focused @110,60 40x30    find: title:7',
        '    #3 AXTextField label="Display" value="42" @900,900 50x20 [off screen]    find: label:Display',
    ]


@pytest.fixture
def calculator(desktop):
    return desktop.add_app(
        PID,
        node(
            "AXApplication",
            title="Calc",
            children=[
                node(
                    "AXWindow",
                    title="Calculator",
                    children=[node("AXButton", title="M+"), node("AXButton", title="+"), node("AXMenuItem", title="+1"), node("AXButton", title="7")],
                )
            ],
        ),
    )


def test_query_diagnosis(calculator):
    report = inspected("--query", "role:AXButton title:+")["diagnosis"]
    # Both buttons match; the search returns the first in level order, "M+".
    assert report["matches"] == [2, 3] and report["found"] == 2
    assert report["criteria"] == 'SearchCriteria { role: Some("AXButton"), title: Some("+"), identifier: None, label: None }'
    # The nearest misses fail one test, and come before those that fail both.
    assert report["nearest"] == [
        {"number": 4, "failed": ['role is "AXMenuItem", not "AXButton"']},
        {"number": 5, "failed": ['title "7" does not contain "+"']},
        {"number": 0, "failed": ['role is "AXApplication", not "AXButton"', 'title "Calc" does not contain "+"']},
        {"number": 1, "failed": ['role is "AXWindow", not "AXButton"', 'title "Calculator" does not contain "+"']},
    ]
    code, out, _ = run("--query", "role:AXButton title:+")
    assert code == 0
    assert 'found: #2 AXButton title="M+" in ' in out and "2 elements match" in out


@pytest.mark.parametrize(
    "query, invalid",
    [("title:nothing", None), ("Title:+", "Invalid query: Unknown key: Title")],
)
def test_diagnosis_of_a_query_that_finds_nothing(calculator, query, invalid):
    report = inspected("--query", query)["diagnosis"]
    assert report["found"] is None and report["matches"] == [] and report["invalid"] == invalid
    code, out, _ = run("--query", query)
    assert code == 0 and f'"Element not found: {query}"' in out


def test_json_schema(calculator):
    document = inspected()
    assert set(document) == {"pid", "truncated", "seconds", "elements"}
    assert document["pid"] == PID and document["truncated"] is False
    fields = {"number", "parent", "depth", "role", "title", "identifier", "label", "value", "enabled",
              "focused", "bounds", "children", "empty", "off_screen", "query", "no_query_reason"}
    for e in document["elements"]:
        assert set(e) == fields
        assert (e["query"] is None) != (e["no_query_reason"] is None)
        for child in e["children"]:
            assert document["elements"][child]["parent"] == e["number"]
            assert document["elements"][child]["depth"] == e["depth"] + 1


def test_reading_stops_at_the_limit(desktop):
    desktop.add_app(PID, node("AXApplication", children=[node("AXCell", title=f"c{i}") for i in range(10)]))
    document = inspected("--limit", "5")
    assert document["truncated"] is True and [e["number"] for e in document["elements"]] == [0, 1, 2, 3, 4]
    # The elements read are still named, each checked with the search over the whole tree.
    assert [e["query"] for e in document["elements"]][1:] == ["title:c0", "title:c1", "title:c2", "title:c3"]


def test_progress_goes_to_stderr_only(desktop, monkeypatch):
    monkeypatch.setattr(pelorix_inspect, "PROGRESS_AFTER_S", 0)
    monkeypatch.setattr(pelorix_inspect, "PROGRESS_EVERY", 20)
    desktop.add_app(PID, node("AXApplication", children=[node("AXCell", title=f"c{i:02}") for i in range(59)]))
    code, out, err = run("--json")
    assert code == 0 and len(json.loads(out)["elements"]) == 60
    assert err.splitlines() == [f"pelorix-inspect: read {n} elements" for n in (20, 40, 60)] + [
        f"pelorix-inspect: checked queries of {n} of 60 elements" for n in (20, 40, 60)
    ]


@pytest.mark.parametrize(
    "args, message",
    [
        (["--name", "no-such-app-xyz"], "pelorix-inspect: Application not found: no-such-app-xyz"),
        ([], "pelorix-inspect: Must provide name, bundle_id, or pid"),
        (["--pid", str(2**40)], "pelorix-inspect: "),
    ],
)
def test_errors_are_said_on_stderr(desktop, args, message):
    out, err = io.StringIO(), io.StringIO()
    assert pelorix_inspect.main(args, out=out, err=err) == 1
    assert err.getvalue().startswith(message) and out.getvalue() == ""


@pytest.mark.parametrize("request_text", [b"", b"[]", b'{"open": -1}', b'{"open": 1.5}', b'{"session": 99, "read": 0}', b'{"parse": 3}', b"\xff"])
def test_bad_requests_to_the_entry_point_are_refused(desktop, request_text):
    capi = _capi.table()
    raw = capi.inspect_request(request_text)
    try:
        assert "error" in json.loads(ctypes.string_at(raw))
    finally:
        capi.inspect_free(raw)


def test_an_element_is_read_once_and_sessions_close(calculator):
    with pelorix_inspect.Session(PID) as session:
        assert session.read(0)["children"] == [1]
        for number in (0, 2, -1):
            with pytest.raises(RuntimeError, match="no unread element|needs an element number"):
                session.read(number)
    with pytest.raises(RuntimeError, match="no such session"):
        session.read(1)
