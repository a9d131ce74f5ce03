#include "shell/MainWindow.h"

#include "common/AppPaths.h"
#include "common/CommandLine.h"
#include "common/Conversions.h"
#include "common/SettingsTable.h"
#include "numbers/PhoneNumber.h"
#include "shell/Dialogs.h"
#include "shell/HelpWindow.h"
#include "shell/ItemWindow.h"
#include "ui_MainWindow.h"
#include "widgets/WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QStyle>
#include <QStyleHints>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <QVersionNumber>

namespace {

void followNewest(QAbstractItemModel& model, QListView* list)
{
    // The newest line is the one worth seeing. Scrolling lays the whole list out there and then,
    // and a call brings a dozen lines before it reaches the log: the list follows once the
    // lines of this pass are in.
    auto* const pending = new QTimer(list);
    pending->setSingleShot(true);
    pending->setInterval(0);
    QObject::connect(pending, &QTimer::timeout, list, &QListView::scrollToBottom);
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, pending, [pending] {
        if (!pending->isActive())
            pending->start();
    });
}

// Shows a line that the list cuts off in full as the tip of the pointer resting on it; lines
// that fit get none, so the list does not keep talking.
class WholeLineTips : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString line = index.data(Qt::DisplayRole).toString();
        const int room =
            view->viewport()->width() -
            2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, view);
        if (option.fontMetrics.horizontalAdvance(line) <= room) {
            QToolTip::hideText();
            return true;
        }
        QToolTip::showText(event->globalPos(), line, view);
        return true;
    }
};

} // namespace

