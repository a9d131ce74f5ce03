// Call screening end to end: `ringdesk --headless` on the simulated modem, the lists edited
// between calls while it runs, the hang-up seen by the modem.
#include "ModemSim.h"
#include "TestHome.h"

#include <QtTest>

namespace {

// The monitor's settings for the simulated modem on port 1, in area code 613, making no cards.
void useModem(ModemSim& modem)
{
    TestHome::useModem(modem.device());
    saveSetting("ZodoDE", "Setup", "AutoCreateContact", "0");
}

void writeText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

} // namespace

class TestScreening : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void callsAreScreened_data();
    void callsAreScreened();
    void importedListsBlock();
    void hangUpHoldsTheLine_data();
    void hangUpHoldsTheLine();

private:
    std::unique_ptr<TestHome> m_home;
};

namespace {

// The hook changes the simulated modem printed: (off, on) in microseconds of its clock.
QList<std::pair<qint64, qint64>> hookSpans(const QByteArray& output)
{
    QList<std::pair<qint64, qint64>> spans;
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith("hook off "))
            spans.append({line.mid(9).toLongLong(), 0});
        else if (line.startsWith("hook on ") && !spans.isEmpty())
            spans.last().second = line.mid(8).toLongLong();
    }
    return spans;
}

} // namespace

void TestScreening::init()
{
    m_home = std::make_unique<TestHome>();
}

void TestScreening::cleanup()
{
    m_home.reset();
}

