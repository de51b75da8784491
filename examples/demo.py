"""A short scripted session with pelorix against its simulated desktop.

The simulated desktop is what the test suite drives; until pelorix speaks to the Linux desktop
itself, this session shows what a script sees: a running process with an accessibility tree,
the permission check, the action modes and the healing configuration.
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
    desktop.add_app(
        editor.pid,
        node(
            "AXApplication",
            title="TextEdit",
            children=[
                node(
                    "AXWindow",
                    title="Untitled",
                    children=[node("AXTextArea", value=""), node("AXButton", title="Save")],
                )
            ],
        ),
    )
    print(f"started TextEdit as pid {editor.pid} with a window, a text area and a Save button")
    print("accessibility enabled on the simulated desktop:", pelorix.is_accessibility_enabled())

    print("action modes:", pelorix.BACKGROUND, pelorix.FOCUS, "- FOCUS == 1 is", pelorix.FOCUS == 1)

    config = pelorix.HealingConfig(strategies=["identifier", "title"], max_heal_time_ms=250)
    pelorix.configure_healing(config)
    print("installed healing:", config.strategies, config.max_heal_time_ms, "ms, cache", config.cache_healed)

    try:
        pelorix.app(pid=editor.pid)
    except NotImplementedError as reason:
        print("connecting:", reason)

    editor.stop()
    desktop.release()
    return 0


if __name__ == "__main__":
    sys.exit(main())
