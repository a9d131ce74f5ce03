#include "TestHome.h"
#include "monitor/Monitor.h"
#include "shell/Dialogs.h"
#include "shell/Lifecycle.h"
#include "shell/MainWindow.h"
#include "shell/TrayIcon.h"
#include "ui_MainWindow.h"

#include <QSignalSpy>
#include <QTest>

class TestTray : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void tipIsCutWithoutSplittingCharacters_data();
    void tipIsCutWithoutSplittingCharacters();
    void statusLineRefreshesTheTip();
    void activationsReachTheWindowOnlyWhileFollowing();
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
    Dialogs::reset();
    Dialogs::setUnattended(true);
    m_home = std::make_unique<TestHome>();
    m_window = std::make_unique<MainWindow>();
    m_life = std::make_unique<Lifecycle>(*m_window);
    m_life->load();
    m_window->show();
    m_life->activate();
}

void TestTray::cleanup()
{
    Dialogs::reset();
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
    QVERIFY(result.toUtf8().size() <= TrayIcon::TipBytes);
}

void TestTray::statusLineRefreshesTheTip()
{
    m_window->state().setField(MonitorState::Status, "Active... Waiting for a Ring");
    QTRY_COMPARE(m_window->tray().shown().tip, "Ringwatch - Active... Waiting for a Ring");
}

void TestTray::activationsReachTheWindowOnlyWhileFollowing()
{
    TrayIcon& tray = m_window->tray();
    QSignalSpy menu(&tray, &TrayIcon::menuRequested);
    QSignalSpy restore(&tray, &TrayIcon::restoreRequested);
    QVERIFY(!tray.handleActivation(QSystemTrayIcon::Context));
    tray.follow(m_window.get());
    tray.follow(m_window.get());
    QVERIFY(tray.following());
    QVERIFY(!tray.handleActivation(QSystemTrayIcon::Trigger));
    QVERIFY(!tray.handleActivation(QSystemTrayIcon::MiddleClick));
    QVERIFY(tray.handleActivation(QSystemTrayIcon::Context));
    QVERIFY(tray.handleActivation(QSystemTrayIcon::DoubleClick));
    QCOMPARE(menu.count(), 1);
    QCOMPARE(restore.count(), 1);
    tray.stopFollowing();
    tray.stopFollowing();
    QVERIFY(!tray.handleActivation(QSystemTrayIcon::DoubleClick));
    QCOMPARE(restore.count(), 1);
}

void TestTray::menuActions()
{
    TrayIcon& tray = m_window->tray();
    const QList<QAction*> items = tray.menu.actions();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items.at(0)->text(), "&Enable");
    QCOMPARE(items.at(1)->text(), "&Disable");
    QVERIFY(items.at(2)->isSeparator());
    QCOMPARE(items.at(3)->text(), "&Maximize");

    tray.disableAction->trigger();
    QVERIFY(!m_window->state().box(MonitorState::ModemEnabled));
    QVERIFY(tray.disableAction->isChecked() && !tray.enableAction->isChecked());
    QCOMPARE(tray.shown().icon.cacheKey(), MainWindow::modemOffIcon().cacheKey());
    tray.enableAction->trigger();
    QVERIFY(m_window->state().box(MonitorState::ModemEnabled));
    QVERIFY(tray.enableAction->isChecked());
    QCOMPARE(tray.shown().icon.cacheKey(), m_window->windowIcon().cacheKey());

    m_window->showMinimized();
    tray.restoreAction->trigger();
    QVERIFY(!m_window->isMinimized());
    QVERIFY(m_window->isVisible());
}

void TestTray::withoutNotificationAreaMinimisesToTaskBar()
{
    if (qEnvironmentVariableIsSet("RINGDESK_EXPECT_TRAY") ||
        QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("this desktop has a notification area");
    m_window->ui().minimizeButton->click();
    QVERIFY(m_window->isVisible());
    QVERIFY(m_window->isMinimized());
    QVERIFY(!m_window->tray().following());
    QVERIFY(!m_window->tray().isShown());
    m_window->bringBack();
    QVERIFY(!m_window->isMinimized());
}

void TestTray::notificationAreaRoundTrip()
{
    if (qEnvironmentVariableIsSet("RINGDESK_EXPECT_TRAY"))
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("no notification area here (run under a tray: see tests/with-tray.sh)");
    MonitorState& s = m_window->state();
    s.setField(MonitorState::Status, "Active... Waiting for a Ring");
    m_window->monitor().setModemEnabled(false);
    m_window->minimize();
    TrayIcon& tray = m_window->tray();
    QVERIFY(!m_window->isVisible());
    QVERIFY(tray.following());
    QTRY_VERIFY(tray.isShown());
    QTRY_COMPARE(tray.shown().tip, "Ringwatch - Manual Mode");
    QCOMPARE(tray.shown().icon.cacheKey(), MainWindow::modemOffIcon().cacheKey());
    s.setField(MonitorState::Status, "Still here");
    QTRY_COMPARE(tray.shown().tip, "Ringwatch - Still here");

    // A ring with "Maximize on Ring" brings the window back out of the tray.
    s.setBox(MonitorState::MaximizeOnRing, true);
    m_window->monitor().modem().receive("RING\r\n");
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->isMinimized());
    QVERIFY(!tray.following());
    QVERIFY(!tray.isShown());

    // Unticking "Use System Tray" sends the next minimise to the task bar.
    s.setBox(MonitorState::UseTray, false);
    m_window->minimize();
    QVERIFY(!tray.isShown());
    QVERIFY(m_window->isVisible());
}

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
