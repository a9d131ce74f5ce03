#include "CaptionsFit.h"
#include "TestHome.h"
#include "addressbook/AddressBook.h"
#include "calls/IncomingCall.h"
#include "common/SettingsStore.h"
#include "monitor/CanberraSound.h"
#include "monitor/Monitor.h"
#include "shell/ContactWindow.h"
#include "shell/Dialogs.h"
#include "shell/HelpWindow.h"
#include "shell/JournalWindow.h"
#include "shell/Lifecycle.h"
#include "shell/MainWindow.h"
#include "ui_ContactWindow.h"
#include "ui_JournalWindow.h"
#include "ui_MainWindow.h"
#include "widgets/WindowPlacement.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QFile>
#include <QHelpEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

namespace {

// The first open top-level window of a kind (help and item windows have no parent).
template <class Window> Window* openWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<Window*>(w))
            return found;
    return nullptr;
}

// The timers that would wake the program within half a minute: those of its windows and their
// parts, and those of the monitor behind them.
QStringList wakingTimers(MainWindow& window)
{
    QList<QObject*> objects;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        objects << top;
        objects += top->findChildren<QObject*>();
    }
    Monitor& monitor = window.monitor();
    for (QObject* part :
         std::initializer_list<QObject*>{&monitor.state(), &monitor, &window.lists()}) {
        objects << part;
        objects += part->findChildren<QObject*>();
    }
    QStringList waking;
    for (QObject* object : std::as_const(objects)) {
        for (const QAbstractEventDispatcher::TimerInfo& timer :
             QAbstractEventDispatcher::instance()->registeredTimers(object))
            if (timer.interval < 30000)
                waking << QStringLiteral("%1 every %2 ms")
                              .arg(QString::fromLatin1(object->metaObject()->className()))
                              .arg(timer.interval);
    }
    return waking;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstStartOnEmptyStore();
    void storedViewAndManualMode();
    void areaCodePrompt_data();
    void areaCodePrompt();
    void activationRunsOnce();
    void detailsToggle();
    void clearEventsAndLog();
    void callListShowsOutcomesAndBlocksLive();
    void imageDoubleClickTogglesTheSwitch();
    void enterRunsMinimize();
    void helpOpensAtItsContents();
    void findModemSearchesEverything();
    void modemErrorHelpOpensTheModemSection();
    void manualSearchOffersAndCreatesContact();
    void cardRoundTripOutsideNorthAmerica();
    void blockFromTheCallListAndTheCaller();
    void journalWindowSavesOnlyOnSave();
    void exitWithUnsavedItemsAsks_data();
    void exitWithUnsavedItemsAsks();
    void exitSavesSettingsAndEventLog();
    void callFromModemReachesTheWindow();
    void manyCallsKeepOneWindowPerContact();
    void changedContactAsksBeforeSaving();
    void itemWindowShortcutsAreUnique();
    void windowAsADesktopShowsIt();
    void waitingForARingWakesNothing();
    void chimeNeverMakesTheCallerWait();
    void captionsFitAnyFont_data();
    void captionsFitAnyFont();
    void fitsTheScreen_data();
    void fitsTheScreen();
    void longLinesShowWholeInTheirTip();

private:
    void start();
    QString dataDir() const { return m_home->path() + "/data/ringdesk/"; }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<Lifecycle> m_life;
};

void TestMainWindow::init()
{
    Dialogs::reset();
    Dialogs::setUnattended(true);
    m_home = std::make_unique<TestHome>();
    m_window = std::make_unique<MainWindow>();
    m_window->monitor().addressBookProbe = [](QString*) {
        return true;
    };
    m_life = std::make_unique<Lifecycle>(*m_window);
}

void TestMainWindow::cleanup()
{
    Dialogs::reset();
    // Item windows a test left open go with it.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != m_window.get() &&
            (qobject_cast<ContactWindow*>(w) || qobject_cast<JournalWindow*>(w)))
            delete w;
    m_life.reset();
    m_window.reset();
    m_home.reset();
}

void TestMainWindow::start()
{
    m_life->load();
    m_window->show();
    m_life->activate();
}

