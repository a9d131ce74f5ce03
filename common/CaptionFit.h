#pragma once

// Header only, for the two programs' windows: their layouts were measured for a narrower face
// than most Linux desktops use. A caption that would be clipped gets a smaller face instead of
// overlapping its neighbour.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

inline void fitCaptions(QWidget* window)
{
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const bool caption =
            (qobject_cast<QLabel*>(widget) && qobject_cast<QLabel*>(widget)->pixmap().isNull()) ||
            qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget);
        if (!caption)
            continue;
        QFont font = widget->font();
        while (widget->sizeHint().width() > widget->width() && font.pointSizeF() > 6.0) {
            font.setPointSizeF(font.pointSizeF() - 0.5);
            widget->setFont(font);
        }
    }
}
