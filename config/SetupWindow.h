#pragma once

#include "broker/MqttConnection.h"

#include <QDialog>
#include <QList>
#include <QTimer>
#include <functional>
#include <memory>

class QLineEdit;
namespace Ui {
class SetupWindow;
} // namespace Ui

// "Setup Ringwatch": the modem settings that ringdesk reads, how many ports its search may try,
// which ports it must skip and which device each port stands for. Port exclusions and devices
// are stored the moment they are set; everything else on "&Save".
class SetupWindow : public QDialog
{
    Q_OBJECT
public:
    explicit SetupWindow(QWidget* parent = nullptr);
    ~SetupWindow() override;

    Ui::SetupWindow& ui() { return *m_ui; }
    int portsToSearch() const { return m_numberOfCom; }
    // Why the settings file could not be used, for the program to show; empty when it could.
    QString storeProblem() const { return m_storeProblem; }

    void save();
    // Connects to the broker the Network fields name, without saving them, and says how it went.
    void testConnection();
    bool testingConnection() const { return m_brokerTest != nullptr; }
    // How a failed save is told; a message box unless a test says otherwise.
    std::function<void(const QString&)> reportSaveFailure;
    // The monitor that the log-in entry starts: ringdesk beside this program.
    QString monitorProgram;

private:
    struct FieldProblem
    {
        QLineEdit* field;
        QString reason;
    };
    // The values the programs cannot use, in the window's order.
    QList<FieldProblem> problems() const;
    void load();
    void rebuildPortChooser();
    void showExclusion();
    void storeExclusion(bool excluded);
    void showDevice();
    void storeDevice();

    std::unique_ptr<Ui::SetupWindow> m_ui;
    qint16 m_numberOfCom = 0;
    QString m_storeProblem;
    bool m_rebuilding = false;
    std::unique_ptr<MqttConnection> m_brokerTest;
    QTimer m_brokerTestTimeout;
    static constexpr int testTimeoutMs = 10000;
};
