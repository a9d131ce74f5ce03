#include "calls/CallLogFile.h"
#include "calls/LogCatchUp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

class TestCallLogFile : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstRecordCreatesPrivateFile();
    void recordsReadBackWhole_data();
    void recordsReadBackWhole();
    void readingFields_data();
    void readingFields();
    void loadAppendsToTheList();
    void missingOrEmptyLogAddsNothing();
    void olderSingleByteLogStillReads();
    void clearLeavesEmptyFileForNextCall();
    void directoryWithoutSeparatorPrefixesTheName();
    void eventLogHoldsEveryEntry();
    void eventLogOfEmptyListIsEmpty();
    void writeFailuresAreReported();
    void failedAppendLeavesNoBrokenRecord();
    void symbolicLinksAreRefused();
    void withoutAbsoluteFolderNothingIsWritten();
    void recordsGetTheirYears_data();
    void recordsGetTheirYears();

private:
    QByteArray fileContent(const QString& path);
    // The call log read into the end of the call list.
    void load() { m_calls += m_log->loadRecords(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CallLogFile> m_log;
    QStringList m_calls;  // the call list
    QStringList m_events; // the event list
};

void TestCallLogFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_log = std::make_unique<CallLogFile>();
    m_log->setFolder(m_dir->path() + '/');
    m_calls.clear();
    m_events.clear();
    connect(m_log.get(), &CallLogFile::eventLine, this,
            [this](const QString& line) { m_events << line; });
}

void TestCallLogFile::cleanup()
{
    m_log.reset();
    m_dir.reset();
}

QByteArray TestCallLogFile::fileContent(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

void TestCallLogFile::firstRecordCreatesPrivateFile()
{
    QVERIFY(m_log->appendRecord("12/06 10:41 (613) 555-1234 SMITH JOHN"));
    const QByteArray content = fileContent(m_log->callLogPath());
    QCOMPARE(content, QByteArray("\"12/06 10:41 (613) 555-1234 SMITH JOHN\"\r\n"));
    QCOMPARE(content.size(), 41);
    QCOMPARE(int(QFileInfo(m_log->callLogPath()).permissions() & 0x0077), 0);
}

void TestCallLogFile::recordsReadBackWhole_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("ordinary") << "12/06 10:41 (613) 555-1234 SMITH JOHN";
    QTest::newRow("no name") << "12/06 10:41 (613) 555-1234 ";
    QTest::newRow("comma in name") << "12/06 10:41 5551234 SMITH, JOHN";
    QTest::newRow("quote in name") << "12/06 10:41 5551234 O\"BRIEN PAT";
    QTest::newRow("quote and comma") << "12/06 10:41 5551234 \"JR\", SMITH";
    QTest::newRow("ends in quote") << "12/06 10:41 5551234 SAYS \"HI\"";
    QTest::newRow("accents") << QString::fromUtf8("12/06 10:41 5551234 BÉLANGER ÉLODIE");
    QTest::newRow("all empty") << "   ";
}

void TestCallLogFile::recordsReadBackWhole()
{
    QFETCH(QString, line);
    QVERIFY(m_log->appendRecord("first"));
    QVERIFY(m_log->appendRecord(line));
    QVERIFY(m_log->appendRecord("last"));
    load();
    QCOMPARE(m_calls, QStringList({"first", line, "last"}));
}

void TestCallLogFile::readingFields_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("unquoted commas split") << QByteArray("a,b,c\r\n") << QStringList{"a", "b", "c"};
    QTest::newRow("empty piece") << QByteArray("a,,b\r\n") << QStringList{"a", "", "b"};
    QTest::newRow("blank lines and spaces skipped")
        << QByteArray("\r\n\r\n   \"x\"\r\n\r\n") << QStringList{"x"};
    QTest::newRow("quoted then unquoted") << QByteArray("\"a\",b\r\n") << QStringList{"a", "b"};
    QTest::newRow("unclosed quote") << QByteArray("\"abc\r\nd\r\n") << QStringList{"abc", "d"};
    QTest::newRow("no final line end") << QByteArray("\"abc\"") << QStringList{"abc"};
    QTest::newRow("LF only") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("empty") << QByteArray() << QStringList{};
}

