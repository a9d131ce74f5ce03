#pragma once

// Whether every caption of a window is drawn whole: each label and button is at least as large
// as it asks to be, in the font it is drawn in.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QStringList>
#include <QWidget>

inline QStringList clippedCaptions(QWidget* window)
{
    if (window->layout())
        window->layout()->activate();
    QStringList clipped;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window) ||
            !(qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget)))
            continue;
        const QSize wanted = widget->sizeHint();
        if (widget->width() < wanted.width() || widget->height() < wanted.height())
            clipped << QStringLiteral("%1 %2x%3 < %4x%5")
                           .arg(widget->objectName())
                           .arg(widget->width())
                           .arg(widget->height())
                           .arg(wanted.width())
                           .arg(wanted.height());
        if (widget->font().pointSizeF() < QApplication::font().pointSizeF())
            clipped << widget->objectName() + QStringLiteral(" in a smaller face");
    }
    return clipped;
}
