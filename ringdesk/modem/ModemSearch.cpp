#include "modem/ModemSearch.h"

#include "common/Conversions.h"
#include "common/PortMap.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "modem/Comm1.h"
#include "modem/CommandExchange.h"
#include "modem/PortProblem.h"
#include "state/MonitorState.h"
#include "state/WindowControl.h"

#include <QScopeGuard>

namespace {

// A port number in a message stands where a sign would: " 2" for port 2.
QString shown(int port)
{
    return (port < 0 ? QString() : QStringLiteral(" ")) + QString::number(port);
}

bool isZero(const QString& text)
{
    const std::optional<double> value = Conversions::toNumber(text);
    return !value || *value == 0;
}

} // namespace

ModemSearch::ModemSearch(MonitorState& state, WindowControl& window, Comm1& port,
                         CommandExchange& exchange)
    : m_state(state), m_window(window), m_port(port), m_exchange(exchange)
{
}

bool ModemSearch::interrupted() const
{
    // The switch turned off, or the program ending, while a reply was awaited.
    return m_state.check(1) != 1 || m_state.ShuttingDown;
}

void ModemSearch::SearchModems()
{
    if (m_state.check(1) != 1) {
        if (m_manualMode)
            m_manualMode();
        return;
    }
    if (m_running) {
        m_state.appendEvent(QStringLiteral("[A modem search is already running]"));
        return;
    }
    m_running = true;
    const auto done = qScopeGuard([this] { m_running = false; });

    if (m_port.PortOpen())
        m_port.close();
    m_openProblems.clear();
    m_state.appendEvent(QStringLiteral("[Initializing Ringwatch...]"));
    m_state.setField(MonitorState::SystemMessage, QStringLiteral("Initializing..."));

    QList<int> ports;
    QStringList bauds;
    QStringList commands;
    if (isZero(m_state.ComPort)) {
        m_state.appendEvent(QStringLiteral("[Searching for Modems...]"));
        m_state.setField(MonitorState::SystemMessage, QStringLiteral("Searching for Modems..."));
        const QString count = Settings::NumberOfCom.read();
        const qint16 last = Conversions::toInt16(count).value_or(4);
        for (int port = 1; port <= last; ++port)
            ports << port;
        bauds = {QStringLiteral("56000"), QStringLiteral("28800"), QStringLiteral("9600")};
        commands = {QStringLiteral("AT#CID=1"), QStringLiteral("AT%CCID=1"),
                    QStringLiteral("AT+VCID=1"), QStringLiteral("AT#CC1"),
                    QStringLiteral("AT*ID1")};
    } else {
        ports << Conversions::toInt16(m_state.ComPort).value_or(0);
        bauds << m_state.BaudRate;
        commands << m_state.CallIDString;
    }

    for (const int port : ports) {
        const bool excluded = PortMap::isExcluded(Settings::portExclusionKey(port));
        const bool found = !excluded && probePort(port, bauds, commands);
        m_port.close();
        if (interrupted())
            return;
        if (found)
            break;
    }

    if (isZero(m_state.ComPort)) {
        m_state.appendEvent(QStringLiteral("[ERROR... NO CALLER ID FEATURE FOUND]"));
        m_state.setField(MonitorState::SystemMessage, QStringLiteral("ERROR, NO CALLER ID"));
        m_window.Beep();
        m_window.ShowModemError(m_openProblems);
        return;
    }
    const int port = Conversions::toInt16(m_state.ComPort).value_or(0);
    if (m_exchange.OpenModemPort(port, m_state.BaudRate)) {
        PortMap::remember(port, m_port.deviceName());
        // ModemManager may probe and hold a USB modem beside us, and then the rings go astray.
        for (const PortProblem::Holder& holder : PortProblem::holdersOf(m_port.openedAs()))
            if (holder.name == QLatin1String("ModemManager"))
                m_state.appendEvent(QStringLiteral("[ModemManager (process %1) also has Com%2 "
                                                   "(%3) open; see \"Real modems\" in the help]")
                                        .arg(holder.pid)
                                        .arg(shown(port), m_port.deviceName()));
    }
    m_state.appendEvent(QStringLiteral("[CALLER ID Modem Found in Com") + shown(port) +
                        QStringLiteral(" !]"));
    m_state.appendEvent(QStringLiteral("[System Ready, Waiting for a RING...]"));
    m_state.setField(MonitorState::SystemMessage, QStringLiteral("Active... Waiting for a Ring"));
}

bool ModemSearch::probePort(int port, const QStringList& bauds, const QStringList& commands)
{
    for (const QString& speed : bauds) {
        m_state.appendEvent(QStringLiteral("[Testing Com") + shown(port) + QStringLiteral(" at ") +
                            speed + QStringLiteral(" ]"));
        m_exchange.OpenModemPort(port, speed);
        // Why a port would not open is said once per port: a search is also a diagnosis.
        if (!m_port.PortOpen() && !m_port.openFailure().isEmpty() && speed == bauds.first()) {
            const QString problem = QStringLiteral("Com") + shown(port) + QStringLiteral(" (") +
                                    m_port.deviceName() + QStringLiteral("): ") +
                                    m_port.openFailure();
            m_state.appendEvent(u'[' + problem + u']');
            m_openProblems << problem;
        }
        // A port that is not open can get no reply: no answer, without waiting for one.
        if (m_port.PortOpen()) {
            m_exchange.SendModemCommand(QStringLiteral("ATZ"));
            m_exchange.WaitForResponse();
            if (interrupted())
                return false;
        } else {
            m_state.setOkReceived(0);
        }
        if (m_state.okReceived() != 1) {
            m_state.ComPort = QStringLiteral("0");
            continue;
        }

        m_state.appendEvent(QStringLiteral("[Found Modem in Com") + shown(port) +
                            QStringLiteral(" !]"));
        m_state.BaudRate = speed;
        m_window.Beep();
        if (isZero(m_state.ComPort)) {
            m_state.appendEvent(QStringLiteral("[Retreiving Modem Information]"));
            for (const char* question : {"ATI3", "ATI6"}) {
                m_exchange.SendModemCommand(QString::fromLatin1(question));
                m_exchange.WaitForResponse();
                if (interrupted())
                    return false;
            }
        }
        m_state.appendEvent(QStringLiteral("[Testing for Caller ID capabilities...]"));
        for (const QString& command : commands) {
            m_exchange.SendModemCommand(command);
            m_exchange.WaitForResponse();
            if (interrupted())
                return false;
            if (m_state.okReceived() == 1) {
                m_state.ComPort = QString::number(port);
                m_state.CallIDString = command;
                return true;
            }
            m_state.ComPort = QStringLiteral("0");
        }
        return false;
    }
    return false;
}
