#include "TestHome.h"
#include "shell/Dialogs.h"
#include "shell/Lifecycle.h"
#include "shell/MainWindow.h"
#include "shell/TrayIcon.h"
#include "ui_Form1.h"

#include <QSignalSpy>
#include <QTest>

class TestTray : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Dialogs::setUnattended(true); }
    void init();
    void cleanup();
    void tipIsCutWithoutSplittingCharacters_data();
    void tipIsCutWithoutSplittingCharacters();
    void statusLineRefreshesTheTip();
    void activationsReachTheWindowOnlyWhileHooked();
    void menuActions();
    void withoutNotificationAreaMinimisesToTaskBar();
    void notificationAreaRoundTrip();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<Lifecycle> m_life;
};

void TestTray::init()
{
    m_home = std::make_unique<TestHome>();
    m_window = std::make_unique<MainWindow>();
    m_life = std::make_unique<Lifecycle>(*m_window);
    m_life->Form_Load();
    m_window->show();
    m_life->Form_Activate();
}

void TestTray::cleanup()
{
    m_life.reset();
    m_window.reset();
    m_home.reset();
}

void TestTray::tipIsCutWithoutSplittingCharacters_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("tip");
    QTest::newRow("short") << "Manual Mode"
                           << "Ringwatch - Manual Mode";
    const QString longStatus(80, u'x');
    QTest::newRow("long") << longStatus << "Ringwatch - " + QString(51, u'x');
    // 12 bytes of prefix, 25 two-byte letters make 62 bytes: the 26th would need 64.
    const QString accents(30, QChar(0xe9));
    QTest::newRow("two-byte letters") << accents << "Ringwatch - " + QString(25, QChar(0xe9));
    const QString emoji = QString(50, u'a') + QString::fromUtf8("\xf0\x9f\x93\x9e");
    QTest::newRow("four-byte character at the edge") << emoji << "Ringwatch - " + QString(50, u'a');
}

void TestTray::tipIsCutWithoutSplittingCharacters()
{
    QFETCH(QString, status);
    QFETCH(QString, tip);
    const QString result = TrayIcon::tipFor(status);
    QCOMPARE(result, tip);
    QVERIFY(result.toUtf8().size() <= TrayIconData::TipBytes);
}

void TestTray::statusLineRefreshesTheTip()
{
    m_window->state().setField(MonitorState::SystemMessage, "Active... Waiting for a Ring");
    QCOMPARE(m_window->tray().data().szTip, "Ringwatch - Active... Waiting for a Ring");
}

void TestTray::activationsReachTheWindowOnlyWhileHooked()
{
    TrayIcon& tray = m_window->tray();
    QSignalSpy context(&tray, &TrayIcon::contextRequested);
    QSignalSpy doubled(&tray, &TrayIcon::doubleClicked);
    QCOMPARE(tray.TrayWindowProc(QSystemTrayIcon::Context), 0);
    tray.HookWindow(m_window.get());
    tray.HookWindow(m_window.get());
    QVERIFY(tray.IsHooked());
    QCOMPARE(tray.TrayWindowProc(QSystemTrayIcon::Trigger), 0);
    QCOMPARE(tray.TrayWindowProc(QSystemTrayIcon::MiddleClick), 0);
    QCOMPARE(tray.TrayWindowProc(QSystemTrayIcon::Context), -1);
    QCOMPARE(tray.TrayWindowProc(QSystemTrayIcon::DoubleClick), -1);
    QCOMPARE(context.count(), 1);
    QCOMPARE(doubled.count(), 1);
    tray.UnhookWindow();
    tray.UnhookWindow();
    QCOMPARE(tray.TrayWindowProc(QSystemTrayIcon::DoubleClick), 0);
    QCOMPARE(doubled.count(), 1);
}

void TestTray::menuActions()
{
    TrayIcon& tray = m_window->tray();
    const QList<QAction*> items = tray.RCPopup.actions();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items.at(0)->text(), "&Enable");
    QCOMPARE(items.at(1)->text(), "&Disable");
    QVERIFY(items.at(2)->isSeparator());
    QCOMPARE(items.at(3)->text(), "&Maximize");

    tray.DisableCallID->trigger();
    QCOMPARE(m_window->state().check(1), 0);
    QVERIFY(tray.DisableCallID->isChecked() && !tray.EnableCallID->isChecked());
    QCOMPARE(tray.data().hIcon.cacheKey(), MainWindow::modemOffIcon().cacheKey());
    tray.EnableCallID->trigger();
    QCOMPARE(m_window->state().check(1), 1);
    QVERIFY(tray.EnableCallID->isChecked());
    QCOMPARE(tray.data().hIcon.cacheKey(), m_window->windowIcon().cacheKey());

    m_window->showMinimized();
    tray.MaximizeCallID->trigger();
    QVERIFY(!m_window->isMinimized());
    QVERIFY(m_window->isVisible());
}

void TestTray::withoutNotificationAreaMinimisesToTaskBar()
{
    if (qEnvironmentVariableIsSet("RINGDESK_EXPECT_TRAY") ||
        QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("this desktop has a notification area");
    m_window->ui().Command9->click();
    QVERIFY(m_window->isVisible());
    QVERIFY(m_window->isMinimized());
    QVERIFY(!m_window->tray().IsHooked());
    QVERIFY(!m_window->tray().isShown());
    m_window->MaximizeCallIDForm();
    QVERIFY(!m_window->isMinimized());
}

void TestTray::notificationAreaRoundTrip()
{
    if (qEnvironmentVariableIsSet("RINGDESK_EXPECT_TRAY"))
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("no notification area here (run under a tray: see tests/with-tray.sh)");
    MonitorState& s = m_window->state();
    s.setField(MonitorState::SystemMessage, "Active... Waiting for a Ring");
    s.setCheck(1, 0);
    m_window->MinimizeCallIDForm();
    TrayIcon& tray = m_window->tray();
    QVERIFY(!m_window->isVisible());
    QVERIFY(tray.IsHooked());
    QTRY_VERIFY(tray.isShown());
    QCOMPARE(tray.data().szTip, "Ringwatch - Manual Mode");
    QCOMPARE(tray.data().hIcon.cacheKey(), MainWindow::modemOffIcon().cacheKey());
    s.setField(MonitorState::SystemMessage, "Still here");
    QCOMPARE(tray.data().szTip, "Ringwatch - Still here");

    // A ring with "Maximize on Ring" brings the window back out of the tray.
    s.setCheck(4, 1);
    m_window->monitor().receiver.receive("RING\r\n");
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->isMinimized());
    QVERIFY(!tray.IsHooked());
    QVERIFY(!tray.isShown());

    // Unticking "Use System Tray" sends the next minimise to the task bar.
    s.setCheck(7, 0);
    m_window->MinimizeCallIDForm();
    QVERIFY(!tray.isShown());
    QVERIFY(m_window->isVisible());
}

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
