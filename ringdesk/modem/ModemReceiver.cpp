#include "ModemReceiver.h"

#include "AlertSound.h"
#include "ModemLine.h"
#include "PhoneNumber.h"
#include "state/MonitorState.h"
#include "state/WindowControl.h"

#include <QIODevice>
#include <limits>

ModemReceiver::ModemReceiver(MonitorState& state, WindowControl& window, QObject* parent)
    : QObject(parent), m_state(state), m_window(window)
{
    Timer2.setInterval(100);
    connect(&Timer2, &QTimer::timeout, this, &ModemReceiver::Timer2Tick);
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
    Timer2.setInterval(ok && interval > 0 ? interval : 100);
}

void ModemReceiver::readDevice()
{
    if (m_device)
        receive(m_device->readAll());
}

void ModemReceiver::receive(const QByteArray& bytes)
{
    for (const LineCutter::Line& line : m_cutter.feed(bytes)) {
        if (line.text.isEmpty()) {
            if (m_state.PollState == 2)
                m_state.PollState = 1;
            continue;
        }
        ProcessEvent(line.text);
        m_state.appendEvent(line.text);
        if (line.dropped > 0)
            m_state.appendEvent(
                QStringLiteral("[Modem line too long: %1 characters dropped]").arg(line.dropped));
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
        m_state.setField(MonitorState::CallIDName, QString());
        m_state.setField(MonitorState::CallIDNumber, QString());
        m_state.setField(MonitorState::CallIDDate, QString());
        m_state.setField(MonitorState::CallIDTime, QString());
        m_state.setField(MonitorState::CallIDDate,
                         ModemLine::dateText(ModemLine::value(strIdentifier)));
        m_state.CallRecordState = 1;
        m_state.PollState = 2;
        m_state.PollTicks = 0;
    } else if (keyword == QLatin1String("TIME")) {
        m_state.setField(MonitorState::CallIDTime,
                         ModemLine::timeText(ModemLine::value(strIdentifier)));
        if (!Timer2.isActive())
            Timer2.start();
    } else if (keyword == QLatin1String("NMBR")) {
        const QString value = ModemLine::value(strIdentifier);
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
        m_state.setField(MonitorState::CallIDName, withheld ? QString() : value);
    } else if (keyword == QLatin1String("MESG")) {
        if (!m_state.field(MonitorState::CallIDNumber).isEmpty())
            return;
        const ModemLine::MesgDigits mesg = ModemLine::decodeMesg(ModemLine::value(strIdentifier));
        if (mesg.hasNumber)
            showNumber(mesg.digits);
    }
}

void ModemReceiver::Timer2Tick()
{
    // The count only matters up to 10; it stops growing rather than overflow while the timer runs
    // between records (a TIME line without a DATE line keeps it going).
    if (m_state.PollTicks < std::numeric_limits<qint16>::max())
        ++m_state.PollTicks;
    if (!(m_state.PollState == 1 || (m_state.PollState == 2 && m_state.PollTicks == 10)))
        return;
    Timer2.stop();
    if (m_state.check(8) == 1 && m_sound)
        m_sound->play(m_soundFile);
    emit recordComplete();
    m_state.PollState = 0;
}
