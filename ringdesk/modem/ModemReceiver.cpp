#include "modem/ModemReceiver.h"

#include "modem/AlertSound.h"
#include "modem/ModemLine.h"
#include "modem/TimerTicks.h"
#include "numbers/PhoneNumber.h"
#include "state/MonitorState.h"
#include "state/WindowControl.h"

#include <QIODevice>
#include <limits>
#include <utility>

ModemReceiver::ModemReceiver(MonitorState& state, WindowControl& window, QObject* parent)
    : QObject(parent), m_state(state), m_window(window)
{
    setTicks(std::make_unique<TimerTicks>(TimerTicks::Repeating));
}

void ModemReceiver::setTicks(std::unique_ptr<TickSource> ticks)
{
    const bool running = Timer2 && Timer2->isActive();
    Timer2 = std::move(ticks);
    connect(Timer2.get(), &TickSource::tick, this, &ModemReceiver::Timer2Tick);
    if (running)
        Timer2->start(m_interval);
}

void ModemReceiver::attach(QIODevice* device)
{
    if (m_device)
        disconnect(m_device, nullptr, this, nullptr);
    m_device = device;
    if (device)
        connect(device, &QIODevice::readyRead, this, &ModemReceiver::readDevice);
}

void ModemReceiver::setAlertSound(AlertSound* sound, const QString& soundFile)
{
    m_sound = sound;
    m_soundFile = soundFile;
}

void ModemReceiver::setPollInterval(const QString& milliseconds)
{
    bool ok = false;
    const int interval = milliseconds.trimmed().toInt(&ok);
    m_interval = ok && interval > 0 ? interval : 100;
}

void ModemReceiver::readDevice()
{
    if (m_device)
        receive(m_device->readAll());
}

void ModemReceiver::receive(const QByteArray& bytes)
{
    m_pending += m_cutter.feed(bytes);
    handlePending();
}

void ModemReceiver::handlePending()
{
    if (m_handling)
        return; // the call below us works through them, in order
    m_handling = true;
    while (!m_pending.isEmpty())
        handleLine(m_pending.takeFirst());
    m_handling = false;
}

void ModemReceiver::handleLine(const LineCutter::Line& line)
{
    if (line.text.isEmpty()) {
        if (m_state.PollState == 2) {
            m_state.PollState = 1;
            if (m_atOnce)
                Timer2Tick();
        }
        return;
    }
    ProcessEvent(line.text);
    m_state.appendEvent(line.text);
    if (line.dropped > 0)
        m_state.appendEvent(
            QStringLiteral("[Modem line too long: %1 characters dropped]").arg(line.dropped));
    if (m_atOnce && m_state.PollState == 2 && m_arrived == AllArrived) {
        m_state.PollState = 1;
        Timer2Tick();
    }
}

void ModemReceiver::showNumber(const QString& digits)
{
    m_state.setField(MonitorState::CallIDNumber,
                     PhoneNumber::FormatPhoneNumber(digits, m_state.AreaCode));
}

void ModemReceiver::ProcessEvent(const QString& strIdentifier)
{
    // Some modems send the number as "DDN_NMBR = ...": read as an NMBR line.
    const QString keyword = strIdentifier.startsWith(QLatin1String("DDN_NMBR"))
                                ? QStringLiteral("NMBR")
                                : strIdentifier.left(4);
    if (keyword == QLatin1String("OK")) {
        m_state.setOkReceived(1);
    } else if (keyword == QLatin1String("ERRO")) {
        m_state.setErrorReceived(1);
    } else if (keyword == QLatin1String("RING")) {
        if (m_state.check(4) == 1)
            m_window.MaximizeCallIDForm();
    } else if (keyword == QLatin1String("DATE")) {
        // A complete record still waiting for its tick goes first: this line would empty it.
        if (m_state.PollState == 1)
            Timer2Tick();
        m_state.setField(MonitorState::CallIDName, QString());
        m_state.setField(MonitorState::CallIDNumber, QString());
        m_state.setField(MonitorState::CallIDDate, QString());
        m_state.setField(MonitorState::CallIDTime, QString());
        m_state.setField(MonitorState::CallIDDate,
                         ModemLine::dateText(ModemLine::value(strIdentifier)));
        m_state.CallRecordState = 1;
        m_state.PollState = 2;
        m_state.PollTicks = 0;
        m_arrived = 0;
        if (m_timeSeen && !Timer2->isActive())
            Timer2->start(m_interval);
    } else if (keyword == QLatin1String("TIME")) {
        m_state.setField(MonitorState::CallIDTime,
                         ModemLine::timeText(ModemLine::value(strIdentifier)));
        m_arrived |= TimeArrived;
        m_timeSeen = true;
        if (!Timer2->isActive())
            Timer2->start(m_interval);
    } else if (keyword == QLatin1String("NMBR")) {
        const QString value = ModemLine::value(strIdentifier);
        m_arrived |= NumberArrived;
        if (value == QLatin1String("P")) {
            m_state.CallRecordState = 2;
            m_state.setField(MonitorState::CallIDNumber, QStringLiteral("Private"));
        } else if (value == QLatin1String("O")) {
            m_state.CallRecordState = 2;
            m_state.setField(MonitorState::CallIDNumber, QStringLiteral("Out of Area"));
        } else {
            showNumber(value);
        }
    } else if (keyword == QLatin1String("NAME")) {
        const QString value = ModemLine::value(strIdentifier);
        const bool withheld = value == QLatin1String("P") || value == QLatin1String("O");
        m_arrived |= NameArrived;
        m_state.setField(MonitorState::CallIDName, withheld ? QString() : value);
    } else if (keyword == QLatin1String("MESG")) {
        if (!m_state.field(MonitorState::CallIDNumber).isEmpty())
            return;
        const ModemLine::MesgDigits mesg = ModemLine::decodeMesg(ModemLine::value(strIdentifier));
        if (mesg.hasNumber) {
            m_arrived |= NumberArrived;
            showNumber(mesg.digits);
        }
    }
}

void ModemReceiver::Timer2Tick()
{
    // The count only matters up to 10; it stops growing rather than overflow.
    if (m_state.PollTicks < std::numeric_limits<qint16>::max())
        ++m_state.PollTicks;
    if (!(m_state.PollState == 1 || (m_state.PollState == 2 && m_state.PollTicks == 10))) {
        // With no record under way there is nothing to wait for; a DATE line after a TIME line
        // starts the ticks again, so such a record still goes on its 10th tick.
        if (m_state.PollState == 0)
            Timer2->stop();
        return;
    }
    Timer2->stop();
    m_timeSeen = false;
    if (m_state.check(8) == 1 && m_sound)
        m_sound->play(m_soundFile);
    // Lines that arrive while the call is processed wait until its record is closed.
    const bool handling = std::exchange(m_handling, true);
    emit recordComplete();
    m_state.PollState = 0;
    m_handling = handling;
    handlePending();
}
