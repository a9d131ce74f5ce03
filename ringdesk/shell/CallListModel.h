#pragma once

#include "calls/CallRecord.h"

#include <QAbstractListModel>
#include <QHash>
#include <optional>

class CallHistory;

// The window's call list: every call of the history, oldest first, each shown as its log line.
// Rows are read from the history as the view asks for them, so the window holds no more than
// what is on screen. Without a history (no log folder, a database that cannot be opened) it
// keeps this run's calls itself.
class CallListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit CallListModel(QObject* parent = nullptr);

    void setHistory(CallHistory* history);
    // A call of this run, for when there is no history to read it back from.
    void add(const CallRecord& call);
    // The history changed: new calls at the end, or all gone.
    void refresh();
    void clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    std::optional<CallRecord> callAt(int row) const;
    // Every row's text, for tests and small lists.
    QStringList lines() const;

private:
    bool readsHistory() const;

    CallHistory* m_history = nullptr;
    bool m_reading = false; // the rows are the history's
    int m_rows = 0;
    QList<CallRecord> m_own;
    mutable QHash<int, CallRecord> m_cache;
};
