#pragma once

#include "shell/ItemWindow.h"

#include <QList>

class QLineEdit;
namespace Ui {
class ContactWindow;
}

// A contact's card: first and last name, company and business phone. "Save & Close" writes what
// the user changed into the contact's file, and nothing else; when another program changed the
// file since the card was read, the user chooses to reload it, overwrite it (the fields the user
// changed, onto the card as it is now), or go back to the window. "Close" leaves the contact as
// it is.
class ContactWindow : public ItemWindow
{
    Q_OBJECT
public:
    explicit ContactWindow(std::shared_ptr<AddressBookItem> item, QWidget* parent = nullptr);
    ~ContactWindow() override;

    Ui::ContactWindow& ui() { return *m_ui; }

    bool unsaved() const override;

protected:
    void fill() override;
    bool readyToSave() override;
    void takeFields() override;

private:
    struct Binding
    {
        AddressBookItem::Field field;
        QLineEdit* edit;
        QString shown; // as filled in, to tell what the user changed
    };

    std::unique_ptr<Ui::ContactWindow> m_ui;
    QList<Binding> m_bindings;
};
