#pragma once

#include "modem/ModemSettings.h"

#include <QObject>
#include <QStringList>

class CommandExchange;
class SerialLine;

// Finds the modem that reports caller ID: probes ports with "ATZ" at a few speeds and tries the
// caller-ID commands on each modem that answers; with a known port, checks just that one. Ends
// with the line open on the modem and the settings telling where it is, or with notFound().
class ModemSearch : public QObject
{
    Q_OBJECT
public:
    ModemSearch(SerialLine& line, CommandExchange& exchange, ModemSettings& settings,
                QObject* parent = nullptr);

    void SearchModems();
    bool running() const { return m_running; }
    // The modem switch went off, or the program is ending: the search under way gives up.
    void stop() { m_stopped = true; }

signals:
    void eventLine(const QString& line);
    void status(const QString& text);
    void beep();
    // No modem with caller ID; `problems` are the ports that did not open, and why.
    void notFound(const QStringList& problems);

private:
    bool probePort(int port, const QStringList& speeds, const QStringList& commands);
    bool interrupted() const;

    SerialLine& m_line;
    CommandExchange& m_exchange;
    ModemSettings& m_settings;
    bool m_running = false;
    bool m_stopped = false;
    QStringList m_openProblems; // the ports of this search that did not open, and why
};