void TestCallLogFile::readingFields()
{
    QFETCH(QByteArray, content);
    QTEST(CallLogFile::readFields(content), "fields");
}

void TestCallLogFile::loadAppendsToTheList()
{
    m_calls = QStringList{"already there"};
    QVERIFY(m_log->appendRecord("one"));
    QVERIFY(m_log->appendRecord("two"));
    load();
    QCOMPARE(m_calls, QStringList({"already there", "one", "two"}));
}

void TestCallLogFile::missingOrEmptyLogAddsNothing()
{
    load();
    QVERIFY(m_calls.isEmpty());
    QFile file(m_log->callLogPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    load();
    QVERIFY(m_calls.isEmpty());
    QVERIFY(m_events.isEmpty());
}

void TestCallLogFile::olderSingleByteLogStillReads()
{
    QFile file(m_log->callLogPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\"12/06 10:41 5551234 B\xe9LANGER O\x92NEIL\"\r\n");
    file.write("\"12/07 09:00 5551234 B\xc3\xa9LANGER\"\r\n");
    file.close();
    load();
    // One old record does not change how the UTF-8 records after it read.
    QCOMPARE(m_calls, QStringList({QString::fromUtf8("12/06 10:41 5551234 BéLANGER O’NEIL"),
                                   QString::fromUtf8("12/07 09:00 5551234 BéLANGER")}));
}

void TestCallLogFile::clearLeavesEmptyFileForNextCall()
{
    QVERIFY(m_log->appendRecord("old call"));
    QVERIFY(m_log->clearCallLog());
    QCOMPARE(fileContent(m_log->callLogPath()), QByteArray());
    QVERIFY(m_log->appendRecord("new call"));
    QCOMPARE(fileContent(m_log->callLogPath()), QByteArray("\"new call\"\r\n"));
}

void TestCallLogFile::directoryWithoutSeparatorPrefixesTheName()
{
    m_log->setFolder(m_dir->path() + "/Logs");
    QVERIFY(m_log->appendRecord("x"));
    QVERIFY(QFileInfo::exists(m_dir->path() + "/LogsCallLog.txt"));
}

void TestCallLogFile::eventLogHoldsEveryEntry()
{
    // Far more entries than a 16-bit count could hold.
    QStringList events;
    for (int i = 0; i < 40000; ++i)
        events << QString::number(i);

    QFile old(m_log->eventLogPath());
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("earlier content that must go\r\n");
    old.close();
    QVERIFY(m_log->saveEventLog(events));
    const QByteArray content = fileContent(m_log->eventLogPath());
    QCOMPARE(content.count("\r\n"), 40000);
    QVERIFY(content.startsWith("0\r\n1\r\n"));
    QVERIFY(content.endsWith("39999\r\n"));
}

void TestCallLogFile::eventLogOfEmptyListIsEmpty()
{
    QVERIFY(m_log->saveEventLog(m_events));
    QCOMPARE(fileContent(m_log->eventLogPath()), QByteArray());
    QCOMPARE(int(QFileInfo(m_log->eventLogPath()).permissions() & 0x0077), 0);
}

void TestCallLogFile::writeFailuresAreReported()
{
    m_log->setFolder(m_dir->path() + "/missing/");
    QVERIFY(!m_log->appendRecord("x"));
    QVERIFY(!m_log->saveEventLog(m_events));
    QVERIFY(!m_log->clearCallLog());
    const QStringList events = m_events;
    QCOMPARE(events.size(), 3);
    QVERIFY(events.at(0).startsWith("[Couldn't write " + m_dir->path() + "/missing/CallLog.txt: "));
    QVERIFY(events.at(1).contains("CallEvnt.txt"));

    // A full disk: the device that refuses every write.
    if (QFileInfo::exists("/dev/full")) {
        m_log->setFolder(m_dir->path() + '/');
        QVERIFY(QFile::link("/dev/full", m_log->callLogPath()));
        QVERIFY(!m_log->appendRecord("x"));
        QVERIFY(m_events.last().contains("CallLog.txt"));
    }
}

// A write that stops part-way (here at the file-size limit, as on a full disk) leaves the file as
// it was, names the reason and keeps the record; the next call writes it first, whole, and then
// its own.
void TestCallLogFile::failedAppendLeavesNoBrokenRecord()
{
    QVERIFY(m_log->appendRecord("01/01 11:00 first"));
    const QByteArray before = fileContent(m_log->callLogPath());
    struct rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = before.size() + 9;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool written = m_log->appendRecord("01/01 12:00 +1 (613) 555-1234 SMITH JOHN");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    QVERIFY(!written);
    QCOMPARE(fileContent(m_log->callLogPath()), before);
    QCOMPARE(m_events.last(), "[Couldn't write " + m_log->callLogPath() +
                                  ": File too large; the call is kept and written as soon as the "
                                  "file takes it]");
    QCOMPARE(m_log->unwritten(), 1);

    QVERIFY(m_log->appendRecord("01/01 12:05 second"));
    QCOMPARE(fileContent(m_log->callLogPath()),
             before + "\"01/01 12:00 +1 (613) 555-1234 SMITH JOHN\"\r\n\"01/01 12:05 second\"\r\n");
    QCOMPARE(m_log->unwritten(), 0);

    // Had a broken record stayed (written by something else), the next one starts a new line.
    QFile file(m_log->callLogPath());
    QVERIFY(file.open(QIODevice::Append));
    file.write("\"01/01 12");
    file.close();
    QVERIFY(m_log->appendRecord("01/01 13:00 third"));
    QCOMPARE(fileContent(m_log->callLogPath()).right(32),
             "\"01/01 12\r\n\"01/01 13:00 third\"\r\n");
}

void TestCallLogFile::symbolicLinksAreRefused()
{
    const QString target = m_dir->path() + "/precious";
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    QVERIFY(QFile::link(target, m_log->callLogPath()));
    QVERIFY(QFile::link(target, m_log->eventLogPath()));
    m_events << "an event";
    QVERIFY(!m_log->appendRecord("x"));
    QVERIFY(!m_log->clearCallLog());
    load();
    QVERIFY(!m_log->saveEventLog(m_events));
    QCOMPARE(fileContent(target), QByteArray("keep me"));
    QVERIFY(m_calls.isEmpty());
    QCOMPARE(m_events.at(1), "[Couldn't write " + m_log->callLogPath() +
                                 ": it is a symbolic link, which is not followed; the call is "
                                 "kept and written as soon as the file takes it]");
    QVERIFY(m_events.last().contains("CallEvnt.txt: it is a symbolic link"));
}

void TestCallLogFile::withoutAbsoluteFolderNothingIsWritten()
{
    const QString here = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    for (const QString& folder : {QString(), QStringLiteral("logs/")}) {
        m_log->setFolder(folder);
        QVERIFY(!m_log->appendRecord("x"));
        QCOMPARE(m_events.last(), "[Couldn't write CallLog.txt: there is no log folder]");
        QVERIFY(!m_log->saveEventLog(m_events));
    }
    QDir::setCurrent(here);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

// A record has no year: each gets the latest that keeps the file's order and puts no call after
// now; calls of the same minute keep the same year.
void TestCallLogFile::recordsGetTheirYears_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("dates");
    QTest::newRow("two in the same minute")
        << QStringList{"12/08 09:41 +1 (613) 555-0101 ONE", "12/08 09:41 +1 (613) 555-0102 TWO"}
        << QStringList{"2026-12-08", "2026-12-08"};
    QTest::newRow("across the new year")
        << QStringList{"12/31 23:50 +1 (613) 555-0101 OLD", "01/01 00:10 +1 (613) 555-0102 NEW"}
        << QStringList{"2025-12-31", "2026-01-01"};
    QTest::newRow("later in the year than now")
        << QStringList{"12/20 10:00 +1 (613) 555-0101 LAST YEAR"} << QStringList{"2025-12-20"};
}

void TestCallLogFile::recordsGetTheirYears()
{
    QFETCH(QStringList, records);
    QStringList dates;
    const QDateTime now(QDate(2026, 12, 9), QTime(12, 0));
    for (const LogCatchUp::LoggedCall& logged :
         LogCatchUp::missing(records, [](qint64) { return false; }, now, {}))
        dates << logged.call.received.toLocalTime().date().toString(Qt::ISODate);
    QTEST(dates, "dates");
}

QTEST_GUILESS_MAIN(TestCallLogFile)
#include "tst_calllogfile.moc"
