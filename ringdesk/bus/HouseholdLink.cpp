#include "bus/HouseholdLink.h"

#include "calls/CallPipeline.h"
#include "calls/EventLog.h"
#include "common/AppPaths.h"
#include "modem/ModemControl.h"

#include <QDir>
#include <algorithm>

HouseholdLink::HouseholdLink(EventLog& events, CallPipeline& calls, ModemControl& modem,
                             QObject* parent)
    : QObject(parent), m_events(events), m_bus(this)
{
    connect(&m_bus, &CallBus::commandReceived, this, [&calls](const CallMessage::Command& command) {
        switch (command.action) {
        case CallMessage::Command::Block:
            calls.block(command.number);
            break;
        case CallMessage::Command::Unblock:
            calls.unblock(command.number, command.name);
            break;
        case CallMessage::Command::HangUp:
            calls.hangUpOnRequest();
            break;
        case CallMessage::Command::PermitNext:
            calls.permitNext();
            break;
        }
    });
    connect(&calls, &CallPipeline::callHandled, this, [this, &modem](const CallRecord& call) {
        if (!call.origin.isEmpty())
            return; // another monitor's call, which it published itself
        CallRecord published = call;
        if (published.line.isEmpty())
            published.line = modem.device();
        m_bus.publishCall(published);
    });
    connect(&calls, &CallPipeline::outcomeKnown, &m_bus, &CallBus::publishOutcome);
    connect(&calls.history(), &CallHistory::messageKept, &m_bus, &CallBus::publishMessage);
    connect(&calls.history(), &CallHistory::changed, this, [this, &calls] {
        const QList<CallHistory::Message> messages = calls.history().messages();
        const auto unheard = std::count_if(messages.cbegin(), messages.cend(),
                                           [](const CallHistory::Message& m) { return !m.heard; });
        m_bus.publishMessages(int(unheard), int(messages.size()));
    });
    connect(&modem, &ModemControl::stateChanged, this, [this](ModemControl::State state) {
        switch (state) {
        case ModemControl::State::Answering:
            m_bus.publishModemState(QStringLiteral("answering"));
            break;
        case ModemControl::State::NotAnswering:
            m_bus.publishModemState(QStringLiteral("not answering"));
            break;
        case ModemControl::State::Disconnected:
            m_bus.publishModemState(QStringLiteral("disconnected"));
            break;
        }
    });
    connect(&events, &EventLog::added, this,
            [this](const EventLog::Event& event) { m_bus.publishEvent(event.text); });
    connect(&m_bus, &CallBus::report, this,
            [this](const QString& line) { m_events.append(line, EventLog::Kind::Household); });
    connect(&m_bus, &CallBus::remoteCall, this,
            [&calls](const CallRecord& call) { calls.take(IncomingCall::fromHousehold(call)); });
    connect(&m_bus, &CallBus::status, this, &HouseholdLink::status);
    connect(&m_bus, &CallBus::connected, this, &HouseholdLink::connected);
}

void HouseholdLink::start()
{
    QStringList problems;
    const MqttOptions options = MqttOptions::fromSettings(&problems);
    for (const QString& problem : problems)
        m_events.append(u'[' + problem + u']');
    if (!options.enabled())
        return;
    const QString folder = AppPaths::dataHome() + QStringLiteral("/ringdesk");
    QDir().mkpath(folder);
    m_bus.start(options, folder + QStringLiteral("/mqtt-outbox"));
}
