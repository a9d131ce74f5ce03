#pragma once

#include "bus/CallBus.h"

#include <QObject>

class CallPipeline;
class EventLog;
class ModemControl;

// The monitor's part in the household: joins the broker the settings name, publishes each call
// this monitor took, its outcome, the event list and whether the modem answers, brings the calls
// of other monitors into the call's way and carries out the commands asked on the bus.
class HouseholdLink : public QObject
{
    Q_OBJECT
public:
    HouseholdLink(EventLog& events, CallPipeline& calls, ModemControl& modem,
                  QObject* parent = nullptr);

    // Joins the broker when the "MQTT" settings name one; a bad setting is said in the log.
    void start();
    // Says "offline" and disconnects.
    void stop() { m_bus.stop(); }
    // The broker we are on, or nothing.
    QString brokerAddress() const { return m_bus.active() ? m_bus.address() : QString(); }
    QString address() const { return m_bus.address(); }
    // Calls of other monitors come in through the broker now.
    bool bringingCallsIn() const { return m_bus.bringingCallsIn(); }

signals:
    // A short text for the status line.
    void status(const QString& text);
    // The broker accepted us (again).
    void connected();

private:
    EventLog& m_events;
    CallBus m_bus;
};
