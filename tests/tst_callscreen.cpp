// The block and allow lists as the monitor, the window, the web page and the household's
// commands change them, and as another program writes them at the same time.
#include "calls/CallScreen.h"
#include "common/Clock.h"
#include "common/SettingsTable.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

CallerId caller(const QString& e164, const QString& name = QString())
{
    CallerId record;
    record.begun = true;
    record.number = e164;
    record.e164 = e164;
    record.name = name;
    return record;
}

} // namespace

class TestCallScreen : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void blockAndUnblock_data();
    void blockAndUnblock();
    void entriesAreOneThingEach_data();
    void entriesAreOneThingEach();
    void numbersFollowTheNumberPlan();
    void rulesTakeTurns_data();
    void rulesTakeTurns();
    void anotherWriterLosesNoLine();

private:
    QString text(const QString& name) const;
    void write(const QString& name, const QByteArray& text) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CallScreen> m_screen;
};

void TestCallScreen::init()
{
    Clock::setNow({});
    m_dir = std::make_unique<QTemporaryDir>();
    m_screen = std::make_unique<CallScreen>(m_dir->path(), m_dir->path() + "/imported");
    m_screen->setNumberPlan(NumberPlan(QStringLiteral("US"), QStringLiteral("613")));
    ScreeningOptions options;
    options.mode = ScreeningOptions::BlockListed;
    options.hangUpDelay = 100;
    m_screen->setOptions(options);
}

