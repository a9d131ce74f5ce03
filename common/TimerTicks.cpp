#include "common/TimerTicks.h"

TimerTicks::TimerTicks(Kind kind, QObject* parent) : TickSource(parent)
{
    m_timer.setSingleShot(kind == Once);
    // A time-out or a poll interval is a promise to the modem protocol, not a hint.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TickSource::tick);
}

void TimerTicks::start(int milliseconds)
{
    m_timer.start(milliseconds);
}

void TimerTicks::stop()
{
    m_timer.stop();
}

bool TimerTicks::isActive() const
{
    return m_timer.isActive();
}
