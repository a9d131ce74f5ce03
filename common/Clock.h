#pragma once

#include <QDateTime>
#include <functional>

// The time the program goes by: the computer's clock, unless a test has put one of its own in
// its place. Timers (TickSource) are the clock's other half: what they tick, tests step by hand.
class Clock
{
public:
    static QDateTime now();
    // A clock of the test's own until it is set back with an empty function.
    static void setNow(std::function<QDateTime()> now);
};
