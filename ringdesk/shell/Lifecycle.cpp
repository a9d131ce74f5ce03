#include "shell/Lifecycle.h"

#include "shell/Dialogs.h"
#include "shell/MainWindow.h"
#include "widgets/WindowPlacement.h"

#include <QCoreApplication>
#include <QTimer>

Lifecycle::Lifecycle(MainWindow& window, QObject* parent)
    : QObject(parent), m_window(window), m_app(window.monitor())
{
    connect(&window, &MainWindow::unloadRequested, this, &Lifecycle::unload);
    m_app.beforeRunning = [this] {
        beforeRunning();
    };
}

void Lifecycle::start()
{
    load();
    centreOnScreen(&m_window);
    m_window.show();
    // Showing makes the window active; the activation step follows once the window is up.
    QTimer::singleShot(0, this, &Lifecycle::activate);
}

void Lifecycle::load()
{
    Monitor& monitor = m_window.monitor();
    MonitorState& model = monitor.state();
    model.setField(MonitorState::Status, QStringLiteral("Initializing..."));
    monitor.events().clear();
    m_window.lists().callList.clear();
    m_window.showDetails(false);
    for (MonitorState::Field field :
         {MonitorState::Date, MonitorState::Time, MonitorState::Name, MonitorState::Number})
        model.setField(field, QString());
    m_app.load();
    m_window.checkNotifications();
}

void Lifecycle::activate()
{
    // The window may be activated many times; the step belongs to the first.
    m_app.activate();
}

void Lifecycle::beforeRunning()
{
    Monitor& monitor = m_window.monitor();
    if (monitor.needsAreaCode()) {
        const QString answer =
            Dialogs::inputBox(&m_window, QStringLiteral("Enter Your Local Area Code"),
                              QStringLiteral("No Area Code Found!"), QStringLiteral("555"));
        if (unloaded())
            return;
        monitor.setAreaCode(answer);
    }
    if (monitor.state().box(MonitorState::MinimizeOnStart) || m_startMinimized)
        m_window.minimize();
}

void Lifecycle::unload()
{
    if (unloaded())
        return;
    m_app.unload();
    QCoreApplication::exit(0);
}
