#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Calls not yet in the broker's hands, in their order, kept in a file of the user's (0600) so
// that neither a broker that is down nor a restart of the monitor loses one. A call is written
// when it is made and struck out once the broker has it.
class Outbox
{
public:
    struct Entry
    {
        QString id; // the call's own id
        QByteArray message;
    };

    explicit Outbox(const QString& path);

    // Reads what an earlier run left; false with *error when the file cannot be read.
    bool load(QString* error);
    bool add(const Entry& entry, QString* error);
    // Strikes the call out here; the file follows at the next flush, so that a burst of
    // acknowledgements after an outage rewrites it once rather than once per call.
    void remove(const QString& id);
    bool flush(QString* error);
    bool dirty() const { return m_dirty; }

    const QList<Entry>& entries() const { return m_entries; }
    QString path() const { return m_path; }

private:
    QString m_path;
    QList<Entry> m_entries;
    bool m_dirty = false;
};
