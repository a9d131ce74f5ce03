#pragma once

// Header only, for the windows of both programs.
#include <QLayout>
#include <QScreen>
#include <QWidget>

// Opens a window centred on the screen it is on (or the primary one), at the size its layout
// gives it in the desktop's face.
inline void centreOnScreen(QWidget* window)
{
    if (window->layout())
        window->layout()->activate();
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - window->rect().center());
}
