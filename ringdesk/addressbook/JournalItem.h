#pragma once

#include "addressbook/AddressBookItem.h"

#include <QDateTime>
#include <QMap>

// A journal entry: an iCalendar VJOURNAL in an .ics file of its own in the journal folder, named
// after its generated UID. Subject is SUMMARY, Type is CATEGORIES, Contacts is CONTACT,
// Companies is X-RINGWATCH-COMPANIES, Notes is DESCRIPTION, start is DTSTART (the moment the
// entry was made). It reaches the folder only when saved.
class JournalItem : public AddressBookItem
{
public:
    explicit JournalItem(const QString& folder);

    Kind kind() const override { return Journal; }
    QString field(Field which) const override;
    bool setField(Field which, const QString& value) override;
    bool save(QString* error = nullptr) override;
    QString fileName() const override { return m_file; }

    QString uid() const override { return m_uid; }
    QDateTime start() const { return m_start; }

    // The entry as iCalendar text, and back (for reading saved entries).
    QByteArray toICalendar() const;
    static std::shared_ptr<JournalItem> fromICalendar(const QByteArray& text,
                                                      const QString& folder);

private:
    QString m_folder;
    QString m_file;
    QString m_uid;
    QDateTime m_start;
    QMap<Field, QString> m_fields;
};
