#pragma once

#include "modem/CommandExchange.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <optional>

class SerialLine;

// Hangs up on a call through the modem: takes the line off-hook ("ATH1"; where the modem answers
// "ERROR", "ATA"), holds it, and puts it back on-hook ("ATH0"). The commands go through the
// exchange like every other; nothing waits for the modem.
class LineHook : public QObject
{
    Q_OBJECT
public:
    LineHook(SerialLine& line, CommandExchange& exchange, QObject* parent = nullptr);

    // Off-hook now, on-hook after `holdMs`. A hang-up under way goes on as it is; one asked while
    // the line goes back on-hook follows it.
    void hangUp(int holdMs);
    // From the off-hook command until the modem has answered the on-hook one.
    bool busy() const { return m_step != Step::Idle; }

signals:
    void eventLine(const QString& line);
    // The line is back on-hook (or the modem would not go off-hook).
    void done();

private:
    enum class Step
    {
        Idle,
        OffHook, // "ATH1" sent
        Answer,  // "ATA" sent after "ERROR", holding
        Holding, // off-hook, waiting to hang up
        OnHook   // "ATH0" sent
    };
    void send(const char* command, Step next, int timeoutMs);
    void replied(CommandExchange::Reply reply);
    void finish();

    SerialLine& m_line;
    CommandExchange& m_exchange;
    Step m_step = Step::Idle;
    int m_hold = 0;
    QTimer m_holdTimer;
    QElapsedTimer m_answering;
    std::optional<int> m_next; // a hang-up asked while going on-hook
};
