#pragma once

#include <memory>

class AddressBookItem;

// Shows an item in a window of its own; the desktop program provides it. An item the user asked
// for comes forward with the keyboard; one a call opens appears without taking it from whatever
// the user is typing in.
class ItemViewer
{
public:
    virtual ~ItemViewer() = default;
    virtual void show(const std::shared_ptr<AddressBookItem>& item, bool askedByUser) = 0;
};
