#!/usr/bin/env python3
"""Writes config/SetupForm.ui, the setup window, from its control table (twips).

The "On Find Modems" frame has one row more than the original layout (the port's device):
the frame, and everything below it, moved down by that row. Below "Current Settings" stands the
options "Find callers by number alone", "Show a notification for every call" and "Start
Ringwatch when I log in", and the buttons below them.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from uigen import prop, write_ui  # noqa: E402

ROW = 450  # the device row added to "On Find Modems"
BOOK = 960  # the three desktop options below "Current Settings"

# name, kind, parent, caption, tooltip, left, top, width, height (twips)
CONTROLS = [
    ("Frame2", "QGroupBox", None, "On Find Modems", "", 120, 120, 5415, 855 + ROW),
    ("Label7", "QLabel", "Frame2", "Total Ports available", "", 120, 360, 1575, 375),
    ("Text3", "QLineEdit", "Frame2", "", "Enter the Number of Ports Available to Test (1 to 16)", 1680, 360, 615, 285),
    ("Check1", "QCheckBox", "Frame2", "Don't Use:", "Don't test this Com Port", 2520, 360, 1095, 255),
    ("Combo3", "QComboBox", "Frame2", "", "Select a Com Port", 3840, 360, 1455, 315),
    ("Label8", "QLabel", "Frame2", "Device", "", 120, 840, 1095, 255),
    ("Combo4", "QComboBox", "Frame2", "", "The device of the chosen Com Port; empty: the machine's own order", 1680, 810, 3615, 315),
    ("Frame1", "QGroupBox", None, "Current Settings", "", 120, 1080 + ROW, 5415, 2055),
    ("Label1", "QLabel", "Frame1", "Com Port", "", 120, 360, 855, 255),
    ("Text1", "QLineEdit", "Frame1", "", "The current Com Port Used", 1200, 360, 1095, 285),
    ("Label5", "QLabel", "Frame1", "Baud Rate", "", 2520, 360, 1095, 255),
    ("Combo2", "QComboBox", "Frame1", "", "The current Baud Rate Setting", 3720, 360, 1455, 315),
    ("Label2", "QLabel", "Frame1", "Timeout (ms)", "", 120, 840, 1095, 255),
    ("Text2", "QLineEdit", "Frame1", "", "The Timeout in milli-second to wait for a modem  response", 1200, 840, 1095, 285),
    ("Label6", "QLabel", "Frame1", "Polling (ms)", "", 2520, 840, 855, 375),
    ("Text5", "QLineEdit", "Frame1", "", "How often it will poll for the Caller Id info following the first Ring", 3720, 840, 1455, 285),
    ("Label4", "QLabel", "Frame1", "Area Code", "", 120, 1320, 975, 255),
    ("Text4", "QLineEdit", "Frame1", "", "Your Local Area Code", 1200, 1320, 1095, 285),
    ("Label3", "QLabel", "Frame1", "Caller ID String", "", 2520, 1320, 1215, 255),
    ("Combo1", "QComboBox", "Frame1", "", "The current caller ID string for the Modem", 3720, 1320, 1455, 315),
    ("Check2", "QCheckBox", "Frame1", "Lock Current Settings", "It will disable the Find Modem in the Application", 1920, 1680, 2055, 255),
    ("MatchNumberOnly", "QCheckBox", None, "Find callers by &number alone",
     "When a caller's name and number find no contact, look for the number alone before creating one",
     240, 3240 + ROW, 4095, 255),
    ("Notify", "QCheckBox", None, "Show a notification for every ca&ll",
     "A desktop notification with the caller's name and number for every call",
     240, 3540 + ROW, 4095, 255),
    ("Autostart", "QCheckBox", None, "Start Ringwatch when I log &in",
     "Starts Ringwatch in the notification area when you log in",
     240, 3840 + ROW, 4095, 255),
    ("Command2", "QPushButton", None, "&Cancel", "", 2760, 3240 + ROW + BOOK, 1215, 375),
    ("Command1", "QPushButton", None, "&Save", "", 4080, 3240 + ROW + BOOK, 1215, 375),
]

TAB_ORDER = ["Text3", "Check1", "Combo3", "Combo4", "Text1", "Combo2", "Text2", "Text5", "Text4",
             "Combo1", "Check2", "MatchNumberOnly", "Notify", "Autostart", "Command2",
             "Command1"]

if __name__ == "__main__":
    write_ui(sys.argv[1] if len(sys.argv) > 1 else "config/SetupForm.ui", "Setup Ringwatch", 5670,
             3720 + ROW + BOOK, CONTROLS, TAB_ORDER, "Command1", base="QDialog",
             cls="SetupForm")
