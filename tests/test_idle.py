"""Idle detection: the tree fingerprint, the wait for a stable tree and the instant check, judged
from the reads the simulated desktop recorded."""

import time

import pytest

import pelorix
from simdesk import AXError, node, point, run_python, size, status, ticker

MS = 1_000_000


def readings(desktop, root):
    """The tree walks recorded so far, each a list of reads; a walk starts at the root's role."""
    reads = desktop.log(kind="read")
    starts = [i for i, r in enumerate(reads) if r["node"] == root.id and r["name"] == "AXRole"]
    return [reads[a:b] for a, b in zip(starts, starts[1:] + [len(reads)])]


def gaps_ms(walks):
    """The pauses between consecutive walks, from the end of one to the start of the next."""
    return [(b[0]["t_ns"] - a[-1]["t_ns"]) / MS for a, b in zip(walks, walks[1:])]


def app_tree():
    return node(
        "AXApplication",
        title="Editor",
        children=[
            node(
                "AXWindow",
                title="Doc",
                identifier="main",
                position=point(10, 20),
                size=size(300, 200),
                children=[
                    node("AXButton", title="OK", position=point(15, 25), size=size(40, 20)),
                    node("AXStaticText", title="Hello"),
                ],
            )
        ],
    )


def connect_editor(desktop):
    nodes = desktop.add_app(4242, app_tree())
    return pelorix.app(pid=4242), nodes


@pytest.mark.parametrize(
    "call",
    [
        lambda app: app.wait_for_idle(),
        lambda app: app.wait_for_idle(1000),
        # The largest limit must not wrap around into a small one.
        lambda app: app.wait_for_idle(timeout_ms=2**64 - 1),
    ],
)
def test_a_static_tree_is_idle_at_the_fourth_reading(desktop, call):
    app, nodes = connect_editor(desktop)
    assert call(app) is True
    walks = readings(desktop, nodes[0])
    assert len(walks) == 4
    assert all(gap >= 50 for gap in gaps_ms(walks))
    # Every walk reads the six attributes of all four elements.
    assert all(len(walk) == 24 for walk in walks)


def test_a_tree_that_keeps_changing_is_not_idle_at_the_limit(desktop):
    app, nodes = connect_editor(desktop)
    nodes.find(title="Hello").set(title=ticker(20))
    started = time.monotonic_ns()
    assert app.wait_for_idle(timeout_ms=300) is False
    assert time.monotonic_ns() - started >= 300 * MS
    walks = readings(desktop, nodes[0])
    # At least 50 ms between readings, and none begun once the limit had passed (give or take
    # the moment between checking the clock and the first read).
    assert all(gap >= 50 for gap in gaps_ms(walks))
    assert 2 <= len(walks) <= 7
    assert walks[-1][0]["t_ns"] < started + 310 * MS


@pytest.mark.parametrize("change, idle", [(None, True), ("title", False), ("position", True)])
def test_is_idle_compares_two_readings_100_ms_apart(desktop, change, idle):
    app, nodes = connect_editor(desktop)
    window = nodes.find(role="AXWindow")
    if change == "title":
        desktop.schedule(50, "set_attrs", node=window, attrs={"title": "Doc (edited)"})
    elif change == "position":
        desktop.schedule(50, "set_attrs", node=window, attrs={"position": point(99, 99)})
    assert app.is_idle() is idle
    walks = readings(desktop, nodes[0])
    assert len(walks) == 2 and gaps_ms(walks)[0] >= 100


def test_an_application_that_is_gone_reads_as_idle(desktop):
    app, nodes = connect_editor(desktop)
    nodes[0].remove()
    assert app.is_idle() is True
    assert app.wait_for_idle() is True
    # Nothing can be read any more, so the fingerprint is that of the pid alone.
    assert desktop.hash_tree(4242) == siphash13((4242).to_bytes(4, "little"))


@pytest.mark.parametrize(
    "limit, outcome",
    [(0, False), (None, TypeError), ("100", TypeError), (-1, OverflowError), (2**64, OverflowError)],
)
def test_limits_that_read_nothing(desktop, limit, outcome):
    """A zero limit has passed before the first reading; a bad one is refused before it."""
    app, _ = connect_editor(desktop)
    if outcome is False:
        assert app.wait_for_idle(timeout_ms=limit) is False
    else:
        with pytest.raises(outcome):
            app.wait_for_idle(limit)
    assert desktop.log(kind="read") == []


# --- The fingerprint ------------------------------------------------------------------------


def siphash13(data: bytes) -> int:
    """SipHash-1-3 with the zero key, as CPython computes it for bytes when hash randomisation
    is off: an implementation independent of ours."""
    out = run_python(
        f"""
        import sys
        assert sys.hash_info.algorithm == "siphash13", sys.hash_info.algorithm
        print(hash({data!r}) % 2**64)
        """,
        env={"PYTHONHASHSEED": "0"},
    )
    return int(out)


