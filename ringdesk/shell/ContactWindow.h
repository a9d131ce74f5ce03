#pragma once

#include <QWidget>
#include <memory>

class OutlookItem;
namespace Ui {
class ContactWindow;
}

// A contact's card, not modal: first and last name, company and business phone.
// "Save & Close" writes what the user changed into the contact's file, and nothing else; when
// another program changed the file since the card was read, the user chooses to reload it,
// overwrite it (the fields the user changed, onto the card as it is now), or go back to the
// window. "Close" leaves the contact as it is.
class ContactWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ContactWindow(std::shared_ptr<OutlookItem> item, QWidget* parent = nullptr);
    ~ContactWindow() override;

    Ui::ContactWindow& ui() { return *m_ui; }
    bool saveAndClose();

private:
    void fill();

    std::unique_ptr<Ui::ContactWindow> m_ui;
    std::shared_ptr<OutlookItem> m_item;
    QStringList m_shown; // the values as filled in, to tell what the user changed
};
