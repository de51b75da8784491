"""The Qt 5 twin of wide_app.py (run with Debian's /usr/bin/python3 and python3-pyqt5).

    wide_app_qt5.py [rows]

The same window: `rows` rows (default 40) of 50 push buttons in nested container widgets (Qt
layouts have no accessible of their own, widgets do), the last button of the last row named
"Target". It prints "ready" once the window is shown.
"""

import sys

from PyQt5.QtCore import QTimer
from PyQt5.QtWidgets import QApplication, QHBoxLayout, QPushButton, QScrollArea, QVBoxLayout, QWidget

BUTTONS_PER_ROW = 50


def box(parent_layout, vertical):
    widget = QWidget()
    layout = QVBoxLayout(widget) if vertical else QHBoxLayout(widget)
    layout.setContentsMargins(0, 0, 0, 0)
    parent_layout.addWidget(widget)
    return layout


def build(rows):
    window = QScrollArea()
    window.setWindowTitle("Pelorix Bench Qt5")
    window.resize(800, 600)
    outer_widget = QWidget()
    outer = QVBoxLayout(outer_widget)
    section = group = None
    for r in range(rows):
        if r % 20 == 0:
            section = box(outer, True)
        if r % 4 == 0:
            group = box(section, True)
        row = box(group, False)
        for c in range(BUTTONS_PER_ROW):
            last = r == rows - 1 and c == BUTTONS_PER_ROW - 1
            row.addWidget(QPushButton("Target" if last else f"Button {r}.{c}"))
    window.setWidget(outer_widget)
    return window


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 40
    app = QApplication(sys.argv)
    window = build(rows)
    window.show()
    QTimer.singleShot(0, lambda: print("ready", flush=True))
    sys.exit(app.exec_())


if __name__ == "__main__":
    main()
