#include "modem/LineHook.h"

#include "modem/SerialLine.h"

namespace {

// A modem answers a hook command at once; one that has not in this time never will.
constexpr int replyTimeout = 3000;

} // namespace

LineHook::LineHook(SerialLine& line, CommandExchange& exchange, QObject* parent)
    : QObject(parent), m_line(line), m_exchange(exchange)
{
    m_holdTimer.setSingleShot(true);
    connect(&m_holdTimer, &QTimer::timeout, this,
            [this] { send("ATH0", Step::OnHook, replyTimeout); });
}

void LineHook::hangUp(int holdMs)
{
    // A caller whose record comes while the line goes back on-hook is the next call: its turn
    // comes once the modem has answered. During the hold it is the same call still.
    if (m_step == Step::OnHook) {
        m_next = holdMs;
        return;
    }
    if (busy())
        return;
    if (!m_line.isOpen()) {
        emit eventLine(QStringLiteral("[Couldn't hang up: the modem line is closed]"));
        return;
    }
    m_hold = holdMs;
    send("ATH1", Step::OffHook, replyTimeout);
}

void LineHook::send(const char* command, Step next, int timeoutMs)
{
    m_step = next;
    m_exchange.request(
        QString::fromLatin1(command), this,
        [this](CommandExchange::Reply reply) { replied(reply); }, timeoutMs);
}

void LineHook::replied(CommandExchange::Reply reply)
{
    using Reply = CommandExchange::Reply;
    if (reply == Reply::LineClosed) {
        emit eventLine(QStringLiteral("[Couldn't hang up: the modem line is closed]"));
        finish();
        return;
    }
    switch (m_step) {
    case Step::OffHook:
        if (reply == Reply::Ok) {
            m_step = Step::Holding;
            m_holdTimer.start(m_hold);
        } else if (reply == Reply::Error) {
            // Answering, a modem says nothing until it connects or gives up, so the hold is the
            // answer's time-out; the on-hook command then breaks the answer off.
            m_answering.start();
            send("ATA", Step::Answer, qMax(1, m_hold));
        } else {
            emit eventLine(QStringLiteral("[Couldn't hang up: the modem did not answer ATH1]"));
            finish();
        }
        break;
    case Step::Answer:
        if (reply == Reply::Error) {
            emit eventLine(
                QStringLiteral("[Couldn't hang up: the modem answered ERROR to ATH1 and ATA]"));
            finish();
        } else if (reply == Reply::Ok || reply == Reply::Connected) {
            // Off-hook at once: the rest of the hold as after ATH1.
            m_step = Step::Holding;
            m_holdTimer.start(qMax(0, m_hold - int(m_answering.elapsed())));
        } else {
            send("ATH0", Step::OnHook, replyTimeout);
        }
        break;
    case Step::OnHook:
        if (reply == Reply::TimedOut)
            emit eventLine(QStringLiteral("[The modem did not answer ATH0]"));
        finish();
        break;
    case Step::Holding:
    case Step::Idle:
        break;
    }
}

void LineHook::finish()
{
    m_holdTimer.stop();
    m_step = Step::Idle;
    emit done();
    if (const std::optional<int> next = std::exchange(m_next, std::nullopt))
        hangUp(*next);
}
