"""The find operations: what they visit and read, in which order, how often they retry, and
what they say when nothing matches."""

import pytest

import pelorix
from simdesk import AXError, node, status

MISS = "role:AXNothing"


@pytest.fixture
def tree(desktop):
    """root ─ A(AXGroup) ─ A1(AXButton "Save As"), A2(AXButton "Save")
             B(AXButton "Save") ─ B1(AXStaticText)"""
    nodes = desktop.add_app(
        4242,
        node(
            "AXApplication",
            title="App",
            children=[
                node("AXGroup", title="A", children=[node("AXButton", title="Save As"), node("AXButton", title="Save")]),
                node("AXButton", title="Save", identifier="b", children=[node("AXStaticText", title="B1")]),
            ],
        ),
    )
    root, a, a1, a2, b, b1 = nodes
    return pelorix.app(pid=4242), dict(root=root, A=a, A1=a1, A2=a2, B=b, B1=b1)


def reads(desktop, **match):
    return [r for r in desktop.log(kind="read") if all(r[k] == v for k, v in match.items())]


def visits(desktop, names):
    by_id = {n.id: name for name, n in names.items()}
    return [by_id[r["node"]] for r in reads(desktop, name="AXRole")]


def test_level_order_and_only_the_reads_needed(desktop, tree):
    connected, names = tree
    desktop.log(clear=True)
    with pytest.raises(RuntimeError):
        connected.find(MISS, timeout_ms=0)
    assert visits(desktop, names) == ["root", "A", "B", "A1", "A2", "B1"]
    # A role-only search reads the role and, on a miss, the children: nothing else.
    assert {r["name"] for r in reads(desktop)} == {"AXRole", "AXChildren"}


def test_tests_stop_at_the_first_failing_field(desktop, tree):
    connected, names = tree
    desktop.log(clear=True)
    found = connected.find("role:AXButton title:Save id:b", timeout_ms=0)
    assert found.title() == "Save" and found.identifier() == "b"
    read_on = lambda n: [r["name"] for r in reads(desktop, node=names[n].id)]  # noqa: E731
    assert read_on("A") == ["AXRole", "AXChildren"]
    assert read_on("B")[:3] == ["AXRole", "AXTitle", "AXIdentifier"]
    assert "AXLabel" not in read_on("B")


@pytest.mark.parametrize(
    "query, expected",
    [
        ("role:AXButton title:Save", "Save"),  # B is shallower than A1 and A2
        ("//AXButton[@AXTitle='Save As']", "Save As"),
        ("role:AXStaticText", "B1"),
        ("//", "App"),  # all fields absent: the root itself
        ("role:AXApplication", "App"),
        ("title:Sav role:AXButton", "Save"),
    ],
)
def test_first_match_in_level_order(tree, query, expected):
    connected, _ = tree
    assert connected.find(query).title() == expected


def test_unreadable_parts_of_the_tree_are_leaves_and_non_matches(desktop, tree):
    connected, names = tree
    names["A"].set(children=status(AXError.CANNOT_COMPLETE))
    names["B"].set(title=status(AXError.INVALID_UI_ELEMENT))
    with pytest.raises(RuntimeError):
        connected.find("title:Save", timeout_ms=0)  # A's buttons are out of reach, B unreadable
    names["root"].set(children="not an array")
    assert connected.find("//").title() == "App"
    with pytest.raises(RuntimeError):
        connected.find("role:AXButton", timeout_ms=0)


def attempt_starts(desktop, root):
    return [r["t_ns"] for r in reads(desktop, node=root.id, name="AXRole")]


@pytest.mark.parametrize("timeout_ms, attempts", [(0, 1), (None, 3), (100, 3), (120, 4)])
def test_retries_every_50_ms_until_the_limit(desktop, tree, timeout_ms, attempts):
    connected, names = tree
    desktop.log(clear=True)
    with pytest.raises(RuntimeError) as caught:
        connected.find(MISS, timeout_ms=timeout_ms)
    assert str(caught.value) == "Element not found: " + MISS
    starts = attempt_starts(desktop, names["root"])
    assert len(starts) == attempts
    assert all(b - a >= 50_000_000 for a, b in zip(starts, starts[1:]))


def test_an_unknown_key_is_retried_and_reported_as_not_found(desktop, tree):
    connected, names = tree
    desktop.log(clear=True)
    with pytest.raises(RuntimeError) as caught:
        connected.find("foo:bar")
    assert str(caught.value) == "Element not found: foo:bar"
    assert reads(desktop) == []  # never parsed into something to search for


def test_the_message_keeps_the_query_untrimmed(tree):
    connected, _ = tree
    with pytest.raises(RuntimeError) as caught:
        connected.find(" Nothing ", timeout_ms=0)
    assert str(caught.value) == "Element not found:  Nothing "


def test_wait_for_element_sees_an_element_appear(desktop, tree):
    connected, names = tree
    desktop.schedule(120, "add_nodes", parent=names["root"], nodes=[node("AXSheet", title="Saved")])
    assert connected.wait_for_element("role:AXSheet", timeout_ms=2000).title() == "Saved"
    with pytest.raises(TypeError, match="^argument 'timeout_ms': "):
        connected.wait_for_element("role:AXSheet", timeout_ms=None)
    with pytest.raises(TypeError, match="unexpected keyword argument 'role'"):
        connected.find(role="AXButton")
    with pytest.raises(OverflowError):
        connected.find(MISS, timeout_ms=-1)


