#include "modem/ModemControl.h"

#include "common/SettingsTable.h"

namespace {

// Rings come every six seconds; a longer pause is the next call.
constexpr int nextCallAfterMs = 8000;

} // namespace

ModemControl::ModemControl(QObject* parent)
    : QObject(parent), m_line(this), m_receiver(this), m_exchange(m_line, m_receiver, this),
      m_search(m_line, m_exchange, m_settings, this), m_switch(m_line, m_search),
      m_hook(m_line, m_exchange, this), m_watchdog(m_line, m_receiver, m_exchange, this)
{
    m_receiver.attach(m_line.device());
    connect(&m_receiver, &ModemReceiver::eventLine, this, &ModemControl::eventLine);
    connect(&m_search, &ModemSearch::eventLine, this, &ModemControl::eventLine);
    connect(&m_hook, &LineHook::eventLine, this, &ModemControl::eventLine);
    connect(&m_watchdog, &ModemWatchdog::eventLine, this, &ModemControl::eventLine);
    connect(&m_line, &SerialLine::portLost, this,
            [this](const QString& device, const QString& reason) {
                emit eventLine(
                    QStringLiteral("[Modem port %1 failed: %2; closed]").arg(device, reason));
                emit status(QStringLiteral("ERROR, MODEM DISCONNECTED"));
                emit stateChanged(State::Disconnected);
                emit portLost(device);
                if (!m_shuttingDown && m_switch.isOn() && !m_search.running())
                    m_watchdog.recoverLostPort();
            });
    connect(&m_receiver, &ModemReceiver::recordChanged, this, &ModemControl::recordChanged);
    connect(&m_receiver, &ModemReceiver::recordComplete, this, &ModemControl::recordComplete);
    connect(&m_receiver, &ModemReceiver::ring, this, [this] {
        m_rings = m_lastRing.isValid() && m_lastRing.elapsed() < nextCallAfterMs ? m_rings + 1 : 1;
        m_lastRing.start();
        emit rang(m_rings);
    });

    connect(&m_search, &ModemSearch::status, this, &ModemControl::status);
    connect(&m_search, &ModemSearch::beep, this, &ModemControl::beep);
    connect(&m_search, &ModemSearch::notFound, this, &ModemControl::notFound);
    connect(&m_search, &ModemSearch::finished, this, [this] {
        if (!m_line.isOpen())
            return;
        emit stateChanged(State::Answering);
        if (!m_shuttingDown)
            m_watchdog.start(m_checkIntervalMs, m_settings.port, m_settings.speed,
                             m_settings.callerIdCommand);
    });
    // Queued: a search that found nothing to open ends before turnOn() has returned.
    connect(&m_search, &ModemSearch::finished, this, &ModemControl::searchEnded,
            Qt::QueuedConnection);

    m_watchdog.busy = [this] {
        return callUnderWay();
    };
    connect(&m_watchdog, &ModemWatchdog::notAnswering, this, [this] {
        emit status(QStringLiteral("ERROR, MODEM NOT ANSWERING"));
        emit notAnswering();
        emit stateChanged(State::NotAnswering);
    });
    connect(&m_watchdog, &ModemWatchdog::answeringAgain, this, [this] {
        emit status(QStringLiteral("Active... Waiting for a Ring"));
        emit stateChanged(State::Answering);
    });
}

void ModemControl::setTicks(Timer timer, std::unique_ptr<TickSource> ticks)
{
    switch (timer) {
    case Timer::ReplyTimeout:
        m_exchange.setTicks(std::move(ticks));
        break;
    case Timer::Watchdog:
        m_watchdog.setTicks(std::move(ticks));
        break;
    case Timer::Polling:
        m_receiver.setTicks(std::move(ticks));
        break;
    }
}

bool ModemControl::callUnderWay() const
{
    // A check sent now would come between a caller's rings or cut into a hang-up.
    return m_hook.busy() || m_receiver.recordUnderWay() ||
           (m_lastRing.isValid() && m_lastRing.elapsed() < nextCallAfterMs);
}

bool ModemControl::turnOn()
{
    m_settings.portsToSearch = Settings::NumberOfCom.whole();
    // The search opens and closes ports; the watchdog comes back once it has found the modem.
    m_watchdog.stop();
    return m_switch.turnOn();
}

void ModemControl::turnOff()
{
    m_watchdog.stop();
    m_switch.turnOff();
}

void ModemControl::find()
{
    m_settings.port = 0;
    m_settings.portsToSearch = Settings::NumberOfCom.whole();
    m_watchdog.stop();
    m_search.start();
}

void ModemControl::hangUp(int holdMs)
{
    m_hook.hangUp(holdMs);
}

void ModemControl::shutDown()
{
    // A search waiting for a reply stops at once instead of holding the program up.
    m_shuttingDown = true;
    m_watchdog.stop();
    m_search.stop();
    m_exchange.shutDown();
    m_line.close();
}
