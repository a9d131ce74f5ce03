#include "modem/ModemSearch.h"

#include <QFile>

#include "common/SettingsTable.h"
#include "devices/PortMap.h"
#include "modem/PortProblem.h"
#include "modem/SerialLine.h"

namespace {

// A port number in a message stands where a sign would: " 2" for port 2.
QString shown(int port)
{
    return (port < 0 ? QString() : QStringLiteral(" ")) + QString::number(port);
}

const char* const questions[] = {"ATI3", "ATI6"};

} // namespace

ModemSearch::ModemSearch(SerialLine& line, CommandExchange& exchange, ModemSettings& settings,
                         QObject* parent)
    : QObject(parent), m_line(line), m_exchange(exchange), m_settings(settings)
{
}

void ModemSearch::ask(const QString& command)
{
    m_exchange.request(command, this, [this](CommandExchange::Reply reply) {
        if (m_running)
            replied(reply);
    });
}

void ModemSearch::start()
{
    if (m_running) {
        emit eventLine(QStringLiteral("[A modem search is already running]"));
        return;
    }
    if (m_exchange.shuttingDown())
        return;
    m_running = true;

    if (m_line.isOpen())
        m_line.close();
    m_openProblems.clear();
    m_anyDevice = false;
    m_exchange.setReplyTimeout(Settings::replyTimeoutMs(m_settings.replyTimeout));
    emit eventLine(QStringLiteral("[Initializing Ringwatch...]"));
    emit status(QStringLiteral("Initializing..."));

    m_ports.clear();
    if (m_settings.port == 0) {
        emit eventLine(QStringLiteral("[Searching for Modems...]"));
        emit status(QStringLiteral("Searching for Modems..."));
        for (int port = 1; port <= m_settings.portsToSearch; ++port)
            m_ports << port;
        m_speeds = {QStringLiteral("56000"), QStringLiteral("28800"), QStringLiteral("9600")};
        m_commands = Settings::callerIdCommands();
    } else {
        m_ports << m_settings.port;
        m_speeds = {m_settings.speed};
        m_commands = {m_settings.callerIdCommand};
    }
    m_portIndex = -1;
    nextPort();
}

void ModemSearch::stop()
{
    if (!m_running)
        return;
    m_exchange.cancel(this);
    m_line.close();
    end();
}

void ModemSearch::end()
{
    m_running = false;
    emit finished();
}

void ModemSearch::nextPort()
{
    m_line.close();
    while (++m_portIndex < m_ports.size()) {
        if (!PortMap::isExcluded(Settings::portExclusionKey(m_ports[m_portIndex]))) {
            m_speedIndex = -1;
            nextSpeed();
            return;
        }
    }
    conclude();
}

void ModemSearch::nextSpeed()
{
    const int port = m_ports[m_portIndex];
    while (++m_speedIndex < m_speeds.size()) {
        const QString& speed = m_speeds[m_speedIndex];
        emit eventLine(QStringLiteral("[Testing Com") + shown(port) + QStringLiteral(" at ") +
                       speed + QStringLiteral(" ]"));
        m_exchange.openPort(port, speed);
        m_anyDevice = m_anyDevice || m_line.isOpen() || QFile::exists(m_line.deviceName());
        // Why a port would not open is said once per port: a search is also a diagnosis.
        if (!m_line.isOpen() && !m_line.openFailure().isEmpty() && m_speedIndex == 0) {
            const QString problem = QStringLiteral("Com") + shown(port) + QStringLiteral(" (") +
                                    m_line.deviceName() + QStringLiteral("): ") +
                                    m_line.openFailure();
            emit eventLine(u'[' + problem + u']');
            m_openProblems << problem;
        }
        // A port that is not open can get no reply: no answer, without waiting for one.
        if (m_line.isOpen()) {
            m_step = Step::Reset;
            ask(QStringLiteral("ATZ"));
            return;
        }
        m_settings.port = 0;
    }
    nextPort();
}

void ModemSearch::replied(CommandExchange::Reply reply)
{
    const bool ok = reply == CommandExchange::Reply::Ok;
    switch (m_step) {
    case Step::Reset:
        if (ok) {
            modemAnswered();
        } else {
            m_settings.port = 0;
            nextSpeed();
        }
        return;
    case Step::Questions:
        ++m_questionIndex;
        askNextQuestion();
        return;
    case Step::CallerId:
        if (ok) {
            m_settings.port = m_ports[m_portIndex];
            m_settings.callerIdCommand = m_commands[m_commandIndex];
            m_line.close();
            conclude();
            return;
        }
        m_settings.port = 0;
        ++m_commandIndex;
        askCallerIdCommand();
        return;
    }
}

void ModemSearch::modemAnswered()
{
    const int port = m_ports[m_portIndex];
    emit eventLine(QStringLiteral("[Found Modem in Com") + shown(port) + QStringLiteral(" !]"));
    m_settings.speed = m_speeds[m_speedIndex];
    emit beep();
    if (m_settings.port == 0) {
        emit eventLine(QStringLiteral("[Retreiving Modem Information]"));
        m_step = Step::Questions;
        m_questionIndex = 0;
        askNextQuestion();
        return;
    }
    testCallerId();
}

void ModemSearch::askNextQuestion()
{
    if (m_questionIndex < qsizetype(std::size(questions))) {
        ask(QString::fromLatin1(questions[m_questionIndex]));
        return;
    }
    testCallerId();
}

void ModemSearch::testCallerId()
{
    emit eventLine(QStringLiteral("[Testing for Caller ID capabilities...]"));
    m_commandIndex = 0;
    askCallerIdCommand();
}

void ModemSearch::askCallerIdCommand()
{
    if (m_commandIndex >= m_commands.size()) {
        nextPort(); // a modem without caller ID: the other speeds would say no more
        return;
    }
    m_step = Step::CallerId;
    ask(m_commands[m_commandIndex]);
}

void ModemSearch::conclude()
{
    if (m_settings.port == 0) {
        emit eventLine(QStringLiteral("[ERROR... NO CALLER ID FEATURE FOUND]"));
        emit status(QStringLiteral("ERROR, NO CALLER ID"));
        emit beep();
        m_running = false;
        emit notFound(m_openProblems, m_anyDevice);
        emit finished();
        return;
    }
    const int port = m_settings.port;
    if (m_exchange.openPort(port, m_settings.speed)) {
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
    end();
}