void TestMainWindow::firstStartOnEmptyStore()
{
    m_window->monitor().addressBookProbe = [](QString*) {
        return false;
    };
    start();
    Ui::MainWindow& ui = m_window->ui();
    QVERIFY(!ui.detailsGroup->isVisible());
    QCOMPARE(ui.detailsButton->text(), "&Details >>");
    QVERIFY(ui.modemEnabledBox->isChecked() && ui.modemEnabledBox->isEnabled());
    QVERIFY(!ui.searchContactsBox->isChecked() && !ui.searchContactsBox->isEnabled());
    QVERIFY(!ui.createContactBox->isEnabled() && !ui.createJournalBox->isEnabled());
    QVERIFY(ui.maximizeOnRingBox->isChecked() && ui.useTrayBox->isChecked());
    QVERIFY(!ui.minimizeOnStartBox->isChecked() && !ui.playSoundBox->isChecked());
    QVERIFY(ui.showEventsOption->isChecked());
    QVERIFY(ui.findModemButton->isEnabled());
    QVERIFY(!ui.newContactButton->isEnabled() && !ui.newJournalButton->isEnabled());
    QVERIFY(ui.searchNumberButton->isHidden() && ui.searchNameButton->isHidden());
    // No port has a device: the search ends saying no modem was found, and no port is known to
    // ask an area code for.
    QCOMPARE(Dialogs::lastAsked(), "Serious Modem Error|No modem was found");
    QTRY_COMPARE(ui.statusField->text(), "ERROR, NO CALLER ID");
    QVERIFY(m_window->tray().enableAction->isChecked());
    QVERIFY(!m_window->tray().disableAction->isChecked());
    QCOMPARE(m_window->monitor().modem().pollInterval(), 100);
}

void TestMainWindow::storedViewAndManualMode()
{
    saveSetting("ZodoDE", "Setup", "Log", "True");
    saveSetting("ZodoDE", "Setup", "Event", "False");
    saveSetting("ZodoDE", "Setup", "FindModem", "0");
    saveSetting("ZodoDE", "Modem", "PollInterval", "250");
    start();
    Ui::MainWindow& ui = m_window->ui();
    m_window->showDetails(true);
    QVERIFY(ui.logGroup->isVisible() && !ui.eventsGroup->isVisible());
    QCOMPARE(ui.clearButton->text(), "&Clear Log");
    QVERIFY(!ui.modemEnabledBox->isChecked() && ui.modemEnabledBox->isEnabled());
    QTRY_COMPARE(ui.statusField->text(), "Manual Mode");
    QVERIFY(!ui.searchContactsBox->isEnabled() && !ui.maximizeOnRingBox->isEnabled() &&
            !ui.playSoundBox->isEnabled());
    QVERIFY(!ui.findModemButton->isEnabled());
    QVERIFY(m_window->tray().disableAction->isChecked());
    QCOMPARE(m_window->tray().shown().icon.cacheKey(), MainWindow::modemOffIcon().cacheKey());
    QCOMPARE(m_window->monitor().modem().pollInterval(), 250);

    // Back to Events: the event list and its caption return.
    ui.showEventsOption->click();
    QVERIFY(ui.eventsGroup->isVisible() && !ui.logGroup->isVisible());
    QCOMPARE(ui.clearButton->text(), "&Clear Events");
}

void TestMainWindow::areaCodePrompt_data()
{
    QTest::addColumn<QString>("comPort");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("areaCode");
    QTest::newRow("port known, answered") << "2"
                                          << "" << true << false << "613";
    QTest::newRow("port known, cancelled") << "2"
                                           << "" << true << true << "";
    QTest::newRow("area code stored") << "2"
                                      << "819" << false << false << "819";
    QTest::newRow("no port") << "0"
                             << "" << false << false << "";
}

void TestMainWindow::areaCodePrompt()
{
    QFETCH(QString, comPort);
    QFETCH(QString, stored);
    QFETCH(bool, cancel);
    saveSetting("ZodoDE", "Modem", "ComPort", comPort);
    saveSetting("ZodoDE", "Setup", "AreaCode", stored);
    // An excluded known port counts as found without a probe, so the port number stays.
    saveSetting("ZodoDE", "Modem", "Com2", "1");
    Dialogs::setNextText(cancel ? std::nullopt : std::optional<QString>("613"));
    const int before = Dialogs::asked();
    start();
    Dialogs::setNextText(std::nullopt);
    QFETCH(bool, asked);
    QCOMPARE(Dialogs::asked() - before, asked ? 1 : comPort == "0" ? 1 : 0);
    if (asked)
        QCOMPARE(Dialogs::lastAsked(), "No Area Code Found!|Enter Your Local Area Code|555");
    QTEST(m_window->monitor().areaCode(), "areaCode");
}

void TestMainWindow::activationRunsOnce()
{
    QDir().mkpath(dataDir());
    QFile log(dataDir() + "CallLog.txt");
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write("\"12/06 10:41 (613) 555-1234 SMITH JOHN\"\r\n\"12/07 09:00 Private \"\r\n");
    log.close();
    start();
    m_life->activate();
    m_window->hide();
    m_window->show();
    QCOMPARE(m_window->lists().calls(),
             QStringList({"12/06 10:41 (613) 555-1234 SMITH JOHN", "12/07 09:00 Private "}));
}

