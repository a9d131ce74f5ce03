#include "CaptionsFit.h"
#include "TestHome.h"
#include "common/PasswordHash.h"
#include "config/SetupWindow.h"
#include "devices/PortMap.h"
#include "monitor/Monitor.h"
#include "monitor/WindowControl.h"
#include "ui_SetupWindow.h"
#include "widgets/WindowPlacement.h"

#include <QFile>
#include <QLineEdit>

#include <QSignalSpy>

class TestSetupWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstRunOnEmptyStore();
    void desktopOptions();
    void storedTextReadsAsTheMonitorReadsIt();
    void portCount_data();
    void portCount();
    void exclusionIsStoredAtOnceAndSurvivesCancel();
    void saveRules();
    void fieldsRefuseWhatCannotBeUsed_data();
    void fieldsRefuseWhatCannotBeUsed();
    void deviceOfThePort();
    void oddStoredValues();
    void damagedStoreIsReported();
    void ringdeskExitKeepsWhatOnlyConfigWrites();
    void captionsFitAnyFont_data();
    void captionsFitAnyFont();
    void fitsTheScreen_data();
    void fitsTheScreen();

private:
    QString stored(const QString& section, const QString& key)
    {
        return readSetting("ZodoDE", section, key, "<absent>");
    }

    std::unique_ptr<TestHome> m_home;
};

void TestSetupWindow::init()
{
    m_home = std::make_unique<TestHome>();
}

void TestSetupWindow::cleanup()
{
    m_home.reset();
}

void TestSetupWindow::firstRunOnEmptyStore()
{
    SetupWindow window;
    Ui::SetupWindow& ui = window.ui();
    QCOMPARE(window.windowTitle(), "Setup Ringwatch");
    QCOMPARE(ui.comPortField->text(), "0");
    QCOMPARE(ui.timeoutField->text(), "3000");
    QCOMPARE(ui.portsField->text(), "4");
    QCOMPARE(ui.portChooser->count(), 4);
    QCOMPARE(ui.portChooser->itemText(3), "Com4");
    QCOMPARE(ui.portChooser->currentText(), "");
    QCOMPARE(ui.speedChooser->currentText(), "9600");
    QCOMPARE(ui.speedChooser->count(), 11);
    QCOMPARE(ui.callerIdChooser->itemText(2), "AT+VCID=1");
    QCOMPARE(ui.callerIdChooser->currentText(), "");
    QCOMPARE(ui.pollingField->text(), "100");
    QCOMPARE(ui.areaCodeField->text(), "");
    QVERIFY(!ui.lockBox->isChecked() && !ui.dontUseBox->isChecked());
    QVERIFY(ui.saveButton->isDefault());
    QVERIFY(window.storeProblem().isEmpty());

    QSignalSpy accepted(&window, &QDialog::accepted);
    ui.saveButton->click();
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(stored("Modem", "ComPort"), "0");
    QCOMPARE(stored("Modem", "ModemResponseTimeout"), "3000");
    QCOMPARE(stored("Modem", "CallIDString"), "<absent>");
    QCOMPARE(stored("Setup", "AreaCode"), "");
    QCOMPARE(stored("Modem", "BaudRate"), "9600");
    QCOMPARE(stored("Modem", "PollInterval"), "100");
    QCOMPARE(stored("Modem", "NumberOfCom"), "4");
    QCOMPARE(stored("Modem", "FindModem"), "True");
}

void TestSetupWindow::portCount_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("ports");
    QTest::newRow("16 is kept") << "16"
                                << "16" << 16;
    QTest::newRow("17 is capped") << "17"
                                  << "16" << 16;
    QTest::newRow("20 is capped") << "20"
                                  << "16" << 16;
    QTest::newRow("1e2 is capped") << "1e2"
                                   << "16" << 16;
    QTest::newRow("zero") << "0"
                          << "0" << 0;
    QTest::newRow("negative") << "-3"
                              << "-3" << -3;
    QTest::newRow("half to even") << "2.5"
                                  << "2.5" << 2;
    QTest::newRow("half to even up") << "3.5"
                                     << "3.5" << 4;
    QTest::newRow("no number") << "abc"
                               << "abc" << 0;
    QTest::newRow("far below") << "-99999"
                               << "-99999" << -32768;
}

