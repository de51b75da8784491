"""A GTK 3 application for the real-desktop tests (run with Debian's /usr/bin/python3).

Main window: a "Press me" button counting its presses into the "Clicks: N" label, a "Menu"
button whose context menu action shows "Menu shown" in the status label, a name entry, a
slider, a check box, a ticking label (with --tick it changes every 20 ms) and a "Remove me" button that removes itself and a red square.
A second window, "Second window", holds one button.
"""

import ctypes
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gio, GLib, Gtk  # noqa: E402

APP_ID = "org.pelorix.Gtk3Fixture"
PROCESS_NAME = b"pxgtk3"
RED_CSS = b".red { background-color: #ff0000; }"


def set_process_name(name):
    # The name pgrep -x matches, instead of the interpreter's.
    ctypes.CDLL(None).prctl(15, ctypes.c_char_p(name), 0, 0, 0)


def named(widget, identifier):
    accessible = widget.get_accessible()
    if hasattr(accessible, "set_accessible_id"):
        accessible.set_accessible_id(identifier)
    return widget


class Fixture(Gtk.Application):
    def __init__(self, tick):
        # Several instances may run side by side (one ticks while another stays still).
        super().__init__(application_id=APP_ID, flags=Gio.ApplicationFlags.NON_UNIQUE)
        self.tick = tick
        self.clicks = 0

    def do_activate(self):
        window = Gtk.ApplicationWindow(application=self, title="Pelorix GTK3 Fixture")
        window.set_default_size(420, 360)
        box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=4)
        window.add(box)

        self.counter = named(Gtk.Label(label="Clicks: 0"), "counter")
        press = named(Gtk.Button(label="Press me"), "press-button")
        press.connect("clicked", self.on_press)
        self.status = named(Gtk.Label(label="Ready"), "status")
        menu_button = named(Gtk.Button(label="Menu"), "menu-button")
        menu_button.connect("popup-menu", self.on_menu)
        menu_button.connect("button-press-event", self.on_button_press)
        self.entry = named(Gtk.Entry(), "name-entry")
        self.entry.get_accessible().set_name("Name")
        slider = named(Gtk.Scale.new_with_range(Gtk.Orientation.HORIZONTAL, 0, 100, 1), "volume")
        slider.get_accessible().set_name("Volume")
        slider.set_value(25)
        check = named(Gtk.CheckButton(label="Remember"), "Remember")
        self.toggles = 0
        self.toggle_count = named(Gtk.Label(label="Toggles: 0"), "toggles")
        check.connect("toggled", self.on_toggle)
        self.ticker = named(Gtk.Label(label="tick 0"), "ticker")
        remove = named(Gtk.Button(label="Remove me"), "remove-button")
        remove.connect("clicked", lambda button: button.destroy())
        box.pack_start(remove, False, False, 0)
        provider = Gtk.CssProvider()
        provider.load_from_data(RED_CSS)
        area = Gtk.EventBox()
        area.get_accessible().set_name("Red square")
        area.set_size_request(120, 60)
        area.get_style_context().add_provider(provider, Gtk.STYLE_PROVIDER_PRIORITY_APPLICATION)
        area.get_style_context().add_class("red")
        for widget in (self.counter, press, self.status, menu_button, self.entry, slider, check,
                       self.toggle_count, self.ticker, area):
            box.pack_start(widget, False, False, 0)
        window.show_all()

        second = Gtk.Window(title="Second window")
        second.set_default_size(240, 120)
        second.move(700, 500)
        second.add(named(Gtk.Button(label="Second button"), "second-button"))
        self.add_window(second)
        second.show_all()
        window.present()

        if self.tick:
            self.ticks = 0
            GLib.timeout_add(20, self.on_tick)

    def on_press(self, _button):
        self.clicks += 1
        self.counter.set_text(f"Clicks: {self.clicks}")

    def on_button_press(self, _widget, event):
        if event.button == 3:
            self.status.set_text("Menu shown")
        return False

    def on_menu(self, _widget):
        self.status.set_text("Menu shown")
        return True

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
