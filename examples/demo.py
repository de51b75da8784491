"""A scripted pelorix session against a real application: Mousepad, Debian's GTK text editor.

Run it through `bash scripts/demo`, which installs what is needed and starts a private desktop
session (Xvfb, the session and accessibility buses) for it; inside any X11 desktop with the
accessibility bus it also runs as `python examples/demo.py [screenshot.png]`.

It starts the editor, connects to it by name and by its application id, finds the text area,
clicks into it, types, waits until the editor is idle, reads back what it shows and writes a
screenshot of the window to a PNG file.
"""

import shutil
import subprocess
import sys
import time
from pathlib import Path

import pelorix

TEXT = "Hello from pelorix! Grüße, 😀\nTyped through AT-SPI2 and XTest.\n"


def step(message: str) -> None:
    print(f"[{time.strftime('%H:%M:%S')}] {message}", flush=True)


def wait_for_window(pid: int, timeout: float = 20.0) -> pelorix.AXApp:
    deadline = time.monotonic() + timeout
    while True:
        app = pelorix.app(pid=pid)
        try:
            if app.windows():
                return app
        except RuntimeError:
            pass
        if time.monotonic() > deadline:
            raise SystemExit("the editor did not show a window")
        time.sleep(0.1)


def main() -> int:
    output = Path(sys.argv[1] if len(sys.argv) > 1 else "demo-screenshot.png").resolve()
    step(f"pelorix {pelorix.__version__}")
    if not pelorix.is_accessibility_enabled():
        print("The accessibility bus is not reachable: run this through scripts/demo.", file=sys.stderr)
        return 1
    step("accessibility bus reachable")
    if shutil.which("mousepad") is None:
        print("Mousepad is not installed (bash scripts/setup installs it).", file=sys.stderr)
        return 1

    editor = subprocess.Popen(
        ["mousepad", "--disable-server"],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
    )
    try:
        step(f"started Mousepad, pid {editor.pid}")
        app = wait_for_window(editor.pid)
        by_name = pelorix.app(name="mousepad")
        by_id = pelorix.app(bundle_id="org.xfce.mousepad")
        step(f"connected by name (pid {by_name.pid}) and by application id (pid {by_id.pid})")
        for window in app.windows():
            step(f"window {window.title()!r}, role {window.role()}, bounds {window.bounds()}")

        menu = app.find("role:AXMenuBar")
        names = [item.title() for item in [menu.find("AXTitle:File"), menu.find("AXTitle:Edit")]]
        step(f"found the menu bar with {names}")

        text = app.find("role:AXTextArea")
        step(f"found the text area at {text.bounds()}, enabled {text.enabled()}")
        text.click(mode=pelorix.FOCUS)
        step(f"clicked into it in focus mode: focused {text.focused()}")
        text.type_text(TEXT, mode=pelorix.FOCUS)
        step(f"typed {len(TEXT)} characters")
        idle = app.wait_for_idle(timeout_ms=5000)
        step(f"waited for idle: {idle}")
        step(f"the text area now holds {text.value()!r}")
        step(f"the window title is now {app.main_window().title()!r}")

        png = app.screenshot()
        output.write_bytes(png)
        step(f"wrote a screenshot of the window ({len(png)} bytes) to {output}")
        shot = text.screenshot()
        step(f"and one of the text area alone: {len(shot)} bytes")

        app.terminate()
        step("asked Mousepad to quit")
    finally:
        try:
            editor.wait(timeout=3)
        except subprocess.TimeoutExpired:
            # It asks whether to save the typed text; nobody is there to answer.
            editor.kill()
            editor.wait()
    step(f"Mousepad has ended: running {app.is_running()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
