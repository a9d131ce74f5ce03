#pragma once

#include <QString>

// An entry of the address book whose fields are read and written, saved and displayed, as call
// handling asks of contacts and journal entries. Failures are results, never exceptions.
class AddressBookItem
{
public:
    enum Kind
    {
        Contact,
        Journal
    };
    enum class Field
    {
        // A contact's
        FirstName,
        LastName,
        Company,
        WorkPhone,
        // A journal entry's
        Subject,
        Type,
        Contacts,
        Companies,
        Notes
    };

    virtual ~AddressBookItem() = default;
    virtual Kind kind() const = 0;
    // The empty text for a field the item does not have.
    virtual QString field(Field which) const = 0;
    // False for a field the item does not have.
    virtual bool setField(Field which, const QString& value) = 0;
    // Writes the item into its folder; on failure *error says why.
    virtual bool save(QString* error = nullptr) = 0;
    // Where the item was saved last (empty before its first save).
    virtual QString fileName() const = 0;
    // The item's UID, where its address book gives one.
    virtual QString uid() const { return QString(); }
    // What tells this item from others of its address book (empty before its first save).
    virtual QString key() const { return fileName(); }
    // True when another program changed the item since it was read or saved.
    virtual bool changedElsewhere() const { return false; }
    // The item as its address book holds it now; false when it is no longer there.
    virtual bool reload() { return false; }
};
