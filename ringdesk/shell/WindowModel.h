#pragma once

#include "shell/CallListModel.h"

#include <QObject>
#include <QStringListModel>
#include <QTimer>

class Monitor;

// The window's two lists, mirroring the monitor: the event list follows its event log, the call
// list its history (or, without one, the calls of this run).
class WindowModel : public QObject
{
    Q_OBJECT
public:
    explicit WindowModel(Monitor& monitor, QObject* parent = nullptr);

    // "Clear" on the call list: the log and the list emptied.
    void clearCalls();

    QStringList events() const { return eventList.stringList() + m_due; }
    QStringList calls() const { return callList.lines(); }

    QStringListModel eventList;
    CallListModel callList;

private:
    void appendEvent(const QString& text);
    void showDue();

    // A call brings a dozen lines in one pass; the list takes them in one go once it is over.
    QStringList m_due;
    QTimer m_dueTimer;

    Monitor& m_monitor;
};
