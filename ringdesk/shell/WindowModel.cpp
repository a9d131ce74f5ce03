#include "shell/WindowModel.h"

#include "common/CleanText.h"
#include "monitor/Monitor.h"

WindowModel::WindowModel(Monitor& monitor, QObject* parent) : QObject(parent), m_monitor(monitor)
{
    EventLog& events = monitor.events();
    for (const QString& line : events.lines())
        appendEvent(line);
    connect(&events, &EventLog::added, this,
            [this](const EventLog::Event& event) { appendEvent(event.text); });
    connect(&events, &EventLog::cleared, this, [this] { eventList.setStringList({}); });
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
    const QString line = CleanText::field(text);
    const int row = eventList.rowCount();
    eventList.insertRows(row, 1);
    eventList.setData(eventList.index(row), line);
}
