#include "modem/ModemSearch.h"

#include "common/Conversions.h"
#include "common/SettingsTable.h"
#include "devices/PortMap.h"
#include "modem/CommandExchange.h"
#include "modem/PortProblem.h"
#include "modem/SerialLine.h"

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

ModemSearch::ModemSearch(SerialLine& line, CommandExchange& exchange, ModemSettings& settings,
                         QObject* parent)
    : QObject(parent), m_line(line), m_exchange(exchange), m_settings(settings)
{
}

bool ModemSearch::interrupted() const
{
    // The switch turned off, or the program ending, while a reply was awaited.
    return m_stopped || m_exchange.shuttingDown();
}

void ModemSearch::SearchModems()
{
    if (m_running) {
        emit eventLine(QStringLiteral("[A modem search is already running]"));
        return;
    }
    m_running = true;
    m_stopped = false;
    const auto done = qScopeGuard([this] { m_running = false; });

    if (m_line.isOpen())
        m_line.close();
    m_openProblems.clear();
    m_exchange.setReplyTimeout(m_settings.replyTimeout);
    emit eventLine(QStringLiteral("[Initializing Ringwatch...]"));
    emit status(QStringLiteral("Initializing..."));

    QList<int> ports;
    QStringList bauds;
    QStringList commands;
    if (isZero(m_settings.port)) {
        emit eventLine(QStringLiteral("[Searching for Modems...]"));
        emit status(QStringLiteral("Searching for Modems..."));
        for (int port = 1; port <= m_settings.portsToSearch; ++port)
            ports << port;
        bauds = {QStringLiteral("56000"), QStringLiteral("28800"), QStringLiteral("9600")};
        commands = {QStringLiteral("AT#CID=1"), QStringLiteral("AT%CCID=1"),
                    QStringLiteral("AT+VCID=1"), QStringLiteral("AT#CC1"),
                    QStringLiteral("AT*ID1")};
    } else {
        ports << Conversions::toInt16(m_settings.port).value_or(0);
        bauds << m_settings.speed;
        commands << m_settings.callerIdCommand;
    }

    for (const int port : ports) {
        const bool excluded = PortMap::isExcluded(Settings::portExclusionKey(port));
        const bool found = !excluded && probePort(port, bauds, commands);
        m_line.close();
        if (interrupted())
            return;
        if (found)
            break;
    }

    if (isZero(m_settings.port)) {
        emit eventLine(QStringLiteral("[ERROR... NO CALLER ID FEATURE FOUND]"));
        emit status(QStringLiteral("ERROR, NO CALLER ID"));
        emit beep();
        emit notFound(m_openProblems);
        return;
    }
    const int port = Conversions::toInt16(m_settings.port).value_or(0);
    if (m_exchange.OpenModemPort(port, m_settings.speed)) {
        PortMap::remember(port, m_line.deviceName());
        // ModemManager may probe and hold a USB modem beside us, and then the rings go astray.
        for (const PortProblem::Holder& holder : PortProblem::holdersOf(m_line.openedAs()))
            if (holder.name == QLatin1String("ModemManager"))
                emit eventLine(QStringLiteral("[ModemManager (process %1) also has Com%2 "
                                              "(%3) open; see \"Real modems\" in the help]")
                                   .arg(holder.pid)
                                   .arg(shown(port), m_line.deviceName()));
    }
    emit eventLine(QStringLiteral("[CALLER ID Modem Found in Com") + shown(port) +
                   QStringLiteral(" !]"));
    emit eventLine(QStringLiteral("[System Ready, Waiting for a RING...]"));
    emit status(QStringLiteral("Active... Waiting for a Ring"));
}

bool ModemSearch::probePort(int port, const QStringList& bauds, const QStringList& commands)
{
    for (const QString& speed : bauds) {
        emit eventLine(QStringLiteral("[Testing Com") + shown(port) + QStringLiteral(" at ") +
                       speed + QStringLiteral(" ]"));
        m_exchange.OpenModemPort(port, speed);
        // Why a port would not open is said once per port: a search is also a diagnosis.
        if (!m_line.isOpen() && !m_line.openFailure().isEmpty() && speed == bauds.first()) {
            const QString problem = QStringLiteral("Com") + shown(port) + QStringLiteral(" (") +
                                    m_line.deviceName() + QStringLiteral("): ") +
                                    m_line.openFailure();
            emit eventLine(u'[' + problem + u']');
            m_openProblems << problem;
        }
        // A port that is not open can get no reply: no answer, without waiting for one.
        CommandExchange::Reply reply = CommandExchange::Reply::None;
        if (m_line.isOpen()) {
            m_exchange.SendModemCommand(QStringLiteral("ATZ"));
            reply = m_exchange.WaitForResponse();
            if (interrupted())
                return false;
        }
        if (reply != CommandExchange::Reply::Ok) {
            m_settings.port = QStringLiteral("0");
            continue;
        }

        emit eventLine(QStringLiteral("[Found Modem in Com") + shown(port) + QStringLiteral(" !]"));
        m_settings.speed = speed;
        emit beep();
        if (isZero(m_settings.port)) {
            emit eventLine(QStringLiteral("[Retreiving Modem Information]"));
            for (const char* question : {"ATI3", "ATI6"}) {
                m_exchange.SendModemCommand(QString::fromLatin1(question));
                m_exchange.WaitForResponse();
                if (interrupted())
                    return false;
            }
        }
        emit eventLine(QStringLiteral("[Testing for Caller ID capabilities...]"));
        for (const QString& command : commands) {
            m_exchange.SendModemCommand(command);
            reply = m_exchange.WaitForResponse();
            if (interrupted())
                return false;
            if (reply == CommandExchange::Reply::Ok) {
                m_settings.port = QString::number(port);
                m_settings.callerIdCommand = command;
                return true;
            }
            m_settings.port = QStringLiteral("0");
        }
        return false;
    }
    return false;
}
