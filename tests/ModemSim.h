#pragma once

// Starts the simulated modem for a test and talks to it.
#include <QCoreApplication>
#include <QProcess>
#include <QTest>

class ModemSim
{
public:
    explicit ModemSim(const QStringList& arguments = {})
    {
        m_process.start(QCoreApplication::applicationDirPath() + "/ringdesk-modemsim", arguments);
        if (m_process.waitForStarted() && m_process.waitForReadyRead(10000)) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith("device "))
                m_device = QString::fromLocal8Bit(line.mid(7));
        }
    }
    ~ModemSim()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    QString device() const { return m_device; }
    // All it printed so far after its device ("hook off …", "done …").
    QByteArray output()
    {
        m_output += m_process.readAllStandardOutput();
        return m_output;
    }
    void command(const QByteArray& line) { m_process.write(line + '\n'); }
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
    QString m_device;
    QByteArray m_output;
};