// Each row one monitor with its settings; each step of a row one call after the lists were
// rewritten as the step says: the "[Blocked …]" line it must give, or none.
void TestScreening::callsAreScreened_data()
{
    QTest::addColumn<QStringList>("settings"); // Key=value of [Screening]
    QTest::addColumn<QStringList>("steps");    // blocked.txt | allowed.txt | call | blocked as
    QTest::newRow("block list")
        << QStringList{"Mode=1", "Withheld=1", "HangupDelay=300"}
        << QStringList{
               "613-555-0199  # the plumber||call 6135550199 PLUMBER JOE|"
               "[Blocked +1 (613) 555-0199: 613-555-0199]",
               "1900*||call 19005550000 PREMIUM|[Blocked +1 (900) 555-0000: 1900*]",
               "+1 900*||call 19005550000 PREMIUM|[Blocked +1 (900) 555-0000: +1 900*]",
               "900*||call 9005550000 PREMIUM|[Blocked +1 (900) 555-0000: 900*]",
               "name: *TELEMARKET*||call 6135550111 ACME TELEMARKETING|"
               "[Blocked +1 (613) 555-0111: name: *TELEMARKET*]",
               "name: *telemarket*||call 6135550111 ACME TELEMARKETING|"
               "[Blocked +1 (613) 555-0111: name: *telemarket*]",
               // A contact is never blocked by a pattern or a prefix; the allow list beats any
               // entry of the block list.
               "name: *TELEMARKET*||call 6135550100 BIG TELEMARKETER|",
               "613555*||call 6135550100 BIG TELEMARKETER|",
               "name: *TELEMARKET*|+1 613 555 0111|call 6135550111 ACME TELEMARKETING|",
               "+1 613-555-0100|613-555-0100|call 6135550100 BIG TELEMARKETER|",
               // The user's own number entry blocks a contact: that is what Block is for.
               "+1 613-555-0100||call 6135550100 BIG TELEMARKETER|"
               "[Blocked +1 (613) 555-0100: +1 613-555-0100]",
               "||private|[Blocked Private: withheld]",
               // A line that is no entry is reported and skipped; the file's others still count.
               "hello\\n1\\n613-555-0199||call 6135550199 PLUMBER JOE|"
               "[Blocked +1 (613) 555-0199: 613-555-0199]",
               "||call 6135550199 PLUMBER JOE|",
           };
    QTest::newRow("address book and allow list only")
        << QStringList{"Mode=2", "HangupDelay=300"}
        << QStringList{
               "||call 6135550123 STRANGER|"
               "[Blocked +1 (613) 555-0123: not in the address book or allowed.txt]",
               "||call 6135550100 KNOWN|",
               "|613-555-0123|call 6135550123 STRANGER|",
               "||outofarea|[Blocked Out of Area: withheld]",
           };
    // Unknown callers get a card at their first call; a number blocked after that still is.
    QTest::newRow("caller who has a card since the first call")
        << QStringList{"Mode=1", "HangupDelay=300", "Setup/AutoCreateContact=1"}
        << QStringList{"||call 6135553333 NEW CALLER|",
                       "+1 613-555-3333||call 6135553333 NEW CALLER|"
                       "[Blocked +1 (613) 555-3333: +1 613-555-3333]"};
    QTest::newRow("outside North America")
        << QStringList{"Mode=1", "HangupDelay=300", "Setup/Country=FR", "Setup/AreaCode="}
        << QStringList{"0044*||call 00441632960001 LONDON|: 0044*]",
                       "+44*||call 00441632960001 LONDON|: +44*]",
                       "06 12 34 56 78||call 0612345678 MOBILE|: 06 12 34 56 78]",
                       "0044*||call 0612345678 MOBILE|"};
    QTest::newRow("names that mark spam")
        << QStringList{"Mode=1", "HangupDelay=300"}
        << QStringList{
               "||call 6135550140 SPAM RISK|[Blocked +1 (613) 555-0140: name marked SPAM]",
               "||call 6135550141 SCAM LIKELY|"
               "[Blocked +1 (613) 555-0141: name marked SCAM LIKELY]",
               "||call 6135550142 V123456789012345|"
               "[Blocked +1 (613) 555-0142: name marked V and 15 digits]",
               // A contact and the allow list beat it; a name that only looks alike is no mark.
               "||call 6135550100 BIG TELEMARKETER|",
               "|613-555-0143|call 6135550143 FRAUD ALERT|",
               "||call 6135550144 V12345|",
           };
    QTest::newRow("names that mark spam, rule off")
        << QStringList{"Mode=1", "BlockMarkers=0", "HangupDelay=300"}
        << QStringList{"||call 6135550140 SPAM RISK|"};
    QTest::newRow("numbers that cannot exist")
        << QStringList{"Mode=1", "BlockInvalid=1", "HangupDelay=300"}
        << QStringList{"||call 6130550199 NOBODY|: cannot exist]", "||call 6132220199 SOMEBODY|",
                       "||call 6130550100 BIG TELEMARKETER|",
                       "|613-055-0199|call 6130550199 NOBODY|"};
    QTest::newRow("neighbours")
        << QStringList{"Mode=1", "OwnNumber=613-555-7777", "BlockNeighbours=1", "HangupDelay=300"}
        << QStringList{"||call 6135551234 NEIGHBOUR|: neighbour of 613-555-7777]",
                       "||call 6135561234 ELSEWHERE|", "||call 6135550100 BIG TELEMARKETER|",
                       "|613-555-1234|call 6135551234 NEIGHBOUR|"};
    // The earlier call of 613-555-0160 was two hours ago: too long for a second try.
    QTest::newRow("greylist")
        << QStringList{"Mode=1", "Greylist=10", "HangupDelay=300",
                       "log=" +
                           QDateTime::currentDateTime().addSecs(-7200).toString("MM/dd HH:mm") +
                           " +1 (613) 555-0160 LATE"}
        << QStringList{"||call 6135550150 PATIENT|: first call, greylist]",
                       "||call 6135550150 PATIENT|",
                       "||call 6135550160 LATE|: first call, greylist]",
                       "||call 6135550100 BIG TELEMARKETER|", "|613-555-0170|call 6135550170 X|"};
    // Hours that cross midnight and hold the time of the test, whatever it is.
    const QTime now = QTime::currentTime();
    const QString quiet = now.hour() < 12 ? "23:00-" + now.addSecs(3600).toString("HH:mm")
                                          : now.addSecs(-3600).toString("HH:mm") + "-01:00";
    QTest::newRow("quiet hours") << QStringList{"Mode=1", "QuietHours=" + quiet, "HangupDelay=300"}
                                 << QStringList{"||call 6132220199 LATE|: quiet hours]",
                                                "||private|: quiet hours]",
                                                "||call 6135550100 BIG TELEMARKETER|",
                                                "|613-222-0199|call 6132220199 LATE|"};
    QTest::newRow("silence") << QStringList{"Mode=1", "Action=silence"}
                             << QStringList{"613-555-0199||call 6135550199 PLUMBER JOE|"
                                            "[Blocked +1 (613) 555-0199: 613-555-0199]",
                                            "||private|"};
}

