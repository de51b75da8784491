"""A GTK 4 application for the real-desktop tests (run with Debian's /usr/bin/python3).

The same widgets as the GTK 3 application: a "Press me" button counting into "Clicks: N", a
"Menu" button that reports a secondary click in the status label, a name entry, a slider, a
check box, a ticking label (with --tick it changes every 20 ms), a "Remove me" button that removes itself, a red square and a second
window.
"""

import ctypes
import sys

import gi

gi.require_version("Gtk", "4.0")
from gi.repository import Gio, GLib, Gtk  # noqa: E402

APP_ID = "org.pelorix.Gtk4Fixture"
PROCESS_NAME = b"pxgtk4"
RED_CSS = ".red { background-color: #ff0000; }"


def move_window(window, x, y):
    # GTK 4 cannot place its windows; the X server can.
    gi.require_version("GdkX11", "4.0")
    from gi.repository import GdkX11

    xid = GdkX11.X11Surface.get_xid(window.get_surface())
    xlib = ctypes.CDLL("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    display = xlib.XOpenDisplay(None)
    xlib.XMoveWindow(ctypes.c_void_p(display), ctypes.c_ulong(xid), x, y)
    xlib.XCloseDisplay(ctypes.c_void_p(display))


def set_process_name(name):
    ctypes.CDLL(None).prctl(15, ctypes.c_char_p(name), 0, 0, 0)


def labelled(widget, name):
    widget.update_property([Gtk.AccessibleProperty.LABEL], [name])
    return widget


class Fixture(Gtk.Application):
    def __init__(self, tick):
        # Several instances may run side by side (one ticks while another stays still).
        super().__init__(application_id=APP_ID, flags=Gio.ApplicationFlags.NON_UNIQUE)
        self.tick = tick
        self.clicks = 0

    def do_activate(self):
        window = Gtk.ApplicationWindow(application=self, title="Pelorix GTK4 Fixture")
        window.set_default_size(420, 360)
        box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=4)
        window.set_child(box)

        self.counter = Gtk.Label(label="Clicks: 0")
        press = Gtk.Button(label="Press me")
        press.connect("clicked", self.on_press)
        self.status = Gtk.Label(label="Ready")
        menu_button = Gtk.Button(label="Menu")
        secondary = Gtk.GestureClick(button=3)
        secondary.connect("pressed", self.on_menu)
        menu_button.add_controller(secondary)
        self.entry = labelled(Gtk.Entry(), "Name")
        slider = labelled(Gtk.Scale.new_with_range(Gtk.Orientation.HORIZONTAL, 0, 100, 1), "Volume")
        slider.set_value(25)
        check = Gtk.CheckButton(label="Remember")
        self.toggles = 0
        self.toggle_count = Gtk.Label(label="Toggles: 0")
        check.connect("toggled", self.on_toggle)
        self.ticker = Gtk.Label(label="tick 0")
        remove = Gtk.Button(label="Remove me")
        remove.connect("clicked", lambda button: box.remove(button))
        box.append(remove)
        provider = Gtk.CssProvider()
        provider.load_from_data(RED_CSS.encode())
        area = labelled(Gtk.Box(), "Red square")
        area.set_size_request(120, 60)
        area.get_style_context().add_provider(provider, Gtk.STYLE_PROVIDER_PRIORITY_APPLICATION)
        area.add_css_class("red")
        for widget in (self.counter, press, self.status, menu_button, self.entry, slider, check,
                       self.toggle_count, self.ticker, area):
            box.append(widget)

        second = Gtk.Window(title="Second window")
        second.set_default_size(240, 120)
        second.set_child(Gtk.Button(label="Second button"))
        self.add_window(second)
        second.present()
        move_window(second, 700, 500)
        window.present()

        if self.tick:
            self.ticks = 0
            GLib.timeout_add(20, self.on_tick)

    def on_press(self, _button):
        self.clicks += 1
        self.counter.set_text(f"Clicks: {self.clicks}")

    def on_menu(self, *_args):
        self.status.set_text("Menu shown")

    def on_toggle(self, *_args):
        self.toggles += 1
        self.toggle_count.set_text(f"Toggles: {self.toggles}")

    def on_tick(self):
        self.ticks += 1
        self.ticker.set_text(f"tick {self.ticks}")
        return True


if __name__ == "__main__":
    set_process_name(PROCESS_NAME)
    sys.exit(Fixture("--tick" in sys.argv).run([sys.argv[0]]))