void TestMainWindow::detailsToggle()
{
    start();
    Ui::MainWindow& ui = m_window->ui();
    const int collapsed = m_window->height();
    ui.detailsButton->click();
    QCOMPARE(ui.detailsButton->text(), "No &Details");
    QVERIFY(ui.detailsGroup->isVisible());
    QVERIFY(m_window->height() > collapsed + 200);
    ui.detailsButton->click();
    QCOMPARE(ui.detailsButton->text(), "&Details >>");
    QVERIFY(!ui.detailsGroup->isVisible());
    QCOMPARE(m_window->height(), collapsed);
}

// A router's call ends after it is listed; a blocked call says so, as on the web page.
void TestMainWindow::callListShowsOutcomesAndBlocksLive()
{
    start();
    CallHistory& history = m_window->monitor().calls().history();
    QTRY_VERIFY(history.isOpen());
    CallRecord call;
    call.id = "box-1";
    call.date = "12/06";
    call.time = "10:41";
    call.number = "030 123456";
    call.name = "";
    const qint64 row = history.add(call, false);
    call.id = "box-2";
    call.blocked = true;
    call.blockRule = "030 123456";
    history.add(call, false);
    QAbstractItemModel* shown = m_window->ui().callList->model();
    QTRY_COMPARE(shown->rowCount(), 2);
    QVERIFY(shown->index(1, 0).data().toString().endsWith("  (blocked)"));
    QVERIFY(!shown->index(0, 0).data().toString().contains("(missed)"));
    history.setOutcome(row, "box-1", "missed", 0);
    QTRY_VERIFY(shown->index(0, 0).data().toString().endsWith("  (missed)"));
}

void TestMainWindow::clearEventsAndLog()
{
    start();
    Ui::MainWindow& ui = m_window->ui();
    const int before = Dialogs::asked();
    m_window->monitor().events().append("[something]");
    ui.clearButton->click();
    QVERIFY(m_window->lists().events().isEmpty());
    QCOMPARE(Dialogs::asked(), before);

    ui.showLogOption->click();
    CallRecord call;
    call.date = "12/06";
    call.time = "10:41";
    call.number = "5551234";
    call.name = "X";
    m_window->monitor().calls().history().add(
        call, m_window->monitor().calls().logFile().appendRecord(call.logLine()));
    Dialogs::setNextAnswer(QMessageBox::No);
    ui.clearButton->click();
    QCOMPARE(Dialogs::lastAsked(), "Clear Log|Permanently Delete Your Log File, Are You Sure ?");
    QCOMPARE(m_window->lists().calls().size(), 1);
    QCOMPARE(QFileInfo(dataDir() + "CallLog.txt").size(), 25);
    Dialogs::setNextAnswer(QMessageBox::Yes);
    ui.clearButton->click();
    QVERIFY(m_window->lists().calls().isEmpty());
    QVERIFY(QFileInfo::exists(dataDir() + "CallLog.txt"));
    QCOMPARE(QFileInfo(dataDir() + "CallLog.txt").size(), 0);
}

void TestMainWindow::imageDoubleClickTogglesTheSwitch()
{
    start();
    MonitorState& s = m_window->state();
    QCOMPARE(s.box(MonitorState::ModemEnabled), true);
    QTest::mouseDClick(m_window->ui().modemImage, Qt::LeftButton);
    QCOMPARE(s.box(MonitorState::ModemEnabled), false);
    QCOMPARE(s.field(MonitorState::Status), "Manual Mode");
    QTest::mouseDClick(m_window->ui().modemImage, Qt::LeftButton);
    QCOMPARE(s.box(MonitorState::ModemEnabled), true);
    QVERIFY(m_window->ui().modemEnabledBox->isChecked());
}

void TestMainWindow::enterRunsMinimize()
{
    start();
    m_window->activateWindow();
    m_window->ui().nameField->setFocus();
    QTest::keyClick(m_window->ui().nameField, Qt::Key_Return);
    QVERIFY(m_window->isMinimized());
}

void TestMainWindow::helpOpensAtItsContents()
{
    start();
    m_window->ui().helpButton->click();
    HelpWindow* help = openWindow<HelpWindow>();
    QVERIFY(help && help->isVisible());
    QVERIFY(help->source().toLocalFile().endsWith("/share/ringdesk/ringside.html"));
    QVERIFY(help->toPlainText().contains("Connecting a modem"));
    m_window->showHelp("modem");
    QVERIFY(help->verticalScrollBar()->value() > 0);
}

void TestMainWindow::findModemSearchesEverything()
{
    saveSetting("ZodoDE", "Modem", "ComPort", "3");
    saveSetting("ZodoDE", "Setup", "AreaCode", "613");
    start();
    QVERIFY(!m_window->lists().events().contains("[Searching for Modems...]"));
    m_window->showDetails(true);
    m_window->ui().findModemButton->click();
    QVERIFY(m_window->lists().events().contains("[Searching for Modems...]"));
    QCOMPARE(m_window->monitor().modem().settings().port, 0);
}

