#include "shell/Lifecycle.h"

#include "monitor/NcidService.h"
#include "ncid/NcidServer.h"
#include "web/WebServer.h"
#include "web/WebService.h"

#include "common/Conversions.h"
#include "shell/Dialogs.h"
#include "shell/MainWindow.h"
#include "widgets/WindowPlacement.h"

#include <QCoreApplication>
#include <QTimer>

Lifecycle::Lifecycle(MainWindow& window, QObject* parent) : QObject(parent), m_window(window)
{
    connect(&window, &MainWindow::unloadRequested, this, &Lifecycle::unload);
    connect(&window.monitor(), &Monitor::activated, this, &Lifecycle::finishActivation);
}

Lifecycle::~Lifecycle() = default;

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
    WindowModel& model = monitor.model();
    model.setField(WindowModel::Status, QStringLiteral("Initializing..."));
    monitor.events().clear();
    model.callList.clear();
    m_window.showDetails(false);
    for (WindowModel::Field field :
         {WindowModel::Date, WindowModel::Time, WindowModel::Name, WindowModel::Number})
        model.setField(field, QString());
    monitor.load();
    m_window.checkNotifications();
}

void Lifecycle::activate()
{
    // The window may be activated many times; the step belongs to the first.
    if (m_activated || m_unloaded)
        return;
    m_activated = true;
    m_window.monitor().activate();
}

void Lifecycle::finishActivation()
{
    if (m_unloaded)
        return;
    Monitor& monitor = m_window.monitor();
    if (monitor.needsAreaCode()) {
        const QString answer =
            Dialogs::inputBox(&m_window, QStringLiteral("Enter Your Local Area Code"),
                              QStringLiteral("No Area Code Found!"), QStringLiteral("555"));
        if (m_unloaded)
            return;
        monitor.setAreaCode(answer);
    }
    if (monitor.model().box(WindowModel::MinimizeOnStart) || m_startMinimized)
        m_window.minimize();
    monitor.finishActivation();
    m_web = WebService::start(monitor);
    m_ncid = NcidService::start(monitor);
    emit started();
}

void Lifecycle::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_window.monitor().unload();
    QCoreApplication::exit(0);
}
