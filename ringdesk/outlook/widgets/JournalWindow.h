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

private:
    std::unique_ptr<Ui::JournalWindow> m_ui;
    std::shared_ptr<OutlookItem> m_item;
};