void TestMainWindow::modemErrorHelpOpensTheModemSection()
{
    start();
    Dialogs::setNextAnswer(QMessageBox::Help);
    m_window->showModemError();
    QCOMPARE(Dialogs::lastAsked(), "Serious Modem Error|No Caller Id Features found in Modem(s)");
    HelpWindow* help = openWindow<HelpWindow>();
    QVERIFY(help && help->isVisible());
    QVERIFY(help->verticalScrollBar()->value() > 0);
}

void TestMainWindow::manualSearchOffersAndCreatesContact()
{
    start();
    Ui::MainWindow& ui = m_window->ui();
    QVERIFY(ui.searchNumberButton->isVisible());
    QTest::keyClicks(ui.numberField, "6135551234");
    Dialogs::setNextAnswer(QMessageBox::Yes);
    ui.searchNumberButton->click();
    QTRY_COMPARE(ui.numberField->text(), "+1 (613) 555-1234");
    QCOMPARE(Dialogs::lastAsked(), "Create Contact|+1 (613) 555-1234 doesn't exist in your "
                                   "Contacts.  Do you want to create?");
    ContactWindow* card = openWindow<ContactWindow>();
    QVERIFY(card && card->isVisible());
    // Asked for, it comes forward with the keyboard.
    QVERIFY(!card->testAttribute(Qt::WA_ShowWithoutActivating));
    QTRY_COMPARE(QApplication::activeWindow(), card);
    // Stored the international way, which every phone the card is synced to can dial.
    QCOMPARE(card->ui().workPhoneField->text(), "+1 613-555-1234");
    card->ui().firstNameField->setText("Ada");
    card->ui().lastNameField->setText("Lovelace");
    QVERIFY(card->saveAndClose());

    // Now a search by name finds her, and the label toggles to Company and back.
    QTest::mouseClick(ui.nameLabel, Qt::LeftButton);
    QCOMPARE(ui.nameLabel->text(), "Company");
    QTest::mouseClick(ui.nameLabel, Qt::LeftButton);
    QCOMPARE(ui.nameLabel->text(), "Name");
    ui.nameField->clear();
    QTest::keyClicks(ui.nameField, "Ada Lovelace");
    const int asked = Dialogs::asked();
    ui.searchNameButton->click();
    QCOMPARE(Dialogs::asked(), asked);
    QVERIFY(m_window->monitor().calls().contacts().lastFound()); // found, and shown
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<ContactWindow*>(w))
            w->close();

    // A caller's name is shown as the text it is, never as markup.
    ui.nameField->clear();
    QTest::keyClicks(ui.nameField, "<b><font color=red>Bank</font></b> Security");
    Qt::TextFormat format = Qt::RichText;
    QString shown;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        format = box->textFormat();
        shown = box->text();
        box->button(QMessageBox::No)->click();
    });
    Dialogs::setUnattended(false);
    ui.searchNameButton->click();
    Dialogs::setUnattended(true);
    QCOMPARE(format, Qt::PlainText);
    QVERIFY(shown.startsWith("<b><font color=red>Bank</font></b> Security"));
}

// A British user: the number is laid out nationally, stored internationally, and found again in
// either form.
void TestMainWindow::cardRoundTripOutsideNorthAmerica()
{
    saveSetting("ZodoDE", "Setup", "Country", "GB");
    start();
    Ui::MainWindow& ui = m_window->ui();
    QTest::keyClicks(ui.numberField, "07700900123");
    Dialogs::setNextAnswer(QMessageBox::Yes);
    ui.searchNumberButton->click();
    QTRY_COMPARE(ui.numberField->text(), "07700 900123");
    ContactWindow* card = openWindow<ContactWindow>();
    QVERIFY(card);
    QCOMPARE(card->ui().workPhoneField->text(), "+44 7700 900123");
    card->ui().lastNameField->setText("Brown");
    QVERIFY(card->saveAndClose());
    for (const QString& typed : {"+44 7700 900123", "07700900123"}) {
        const int asked = Dialogs::asked();
        ui.numberField->setText(typed);
        ui.searchNumberButton->click();
        QCOMPARE(Dialogs::asked(), asked); // found: no offer to create
        QCOMPARE(m_window->monitor().calls().contacts().lastFound()->field(
                     AddressBookItem::Field::LastName),
                 "Brown");
    }
}

