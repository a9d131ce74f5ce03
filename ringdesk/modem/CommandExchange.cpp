#include "modem/CommandExchange.h"

#include "modem/ModemReceiver.h"
#include "modem/SerialLine.h"
#include "modem/TimerTicks.h"

CommandExchange::CommandExchange(SerialLine& line, ModemReceiver& receiver, QObject* parent)
    : QObject(parent), m_line(line)
{
    setTicks(std::make_unique<TimerTicks>(TimerTicks::Once));
    connect(&receiver, &ModemReceiver::okReceived, this, [this] { finish(Reply::Ok); });
    connect(&receiver, &ModemReceiver::errorReceived, this, [this] { finish(Reply::Error); });
    connect(&line, &SerialLine::closed, this, [this] { finish(Reply::None); });
}

void CommandExchange::setTicks(std::unique_ptr<TickSource> ticks)
{
    m_timeout = std::move(ticks);
    connect(m_timeout.get(), &TickSource::tick, this, [this] { finish(Reply::None); });
}

bool CommandExchange::OpenModemPort(int port, const QString& speed)
{
    // Each step that fails is passed over, as the modem search expects.
    m_line.setPortNumber(port);
    m_line.setLineSettings(speed + QStringLiteral(",n,8,1"));
    m_line.setHandshaking(2);
    return m_line.open();
}

void CommandExchange::SendModemCommand(const QString& command)
{
    m_line.write(command.toLatin1() + "\r\n");
}

bool CommandExchange::ask(const QString& command)
{
    if (m_asking || m_shuttingDown)
        return false;
    m_asking = true;
    ++m_exchange;
    if (!m_line.isOpen()) {
        finish(Reply::None); // nothing can answer a closed port
        return true;
    }
    SendModemCommand(command);
    m_timeout->start(m_timeoutMs);
    return true;
}

void CommandExchange::finish(Reply reply)
{
    if (!m_asking)
        return; // a line nobody asked for, or a second ending of the same exchange
    m_asking = false;
    m_timeout->stop();
    // The receiver may still be reading the lines after this one from the port.
    QMetaObject::invokeMethod(
        this,
        [this, reply, exchange = m_exchange] {
            if (exchange == m_exchange && !m_shuttingDown)
                emit replied(reply);
        },
        Qt::QueuedConnection);
}

void CommandExchange::cancel()
{
    m_asking = false;
    ++m_exchange;
    m_timeout->stop();
}

void CommandExchange::shutDown()
{
    m_shuttingDown = true;
    cancel();
}
