#include "calls/RingingCall.h"

#include "common/TimerTicks.h"
#include "modem/CallerId.h"
#include "modem/ModemControl.h"

#include <utility>

namespace {

constexpr int intervals[] = {8000, 6000, 8000};

} // namespace

RingingCall::RingingCall(CallScreen& screen, ModemControl& modem, QObject* parent)
    : QObject(parent), m_screen(screen), m_modem(modem)
{
    for (Timer timer : {RingsOfBlocked, RingWithoutCaller, RecentRing})
        setTicks(timer, std::make_unique<TimerTicks>(TimerTicks::Once));
}

void RingingCall::setTicks(Timer timer, std::unique_ptr<TickSource> ticks)
{
    m_timers[timer] = std::move(ticks);
    TickSource* source = m_timers[timer].get();
    connect(source, &TickSource::tick, this, [this, timer, source] {
        source->stop();
        if (timer == RingWithoutCaller)
            emit bringForward();
        if (timer == RecentRing && std::exchange(m_rang, false))
            emit ringingStopped();
    });
}

void RingingCall::start(Timer timer)
{
    m_timers[timer]->start(intervals[timer]);
}

void RingingCall::ring()
{
    m_rang = true;
    start(RecentRing);
    if (m_timers[RingsOfBlocked]->isActive()) {
        start(RingsOfBlocked); // still the blocked call
        return;
    }
    if (m_screen.options().mode != ScreeningOptions::Off) {
        if (!m_timers[RingWithoutCaller]->isActive())
            start(RingWithoutCaller);
        return;
    }
    emit bringForward();
}

CallScreen::Verdict RingingCall::decide(const CallerId& record,
                                        const std::function<bool()>& inAddressBook)
{
    start(RecentRing);
    const bool screening = m_screen.options().mode != ScreeningOptions::Off;
    CallScreen::Verdict verdict = m_screen.decide(record, inAddressBook);
    if (verdict.blocked) {
        // The modem first: the caller's line should ring as little as it can.
        const ScreeningOptions::Treatment treatment = m_screen.options().treatment;
        if (treatment == ScreeningOptions::Announce || treatment == ScreeningOptions::Fax)
            verdict.treated = m_voice ? m_voice(treatment) : QString();
        if (!verdict.treated.isEmpty() || treatment == ScreeningOptions::Silence)
            start(RingsOfBlocked);
        else
            hangUp();
        m_timers[RingWithoutCaller]->stop();
        return verdict;
    }
    if (verdict.check) {
        verdict.noCheck = m_whyNoCheck ? m_whyNoCheck() : QStringLiteral("no voice line");
        verdict.check = verdict.noCheck.isEmpty();
        if (verdict.check) {
            // Nobody is disturbed unless the caller proves human.
            m_timers[RingWithoutCaller]->stop();
            return verdict;
        }
    }
    if (screening) {
        // A caller let through: the window comes forward now, as it would have on the ring.
        m_timers[RingWithoutCaller]->stop();
        m_timers[RingsOfBlocked]->stop();
        emit bringForward();
    }
    return verdict;
}

void RingingCall::hangUp()
{
    start(RingsOfBlocked);
    m_timers[RingWithoutCaller]->stop();
    m_modem.hangUp(m_screen.options().hangUpDelay);
}

bool RingingCall::ringing() const
{
    return m_timers[RecentRing]->isActive();
}
