#include "shell/ItemWindow.h"

#include <QAbstractButton>
#include <QMessageBox>

ItemWindow::ItemWindow(std::shared_ptr<AddressBookItem> item, const QString& what, QWidget* parent)
    : QWidget(parent, Qt::Window), m_item(std::move(item)), m_what(what)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

ItemWindow::~ItemWindow() = default;

void ItemWindow::connectButtons(QAbstractButton* save, QAbstractButton* leave)
{
    connect(save, &QAbstractButton::clicked, this, &ItemWindow::saveAndClose);
    connect(leave, &QAbstractButton::clicked, this, &QWidget::close);
}

bool ItemWindow::saveAndClose()
{
    if (!readyToSave())
        return false;
    takeFields();
    QString error;
    if (!m_item->save(&error)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The %1 could not be saved: %2").arg(m_what, error));
        return false;
    }
    close();
    return true;
}
