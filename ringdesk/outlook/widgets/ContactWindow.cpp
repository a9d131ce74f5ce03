#include "ContactWindow.h"

#include "OutlookItem.h"
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
    for (const char* name : fields)
        findChild<QLineEdit*>(QLatin1String(name))->setText(m_item->property(QLatin1String(name)));
    const QString full = (m_ui->FirstName->text() + u' ' + m_ui->LastName->text()).trimmed();
    setWindowTitle(full.isEmpty() ? QStringLiteral("Untitled - Contact") : full + " - Contact");
    connect(m_ui->SaveClose, &QPushButton::clicked, this, &ContactWindow::saveAndClose);
    connect(m_ui->CloseButton, &QPushButton::clicked, this, &QWidget::close);
}

ContactWindow::~ContactWindow() = default;

bool ContactWindow::saveAndClose()
{
    for (const char* name : fields)
        m_item->setProperty(QLatin1String(name),
                            findChild<QLineEdit*>(QLatin1String(name))->text());
    QString error;
    if (!m_item->Save(&error)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The contact could not be saved: %1").arg(error));
        return false;
    }
    close();
    return true;
}
