"""The GTK 4 twin of wide_app.py (run with Debian's /usr/bin/python3).

    wide_app_gtk4.py [rows]

The same window: `rows` rows (default 40) of 50 buttons in nested boxes, the last button of the
last row named "Target". It prints "ready" once the window is shown.
"""

import sys

import gi

gi.require_version("Gtk", "4.0")
from gi.repository import GLib, Gtk  # noqa: E402

BUTTONS_PER_ROW = 50


def build(rows):
    window = Gtk.Window(title="Pelorix Bench GTK4")
    window.set_default_size(800, 600)
    scroller = Gtk.ScrolledWindow()
    window.set_child(scroller)
    outer = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
    scroller.set_child(outer)
    section = group = None
    for r in range(rows):
        if r % 20 == 0:
            section = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
            outer.append(section)
        if r % 4 == 0:
            group = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
            section.append(group)
        row = Gtk.Box(orientation=Gtk.Orientation.HORIZONTAL)
        group.append(row)
        for c in range(BUTTONS_PER_ROW):
            last = r == rows - 1 and c == BUTTONS_PER_ROW - 1
            row.append(Gtk.Button(label="Target" if last else f"Button {r}.{c}"))
    return window


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 40
    loop = GLib.MainLoop()
    window = build(rows)
    window.connect("close-request", lambda *_: loop.quit() or False)
    window.present()
    GLib.idle_add(lambda: print("ready", flush=True) and False)
    loop.run()


if __name__ == "__main__":
    main()
