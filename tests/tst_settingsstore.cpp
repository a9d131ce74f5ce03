#include "common/SettingsStore.h"
#include "common/SettingsTable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

static ino_t inodeOf(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

Q_DECLARE_METATYPE(const SettingEntry*)

class TestSettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void namesMatchWithoutRegardToCase();
    void missingEntriesGiveDefaults();
    void typedValuesAndTheirProblems_data();
    void typedValuesAndTheirProblems();
    void replyTimeout_data();
    void replyTimeout();
    void valuesComeBackUnchanged_data();
    void valuesComeBackUnchanged();
    void storeIsPrivate();
    void readsWhatQSettingsWrites_data();
    void readsWhatQSettingsWrites();
    void handEditedFileReadsAsQSettingsReadsIt_data();
    void handEditedFileReadsAsQSettingsReadsIt();
    void badLineCostsThatLineOnly_data();
    void badLineCostsThatLineOnly();
    void unreadableStoreIsNeverOverwritten_data();
    void unreadableStoreIsNeverOverwritten();
    void unwritableStoreReportsFailure();
    void twoWritersLoseNothing();
    void stuckLockHolderIsGivenUpOnSoon();
    void oneRewriteForManyEntries();
    void largeStoreIsParsedOncePerChange();
    void relativeBaseDirectoriesAreIgnored();

private:
    QString storePath() const { return m_home->path() + QStringLiteral("/zodode.ini"); }
    void writeRaw(const QByteArray& content);

    std::unique_ptr<QTemporaryDir> m_home;
};

void TestSettingsStore::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    qputenv("XDG_CONFIG_HOME", m_home->path().toUtf8());
}

