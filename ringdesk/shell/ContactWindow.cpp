#include "shell/ContactWindow.h"

#include "addressbook/ContactItem.h"
#include "shell/Dialogs.h"
#include "ui_ContactWindow.h"

#include <QMessageBox>

namespace {
const char* const fields[] = {"FirstName", "LastName", "CompanyName", "BusinessTelephoneNumber"};
}

ContactWindow::ContactWindow(std::shared_ptr<OutlookItem> item, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::ContactWindow>()),
      m_item(std::move(item))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    fill();
    connect(m_ui->SaveClose, &QPushButton::clicked, this, &ContactWindow::saveAndClose);
    connect(m_ui->CloseButton, &QPushButton::clicked, this, &QWidget::close);
}

ContactWindow::~ContactWindow() = default;

void ContactWindow::fill()
{
    m_shown.clear();
    for (const char* name : fields) {
        const QString value = m_item->property(QLatin1String(name));
        findChild<QLineEdit*>(QLatin1String(name))->setText(value);
        m_shown << value;
    }
    const QString full = (m_ui->FirstName->text() + u' ' + m_ui->LastName->text()).trimmed();
    setWindowTitle(full.isEmpty() ? QStringLiteral("Untitled - Contact") : full + " - Contact");
}

bool ContactWindow::saveAndClose()
{
    auto* contact = dynamic_cast<ContactItem*>(m_item.get());
    if (contact && contact->changedOnDisk()) {
        const int choice = Dialogs::choice(
            this, windowTitle(),
            QStringLiteral("This contact was changed by another program since it was opened."),
            {QStringLiteral("&Reload"), QStringLiteral("&Overwrite"), QStringLiteral("Cancel")});
        if (choice == 0) {
            if (!contact->reload())
                QMessageBox::warning(this, windowTitle(),
                                     QStringLiteral("The contact is no longer in its file."));
            fill();
            return false;
        }
        if (choice != 1)
            return false;
        // Overwrite means the user's changes, not the card as it was read: what the other
        // program changed in fields the user left alone stays. A card gone from its file is
        // written again as it was read.
        contact->reload();
    }
    int i = 0;
    for (const char* name : fields) {
        const QString text = findChild<QLineEdit*>(QLatin1String(name))->text();
        if (text != m_shown.at(i++))
            m_item->setProperty(QLatin1String(name), text);
    }
    QString error;
    if (!m_item->Save(&error)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The contact could not be saved: %1").arg(error));
        return false;
    }
    close();
    return true;
}
