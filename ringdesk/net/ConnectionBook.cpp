#include "net/ConnectionBook.h"

#include "net/NetAddress.h"

void ConnectionBook::add(const void* key, const QHostAddress& from)
{
    m_entries.insert(key, {NetAddress::plain(from), ++m_serial, true});
}

void ConnectionBook::remove(const void* key)
{
    m_entries.remove(key);
}

void ConnectionBook::setCounted(const void* key, bool counted)
{
    if (auto found = m_entries.find(key); found != m_entries.end())
        found->counted = counted;
}

int ConnectionBook::count() const
{
    int count = 0;
    for (const Entry& entry : m_entries)
        count += entry.counted ? 1 : 0;
    return count;
}

int ConnectionBook::count(const QHostAddress& from) const
{
    const QHostAddress address = NetAddress::plain(from);
    int count = 0;
    for (const Entry& entry : m_entries)
        count += entry.counted && entry.from == address ? 1 : 0;
    return count;
}

const void* ConnectionBook::oldest(const QHostAddress* from,
                                   const std::function<bool(const void* key)>& eligible) const
{
    const QHostAddress address = from ? NetAddress::plain(*from) : QHostAddress();
    const void* oldest = nullptr;
    quint64 serial = 0;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (!it->counted || (from && it->from != address) || (eligible && !eligible(it.key())))
            continue;
        if (!oldest || it->serial < serial) {
            oldest = it.key();
            serial = it->serial;
        }
    }
    return oldest;
}
