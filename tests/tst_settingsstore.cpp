#include "SettingsStore.h"
#include "SettingsTable.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestSettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void namesMatchWithoutRegardToCase();
    void missingEntriesGiveDefaults();
    void valuesComeBackUnchanged_data();
    void valuesComeBackUnchanged();
    void storeIsPrivate();
    void damagedStoreGivesDefaultsAndIsKept_data();
    void damagedStoreGivesDefaultsAndIsKept();
    void unwritableStoreReportsFailure();
    void twoWritersLoseNothing();

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
    QVERIFY(SaveSetting("ZodoDE", "Modem", "ModemResponseTimeOut", "4500"));
    QCOMPARE(GetSetting("ZodoDE", "Modem", "ModemResponseTimeout", "3000"), "4500");
    QCOMPARE(GetSetting("zodoDE", "MODEM", "modemresponsetimeout", "3000"), "4500");
    QCOMPARE(SettingsStore::pathFor("zodoDE"), storePath());

    // A write under another spelling replaces the entry instead of adding a second one.
    QVERIFY(SaveSetting("zodoDE", "modem", "MODEMRESPONSETIMEOUT", "5000"));
    QCOMPARE(Settings::ModemResponseTimeout.read(), "5000");
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QCOMPARE(content.count("=5000"), 1);
    QVERIFY(!content.contains("4500"));
    QVERIFY(!content.contains("[modem]"));

    // The per-port entry config writes is the one the modem search reads.
    QVERIFY(SaveSetting("ZodoDE", "Modem", "Com3", "1"));
    QCOMPARE(GetSetting("zodoDE", "Modem", "Com3", "0"), "1");
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
    QCOMPARE(Settings::Outlook.read(), "1");
    // Reading creates nothing.
    QVERIFY(!QFileInfo::exists(storePath()));
    QVERIFY(SettingsStore("ZodoDE").problem().isEmpty());
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
    QVERIFY(SaveSetting("ZodoDE", "Setup", "AreaCode", value));
    QCOMPARE(GetSetting("ZodoDE", "Setup", "AreaCode", "x"), value);
}

void TestSettingsStore::storeIsPrivate()
{
    const QString nested = m_home->path() + QStringLiteral("/fresh");
    qputenv("XDG_CONFIG_HOME", nested.toUtf8());
    QVERIFY(SaveSetting("ZodoDE", "Setup", "AreaCode", "613"));
    const QString path = nested + QStringLiteral("/zodode.ini");
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(int(QFileInfo(path).permissions() & (others | QFileDevice::ExeOwner)), 0);
    QVERIFY(QFileInfo(path).permissions() & QFileDevice::WriteOwner);
    QCOMPARE(int(QFileInfo(nested).permissions() & others), 0);
    QVERIFY(QFileInfo(nested).permissions() & QFileDevice::ExeOwner);
    // Rewrites keep the file private.
    QVERIFY(SaveSetting("ZodoDE", "Setup", "AreaCode", "819"));
    QCOMPARE(int(QFileInfo(path).permissions() & others), 0);
}

void TestSettingsStore::damagedStoreGivesDefaultsAndIsKept_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("unclosed section") << QByteArray("[Modem\nComPort=2\n");
    QTest::newRow("line without value") << QByteArray("[Modem]\nComPort=2\ngarbage here\n");
    QTest::newRow("not text") << QByteArray("[Modem]\nComPort=\xff\xfe\x01\n");
}

void TestSettingsStore::damagedStoreGivesDefaultsAndIsKept()
{
    QFETCH(QByteArray, content);
    writeRaw(content);
    SettingsStore store("ZodoDE");
    QVERIFY(!store.problem().isEmpty());
    QVERIFY(store.problem().contains(storePath()));
    QCOMPARE(store.get("Modem", "ComPort", "0"), "0");

    QVERIFY(store.save("Setup", "AreaCode", "613"));
    QVERIFY(!store.backupPath().isEmpty());
    QFile copy(store.backupPath());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), content);
    QVERIFY(store.problem().isEmpty());
    QCOMPARE(store.get("Setup", "AreaCode", ""), "613");

    // Only the first write after the damage makes a copy.
    SettingsStore again("ZodoDE");
    QVERIFY(again.save("Setup", "AreaCode", "819"));
    QVERIFY(again.backupPath().isEmpty());
}

void TestSettingsStore::unwritableStoreReportsFailure()
{
    // The configuration folder's place is taken by a file: nothing can be created there.
    const QString blocked = m_home->path() + QStringLiteral("/blocked");
    QFile file(blocked);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_CONFIG_HOME", blocked.toUtf8());
    QVERIFY(!SaveSetting("ZodoDE", "Setup", "AreaCode", "613"));
    QCOMPARE(GetSetting("ZodoDE", "Setup", "AreaCode", "none"), "none");
}

void TestSettingsStore::twoWritersLoseNothing()
{
    const QString writer =
        QCoreApplication::applicationDirPath() + QStringLiteral("/settings_writer");
    QProcess first;
    QProcess second;
    first.start(writer, {"ringdesk", "500"});
    second.start(writer, {"config", "500"});
    QVERIFY(first.waitForFinished(120000));
    QVERIFY(second.waitForFinished(120000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(second.exitCode(), 0);
    for (int i = 0; i < 500; ++i) {
        QCOMPARE(GetSetting("ZodoDE", "Stress", "ringdesk" + QString::number(i), "lost"),
                 QString::number(i));
        QCOMPARE(GetSetting("ZodoDE", "Stress", "config" + QString::number(i), "lost"),
                 QString::number(i));
    }
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