void TestSettingsStore::writeRaw(const QByteArray& content)
{
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void TestSettingsStore::namesMatchWithoutRegardToCase()
{
    QVERIFY(saveSetting("ZodoDE", "Modem", "ModemResponseTimeOut", "4500"));
    QCOMPARE(readSetting("ZodoDE", "Modem", "ModemResponseTimeout", "3000"), "4500");
    QCOMPARE(readSetting("zodoDE", "MODEM", "modemresponsetimeout", "3000"), "4500");
    QCOMPARE(SettingsStore::pathFor("zodoDE"), storePath());

    // A write under another spelling replaces the entry instead of adding a second one.
    QVERIFY(saveSetting("zodoDE", "modem", "MODEMRESPONSETIMEOUT", "5000"));
    QCOMPARE(Settings::ModemResponseTimeout.read(), "5000");
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QCOMPARE(content.count("=5000"), 1);
    QVERIFY(!content.contains("4500"));
    QVERIFY(!content.contains("[modem]"));

    // The per-port entry config writes is the one the modem search reads.
    QVERIFY(saveSetting("ZodoDE", "Modem", "Com3", "1"));
    QCOMPARE(readSetting("zodoDE", "Modem", "Com3", "0"), "1");
}

void TestSettingsStore::missingEntriesGiveDefaults()
{
    QCOMPARE(Settings::ComPort.read(), "0");
    QCOMPARE(Settings::ModemResponseTimeout.read(), "3000");
    QCOMPARE(Settings::BaudRate.read(), "9600");
    QCOMPARE(Settings::PollInterval.read(), "100");
    QCOMPARE(Settings::CallIDString.read(), "");
    QCOMPARE(Settings::NumberOfCom.read(), "4");
    QCOMPARE(Settings::ModemFindModem.read(), "True");
    QCOMPARE(Settings::portExclusion(3).read(), "0");
    QCOMPARE(Settings::AreaCode.read(), "");
    QCOMPARE(Settings::AutoSearchContact.read(), "1");
    QCOMPARE(Settings::Minimize.read(), "0");
    QCOMPARE(Settings::PlayWavFile.read(), "0");
    QCOMPARE(Settings::SetupFindModem.read(), "1");
    QCOMPARE(Settings::Event.read(), "True");
    QCOMPARE(Settings::Log.read(), "False");
    QCOMPARE(Settings::LogDirectory.read(), "");
    QCOMPARE(Settings::UseAddressBook.read(), "1");
    // Reading creates nothing.
    QVERIFY(!QFileInfo::exists(storePath()));
    QVERIFY(SettingsStore("ZodoDE").problem().isEmpty());
}

void TestSettingsStore::typedValuesAndTheirProblems_data()
{
    // One row of the table, a stored text, the value a reader gets and the line it says.
    QTest::addColumn<const SettingEntry*>("entry");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("problem");
    using namespace Settings;
    auto line = [](const QString& text) {
        return QString("Setting ") + text;
    };

    QTest::newRow("switch 1") << &Maximize << "1" << QVariant(true) << QString();
    QTest::newRow("switch 1.0 rounds") << &Minimize << "1.0" << QVariant(true) << QString();
    QTest::newRow("switch 2") << &Minimize << "2" << QVariant(false)
                              << line("Setup/Minimize holds \"2\", not 0 or 1; using 0");
    QTest::newRow("switch word") << &Maximize << "yes" << QVariant(true)
                                 << line("Setup/Maximize holds \"yes\", not 0 or 1; using 1");
    QTest::newRow("only a stored 1 turns it on")
        << &UseAddressBook << "yes" << QVariant(false)
        << line("Setup/Outlook holds \"yes\", not 0 or 1; using 0");
    QTest::newRow("truth any case") << &Log << "tRUE" << QVariant(true) << QString();
    QTest::newRow("truth number") << &Event << "0" << QVariant(false) << QString();
    QTest::newRow("truth word")
        << &Event << "maybe" << QVariant(true)
        << line("Setup/Event holds \"maybe\", not True or False; using True");
    QTest::newRow("whole in range")
        << &ScreeningHangupDelay << " 60000 " << QVariant(60000) << QString();
    QTest::newRow("whole above") << &ScreeningMode << "3" << QVariant(0)
                                 << line("Screening/Mode holds \"3\", not 0 to 2; using 0");
    QTest::newRow("whole not rounded") << &ScreeningWithheld << "1.0" << QVariant(0)
                                       << line("Screening/Withheld holds \"1.0\", not 0 to 1; "
                                               "using 0");
    QTest::newRow("whole, own words") << &MqttPort << "70000" << QVariant(1883)
                                      << line("MQTT/Port holds \"70000\", not a port; using 1883");
    QTest::newRow("16 bits rounds half to even")
        << &NumberOfCom << "6.5" << QVariant(6) << QString();
    QTest::newRow("16 bits overflow") << &NumberOfCom << "40000" << QVariant(4)
                                      << line("Modem/NumberOfCom holds \"40000\", not -32768 to "
                                              "32767; using 4");
    QTest::newRow("choice any case")
        << &ScreeningAction << "SILENCE" << QVariant("silence") << QString();
    QTest::newRow("choice unknown") << &ScreeningAction << "drop" << QVariant("hangup")
                                    << line("Screening/Action holds \"drop\", not hangup, silence, "
                                            "announce or fax; using hangup");
}

void TestSettingsStore::typedValuesAndTheirProblems()
{
    QFETCH(const SettingEntry*, entry);
    QFETCH(QString, stored);
    QFETCH(QVariant, value);
    QFETCH(QString, problem);
    QVERIFY(saveSetting("ZodoDE", entry->section, entry->key, stored));
    QString said;
    switch (entry->kind) {
    case SettingEntry::Kind::Switch:
    case SettingEntry::Kind::Truth:
        QCOMPARE(entry->isOn(&said), value.toBool());
        break;
    case SettingEntry::Kind::Whole:
        QCOMPARE(entry->whole(&said), value.toInt());
        break;
    default:
        QCOMPARE(entry->choice(&said), value.toString());
    }
    QCOMPARE(said, problem);
    QCOMPARE(entry->problemWith(stored).isEmpty(), problem.isEmpty());
}

void TestSettingsStore::replyTimeout_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("default") << "3000" << 3000;
    QTest::newRow("one") << "1" << 1;
    QTest::newRow("largest") << "65535" << 65535;
    QTest::newRow("too large") << "100000" << 65535;
    QTest::newRow("zero") << "0" << 3000;
    QTest::newRow("negative") << "-5" << 3000;
    QTest::newRow("not a number") << "soon" << 3000;
    QTest::newRow("empty") << "" << 3000;
    QTest::newRow("fraction") << "1500.7" << 1500;
}

void TestSettingsStore::replyTimeout()
{
    QFETCH(QString, text);
    QTEST(Settings::replyTimeoutMs(text), "milliseconds");
}

void TestSettingsStore::valuesComeBackUnchanged_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("line settings with commas") << "9600,n,8,1";
    QTest::newRow("blanks around") << "  613 ";
    QTest::newRow("at sign") << "@Variant(abc)";
    QTest::newRow("command") << "AT#CID=1";
    QTest::newRow("quotes and semicolon") << "say \"hi\"; ok";
    QTest::newRow("backslash") << "C:\\Logs\\";
    QTest::newRow("accents") << "Québec Ærø";
    QTest::newRow("empty") << "";
}

