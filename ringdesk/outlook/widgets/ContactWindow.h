#pragma once

#include <QWidget>
#include <memory>

class OutlookItem;
namespace Ui {
class ContactWindow;
}

// A contact's card, not modal: first and last name, company and business phone.
// "Save & Close" writes the contact into its folder; "Close" leaves it as it is.
class ContactWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ContactWindow(std::shared_ptr<OutlookItem> item, QWidget* parent = nullptr);
    ~ContactWindow() override;

    Ui::ContactWindow& ui() { return *m_ui; }
    bool saveAndClose();

private:
    std::unique_ptr<Ui::ContactWindow> m_ui;
    std::shared_ptr<OutlookItem> m_item;
};