def test_a_huge_limit_does_not_overflow(tree):
    connected, _ = tree
    assert connected.find("role:AXButton", timeout_ms=2**64 - 1).title() == "Save"


def test_find_by_role(desktop, tree):
    connected, names = tree
    names["B"].set(title=status(AXError.ATTRIBUTE_UNSUPPORTED))
    assert connected.find_by_role("AXButton", title="").title() == "Save As"  # readable titles only
    assert connected.find_by_role("AXApplication").title() == "App"
    desktop.log(clear=True)
    found = connected.find_by_role("AXButton", title=None)
    assert "AXTitle" not in {r["name"] for r in reads(desktop)}
    assert found.identifier() == "b"
    desktop.log(clear=True)
    with pytest.raises(RuntimeError) as caught:
        connected.find_by_role("AXButton", title="Save", label='q"')
    assert str(caught.value) == (
        'Element not found: SearchCriteria { role: Some("AXButton"), title: Some("Save"), '
        'identifier: None, label: Some("q\\"") }'
    )
    assert len(attempt_starts(desktop, names["root"])) == 1  # one search, no retries


def test_element_find_is_depth_first_below_the_element(desktop, tree):
    connected, names = tree
    root = connected.find("//")
    desktop.log(clear=True)
    found = root.find("B1", timeout_ms=0)
    by_id = {n.id: k for k, n in names.items()}
    # Pre-order below the root: A, A's subtree, then B and its subtree.
    assert [by_id[r["node"]] for r in reads(desktop, name="AXTitle")] == ["A", "A1", "A2", "B", "B1"]
    assert found.title() == "B1"
    assert root.find("Save", timeout_ms=0).title() == "Save As"
    assert connected.find("//").find("AXRole:AXStaticText").title() == "B1"
    assert connected.find("//").find("AXTitle: Save ").title() == "Save As"
    with pytest.raises(RuntimeError) as caught:
        connected.find("//").find(" Save ", timeout_ms=0)  # blanks are part of the title sought
    assert str(caught.value) == "Element not found:  Save "


def test_element_find_never_returns_the_element_itself(tree):
    connected, _ = tree
    button = connected.find("role:AXButton title:Save id:b")
    with pytest.raises(RuntimeError) as caught:
        button.find("AXRole:AXButton", timeout_ms=0)
    assert str(caught.value) == "Element not found: AXRole:AXButton"
    leaf = button.find("AXRole:AXStaticText")
    with pytest.raises(RuntimeError, match="^Element not found: x$"):
        leaf.find("x")


def test_each_find_makes_a_new_element(tree):
    connected, _ = tree
    assert connected.find("//") is not connected.find("//")


def test_a_very_deep_tree(desktop):
    root, = desktop.add_app(4242, node("AXApplication"))
    desktop.settings(record_reads=False)
    parent = root
    for _ in range(100_000):
        parent = desktop.add_nodes(parent, node("AXGroup"))[0]
    parent.add(node("AXButton", title="Deep"))
    connected = pelorix.app(pid=4242)
    # Found in the first attempt; the limit only leaves the instrumented build (several times
    # slower) the time to walk 100,000 levels, which a limit of 0 bounds at its 3 s margin.
    assert connected.find("//").find("Deep", timeout_ms=20_000).role() == "AXButton"
    assert connected.find("role:AXButton", timeout_ms=20_000).title() == "Deep"


@pytest.fixture
def cyclic(desktop, tree):
    """The tree of `tree` with children cycles, as buggy toolkits make: A2 lists its own
    ancestor A, and B1 lists itself and the application."""
    connected, names = tree
    desktop.set_children(names["A2"], [names["A"]], link=True)
    desktop.set_children(names["B1"], [names["B1"], names["root"]], link=True)
    desktop.log(clear=True)
    return connected, names


def test_a_search_through_children_cycles_visits_each_element_once(desktop, cyclic):
    connected, names = cyclic
    with pytest.raises(RuntimeError, match=f"^Element not found: {MISS}$"):
        connected.find(MISS, timeout_ms=0)
    assert visits(desktop, names) == ["root", "A", "B", "A1", "A2", "B1"]
    assert connected.find("role:AXStaticText", timeout_ms=0).title() == "B1"
    with pytest.raises(RuntimeError, match="^Element not found: SearchCriteria"):
        connected.find_by_role("AXCheckBox")


def test_element_find_through_children_cycles_visits_each_element_once(desktop, cyclic):
    connected, names = cyclic
    root = connected.find("//")
    desktop.log(clear=True)
    with pytest.raises(RuntimeError, match="^Element not found: Nowhere$"):
        root.find("Nowhere", timeout_ms=0)
    by_id = {n.id: k for k, n in names.items()}
    # The element searched below counts as met: the application listed under B1 is not searched
    # again.
    assert [by_id[r["node"]] for r in reads(desktop, name="AXTitle")] == ["A", "A1", "A2", "B", "B1"]
    assert root.find("AXTitle:B1", timeout_ms=0).role() == "AXStaticText"