void TestMainWindow::blockFromTheCallListAndTheCaller()
{
    start();
    Ui::MainWindow& ui = m_window->ui();
    QFile blocked(m_home->path() + "/config/ringdesk/blocked.txt");
    auto listed = [&blocked] {
        blocked.close();
        return blocked.open(QIODevice::ReadOnly) ? blocked.readAll() : QByteArray();
    };
    CallRecord plumber;
    plumber.date = "12/07";
    plumber.time = "13:54";
    plumber.number = "+1 (613) 555-0199";
    plumber.name = "PLUMBER JOE";
    CallRecord withheld = plumber;
    withheld.number = "Private";
    withheld.name.clear();
    withheld.withheld = CallRecord::Withheld::Private;
    m_window->monitor().calls().history().add(plumber, true);
    m_window->monitor().calls().history().add(withheld, true);
    ui.callList->setCurrentIndex(m_window->lists().callList.index(0));
    m_window->blockSelectedAction->trigger();
    QCOMPARE(listed(), "+1 613-555-0199\n");
    ui.numberField->setText("+1 (613) 555-0123");
    m_window->blockCallerAction->trigger();
    QCOMPARE(listed(), "+1 613-555-0199\n+1 613-555-0123\n");
    m_window->unblockSelectedAction->trigger();
    QCOMPARE(listed(), "+1 613-555-0123\n");
    // A withheld call has no number to block.
    ui.callList->setCurrentIndex(m_window->lists().callList.index(1));
    m_window->blockSelectedAction->trigger();
    QCOMPARE(listed(), "+1 613-555-0123\n");
    // "Let the Next Call Through" wants screening on, and is taken once.
    CallScreen& screen = m_window->monitor().calls().screening();
    m_window->permitNextAction->trigger();
    QVERIFY(!screen.nextPermitted());
    ScreeningOptions options;
    options.mode = ScreeningOptions::BlockListed;
    screen.setOptions(options);
    m_window->permitNextAction->trigger();
    QVERIFY(screen.nextPermitted());
}

void TestMainWindow::journalWindowSavesOnlyOnSave()
{
    start();
    const QString journal = m_home->dataDir() + "journal";
    m_window->ui().newJournalButton->click();
    JournalWindow* entry = openWindow<JournalWindow>();
    QVERIFY(entry);
    QCOMPARE(entry->ui().subjectField->text(), "");
    entry->ui().discardButton->click();
    QVERIFY(!QDir(journal).exists() || QDir(journal).isEmpty());
    m_window->ui().newJournalButton->click();
    entry = openWindow<JournalWindow>();
    QVERIFY(entry);
    entry->ui().subjectField->setText("Called about the order");
    QVERIFY(entry->saveAndClose());
    QCOMPARE(QDir(journal).entryList({"*.ics"}).size(), 1);
}

void TestMainWindow::exitWithUnsavedItemsAsks_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("exits");
    QTest::addColumn<int>("saved");
    QTest::newRow("Save All") << 0 << true << 1;
    QTest::newRow("Discard") << 1 << true << 0;
    QTest::newRow("Cancel") << 2 << false << 0;
}

void TestMainWindow::exitWithUnsavedItemsAsks()
{
    QFETCH(int, choice);
    start();
    const QString journal = m_home->dataDir() + "journal";
    // Nothing open that is unsaved: Exit asks nothing.
    m_window->ui().newJournalButton->click();
    openWindow<JournalWindow>()->ui().discardButton->click();
    m_window->ui().newJournalButton->click();
    JournalWindow* entry = openWindow<JournalWindow>();
    QVERIFY(entry);
    entry->ui().subjectField->setText("Called back");
    Dialogs::setNextChoice(choice);
    const int asked = Dialogs::asked();
    m_window->ui().exitButton->click();
    QCOMPARE(Dialogs::asked(), asked + 1);
    QVERIFY(Dialogs::lastAsked().contains("1 open journal entries and contacts are not saved"));
    QTEST(m_life->unloaded(), "exits");
    QTEST(int(QDir(journal).entryList({"*.ics"}).size()), "saved");
    QTRY_COMPARE(m_window->itemWindows().journalWindows(), choice == 2 ? 1 : 0);
    QCOMPARE(m_window->isVisible(), choice == 2);
}

void TestMainWindow::exitSavesSettingsAndEventLog()
{
    start();
    m_window->monitor().events().append("[last words]");
    m_window->ui().playSoundBox->click();
    m_window->ui().exitButton->click();
    QVERIFY(m_life->unloaded());
    QCOMPARE(readSetting("ZodoDE", "Setup", "PlayWavFile", ""), "1");
    QCOMPARE(readSetting("ZodoDE", "Setup", "Event", ""), "True");
    QFile events(dataDir() + "CallEvnt.txt");
    QVERIFY(events.open(QIODevice::ReadOnly));
    QVERIFY(events.readAll().endsWith("[last words]\r\n"));
    // A second way out does not run the step again.
    m_window->monitor().events().append("[after]");
    m_life->unload();
    QFile again(dataDir() + "CallEvnt.txt");
    QVERIFY(again.open(QIODevice::ReadOnly));
    QVERIFY(!again.readAll().contains("[after]"));
}

