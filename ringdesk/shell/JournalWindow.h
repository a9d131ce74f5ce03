#pragma once

#include <QWidget>
#include <memory>

class OutlookItem;
namespace Ui {
class JournalWindow;
}

// A journal entry, not modal: subject, type, contacts, companies, start and notes. The entry
// reaches the journal folder only by "Save & Close"; "Discard" drops it.
class JournalWindow : public QWidget
{
    Q_OBJECT
public:
    explicit JournalWindow(std::shared_ptr<OutlookItem> item, QWidget* parent = nullptr);
    ~JournalWindow() override;

    Ui::JournalWindow& ui() { return *m_ui; }
    bool saveAndClose();

    // True once the user changed anything in the window.
    bool touched() const { return m_touched; }
    // Shows another entry in place of this one (meant for an untouched window).
    void setItem(std::shared_ptr<OutlookItem> item);

private:
    void fill();

    bool m_touched = false;
    std::unique_ptr<Ui::JournalWindow> m_ui;
    std::shared_ptr<OutlookItem> m_item;
};
