#pragma once

#include "common/TickSource.h"

#include <QTimer>
#include <functional>

// A tick source the test drives: ticks come from step(), or, with fireWhenStarted, as soon as
// the event loop runs after each start (a time-out that has already passed). It counts what
// happened, so a test can tell a wait that ended on its time-out from one that ended otherwise.
class SteppedTicks : public TickSource
{
public:
    enum Kind
    {
        Repeating,
        Once
    };
    explicit SteppedTicks(Kind kind = Repeating) : m_once(kind == Once) {}

    void start(int milliseconds) override
    {
        interval = milliseconds;
        m_active = true;
        ++starts;
        if (onStart)
            onStart();
        if (fireWhenStarted)
            QTimer::singleShot(0, this, [this, generation = starts] {
                if (generation == starts)
                    step();
            });
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    // Up to `count` ticks, as long as the source runs; returns how many there were.
    int step(int count = 1)
    {
        int ticked = 0;
        while (ticked < count && m_active) {
            if (m_once)
                m_active = false;
            ++ticked;
            ++ticks;
            emit tick();
        }
        return ticked;
    }

    int interval = 0;
    int starts = 0;
    int ticks = 0;
    bool fireWhenStarted = false;
    std::function<void()> onStart;

private:
    bool m_once;
    bool m_active = false;
};