QString TestCallScreen::text(const QString& name) const
{
    QFile file(m_dir->path() + '/' + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void TestCallScreen::write(const QString& name, const QByteArray& text) const
{
    QFile file(m_dir->path() + '/' + name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// Each row: the lists before, one Block or Unblock of a caller, the lists after, what the menus
// then offer, the event line, and whether the caller's next call is blocked.
void TestCallScreen::blockAndUnblock_data()
{
    QTest::addColumn<QByteArray>("blockedBefore");
    QTest::addColumn<QByteArray>("allowedBefore");
    QTest::addColumn<QString>("action"); // "block" or "unblock"
    QTest::addColumn<QString>("blockedAfter");
    QTest::addColumn<QString>("allowedAfter");
    QTest::addColumn<QString>("said");
    QTest::addColumn<bool>("nextBlocked");
    const QString n = "+1 (613) 555-0101";
    QTest::newRow("unblock removes every spelling")
        << QByteArray("613-555-0101\n# kept\n+1 613 555 0101\n555-0199\n") << QByteArray()
        << "unblock"
        << "# kept\n555-0199\n"
        << ""
        << "[Took " + n + " off " << false;
    QTest::newRow("unblock removes a number with its comment")
        << QByteArray("613-555-0101 # the roofer\n555-0199\n") << QByteArray() << "unblock"
        << "555-0199\n"
        << ""
        << "[Took " + n + " off " << false;
    QTest::newRow("unblock of a prefix-blocked number allows it")
        << QByteArray("1613555*\n") << QByteArray() << "unblock"
        << "1613555*\n"
        << "+1 613-555-0101\n"
        << "[Added " + n + " to %1/allowed.txt: it overrides \"1613555*\" in " << false;
    QTest::newRow("unblock of a pattern-blocked caller allows the number")
        << QByteArray("name: robo*\n") << QByteArray() << "unblock"
        << "name: robo*\n"
        << "+1 613-555-0101\n"
        << "[Added " + n + " to %1/allowed.txt: it overrides \"name: robo*\" in " << false;
    QTest::newRow("block takes the number off the allow list")
        << QByteArray() << QByteArray("613.555.0101\n+16135550102\n") << "block"
        << "+1 613-555-0101\n"
        << "+16135550102\n"
        << "[Took " + n + " off %1/allowed.txt]" << true;
    QTest::newRow("block of a number allowed by a prefix says so")
        << QByteArray() << QByteArray("613555*\n") << "block"
        << "+1 613-555-0101\n"
        << "613555*\n"
        << "is still let through by \"613555*\"" << false;
}

void TestCallScreen::blockAndUnblock()
{
    QFETCH(QByteArray, blockedBefore);
    QFETCH(QByteArray, allowedBefore);
    QFETCH(QString, action);
    QFETCH(QString, blockedAfter);
    QFETCH(QString, allowedAfter);
    QFETCH(QString, said);
    QFETCH(bool, nextBlocked);
    write("blocked.txt", blockedBefore);
    write("allowed.txt", allowedBefore);
    QSignalSpy lines(m_screen.get(), &CallScreen::eventLine);
    const QString number = "+1 (613) 555-0101";
    QVERIFY(action == "block" ? m_screen->block(number) : m_screen->unblock(number, "ROBO CALL"));
    QCOMPARE(text("blocked.txt"), blockedAfter);
    QCOMPARE(text("allowed.txt"), allowedAfter);
    QStringList told;
    for (const QList<QVariant>& line : lines)
        told << line.at(0).toString();
    const QString expected = said.contains("%1") ? said.arg(m_dir->path()) : said;
    QVERIFY2(told.join('\n').contains(expected), qPrintable(told.join('\n')));
    QCOMPARE(m_screen->isBlocked(number, "ROBO CALL"), nextBlocked);
    const CallScreen::Verdict verdict =
        m_screen->decide(caller("+16135550101", "ROBO CALL"), [] { return false; });
    QCOMPARE(verdict.blocked, nextBlocked);
}

// What the web page may add: one number, one prefix or one name pattern; the reason otherwise.
void TestCallScreen::entriesAreOneThingEach_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("refused"); // the reason, or empty when taken
    QTest::newRow("number") << "613-555-0101"
                            << "";
    QTest::newRow("prefix") << "1900*"
                            << "";
    QTest::newRow("pattern") << "name: *SPAM*"
                             << "";
    QTest::newRow("two numbers") << "613-555-0101 613-555-0102"
                                 << "one number has 3 to 15 digits, not 20";
    QTest::newRow("two numbers with a comma")
        << "613-555-0101, 613-555-0102"
        << "not a number, a prefix ending in * or name: PATTERN";
    QTest::newRow("three digits") << "911"
                                  << "";
    QTest::newRow("two digits") << "91"
                                << "one number has 3 to 15 digits, not 2";
    QTest::newRow("one digit") << "1"
                               << "one number has 3 to 15 digits, not 1";
    QTest::newRow("a megabyte") << QString(1 << 20, '5') << "longer than 100 characters";
    QTest::newRow("empty pattern") << "name:  "
                                   << "a name pattern with no name";
    QTest::newRow("bare star") << "*"
                               << "a prefix is digits followed by *";
}

void TestCallScreen::entriesAreOneThingEach()
{
    QFETCH(QString, entry);
    QFETCH(QString, refused);
    QSignalSpy lines(m_screen.get(), &CallScreen::eventLine);
    QString error;
    QCOMPARE(m_screen->addEntry(CallScreen::List::Blocked, entry, &error), refused.isEmpty());
    QCOMPARE(error, refused);
    QCOMPARE(m_screen->entries(CallScreen::List::Blocked).size(), refused.isEmpty() ? 1 : 0);
    // Every change has its event line; a refused one changes nothing.
    QCOMPARE(lines.size(), refused.isEmpty() ? 1 : 0);
}

// The lists are read by the plan in force when the call comes, also after it changed.
void TestCallScreen::numbersFollowTheNumberPlan()
{
    write("blocked.txt", "555-1234\n");
    auto blocked = [this](const QString& e164) {
        return m_screen->decide(caller(e164), [] { return false; }).blocked;
    };
    QVERIFY(blocked("+16135551234"));
    m_screen->setNumberPlan(NumberPlan(QStringLiteral("US"), QStringLiteral("416")));
    QVERIFY(blocked("+14165551234"));
    QVERIFY(!blocked("+16135551234"));
    write("blocked.txt", "0044*\n");
    m_screen->setNumberPlan(NumberPlan(QStringLiteral("FR"), QString()));
    QVERIFY(blocked("+441632960001"));
    QVERIFY(!blocked("+33612345678"));
}

// Each row: the rules switched on, one caller at a time of day, and the rule that blocks it
// (empty: it rings; "ask": it is asked for a key first). The first rule in the order that matches
// names the block.
void TestCallScreen::rulesTakeTurns_data()
{
    QTest::addColumn<QString>("rules"); // invalid neighbours greylist=N quiet=HH:MM-HH:MM check
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("contact");
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("calledMinutesAgo"); // -1: never called
    QTest::addColumn<QString>("rule");
    const QString none;
    QTest::newRow("cannot exist") << "invalid"
                                  << "+16130550199" << none << false << "12:00" << -1
                                  << "cannot exist";
    QTest::newRow("can exist") << "invalid"
                               << "+16132220199" << none << false << "12:00" << -1 << none;
    QTest::newRow("cannot exist, the rule off")
        << ""
        << "+16130550199" << none << false << "12:00" << -1 << none;
    QTest::newRow("a marker within the name")
        << ""
        << "+16132220199"
        << "ACME SPAM LIKELY" << false << "12:00" << -1 << "name marked SPAM";
    QTest::newRow("a contact that cannot exist")
        << "invalid"
        << "+16130550199" << none << true << "12:00" << -1 << none;
    QTest::newRow("neighbour") << "neighbours"
                               << "+16135559876" << none << false << "12:00" << -1
                               << "neighbour of 613-555-0100";
    QTest::newRow("own number") << "neighbours"
                                << "+16135550100" << none << false << "12:00" << -1
                                << "neighbour of 613-555-0100";
    QTest::newRow("another exchange") << "neighbours"
                                      << "+16135560100" << none << false << "12:00" << -1 << none;
    QTest::newRow("after quiet hours begin")
        << "quiet=22:00-07:00"
        << "+16132220199" << none << false << "23:30" << -1 << "quiet hours";
    QTest::newRow("before quiet hours end")
        << "quiet=22:00-07:00"
        << "+16132220199" << none << false << "06:59" << -1 << "quiet hours";
    QTest::newRow("as quiet hours end") << "quiet=22:00-07:00"
                                        << "+16132220199" << none << false << "07:00" << -1 << none;
    QTest::newRow("withheld in quiet hours")
        << "quiet=22:00-07:00"
        << ""
        << "PRIVATE" << false << "00:10" << -1 << "quiet hours";
    QTest::newRow("a contact in quiet hours")
        << "quiet=22:00-07:00"
        << "+16132220199" << none << true << "00:10" << -1 << none;
    QTest::newRow("quiet hours within a day")
        << "quiet=12:00-13:00"
        << "+16132220199" << none << false << "12:59" << -1 << "quiet hours";
    QTest::newRow("first call") << "greylist=10"
                                << "+16132220199" << none << false << "12:00" << -1
                                << "first call, greylist";
    QTest::newRow("second try in time") << "greylist=10"
                                        << "+16132220199" << none << false << "12:00" << 9 << none;
    QTest::newRow("second try too late")
        << "greylist=10"
        << "+16132220199" << none << false << "12:00" << 11 << "first call, greylist";
    QTest::newRow("imported list, then cannot exist")
        << "invalid"
        << "+16130550000" << none << false << "12:00" << -1 << "list FTC";
    QTest::newRow("cannot exist, then markers")
        << "invalid"
        << "+16130550199"
        << "SPAM RISK" << false << "12:00" << -1 << "cannot exist";
    QTest::newRow("markers, then quiet hours")
        << "quiet=22:00-07:00"
        << "+16132220199"
        << "SPAM RISK" << false << "23:00" << -1 << "name marked SPAM";
    QTest::newRow("quiet hours, then greylist")
        << "quiet=22:00-07:00 greylist=10"
        << "+16132220199" << none << false << "23:00" << -1 << "quiet hours";
    QTest::newRow("nobody knows it: asked")
        << "check"
        << "+16132220199" << none << false << "12:00" << -1 << "ask";
    QTest::newRow("withheld: asked") << "check"
                                     << ""
                                     << "PRIVATE" << false << "12:00" << -1 << "ask";
    QTest::newRow("a contact: rings") << "check"
                                      << "+16132220199" << none << true << "12:00" << -1 << none;
    QTest::newRow("a rule blocks it: never asked")
        << "check invalid"
        << "+16130550199" << none << false << "12:00" << -1 << "cannot exist";
}

void TestCallScreen::rulesTakeTurns()
{
    QFETCH(QString, rules);
    QFETCH(QString, number);
    QFETCH(QString, name);
    QFETCH(bool, contact);
    QFETCH(QString, time);
    QFETCH(int, calledMinutesAgo);
    QFETCH(QString, rule);
    ScreeningOptions options = m_screen->options();
    for (const QString& word : rules.split(' ')) {
        options.blockInvalid |= word == "invalid";
        options.blockNeighbours |= word == "neighbours";
        options.checkUnknown |= word == "check";
        if (word.startsWith("greylist="))
            options.greylistMinutes = word.mid(9).toInt();
        if (word.startsWith("quiet="))
            QVERIFY(Settings::quietHours(word.mid(6), &options.quietFrom, &options.quietTo));
    }
    options.ownNumber = "613-555-0100";
    m_screen->setOptions(options);
    QDir().mkpath(m_dir->path() + "/imported");
    write("imported/FTC.list", "# FTC\n+16130550000\n+16135551234\n");
    const QDateTime now(QDate(2026, 12, 8), QTime::fromString(time, "HH:mm"));
    Clock::setNow([now] { return now; });
    m_screen->setLastCall([&](const QString& asked) {
        return asked == number && calledMinutesAgo >= 0 ? now.addSecs(-60 * calledMinutesAgo)
                                                        : QDateTime();
    });
    CallerId record = caller(number, name);
    record.withheld = number.isEmpty();
    const CallScreen::Verdict verdict = m_screen->decide(record, [contact] { return contact; });
    const bool asked = rule == u"ask";
    QCOMPARE(verdict.check, asked);
    QCOMPARE(verdict.rule, asked ? QString() : rule);
    QCOMPARE(verdict.blocked, !asked && !rule.isEmpty());
}

// A shell loop appends to blocked.txt while entries are added and removed here: none of its
// lines, and none of ours that were not removed, may go.
void TestCallScreen::anotherWriterLosesNoLine()
{
    const QString path = m_dir->path() + "/blocked.txt";
    write("blocked.txt", "");
    QProcess other;
    other.start("/bin/sh", {"-c", QString("for i in $(seq 100 219); do echo \"+1 555 01$i\" >> "
                                          "'%1'; done")
                                      .arg(path)});
    QVERIFY(other.waitForStarted());
    QString error;
    int ours = 0;
    while (other.state() != QProcess::NotRunning || ours < 20) {
        const QString number = QString("+1 613 777 %1").arg(1000 + ours);
        QVERIFY2(m_screen->addEntry(CallScreen::List::Blocked, number, &error), qPrintable(error));
        // The first time there is nothing to remove: 0 lines, and no failure.
        QVERIFY2(m_screen->removeEntry(CallScreen::List::Blocked,
                                       "1 613 777 " + QString::number(1000 + ours - 1),
                                       &error) >= 0,
                 qPrintable(error));
        ++ours;
        QCoreApplication::processEvents();
    }
    QCOMPARE(other.exitCode(), 0);
    // A line written into the replaced version a moment after the rename comes over shortly.
    auto allThere = [this] {
        const QString after = text("blocked.txt");
        for (int i = 100; i < 220; ++i)
            if (!after.contains(QString("+1 555 01%1\n").arg(i)))
                return false;
        return after.count("777") == 1;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(allThere(), qPrintable(text("blocked.txt")), 3000);
}

QTEST_GUILESS_MAIN(TestCallScreen)
#include "tst_callscreen.moc"
