#pragma once

#include <QObject>
#include <memory>

class NcidServer;
class WebServer;

class MainWindow;

// The monitor's life: the start, the load step before the window shows, the activation step once
// it is shown, and the unload step that saves the settings and the event log and ends the
// program.
class Lifecycle : public QObject
{
    Q_OBJECT
public:
    explicit Lifecycle(MainWindow& window, QObject* parent = nullptr);
    ~Lifecycle() override;

    void start();
    void load();
    void activate();
    // Once the modem search of the activation step has ended: the area code, then the rest.
    void finishActivation();
    // Runs once, whichever way the program ends (Exit, closing the window, a signal, logout).
    void unload();

    bool unloaded() const { return m_unloaded; }
    bool activated() const { return m_activated; }

signals:
    // The activation step has ended: the window is in use.
    void started();

public:
    // --minimized: start in the notification area, as "Minimize on Start Up" does.
    void setStartMinimized(bool minimized) { m_startMinimized = minimized; }

private:
    MainWindow& m_window;
    std::unique_ptr<WebServer> m_web;
    std::unique_ptr<NcidServer> m_ncid;
    bool m_activated = false;
    bool m_startMinimized = false;
    bool m_unloaded = false;
};
