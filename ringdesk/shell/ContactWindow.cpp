#include "shell/ContactWindow.h"

#include "addressbook/ContactItem.h"
#include "shell/Dialogs.h"
#include "ui_ContactWindow.h"

#include <QMessageBox>

using Field = AddressBookItem::Field;

ContactWindow::ContactWindow(std::shared_ptr<AddressBookItem> item, QWidget* parent)
    : ItemWindow(std::move(item), QStringLiteral("contact"), parent),
      m_ui(std::make_unique<Ui::ContactWindow>())
{
    m_ui->setupUi(this);
    m_bindings = {{Field::FirstName, m_ui->firstNameField, {}},
                  {Field::LastName, m_ui->lastNameField, {}},
                  {Field::Company, m_ui->companyField, {}},
                  {Field::WorkPhone, m_ui->workPhoneField, {}}};
    fill();
    connectButtons(m_ui->saveButton, m_ui->closeButton);
}

ContactWindow::~ContactWindow() = default;

void ContactWindow::fill()
{
    for (Binding& binding : m_bindings) {
        binding.shown = m_item->field(binding.field);
        binding.edit->setText(binding.shown);
    }
    const QString full =
        (m_ui->firstNameField->text() + u' ' + m_ui->lastNameField->text()).trimmed();
    setWindowTitle(full.isEmpty() ? QStringLiteral("Untitled - Contact") : full + " - Contact");
}

bool ContactWindow::unsaved() const
{
    if (m_item->fileName().isEmpty())
        return true;
    for (const Binding& binding : m_bindings)
        if (binding.edit->text() != binding.shown)
            return true;
    return false;
}

bool ContactWindow::readyToSave()
{
    AddressBookItem* contact = m_item.get();
    if (!contact->changedElsewhere())
        return true;
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
    // Overwrite means the user's changes, not the card as it was read: what the other program
    // changed in fields the user left alone stays. A card gone from its file is written again as
    // it was read.
    contact->reload();
    return true;
}

void ContactWindow::takeFields()
{
    for (const Binding& binding : std::as_const(m_bindings)) {
        if (binding.edit->text() != binding.shown)
            m_item->setField(binding.field, binding.edit->text());
    }
}
