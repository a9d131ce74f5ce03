#include "modem/ModemReceiver.h"
#include "common/Clock.h"

#include "common/CleanText.h"
#include "common/TimerTicks.h"
#include "modem/CallerIdLine.h"
#include "numbers/PhoneNumber.h"

#include <QDateTime>

#include <QIODevice>
#include <limits>
#include <utility>

ModemReceiver::ModemReceiver(QObject* parent) : QObject(parent)
{
    setTicks(std::make_unique<TimerTicks>(TimerTicks::Repeating));
}

void ModemReceiver::setTicks(std::unique_ptr<TickSource> ticks)
{
    const bool running = m_ticks && m_ticks->isActive();
    m_ticks = std::move(ticks);
    connect(m_ticks.get(), &TickSource::tick, this, &ModemReceiver::pollTick);
    if (running)
        m_ticks->start(m_interval);
}

void ModemReceiver::attach(QIODevice* device)
{
    if (m_device)
        disconnect(m_device, nullptr, this, nullptr);
    m_device = device;
    if (device)
        connect(device, &QIODevice::readyRead, this, &ModemReceiver::readDevice);
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

void ModemReceiver::setStream(std::function<void(const QByteArray& bytes)> stream)
{
    m_stream = std::move(stream);
}

void ModemReceiver::receive(const QByteArray& bytes)
{
    if (m_stream) {
        m_stream(bytes);
        return;
    }
    // A voice modem reports events as <DLE> and a letter outside a stream too (the U.S. Robotics'
    // H after AT+VLS=1): they are no text of a line. No caller-ID record holds a 0x10.
    QByteArray text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        if (std::exchange(m_afterDle, false))
            continue;
        if (c == 0x10)
            m_afterDle = true;
        else
            text += c;
    }
    m_pending += m_cutter.feed(text);
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
        if (m_poll == Poll::Arriving) {
            m_poll = Poll::Complete;
            if (m_atOnce)
                pollTick();
        }
        return;
    }
    processEvent(line.text);
    emit eventLine(line.text);
    if (line.dropped > 0)
        emit eventLine(
            QStringLiteral("[Modem line too long: %1 characters dropped]").arg(line.dropped));
    if (m_atOnce &&
        (m_poll == Poll::Complete || (m_poll == Poll::Arriving && m_arrived == AllArrived))) {
        m_poll = Poll::Complete;
        pollTick();
    }
}

void ModemReceiver::showNumber(const QString& value)
{
    // Networks and modems put words where the number would be when they have none to give.
    static const QStringList privateWords{QStringLiteral("P"),          QStringLiteral("PRIVATE"),
                                          QStringLiteral("ANONYMOUS"),  QStringLiteral("WITHHELD"),
                                          QStringLiteral("RESTRICTED"), QStringLiteral("BLOCKED")};
    static const QStringList absentWords{QStringLiteral("O"), QStringLiteral("OUT OF AREA"),
                                         QStringLiteral("OUT-OF-AREA"),
                                         QStringLiteral("UNAVAILABLE"), QStringLiteral("UNKNOWN")};
    const QString word = value.trimmed().toUpper();
    m_record.e164.clear();
    if (privateWords.contains(word)) {
        m_record.withheld = true;
        m_record.number = QStringLiteral("Private");
    } else if (absentWords.contains(word)) {
        m_record.withheld = true;
        m_record.number = QStringLiteral("Out of Area");
    } else if (PhoneNumber::writtenAsNumber(value) && !PhoneNumber::digits(value).isEmpty()) {
        const QString digits = PhoneNumber::digits(value);
        m_record.number = m_plan.display(digits);
        m_record.e164 = m_plan.e164(value.trimmed().startsWith(u'+') ? u'+' + digits : digits);
    } else {
        // A word or a mix of letters and digits ("PAYPHONE", "INT'NATIONAL"): shown as it came,
        // and not a number to look up or make a contact for.
        m_record.number = value;
        m_record.withheld = !value.isEmpty();
    }
}

void ModemReceiver::beginRecord()
{
    // A complete record still waiting for its tick goes first: this line would empty it.
    if (m_poll == Poll::Complete)
        pollTick();
    m_record = CallerId();
    m_record.begun = true;
    m_poll = Poll::Arriving;
    m_pollTicks = 0;
    m_arrived = 0;
    // Handed over at its empty line, at the next ring, or on the 10th tick from here.
    if (!m_ticks->isActive())
        m_ticks->start(m_interval);
}

void ModemReceiver::beginUnlessUnderWay()
{
    // Lines that send the number alone have no DATE to begin with: the first field does.
    if (m_poll != Poll::Idle)
        return;
    beginRecord();
}

void ModemReceiver::timeArrived()
{
    m_arrived |= TimeArrived;
    if (!m_ticks->isActive())
        m_ticks->start(m_interval);
}