using Box = MonitorState::Box;

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::MainWindow>()), m_monitor(*this),
      m_lists(m_monitor)
{
    m_ui->setupUi(this);
    setWindowIcon(windowIconImage());
    m_ui->modemImage->setPixmap(QIcon(QStringLiteral(":/icons/modem.svg")).pixmap(64, 32));
    m_ui->searchNumberButton->setIcon(QIcon(QStringLiteral(":/icons/search-number.svg")));
    m_ui->searchNameButton->setIcon(QIcon(QStringLiteral(":/icons/search-name.svg")));
    // The build's version, major and minor: the label's room is for a short one.
    const QVersionNumber version = QVersionNumber::fromString(CommandLine::version());
    m_ui->productLabel->setText(
        QStringLiteral("Ringwatch %1\nfor Linux")
            .arg(QVersionNumber(version.majorVersion(), version.minorVersion()).toString()));
    m_ui->eventList->setModel(&m_lists.eventList);
    m_ui->callList->setModel(&m_lists.callList);
    for (QListView* list : {m_ui->eventList, m_ui->callList})
        list->setItemDelegate(new WholeLineTips(list));
    m_ui->logGroup->hide();
    // The status line reads the modem's states whole, in whatever face the desktop uses; longer
    // texts (the broker's) start at their beginning and are whole in the tip.
    m_ui->statusField->setMinimumWidth(m_ui->statusField->fontMetrics().horizontalAdvance(
                                           QStringLiteral("Active... Waiting for a Ring")) +
                                       2 * m_ui->statusField->fontMetrics().averageCharWidth());
    // Its edges resize it; maximised, it would only stretch its fields across the screen.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // Enter and the first key go to "&Minimize", not into a field.
    m_ui->minimizeButton->setFocus();
    // A blinking caret would wake the program twice a second for as long as it waits for a
    // ring; the caret stands still instead, in every window of the program.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    m_ui->modemImage->installEventFilter(this);
    m_ui->nameLabel->installEventFilter(this);
    m_ui->statusField->installEventFilter(this);
    m_monitor.setItemViewer(&m_itemWindows);
    connect(&m_monitor, &Monitor::callHandled, this,
            [this](const CallRecord& call, const std::shared_ptr<AddressBookItem>& contact) {
                if (!call.blocked && !call.checking && m_notifications && Settings::Notify.isOn())
                    m_notifier.notify(call, contact);
            });
    connect(&m_monitor, &Monitor::newMessage, this,
            [this](const QString& text, const QString& file) {
                if (m_notifications && Settings::Notify.isOn())
                    m_notifier.notifyMessage(text, file);
            });
    // A message played is heard.
    connect(&m_notifier, &DesktopNotifier::playRequested, this, [this](const QString& file) {
        m_chime.play(file);
        m_monitor.calls().history().setHeard(file);
    });
    connect(&m_monitor.calls().history(), &CallHistory::changed, this, [this] {
        CallHistory& history = m_monitor.calls().history();
        m_tray.setUnheard(history.unheardMessages());
        if (!history.messages().isEmpty())
            m_tray.offerMessages();
    });
    connect(&m_tray, &TrayIcon::messagesRequested, this, [this] {
        if (!m_messages) {
            m_messages = std::make_unique<MessagesWindow>(m_monitor.calls().history());
            m_messages->play = [this](const QString& file) {
                m_chime.play(file);
            };
            m_messages->stop = [this] {
                m_chime.stop();
            };
        }
        m_messages->refresh();
        m_messages->show();
        m_messages->raise();
        m_messages->activateWindow();
    });
    connect(&m_notifier, &DesktopNotifier::showRequested, this, &MainWindow::bringBack);
    connect(&m_notifier, &DesktopNotifier::blockRequested, this,
            [this](const QString& number) { m_monitor.calls().block(number); });
    m_notifier.openContact = [this](const std::shared_ptr<AddressBookItem>& item) {
        m_monitor.showItem(item);
    };
    bindModel();
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

QCheckBox* MainWindow::checkBox(Box box) const
{
    QCheckBox* const boxes[] = {m_ui->modemEnabledBox,  m_ui->searchContactsBox,
                                m_ui->createContactBox, m_ui->maximizeOnRingBox,
                                m_ui->createJournalBox, m_ui->minimizeOnStartBox,
                                m_ui->useTrayBox,       m_ui->playSoundBox};
    return boxes[box];
}

void MainWindow::bindModel()
{
    MonitorState& m = m_monitor.state();
    QLineEdit* const fields[] = {m_ui->dateField, m_ui->timeField, m_ui->numberField,
                                 m_ui->nameField, m_ui->statusField};
    // A caller-ID block sets the fields line by line, and the call is logged in the same pass:
    // the window shows them once, when that pass is over.
    auto* const fieldsDue = new QTimer(this);
    fieldsDue->setSingleShot(true);
    fieldsDue->setInterval(0);
    connect(fieldsDue, &QTimer::timeout, this, [this, fields] {
        for (int which = 0; which < int(std::size(fields)); ++which) {
            if (!(m_fieldsDue & (1u << which)))
                continue;
            const QString text = state().field(MonitorState::Field(which));
            if (which == MonitorState::Status) {
                showStatus();
                m_ui->statusField->setToolTip(text);
                m_tray.setStatus(text);
                continue;
            }
            if (fields[which]->text() != text) {
                fields[which]->setText(text);
                // Show a long text from its start, not scrolled to its end.
                fields[which]->setCursorPosition(0);
            }
        }
        m_fieldsDue = 0;
    });
    connect(&m, &MonitorState::fieldChanged, this,
            [this, fieldsDue](MonitorState::Field which, const QString& text) {
                if (which == MonitorState::NameCaption) {
                    m_ui->nameLabel->setText(text);
                    return;
                }
                m_fieldsDue |= 1u << which;
                fieldsDue->start();
            });
    connect(m_ui->numberField, &QLineEdit::textEdited, &m,
            [&m](const QString& text) { m.setField(MonitorState::Number, text); });
    connect(m_ui->nameField, &QLineEdit::textEdited, &m,
            [&m](const QString& text) { m.setField(MonitorState::Name, text); });

    for (int i = 0; i < MonitorState::BoxCount; ++i) {
        const Box box = Box(i);
        connect(checkBox(box), &QCheckBox::toggled, &m, [this, box](bool checked) {
            if (box == Box::ModemEnabled)
                m_monitor.setModemEnabled(checked);
            else
                state().setBox(box, checked);
        });
        checkBox(box)->setEnabled(m.boxEnabled(box));
    }
    connect(&m, &MonitorState::boxShown, this,
            [this](Box box, bool ticked) { checkBox(box)->setChecked(ticked); });
    connect(&m, &MonitorState::boxEnabledChanged, this,
            [this](Box box, bool enabled) { checkBox(box)->setEnabled(enabled); });

    connect(m_ui->showEventsOption, &QRadioButton::toggled, &m, [&m](bool on) {
        if (on)
            m.setView(MonitorState::View::Events);
    });
    connect(m_ui->showLogOption, &QRadioButton::toggled, &m, [&m](bool on) {
        if (on)
            m.setView(MonitorState::View::Calls);
    });
    connect(&m, &MonitorState::viewChanged, this, &MainWindow::showView);
    connect(&m, &MonitorState::controlChanged, this, &MainWindow::showControl);

    followNewest(m_lists.eventList, m_ui->eventList);
    followNewest(m_lists.callList, m_ui->callList);
}

void MainWindow::showView(MonitorState::View view)
{
    const bool calls = view == MonitorState::View::Calls;
    m_ui->showEventsOption->setChecked(!calls);
    m_ui->showLogOption->setChecked(calls);
    m_ui->eventsGroup->setVisible(!calls);
    m_ui->logGroup->setVisible(calls);
    m_ui->clearButton->setText(calls ? QStringLiteral("&Clear Log")
                                     : QStringLiteral("&Clear Events"));
}

void MainWindow::showControl(MonitorState::Control which)
{
    QWidget* const controls[] = {m_ui->newContactButton, m_ui->findModemButton,
                                 m_ui->newJournalButton, m_ui->searchNumberButton,
                                 m_ui->searchNameButton};
    controls[which]->setEnabled(state().controlEnabled(which));
    controls[which]->setVisible(state().controlVisible(which));
}

void MainWindow::bindCommands()
{
    connect(m_ui->minimizeButton, &QPushButton::clicked, this, &MainWindow::minimize);
    connect(m_ui->exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui->detailsButton, &QPushButton::clicked, this,
            [this] { showDetails(m_ui->detailsButton->text() == QLatin1String("&Details >>")); });
    connect(m_ui->helpButton, &QPushButton::clicked, this,
            [this] { showHelp(QStringLiteral("contents")); });
    connect(m_ui->clearButton, &QPushButton::clicked, this, [this] {
        if (state().view() == MonitorState::View::Events) {
            m_monitor.events().clear();
            return;
        }
        if (Dialogs::question(this, QStringLiteral("Clear Log"),
                              QStringLiteral("Permanently Delete Your Log File, Are You Sure ?")) ==
            QMessageBox::Yes)
            m_lists.clearCalls();
    });

    connect(m_ui->findModemButton, &QPushButton::clicked, this, [this] { m_monitor.findModem(); });

    connect(m_ui->searchNumberButton, &QToolButton::clicked, this, [this] { searchByNumber(); });
    connect(m_ui->searchNameButton, &QToolButton::clicked, this, [this] { searchByName(); });
    connect(m_ui->newContactButton, &QPushButton::clicked, this, [this] {
        m_monitor.calls().contacts().createContactForUser(CallerContacts::NewFor::Nothing,
                                                          QString(), QString());
    });
    connect(m_ui->newJournalButton, &QPushButton::clicked, this,
            [this] { m_monitor.calls().contacts().createJournalForUser(); });

    connect(m_tray.enableAction, &QAction::triggered, this,
            [this] { m_monitor.setModemEnabled(true); });
    connect(m_tray.disableAction, &QAction::triggered, this,
            [this] { m_monitor.setModemEnabled(false); });
    connect(m_tray.restoreAction, &QAction::triggered, this, &MainWindow::bringBack);
    connect(&m_tray, &TrayIcon::menuRequested, this, &MainWindow::showTrayMenu);
    connect(&m_tray, &TrayIcon::restoreRequested, this, &MainWindow::bringBack);
    bindBlocking();
}

QString MainWindow::selectedCallNumber() const
{
    const std::optional<CallRecord> call =
        m_lists.callList.callAt(m_ui->callList->currentIndex().row());
    return call && call->withheld == CallRecord::Withheld::No ? call->number : QString();
}

QString MainWindow::selectedCallName() const
{
    const std::optional<CallRecord> call =
        m_lists.callList.callAt(m_ui->callList->currentIndex().row());
    return call ? call->name : QString();
}

QString MainWindow::shownNumber() const
{
    // "Private", "Out of Area" or nothing: no number to block by.
    const QString text = m_ui->numberField->text().trimmed();
    return PhoneNumber::writtenAsNumber(text) && PhoneNumber::digits(text).size() >= 3 ? text
                                                                                       : QString();
}

void MainWindow::bindBlocking()
{
    blockSelectedAction = new QAction(QStringLiteral("&Block"), this);
    unblockSelectedAction = new QAction(QStringLiteral("&Unblock"), this);
    blockCallerAction = new QAction(QStringLiteral("&Block Caller"), this);
    unblockCallerAction = new QAction(QStringLiteral("&Unblock Caller"), this);
    connect(blockSelectedAction, &QAction::triggered, this,
            [this] { m_monitor.calls().block(selectedCallNumber()); });
    connect(unblockSelectedAction, &QAction::triggered, this,
            [this] { m_monitor.calls().unblock(selectedCallNumber(), selectedCallName()); });
    connect(blockCallerAction, &QAction::triggered, this,
            [this] { m_monitor.calls().block(m_ui->numberField->text().trimmed()); });
    permitNextAction = new QAction(QStringLiteral("Let the &Next Call Through"), this);
    connect(permitNextAction, &QAction::triggered, this,
            [this] { m_monitor.calls().permitNext(); });
    connect(unblockCallerAction, &QAction::triggered, this, [this] {
        m_monitor.calls().unblock(m_ui->numberField->text().trimmed(),
                                  m_ui->nameField->text().trimmed());
    });
    auto offer = [this](QWidget* on, QMenu* menu, const QPoint& at, const QString& number,
                        const QString& name, QAction* block, QAction* unblock) {
        const bool blocked =
            !number.isEmpty() && m_monitor.calls().screening().isBlocked(number, name);
        block->setEnabled(!number.isEmpty() && !blocked);
        unblock->setEnabled(blocked);
        menu->addAction(block);
        menu->addAction(unblock);
        menu->addSeparator();
        permitNextAction->setEnabled(m_monitor.calls().screening().options().mode !=
                                         ScreeningOptions::Off &&
                                     !m_monitor.calls().screening().nextPermitted());
        menu->addAction(permitNextAction);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(on->mapToGlobal(at));
    };
    m_ui->callList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->callList, &QWidget::customContextMenuRequested, this,
            [this, offer](const QPoint& at) {
                offer(m_ui->callList, new QMenu(this), at, selectedCallNumber(), selectedCallName(),
                      blockSelectedAction, unblockSelectedAction);
            });
    m_ui->numberField->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->numberField, &QWidget::customContextMenuRequested, this,
            [this, offer](const QPoint& at) {
                QMenu* menu = m_ui->numberField->createStandardContextMenu();
                menu->addSeparator();
                offer(m_ui->numberField, menu, at, shownNumber(), m_ui->nameField->text().trimmed(),
                      blockCallerAction, unblockCallerAction);
            });
}