void TestMainWindow::callFromModemReachesTheWindow()
{
    saveSetting("ZodoDE", "Setup", "AreaCode", "613");
    saveSetting("ZodoDE", "Setup", "AutoCreateContact", "1");
    start();
    m_window->monitor().modem().setPollInterval("5");
    m_window->monitor().modem().receive("RING\r\nDATE = 1206\r\nTIME = 1041\r\nNMBR = 5551234\r\n"
                                        "NAME = SMITH JOHN\r\n\r\n");
    Ui::MainWindow& ui = m_window->ui();
    QTRY_COMPARE(ui.numberField->text(), "(613) 555-1234");
    QTRY_COMPARE(ui.nameField->text(), "SMITH JOHN");
    QTRY_COMPARE(ui.dateField->text(), "12/06");
    QTRY_COMPARE(m_window->lists().calls().size(), 1);
    QCOMPARE(m_window->ui().callList->model()->rowCount(), 1);
    // The card a call opens appears, but the keyboard stays where the user was typing (the
    // window system honours the attribute; Qt's offscreen platform activates every window).
    // It is built once the call is in the log.
    ContactWindow* card = nullptr;
    QTRY_VERIFY((card = openWindow<ContactWindow>()) && card->isVisible());
    QVERIFY(card->testAttribute(Qt::WA_ShowWithoutActivating));
}

namespace {

qint64 residentBytes()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * 4096;
}

} // namespace

// Callers who call again and again: one window per contact, one journal entry per contact
// until the user touches it, and memory that stays put.
void TestMainWindow::manyCallsKeepOneWindowPerContact()
{
    const QString contacts = m_home->dataDir() + "contacts";
    QVERIFY(QDir().mkpath(contacts));
    for (int i = 0; i < 5; ++i) {
        QFile card(contacts + QString("/known%1.vcf").arg(i));
        QVERIFY(card.open(QIODevice::WriteOnly));
        card.write(QString("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:known%1\r\nN:KNOWN%1;CALLER;;;\r\n"
                           "FN:CALLER KNOWN%1\r\nTEL:613-555-010%1\r\nEND:VCARD\r\n")
                       .arg(i)
                       .toUtf8());
    }
    start();
    MonitorState& s = m_window->state();
    for (auto box :
         {MonitorState::SearchContacts, MonitorState::CreateContact, MonitorState::CreateJournal})
        s.setBox(box, true);
    auto call = [&](int n) {
        const int caller = n % 10;
        CallerId record;
        record.date = "12/07";
        record.time = "10:00";
        record.number = QString("+1 (613) 555-0%1").arg(100 + caller);
        record.name = caller < 5 ? QString("KNOWN%1 CALLER").arg(caller)
                                 : QString("STRANGER%1 NEW").arg(caller);
        record.begun = true;
        m_window->monitor().calls().take(IncomingCall::fromModem(record, QString()));
        QCoreApplication::processEvents();
    };
    for (int n = 0; n < 100; ++n)
        call(n);
    const qint64 before = residentBytes();
    for (int n = 100; n < 600; ++n)
        call(n);
    const qint64 grown = residentBytes() - before;
    qInfo() << "memory grown over 500 calls:" << grown / 1024 << "KiB";
    QCOMPARE(m_window->itemWindows().contactWindows(), 10);
    QCOMPARE(m_window->itemWindows().journalWindows(), 10);
    QCOMPARE(QDir(contacts).entryList({"*.vcf"}).size(), 10);
    // Memory is judged where the allocator hands memory back as a program's does: ctest runs
    // this once more with AddressSanitizer's quarantine off and RINGDESK_MEASURE_MEMORY set.
    if (qEnvironmentVariableIsSet("RINGDESK_MEASURE_MEMORY"))
        QVERIFY2(grown < 20 * 1024 * 1024, qPrintable(QString::number(grown)));
}