void TestScreening::callsAreScreened()
{
    QFETCH(QStringList, settings);
    QFETCH(QStringList, steps);
    ModemSim modem({"--accept", "AT+VCID=1"});
    useModem(modem);
    saveSetting("ZodoDE", "Setup", "Country", "US");
    for (const QString& setting : settings) {
        if (setting.startsWith("log=")) {
            writeText(m_home->dataDir() + "CallLog.txt", setting.mid(4).toUtf8() + "\r\n");
            continue;
        }
        const QString key = setting.section('=', 0, 0);
        saveSetting("ZodoDE", key.contains('/') ? key.section('/', 0, 0) : "Screening",
                    key.section('/', -1), setting.section('=', 1));
    }
    writeText(m_home->dataDir() + "contacts/known.vcf",
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Telemarketer;Big;;;\r\nTEL:613-555-0100\r\n"
              "TEL:613-055-0100\r\nEND:VCARD\r\n");
    const QString lists = m_home->path() + "/config/ringdesk/";
    writeText(lists + "blocked.txt", "hello\n");
    QProcess monitor;
    TestHome::startProgram(monitor, "ringdesk", "offscreen", {"--headless"});
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains("[System Ready"), 60000);
    // A typo is told at start, before any call.
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains("line 1 is no entry (\"hello\""), 5000);
    const bool hangsUp = !settings.contains("Action=silence");

    int calls = 0;
    int hookChanges = 0;
    for (const QString& step : steps) {
        const QStringList part = step.split('|');
        writeText(lists + "blocked.txt", part.at(0).toUtf8().replace("\\n", "\n"));
        writeText(lists + "allowed.txt", part.at(1).toUtf8());
        const qsizetype before = monitor.peek(1 << 22).size();
        modem.command(part.at(2).toUtf8());
        ++calls;
        QTRY_COMPARE_WITH_TIMEOUT(monitor.peek(1 << 22).count("\nCall: "), calls, 10000);
        const QString said = QString::fromUtf8(monitor.peek(1 << 22).mid(before));
        const QString blocked = part.at(3);
        QVERIFY2(blocked.isEmpty() ? !said.contains("[Blocked ") : said.contains(blocked),
                 qPrintable(step + "\n" + said));
        if (blocked.isEmpty())
            continue;
        // Nothing else is done for it; the modem went off-hook and back, or was left alone.
        QVERIFY2(!said.contains("[Searching for ") && !said.contains("[Creating New"),
                 qPrintable(said));
        if (hangsUp) {
            hookChanges += 2;
            QTRY_COMPARE_WITH_TIMEOUT(modem.output().count("hook "), hookChanges, 5000);
            QVERIFY(modem.output().endsWith(QByteArray("\n")));
        }
    }
    if (!hangsUp)
        QVERIFY(!modem.output().contains("hook "));
    // Every call, blocked or not, is in the call log; a bad line was reported once.
    QFile log(m_home->dataDir() + "CallLog.txt");
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count("\r\n"), calls + settings.filter("log=").size());
    // A bad line is told as soon as the file holding it is written, with the reason.
    const QString said = QString::fromUtf8(monitor.peek(1 << 22));
    QCOMPARE(said.count("blocked.txt, line 1 is no entry (\"hello\": not a number, a prefix "
                        "ending in * or name: PATTERN); skipped]"),
             steps.join(' ').count("hello") + 1);
    QCOMPARE(said.count("blocked.txt, line 2 is no entry (\"1\": one number has 3 to 15 "
                        "digits, not 1); skipped]"),
             steps.join(' ').count("hello"));
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
}

// Lists imported from a complaint CSV (numbers with and without the leading 1) and from a plain
// list, each with a line that is no number; importing the same source again replaces it while
// the monitor runs, also with a list of the same size.
void TestScreening::importedListsBlock()
{
    ModemSim modem({"--accept", "AT+VCID=1"});
    useModem(modem);
    saveSetting("ZodoDE", "Setup", "Country", "US");
    saveSetting("ZodoDE", "Screening", "Mode", "1");
    saveSetting("ZodoDE", "Screening", "HangupDelay", "300");
    writeText(m_home->dataDir() + "contacts/known.vcf",
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Known;Kim;;;\r\nTEL:613-555-0100\r\n"
              "END:VCARD\r\n");
    auto import = [this](const QByteArray& text, const QString& source) {
        const QString file = m_home->path() + "/download.txt";
        writeText(file, text);
        QProcess importer;
        importer.setProcessChannelMode(QProcess::MergedChannels);
        TestHome::startProgram(importer, "ringdesk", "offscreen",
                               {"--import-blocklist", file, "--source", source});
        importer.waitForFinished(20000);
        return std::pair(importer.exitCode(), QString::fromUtf8(importer.readAll()));
    };
    auto [code, said] = import("Created_Date,Company_Phone_Number,Subject\n"
                               "2026-12-07,16135550199,\"Debt, reduction\"\n"
                               "2026-12-07,6135550100,Other\n"
                               "2026-12-07,55501,Other\n",
                               "FTC");
    QCOMPARE(code, 0);
    QVERIFY2(said.contains("line 4: \"55501\": not a ten-digit number; skipped") &&
                 said.contains("Imported 2 numbers from "),
             qPrintable(said));
    // A file that gives no number leaves the source as it was.
    std::tie(code, said) = import("# nothing yet\n", "FTC");
    QCOMPARE(code, 1);
    QVERIFY2(said.contains("holds no number; source FTC is left as it was"), qPrintable(said));

    QProcess monitor;
    TestHome::startProgram(monitor, "ringdesk", "offscreen", {"--headless"});
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains("[System Ready"), 60000);
    // Said after the ready line, and it may reach the pipe a moment later.
    QTRY_VERIFY_WITH_TIMEOUT(
        monitor.peek(1 << 20).contains("[Block list FTC: 2 numbers, imported "), 5000);
    int calls = 0;
    auto call = [&](const QByteArray& command) {
        const qsizetype before = monitor.peek(1 << 22).size();
        modem.command(command);
        ++calls;
        [&] {
            QTRY_COMPARE_WITH_TIMEOUT(monitor.peek(1 << 22).count("\nCall: "), calls, 10000);
        }();
        return QString::fromUtf8(monitor.peek(1 << 22).mid(before));
    };
    QVERIFY(call("call 6135550199 DEBT HELP").contains("[Blocked +1 (613) 555-0199: list FTC]"));
    // A contact on a community list still rings.
    QVERIFY(!call("call 6135550100 KIM KNOWN").contains("[Blocked "));

    std::tie(code, said) =
        import("# the neighbours' list\n613-555-0188  # twice a day\nhello\n", "FTC");
    QCOMPARE(code, 0);
    QVERIFY2(said.contains("line 3: \"hello\": not a number; skipped"), qPrintable(said));
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 22).contains("[Block list FTC: 1 numbers"), 5000);
    QVERIFY(!call("call 6135550199 DEBT HELP").contains("[Blocked "));
    QVERIFY(call("call 6135550188 PESTER").contains("[Blocked +1 (613) 555-0188: list FTC]"));
    // A list of the same size, a moment later, replaces it too.
    std::tie(code, said) = import("613-555-0177\n", "FTC");
    QCOMPARE(code, 0);
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 22).count("[Block list FTC: 1 numbers") == 2, 5000);
    QVERIFY(!call("call 6135550188 PESTER").contains("[Blocked "));
    QVERIFY(call("call 6135550177 OTHER").contains("[Blocked +1 (613) 555-0177: list FTC]"));
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
}

