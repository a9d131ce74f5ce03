#pragma once

#include <QObject>

// What drives one of the program's timers (the modem line's, a ringing call's): the clock's other
// half. The program uses a QTimer (TimerTicks); tests step the ticks by hand, so what a protocol
// does on its n-th tick is tested without waiting.
class TickSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts ticking every `milliseconds` (or once, for a one-shot source); a running source
    // starts its interval again.
    virtual void start(int milliseconds) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void tick();
};
