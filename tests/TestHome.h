#pragma once

// A private home for one test: configuration and data folders of its own, and every port number
// mapped to a device that does not exist, so that no test ever opens a real serial port.
#include "common/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestHome
{
public:
    TestHome()
    {
        qputenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toUtf8());
        qputenv("XDG_DATA_HOME", (m_dir.path() + "/data").toUtf8());
        qputenv("XDG_CACHE_HOME", (m_dir.path() + "/cache").toUtf8());
        // The one-monitor lock of a real monitor started by a test is the test's own.
        QDir(m_dir.path()).mkdir("runtime");
        QFile::setPermissions(m_dir.path() + "/runtime",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", (m_dir.path() + "/runtime").toUtf8());
        for (int port = 1; port <= 16; ++port)
            mapPort(port, QStringLiteral("/nonexistent/ttyRING"));
    }

    QString path() const { return m_dir.path(); }
    QString dataDir() const { return m_dir.path() + "/data/ringdesk/"; }

    // Starts one of the built programs as a user would, on this home, on the given platform.
    // Leaks are not checked in such a process: it ends through exit paths that keep windowing
    // libraries' allocations.
    static void startProgram(QProcess& process, const QString& program, const QString& platform,
                             const QStringList& arguments = {})
    {
        process.setProcessEnvironment(programEnvironment(platform));
        process.start(QCoreApplication::applicationDirPath() + '/' + program, arguments);
    }
    static QProcessEnvironment programEnvironment(const QString& platform)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", platform);
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        return env;
    }

    static void mapPort(int port, const QString& device)
    {
        saveSetting("ZodoDE", "Ports", "Com" + QString::number(port), device);
    }
    // The monitor's settings for a simulated modem on port 1, in area code 613.
    static void useModem(const QString& device)
    {
        mapPort(1, device);
        saveSetting("ZodoDE", "Modem", "ComPort", "1");
        saveSetting("ZodoDE", "Modem", "CallIDString", "AT+VCID=1");
        saveSetting("ZodoDE", "Setup", "AreaCode", "613");
    }
    // A file of this home (a path below it), its folders made as needed.
    bool write(const QString& path, const QByteArray& text) const
    {
        const QString full = m_dir.path() + '/' + path;
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(text) == text.size();
    }

private:
    QTemporaryDir m_dir;
};