// Another program changed the card while its window was open: the user chooses.
void TestMainWindow::changedContactAsksBeforeSaving()
{
    const QString file = m_home->dataDir() + "contacts/kim.vcf";
    QVERIFY(QDir().mkpath(m_home->dataDir() + "contacts"));
    auto write = [&](const QByteArray& content) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    };
    write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:kim\r\nN:Lee;Kim;;;\r\nFN:Kim Lee\r\n"
          "TEL:613-555-0142\r\nEND:VCARD\r\n");
    start();
    Ui::MainWindow& ui = m_window->ui();
    QTest::keyClicks(ui.numberField, "6135550142");
    ui.searchNumberButton->click();
    ContactWindow* card = openWindow<ContactWindow>();
    QVERIFY(card);
    QCOMPARE(card->ui().firstNameField->text(), "Kim");
    QTest::qWait(5);
    write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:kim\r\nN:Lee;Kimberly;;;\r\nFN:Kimberly Lee\r\n"
          "TEL:613-555-0142\r\nEND:VCARD\r\n");
    card->ui().companyField->setText("ACME");

    Dialogs::setNextChoice(2); // Cancel: nothing written, the window stays
    QVERIFY(!card->saveAndClose());
    QVERIFY(Dialogs::lastAsked().contains("changed by another program"));
    Dialogs::setNextChoice(0); // Reload: the window shows the file as it is now
    QVERIFY(!card->saveAndClose());
    QCOMPARE(card->ui().firstNameField->text(), "Kimberly");
    QCOMPARE(card->ui().companyField->text(), "");
    card->ui().companyField->setText("ACME");
    QVERIFY(card->saveAndClose()); // nothing changed meanwhile: no question
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray content = saved.readAll();
    QVERIFY(content.contains("N:Lee;Kimberly;;;\r\nFN:Kimberly Lee\r\n"));
    QVERIFY(content.contains("ORG:ACME\r\n"));

    // Overwrite: what the user changed goes onto the card as it is now; what another program
    // changed in fields the user left alone stays.
    const QPointer<ContactWindow> closed = card;
    QTRY_VERIFY(!closed);
    ui.searchNumberButton->click();
    card = openWindow<ContactWindow>();
    QVERIFY(card);
    QTest::qWait(5);
    write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:kim\r\nN:Lee;Kim;;;\r\nFN:Kim Lee\r\n"
          "TEL:613-555-0142\r\nORG:ACME\r\nNOTE:Met at the fair\r\nEND:VCARD\r\n");
    card->ui().companyField->setText("Widgets Inc");
    Dialogs::setNextChoice(1);
    QVERIFY(card->saveAndClose());
    QFile again(file);
    QVERIFY(again.open(QIODevice::ReadOnly));
    const QByteArray overwritten = again.readAll();
    QVERIFY2(overwritten.contains("NOTE:Met at the fair\r\n"), overwritten.constData());
    QVERIFY(overwritten.contains("N:Lee;Kim;;;\r\n"));
    QVERIFY(overwritten.contains("ORG:Widgets Inc\r\n"));
}

void TestMainWindow::itemWindowShortcutsAreUnique()
{
    auto letters = [](QWidget* window) {
        QStringList found;
        for (QObject* child : window->findChildren<QObject*>()) {
            const QString text = child->property("text").toString();
            const qsizetype amp = text.indexOf(QRegularExpression("&[^&]"));
            if (amp >= 0)
                found << text.mid(amp + 1, 1).toLower();
        }
        return found;
    };
    AddressBook book;
    for (QWidget* window : {static_cast<QWidget*>(new JournalWindow(book.newJournal())),
                            static_cast<QWidget*>(new ContactWindow(book.newContact()))}) {
        const QStringList used = letters(window);
        QVERIFY(used.size() >= 3);
        QCOMPARE(QSet<QString>(used.cbegin(), used.cend()).size(), used.size());
        delete window;
    }
}