void TestSetupWindow::portCount()
{
    QFETCH(QString, typed);
    QFETCH(int, ports);
    SetupWindow window;
    window.ui().portsField->clear();
    QTest::keyClicks(window.ui().portsField, typed);
    QTEST(window.ui().portsField->text(), "shown");
    QCOMPARE(window.portsToSearch(), ports);
    QCOMPARE(window.ui().portChooser->count(), qMax(ports, 0));
    if (ports > 0)
        QCOMPARE(window.ui().portChooser->itemText(ports - 1), "Com" + QString::number(ports));
    window.ui().saveButton->click();
    QCOMPARE(stored("Modem", "NumberOfCom"), QString::number(ports));
}

void TestSetupWindow::exclusionIsStoredAtOnceAndSurvivesCancel()
{
    QVERIFY(saveSetting("ZodoDE", "Modem", "Com2", "1"));
    SetupWindow window;
    Ui::SetupWindow& ui = window.ui();
    // With no port chosen, the box only changes.
    ui.dontUseBox->click();
    QVERIFY(ui.dontUseBox->isChecked());
    QCOMPARE(stored("Modem", "Com1"), "<absent>");

    ui.portChooser->setCurrentIndex(1);
    emit ui.portChooser->activated(1);
    QVERIFY(ui.dontUseBox->isChecked());
    ui.portChooser->setCurrentIndex(0);
    emit ui.portChooser->activated(0);
    QVERIFY(!ui.dontUseBox->isChecked());
    ui.portChooser->setCurrentIndex(1);
    emit ui.portChooser->activated(1);
    ui.dontUseBox->click();
    QCOMPARE(stored("Modem", "Com2"), "0");
    ui.cancelButton->click();
    QCOMPARE(stored("Modem", "Com2"), "0");
    QCOMPARE(stored("Modem", "NumberOfCom"), "<absent>");
}

void TestSetupWindow::saveRules()
{
    QVERIFY(saveSetting("ZodoDE", "Modem", "ComPort", "2"));
    QVERIFY(saveSetting("ZodoDE", "Modem", "CallIDString", "AT#CID=1"));
    QVERIFY(saveSetting("ZodoDE", "Setup", "AreaCode", "613"));
    SetupWindow window;
    Ui::SetupWindow& ui = window.ui();
    QCOMPARE(ui.callerIdChooser->currentText(), "AT#CID=1");
    ui.comPortField->clear();
    ui.areaCodeField->clear();
    ui.pollingField->clear();
    ui.callerIdChooser->setEditText("");
    ui.timeoutField->setText("12 ms");
    ui.speedChooser->setEditText("57600");
    ui.lockBox->setChecked(true);
    ui.saveButton->click();
    QCOMPARE(stored("Modem", "ComPort"), "2");
    QCOMPARE(stored("Modem", "CallIDString"), "AT#CID=1");
    QCOMPARE(stored("Setup", "AreaCode"), "");
    QCOMPARE(stored("Modem", "PollInterval"), "0");
    QCOMPARE(stored("Modem", "ModemResponseTimeOut"), "12");
    QCOMPARE(stored("Modem", "BaudRate"), "57600");
    QCOMPARE(stored("Modem", "FindModem"), "False");

    SetupWindow again;
    QVERIFY(again.ui().lockBox->isChecked());
    again.ui().timeoutField->setText("2.50");
    again.ui().speedChooser->setEditText("");
    again.ui().saveButton->click();
    QCOMPARE(stored("Modem", "ModemResponseTimeout"), "2.5");
    QCOMPARE(stored("Modem", "BaudRate"), "57600");
}

