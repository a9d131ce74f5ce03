#pragma once

// Header only, for the two programs' windows: their layouts were measured for a narrower face
// than most Linux desktops use. Captions that would be clipped get a smaller face instead of
// overlapping their neighbours, by group: the labels of one frame share one size, and so do its
// check boxes, its option buttons and its push buttons, so that neighbours never differ. Widgets
// named in `keep` keep the face they have.
#include <QAbstractButton>
#include <QCheckBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStringList>

inline void fitCaptions(QWidget* window, const QStringList& keep = {})
{
    QHash<QString, QList<QWidget*>> groups;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (keep.contains(widget->objectName()))
            continue;
        const char* kind = nullptr;
        if (auto* label = qobject_cast<QLabel*>(widget); label && label->pixmap().isNull())
            kind = "label";
        else if (qobject_cast<QCheckBox*>(widget))
            kind = "check";
        else if (qobject_cast<QRadioButton*>(widget))
            kind = "option";
        else if (qobject_cast<QPushButton*>(widget))
            kind = "button";
        if (!kind)
            continue;
        const QString parent = widget->parentWidget() ? widget->parentWidget()->objectName() : "";
        groups[parent + u'/' + QLatin1String(kind)].append(widget);
    }
    for (const QList<QWidget*>& group : std::as_const(groups)) {
        // The size the tightest caption needs is the size of the whole group.
        qreal size = group.first()->font().pointSizeF();
        for (QWidget* widget : group) {
            QFont font = widget->font();
            font.setPointSizeF(size);
            widget->setFont(font);
            while (widget->sizeHint().width() > widget->width() && size > 6.0) {
                size -= 0.5;
                font.setPointSizeF(size);
                widget->setFont(font);
            }
        }
        for (QWidget* widget : group) {
            QFont font = widget->font();
            font.setPointSizeF(size);
            widget->setFont(font);
        }
    }
}

// A read-only line whose text must be read whole (the status line): a smaller face, down to
// 6 points, when the text would not fit at the window's own size.
inline void fitText(QLineEdit* line, qreal largest)
{
    QFont font = line->font();
    font.setPointSizeF(largest);
    const int room = line->contentsRect().width() - 6; // the frame's text margins
    while (QFontMetrics(font).horizontalAdvance(line->text()) > room && font.pointSizeF() > 6.0)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    line->setFont(font);
}

// Opens a window centred on the screen it is on (or the primary one).
inline void centreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - window->rect().center());
}
