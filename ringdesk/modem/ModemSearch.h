#pragma once

#include "modem/CommandExchange.h"
#include "modem/ModemSettings.h"

#include <QObject>
#include <QStringList>

class SerialLine;

// Finds the modem that reports caller ID: probes ports with "ATZ" at a few speeds and tries the
// caller-ID commands on each modem that answers; with a known port, checks just that one. Each
// reply or time-out takes the next step, so the search runs beside everything else. Ends with
// the line open on the modem and the settings telling where it is, or with notFound(); either
// way, and when stopped, with finished().
class ModemSearch : public QObject
{
    Q_OBJECT
public:
    ModemSearch(SerialLine& line, CommandExchange& exchange, ModemSettings& settings,
                QObject* parent = nullptr);

    void start();
    bool running() const { return m_running; }
    // The modem switch went off, or the program is ending: the search under way gives up now.
    void stop();

signals:
    void eventLine(const QString& line);
    void status(const QString& text);
    void beep();
    // No modem with caller ID; `problems` are the ports that did not open, and why.
    // `anyDevice`: false when not one of the ports tried had a device behind it, so no modem is
    // plugged in (or the ports are the wrong ones), rather than none answering.
    void notFound(const QStringList& problems, bool anyDevice);
    void finished();

private:
    enum class Step
    {
        Reset,     // "ATZ": is a modem there at this speed?
        Questions, // "ATI3", "ATI6": what it says of itself, for the event list
        CallerId   // the caller-ID commands, one after another
    };

    void ask(const QString& command);
    void nextPort();
    void nextSpeed();
    void replied(CommandExchange::Reply reply);
    void modemAnswered();
    void askNextQuestion();
    void testCallerId();
    void askCallerIdCommand();
    // The ports have been tried: the modem found is opened for good, or the error is said.
    void conclude();
    void end();

    SerialLine& m_line;
    CommandExchange& m_exchange;
    ModemSettings& m_settings;
    bool m_running = false;
    QStringList m_openProblems; // the ports of this search that did not open, and why
    bool m_anyDevice = false;   // one of the ports tried has a device behind it

    QList<int> m_ports;
    QStringList m_speeds;
    QStringList m_commands;
    qsizetype m_portIndex = -1;
    qsizetype m_speedIndex = 0;
    qsizetype m_questionIndex = 0;
    qsizetype m_commandIndex = 0;
    Step m_step = Step::Reset;
};