void MainWindow::showDetails(bool shown)
{
    m_ui->detailsButton->setText(shown ? QStringLiteral("No &Details")
                                       : QStringLiteral("&Details >>"));
    m_ui->detailsArea->setVisible(shown);
    // The window takes its new height at once, not at the next turn of the event loop, and no
    // more of it than the screen has: the details scroll where they do not fit.
    refitHeight(this);
}

void MainWindow::showHelp(const QString& topic)
{
    if (!m_help)
        m_help = std::make_unique<HelpWindow>();
    m_help->showTopic(topic);
}

void MainWindow::checkNotifications()
{
    if (!Settings::Notify.isOn())
        return;
    m_notifications = DesktopNotifier::serviceAvailable();
    if (!m_notifications)
        m_monitor.events().append(QStringLiteral("[No desktop notifications: the session has no "
                                                 "notification service]"));
}

void MainWindow::minimize()
{
    // Without a notification area a hidden window could never be brought back: the task bar
    // serves instead, until an area appears.
    m_placeBeforeTray = pos();
    if (state().box(Box::UseTray) && QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray.follow(this);
        m_tray.show(this, windowIcon().cacheKey(), windowIcon(),
                    TrayIcon::tipFor(state().field(MonitorState::Status)));
        hide();
        if (!state().box(Box::ModemEnabled))
            m_tray.setImage(modemOffIcon());
        setWindowState(windowState() | Qt::WindowMinimized);
        return;
    }
    showMinimized();
}

