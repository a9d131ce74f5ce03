#pragma once

#include "addressbook/ItemViewer.h"
#include "app/MonitorApp.h"
#include "monitor/CanberraSound.h"
#include "monitor/Monitor.h"
#include "monitor/WindowControl.h"

#include <QObject>
#include <cstdio>

// The monitor with no window, for a machine that only watches the line: the same settings,
// modem, call handling, logs and address book, with every event line written to standard output
// and every contact or journal entry the settings ask for saved at once, since nobody is there
// to press "Save & Close".
class HeadlessMonitor : public QObject, public WindowControl, public ItemViewer
{
    Q_OBJECT
public:
    explicit HeadlessMonitor(std::FILE* out = stdout, QObject* parent = nullptr);

    Monitor& monitor() { return m_monitor; }
    // The load and activation steps, without the questions a window would ask.
    void start();
    // The unload step; then the event loop ends.
    void stop();
    bool stopped() const { return m_app.phase() == MonitorApp::Phase::Unloaded; }

    void showModemError(const QStringList& details, bool anyDevice) override;
    void playChime() override;
    void show(const std::shared_ptr<AddressBookItem>& item, bool askedByUser) override;

private:
    void print(const QString& line);

    std::FILE* m_out;
    Monitor m_monitor;
    MonitorApp m_app;
    CanberraSound m_chime;
};