void TestSettingsStore::valuesComeBackUnchanged()
{
    QFETCH(QString, value);
    QVERIFY(saveSetting("ZodoDE", "Setup", "AreaCode", value));
    QCOMPARE(readSetting("ZodoDE", "Setup", "AreaCode", "x"), value);
}

void TestSettingsStore::storeIsPrivate()
{
    const QString nested = m_home->path() + QStringLiteral("/fresh");
    qputenv("XDG_CONFIG_HOME", nested.toUtf8());
    QVERIFY(saveSetting("ZodoDE", "Setup", "AreaCode", "613"));
    const QString path = nested + QStringLiteral("/zodode.ini");
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(int(QFileInfo(path).permissions() & (others | QFileDevice::ExeOwner)), 0);
    QVERIFY(QFileInfo(path).permissions() & QFileDevice::WriteOwner);
    QCOMPARE(int(QFileInfo(nested).permissions() & others), 0);
    QVERIFY(QFileInfo(nested).permissions() & QFileDevice::ExeOwner);
    // Rewrites keep the file private.
    QVERIFY(saveSetting("ZodoDE", "Setup", "AreaCode", "819"));
    QCOMPARE(int(QFileInfo(path).permissions() & others), 0);
}

void TestSettingsStore::readsWhatQSettingsWrites_data()
{
    valuesComeBackUnchanged_data();
    QTest::newRow("list") << "a, b ,c";
    QTest::newRow("control characters") << "a\tb\x01"
                                           "c\x7f";
    QTest::newRow("hex digit after escape") << QString("\x01"
                                                       "F1");
    QTest::newRow("leading at sign twice") << "@@x";
    QTest::newRow("emoji") << QString::fromUtf8("\xf0\x9f\x93\x9e call");
}

// Stores written before, by QSettings, read the same; and QSettings reads what the store writes.
void TestSettingsStore::readsWhatQSettingsWrites()
{
    QFETCH(QString, value);
    {
        QSettings qt(storePath(), QSettings::IniFormat);
        qt.setValue("Modem/Odd Key/x", value);
        qt.setValue("Setup/AreaCode", value);
    }
    QCOMPARE(readSetting("ZodoDE", "Setup", "AreaCode", "none"), value);
    QCOMPARE(readSetting("ZodoDE", "Modem", "Odd Key/x", "none"), value);
    QVERIFY(SettingsStore("ZodoDE").problem().isEmpty());

    QVERIFY(saveSetting("ZodoDE", "Setup", "CallIDString", value));
    QVERIFY(saveSetting("ZodoDE", "Fresh Section", "Ünïcode key", value));
    QSettings qt(storePath(), QSettings::IniFormat);
    QCOMPARE(qt.value("Setup/CallIDString").toString(), value);
    QCOMPARE(qt.value("Fresh Section/Ünïcode key").toString(), value);
}

void TestSettingsStore::handEditedFileReadsAsQSettingsReadsIt_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("one section") << QByteArray("[Setup]\nAreaCode=613\nAreaCode=819\n");
    QTest::newRow("section twice") << QByteArray("[Setup]\nAreaCode=613\n[Modem]\nComPort=1\n"
                                                 "[Setup]\nAreaCode=819\n");
    QTest::newRow("two spellings") << QByteArray("[Setup]\nAreaCode=613\nareacode=819\n");
    QTest::newRow("carriage returns alone") << QByteArray("[Setup]\rAreaCode=613\r");
    QTest::newRow("a stray carriage return") << QByteArray("[Setup]\r\nAreaCode=613\r\r\n");
}

// A file edited by hand may name an entry twice, or end its lines the old Mac way; both programs
// and QSettings read one value.
void TestSettingsStore::handEditedFileReadsAsQSettingsReadsIt()
{
    QFETCH(QByteArray, content);
    writeRaw(content);
    const QString qt =
        QSettings(storePath(), QSettings::IniFormat).value("Setup/AreaCode").toString();
    QCOMPARE(readSetting("ZodoDE", "Setup", "AreaCode", "none"), qt);
    // Saving another entry keeps what is read.
    QVERIFY(saveSetting("ZodoDE", "Setup", "Maximize", "1"));
    QCOMPARE(readSetting("ZodoDE", "Setup", "AreaCode", "none"), qt);
}