// Each row: a field, a value typed there, and why it is refused (empty: it is taken, stored as
// the last column says). A refusal saves nothing.
void TestSetupWindow::fieldsRefuseWhatCannotBeUsed_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("stored"); // Section/Key=value
    QTest::newRow("unknown country") << "countryField"
                                     << "XX"
                                     << "Country \"XX\" is no country code"
                                     << "";
    QTest::newRow("UK is Great Britain") << "countryField"
                                         << "uk"
                                         << ""
                                         << "Setup/Country=GB";
    QTest::newRow("area code of letters") << "areaCodeField"
                                          << "abc"
                                          << "Area code \"abc\" is not three digits"
                                          << "";
    QTest::newRow("area code too long") << "areaCodeField"
                                        << "6135"
                                        << "Area code \"6135\" is not three digits"
                                        << "";
    QTest::newRow("negative time-out") << "timeoutField"
                                       << "-5"
                                       << "Timeout (ms) \"-5\" is not 1 to 65535"
                                       << "";
    QTest::newRow("time-out of letters") << "timeoutField"
                                         << "soon"
                                         << "Timeout (ms) \"soon\" is not 1 to 65535"
                                         << "";
    QTest::newRow("polling too slow") << "pollingField"
                                      << "60000"
                                      << "Polling (ms) \"60000\" is not 0 to 10000"
                                      << "";
    QTest::newRow("web page on no address") << "listenField"
                                            << "everywhere"
                                            << "\"everywhere\" is not an address to listen on"
                                            << "";
    QTest::newRow("NCID without a port") << "ncidListenField"
                                         << "192.168.1.10"
                                         << "\"192.168.1.10\" is not an address to listen on"
                                         << "";
    QTest::newRow("NCID on the home network") << "ncidListenField"
                                              << "192.168.1.10:3333"
                                              << ""
                                              << "NCID/Listen=192.168.1.10:3333";
    QTest::newRow("FRITZ!Box on a bad port") << "fritzBoxField"
                                             << "fritz.box:99999"
                                             << "FRITZ!Box \"fritz.box:99999\" is not HOST or "
                                                "HOST:PORT"
                                             << "";
    QTest::newRow("FRITZ!Box of colons") << "fritzBoxField"
                                         << "::::"
                                         << "FRITZ!Box \"::::\" is not HOST or HOST:PORT"
                                         << "";
    QTest::newRow("FRITZ!Box by its IPv6 address") << "fritzBoxField"
                                                   << "[fd00::1]:1012"
                                                   << ""
                                                   << "FritzBox/Address=[fd00::1]:1012";
    QTest::newRow("quiet hours backwards") << "quietHoursField"
                                           << "7-22"
                                           << "Quiet hours \"7-22\" are not HH:MM-HH:MM"
                                           << "";
}

void TestSetupWindow::fieldsRefuseWhatCannotBeUsed()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, refused);
    QFETCH(QString, stored);
    QVERIFY(saveSetting("ZodoDE", "Setup", "Country", "US"));
    SetupWindow window;
    QStringList failures;
    window.reportSaveFailure = [&failures](const QString& text) {
        failures << text;
    };
    auto* edit = window.findChild<QLineEdit*>(field);
    QVERIFY(edit);
    edit->setText(typed);
    window.ui().saveButton->click();
    if (refused.isEmpty()) {
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
        const QString key = stored.section('=', 0, 0);
        QCOMPARE(this->stored(key.section('/', 0, 0), key.section('/', 1)), stored.section('=', 1));
        return;
    }
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures.first().startsWith(refused) &&
                 failures.first().endsWith("; nothing was saved."),
             qPrintable(failures.first()));
    // Nothing at all was saved: not even the fields that were right.
    QCOMPARE(this->stored("Modem", "ComPort"), "<absent>");
}

