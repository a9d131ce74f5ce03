#include "shell/JournalWindow.h"

#include "addressbook/JournalItem.h"
#include "ui_JournalWindow.h"

#include <QLocale>
#include <QMessageBox>

JournalWindow::JournalWindow(std::shared_ptr<OutlookItem> item, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::JournalWindow>()),
      m_item(std::move(item))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    fill();
    for (QLineEdit* field : {m_ui->Subject, m_ui->Type, m_ui->ContactNames, m_ui->Companies})
        connect(field, &QLineEdit::textEdited, this, [this] { m_touched = true; });
    connect(m_ui->Body, &QPlainTextEdit::textChanged, this, [this] {
        if (m_ui->Body->hasFocus())
            m_touched = true;
    });
    connect(m_ui->SaveClose, &QPushButton::clicked, this, &JournalWindow::saveAndClose);
    connect(m_ui->Discard, &QPushButton::clicked, this, &QWidget::close);
}

void JournalWindow::setItem(std::shared_ptr<OutlookItem> item)
{
    m_item = std::move(item);
    fill();
    m_touched = false;
}

void JournalWindow::fill()
{
    m_ui->Subject->setText(m_item->property(QStringLiteral("Subject")));
    m_ui->Type->setText(m_item->property(QStringLiteral("Type")));
    m_ui->ContactNames->setText(m_item->property(QStringLiteral("ContactNames")));
    m_ui->Companies->setText(m_item->property(QStringLiteral("Companies")));
    m_ui->Body->setPlainText(m_item->property(QStringLiteral("Body")));
    if (auto* journal = dynamic_cast<JournalItem*>(m_item.get()))
        m_ui->Start->setText(
            QLocale().toString(journal->start().toLocalTime(), QLocale::LongFormat));
    const QString subject = m_ui->Subject->text().trimmed();
    setWindowTitle((subject.isEmpty() ? QStringLiteral("Untitled") : subject) +
                   QStringLiteral(" - Journal Entry"));
}

JournalWindow::~JournalWindow() = default;

bool JournalWindow::saveAndClose()
{
    m_item->setProperty(QStringLiteral("Subject"), m_ui->Subject->text());
    m_item->setProperty(QStringLiteral("Type"), m_ui->Type->text());
    m_item->setProperty(QStringLiteral("ContactNames"), m_ui->ContactNames->text());
    m_item->setProperty(QStringLiteral("Companies"), m_ui->Companies->text());
    m_item->setProperty(QStringLiteral("Body"), m_ui->Body->toPlainText());
    QString error;
    if (!m_item->Save(&error)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The journal entry could not be saved: %1").arg(error));
        return false;
    }
    close();
    return true;
}
