"""A PyQt5 application for the real-desktop tests (run with Debian's /usr/bin/python3).

The same widgets as the GTK applications: a "Press me" button counting into "Clicks: N", a
"Menu" button whose context menu request shows "Menu shown" in the status label, a name
entry, a slider, a check box, a ticking label (with --tick it changes every 20 ms), a red
square and a second window.
"""

import ctypes
import sys

from PyQt5.QtCore import Qt, QTimer
from PyQt5.QtWidgets import (QApplication, QCheckBox, QLabel, QLineEdit, QPushButton, QSlider,
                             QVBoxLayout, QWidget)

APP_ID = "org.pelorix.Qt5Fixture"
PROCESS_NAME = b"pxqt5"


def set_process_name(name):
    ctypes.CDLL(None).prctl(15, ctypes.c_char_p(name), 0, 0, 0)


def named(widget, identifier, name=None):
    widget.setObjectName(identifier)
    if name:
        widget.setAccessibleName(name)
    return widget


class Main(QWidget):
    def __init__(self, tick):
        super().__init__()
        self.setWindowTitle("Pelorix Qt5 Fixture")
        self.resize(420, 360)
        self.clicks = 0
        layout = QVBoxLayout(self)
        self.counter = named(QLabel("Clicks: 0"), "counter")
        press = named(QPushButton("Press me"), "press-button")
        press.clicked.connect(self.on_press)
        self.status = named(QLabel("Ready"), "status")
        menu_button = named(QPushButton("Menu"), "menu-button")
        menu_button.setContextMenuPolicy(Qt.CustomContextMenu)
        menu_button.customContextMenuRequested.connect(self.on_menu)
        self.entry = named(QLineEdit(), "name-entry", "Name")
        slider = named(QSlider(Qt.Horizontal), "volume", "Volume")
        slider.setRange(0, 100)
        slider.setValue(25)
        check = named(QCheckBox("Remember"), "remember")
        self.toggles = 0
        self.toggle_count = named(QLabel("Toggles: 0"), "toggles")
        check.toggled.connect(self.on_toggle)
        self.ticker = named(QLabel("tick 0"), "ticker")
        remove = named(QPushButton("Remove me"), "remove-button")
        remove.clicked.connect(remove.deleteLater)
        layout.addWidget(remove)
        area = named(QWidget(), "red-square", "Red square")
        area.setFixedSize(120, 60)
        area.setAutoFillBackground(True)
        area.setStyleSheet("background-color: #ff0000;")
        for widget in (self.counter, press, self.status, menu_button, self.entry, slider, check,
                       self.toggle_count, self.ticker, area):
            layout.addWidget(widget)
        if tick:
            self.ticks = 0
            self.timer = QTimer(self)
            self.timer.timeout.connect(self.on_tick)
            self.timer.start(20)

    def on_press(self):
        self.clicks += 1
        self.counter.setText(f"Clicks: {self.clicks}")

    def on_menu(self, *_args):
        self.status.setText("Menu shown")

    def on_toggle(self, *_args):
        self.toggles += 1
        self.toggle_count.setText(f"Toggles: {self.toggles}")

    def on_tick(self):
        self.ticks += 1
        self.ticker.setText(f"tick {self.ticks}")


def main():
    set_process_name(PROCESS_NAME)
    # The X resource name (WM_CLASS) is what a Linux desktop knows a Qt 5 application by.
    application = QApplication([sys.argv[0], "-name", APP_ID])
    application.setApplicationName("Pelorix Qt5 Fixture")
    application.setDesktopFileName(APP_ID)
    window = Main("--tick" in sys.argv)
    window.show()
    second = QWidget()
    second.setWindowTitle("Second window")
    second.resize(240, 120)
    second.move(700, 500)
    QVBoxLayout(second).addWidget(named(QPushButton("Second button"), "second-button"))
    second.show()
    window.activateWindow()
    return application.exec_()


if __name__ == "__main__":
    sys.exit(main())
