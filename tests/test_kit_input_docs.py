"""The examples of docs/keyboard.md and docs/pointer.md run as written on the simulated desktop,
and send the events the pages say they send."""

import re
from pathlib import Path

import pelorix
from simdesk import node, point, size

DOCS = Path(__file__).resolve().parent.parent / "docs"


def examples(page):
    found = re.findall(r"```python\n(.*?)```", (DOCS / page).read_text(), re.S)
    assert found, f"{page} has no example"
    return found


def run(page, app):
    for example in examples(page):
        exec(compile(example, str(DOCS / page), "exec"), {"app": app})


def editor(desktop):
    def placed(role, title, x, y):
        return node(role, title, position=point(x, y), size=size(100, 20), actions=["AXScrollToVisible"], writable=["AXFocused"])

    nodes = desktop.add_app(
        4848,
        node(
            "AXApplication",
            "Editor",
            children=[
                node(
                    "AXWindow",
                    "Editor",
                    actions=["AXRaise"],
                    children=[
                        placed("AXStaticText", "Other Locations", 10, 100),
                        placed("AXButton", "Save", 10, 20),
                        placed("AXTextArea", "", 200, 100),
                    ],
                )
            ],
        ),
    )
    nodes[0].set(windows=[nodes[1]], main_window=nodes[1])
    app = pelorix.app(pid=4848)
    desktop.log(clear=True)
    return app


def test_keyboard_page(desktop):
    run("keyboard.md", editor(desktop))
    downs = [(r["value"]["key_code"], r["value"]["flags"]) for r in desktop.log(kind="key") if r["value"]["down"]]
    ctrl, shift, alt = 0x40000, 0x20000, 0x80000
    assert downs == [
        (59, ctrl), (45, ctrl),  # ctrl+n
        (53, 0),  # Escape
        (56, shift), (115, shift),  # shift+Home
        (125, 0), (125, 0), (125, 0),  # Down three times
        (58, alt), (56, alt | shift), (50, alt | shift),  # alt+asciitilde
        (56, shift),  # Shift held...
        (119, shift),  # ...for End
    ]
    # The main window was raised before the first key.
    log = desktop.log()
    raised = next(i for i, r in enumerate(log) if r["kind"] == "action" and r["name"] == "AXRaise")
    assert raised < next(i for i, r in enumerate(log) if r["kind"] == "key")


def test_pointer_page(desktop):
    run("pointer.md", editor(desktop))
    got = [(r["value"]["event"], r["value"].get("x"), r["value"].get("y")) for r in desktop.log(kind="pointer")]
    label, button, text = (60, 110), (60, 30), (250, 110)
    assert got[:3] == [("move", *label), ("left_down", *label), ("left_up", *label)]
    assert got[3] == ("move", *button)
    assert got[4:7] == [("move", 14, 104), ("left_down", 14, 104), ("left_up", 14, 104)]
    assert [e[0] for e in got[7:10]] == ["move", "right_down", "right_up"]
    assert got[10:12] == [("move", *text), ("scroll", None, None)]
    assert got[12:14] == [("move", *label), ("left_down", *label)]
    assert got[-2] == ("left_up", 600, 400)
    assert got[-1] == ("move", 0, 0)


def test_the_readme_links_both_pages():
    readme = (DOCS.parent / "README.md").read_text()
    assert "(docs/keyboard.md)" in readme and "(docs/pointer.md)" in readme
