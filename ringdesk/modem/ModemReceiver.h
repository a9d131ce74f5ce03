#pragma once

#include "modem/LineCutter.h"
#include "modem/TickSource.h"

#include <QObject>
#include <QPointer>
#include <memory>

class AlertSound;
class MonitorState;
class QIODevice;
class WindowControl;

// The receiving half of the modem line: cuts what the modem sends into lines, acts on each line
// (ProcessEvent: reply flags, ring, the caller-ID fields) and shows it in the event list, and
// hands a caller-ID record on through recordComplete() as soon as it is complete: at its empty
// line, or once its time, number and name have all come. The ring-poll ticks of Timer2 are the
// fallback for a record that never completes: it goes on its 10th tick after its DATE line.
class ModemReceiver : public QObject
{
    Q_OBJECT
public:
    ModemReceiver(MonitorState& state, WindowControl& window, QObject* parent = nullptr);

    // Reads everything the device delivers from now on; a previous device is let go.
    void attach(QIODevice* device);
    void setAlertSound(AlertSound* sound, const QString& soundFile);

    // Timer2's interval from the PollInterval text; a value that is not a positive whole number
    // of milliseconds would stop records from ever completing, so the default 100 stands in.
    void setPollInterval(const QString& milliseconds);
    int pollInterval() const { return m_interval; }
    bool polling() const { return Timer2->isActive(); }
    // Where Timer2's ticks come from; a QTimer unless a test steps them.
    void setTicks(std::unique_ptr<TickSource> ticks);

    // Off, a complete record waits for the next tick of Timer2 and only its empty line or the
    // 10th tick complete it: the old timing, kept so both can be compared on the same input.
    void setHandOverAtOnce(bool atOnce) { m_atOnce = atOnce; }

    // The receive handler's work for a chunk of bytes, wherever they came from.
    void receive(const QByteArray& bytes);

    void ProcessEvent(const QString& strIdentifier);

    // Tick handler of Timer2.
    void Timer2Tick();

signals:
    void recordComplete();

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
    void showNumber(const QString& digits);

    MonitorState& m_state;
    WindowControl& m_window;
    AlertSound* m_sound = nullptr;
    QString m_soundFile;
    QPointer<QIODevice> m_device;
    LineCutter m_cutter;
    std::unique_ptr<TickSource> Timer2;
    int m_interval = 100;
    bool m_atOnce = true;
    int m_arrived = 0;
    // A TIME line came and no record has been handed over since: the ticks run while a record
    // that follows it is received.
    bool m_timeSeen = false;
    // Lines not yet handled: a call handed over may let events run, and lines that arrive
    // meanwhile wait their turn instead of overtaking the ones before them.
    QList<LineCutter::Line> m_pending;
    bool m_handling = false;
};
