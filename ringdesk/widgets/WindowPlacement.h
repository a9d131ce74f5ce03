#pragma once

// Header only, for the windows of both programs.
#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace WindowPlacement {

// Room kept for what the window manager adds around a window (title bar and borders), which is
// not known before the window is first shown.
inline QSize frameAllowance()
{
    return QSize(16, 48);
}

// The part of the window's screen (or the primary one) that a window and its frame may take.
inline QRect room(const QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return QRect();
    const QRect area = screen->availableGeometry();
    return QRect(area.topLeft(), area.size() - frameAllowance());
}

// The size the window's layout asks for, but no more than its screen has room for: what does
// not fit scrolls, and Save or Exit stay on the screen.
inline QSize fittingSize(QWidget* window)
{
    // Before it is first shown, the style (and the window's style sheet) has not yet given the
    // fields their sizes.
    window->ensurePolished();
    if (window->layout())
        window->layout()->activate();
    const QRect area = room(window);
    return area.isValid() ? window->sizeHint().boundedTo(area.size()) : window->sizeHint();
}

} // namespace WindowPlacement

// Opens a window at the size that fits the screen it is on, centred on that screen.
inline void centreOnScreen(QWidget* window)
{
    window->resize(WindowPlacement::fittingSize(window));
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect placed(QPoint(), window->size());
    placed.moveCenter(area.center());
    window->move(std::max(placed.left(), area.left()), std::max(placed.top(), area.top()));
}

// Gives a window that has grown (or shrunk) its new height at once, keeping its width, and moves
// it up where it would now reach past the bottom of its screen.
inline void refitHeight(QWidget* window)
{
    const QSize wanted = WindowPlacement::fittingSize(window);
    window->resize(window->width(), wanted.height());
    const QRect area = WindowPlacement::room(window);
    if (area.isValid() && window->y() + window->height() > area.bottom())
        window->move(window->x(), std::max(area.top(), area.bottom() - window->height()));
}