void TestSetupWindow::deviceOfThePort()
{
    SetupWindow window;
    Ui::SetupWindow& ui = window.ui();
    QVERIFY(!ui.deviceChooser->isEnabled());
    ui.portChooser->setCurrentIndex(2);
    emit ui.portChooser->activated(2);
    QVERIFY(ui.deviceChooser->isEnabled());
    QCOMPARE(ui.deviceChooser->currentText(), "/nonexistent/ttyRING");
    ui.deviceChooser->setEditText("/dev/serial/by-id/usb-Modem-if00");
    emit ui.deviceChooser->lineEdit()->editingFinished();
    QCOMPARE(stored("Ports", "Com3"), "/dev/serial/by-id/usb-Modem-if00");
    // Cleared: the port goes back to the machine's own order.
    ui.deviceChooser->setEditText("");
    emit ui.deviceChooser->lineEdit()->editingFinished();
    QCOMPARE(stored("Ports", "Com3"), "");
    ui.cancelButton->click();
    QCOMPARE(stored("Ports", "Com3"), "");
}

void TestSetupWindow::oddStoredValues()
{
    QVERIFY(saveSetting("ZodoDE", "Modem", "ComPort", "two"));
    QVERIFY(saveSetting("ZodoDE", "Modem", "NumberOfCom", "lots"));
    QVERIFY(saveSetting("ZodoDE", "Modem", "FindModem", "maybe"));
    {
        SetupWindow window;
        QCOMPARE(window.ui().comPortField->text(), "two");
        QCOMPARE(window.ui().portsField->text(), "4");
        QVERIFY(!window.ui().lockBox->isChecked());
        window.ui().saveButton->click();
        QCOMPARE(stored("Modem", "ComPort"), "0");
    }
    QVERIFY(saveSetting("ZodoDE", "Modem", "NumberOfCom", "70000"));
    SetupWindow window;
    QCOMPARE(window.ui().portsField->text(), "16");
    QCOMPARE(window.portsToSearch(), 16);
}

