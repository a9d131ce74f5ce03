#pragma once

#include "common/TickSource.h"

#include <QTimer>

// Ticks from a QTimer: the tick source of the running program.
class TimerTicks final : public TickSource
{
    Q_OBJECT
public:
    enum Kind
    {
        Repeating,
        Once
    };
    explicit TimerTicks(Kind kind, QObject* parent = nullptr);

    void start(int milliseconds) override;
    void stop() override;
    bool isActive() const override;

private:
    QTimer m_timer;
};
