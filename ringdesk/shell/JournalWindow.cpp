#include "shell/JournalWindow.h"

#include "addressbook/JournalItem.h"
#include "ui_JournalWindow.h"

#include <QLocale>

using Field = AddressBookItem::Field;

JournalWindow::JournalWindow(std::shared_ptr<AddressBookItem> item, QWidget* parent)
    : ItemWindow(std::move(item), QStringLiteral("journal entry"), parent),
      m_ui(std::make_unique<Ui::JournalWindow>())
{
    m_ui->setupUi(this);
    fill();
    for (QLineEdit* field :
         {m_ui->subjectField, m_ui->typeField, m_ui->contactsField, m_ui->companiesField})
        connect(field, &QLineEdit::textEdited, this, [this] { m_touched = true; });
    connect(m_ui->notesField, &QPlainTextEdit::textChanged, this, [this] {
        if (m_ui->notesField->hasFocus())
            m_touched = true;
    });
    connectButtons(m_ui->saveButton, m_ui->discardButton);
}

JournalWindow::~JournalWindow() = default;

void JournalWindow::setItem(std::shared_ptr<AddressBookItem> item)
{
    m_item = std::move(item);
    fill();
    m_touched = false;
}

void JournalWindow::fill()
{
    m_ui->subjectField->setText(m_item->field(Field::Subject));
    m_ui->typeField->setText(m_item->field(Field::Type));
    m_ui->contactsField->setText(m_item->field(Field::Contacts));
    m_ui->companiesField->setText(m_item->field(Field::Companies));
    m_ui->notesField->setPlainText(m_item->field(Field::Notes));
    if (auto* journal = dynamic_cast<JournalItem*>(m_item.get()))
        m_ui->startField->setText(
            QLocale().toString(journal->start().toLocalTime(), QLocale::LongFormat));
    const QString subject = m_ui->subjectField->text().trimmed();
    setWindowTitle((subject.isEmpty() ? QStringLiteral("Untitled") : subject) +
                   QStringLiteral(" - Journal Entry"));
}

void JournalWindow::takeFields()
{
    m_item->setField(Field::Subject, m_ui->subjectField->text());
    m_item->setField(Field::Type, m_ui->typeField->text());
    m_item->setField(Field::Contacts, m_ui->contactsField->text());
    m_item->setField(Field::Companies, m_ui->companiesField->text());
    m_item->setField(Field::Notes, m_ui->notesField->toPlainText());
}
