#include "shell/MessagesWindow.h"

#include "ui_MessagesWindow.h"

#include <QDateTime>
#include <QFile>

MessagesWindow::MessagesWindow(CallHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::MessagesWindow>()), m_history(history)
{
    m_ui->setupUi(this);
    connect(m_ui->playButton, &QPushButton::clicked, this, [this] {
        const QString file = selectedFile();
        if (file.isEmpty())
            return;
        if (play)
            play(file);
        m_history.setHeard(file);
    });
    connect(m_ui->stopButton, &QPushButton::clicked, this, [this] {
        if (stop)
            stop();
    });
    connect(m_ui->heardButton, &QPushButton::clicked, this, [this] {
        if (const QString file = selectedFile(); !file.isEmpty())
            m_history.setHeard(file);
    });
    connect(m_ui->deleteButton, &QPushButton::clicked, this, [this] {
        const QString file = selectedFile();
        if (file.isEmpty())
            return;
        if (stop)
            stop();
        QFile::remove(file);
        m_history.removeMessage(file);
    });
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui->messageList, &QTreeWidget::itemDoubleClicked, m_ui->playButton,
            &QPushButton::click);
    connect(&m_history, &CallHistory::changed, this, [this] {
        if (isVisible())
            refresh();
    });
    refresh();
}

MessagesWindow::~MessagesWindow() = default;

void MessagesWindow::refresh()
{
    const QString selected = selectedFile();
    m_ui->messageList->clear();
    const QList<CallHistory::Message> messages = m_history.messages();
    for (auto message = messages.crbegin(); message != messages.crend(); ++message) {
        if (message->seconds <= 0)
            continue; // still being recorded
        const QString caller = !message->contact.isEmpty()  ? message->contact
                               : !message->name.isEmpty()   ? message->name
                               : !message->number.isEmpty() ? message->number
                                                            : QStringLiteral("Unknown caller");
        const QDateTime when = QDateTime::fromString(message->received, Qt::ISODate).toLocalTime();
        auto* row = new QTreeWidgetItem(m_ui->messageList,
                                        {QLocale().toString(when, QLocale::ShortFormat), caller,
                                         QStringLiteral("%1:%2")
                                             .arg(message->seconds / 60)
                                             .arg(message->seconds % 60, 2, 10, QChar(u'0'))});
        row->setData(0, Qt::UserRole, message->file);
        if (!message->heard) {
            QFont bold = row->font(0);
            bold.setBold(true);
            for (int column = 0; column < 3; ++column)
                row->setFont(column, bold);
        }
        if (message->file == selected)
            m_ui->messageList->setCurrentItem(row);
    }
    if (!m_ui->messageList->currentItem() && m_ui->messageList->topLevelItemCount() > 0)
        m_ui->messageList->setCurrentItem(m_ui->messageList->topLevelItem(0));
}

QString MessagesWindow::selectedFile() const
{
    const QTreeWidgetItem* row = m_ui->messageList->currentItem();
    return row ? row->data(0, Qt::UserRole).toString() : QString();
}
