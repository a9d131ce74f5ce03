#!/usr/bin/env python3
"""Writes ringdesk/shell/Form1.ui from the window's control table (positions in twips).

Designer can edit the result directly; this script only saved typing the table by hand.
"""
import sys
from xml.sax.saxutils import escape

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


def px(twips):
    return round(twips / 15)


def prop(name, inner):
    return f'<property name="{name}">{inner}</property>'


def string(text):
    return f"<string>{escape(text)}</string>"


def widget(name, out, indent):
    _, kind, _, caption, tip, left, top, width, height = next(c for c in CONTROLS if c[0] == name)
    pad = " " * indent
    cls = "QLineEdit" if kind == "display" else kind
    out.append(f'{pad}<widget class="{cls}" name="{name}">')
    out.append(f"{pad} " + prop("geometry", f"<rect><x>{px(left)}</x><y>{px(top)}</y>"
                                f"<width>{px(width)}</width><height>{px(height)}</height></rect>"))
    if caption:
        key = "title" if kind == "QGroupBox" else "text"
        out.append(f"{pad} " + prop(key, string(caption)))
    if tip:
        out.append(f"{pad} " + prop("toolTip", string(tip)))
    if name in DISABLED:
        out.append(f"{pad} " + prop("enabled", "<bool>false</bool>"))
    if kind == "display":
        out.append(f"{pad} " + prop("frame", "<bool>false</bool>"))
        out.append(f"{pad} " + prop("readOnly", "<bool>true</bool>"))
        out.append(f"{pad} " + prop("focusPolicy", "<enum>Qt::TabFocus</enum>"))
    if kind == "QPushButton":
        out.append(f"{pad} " + prop("autoDefault", "<bool>true</bool>"))
        if name == "Command9":
            out.append(f"{pad} " + prop("default", "<bool>true</bool>"))
    if name == "Option1":
        out.append(f"{pad} " + prop("checked", "<bool>true</bool>"))
    if name == "Label2":
        out.append(f"{pad} " + prop("font", "<font><pointsize>6</pointsize></font>"))
        out.append(f"{pad} " + prop("alignment", "<set>Qt::AlignLeading|Qt::AlignTop</set>"))
    if kind == "QLabel" and name not in ("Image1", "Label2"):
        out.append(f"{pad} " + prop("alignment", "<set>Qt::AlignLeading|Qt::AlignTop</set>"))
    if kind == "QListView":
        out.append(f"{pad} " + prop("editTriggers", "<set>QAbstractItemView::NoEditTriggers</set>"))
        out.append(f"{pad} " + prop("uniformItemSizes", "<bool>true</bool>"))
    if kind == "QToolButton":
        out.append(f"{pad} " + prop("autoRaise", "<bool>true</bool>"))
        out.append(f"{pad} " + prop("iconSize", "<size><width>16</width><height>16</height></size>"))
    for child in (c[0] for c in CONTROLS if c[2] == name):
        widget(child, out, indent + 1)
    out.append(f"{pad}</widget>")


def main(path):
    out = ['<?xml version="1.0" encoding="UTF-8"?>', '<ui version="4.0">', " <class>Form1</class>",
           ' <widget class="QWidget" name="Form1">',
           "  " + prop("geometry", f"<rect><x>0</x><y>0</y><width>{px(6495)}</width>"
                       f"<height>{px(5895)}</height></rect>"),
           "  " + prop("windowTitle", string("Ringwatch")),
           # The layout was drawn for an 8-point face; larger desktop fonts would clip the labels.
           "  " + prop("font", "<font><pointsize>8</pointsize></font>"),
           "  " + prop("styleSheet", string("QLineEdit[readOnly=\"true\"] { background: palette(window); }"))]
    # Command9 stands on Frame1's area: it comes last so that it lies on top and gets the clicks.
    tops = [c[0] for c in CONTROLS if c[2] is None]
    for top in sorted(tops, key=lambda name: name == "Command9"):
        widget(top, out, 2)
    out.append(" </widget>")
    out.append(" <tabstops>")
    out.extend(f"  <tabstop>{name}</tabstop>" for name in TAB_ORDER)
    out.append(" </tabstops>")
    out.append(" <resources/>")
    out.append(" <connections/>")
    out.append("</ui>")
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "ringdesk/shell/Form1.ui")
