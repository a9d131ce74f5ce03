#include "common/Clock.h"

namespace {

std::function<QDateTime()>& testClock()
{
    static std::function<QDateTime()> clock;
    return clock;
}

} // namespace

QDateTime Clock::now()
{
    const std::function<QDateTime()>& clock = testClock();
    return clock ? clock() : QDateTime::currentDateTime();
}

void Clock::setNow(std::function<QDateTime()> now)
{
    testClock() = std::move(now);
}