void MainWindow::bringBack()
{
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    if (state().box(Box::UseTray) || !isVisible()) {
        m_tray.stopFollowing();
        // Back where it was, not wherever the window manager puts a window it sees anew.
        if (!isVisible() && m_placeBeforeTray)
            move(*m_placeBeforeTray);
        show();
        m_tray.hide();
    }
    raise();
    activateWindow();
}

void MainWindow::setTrayImage(TrayImage image)
{
    m_tray.setImage(image == TrayImage::Window ? windowIcon() : modemOffIcon());
}

void MainWindow::setModemMenuChecks(bool enabled)
{
    m_tray.enableAction->setChecked(enabled);
    m_tray.disableAction->setChecked(!enabled);
}

void MainWindow::beep()
{
    QApplication::beep();
}

void MainWindow::playChime()
{
    m_chime.play(AppPaths::dataFile(QStringLiteral("gotit.wav")));
}

void MainWindow::modemNotAnswering(const QString& device)
{
    if (m_notifications)
        m_notifier.notifyTrouble(QStringLiteral("Modem not answering"),
                                 QStringLiteral("The modem on %1 does not answer; calls are not "
                                                "seen until it does. Ringwatch keeps trying.")
                                     .arg(device));
}

void MainWindow::missedCall(const QString& name)
{
    if (m_notifications)
        m_notifier.notifyTrouble(QStringLiteral("Missed call from %1").arg(name),
                                 QStringLiteral("Nobody answered."),
                                 QStringLiteral("call.unanswered"));
}