void TestSettingsStore::badLineCostsThatLineOnly_data()
{
    QTest::addColumn<QByteArray>("bad");
    QTest::addColumn<QString>("reason");
    QTest::newRow("stray words") << QByteArray("my modem is the USR one") << "(it has no \"=\")";
    QTest::newRow("not text") << QByteArray("Junk=\xff\xfe\x01") << "(not UTF-8 text)";
    QTest::newRow("no key") << QByteArray("=5") << "(its key is empty)";
}

// One stray line among good entries: every good entry is read, the line is reported by number,
// the file is copied aside before the first write and that write keeps every good value.
void TestSettingsStore::badLineCostsThatLineOnly()
{
    QFETCH(QByteArray, bad);
    QFETCH(QString, reason);
    const QByteArray content = "[Modem]\nComPort=2\nBaudRate=19200\n" + bad +
                               "\n\n[Ports]\nCom2=/dev/ttyUSB1\n\n[Setup]\nAreaCode=613\n";
    writeRaw(content);
    SettingsStore store("ZodoDE");
    QCOMPARE(store.problem(), "Settings file " + storePath() + ": line 4 " + reason +
                                  " cannot be read and is passed over; the file is copied aside "
                                  "before it is next written");
    QCOMPARE(store.get("Modem", "ComPort", "0"), "2");
    QCOMPARE(Settings::BaudRate.read(), "19200");
    QCOMPARE(readSetting("ZodoDE", "Ports", "Com2", ""), "/dev/ttyUSB1");
    QCOMPARE(Settings::AreaCode.read(), "613");

    QVERIFY(store.save("Setup", "Maximize", "0"));
    QFile copy(store.backupPath());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), content);
    QVERIFY(store.problem().isEmpty());
    QFile repaired(storePath());
    QVERIFY(repaired.open(QIODevice::ReadOnly));
    QCOMPARE(repaired.readAll(), "[Modem]\nComPort=2\nBaudRate=19200\n\n[Ports]\n"
                                 "Com2=/dev/ttyUSB1\n\n[Setup]\nAreaCode=613\nMaximize=0\n");

    // Only the first write after the damage makes a copy.
    SettingsStore again("ZodoDE");
    QVERIFY(again.save("Setup", "AreaCode", "819"));
    QVERIFY(again.backupPath().isEmpty());
}

void TestSettingsStore::unreadableStoreIsNeverOverwritten_data()
{
    QTest::addColumn<bool>("folder");
    QTest::newRow("a folder in the file's place") << true;
    QTest::newRow("a file the user may not read") << false; // left by a run under sudo
}

