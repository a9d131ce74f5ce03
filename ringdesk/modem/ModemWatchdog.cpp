#include "modem/ModemWatchdog.h"

#include "common/TimerTicks.h"
#include "modem/ModemReceiver.h"
#include "modem/SerialLine.h"

namespace {

constexpr int firstRetryMs = 5000;
constexpr int longestRetryMs = 60 * 1000;
// A failed open of an absent device costs nothing; a modem plugged back is found within it.
constexpr int lostPortCheckMs = 1000;

} // namespace

ModemWatchdog::ModemWatchdog(SerialLine& line, ModemReceiver& receiver, CommandExchange& exchange,
                             QObject* parent)
    : QObject(parent), m_line(line), m_exchange(exchange)
{
    setTicks(std::make_unique<TimerTicks>(TimerTicks::Once));
    // Whatever the modem says shows it is alive: the quiet time starts again, and a modem that
    // was not answering is set up again now instead of at the end of its wait.
    connect(&receiver, &ModemReceiver::eventLine, this, [this] {
        if (m_state == State::Watching)
            m_timer->start(m_interval);
        if (m_state == State::Recovering && m_line.isOpen()) {
            m_timer->stop();
            m_state = State::Retrying;
            ask();
        }
    });
}

void ModemWatchdog::setTicks(std::unique_ptr<TickSource> ticks)
{
    m_timer = std::move(ticks);
    connect(m_timer.get(), &TickSource::tick, this, &ModemWatchdog::tick);
}

void ModemWatchdog::start(int intervalMs, int port, const QString& speed, const QString& setUp)
{
    m_interval = intervalMs;
    m_port = port;
    m_speed = speed;
    m_setUp = setUp.isEmpty() ? QStringLiteral("AT") : setUp;
    m_state = intervalMs > 0 ? State::Watching : State::Off;
    if (m_state == State::Watching)
        m_timer->start(m_interval);
}

void ModemWatchdog::recoverLostPort()
{
    if (m_port == 0)
        return; // never set up by a search: nothing to reopen
    m_exchange.cancel(this);
    m_state = State::Lost;
    m_retryDelay = 0;
    m_timer->start(lostPortCheckMs);
}

void ModemWatchdog::stop()
{
    m_exchange.cancel(this);
    m_state = State::Off;
    m_timer->stop();
}

void ModemWatchdog::tick()
{
    m_timer->stop();
    switch (m_state) {
    case State::Watching:
        if (!m_line.isOpen()) {
            m_state = State::Off; // closed by the user or lost: not ours to reopen
            return;
        }
        if (busy && busy()) {
            m_timer->start(m_interval);
            return;
        }
        m_state = State::Checking;
        ask();
        return;
    case State::Recovering:
        m_line.close();
        m_exchange.openPort(m_port, m_speed);
        if (!m_line.isOpen()) {
            retryLater();
            return;
        }
        m_state = State::Retrying;
        ask();
        return;
    case State::Lost:
        if (!m_exchange.openPort(m_port, m_speed)) {
            m_timer->start(lostPortCheckMs);
            return;
        }
        m_state = State::Retrying;
        ask();
        return;
    default:
        return;
    }
}

void ModemWatchdog::ask()
{
    m_exchange.request(m_setUp, this, [this](CommandExchange::Reply reply) { replied(reply); });
}

void ModemWatchdog::replied(CommandExchange::Reply reply)
{
    using Reply = CommandExchange::Reply;
    if (m_state == State::Checking) {
        // An error is an answer too; a line that closed under the check is as good as lost.
        if (reply == Reply::Ok || reply == Reply::Error) {
            watchAgain();
            return;
        }
        emit eventLine(
            QStringLiteral("[Modem not answering on %1; trying again]").arg(m_line.deviceName()));
        emit notAnswering();
        m_retryDelay = 0;
        retryLater();
    } else if (m_state == State::Retrying) {
        if (reply != Reply::Ok) {
            retryLater();
            return;
        }
        emit eventLine(QStringLiteral("[Modem on %1 answers again; caller ID is on]")
                           .arg(m_line.deviceName()));
        m_retryDelay = 0;
        watchAgain();
        emit answeringAgain();
    }
}

void ModemWatchdog::watchAgain()
{
    m_state = m_interval > 0 ? State::Watching : State::Off;
    if (m_state == State::Watching)
        m_timer->start(m_interval);
}

void ModemWatchdog::retryLater()
{
    m_state = State::Recovering;
    m_retryDelay = m_retryDelay == 0 ? firstRetryMs : qMin(2 * m_retryDelay, longestRetryMs);
    m_timer->start(m_retryDelay);
}