void MainWindow::showModemError(const QStringList& details, bool anyDevice)
{
    Dialogs::modemError(
        this, [this] { showHelp(QStringLiteral("modem")); }, details, anyDevice);
}

void MainWindow::showTrayMenu()
{
    if (isVisible()) {
        raise();
        activateWindow();
    }
    m_tray.menu.popup(QCursor::pos());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!mayClose()) {
        event->ignore();
        return;
    }
    event->accept();
    emit unloadRequested();
}

bool MainWindow::mayClose()
{
    // As an editor does: what calls and the user opened and did not save is not lost unasked.
    const QList<ItemWindow*> unsaved = m_itemWindows.unsaved();
    if (unsaved.isEmpty())
        return true;
    const int choice = Dialogs::choice(
        this, QStringLiteral("Exit"),
        QStringLiteral("%1 open journal entries and contacts are not saved. Save them before "
                       "exiting?")
            .arg(unsaved.size()),
        {QStringLiteral("&Save All"), QStringLiteral("&Discard"), QStringLiteral("Cancel")});
    if (choice == 1) {
        for (ItemWindow* window : unsaved)
            window->close();
        return true;
    }
    if (choice != 0)
        return false;
    bool all = true;
    for (ItemWindow* window : unsaved)
        all = window->saveAndClose() && all; // one that fails stays open, and so does the program
    return all;
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // Enter that the focused control did not use runs the default button, "&Minimize".
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_ui->minimizeButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::searchByNumber()
{
    MonitorState& shown = state();
    const AddressBookContacts::HandSearch found = m_monitor.calls().contacts().searchByNumber(
        shown.field(MonitorState::Number), shown.field(MonitorState::Name));
    shown.setField(MonitorState::Number, found.number);
    if (!found.found)
        offerCreation(found.offer);
}

void MainWindow::searchByName()
{
    const MonitorState& shown = state();
    const bool company = shown.field(MonitorState::NameCaption) != QLatin1String("Name");
    const AddressBookContacts::HandSearch found = m_monitor.calls().contacts().searchByName(
        shown.field(MonitorState::Name), company, shown.field(MonitorState::Number));
    if (!found.found)
        offerCreation(found.offer);
}

void MainWindow::offerCreation(const QString& offer)
{
    const QString text =
        offer + QStringLiteral(" doesn't exist in your Contacts.  Do you want to create?");
    if (Dialogs::question(this, QStringLiteral("Create Contact"), text) != QMessageBox::Yes)
        return;
    // The fields as they stand after the question, which the user may have edited meanwhile.
    const bool person = state().field(MonitorState::NameCaption) == QLatin1String("Name");
    m_monitor.calls().contacts().createContactForUser(
        person ? CallerContacts::NewFor::Name : CallerContacts::NewFor::Company,
        state().field(MonitorState::Name), state().field(MonitorState::Number));
}

void MainWindow::showStatus()
{
    // A status too long for its field loses its middle, not its end: an address keeps its port.
    // The whole of it is in the field's tip.
    QLineEdit* field = m_ui->statusField;
    const QString text = state().field(MonitorState::Status);
    const int room = field->contentsRect().width() -
                     2 * field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) - 8;
    const QString shown = field->fontMetrics().elidedText(text, Qt::ElideMiddle, room);
    if (field->text() != shown) {
        field->setText(shown);
        field->setCursorPosition(0);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->statusField && event->type() == QEvent::Resize)
        showStatus();
    if (watched == m_ui->nameLabel && event->type() == QEvent::MouseButtonRelease) {
        const bool name = state().field(MonitorState::NameCaption) == QLatin1String("Name");
        state().setField(MonitorState::NameCaption,
                         name ? QStringLiteral("Company") : QStringLiteral("Name"));
        return true;
    }
    if (watched == m_ui->modemImage && event->type() == QEvent::MouseButtonDblClick) {
        m_monitor.setModemEnabled(!state().box(Box::ModemEnabled));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