void ModemReceiver::applyParameter(const CallerIdLine::Parameter& parameter)
{
    using Parameter = CallerIdLine::Parameter;
    const QString text = CleanText::field(QString::fromLatin1(parameter.data));
    switch (parameter.type) {
    case Parameter::DateTime:
        if (m_record.date.isEmpty())
            m_record.date = CallerIdLine::dateText(text.left(4));
        if (m_record.time.isEmpty())
            m_record.time = CallerIdLine::timeText(text.mid(4, 4));
        timeArrived();
        break;
    case Parameter::Number:
    case Parameter::DialableNumber:
        if (m_record.number.isEmpty())
            showNumber(text);
        m_arrived |= NumberArrived;
        break;
    case Parameter::NumberAbsent:
        if (m_record.number.isEmpty())
            showNumber(text == QLatin1String("O") ? text : QStringLiteral("P"));
        m_arrived |= NumberArrived;
        break;
    case Parameter::Name:
        if (m_record.name.isEmpty() && text != QLatin1String("P") && text != QLatin1String("O"))
            m_record.name = text;
        m_arrived |= NameArrived;
        break;
    case Parameter::NameAbsent:
        m_arrived |= NameArrived;
        break;
    default:
        break; // the call's type, message waiting and the like say nothing of the caller
    }
}

void ModemReceiver::processEvent(const QString& line)
{
    const CallerId before = m_record;
    if (const auto parameters = CallerIdLine::packet(line)) {
        beginRecord();
        for (const CallerIdLine::Parameter& parameter : *parameters)
            applyParameter(parameter);
        // One line holds the whole message: nothing more of it is coming, and a packet right
        // behind it in the same read must not replace it.
        m_arrived = AllArrived;
        timeArrived();
        m_poll = Poll::Complete;
    } else {
        for (const QString& field : CallerIdLine::fields(line))
            processField(field);
    }
    if (m_record != before)
        emit recordChanged(m_record);
}

void ModemReceiver::processField(const QString& line)
{
    // Some modems send the number as "DDN_NMBR = ...": read as an NMBR line.
    const QString keyword =
        line.startsWith(QLatin1String("DDN_NMBR")) ? QStringLiteral("NMBR") : line.left(4);
    // A date or time the modem leaves empty is the computer's.
    const QDateTime now = Clock::now();
    if (keyword == QLatin1String("OK")) {
        emit okReceived();
    } else if (keyword == QLatin1String("CONN")) {
        emit connectReceived();
    } else if (keyword == QLatin1String("ERRO")) {
        emit errorReceived();
    } else if (keyword == QLatin1String("RING")) {
        // A ring ends the block before it, which may have had no empty line to end it.
        if (m_poll == Poll::Arriving) {
            m_poll = Poll::Complete;
            if (m_atOnce)
                pollTick();
        }
        emit ring();
    } else if (keyword == QLatin1String("DATE")) {
        beginRecord();
        const QString value = CallerIdLine::value(line);
        m_record.date = CallerIdLine::dateText(value);
        if (m_record.date.isEmpty())
            m_record.date = now.toString(QStringLiteral("MM/dd"));
        const QString time = CallerIdLine::timeInDate(value);
        if (!time.isEmpty()) {
            m_record.time = time;
            timeArrived();
        }
    } else if (keyword == QLatin1String("TIME")) {
        beginUnlessUnderWay();
        m_record.time = CallerIdLine::timeText(CallerIdLine::value(line));
        if (m_record.time.isEmpty())
            m_record.time = now.toString(QStringLiteral("HH:mm"));
        timeArrived();
    } else if (keyword == QLatin1String("NMBR")) {
        beginUnlessUnderWay();
        m_arrived |= NumberArrived;
        showNumber(CallerIdLine::value(line));
    } else if (keyword == QLatin1String("NAME")) {
        beginUnlessUnderWay();
        const QString value = CallerIdLine::value(line);
        const bool withheld = value == QLatin1String("P") || value == QLatin1String("O");
        m_arrived |= NameArrived;
        m_record.name = withheld ? QString() : value;
    } else if (keyword == QLatin1String("MESG")) {
        const QString value = CallerIdLine::value(line);
        const CallerIdLine::Parameter parameter = CallerIdLine::mesgParameter(value);
        if (parameter.type == CallerIdLine::Parameter::Number ||
            parameter.type == CallerIdLine::Parameter::DialableNumber) {
            // A number once shown stays; the digits are read as the modem manuals give them.
            if (!m_record.number.isEmpty())
                return;
            const CallerIdLine::MesgDigits mesg = CallerIdLine::decodeMesg(value);
            if (mesg.hasNumber) {
                beginUnlessUnderWay();
                m_arrived |= NumberArrived;
                showNumber(mesg.digits);
            }
        } else {
            applyParameter(parameter);
        }
    }
}

void ModemReceiver::pollTick()
{
    // The count only matters up to 10; it stops growing rather than overflow.
    if (m_pollTicks < std::numeric_limits<qint16>::max())
        ++m_pollTicks;
    if (!(m_poll == Poll::Complete || (m_poll == Poll::Arriving && m_pollTicks == 10))) {
        // With no record under way there is nothing to wait for; a DATE line after a TIME line
        // starts the ticks again, so such a record still goes on its 10th tick.
        if (m_poll == Poll::Idle)
            m_ticks->stop();
        return;
    }
    m_ticks->stop();
    // Lines that arrive while the call is processed wait until its record is closed.
    const bool handling = std::exchange(m_handling, true);
    CallerId record = m_record;
    if (record.date.isEmpty() && record.time.isEmpty()) {
        // A block without DATE and TIME is a call now.
        const QDateTime now = Clock::now();
        record.date = now.toString(QStringLiteral("MM/dd"));
        record.time = now.toString(QStringLiteral("HH:mm"));
    }
    m_record.begun = false;
    m_record.withheld = false;
    emit recordComplete(record);
    m_poll = Poll::Idle;
    m_handling = handling;
    handlePending();
}
