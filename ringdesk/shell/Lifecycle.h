#pragma once

#include "app/MonitorApp.h"

#include <QObject>

class MainWindow;

// The window program's touches on the one start-up: the window cleared before the load step
// and shown after it, the activation step once it is up, a missing area code asked for, the
// window minimized when asked, and the program ended after the unload step.
class Lifecycle : public QObject
{
    Q_OBJECT
public:
    explicit Lifecycle(MainWindow& window, QObject* parent = nullptr);

    void start();
    void load();
    void activate();
    // Runs once, whichever way the program ends (Exit, closing the window, a signal, logout).
    void unload();

    bool unloaded() const { return m_app.phase() == MonitorApp::Phase::Unloaded; }
    bool activated() const { return m_app.phase() >= MonitorApp::Phase::Activating; }

    // --minimized: start in the notification area, as "Minimize on Start Up" does.
    void setStartMinimized(bool minimized) { m_startMinimized = minimized; }

private:
    void beforeRunning();

    MainWindow& m_window;
    MonitorApp m_app;
    bool m_startMinimized = false;
};
