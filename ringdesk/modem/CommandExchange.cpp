#include "modem/CommandExchange.h"

#include "common/Conversions.h"
#include "modem/ModemReceiver.h"
#include "modem/SerialLine.h"
#include "modem/TimerTicks.h"

#include <QEventLoop>

CommandExchange::CommandExchange(SerialLine& line, ModemReceiver& receiver, QObject* parent)
    : QObject(parent), m_line(line)
{
    setTicks(std::make_unique<TimerTicks>(TimerTicks::Once));
    connect(&receiver, &ModemReceiver::okReceived, this, [this] { noteReply(Reply::Ok); });
    connect(&receiver, &ModemReceiver::errorReceived, this, [this] { noteReply(Reply::Error); });
    connect(&line, &SerialLine::closed, this, &CommandExchange::waitMayEnd);
}

void CommandExchange::setTicks(std::unique_ptr<TickSource> ticks)
{
    m_timeout = std::move(ticks);
    connect(m_timeout.get(), &TickSource::tick, this, &CommandExchange::timedOut);
}

int CommandExchange::timeoutFor(const QString& text)
{
    const std::optional<double> value = Conversions::toNumber(text);
    if (!value || *value < 1)
        return 3000;
    return *value > 65535 ? 65535 : int(*value);
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

void CommandExchange::noteReply(Reply reply)
{
    m_reply = reply;
    emit waitMayEnd();
}

void CommandExchange::timedOut()
{
    m_awaiting = false;
    m_timeout->stop();
    emit waitMayEnd();
}

void CommandExchange::shutDown()
{
    m_shuttingDown = true;
    emit waitMayEnd();
}

CommandExchange::Reply CommandExchange::WaitForResponse()
{
    m_reply = Reply::None;
    if (m_waiting || m_shuttingDown)
        return m_reply;
    m_waiting = true;
    m_awaiting = true;

    QEventLoop loop;
    auto done = [this] {
        return m_reply != Reply::None || !m_awaiting || !m_line.isOpen() || m_shuttingDown;
    };
    connect(this, &CommandExchange::waitMayEnd, &loop, [&loop, &done] {
        if (done())
            loop.quit();
    });
    m_timeout->start(timeoutFor(m_timeoutText));
    if (!done())
        loop.exec();
    m_timeout->stop();
    m_waiting = false;
    return m_reply;
}
