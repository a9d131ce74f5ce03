#include "shell/MainWindow.h"

#include "common/Conversions.h"
#include "common/SettingsTable.h"

#include "common/CaptionFit.h"
#include "shell/Dialogs.h"
#include "shell/HelpWindow.h"
#include "shell/ItemWindows.h"
#include "ui_Form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QStyleHints>

namespace {

// The layout's allowance for title bar and borders (outer 6330 twips around a 5895 twips client).
constexpr int DesignDecorationTwips = 435;

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::Form1>()), m_monitor(*this)
{
    m_ui->setupUi(this);
    setWindowIcon(windowIconImage());
    setFixedWidth(width());
    m_ui->Image1->setPixmap(QIcon(QStringLiteral(":/icons/modem.svg")).pixmap(64, 32));
    m_ui->Picture1->setIcon(QIcon(QStringLiteral(":/icons/search-number.svg")));
    m_ui->Picture2->setIcon(QIcon(QStringLiteral(":/icons/search-name.svg")));
    m_ui->Label2->setText(QStringLiteral("Ringwatch %1\nfor Linux").arg(QStringLiteral("0.1")));
    m_ui->ModemEvents->setModel(&m_monitor.state.ModemEvents);
    m_ui->Calllog->setModel(&m_monitor.state.Calllog);
    m_ui->Frame3->hide();
    // The product line is set in its own small face.
    QFont small = m_ui->Label2->font();
    small.setPointSizeF(6.75);
    m_ui->Label2->setFont(small);
    fitCaptions(this, {QStringLiteral("Label2")});
    m_statusPointSize = m_ui->SystemMessage->font().pointSizeF();
    // A window of fixed size has nothing to maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // Enter and the first key go to "&Minimize", not into a field.
    m_ui->Command9->setFocus();
    // A blinking caret would wake the program twice a second for as long as it waits for a
    // ring; the caret stands still instead, in every window of the program.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    m_ui->Image1->installEventFilter(this);
    m_ui->NameLabel->installEventFilter(this);
    m_monitor.addressBook.setViewer(&m_itemWindows);
    connect(
        &m_monitor.processor, &CallProcessor::callProcessed, this, [this](const CallRecord& call) {
            if (m_notifications && Conversions::numericEquals(Settings::Notify.read(), 1))
                m_notifier.notify(call, call.contactFound ? m_monitor.outlook.lastFound : nullptr);
        });
    connect(&m_notifier, &DesktopNotifier::showRequested, this, &MainWindow::MaximizeCallIDForm);
    m_notifier.openContact = [this](const std::shared_ptr<OutlookItem>& item) {
        m_monitor.addressBook.display(item, true);
    };
    bindState();
    bindCommands();
}

MainWindow::~MainWindow() = default;

QIcon MainWindow::windowIconImage()
{
    static const QIcon icon(QStringLiteral(":/icons/ringdesk.svg"));
    return icon;
}

QIcon MainWindow::modemOffIcon()
{
    static const QIcon icon(QStringLiteral(":/icons/modem-off.svg"));
    return icon;
}

QCheckBox* MainWindow::checkBox(int number) const
{
    QCheckBox* const boxes[] = {m_ui->Check1, m_ui->Check2, m_ui->Check3, m_ui->Check4,
                                m_ui->Check5, m_ui->Check6, m_ui->Check7, m_ui->Check8};
    return boxes[number - 1];
}

