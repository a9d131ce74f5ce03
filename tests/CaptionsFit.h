#pragma once

// Whether every caption of a window is drawn whole: each label and button is at least as large
// as it asks to be, in the font it is drawn in.
#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QScreen>
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

// A window drawn in the desktop's font times `scale`: the captions it clips, and the size it asks
// for (which the screen may bound).
struct DrawnWindow
{
    QStringList clipped;
    QSize size;
};

// The desktop's font times `scale` for as long as it lives.
class ScaledFont
{
public:
    explicit ScaledFont(qreal scale) : m_usual(QApplication::font())
    {
        QFont font = m_usual;
        font.setPointSizeF(m_usual.pointSizeF() * scale);
        QApplication::setFont(font);
    }
    ~ScaledFont() { QApplication::setFont(m_usual); }
    ScaledFont(const ScaledFont&) = delete;
    ScaledFont& operator=(const ScaledFont&) = delete;

private:
    const QFont m_usual;
};

template <typename Window, typename Open> DrawnWindow drawInFont(qreal scale, Open open)
{
    const ScaledFont font(scale);
    Window window;
    open(window);
    return {clippedCaptions(&window), window.sizeHint()};
}

// The screens a window must fit, as the test's offscreen platform sets them up (screens.json):
// a 1366×768 laptop in the desktop's font, and a 1920×1080 screen with a font half as large again.
inline void screenSizes()
{
    QTest::addColumn<int>("screen");
    QTest::addColumn<qreal>("scale");
    QTest::newRow("1366x768, the desktop's font") << 0 << 1.0;
    QTest::newRow("1920x1080, half as large again") << 1 << 1.5;
}

// What is wrong with a window opened by `open` on the given screen in the desktop's font times
// `scale`, once `change` has run on it: a frame past the screen's free area, a clipped caption, an
// edge that does not resize it.
template <typename Window, typename Open, typename Change>
QStringList openOnScreen(int screenIndex, qreal scale, Open open, Change change)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screenIndex >= screens.size())
        return {QStringLiteral("no screen %1: the test runs on the platform of screens.json")
                    .arg(screenIndex)};
    const ScaledFont font(scale);
    Window window;
    window.setScreen(screens[screenIndex]);
    open(window);
    change(window);
    QStringList problems = clippedCaptions(&window);
    const QRect area = screens[screenIndex]->availableGeometry();
    if (!area.contains(window.frameGeometry()))
        problems << QStringLiteral("frame %1,%2 %3x%4 is not within the screen's %5x%6")
                        .arg(window.frameGeometry().x())
                        .arg(window.frameGeometry().y())
                        .arg(window.frameGeometry().width())
                        .arg(window.frameGeometry().height())
                        .arg(area.width())
                        .arg(area.height());
    const QSize larger = window.size() + QSize(40, 60);
    window.resize(larger);
    if (window.size() != larger)
        problems << QStringLiteral("does not resize");
    return problems;
}
