"""A generated GTK 3 window for the desktop benchmark (run with Debian's /usr/bin/python3).

    wide_app.py [rows]

A window of `rows` rows (default 40), each a box of 50 push buttons, the rows grouped in
nested boxes four levels deep. Every button is named "Button r.c"; the last button of the last
row is named "Target", so a breadth-first search reaches it last of all. It prints "ready" once
the window is shown.
"""

import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

BUTTONS_PER_ROW = 50


def build(rows):
    window = Gtk.Window(title="Pelorix Bench")
    window.set_default_size(800, 600)
    scroller = Gtk.ScrolledWindow()
    window.add(scroller)
    outer = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
    scroller.add(outer)
    # Rows go into groups of four, groups into sections of five: the buttons sit five
    # containers below the window, and the last row's last button is the last element in
    # level order.
    section = group = None
    for r in range(rows):
        if r % 20 == 0:
            section = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
            outer.pack_start(section, False, False, 0)
        if r % 4 == 0:
            group = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
            section.pack_start(group, False, False, 0)
        row = Gtk.Box(orientation=Gtk.Orientation.HORIZONTAL)
        group.pack_start(row, False, False, 0)
        for c in range(BUTTONS_PER_ROW):
            last = r == rows - 1 and c == BUTTONS_PER_ROW - 1
            row.pack_start(Gtk.Button(label="Target" if last else f"Button {r}.{c}"), False, False, 0)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    return window


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 40
    window = build(rows)  # noqa: F841 (kept alive by the main loop)
    GLib.idle_add(lambda: print("ready", flush=True) and False)
    Gtk.main()


if __name__ == "__main__":
    main()
