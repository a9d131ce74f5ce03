#pragma once

#include <QString>
#include <memory>

class OutlookItem;

// Shows an item in a window of its own; the desktop program provides it. An item the user asked
// for comes forward with the keyboard; one a call opens appears without taking it from whatever
// the user is typing in.
class ItemViewer
{
public:
    virtual ~ItemViewer() = default;
    virtual void show(const std::shared_ptr<OutlookItem>& item, bool askedByUser) = 0;
};

// An address-book item whose named properties are read and written, saved and displayed, as the
// call handling asks of contacts and journal entries. Failures are results, never exceptions.
class OutlookItem
{
public:
    enum Kind
    {
        Contact = 2,
        Journal = 4
    };

    virtual ~OutlookItem() = default;
    virtual Kind kind() const = 0;
    // The empty text for a property the item does not have.
    virtual QString property(const QString& name) const = 0;
    // False for a property the item does not have.
    virtual bool setProperty(const QString& name, const QString& value) = 0;
    // Writes the item into its folder; on failure *error says why.
    virtual bool Save(QString* error = nullptr) = 0;
    // Where the item was saved last (empty before its first save).
    virtual QString fileName() const = 0;
};
