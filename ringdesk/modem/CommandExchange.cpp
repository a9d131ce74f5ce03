#include "modem/CommandExchange.h"

#include "common/Conversions.h"
#include "modem/Comm1.h"
#include "modem/TimerTicks.h"
#include "state/MonitorState.h"

#include <QEventLoop>

CommandExchange::CommandExchange(MonitorState& state, Comm1& port, QObject* parent)
    : QObject(parent), m_state(state), m_port(port)
{
    setTicks(std::make_unique<TimerTicks>(TimerTicks::Once));
}

void CommandExchange::setTicks(std::unique_ptr<TickSource> ticks)
{
    Timer1 = std::move(ticks);
    connect(Timer1.get(), &TickSource::tick, this, &CommandExchange::Timer1Tick);
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
    m_port.setCommPort(port);
    m_port.setSettings(speed + QStringLiteral(",n,8,1"));
    m_port.setInputLen(1);
    m_port.setRThreshold(1);
    m_port.setHandshaking(2);
    return m_port.open();
}

void CommandExchange::SendModemCommand(const QString& command)
{
    m_port.Output(command.toLatin1() + "\r\n");
}

void CommandExchange::Timer1Tick()
{
    m_state.AwaitingReply = 0;
    Timer1->stop();
}

void CommandExchange::WaitForResponse()
{
    if (m_waiting || m_state.ShuttingDown) {
        m_state.setOkReceived(0);
        return;
    }
    m_waiting = true;
    m_state.AwaitingReply = 1;
    m_state.setErrorReceived(0);
    m_state.setOkReceived(0);

    QEventLoop loop;
    auto done = [this] {
        return m_state.okReceived() != 0 || m_state.errorReceived() != 0 ||
               m_state.AwaitingReply != 1 || !m_port.PortOpen() || m_state.ShuttingDown;
    };
    auto check = [&loop, &done] {
        if (done())
            loop.quit();
    };
    connect(&m_state, &MonitorState::replyFlagsChanged, &loop, check);
    connect(Timer1.get(), &TickSource::tick, &loop, check);
    connect(&m_port, &Comm1::closed, &loop, check);
    connect(&m_state, &MonitorState::shuttingDown, &loop, check);
    Timer1->start(timeoutFor(m_state.ModemResponseTimeout));
    if (!done())
        loop.exec();
    Timer1->stop();
    m_waiting = false;
}
