#pragma once

#include <QHash>
#include <QHostAddress>
#include <functional>

// Who is connected to a listener, from where and in the order they came: what a server needs
// to bound what one address, or all of them together, can make it hold. Each connection is
// known by a key of the server's (its socket); only those counted take a place.
class ConnectionBook
{
public:
    void add(const void* key, const QHostAddress& from);
    void remove(const void* key);
    // A connection that no longer takes a place (signed in, say), or takes one again.
    void setCounted(const void* key, bool counted);

    int count() const;
    int count(const QHostAddress& from) const;
    // The counted connection that came first, of all or from `from`, of those `eligible` takes
    // (all when none is given); null when there is none.
    const void* oldest(const QHostAddress* from = nullptr,
                       const std::function<bool(const void* key)>& eligible = {}) const;

private:
    struct Entry
    {
        QHostAddress from;
        quint64 serial = 0;
        bool counted = true;
    };
    QHash<const void*, Entry> m_entries;
    quint64 m_serial = 0;
};