// A blocked caller is cut off: off-hook (ATA where the modem refuses ATH1), held for the delay,
// by default two seconds, and a second hang-up during the hold does not make it longer.
void TestScreening::hangUpHoldsTheLine_data()
{
    QTest::addColumn<QStringList>("modemOptions");
    QTest::addColumn<QString>("delay"); // [Screening] HangupDelay; empty: not set
    QTest::addColumn<int>("calls");     // of the blocked caller, back to back
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    QTest::newRow("default hold") << QStringList() << QString() << 1 << 1900 << 3500;
    QTest::newRow("modem refuses ATH1")
        << QStringList{"--refuse", "ATH1"} << "300" << 1 << 280 << 1500;
    QTest::newRow("second hang-up during the hold") << QStringList() << "1500" << 2 << 1400 << 1900;
}

void TestScreening::hangUpHoldsTheLine()
{
    QFETCH(QStringList, modemOptions);
    QFETCH(QString, delay);
    QFETCH(int, calls);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    ModemSim modem(QStringList{"--accept", "AT+VCID=1"} + modemOptions);
    useModem(modem);
    saveSetting("ZodoDE", "Screening", "Mode", "1");
    if (!delay.isEmpty())
        saveSetting("ZodoDE", "Screening", "HangupDelay", delay);
    writeText(m_home->path() + "/config/ringdesk/blocked.txt", "613-555-0199\n");
    QProcess monitor;
    TestHome::startProgram(monitor, "ringdesk", "offscreen", {"--headless"});
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains("[System Ready"), 60000);
    modem.command("call 6135550199 PLUMBER JOE");
    QTRY_VERIFY_WITH_TIMEOUT(modem.output().contains("hook off"), 5000);
    // The same caller's record again inside the hold, as a modem may repeat it; a new call
    // would put the simulated line back on-hook.
    const QString again = m_home->path() + "/again.txt";
    writeText(again, "RING\r\n\r\nDATE = 1208\r\nTIME = 1634\r\nNMBR = 6135550199\r\n"
                     "NAME = PLUMBER JOE\r\n\r\n");
    // The line is off-hook now, so the record comes inside the hold.
    for (int i = 1; i < calls; ++i)
        modem.command("replay " + again.toUtf8());
    QTRY_COMPARE_WITH_TIMEOUT(monitor.peek(1 << 22).count("[Blocked "), calls, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(modem.output().contains("hook on"), 5000);
    const auto spans = hookSpans(modem.output());
    QCOMPARE(spans.size(), 1);
    const qint64 heldMs = (spans.at(0).second - spans.at(0).first) / 1000;
    QVERIFY2(heldMs >= minMs && heldMs <= maxMs, qPrintable(QString::number(heldMs)));
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestScreening)
#include "tst_screening.moc"
