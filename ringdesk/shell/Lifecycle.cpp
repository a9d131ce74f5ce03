#include "Lifecycle.h"

#include "CaptionFit.h"
#include "Conversions.h"
#include "Dialogs.h"
#include "MainWindow.h"
#include "SettingsTable.h"

#include <QCoreApplication>
#include <QTimer>

Lifecycle::Lifecycle(MainWindow& window, QObject* parent) : QObject(parent), m_window(window)
{
    connect(&window, &MainWindow::unloadRequested, this, &Lifecycle::Form_Unload);
}

void Lifecycle::Main()
{
    Form_Load();
    centreOnScreen(&m_window);
    m_window.show();
    // Showing makes the window active; the activation step follows once the window is up.
    QTimer::singleShot(0, this, &Lifecycle::Form_Activate);
}

void Lifecycle::Form_Load()
{
    Monitor& monitor = m_window.monitor();
    MonitorState& s = monitor.state;
    s.setField(MonitorState::SystemMessage, QStringLiteral("Initializing..."));
    s.ModemEvents.setStringList({});
    s.Calllog.setStringList({});
    m_window.showDetails(false);
    for (MonitorState::Field field : {MonitorState::CallIDDate, MonitorState::CallIDTime,
                                      MonitorState::CallIDName, MonitorState::CallIDNumber})
        s.setField(field, QString());
    monitor.loadSettings();
    monitor.settleLogDirectory();
    monitor.checkOutlook();
    m_window.checkNotifications();
}

void Lifecycle::Form_Activate()
{
    // The window may be activated many times; the step belongs to the first.
    if (m_activated || m_unloaded)
        return;
    m_activated = true;
    Monitor& monitor = m_window.monitor();
    MonitorState& s = monitor.state;

    monitor.logFile.LoadCallLog();
    const QString switchText = Settings::SetupFindModem.read();
    const std::optional<qint16> switchState = Conversions::toInt16(switchText);
    if (!switchState || (*switchState != 0 && *switchState != 1)) {
        s.appendEvent(QStringLiteral("[Setting Setup/FindModem holds \"%1\", not 0 or 1; using 1]")
                          .arg(switchText));
        monitor.keepStoredUnlessChanged(Settings::SetupFindModem, QStringLiteral("1"));
    }
    s.setCheck(1, switchState && *switchState == 0 ? 0 : 1);
    if (m_unloaded)
        return;
    s.CallRecordState = 0;
    s.setCheckEnabled(1, true);
    if (s.check(1) == 0)
        monitor.modemSwitch.ManualMode();

    if (s.AreaCode.isEmpty() && !Conversions::numericEquals(s.ComPort, 0)) {
        const QString answer =
            Dialogs::inputBox(&m_window, QStringLiteral("Enter Your Local Area Code"),
                              QStringLiteral("No Area Code Found!"), QStringLiteral("555"));
        if (m_unloaded)
            return;
        s.AreaCode = answer;
    }
    if (s.check(6) == 1 || m_startMinimized)
        m_window.MinimizeCallIDForm();
    s.PollState = 0;
    monitor.receiver.setPollInterval(s.PollInterval);
}

void Lifecycle::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A modem search waiting for a reply stops at once instead of holding the program up.
    m_window.monitor().state.beginShutdown();
    m_window.monitor().comm.close();
    m_window.monitor().saveSettings();
    m_window.monitor().logFile.SaveEventLog();
    QCoreApplication::exit(0);
}