void TestSetupWindow::damagedStoreIsReported()
{
    QFile file(SettingsStore::pathFor("ZodoDE"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Modem\nComPort=3\nstray words\nBaudRate=2400\n");
    file.close();
    SetupWindow window;
    QVERIFY(window.storeProblem().contains("lines 1 (its section name is not closed), 3 (it has "
                                           "no \"=\") cannot be read"));
    // Only what could not be read is lost: the entries around it show, and saving keeps them.
    QCOMPARE(window.ui().comPortField->text(), "3");
    QCOMPARE(window.ui().speedChooser->currentText(), "2400");
    window.ui().saveButton->click();
    QCOMPARE(stored("Modem", "ComPort"), "3");
    QCOMPARE(stored("Modem", "BaudRate"), "2400");
}

void TestSetupWindow::ringdeskExitKeepsWhatOnlyConfigWrites()
{
    // ringdesk loaded its settings, then config saved while it ran, then ringdesk exits.
    WindowControl noWindow;
    Monitor ringdesk(noWindow);
    ringdesk.loadSettings();
    SetupWindow window;
    window.ui().comPortField->setText("5");
    window.ui().pollingField->setText("250");
    window.ui().portsField->setText("2");
    window.ui().lockBox->setChecked(true);
    window.ui().saveButton->click();
    ringdesk.saveSettings();
    QCOMPARE(stored("Modem", "PollInterval"), "250");
    QCOMPARE(stored("Modem", "NumberOfCom"), "2");
    QCOMPARE(stored("Modem", "FindModem"), "False");
    QCOMPARE(stored("Modem", "ComPort"), "0"); // ringdesk writes back what it loaded
}

// The options below "Current Settings": stored only when changed; the log-in entry is a file
// of the XDG autostart folder that starts the monitor beside this program in the tray.
void TestSetupWindow::desktopOptions()
{
    const QString entry = m_home->path() + "/config/autostart/ringdesk.desktop";
    {
        SetupWindow window;
        QVERIFY(window.ui().matchNumberOnlyBox->isChecked());
        QVERIFY(window.ui().notifyBox->isChecked());
        QVERIFY(!window.ui().autostartBox->isChecked());
        window.ui().saveButton->click();
        QCOMPARE(stored("Setup", "Notify"), "<absent>");
        QCOMPARE(stored("Setup", "MatchNumberOnly"), "<absent>");
        QCOMPARE(stored("Setup", "Country"), "<absent>");
        QCOMPARE(stored("Screening", "Mode"), "<absent>");
        QCOMPARE(stored("Screening", "Action"), "<absent>");
        QCOMPARE(stored("Screening", "BlockMarkers"), "<absent>");
        QCOMPARE(stored("Screening", "Greylist"), "<absent>");
        QCOMPARE(stored("Screening", "QuietHours"), "<absent>");
        QVERIFY(!QFile::exists(entry));
    }
    {
        SetupWindow window;
        window.monitorProgram = "/opt/ring desk/bin/ringdesk";
        window.ui().matchNumberOnlyBox->setChecked(false);
        window.ui().countryField->setText("gb");
        window.ui().screeningModeChooser->setCurrentIndex(2);
        window.ui().screeningActionChooser->setCurrentIndex(2);
        window.ui().blockWithheldBox->setChecked(true);
        QVERIFY(window.ui().blockMarkersBox->isChecked()); // on by default
        window.ui().blockMarkersBox->setChecked(false);
        QStringList failures;
        window.reportSaveFailure = [&failures](const QString& text) {
            failures << text;
        };
        window.ui().blockInvalidBox->setChecked(true);
        window.ui().blockNeighboursBox->setChecked(true);
        window.ui().ownNumberField->setText(" 613-555-0100 ");
        window.ui().greylistField->setText("10");
        window.ui().checkUnknownBox->setChecked(true);
        QCOMPARE(window.ui().contactsSourceChooser->currentIndex(), 0); // the folder by default
        window.ui().contactsSourceChooser->setCurrentIndex(2);
        // Hours that are no span are refused before anything is saved.
        window.ui().quietHoursField->setText("22:00-22:00");
        window.ui().saveButton->click();
        QVERIFY2(failures.join('\n').contains("Quiet hours \"22:00-22:00\" are not "
                                              "HH:MM-HH:MM with two different times"),
                 qPrintable(failures.join('\n')));
        QCOMPARE(stored("Screening", "Mode"), "<absent>");
        window.ui().quietHoursField->setText("22:00-7:00");
        window.ui().ncidListenField->setText("192.168.1.10:3333");
        window.ui().fritzBoxField->setText(" fritz.box ");
        window.ui().webPasswordField->setText("household");
        window.ui().notifyBox->setChecked(false);
        window.ui().autostartBox->setChecked(true);
        window.ui().saveButton->click();
        QCOMPARE(stored("Setup", "Notify"), "0");
        QCOMPARE(stored("Setup", "MatchNumberOnly"), "0");
        QCOMPARE(stored("Setup", "Country"), "GB");
        QCOMPARE(stored("Screening", "Mode"), "2");
        QCOMPARE(stored("Screening", "Action"), "announce");
        QCOMPARE(stored("Screening", "Withheld"), "1");
        QCOMPARE(stored("Screening", "BlockMarkers"), "0");
        QCOMPARE(stored("Screening", "HangupDelay"), "<absent>");
        QCOMPARE(stored("Screening", "BlockInvalid"), "1");
        QCOMPARE(stored("Screening", "BlockNeighbours"), "1");
        QCOMPARE(stored("Screening", "OwnNumber"), "613-555-0100");
        QCOMPARE(stored("Screening", "Greylist"), "10");
        QCOMPARE(stored("Screening", "Unknown"), "check");
        QCOMPARE(stored("Contacts", "Source"), "auto");
        QCOMPARE(stored("Screening", "QuietHours"), "22:00-7:00");
        QCOMPARE(stored("NCID", "Listen"), "192.168.1.10:3333");
        QCOMPARE(stored("FritzBox", "Address"), "fritz.box");
        QVERIFY(PasswordHash::matches("household", stored("Web", "PasswordHash")));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QVERIFY(content.startsWith("[Desktop Entry]\nType=Application\n"));
        QVERIFY(content.contains("\nExec=\"/opt/ring desk/bin/ringdesk\" --minimized\n"));
    }
    {
        SetupWindow window; // the stored action is the one shown
        QCOMPARE(window.ui().screeningActionChooser->currentText(), "Announce \"not in service\"");
    }
    SetupWindow window;
    QVERIFY(window.ui().autostartBox->isChecked());
    QVERIFY(!window.ui().matchNumberOnlyBox->isChecked());
    window.ui().autostartBox->setChecked(false);
    window.ui().saveButton->click();
    QVERIFY(!QFile::exists(entry));
}

// Numbers show as the numbers they are, and "Don't Use:" reads as the monitor's search reads it.
void TestSetupWindow::storedTextReadsAsTheMonitorReadsIt()
{
    QVERIFY(saveSetting("ZodoDE", "Modem", "ComPort", "03"));
    QVERIFY(saveSetting("ZodoDE", "Modem", "ModemResponseTimeout", "3000.0"));
    QVERIFY(saveSetting("ZodoDE", "Modem", "PollInterval", "1e2"));
    QVERIFY(saveSetting("ZodoDE", "Modem", "Com2", "01"));
    SetupWindow window;
    Ui::SetupWindow& ui = window.ui();
    QCOMPARE(ui.comPortField->text(), "3");
    QCOMPARE(ui.timeoutField->text(), "3000");
    QCOMPARE(ui.pollingField->text(), "100");
    ui.portChooser->setCurrentIndex(1);
    emit ui.portChooser->activated(1);
    QVERIFY(ui.dontUseBox->isChecked());
    QVERIFY(PortMap::isExcluded("Com2"));
    QVERIFY(ui.deviceChooser->isEnabled());
    // A new port count rebuilds the chooser: no port is chosen, so no device either.
    ui.portsField->setText("3");
    QVERIFY(!ui.deviceChooser->isEnabled());
    QCOMPARE(ui.deviceChooser->currentText(), "");
    // Resized by its edges, it offers no maximise button.
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
}

void TestSetupWindow::captionsFitAnyFont_data()
{
    fontScales();
}

// The window follows the desktop's font: it grows with it, and every caption stays whole.
void TestSetupWindow::captionsFitAnyFont()
{
    QFETCH(qreal, scale);
    const auto open = [](SetupWindow& window) {
        window.show();
    };
    const DrawnWindow drawn = drawInFont<SetupWindow>(scale, open);
    QVERIFY2(drawn.clipped.isEmpty(), qPrintable(drawn.clipped.join(", ")));
    if (scale > 1) {
        const QSize usual = drawInFont<SetupWindow>(1.0, open).size;
        QVERIFY(drawn.size.width() > usual.width() && drawn.size.height() > usual.height());
    }
}

void TestSetupWindow::fitsTheScreen_data()
{
    screenSizes();
}

// Opened as the program opens it, Save and Cancel stay on the screen: the settings scroll.
void TestSetupWindow::fitsTheScreen()
{
    QFETCH(int, screen);
    QFETCH(qreal, scale);
    const QStringList problems = openOnScreen<SetupWindow>(
        screen, scale,
        [](SetupWindow& window) {
            centreOnScreen(&window);
            window.show();
        },
        [](SetupWindow&) {});
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(", ")));
}

QTEST_MAIN(TestSetupWindow)
#include "tst_setupwindow.moc"
