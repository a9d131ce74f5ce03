#pragma once

// Header only, for the windows of both programs.
#include <QScrollArea>
#include <QScrollBar>

// A scroll area that asks for the room its whole page needs, so that a window with that room
// shows the page without scroll bars, and one without it (a small screen, a large font) scrolls
// the page instead of running off the screen. QScrollArea itself asks for a fixed fraction of
// the page whatever its size.
class FittingScrollArea : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;

    QSize sizeHint() const override
    {
        if (!widget())
            return QScrollArea::sizeHint();
        const int frame = 2 * frameWidth();
        // Room for the vertical scroll bar too, so that the page is never squeezed sideways
        // when the window is shorter than the page.
        return widget()->sizeHint() + QSize(frame + verticalScrollBar()->sizeHint().width(), frame);
    }
};
