"""pelorix-inspect on a stock application of the real desktop (Mousepad): the command reads the
whole tree, every query it suggests finds its element through pelorix, and the picture is the
window's, with every box inside it."""

import io
import json
from importlib.metadata import entry_points

import pytest

from pelorixkit import inspect as pelorix_inspect
from realdesk import launch_program

pytestmark = pytest.mark.desktop


def test_mousepad_tree_queries_and_picture(tmp_path):
    from PIL import Image

    # The installed command is this function (run here in-process: under the sanitizers a
    # child interpreter would lack the preloaded runtime).
    (command,) = entry_points(group="console_scripts", name="pelorix-inspect")
    assert command.load() is pelorix_inspect.main
    editor = launch_program(["mousepad", "--disable-server"], "Mousepad")
    try:
        picture = tmp_path / "tree.png"
        out, err = io.StringIO(), io.StringIO()
        code = pelorix_inspect.main(["--pid", str(editor.pid), "--png", str(picture), "--json"], out, err)
        assert code == 0, err.getvalue()
        document = json.loads(out.getvalue())
        elements = document["elements"]
        app = editor.app()

        # The picture is the window's screenshot: its size, every box inside it.
        window = app.windows()[0].bounds()
        with Image.open(picture) as image:
            assert image.format == "PNG" and image.size == (round(window[2]), round(window[3]))
        shown = document["picture"]
        assert (shown["width"], shown["height"]) == image.size
        for box in shown["boxes"]:
            left, top, right, bottom = box["box"]
            assert 0 <= left < right < image.size[0] and 0 <= top < bottom < image.size[1]
        boxed = {elements[box["number"]]["role"] for box in shown["boxes"]}
        assert {"AXMenuBar", "AXTextArea"} <= boxed

        # A query for most elements; each finds an element with its attributes (a sample of
        # them: the command has run each query once already, and each costs a search).
        with_query = [e for e in elements if e["query"]]
        assert len(with_query) > len(elements) / 2
        named = {(e["role"], e["title"], e["identifier"], e["label"]): e["number"] for e in elements}
        for e in with_query[::10]:
            found = app.find(e["query"], timeout_ms=0)
            assert named[(found.role(), found.title(), found.identifier(), found.label())] == e["number"]
        # The editor's text area is named by its role alone.
        (text_area,) = [e for e in elements if e["role"] == "AXTextArea"]
        assert text_area["query"] == "//AXTextArea"
    finally:
        editor.stop()
