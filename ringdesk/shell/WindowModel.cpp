#include "shell/WindowModel.h"

#include "common/CleanText.h"
#include "monitor/Monitor.h"

WindowModel::WindowModel(Monitor& monitor, QObject* parent) : QObject(parent), m_monitor(monitor)
{
    m_dueTimer.setSingleShot(true);
    m_dueTimer.setInterval(0);
    connect(&m_dueTimer, &QTimer::timeout, this, &WindowModel::showDue);
    EventLog& events = monitor.events();
    for (const QString& line : events.lines())
        appendEvent(line);
    showDue();
    connect(&events, &EventLog::added, this,
            [this](const EventLog::Event& event) { appendEvent(event.text); });
    connect(&events, &EventLog::cleared, this, [this] {
        m_due.clear();
        eventList.setStringList({});
    });
    callList.setHistory(&monitor.calls().history());
    connect(&monitor.calls().history(), &CallHistory::changed, this,
            [this] { callList.refresh(); });
    connect(&monitor, &Monitor::callHandled, this,
            [this](const CallRecord& call) { callList.add(call); });
}

void WindowModel::clearCalls()
{
    m_monitor.clearCallLog();
    callList.clear();
}

void WindowModel::appendEvent(const QString& text)
{
    // Event lines quote settings, files, the broker and the modem as they stand.
    m_due << CleanText::field(text);
    if (!m_dueTimer.isActive())
        m_dueTimer.start();
}

void WindowModel::showDue()
{
    if (m_due.isEmpty())
        return;
    const int row = eventList.rowCount();
    eventList.insertRows(row, int(m_due.size()));
    for (int i = 0; i < m_due.size(); ++i)
        eventList.setData(eventList.index(row + i), m_due.at(i));
    m_due.clear();
    // The list shows what the log keeps.
    if (eventList.rowCount() > EventLog::Kept)
        eventList.removeRows(0, eventList.rowCount() - EventLog::Kept);
}
