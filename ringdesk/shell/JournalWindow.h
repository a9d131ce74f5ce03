#pragma once

#include "shell/ItemWindow.h"

namespace Ui {
class JournalWindow;
}

// A journal entry: subject, type, contacts, companies, start and notes. The entry reaches the
// journal folder only by "Save & Close"; "Discard" drops it.
class JournalWindow : public ItemWindow
{
    Q_OBJECT
public:
    explicit JournalWindow(std::shared_ptr<AddressBookItem> item, QWidget* parent = nullptr);
    ~JournalWindow() override;

    Ui::JournalWindow& ui() { return *m_ui; }

    // True once the user changed anything in the window.
    bool touched() const { return m_touched; }
    // Shows another entry in place of this one (meant for an untouched window).
    void setItem(std::shared_ptr<AddressBookItem> item);

    // An entry reaches the journal only when saved: an open one is always unsaved.
    bool unsaved() const override { return true; }

protected:
    void fill() override;
    void takeFields() override;

private:
    bool m_touched = false;
    std::unique_ptr<Ui::JournalWindow> m_ui;
};
