#include "shell/ItemWindows.h"

#include "addressbook/ContactItem.h"
#include "shell/ContactWindow.h"
#include "shell/JournalWindow.h"

#include <QTimer>

namespace {

// Asked for, a window comes forward with the keyboard; opened by a call, it only appears.
void present(QWidget* window, bool askedByUser)
{
    window->setAttribute(Qt::WA_ShowWithoutActivating, !askedByUser);
    window->show();
    if (!askedByUser)
        return;
    window->raise();
    window->activateWindow();
}

template <typename Window> int alive(const QHash<QString, QPointer<Window>>& windows)
{
    int count = 0;
    for (const QPointer<Window>& window : windows)
        count += window ? 1 : 0;
    return count;
}

} // namespace

void ItemWindows::show(const std::shared_ptr<AddressBookItem>& item, bool askedByUser)
{
    if (askedByUser)
        showNow(item, true);
    else
        QTimer::singleShot(0, this, [this, item] { showNow(item, false); });
}

void ItemWindows::showNow(const std::shared_ptr<AddressBookItem>& item, bool askedByUser)
{
    m_contacts.removeIf([](const auto& entry) { return entry.value().isNull(); });
    m_journals.removeIf([](const auto& entry) { return entry.value().isNull(); });
    if (item->kind() == AddressBookItem::Contact) {
        const QString key = item->key();
        if (!key.isEmpty()) {
            if (ContactWindow* open = m_contacts.value(key)) {
                present(open, askedByUser);
                return;
            }
        }
        auto* window = new ContactWindow(item);
        if (!key.isEmpty())
            m_contacts.insert(key, window);
        present(window, askedByUser);
        return;
    }
    const QString key = item->field(AddressBookItem::Field::Contacts).toCaseFolded();
    if (JournalWindow* open = m_journals.value(key)) {
        if (!open->touched())
            open->setItem(item);
        present(open, askedByUser);
        return;
    }
    auto* window = new JournalWindow(item);
    m_journals.insert(key, window);
    present(window, askedByUser);
}

int ItemWindows::contactWindows() const
{
    return alive(m_contacts);
}

QList<ItemWindow*> ItemWindows::unsaved() const
{
    QList<ItemWindow*> windows;
    for (const QPointer<ContactWindow>& window : m_contacts)
        if (window && window->unsaved())
            windows << window;
    for (const QPointer<JournalWindow>& window : m_journals)
        if (window && window->unsaved())
            windows << window;
    return windows;
}

int ItemWindows::journalWindows() const
{
    return alive(m_journals);
}
