#include "app/MonitorApp.h"

#include "app/NcidService.h"
#include "app/WebService.h"
#include "monitor/Monitor.h"
#include "ncid/NcidServer.h"
#include "web/WebPage.h"

MonitorApp::MonitorApp(Monitor& monitor, QObject* parent) : QObject(parent), m_monitor(monitor)
{
    connect(&monitor, &Monitor::activated, this, &MonitorApp::run);
}

MonitorApp::~MonitorApp() = default;

void MonitorApp::enter(Phase phase)
{
    m_phase = phase;
    emit phaseChanged(phase);
}

void MonitorApp::load()
{
    if (m_phase != Phase::Created)
        return;
    m_monitor.load();
    enter(Phase::Loaded);
}

void MonitorApp::activate()
{
    if (m_phase != Phase::Loaded)
        return;
    enter(Phase::Activating);
    // Running follows once the modem search, if any, has ended.
    m_monitor.activate();
}

void MonitorApp::run()
{
    if (m_phase != Phase::Activating)
        return;
    if (beforeRunning)
        beforeRunning();
    if (m_phase != Phase::Activating)
        return; // the program began to end meanwhile
    m_monitor.finishActivation();
    m_web = WebService::start(m_monitor);
    m_ncid = NcidService::start(m_monitor);
    enter(Phase::Running);
}

void MonitorApp::unload()
{
    if (m_phase == Phase::Unloaded)
        return;
    enter(Phase::Unloaded);
    m_monitor.unload();
}
