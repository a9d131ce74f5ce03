#pragma once

#include "modem/CallerId.h"
#include "modem/CommandExchange.h"
#include "modem/LineHook.h"
#include "modem/ModemReceiver.h"
#include "modem/ModemSearch.h"
#include "modem/ModemSettings.h"
#include "modem/ModemSwitch.h"
#include "modem/ModemWatchdog.h"
#include "modem/SerialLine.h"

#include <QElapsedTimer>
#include <QObject>

// The modem and everything that talks to it: the line, what it receives, the one command queue,
// the search, the switch, the hook and the watchdog. The rest of the program asks for the modem
// on or off, a search, a hang-up, and hears of records, rings and the modem's state.
class ModemControl : public QObject
{
    Q_OBJECT
public:
    // What the household is told of the modem.
    enum class State
    {
        Answering,
        NotAnswering,
        Disconnected // the port failed (unplugged); it is opened again once the device is back
    };
    Q_ENUM(State)
    // The timers a test may step by hand.
    enum class Timer
    {
        ReplyTimeout,
        Watchdog,
        Polling
    };

    explicit ModemControl(QObject* parent = nullptr);

    // Where the modem is and how it is set up, as stored; a search updates them.
    ModemSettings& settings() { return m_settings; }
    const ModemSettings& settings() const { return m_settings; }
    // The quiet time after which the watchdog checks the modem; 0 never.
    void setCheckInterval(int milliseconds) { m_checkIntervalMs = milliseconds; }
    void setNumberPlan(const NumberPlan& plan) { m_receiver.setNumberPlan(plan); }
    void setPollInterval(const QString& milliseconds) { m_receiver.setPollInterval(milliseconds); }
    int pollInterval() const { return m_receiver.pollInterval(); }
    void setTicks(Timer timer, std::unique_ptr<TickSource> ticks);

    // The "Modem Enabled" switch. On: the modem is searched for unless the line is open; true
    // when a search began, and searchEnded() follows. Off: a search gives up, the line closes.
    bool turnOn();
    void turnOff();
    bool isOn() const { return m_switch.isOn(); }
    // A search from the first port, whatever was stored.
    void find();
    bool searching() const { return m_search.running(); }
    // Off-hook now, on-hook after `holdMs`.
    void hangUp(int holdMs);
    bool hangingUp() const { return m_hook.busy(); }
    // A caller's record is arriving or waits to be handed over.
    bool recordUnderWay() const { return m_receiver.recordUnderWay(); }
    // The program is ending: whatever waits for the modem stops, and the line closes.
    void shutDown();

    bool isOpen() const { return m_line.isOpen(); }
    QString device() const { return m_line.deviceName(); }
    // The real path the device was opened by (links resolved).
    QString openedAs() const { return m_line.openedAs(); }
    // Opens a port as the search does, or closes the line, outside any search (tools, tests).
    bool openPort(int port, const QString& speed) { return m_exchange.openPort(port, speed); }
    void close() { m_line.close(); }
    // Bytes taken as if the modem had sent them.
    void receive(const QByteArray& bytes) { m_receiver.receive(bytes); }
    // Queues a command of `requester`'s; one completion follows.
    void request(const QString& command, const QObject* requester, CommandExchange::Completion done,
                 int timeoutMs = 0)
    {
        m_exchange.request(command, requester, std::move(done), timeoutMs);
    }
    // The modem's bytes go to `stream` instead of being read as lines, and no command is sent,
    // while a voice stream runs; an empty function ends it, and `rest` is read as lines.
    void setVoiceStream(std::function<void(const QByteArray& bytes)> stream,
                        const QByteArray& rest = QByteArray())
    {
        const bool ending = !stream;
        // The call was answered: its rings are over, the next RING is the next call's first.
        m_lastRing.invalidate();
        m_exchange.setHeld(!ending);
        m_receiver.setStream(std::move(stream));
        if (ending && !rest.isEmpty())
            m_receiver.receive(rest);
    }
    bool writeAudio(const QByteArray& bytes) { return m_line.write(bytes); }
    // What `requester` queued goes, without completions.
    void cancel(const QObject* requester) { m_exchange.cancel(requester); }
    // As request(), with the lines that answer it.
    void ask(const QString& command, const QObject* requester, CommandExchange::Answer done)
    {
        m_exchange.ask(command, requester, std::move(done));
    }

signals:
    // What the modem and its parts say, for the event list.
    void eventLine(const QString& line);
    // The status line's text while searching or after a fault.
    void status(const QString& text);
    void beep();
    // A field of the caller's record under way changed; the record is whole.
    void recordChanged(const CallerId& record);
    void recordComplete(const CallerId& record);
    // The call ringing now has rung `count` times.
    void rang(int count);
    void stateChanged(ModemControl::State state);
    // The port failed while open (a modem unplugged): it is closed.
    void portLost(const QString& device);
    void notAnswering();
    // No modem with caller ID; see ModemSearch::notFound.
    void notFound(const QStringList& problems, bool anyDevice);
    void searchEnded();

private:
    bool callUnderWay() const;

    SerialLine m_line;
    ModemReceiver m_receiver;
    CommandExchange m_exchange;
    ModemSettings m_settings;
    ModemSearch m_search;
    ModemSwitch m_switch;
    LineHook m_hook;
    ModemWatchdog m_watchdog;
    int m_checkIntervalMs = 300000;
    int m_rings = 0;
    QElapsedTimer m_lastRing;
    bool m_shuttingDown = false;
};