void MainWindow::bindState()
{
    MonitorState& s = m_monitor.state;
    QLineEdit* const fields[] = {m_ui->CallIDDate, m_ui->CallIDTime, m_ui->CallIDNumber,
                                 m_ui->CallIDName, m_ui->SystemMessage};
    connect(&s, &MonitorState::fieldChanged, this,
            [this, fields](MonitorState::Field which, const QString& text) {
                if (which == MonitorState::NameLabel) {
                    m_ui->NameLabel->setText(text);
                    return;
                }
                if (fields[which]->text() != text) {
                    fields[which]->setText(text);
                    // Show a long text from its start, not scrolled to its end.
                    fields[which]->setCursorPosition(0);
                }
                if (which == MonitorState::SystemMessage) {
                    fitText(m_ui->SystemMessage, m_statusPointSize);
                    m_tray.SetTrayTip(text);
                }
            });
    connect(m_ui->CallIDNumber, &QLineEdit::textEdited, &s,
            [&s](const QString& text) { s.setField(MonitorState::CallIDNumber, text); });
    connect(m_ui->CallIDName, &QLineEdit::textEdited, &s,
            [&s](const QString& text) { s.setField(MonitorState::CallIDName, text); });

    for (int number = 1; number <= 8; ++number) {
        QCheckBox* box = checkBox(number);
        connect(box, &QCheckBox::toggled, &s,
                [&s, number](bool checked) { s.setCheck(number, checked ? 1 : 0); });
        box->setEnabled(s.checkEnabled(number));
    }
    connect(&s, &MonitorState::checkShown, this, [this](int number, int value) {
        QCheckBox* box = checkBox(number);
        box->setChecked(value == 1);
        // Drawn now: the action that follows may keep the event loop busy for a while.
        box->repaint();
    });
    connect(&s, &MonitorState::checkEnabledChanged, this,
            [this](int number, bool enabled) { checkBox(number)->setEnabled(enabled); });

    connect(m_ui->Option1, &QRadioButton::toggled, &s, [&s](bool on) { s.setOption(1, on); });
    connect(m_ui->Option2, &QRadioButton::toggled, &s, [&s](bool on) { s.setOption(2, on); });
    connect(&s, &MonitorState::optionSelected, this, &MainWindow::showOption);
    connect(&s, &MonitorState::controlChanged, this, &MainWindow::showControl);

    // The newest line is the one worth seeing.
    connect(&s.ModemEvents, &QAbstractItemModel::rowsInserted, m_ui->ModemEvents,
            &QListView::scrollToBottom);
    connect(&s.Calllog, &QAbstractItemModel::rowsInserted, m_ui->Calllog,
            &QListView::scrollToBottom);
}

void MainWindow::showOption(int number)
{
    const bool log = number == 2;
    m_ui->Option1->setChecked(!log);
    m_ui->Option2->setChecked(log);
    m_ui->Frame2->setVisible(!log);
    m_ui->Frame3->setVisible(log);
    m_ui->Command2->setText(log ? QStringLiteral("&Clear Log") : QStringLiteral("&Clear Events"));
}

void MainWindow::showControl(MonitorState::Control which)
{
    QWidget* const controls[] = {m_ui->Command3, m_ui->Command4, m_ui->Command8, m_ui->Picture1,
                                 m_ui->Picture2};
    controls[which]->setEnabled(state().controlEnabled(which));
    controls[which]->setVisible(state().controlVisible(which));
}

void MainWindow::bindCommands()
{
    connect(m_ui->Command9, &QPushButton::clicked, this, &MainWindow::MinimizeCallIDForm);
    connect(m_ui->Command10, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui->Command12, &QPushButton::clicked, this,
            [this] { showDetails(m_ui->Command12->text() == QLatin1String("&Details >>")); });
    connect(m_ui->Command1, &QPushButton::clicked, this,
            [this] { showHelp(QStringLiteral("contents")); });
    connect(m_ui->Command2, &QPushButton::clicked, this, [this] {
        if (state().option(1)) {
            state().ModemEvents.setStringList({});
            return;
        }
        if (Dialogs::question(this, QStringLiteral("Clear Log"),
                              QStringLiteral("Permanently Delete Your Log File, Are You Sure ?")) ==
            QMessageBox::Yes)
            m_monitor.logFile.ClearCallLog();
    });

    connect(m_ui->Command4, &QPushButton::clicked, this, [this] {
        state().ComPort = QStringLiteral("0");
        m_monitor.search.SearchModems();
    });

    connect(m_ui->Picture1, &QToolButton::clicked, this,
            [this] { offerCreation(m_monitor.outlook.SearchByNumber()); });
    connect(m_ui->Picture2, &QToolButton::clicked, this,
            [this] { offerCreation(m_monitor.outlook.SearchByName()); });
    connect(m_ui->Command3, &QPushButton::clicked, this,
            [this] { m_monitor.outlook.createForUser(QStringLiteral("Contact"), QString()); });
    connect(m_ui->Command8, &QPushButton::clicked, this,
            [this] { m_monitor.outlook.createForUser(QStringLiteral("Journal"), QString()); });

    connect(m_tray.EnableCallID, &QAction::triggered, this, [this] { state().setCheck(1, 1); });
    connect(m_tray.DisableCallID, &QAction::triggered, this, [this] { state().setCheck(1, 0); });
    connect(m_tray.MaximizeCallID, &QAction::triggered, this, &MainWindow::MaximizeCallIDForm);
    connect(&m_tray, &TrayIcon::contextRequested, this, &MainWindow::SysTrayMouseEventHandler);
    connect(&m_tray, &TrayIcon::doubleClicked, this, &MainWindow::MaximizeCallIDForm);
}

