#pragma once

#include "ContactItem.h"

#include <QDateTime>
#include <QHash>
#include <memory>

// The contacts folder: every card of every .vcf file in it. Parsed cards are kept while their
// file stays unchanged, so a search over thousands of contacts reads only what changed.
class ContactsFolder
{
public:
    explicit ContactsFolder(QString path) : m_path(std::move(path)) {}

    QString path() const { return m_path; }

    // What Items().Find answers: the first contact the filter matches (files in name order),
    // none, or a failure (a filter that does not parse, a folder that cannot be read).
    struct Found
    {
        std::shared_ptr<ContactItem> item;
        QString error;
    };
    class ContactItems
    {
    public:
        explicit ContactItems(const ContactsFolder& folder) : m_folder(folder) {}
        Found Find(const QString& filter) const;

    private:
        const ContactsFolder& m_folder;
    };
    ContactItems Items() const { return ContactItems(*this); }

private:
    struct Cached
    {
        QDateTime modified;
        qint64 size = -1;
        QList<VCard> cards;
    };
    static const QList<VCard>& cardsOf(const QString& file);

    QString m_path;
};