void TestMainWindow::windowAsADesktopShowsIt()
{
    Ui::MainWindow& ui = m_window->ui();
    MonitorState& s = m_window->state();
    // A box shows its new state before the action it starts (a whole modem search) runs.
    bool shownDuringAction = false;
    connect(&s, &MonitorState::boxChanged, this, [&](MonitorState::Box box, bool ticked) {
        if (box == MonitorState::ModemEnabled && ticked)
            shownDuringAction = ui.modemEnabledBox->isChecked();
    });
    m_life->start(); // opens centred, then activates
    QTRY_VERIFY(m_life->activated());
    QVERIFY(shownDuringAction);
    const QRect screen = m_window->screen()->availableGeometry();
    QVERIFY2(qAbs(m_window->geometry().center().x() - screen.center().x()) <= 4,
             qPrintable(
                 QString("%1 %2").arg(m_window->geometry().center().x()).arg(screen.center().x())));
    QCOMPARE(m_window->focusWidget(), ui.minimizeButton);
    QVERIFY(!(m_window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(m_window->windowFlags() & Qt::WindowMinimizeButtonHint);

    // The status line shows its whole text.
    s.setField(MonitorState::Status, "Active... Waiting for a Ring");
    QVERIFY(QFontMetrics(ui.statusField->font()).horizontalAdvance(ui.statusField->text()) <=
            ui.statusField->contentsRect().width() - 6);
    // One too long for it loses its middle, never the broker's port; its tip holds all of it.
    const QString broker =
        "Calls from the household's broker at kitchen-server.home.example.org:1883";
    s.setField(MonitorState::Status, broker);
    QTRY_COMPARE(ui.statusField->toolTip(), broker);
    QVERIFY2(ui.statusField->text().endsWith(".org:1883") &&
                 ui.statusField->text().startsWith("Calls from") &&
                 ui.statusField->text().contains(QChar(0x2026)),
             qPrintable(ui.statusField->text()));
    QVERIFY(QFontMetrics(ui.statusField->font()).horizontalAdvance(ui.statusField->text()) <=
            ui.statusField->contentsRect().width() - 6);
    // Wider, the window shows it whole.
    m_window->resize(m_window->width() * 3, m_window->height());
    QTRY_COMPARE(ui.statusField->text(), broker);
    m_window->resize(m_window->width() / 3, m_window->height());
    s.setField(MonitorState::Status, "Active... Waiting for a Ring");
    QTRY_COMPARE(ui.statusField->text(), "Active... Waiting for a Ring");
    // Every caption in the desktop's own face, none smaller.
    for (QWidget* caption : m_window->findChildren<QWidget*>())
        QCOMPARE(caption->font().pointSizeF(), QApplication::font().pointSizeF());

    // Back from the tray (or the task bar) where it was.
    m_window->move(screen.topLeft() + QPoint(40, 30));
    const QPoint place = m_window->pos();
    m_window->minimize();
    m_window->move(screen.topLeft());
    m_window->hide();
    m_window->bringBack();
    QCOMPARE(m_window->pos(), place);
}

void TestMainWindow::waitingForARingWakesNothing()
{
    Ui::MainWindow& ui = m_window->ui();
    m_life->start();
    QTRY_VERIFY(m_life->activated());
    m_window->activateWindow();
    ui.numberField->setFocus(); // a caret in a field the user clicked into
    QTRY_VERIFY(ui.numberField->hasFocus());
    // What starting and focusing leave behind runs out; then nothing is left to wake up for.
    QTRY_VERIFY2_WITH_TIMEOUT(wakingTimers(*m_window).isEmpty(),
                              qPrintable(wakingTimers(*m_window).join(", ")), 10000);
    m_window->hide(); // in the tray
    QTRY_VERIFY2_WITH_TIMEOUT(wakingTimers(*m_window).isEmpty(),
                              qPrintable(wakingTimers(*m_window).join(", ")), 10000);
}

void TestMainWindow::chimeNeverMakesTheCallerWait()
{
    QTemporaryDir dir;
    CanberraSound sound;
    QElapsedTimer clock;
    clock.start();
    sound.play(dir.filePath("missing.wav"));
    sound.play(QFINDTESTDATA("../data/gotit.wav"));
    QVERIFY(clock.elapsed() < 100);
}

void TestMainWindow::captionsFitAnyFont_data()
{
    fontScales();
}

// The window follows the desktop's font: it grows with it, and every caption stays whole.
void TestMainWindow::captionsFitAnyFont()
{
    QFETCH(qreal, scale);
    const auto open = [](MainWindow& window) {
        window.show();
        window.showDetails(true);
    };
    const DrawnWindow drawn = drawInFont<MainWindow>(scale, open);
    QVERIFY2(drawn.clipped.isEmpty(), qPrintable(drawn.clipped.join(", ")));
    if (scale > 1) {
        const QSize usual = drawInFont<MainWindow>(1.0, open).size;
        QVERIFY(drawn.size.width() > usual.width() && drawn.size.height() > usual.height());
    }
}

void TestMainWindow::fitsTheScreen_data()
{
    screenSizes();
}

// Opened as the program opens it, and with its details shown, the window stays on the screen:
// the details scroll instead.
void TestMainWindow::fitsTheScreen()
{
    QFETCH(int, screen);
    QFETCH(qreal, scale);
    const auto open = [](MainWindow& window) {
        window.showDetails(false);
        centreOnScreen(&window);
        window.show();
    };
    QStringList problems = openOnScreen<MainWindow>(screen, scale, open, [](MainWindow&) {});
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(", ")));
    problems = openOnScreen<MainWindow>(screen, scale, open,
                                        [](MainWindow& window) { window.showDetails(true); });
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(", ")));
}

void TestMainWindow::longLinesShowWholeInTheirTip()
{
    m_window->showDetails(true);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    auto& events = m_window->lists().eventList;
    const QString line =
        "[Setting Setup/Country holds \"XX\", which is no country code; numbers are "
        "read as in the United States (US)] and a good deal more besides that";
    events.setStringList({"[System Ready]", line});
    Ui::MainWindow& ui = m_window->ui();
    const auto tipAt = [&](int row) {
        const QRect item = ui.eventList->visualRect(events.index(row));
        QHelpEvent tip(QEvent::ToolTip, item.center(),
                       ui.eventList->viewport()->mapToGlobal(item.center()));
        QApplication::sendEvent(ui.eventList->viewport(), &tip);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QCOMPARE(tipAt(0), QString());
    QCOMPARE(tipAt(1), line);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
