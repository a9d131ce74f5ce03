#pragma once

#include "addressbook/AddressBookItem.h"

#include <QWidget>
#include <memory>

class QAbstractButton;

// A window of its own for one address-book item, not modal. "Save & Close" writes the item into
// its folder (and says so when it cannot); the other button leaves it as it is.
class ItemWindow : public QWidget
{
    Q_OBJECT
public:
    ~ItemWindow() override;

    const std::shared_ptr<AddressBookItem>& item() const { return m_item; }
    bool saveAndClose();
    // Whether closing the window would lose something: an item never saved, or the user's
    // changes.
    virtual bool unsaved() const = 0;

protected:
    // `what` names the item in messages: "contact", "journal entry".
    ItemWindow(std::shared_ptr<AddressBookItem> item, const QString& what, QWidget* parent);
    // The buttons, once the subclass has laid out its window.
    void connectButtons(QAbstractButton* save, QAbstractButton* leave);

    // Shows the item's fields.
    virtual void fill() = 0;
    // False when saving should not go on (the user chose to go back to the window).
    virtual bool readyToSave() { return true; }
    // What the user changed, into the item.
    virtual void takeFields() = 0;

    std::shared_ptr<AddressBookItem> m_item;

private:
    QString m_what;
};
