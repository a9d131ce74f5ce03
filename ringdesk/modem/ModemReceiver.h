#pragma once

#include "LineCutter.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class AlertSound;
class MonitorState;
class QIODevice;
class WindowControl;

// The receiving half of the modem line: cuts what the modem sends into lines, acts on each line
// (ProcessEvent: reply flags, ring, the caller-ID fields) and shows it in the event list, and
// decides with the ring-poll timer Timer2 when a caller-ID record is complete. A complete record
// is handed on through recordComplete(), connected directly to call processing.
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
    int pollInterval() const { return Timer2.interval(); }
    bool polling() const { return Timer2.isActive(); }

    // The receive handler's work for a chunk of bytes, wherever they came from.
    void receive(const QByteArray& bytes);

    void ProcessEvent(const QString& strIdentifier);

    // Tick handler of Timer2; public so that a record can be completed without waiting.
    void Timer2Tick();

signals:
    void recordComplete();

private:
    void readDevice();
    void showNumber(const QString& digits);

    MonitorState& m_state;
    WindowControl& m_window;
    AlertSound* m_sound = nullptr;
    QString m_soundFile;
    QPointer<QIODevice> m_device;
    LineCutter m_cutter;
    QTimer Timer2;
};
