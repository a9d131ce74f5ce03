#include "shell/CallListModel.h"

#include "calls/CallHistory.h"

namespace {

// Rows kept read: a few screens' worth.
constexpr int cacheRows = 512;

} // namespace

CallListModel::CallListModel(QObject* parent) : QAbstractListModel(parent) {}

void CallListModel::setHistory(CallHistory* history)
{
    beginResetModel();
    m_history = history;
    m_cache.clear();
    m_own.clear();
    m_reading = readsHistory();
    m_rows = m_reading ? int(history->count()) : 0;
    endResetModel();
}

bool CallListModel::readsHistory() const
{
    return m_history && m_history->isOpen();
}

void CallListModel::add(const CallRecord& call)
{
    if (readsHistory())
        return;
    beginInsertRows(QModelIndex(), m_rows, m_rows);
    m_own.append(call);
    ++m_rows;
    endInsertRows();
}

void CallListModel::refresh()
{
    if (readsHistory() != m_reading) {
        // The history opened (or closed): its calls, this run's among them, replace ours.
        setHistory(m_history);
        return;
    }
    if (!readsHistory())
        return;
    const int rows = int(m_history->count());
    if (rows == m_rows && rows > 0) {
        // An outcome came for a call already listed (a router's call ended).
        m_cache.clear();
        emit dataChanged(index(0), index(rows - 1));
        return;
    }
    if (rows > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginResetModel();
        m_rows = rows;
        m_cache.clear();
        endResetModel();
    }
}

void CallListModel::clear()
{
    beginResetModel();
    m_rows = 0;
    m_own.clear();
    m_cache.clear();
    endResetModel();
}

int CallListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

std::optional<CallRecord> CallListModel::callAt(int row) const
{
    if (row < 0 || row >= m_rows)
        return std::nullopt;
    if (!readsHistory())
        return m_own.value(row);
    if (const auto cached = m_cache.constFind(row); cached != m_cache.constEnd())
        return *cached;
    const std::optional<CallRecord> call = m_history->at(row);
    if (!call)
        return std::nullopt;
    if (m_cache.size() >= cacheRows)
        m_cache.clear();
    m_cache.insert(row, *call);
    return call;
}

QVariant CallListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    const std::optional<CallRecord> call = callAt(index.row());
    if (!call)
        return QVariant();
    // The outcome, where the source tells it (a router), and a block follow the line as the log
    // has it, as on the web page.
    QString line = call->logLine();
    if (call->blocked)
        line += QStringLiteral("  (blocked)");
    if (call->outcome == u"missed")
        line += QStringLiteral("  (missed)");
    else if (call->outcome == u"answered")
        line += QStringLiteral("  (answered, %1:%2)")
                    .arg(call->duration / 60)
                    .arg(call->duration % 60, 2, 10, QChar(u'0'));
    else if (!call->outcome.isEmpty()) // what a blocked call got: "announced", "fax tone"
        line += QStringLiteral("  (%1)").arg(call->outcome);
    return line;
}

QStringList CallListModel::lines() const
{
    QStringList all;
    for (int row = 0; row < m_rows; ++row)
        all << data(index(row)).toString();
    return all;
}
