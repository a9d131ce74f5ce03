#include "shell/Lifecycle.h"

#include "common/CaptionFit.h"
#include "common/Conversions.h"
#include "shell/Dialogs.h"
#include "shell/MainWindow.h"

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
    monitor.load();
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

    if (!monitor.activate())
        return;

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
    monitor.finishActivation();
}

void Lifecycle::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_window.monitor().unload();
    QCoreApplication::exit(0);
}
