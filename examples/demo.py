"""A short scripted session with pelorix against its simulated desktop.

The simulated desktop is what the test suite drives; until pelorix speaks to the Linux desktop
itself, this session shows what a script sees: a running process with an accessibility tree,
connecting by process name, reading windows and their attributes, the action modes, the
healing configuration, and ending the application.
"""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "harness"))

import pelorix  # noqa: E402
from simdesk import Desktop, node, spawn_process  # noqa: E402


def main() -> int:
    print(f"pelorix {pelorix.__version__}")
    print("accessibility enabled without a desktop:", pelorix.is_accessibility_enabled())

    desktop = Desktop().use()
    editor = spawn_process("TextEdit")
    tree = desktop.add_app(
        editor.pid,
        node(
            "AXApplication",
            title="TextEdit",
            children=[
                node(
                    "AXWindow",
                    title="Untitled",
                    position={"point": [40, 60]},
                    size={"size": [640, 480]},
                    children=[node("AXTextArea", value=""), node("AXButton", title="Save")],
                )
            ],
        ),
    )
    application, window = tree[0], tree[1]
    application.set(windows=[window], main_window=window)
    print(f"started TextEdit as pid {editor.pid} with a window, a text area and a Save button")
    print("accessibility enabled on the simulated desktop:", pelorix.is_accessibility_enabled())

    print("action modes:", pelorix.BACKGROUND, pelorix.FOCUS, "- FOCUS == 1 is", pelorix.FOCUS == 1)

    config = pelorix.HealingConfig(strategies=["identifier", "title"], max_heal_time_ms=250)
    pelorix.configure_healing(config)
    print("installed healing:", config.strategies, config.max_heal_time_ms, "ms, cache", config.cache_healed)

    editor_app = pelorix.app(name="TextEdit")
    print(f"connected by name: pid {editor_app.pid}, running: {editor_app.is_running()}")
    for window in editor_app.windows():
        print(f"  window {window.title()!r}: role {window.role()}, bounds {window.bounds()}")

    editor_app.terminate()
    editor.wait(timeout=10)
    print("terminated; running:", editor_app.is_running())
    editor.stop()
    desktop.release()
    return 0


if __name__ == "__main__":
    sys.exit(main())
