#pragma once

#include <QObject>
#include <functional>
#include <memory>

class Monitor;
class NcidServer;
class WebPage;

// One start-up for both programs, as named phases: loaded (settings, folders, the address book,
// the broker), activating (the history, the FRITZ!Box, the modem switched on and, when asked,
// searched for), running (the web page and NCID served) and unloaded (the settings and the
// event log saved, everything closed). Each program adds only its own touches: what it does
// once the modem has settled and before the monitor runs.
class MonitorApp : public QObject
{
    Q_OBJECT
public:
    enum class Phase
    {
        Created,
        Loaded,
        Activating,
        Running,
        Unloaded
    };
    Q_ENUM(Phase)

    explicit MonitorApp(Monitor& monitor, QObject* parent = nullptr);
    ~MonitorApp() override;

    // The program's touch before the monitor runs, such as asking for a missing area code. It may
    // end the program (a dialog's window closed meanwhile): nothing more is started then.
    std::function<void()> beforeRunning;

    void load();
    // Once, whatever asks for it again (a window is activated many times).
    void activate();
    // Runs once, whichever way the program ends.
    void unload();

    Phase phase() const { return m_phase; }

signals:
    void phaseChanged(MonitorApp::Phase phase);

private:
    void run();
    void enter(Phase phase);

    Monitor& m_monitor;
    Phase m_phase = Phase::Created;
    std::unique_ptr<WebPage> m_web;
    std::unique_ptr<NcidServer> m_ncid;
};
