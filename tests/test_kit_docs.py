"""The examples of the companion package's documentation run as written, against an editor on
the simulated desktop; each example asserts what the page says it does."""

import re
from pathlib import Path

import pytest

import pelorix
from simdesk import node

DOCS = Path(__file__).resolve().parent.parent / "docs"
PID = 4747
PAGES = ["lists.md", "states.md", "waiting.md", "c-interface.md"]


def examples(page):
    return re.findall(r"```python\n(.*?)```", (DOCS / page).read_text(), re.S)


@pytest.fixture
def editor(desktop):
    tabs = [node("AXRadioButton", "notes.txt", AXSelected=True), node("AXRadioButton", "todo.txt", AXSelected=False)]
    nodes = desktop.add_app(
        PID,
        node(
            "AXApplication",
            "Editor",
            children=[
                node(
                    "AXWindow",
                    "Editor",
                    children=[
                        node("AXTabGroup", children=tabs),
                        node("AXCheckBox", "Wrap", value=0, AXFocusable=True, AXShowing=True),
                        node("AXSlider", value=100, AXMinValue=50, AXMaxValue=200),
                        node("AXButton", "Save"),
                        node("AXStaticText", "Status", value="Loading"),
                    ],
                )
            ],
        ),
    )
    nodes[0].set(windows=[nodes[1]], main_window=nodes[1])
    return pelorix.app(pid=PID), nodes


@pytest.mark.parametrize("page", PAGES)
def test_every_example_of_the_page_runs_as_written(desktop, editor, page):
    editor, nodes = editor
    if page == "waiting.md":
        # What its examples wait for comes a moment later.
        desktop.schedule(150, "add_nodes", parent=nodes[1], nodes=[node("AXSheet", "Saved")])
        desktop.schedule(150, "set_attrs", node=nodes.find(title="Status"), attrs={"value": "Ready"})
        desktop.schedule(150, "add_nodes", parent=nodes[2], nodes=[node("AXRadioButton", "draft.txt")])
    found = examples(page)
    assert found, f"{page} has no example"
    for example in found:
        exec(compile(example, str(DOCS / page), "exec"), {"app": editor})


def test_the_readme_links_every_page():
    readme = (DOCS.parent / "README.md").read_text()
    assert all(f"(docs/{page})" in readme for page in PAGES)
