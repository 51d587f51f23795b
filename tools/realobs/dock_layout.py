"""The window layout OBS restores at start ([BasicWindow] geometry and DockState of
global.ini), with the "Ostrelo · Studio" dock docked on the right and shown.

OBS creates plug-in docks hidden and floating; it restores the saved layout after the modules
have registered their docks, and Qt matches docks by object name (OBS gives a plug-in dock its
id as object name). So a layout saved from a window with docks of the same names brings the
dock up where a user would have put it, without any switch in the module.

Run on its own to print the two values: python3 dock_layout.py [WIDTHxHEIGHT]
"""

import os
import sys

DOCK_ID = "pell.ostrelo.control.v4"
DOCK_TITLE = "Ostrelo · Studio"
# The docks of OBS's main window along its bottom edge, left to right, and their widths.
OBS_BOTTOM_DOCKS = [
    ("scenesDock", 200),
    ("sourcesDock", 200),
    ("mixerDock", 280),
    ("transitionsDock", 160),
    ("controlsDock", 180),
]


def window_layout(width=1600, height=900, dock_width=380):
    """Returns (geometry, dock_state), both base64 text as OBS stores them."""
    os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
    from PyQt6.QtCore import Qt
    from PyQt6.QtWidgets import QApplication, QDockWidget, QMainWindow, QWidget

    app = QApplication.instance() or QApplication([sys.argv[0]])
    window = QMainWindow()
    window.setObjectName("OBSBasic")
    window.setCentralWidget(QWidget())
    docks = []
    for name, _ in OBS_BOTTOM_DOCKS:
        dock = QDockWidget(name)
        dock.setObjectName(name)
        dock.setWidget(QWidget())
        window.addDockWidget(Qt.DockWidgetArea.BottomDockWidgetArea, dock, Qt.Orientation.Horizontal)
        docks.append(dock)
    ours = QDockWidget(DOCK_TITLE)
    ours.setObjectName(DOCK_ID)
    ours.setWidget(QWidget())
    window.addDockWidget(Qt.DockWidgetArea.RightDockWidgetArea, ours)
    window.setGeometry(0, 0, width, height)
    window.show()
    app.processEvents()
    window.resizeDocks(docks, [w for _, w in OBS_BOTTOM_DOCKS], Qt.Orientation.Horizontal)
    window.resizeDocks([ours], [dock_width], Qt.Orientation.Horizontal)
    window.resizeDocks([docks[0]], [int(height * 0.3)], Qt.Orientation.Vertical)
    app.processEvents()
    geometry = bytes(window.saveGeometry().toBase64()).decode()
    state = bytes(window.saveState().toBase64()).decode()
    window.close()
    return geometry, state


def main():
    size = sys.argv[1] if len(sys.argv) > 1 else "1600x900"
    width, height = (int(v) for v in size.split("x"))
    geometry, state = window_layout(width, height)
    print(f"geometry={geometry}")
    print(f"DockState={state}")


if __name__ == "__main__":
    main()
