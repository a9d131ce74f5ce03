#include "modem/CommandExchange.h"

#include "common/TimerTicks.h"
#include "modem/ModemReceiver.h"
#include "modem/SerialLine.h"

CommandExchange::CommandExchange(SerialLine& line, ModemReceiver& receiver, QObject* parent)
    : QObject(parent), m_line(line)
{
    setTicks(std::make_unique<TimerTicks>(TimerTicks::Once));
    connect(&receiver, &ModemReceiver::okReceived, this, [this] { replied(Reply::Ok); });
    connect(&receiver, &ModemReceiver::errorReceived, this, [this] { replied(Reply::Error); });
    connect(&receiver, &ModemReceiver::connectReceived, this,
            [this] { replied(Reply::Connected); });
    connect(&line, &SerialLine::closed, this, [this] {
        m_strayReplies = 0;
        finish(Reply::LineClosed);
    });
    connect(&receiver, &ModemReceiver::eventLine, this, [this](const QString& text) {
        const bool ours = m_current && text.trimmed().compare(m_current->command.trimmed(),
                                                              Qt::CaseInsensitive) == 0;
        // The echo of a command this exchange did not send (a run stopped while the modem was
        // still answering, or one that timed out here): the next reply is that command's.
        if (ours)
            m_strayReplies = 0;
        else if (text.startsWith(QLatin1String("AT"), Qt::CaseInsensitive))
            ++m_strayReplies;
        else if (m_current && m_step == Step::Sent && m_current->answered && !text.startsWith(u'['))
            m_current->lines << text;
    });
}

void CommandExchange::setTicks(std::unique_ptr<TickSource> ticks)
{
    m_timeout = std::move(ticks);
    connect(m_timeout.get(), &TickSource::tick, this, [this] { finish(Reply::TimedOut); });
}

bool CommandExchange::openPort(int port, const QString& speed)
{
    // Each step that fails is passed over, as the modem search expects.
    m_line.setPortNumber(port);
    m_line.setLineSettings(speed + QStringLiteral(",n,8,1"));
    m_line.setHandshaking(2);
    return m_line.open();
}

void CommandExchange::request(const QString& command, const QObject* requester, Completion done,
                              int timeoutMs)
{
    if (m_shuttingDown)
        return;
    m_queue.append({command, requester, std::move(done), timeoutMs, nullptr, {}});
    sendNext();
}

void CommandExchange::ask(const QString& command, const QObject* requester, Answer done,
                          int timeoutMs)
{
    if (m_shuttingDown)
        return;
    m_queue.append({command, requester, nullptr, timeoutMs, std::move(done), {}});
    sendNext();
}

void CommandExchange::setHeld(bool held)
{
    m_held = held;
    if (!held)
        sendNext();
}

void CommandExchange::sendNext()
{
    if (m_current || m_queue.isEmpty() || m_shuttingDown || m_held)
        return;
    m_current = m_queue.takeFirst();
    m_step = Step::Sent;
    if (!m_line.isOpen()) {
        finish(Reply::LineClosed); // nothing can answer a closed port
        return;
    }
    // A modem ends a command line at its carriage return.
    m_line.write(m_current->command.toLatin1() + '\r');
    m_timeout->start(m_current->timeoutMs > 0 ? m_current->timeoutMs : m_timeoutMs);
}

void CommandExchange::replied(Reply reply)
{
    if (m_strayReplies > 0) {
        --m_strayReplies;
        return;
    }
    finish(reply);
}

void CommandExchange::finish(Reply reply)
{
    if (!m_current || m_step != Step::Sent)
        return; // a line nobody asked for, or a second ending of the same command
    m_step = Step::Completing;
    m_timeout->stop();
    // The receiver may still be reading the lines after this one from the port.
    QMetaObject::invokeMethod(
        this,
        [this, reply] {
            if (!m_current)
                return;
            const Completion done = std::move(m_current->done);
            const Answer answered = std::move(m_current->answered);
            const QStringList lines = std::move(m_current->lines);
            m_current.reset();
            if (done && !m_shuttingDown)
                done(reply);
            if (answered && !m_shuttingDown)
                answered(reply, lines);
            sendNext();
        },
        Qt::QueuedConnection);
}

void CommandExchange::cancel(const QObject* requester)
{
    m_queue.removeIf([requester](const Request& queued) { return queued.requester == requester; });
    if (m_current && m_current->requester == requester) {
        m_current->done = nullptr;
        m_current->answered = nullptr;
    }
}

void CommandExchange::shutDown()
{
    m_shuttingDown = true;
    m_queue.clear();
    m_timeout->stop();
    m_current.reset();
}
