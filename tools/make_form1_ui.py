#!/usr/bin/env python3
"""Writes ringdesk/shell/Form1.ui, the monitor's window, from its control table (twips)."""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from uigen import prop, write_ui  # noqa: E402

# name, kind, parent, caption, tooltip, left, top, width, height (twips)
CONTROLS = [
    ("Command9", "QPushButton", None, "&Minimize", "", 5160, 360, 1095, 375),
    ("Frame1", "QGroupBox", None, "Caller ID Info", "", 0, 120, 6495, 1815),
    ("Image1", "QLabel", "Frame1", "", "Double Click to Enable or Disable the Modem", 240, 360, 960, 480),
    ("Label2", "QLabel", "Frame1", "Ringwatch\nfor Linux", "", 240, 840, 1215, 495),
    ("Number", "QLabel", "Frame1", "Number", "", 1560, 360, 615, 375),
    ("CallIDNumber", "QLineEdit", "Frame1", "", "", 2400, 360, 2295, 285),
    ("Picture1", "QToolButton", "Frame1", "", "Search for Phone Number in Contacts", 4680, 360, 255, 300),
    ("NameLabel", "QLabel", "Frame1", "Name", "Click to toggle between Name and Company", 1560, 720, 735, 375),
    ("CallIDName", "QLineEdit", "Frame1", "", "", 2400, 720, 2295, 285),
    ("Picture2", "QToolButton", "Frame1", "", "Search for a Name or Company Name in Contacts", 4700, 720, 255, 300),
    ("Time", "QLabel", "Frame1", "Time/Date", "", 1560, 1080, 855, 255),
    ("CallIDTime", "display", "Frame1", "", "", 2400, 1080, 1095, 285),
    ("CallIDDate", "display", "Frame1", "", "", 3600, 1080, 1095, 285),
    ("Label4", "QLabel", "Frame1", "System:", "", 1560, 1440, 735, 255),
    ("SystemMessage", "display", "Frame1", "", "", 2400, 1440, 2175, 285),
    ("Command10", "QPushButton", "Frame1", "&Exit", "", 5160, 720, 1095, 375),
    ("Command12", "QPushButton", "Frame1", "&Details >>", "", 5160, 1200, 1095, 375),
    ("Frame4", "QGroupBox", None, "Details", "", 0, 1920, 6495, 3975),
    ("Frame2", "QGroupBox", "Frame4", "Events", "", 120, 240, 6255, 2055),
    ("ModemEvents", "QListView", "Frame2", "", "", 120, 240, 6015, 1620),
    ("Frame3", "QGroupBox", "Frame4", "Log", "", 120, 240, 6255, 2055),
    ("Calllog", "QListView", "Frame3", "", "", 120, 240, 6015, 1620),
    ("Command2", "QPushButton", "Frame4", "&Clear Events", "", 120, 2400, 1095, 375),
    ("Label3", "QLabel", "Frame4", "View:", "", 1560, 2520, 495, 255),
    ("Option1", "QRadioButton", "Frame4", "Events", "", 2160, 2520, 855, 255),
    ("Option2", "QRadioButton", "Frame4", "Log", "", 3120, 2520, 735, 255),
    ("Command3", "QPushButton", "Frame4", "&New Contact", "", 3960, 2400, 1095, 375),
    ("Command8", "QPushButton", "Frame4", "New &Journal", "", 5280, 2400, 1095, 375),
    ("Label1", "QLabel", "Frame4", "Automatically:", "", 120, 2880, 1215, 255),
    ("Command4", "QPushButton", "Frame4", "&Find Modem", "", 5280, 2880, 1095, 375),
    ("Check2", "QCheckBox", "Frame4", "Search in Contact", "", 120, 3120, 1695, 255),
    ("Check6", "QCheckBox", "Frame4", "Minimize on Start Up", "", 1800, 3120, 1815, 255),
    ("Check7", "QCheckBox", "Frame4", "Use System Tray", "", 3600, 3120, 1575, 255),
    ("Check3", "QCheckBox", "Frame4", "Create Contact", "", 120, 3360, 1455, 255),
    ("Check4", "QCheckBox", "Frame4", "Maximize on Ring", "", 1800, 3360, 1815, 255),
    ("Check8", "QCheckBox", "Frame4", "Play wav File", "", 3600, 3360, 1575, 255),
    ("Command1", "QPushButton", "Frame4", "&Help", "", 5280, 3360, 1095, 375),
    ("Check5", "QCheckBox", "Frame4", "Create Journal", "", 120, 3600, 1455, 255),
    ("Check1", "QCheckBox", "Frame4", "Modem Enabled", "", 1800, 3600, 1455, 255),
]

TAB_ORDER = ["Command9", "Command10", "Command12", "CallIDNumber", "CallIDName", "ModemEvents",
             "Calllog", "Command2", "Option1", "Option2", "Command3", "Command8", "Check2",
             "Check3", "Check5", "Check6", "Check4", "Check1", "Check7", "Check8", "Command4",
             "Command1", "CallIDTime", "CallIDDate", "SystemMessage", "Picture1", "Picture2"]

DISABLED = {"Check1", "Check2"}



EXTRA = {
    "Option1": [prop("checked", "<bool>true</bool>")],
    "Label2": [prop("font", "<font><pointsize>6</pointsize></font>")],
}

if __name__ == "__main__":
    # Command9 stands on Frame1's area: it comes last so that it lies on top and gets the clicks.
    write_ui(sys.argv[1] if len(sys.argv) > 1 else "ringdesk/shell/Form1.ui", "Ringwatch", 6495, 5895,
             CONTROLS, TAB_ORDER, "Command9", DISABLED, EXTRA, on_top=("Command9",))
