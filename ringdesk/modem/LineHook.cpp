#include "modem/LineHook.h"

#include "modem/ModemReceiver.h"
#include "modem/SerialLine.h"

namespace {

// A modem answers a hook command at once; one that has not in this time never will.
constexpr int replyTimeout = 3000;

} // namespace

LineHook::LineHook(SerialLine& line, ModemReceiver& receiver, QObject* parent)
    : QObject(parent), m_line(line)
{
    m_timer.setSingleShot(true);
    connect(&receiver, &ModemReceiver::okReceived, this, [this] { replied(true); });
    connect(&receiver, &ModemReceiver::errorReceived, this, [this] { replied(false); });
    connect(&m_timer, &QTimer::timeout, this, [this] {
        switch (m_step) {
        case Step::OffHook:
            emit eventLine(QStringLiteral("[Couldn't hang up: the modem did not answer ATH1]"));
            finish();
            break;
        case Step::Answer:
        case Step::Holding:
            send("ATH0\r", Step::OnHook);
            break;
        case Step::OnHook:
            emit eventLine(QStringLiteral("[The modem did not answer ATH0]"));
            finish();
            break;
        case Step::Idle:
            break;
        }
    });
}

void LineHook::hangUp(int holdMs)
{
    if (busy())
        return;
    if (!m_line.isOpen()) {
        emit eventLine(QStringLiteral("[Couldn't hang up: the modem line is closed]"));
        return;
    }
    m_hold = holdMs;
    send("ATH1\r", Step::OffHook);
}

void LineHook::send(const char* command, Step next)
{
    m_step = next;
    if (!m_line.write(command)) {
        emit eventLine(QStringLiteral("[Couldn't hang up: %1 could not be sent]")
                           .arg(QString::fromLatin1(command).trimmed()));
        finish();
        return;
    }
    m_timer.start(replyTimeout);
}

void LineHook::replied(bool ok)
{
    switch (m_step) {
    case Step::OffHook:
        if (ok) {
            m_step = Step::Holding;
            m_timer.start(m_hold);
        } else {
            // Answering, a modem says nothing until it connects or gives up: the hold starts now.
            send("ATA\r", Step::Answer);
            m_timer.start(m_hold);
        }
        break;
    case Step::Answer:
        if (!ok) {
            emit eventLine(
                QStringLiteral("[Couldn't hang up: the modem answered ERROR to ATH1 and ATA]"));
            finish();
        }
        break;
    case Step::OnHook:
        finish();
        break;
    case Step::Holding:
    case Step::Idle:
        break;
    }
}

void LineHook::finish()
{
    m_timer.stop();
    m_step = Step::Idle;
    emit done();
}
