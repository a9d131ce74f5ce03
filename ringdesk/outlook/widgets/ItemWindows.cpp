#include "ItemWindows.h"

#include "ContactWindow.h"
#include "JournalWindow.h"

void ItemWindows::show(const std::shared_ptr<OutlookItem>& item)
{
    QWidget* window = nullptr;
    if (item->kind() == OutlookItem::Contact)
        window = new ContactWindow(item);
    else
        window = new JournalWindow(item);
    window->show();
    window->raise();
    window->activateWindow();
}