def test_the_worked_stream_in_every_process(desktop):
    # pid 123; a root whose only readable attributes are its role and no children.
    stream = (123).to_bytes(4, "little") + b"AXButton" + b"\xff" + bytes(8)
    expected = siphash13(stream)
    desktop.add_app(123, node("AXButton"))
    assert desktop.hash_tree(123) == expected
    child = """
        from simdesk import Desktop, node
        desktop = Desktop().use()
        desktop.add_app(123, node("AXButton"))
        print(desktop.hash_tree(123))
    """
    assert [int(run_python(child)) for _ in range(2)] == [expected, expected]


MUTATIONS = {
    # name: (change to the editor's tree, whether the fingerprint changes)
    "window moved": (lambda n: n.find(role="AXWindow").set(position=point(500, 1)), False),
    "button resized": (lambda n: n.find(role="AXButton").set(size=size(1, 1)), False),
    "position read without a value": (lambda n: n.find(role="AXButton").set(position=None), False),
    "position lost": (lambda n: n.find(role="AXButton").unset("position"), True),
    "size unreadable": (
        lambda n: n.find(role="AXButton").set(size=status(AXError.CANNOT_COMPLETE)),
        True,
    ),
    "size gained": (lambda n: n.find(role="AXStaticText").set(size=size(5, 5)), True),
    "title changed": (lambda n: n.find(role="AXStaticText").set(title="Hello!"), True),
    "empty identifier gained": (lambda n: n.find(role="AXButton").set(identifier=""), True),
    "children reordered": (
        lambda n: n[0].desktop.set_children(
            n.find(role="AXWindow"), [n.find(role="AXStaticText"), n.find(role="AXButton")]
        ),
        True,
    ),
    "value changed": (lambda n: n.find(role="AXStaticText").set(value="x"), False),
}


@pytest.mark.parametrize("name", MUTATIONS)
def test_what_the_fingerprint_sees(desktop, name):
    change, changes = MUTATIONS[name]
    nodes = desktop.add_app(4242, app_tree())
    before = desktop.hash_tree(4242)
    change(nodes)
    assert (desktop.hash_tree(4242) != before) is changes


def test_what_feeds_nothing(desktop):
    """A string attribute that holds no string is as good as missing, unlike an empty one; a
    child entry that is no element is as good as a child none of whose attributes can be read."""
    groups = {
        "no title": node("AXGroup", children=[node("AXCell")]),
        "number title": node("AXGroup", title=7, children=[node("AXCell")]),
        "empty title": node("AXGroup", title="", children=[node("AXCell")]),
        "unreadable child": node(
            "AXGroup", children=[node(AXChildren=status(AXError.CANNOT_COMPLETE))]
        ),
        "child no element": node("AXGroup", AXChildren=["stray text"]),
    }
    (root,) = desktop.add_app(4242)
    hashes = {}
    for name, group in groups.items():
        (added, *_) = root.add(group)
        hashes[name] = desktop.hash_tree(4242)
        added.remove()
    assert hashes["no title"] == hashes["number title"] != hashes["empty title"]
    assert hashes["unreadable child"] == hashes["child no element"]


def chain(depth):
    """Nested elements from the root (depth 0) down to `depth`, each titled by its depth."""
    tree = node("AXGroup", title=str(depth))
    for level in range(depth - 1, -1, -1):
        tree = node("AXGroup", title=str(level), children=[tree])
    return tree


@pytest.mark.parametrize(
    "change, changes",
    [
        (lambda n: n[19].set(title="changed"), True),
        (lambda n: n[20].set(title="changed"), False),
        (lambda n: n[20].add(node("AXCell")), False),
        (lambda n: n[19].add(node("AXCell")), True),
        (lambda n: n[20].remove(), True),
    ],
    ids=["title at 19", "title at 20", "child below 20", "child below 19", "element at 20 gone"],
)
def test_the_depth_limit(desktop, change, changes):
    nodes = desktop.add_app(4242, chain(20))
    before = desktop.hash_tree(4242)
    change(nodes)
    assert (desktop.hash_tree(4242) != before) is changes


@pytest.mark.simulated
def test_the_runtime_starts_with_the_first_wait_and_is_shared():
    out = run_python(
        """
        import os, pelorix
        from simdesk import Desktop

        def threads():
            return len(os.listdir("/proc/self/task"))

        desktop = Desktop().use()
        desktop.add_app(4242)
        desktop.add_app(4343)
        first, second = pelorix.app(pid=4242), pelorix.app(pid=4343)
        counts = [threads()]
        first.is_idle()
        counts.append(threads())
        first.wait_for_idle(timeout_ms=0)
        counts.append(threads())
        second.wait_for_idle(timeout_ms=0)
        first.wait_for_idle(timeout_ms=0)
        counts.append(threads())
        print(*counts, os.cpu_count())
        """
    )
    before, after_check, after_first, after_more, cores = map(int, out.split())
    assert after_check == before
    assert after_first == before + cores == after_more