// Writing would put defaults over the values that could not be read.
void TestSettingsStore::unreadableStoreIsNeverOverwritten()
{
    QFETCH(bool, folder);
    if (folder) {
        // A folder cannot be read, by root either.
        QVERIFY(QDir(m_home->path()).mkdir("zodode.ini"));
        QVERIFY(QFile::copy(QFINDTESTDATA("tst_settingsstore.cpp"), storePath() + "/keep"));
        SettingsStore store("ZodoDE");
        QVERIFY(store.problem().contains("cannot be read"));
        QVERIFY(!store.save("Modem", "ComPort", "0"));
        QVERIFY(!store.lastError().isEmpty());
        QVERIFY(QFileInfo(storePath() + "/keep").isFile());
        return;
    }
    const QByteArray content = "[Setup]\nAreaCode=613\n";
    writeRaw(content);
    QVERIFY(QFile::setPermissions(storePath(), QFileDevice::Permissions()));
    // Root reads any file: the writer then runs as nobody, in a folder nobody may write.
    QStringList command{QCoreApplication::applicationDirPath() + "/settings_writer", "x", "1"};
    if (::geteuid() == 0) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("running as root without setpriv: no user who cannot read the file");
        QVERIFY(QFile::setPermissions(m_home->path(), QFileDevice::Permissions(0x7777)));
        command = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + command;
        command.prepend(QStandardPaths::findExecutable("setpriv"));
    }
    QProcess writer;
    writer.start(command.takeFirst(), command);
    QVERIFY(writer.waitForFinished(20000));
    QCOMPARE(writer.exitCode(), 1);
    QVERIFY2(writer.readAllStandardError().contains("cannot be read (Permission denied)"),
             "the save was refused for another reason");
    QVERIFY(QFile::setPermissions(storePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void TestSettingsStore::unwritableStoreReportsFailure()
{
    // The configuration folder's place is taken by a file: nothing can be created there.
    const QString blocked = m_home->path() + QStringLiteral("/blocked");
    QFile file(blocked);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_CONFIG_HOME", blocked.toUtf8());
    QVERIFY(!saveSetting("ZodoDE", "Setup", "AreaCode", "613"));
    QCOMPARE(readSetting("ZodoDE", "Setup", "AreaCode", "none"), "none");
}

void TestSettingsStore::twoWritersLoseNothing()
{
    const QString writer =
        QCoreApplication::applicationDirPath() + QStringLiteral("/settings_writer");
    QProcess first;
    QProcess second;
    // The lock waits as long as its holder makes progress, so neither writer ever gives up.
    first.start(writer, {"ringdesk", "1500"});
    second.start(writer, {"config", "1500"});
    QVERIFY(first.waitForFinished(280000));
    QVERIFY(second.waitForFinished(280000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(second.exitCode(), 0);
    for (int i = 0; i < 1500; ++i) {
        QCOMPARE(readSetting("ZodoDE", "Stress", "ringdesk" + QString::number(i), "lost"),
                 QString::number(i));
        QCOMPARE(readSetting("ZodoDE", "Stress", "config" + QString::number(i), "lost"),
                 QString::number(i));
    }
}

// A program that holds the lock and writes nothing (stopped in a debugger, say) costs the writer
// a moment, not ten seconds of a frozen window.
void TestSettingsStore::stuckLockHolderIsGivenUpOnSoon()
{
    QVERIFY(saveSetting("ZodoDE", "Modem", "PollInterval", "50"));
    // Another open of the lock file stands for the other program: flock locks are per open.
    const int holder = ::open(QFile::encodeName(m_home->path() + "/.zodode.ini.lock").constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    QVERIFY(holder >= 0);
    QCOMPARE(::flock(holder, LOCK_EX), 0);
    QElapsedTimer waited;
    waited.start();
    SettingsStore store("ZodoDE");
    QVERIFY(!store.save("Modem", "PollInterval", "70"));
    QCOMPARE(store.lastError(), "another program holds it locked without writing");
    QVERIFY2(waited.elapsed() < 5000, qPrintable(QString::number(waited.elapsed())));
    ::close(holder);
    QVERIFY2(store.save("Modem", "PollInterval", "70"), qPrintable(store.lastError()));
    QCOMPARE(readSetting("ZodoDE", "Modem", "PollInterval", ""), "70");
}

void TestSettingsStore::oneRewriteForManyEntries()
{
    QVERIFY(saveSetting("ZodoDE", "Modem", "PollInterval", "50"));
    const ino_t inode = inodeOf(storePath());
    QList<SettingsStore::Entry> entries;
    for (int i = 0; i < 15; ++i)
        entries.append({"Setup", "Key" + QString::number(i), QString::number(i)});
    SettingsStore store("ZodoDE");
    QVERIFY(store.saveAll(entries));
    // One new file replaced the old one, whole: no temporary file is left beside it.
    QVERIFY(inodeOf(storePath()) != inode);
    QCOMPARE(QDir(m_home->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({".zodode.ini.lock", "zodode.ini"}));
    QCOMPARE(readSetting("ZodoDE", "Setup", "Key14", ""), "14");
    QCOMPARE(Settings::PollInterval.read(), "50");
}

void TestSettingsStore::largeStoreIsParsedOncePerChange()
{
    QByteArray content = "[Big]\n";
    for (int i = 0; i < 100000; ++i)
        content +=
            "Entry" + QByteArray::number(i) + "=value number " + QByteArray::number(i) + '\n';
    content += "[Setup]\nAreaCode=613\n";
    writeRaw(content);
    QCOMPARE(Settings::AreaCode.read(), "613");
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 2000; ++i)
        QCOMPARE(readSetting("ZodoDE", "Big", "entry99999", ""), "value number 99999");
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));

    // A change made by another program is seen at the next read.
    QSettings other(storePath(), QSettings::IniFormat);
    other.setValue("Setup/AreaCode", "819");
    other.sync();
    QCOMPARE(Settings::AreaCode.read(), "819");
}

void TestSettingsStore::relativeBaseDirectoriesAreIgnored()
{
    qputenv("HOME", m_home->path().toUtf8());
    qputenv("XDG_CONFIG_HOME", "relative/config");
    QCOMPARE(SettingsStore::pathFor("ZodoDE"), m_home->path() + "/.config/zodode.ini");
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
