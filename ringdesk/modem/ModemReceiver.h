#pragma once

#include "common/TickSource.h"
#include "modem/CallerId.h"
#include "modem/CallerIdLine.h"
#include "modem/LineCutter.h"
#include "numbers/NumberPlan.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class QIODevice;

// The receiving half of the modem line. It cuts what the modem sends into lines, acts on each
// line (processEvent: replies, rings, the caller-ID fields) and reports it for the event list.
// It assembles the caller-ID record and hands it over through recordComplete() as soon as the
// record is complete: at its empty line, or once its time, number and name have all come. The
// polling ticks are the fallback for a record that never completes: it goes on its 10th tick
// after its DATE line.
class ModemReceiver : public QObject
{
    Q_OBJECT
public:
    // Where the record under way stands.
    enum class Poll
    {
        Idle,     // no record under way
        Complete, // handed over at the next tick
        Arriving  // begun by its DATE line
    };

    explicit ModemReceiver(QObject* parent = nullptr);

    // Reads everything the device delivers from now on; a previous device is let go.
    void attach(QIODevice* device);

    // How numbers are laid out; its area code goes in front of seven-digit ones.
    void setNumberPlan(const NumberPlan& plan) { m_plan = plan; }

    // The interval of the polling ticks from the PollInterval text; a value that is not a
    // positive whole number of milliseconds would stop records from ever completing, so the
    // default 100 stands in.
    void setPollInterval(const QString& milliseconds);
    int pollInterval() const { return m_interval; }
    bool polling() const { return m_ticks->isActive(); }
    // Where the polling ticks come from; a QTimer unless a test steps them.
    void setTicks(std::unique_ptr<TickSource> ticks);

    // Off, a complete record waits for the next tick and only its empty line or the 10th tick
    // complete it: the slower timing, kept so that a test can check both give the same records
    // from the same input.
    void setHandOverAtOnce(bool atOnce) { m_atOnce = atOnce; }

    // The receive handler's work for a chunk of bytes, wherever they came from.
    void receive(const QByteArray& bytes);
    // While a voice stream runs, the modem's bytes are no lines: they go to `stream` as they
    // come. An empty function ends it; bytes the stream hands back are read as lines again.
    void setStream(std::function<void(const QByteArray& bytes)> stream);
    // One whole line as the modem sent it: acted on, then reported.
    void processEvent(const QString& line);
    // One polling tick.
    void pollTick();

    const CallerId& record() const { return m_record; }
    Poll poll() const { return m_poll; }
    int pollTicks() const { return m_pollTicks; }
    // A record is arriving or waits to be handed over.
    bool recordUnderWay() const { return m_poll != Poll::Idle; }

signals:
    // A line of the modem (and any note on it) for the event list, once it has been acted on.
    void eventLine(const QString& line);
    void okReceived();
    void connectReceived();
    void errorReceived();
    void ring();
    // A field of the record under way changed.
    void recordChanged(const CallerId& record);
    void recordComplete(const CallerId& record);

private:
    // What of a record has come after its DATE line; all three together make it complete.
    enum Arrived
    {
        TimeArrived = 1,
        NumberArrived = 2,
        NameArrived = 4,
        AllArrived = 7
    };

    void readDevice();
    void handlePending();
    void handleLine(const LineCutter::Line& line);
    // The number as the NMBR field or a message gives it: digits laid out, or a word.
    void showNumber(const QString& value);
    void beginRecord();
    void timeArrived();
    void beginUnlessUnderWay();
    void applyParameter(const CallerIdLine::Parameter& parameter);
    // One field of a line.
    void processField(const QString& line);

    QPointer<QIODevice> m_device;
    LineCutter m_cutter;
    std::unique_ptr<TickSource> m_ticks;
    NumberPlan m_plan{QStringLiteral("US")};
    int m_interval = 100;
    bool m_atOnce = true;
    CallerId m_record;
    Poll m_poll = Poll::Idle;
    int m_pollTicks = 0;
    int m_arrived = 0;
    // Lines not yet handled: a call handed over may let events run, and lines that arrive
    // meanwhile wait their turn instead of overtaking the ones before them.
    QList<LineCutter::Line> m_pending;
    bool m_handling = false;
    bool m_afterDle = false; // a voice event's <DLE>, its letter still to come
    std::function<void(const QByteArray&)> m_stream;
};
