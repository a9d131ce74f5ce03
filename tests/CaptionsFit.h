#pragma once

// Whether every caption of a window is drawn whole: each label and button is at least as large
// as it asks to be, in the font it is drawn in.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QStringList>
#include <QTest>
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

// The font sizes a window is drawn in: the desktop's, and half as large again.
inline void fontScales()
{
    QTest::addColumn<qreal>("scale");
    QTest::newRow("the desktop's font") << 1.0;
    QTest::newRow("half as large again") << 1.5;
}

// A window drawn in the desktop's font times `scale`: the captions it clips, and its size.
struct DrawnWindow
{
    QStringList clipped;
    QSize size;
};

template <typename Window, typename Open> DrawnWindow drawInFont(qreal scale, Open open)
{
    const QFont usual = QApplication::font();
    QFont font = usual;
    font.setPointSizeF(usual.pointSizeF() * scale);
    QApplication::setFont(font);
    DrawnWindow drawn;
    {
        Window window;
        open(window);
        drawn.clipped = clippedCaptions(&window);
        drawn.size = window.size();
    }
    QApplication::setFont(usual);
    return drawn;
}