void MainWindow::showDetails(bool shown)
{
    m_ui->Command12->setText(shown ? QStringLiteral("No &Details") : QStringLiteral("&Details >>"));
    m_ui->Frame4->setVisible(shown);
    setOuterHeight(shown ? 6330 : 2325);
}

void MainWindow::setOuterHeight(int twips)
{
    // Window managers draw frames of every size, and report them only once a window is shown;
    // the layout's own allowance keeps both heights the same wherever the window runs.
    m_outerHeight = twips;
    setFixedHeight((twips - DesignDecorationTwips) / 15);
}

void MainWindow::showHelp(const QString& topic)
{
    if (!m_help)
        m_help = std::make_unique<HelpWindow>();
    m_help->showTopic(topic);
}

void MainWindow::checkNotifications()
{
    if (!Conversions::numericEquals(Settings::Notify.read(), 1))
        return;
    m_notifications = DesktopNotifier::serviceAvailable();
    if (!m_notifications)
        state().appendEvent(QStringLiteral("[No desktop notifications: the session has no "
                                           "notification service]"));
}

void MainWindow::MinimizeCallIDForm()
{
    // Without a notification area a hidden window could never be brought back: the task bar
    // serves instead, until an area appears.
    m_placeBeforeTray = pos();
    if (state().check(7) == 1 && QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray.HookWindow(this);
        m_tray.AddTrayIcon(this, windowIcon().cacheKey(), windowIcon(),
                           TrayIcon::tipFor(state().field(MonitorState::SystemMessage)));
        hide();
        if (state().check(1) == 0)
            m_tray.SetTrayIconImage(modemOffIcon());
        setWindowState(windowState() | Qt::WindowMinimized);
        return;
    }
    showMinimized();
}

void MainWindow::MaximizeCallIDForm()
{
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    if (state().check(7) == 1 || !isVisible()) {
        m_tray.UnhookWindow();
        // Back where it was, not wherever the window manager puts a window it sees anew.
        if (!isVisible() && m_placeBeforeTray)
            move(*m_placeBeforeTray);
        show();
        m_tray.DeleteTrayIcon();
    }
    raise();
    activateWindow();
}

void MainWindow::SetTrayIconImage(TrayImage image)
{
    m_tray.SetTrayIconImage(image == TrayImage::Window ? windowIcon() : modemOffIcon());
}

void MainWindow::SetCallIDMenuChecks(bool enabled)
{
    m_tray.EnableCallID->setChecked(enabled);
    m_tray.DisableCallID->setChecked(!enabled);
}

void MainWindow::Beep()
{
    QApplication::beep();
}

void MainWindow::ShowModemError(const QStringList& details)
{
    Dialogs::modemError(
        this, [this] { showHelp(QStringLiteral("modem")); }, details);
}

void MainWindow::SysTrayMouseEventHandler()
{
    if (isVisible()) {
        raise();
        activateWindow();
    }
    m_tray.RCPopup.popup(QCursor::pos());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit unloadRequested();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // Enter that the focused control did not use runs the default button, "&Minimize".
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_ui->Command9->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::offerCreation(bool found)
{
    if (found)
        return;
    const QString text = m_monitor.outlook.offerText() +
                         QStringLiteral(" doesn't exist in your Contacts.  Do you want to create?");
    if (Dialogs::question(this, QStringLiteral("Create Contact"), text) != QMessageBox::Yes)
        return;
    const bool person = state().field(MonitorState::NameLabel) == QLatin1String("Name");
    m_monitor.outlook.createForUser(QStringLiteral("Contact"),
                                    person ? QStringLiteral("Name") : QStringLiteral("Company"));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->NameLabel && event->type() == QEvent::MouseButtonRelease) {
        const bool name = state().field(MonitorState::NameLabel) == QLatin1String("Name");
        state().setField(MonitorState::NameLabel,
                         name ? QStringLiteral("Company") : QStringLiteral("Name"));
        return true;
    }
    if (watched == m_ui->Image1 && event->type() == QEvent::MouseButtonDblClick) {
        state().setCheck(1, state().check(1) == 0 ? 1 : 0);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
