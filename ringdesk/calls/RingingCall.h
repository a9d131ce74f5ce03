#pragma once

#include "calls/CallScreen.h"
#include "common/TickSource.h"

#include <QObject>
#include <functional>
#include <memory>

class ModemControl;
struct CallerId;

// A call's way from its rings and its caller's record to what is done with it: the screening
// decision, then hanging up or staying silent through the blocked call's further rings, or the
// window brought forward for a caller let through. Rings come every six seconds and caller ID
// between the first two, which sets the timers.
class RingingCall : public QObject
{
    Q_OBJECT
public:
    enum Timer
    {
        RingsOfBlocked,    // after a blocked call, its further rings are not shown
        RingWithoutCaller, // with screening on, a ring that has waited this long for its caller
        RecentRing         // a ring or a record came within the time between two rings
    };

    RingingCall(CallScreen& screen, ModemControl& modem, QObject* parent = nullptr);

    // A RING from the modem.
    void ring();
    // The caller's record is whole: screened, and hung up on or left silent when blocked.
    // `inAddressBook` is asked only when the decision depends on it.
    CallScreen::Verdict decide(const CallerId& record, const std::function<bool()>& inAddressBook);
    // Off-hook now, then on-hook after the screening's delay; the call's further rings are not
    // shown.
    void hangUp();
    // A ring or a caller's record came within the time between two rings.
    bool ringing() const;
    // The call ringing now was blocked: its further rings are not shown.
    bool blockedRinging() const { return m_timers[RingsOfBlocked]->isActive(); }
    // Who answers a blocked call with a tone or an announcement: what it did ("announced",
    // "fax tone"), or nothing when it cannot (no voice modem, one playing already), and the call
    // is hung up on instead.
    using VoiceLine = std::function<QString(ScreeningOptions::Treatment)>;
    void setVoiceLine(VoiceLine voice) { m_voice = std::move(voice); }
    // Why no caller can be asked for a key now, or nothing when one can: a caller to be checked
    // who cannot be rings as any caller let through.
    void setCheckLine(std::function<QString()> whyNot) { m_whyNoCheck = std::move(whyNot); }

    // Where a timer's ticks come from; a QTimer unless a test steps them.
    void setTicks(Timer timer, std::unique_ptr<TickSource> ticks);

signals:
    // The window should come forward (when its "Maximize on Ring" box says so).
    void bringForward();
    // The call rang and no ring has come for the time between two rings since its last.
    void ringingStopped();

private:
    void start(Timer timer);

    CallScreen& m_screen;
    ModemControl& m_modem;
    std::unique_ptr<TickSource> m_timers[3];
    VoiceLine m_voice;
    std::function<QString()> m_whyNoCheck;
    bool m_rang = false; // a ring came since ringing last stopped
};
