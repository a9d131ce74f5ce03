"""Writes Qt Designer .ui files from a window's control table (positions in twips).

Designer can edit the results directly; the tables only saved typing them by hand.
"""
from xml.sax.saxutils import escape


def px(twips):
    return round(twips / 15)


def prop(name, inner):
    return f'<property name="{name}">{inner}</property>'


def string(text):
    return f"<string>{escape(text)}</string>"


def widget(name, out, indent, controls, disabled=()):
    _, kind, _, caption, tip, left, top, width, height = next(c for c in controls if c[0] == name)
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
    if name in disabled:
        out.append(f"{pad} " + prop("enabled", "<bool>false</bool>"))
    if kind == "display":
        out.append(f"{pad} " + prop("frame", "<bool>false</bool>"))
        out.append(f"{pad} " + prop("readOnly", "<bool>true</bool>"))
        out.append(f"{pad} " + prop("focusPolicy", "<enum>Qt::TabFocus</enum>"))
    if kind == "QPushButton":
        out.append(f"{pad} " + prop("autoDefault", "<bool>true</bool>"))
    if kind == "QComboBox":
        out.append(f"{pad} " + prop("editable", "<bool>true</bool>"))
        out.append(f"{pad} " + prop("insertPolicy", "<enum>QComboBox::NoInsert</enum>"))
    if kind == "QLabel":
        out.append(f"{pad} " + prop("alignment", "<set>Qt::AlignLeading|Qt::AlignTop</set>"))
    if kind == "QListView":
        out.append(f"{pad} " + prop("editTriggers", "<set>QAbstractItemView::NoEditTriggers</set>"))
        out.append(f"{pad} " + prop("uniformItemSizes", "<bool>true</bool>"))
    if kind == "QToolButton":
        out.append(f"{pad} " + prop("autoRaise", "<bool>true</bool>"))
        out.append(f"{pad} " + prop("iconSize", "<size><width>16</width><height>16</height></size>"))
    for child in (c[0] for c in controls if c[2] == name):
        widget(child, out, indent + 1, controls, disabled)
    out.append(f"{pad}</widget>")


def write_ui(path, title, width, height, controls, tab_order, default_button, disabled=(),
             extra=None, on_top=(), base="QWidget", cls="Form1"):
    """extra: {name: [property xml, ...]} added to a control. on_top: controls laid last."""
    out = ['<?xml version="1.0" encoding="UTF-8"?>', '<ui version="4.0">', f" <class>{cls}</class>",
           f' <widget class="{base}" name="Form1">',
           "  " + prop("geometry", f"<rect><x>0</x><y>0</y><width>{px(width)}</width>"
                       f"<height>{px(height)}</height></rect>"),
           "  " + prop("windowTitle", string(title)),
           # The layouts were drawn for an 8-point face; larger desktop fonts would clip labels.
           "  " + prop("font", "<font><pointsize>8</pointsize></font>"),
           "  " + prop("styleSheet", string("QLineEdit[readOnly=\"true\"] { background: palette(window); }"))]
    tops = [c[0] for c in controls if c[2] is None]
    start = len(out)
    for top in sorted(tops, key=lambda name: name in on_top):
        widget(top, out, 2, controls, disabled)
    body = "\n".join(out[start:])
    extra = dict(extra or {})
    extra.setdefault(default_button, []).append(prop("default", "<bool>true</bool>"))
    for name, props in extra.items():
        at = body.index(f'name="{name}">')
        line_end = body.index("\n", at)
        indent = " " * (len(body[:at].rsplit("\n", 1)[-1]) - len(body[:at].rsplit("\n", 1)[-1].lstrip()) + 1)
        body = body[:line_end + 1] + "".join(f"{indent}{p}\n" for p in props) + body[line_end + 1:]
    out = out[:start] + [body]
    out.append(" </widget>")
    out.append(" <tabstops>")
    out.extend(f"  <tabstop>{name}</tabstop>" for name in tab_order)
    out.append(" </tabstops>")
    out.append(" <resources/>")
    out.append(" <connections/>")
    out.append("</ui>")
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")
