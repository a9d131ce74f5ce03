#include "config/SetupWindow.h"

#include "net/NetAddress.h"

#include "broker/MqttConnection.h"
#include "common/Conversions.h"
#include "common/PasswordHash.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "config/Autostart.h"
#include "devices/PortMap.h"
#include "devices/SerialDevices.h"
#include "ui_SetupWindow.h"

#include <QCoreApplication>
#include <QIntValidator>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <limits>

SetupWindow::SetupWindow(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SetupWindow>())
{
    m_ui->setupUi(this);
    // Its edges resize it; maximised, it would only stretch its fields across the screen.
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    reportSaveFailure = [this](const QString& text) {
        QMessageBox::warning(this, windowTitle(), text);
    };
    monitorProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/ringdesk");
    connect(m_ui->portsField, &QLineEdit::textChanged, this, &SetupWindow::rebuildPortChooser);
    connect(m_ui->portChooser, &QComboBox::activated, this, [this] {
        showExclusion();
        showDevice();
    });
    connect(m_ui->dontUseBox, &QCheckBox::clicked, this, &SetupWindow::storeExclusion);
    connect(m_ui->testButton, &QPushButton::clicked, this, &SetupWindow::testConnection);
    connect(m_ui->deviceChooser, &QComboBox::activated, this, &SetupWindow::storeDevice);
    connect(m_ui->deviceChooser->lineEdit(), &QLineEdit::editingFinished, this,
            &SetupWindow::storeDevice);
    connect(m_ui->saveButton, &QPushButton::clicked, this, &SetupWindow::save);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    load();
}

SetupWindow::~SetupWindow() = default;

namespace {

// Numbers are shown as the number they read as ("03" as 3, "3000.0" as 3000); anything else as
// stored, so the user sees what is there and can mend it.
QString asNumber(const QString& stored)
{
    const std::optional<double> value = Conversions::toNumber(stored);
    return value ? Conversions::shortestDecimal(*value) : stored;
}

} // namespace

void SetupWindow::load()
{
    m_storeProblem = SettingsStore(Settings::Application).problem();
    m_ui->callerIdChooser->addItems(Settings::callerIdCommands());
    m_ui->speedChooser->addItems(
        {QStringLiteral("110"), QStringLiteral("300"), QStringLiteral("600"),
         QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("9600"),
         QStringLiteral("14400"), QStringLiteral("19200"), QStringLiteral("28800"),
         QStringLiteral("38400"), QStringLiteral("56000")});
    m_ui->comPortField->setText(asNumber(Settings::ComPort.read()));
    m_ui->timeoutField->setText(asNumber(Settings::ModemResponseTimeout.read()));

    // A count that is not a number shows the default; one beyond 16 bits is held at its limit.
    const QString count = Settings::NumberOfCom.read();
    qint16 ports = qint16(Settings::NumberOfCom.whole());
    const std::optional<double> value = Conversions::toNumber(count);
    if (value && !Settings::NumberOfCom.problemWith(count).isEmpty())
        ports =
            *value > 0 ? std::numeric_limits<qint16>::max() : std::numeric_limits<qint16>::min();
    m_numberOfCom = ports;
    m_ui->portsField->setText(QString::number(ports));
    rebuildPortChooser();

    m_ui->callerIdChooser->setCurrentText(Settings::CallIDString.read());
    m_ui->areaCodeField->setText(Settings::AreaCode.read());
    m_ui->countryField->setText(Settings::Country.read());
    m_ui->countryField->setPlaceholderText(Settings::systemCountry());
    m_ui->countryField->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[A-Za-z]{0,2}")), m_ui->countryField));
    m_ui->speedChooser->setCurrentText(Settings::BaudRate.read());
    m_ui->pollingField->setText(asNumber(Settings::PollInterval.read()));
    // Only a clear "False" locks; anything unreadable leaves the search allowed, as by default.
    m_ui->lockBox->setChecked(!Settings::ModemFindModem.isOn());
    m_ui->matchNumberOnlyBox->setChecked(Settings::MatchNumberOnly.isOn());
    m_ui->notifyBox->setChecked(Settings::Notify.isOn());
    m_ui->autostartBox->setChecked(Autostart::enabled());
    m_ui->screeningModeChooser->setCurrentIndex(Settings::ScreeningMode.whole());
    // The chooser lists the actions in the order of the setting's choices.
    m_ui->screeningActionChooser->setCurrentIndex(std::max<qsizetype>(
        0, Settings::ScreeningAction.choices.indexOf(Settings::ScreeningAction.choice())));
    m_ui->hangupDelayField->setText(Settings::ScreeningHangupDelay.read());
    m_ui->hangupDelayField->setValidator(new QIntValidator(0, 60000, m_ui->hangupDelayField));
    m_ui->blockWithheldBox->setChecked(Settings::ScreeningWithheld.whole() == 1);
    m_ui->blockMarkersBox->setChecked(Settings::ScreeningBlockMarkers.isOn());
    m_ui->blockInvalidBox->setChecked(Settings::ScreeningBlockInvalid.isOn());
    m_ui->blockNeighboursBox->setChecked(Settings::ScreeningBlockNeighbours.isOn());
    m_ui->ownNumberField->setText(Settings::ScreeningOwnNumber.read());
    m_ui->greylistField->setText(QString::number(Settings::ScreeningGreylist.whole()));
    m_ui->greylistField->setValidator(new QIntValidator(0, 1440, m_ui->greylistField));
    m_ui->quietHoursField->setText(Settings::ScreeningQuietHours.text());
    m_ui->checkUnknownBox->setChecked(Settings::ScreeningUnknown.choice() == u"check");
    // The chooser lists the sources in the order of the setting's choices.
    m_ui->contactsSourceChooser->setCurrentIndex(std::max<qsizetype>(
        0, Settings::ContactsSource.choices.indexOf(Settings::ContactsSource.choice())));
    m_ui->listenField->setText(Settings::WebListen.read());
    m_ui->ncidListenField->setText(Settings::NcidListen.read());
    m_ui->fritzBoxField->setText(Settings::FritzBoxAddress.read());
    m_ui->webPasswordField->setPlaceholderText(Settings::WebPasswordHash.read().isEmpty()
                                                   ? QStringLiteral("none set")
                                                   : QStringLiteral("set"));
    m_ui->hostField->setText(Settings::MqttHost.read());
    m_ui->brokerPortField->setText(Settings::MqttPort.read());
    m_ui->tlsBox->setChecked(Settings::MqttTls.isOn());
    m_ui->caFileField->setText(Settings::MqttCaFile.read());
    m_ui->userField->setText(Settings::MqttUsername.read());
    m_ui->passwordField->setText(Settings::MqttPassword.read());
    m_ui->topicField->setText(Settings::MqttTopic.read());
    m_ui->clientIdField->setText(Settings::MqttClientId.read());
    const QString madeId = MqttOptions::defaultClientId(false);
    m_ui->clientIdField->setPlaceholderText(
        madeId.isEmpty() ? QStringLiteral("made at the first connection") : madeId);
    m_ui->subscribeBox->setChecked(Settings::MqttSubscribe.isOn());

    // Each device named as udev knows it; choosing one stores its path.
    for (const QString& device : PortMap::machinePorts()) {
        const QString name = SerialDevices::describe(device);
        m_ui->deviceChooser->addItem(
            name.isEmpty() ? device : device + QStringLiteral("  (") + name + u')', device);
    }
    m_ui->deviceChooser->setCurrentIndex(-1);
    m_ui->deviceChooser->setEnabled(false);
}

void SetupWindow::rebuildPortChooser()
{
    if (m_rebuilding)
        return;
    m_rebuilding = true;
    const double typed = Conversions::leadingNumber(m_ui->portsField->text());
    if (typed > 16) {
        m_ui->portsField->setText(QStringLiteral("16"));
        m_numberOfCom = 16;
    } else {
        // Below the 16-bit range the count is held at its limit: no ports either way.
        const double limited = qMax(typed, double(std::numeric_limits<qint16>::min()));
        m_numberOfCom = Conversions::toInt16(Conversions::shortestDecimal(limited)).value_or(0);
    }
    m_ui->portChooser->clear();
    m_ui->portChooser->setEditText(QString());
    for (int port = 1; port <= m_numberOfCom; ++port)
        m_ui->portChooser->addItem(Settings::portExclusionKey(port));
    m_ui->portChooser->setCurrentIndex(-1);
    // No port is chosen now, so the device row has nothing to show.
    m_ui->deviceChooser->setEditText(QString());
    m_ui->deviceChooser->setEnabled(false);
    m_rebuilding = false;
}

void SetupWindow::showExclusion()
{
    const QString chosen = m_ui->portChooser->currentText();
    if (chosen.isEmpty())
        return;
    m_ui->dontUseBox->setChecked(PortMap::isExcluded(chosen));
}

void SetupWindow::storeExclusion(bool excluded)
{
    const QString chosen = m_ui->portChooser->currentText();
    if (chosen.isEmpty())
        return;
    saveSetting(Settings::Application, QStringLiteral("Modem"), chosen,
                excluded ? QStringLiteral("1") : QStringLiteral("0"));
}

void SetupWindow::showDevice()
{
    const QString chosen = m_ui->portChooser->currentText();
    const int port = chosen.mid(3).toInt();
    const bool isPort = chosen.startsWith(QLatin1String("Com")) && port >= 1;
    m_ui->deviceChooser->setEnabled(isPort);
    if (!isPort) {
        m_ui->deviceChooser->setEditText(QString());
        return;
    }
    m_ui->deviceChooser->setEditText(
        readSetting(Settings::Application, QStringLiteral("Ports"), chosen, QString()));
    const QString automatic = PortMap::automaticDevice(port);
    const QString name = automatic.isEmpty() ? QString() : SerialDevices::describe(automatic);
    m_ui->deviceChooser->lineEdit()->setPlaceholderText(
        automatic.isEmpty()
            ? QStringLiteral("no such device on this machine")
            : QStringLiteral("automatic: ") + automatic +
                  (name.isEmpty() ? QString() : QStringLiteral(" (") + name + u')'));
}

void SetupWindow::storeDevice()
{
    const QString chosen = m_ui->portChooser->currentText();
    if (!m_ui->deviceChooser->isEnabled() || chosen.isEmpty())
        return;
    QString device = m_ui->deviceChooser->currentText().trimmed();
    const int index = m_ui->deviceChooser->currentIndex();
    if (index >= 0 && m_ui->deviceChooser->itemText(index) == m_ui->deviceChooser->currentText()) {
        device = m_ui->deviceChooser->itemData(index).toString();
        m_ui->deviceChooser->setEditText(device);
    }
    if (device == readSetting(Settings::Application, QStringLiteral("Ports"), chosen, QString()))
        return;
    saveSetting(Settings::Application, QStringLiteral("Ports"), chosen, device);
}

namespace {

// What British users type is the code of the United Kingdom.
QString countryCode(const QString& text)
{
    const QString code = text.trimmed().toUpper();
    return code == u"UK" ? QStringLiteral("GB") : code;
}

// The countries of the North American plan, whose area code completes seven-digit numbers.
bool northAmerican(const QString& code)
{
    static const QStringList plan{"US", "CA", "AG", "AI", "AS", "BB", "BM", "BS", "DM",
                                  "DO", "GD", "GU", "JM", "KN", "KY", "LC", "MP", "MS",
                                  "PR", "SX", "TC", "TT", "VC", "VG", "VI"};
    return plan.contains(code);
}

// The number the field's text starts with ("12 ms" is 12), as it is saved, from low to high.
bool within(const QString& text, double low, double high)
{
    const double value = Conversions::leadingNumber(text);
    return value >= low && value <= high;
}

} // namespace

QList<SetupWindow::FieldProblem> SetupWindow::problems() const
{
    QList<FieldProblem> found;
    const QString country = countryCode(m_ui->countryField->text());
    if (!country.isEmpty() &&
        (country.size() != 2 || QLocale::codeToTerritory(country) == QLocale::AnyTerritory))
        found.append({m_ui->countryField,
                      QStringLiteral("Country \"%1\" is no country code (two letters, such as "
                                     "GB, DE or US)")
                          .arg(m_ui->countryField->text().trimmed())});
    const QString areaCode = m_ui->areaCodeField->text().trimmed();
    static const QRegularExpression threeDigits(QStringLiteral("^\\d{3}$"));
    if (!areaCode.isEmpty() &&
        northAmerican(country.isEmpty() ? Settings::systemCountry() : country) &&
        !threeDigits.match(areaCode).hasMatch())
        found.append({m_ui->areaCodeField,
                      QStringLiteral("Area code \"%1\" is not three digits").arg(areaCode)});
    const QString timeout = m_ui->timeoutField->text().trimmed();
    if (!timeout.isEmpty() && !within(timeout, 1, 65535))
        found.append({m_ui->timeoutField,
                      QStringLiteral("Timeout (ms) \"%1\" is not 1 to 65535").arg(timeout)});
    const QString polling = m_ui->pollingField->text().trimmed();
    // 0, as an emptied field is saved, stands for the default.
    if (!polling.isEmpty() && !within(polling, 0, 10000))
        found.append({m_ui->pollingField,
                      QStringLiteral("Polling (ms) \"%1\" is not 0 to 10000").arg(polling)});
    for (QLineEdit* field : {m_ui->listenField, m_ui->ncidListenField}) {
        QHostAddress address;
        quint16 port = 0;
        const QString text = field->text().trimmed();
        if (!text.isEmpty() && (!NetAddress::parseListen(text, &address, &port) || port == 0))
            found.append({field, QStringLiteral("\"%1\" is not an address to listen on "
                                                "(HOST:PORT, such as 192.168.1.10:3333)")
                                     .arg(text)});
    }
    QString host;
    quint16 port = 0;
    const QString box = m_ui->fritzBoxField->text().trimmed();
    if (!box.isEmpty() && !NetAddress::parseHost(box, 1012, &host, &port))
        found.append({m_ui->fritzBoxField,
                      QStringLiteral("FRITZ!Box \"%1\" is not HOST or HOST:PORT").arg(box)});
    const QString quietHours = m_ui->quietHoursField->text().trimmed();
    if (const QString wrong = Settings::ScreeningQuietHours.problemWith(quietHours);
        !wrong.isEmpty())
        found.append({m_ui->quietHoursField,
                      QStringLiteral("Quiet hours \"%1\" are %2").arg(quietHours, wrong)});
    return found;
}

void SetupWindow::save()
{
    const QString webPassword = m_ui->webPasswordField->text();
    if (!webPassword.isEmpty() && webPassword.size() < PasswordHash::minimumLength) {
        reportSaveFailure(QStringLiteral("The web page's password needs at least %1 characters; "
                                         "nothing was saved.")
                              .arg(PasswordHash::minimumLength));
        m_ui->webPasswordField->setFocus();
        return;
    }
    // A value the programs cannot use is refused at its field, with the reason, before
    // anything is saved.
    for (const FieldProblem& problem : problems()) {
        reportSaveFailure(problem.reason + QStringLiteral("; nothing was saved."));
        problem.field->setFocus();
        problem.field->selectAll();
        return;
    }
    const QString quietHours = m_ui->quietHoursField->text().trimmed();
    auto number = [](const QLineEdit* field) {
        return Conversions::shortestDecimal(Conversions::leadingNumber(field->text()));
    };
    QList<SettingsStore::Entry> entries;
    auto add = [&entries](const SettingEntry& entry, const QString& value) {
        entries.append(entry.withValue(value));
    };
    if (!m_ui->comPortField->text().isEmpty())
        add(Settings::ComPort, number(m_ui->comPortField));
    if (!m_ui->timeoutField->text().isEmpty())
        add(Settings::ModemResponseTimeout, number(m_ui->timeoutField));
    if (!m_ui->callerIdChooser->currentText().isEmpty())
        add(Settings::CallIDString, m_ui->callerIdChooser->currentText());
    add(Settings::AreaCode, m_ui->areaCodeField->text());
    if (!m_ui->speedChooser->currentText().isEmpty())
        add(Settings::BaudRate, m_ui->speedChooser->currentText());
    add(Settings::PollInterval, number(m_ui->pollingField));
    add(Settings::NumberOfCom, QString::number(m_numberOfCom));
    add(Settings::ModemFindModem, Conversions::truthText(!m_ui->lockBox->isChecked()));
    // A box is stored only once it differs from what is stored, so saving adds no entry of its
    // own.
    auto addBox = [&add](const SettingEntry& entry, const QCheckBox* check) {
        if (entry.isOn() != check->isChecked())
            add(entry, entry.textFor(check->isChecked()));
    };
    addBox(Settings::MatchNumberOnly, m_ui->matchNumberOnlyBox);
    addBox(Settings::Notify, m_ui->notifyBox);
    // The network settings, too, are stored only where they differ from what is stored.
    auto addChanged = [&add](const SettingEntry& entry, const QString& value) {
        if (entry.read() != value)
            add(entry, value);
    };
    addChanged(Settings::Country, countryCode(m_ui->countryField->text()));
    // Screening, like the network, is stored only where it differs from what is stored.
    addChanged(Settings::ScreeningMode,
               QString::number(m_ui->screeningModeChooser->currentIndex()));
    addChanged(Settings::ScreeningAction,
               Settings::ScreeningAction.choices.value(m_ui->screeningActionChooser->currentIndex(),
                                                       QStringLiteral("hangup")));
    addChanged(Settings::ScreeningHangupDelay, m_ui->hangupDelayField->text().trimmed());
    if ((Settings::ScreeningWithheld.whole() == 1) != m_ui->blockWithheldBox->isChecked())
        add(Settings::ScreeningWithheld,
            Settings::ScreeningWithheld.textFor(m_ui->blockWithheldBox->isChecked()));
    addChanged(Settings::WebListen, m_ui->listenField->text().trimmed());
    addChanged(Settings::NcidListen, m_ui->ncidListenField->text().trimmed());
    addChanged(Settings::FritzBoxAddress, m_ui->fritzBoxField->text().trimmed());
    if (!m_ui->webPasswordField->text().isEmpty())
        add(Settings::WebPasswordHash, PasswordHash::make(m_ui->webPasswordField->text()));
    addChanged(Settings::MqttHost, m_ui->hostField->text().trimmed());
    addChanged(Settings::MqttPort, m_ui->brokerPortField->text().trimmed());
    addBox(Settings::ScreeningBlockMarkers, m_ui->blockMarkersBox);
    addBox(Settings::ScreeningBlockInvalid, m_ui->blockInvalidBox);
    addBox(Settings::ScreeningBlockNeighbours, m_ui->blockNeighboursBox);
    addChanged(Settings::ScreeningOwnNumber, m_ui->ownNumberField->text().trimmed());
    if (!m_ui->greylistField->text().isEmpty())
        addChanged(Settings::ScreeningGreylist, m_ui->greylistField->text());
    addChanged(Settings::ScreeningQuietHours, quietHours);
    addChanged(Settings::ContactsSource,
               Settings::ContactsSource.choices.value(m_ui->contactsSourceChooser->currentIndex(),
                                                      QStringLiteral("folder")));
    if ((Settings::ScreeningUnknown.choice() == u"check") != m_ui->checkUnknownBox->isChecked())
        add(Settings::ScreeningUnknown,
            m_ui->checkUnknownBox->isChecked() ? QStringLiteral("check") : QStringLiteral("ring"));
    addBox(Settings::MqttTls, m_ui->tlsBox);
    addChanged(Settings::MqttCaFile, m_ui->caFileField->text().trimmed());
    addChanged(Settings::MqttUsername, m_ui->userField->text());
    addChanged(Settings::MqttPassword, m_ui->passwordField->text());
    addChanged(Settings::MqttTopic, m_ui->topicField->text().trimmed());
    addChanged(Settings::MqttClientId, m_ui->clientIdField->text().trimmed());
    addBox(Settings::MqttSubscribe, m_ui->subscribeBox);
    SettingsStore store(Settings::Application);
    if (!store.saveAll(entries)) {
        reportSaveFailure(QStringLiteral("The settings could not be saved to %1: %2.")
                              .arg(store.filePath(), store.lastError()));
        return;
    }
    QString why;
    if (m_ui->autostartBox->isChecked() != Autostart::enabled() &&
        !Autostart::setEnabled(m_ui->autostartBox->isChecked(), monitorProgram, &why)) {
        reportSaveFailure(
            QStringLiteral("Starting Ringwatch at log-in could not be set: %1.").arg(why));
        return;
    }
    accept();
}

void SetupWindow::testConnection()
{
    MqttOptions options;
    options.host = m_ui->hostField->text().trimmed();
    bool portOk = false;
    options.port = m_ui->brokerPortField->text().trimmed().toInt(&portOk);
    options.tls = m_ui->tlsBox->isChecked();
    options.caFile = m_ui->caFileField->text().trimmed();
    options.username = m_ui->userField->text();
    options.password = m_ui->passwordField->text();
    QLabel* result = m_ui->testResult;
    if (options.host.isEmpty()) {
        result->setText(QStringLiteral("Enter the broker's host first."));
        return;
    }
    if (!portOk || options.port < 1 || options.port > 65535) {
        result->setText(QStringLiteral("The port must be a number from 1 to 65535."));
        return;
    }
    // A name of its own, so the running monitor is not put off the broker by the test.
    const QString id = m_ui->clientIdField->text().trimmed();
    options.clientId =
        (id.isEmpty() ? MqttOptions::defaultClientId(true) : id) + QStringLiteral("-test");

    result->setText(QStringLiteral("Connecting to %1...").arg(options.address()));
    m_ui->testButton->setEnabled(false);
    // The window stays usable meanwhile; the answer, a failure or the time-out ends the test.
    m_brokerTest = std::make_unique<MqttConnection>();
    auto end = [this, result](const QString& answer) {
        m_brokerTest.release()->deleteLater(); // we may be inside one of its signals
        m_brokerTestTimeout.stop();
        m_ui->testButton->setEnabled(true);
        result->setText(answer);
    };
    connect(m_brokerTest.get(), &MqttConnection::connected, this,
            [this, end, address = options.address()] {
                m_brokerTest->stop(QString(), QByteArray(), 500);
                end(QStringLiteral("Connected to %1.").arg(address));
            });
    connect(m_brokerTest.get(), &MqttConnection::failed, this,
            [end](const QString& reason, bool) { end(QStringLiteral("Failed: %1.").arg(reason)); });
    m_brokerTestTimeout.callOnTimeout(m_brokerTest.get(), [end, address = options.address()] {
        end(QStringLiteral("No answer from %1 within %2 s.")
                .arg(address)
                .arg(testTimeoutMs / 1000));
    });
    m_brokerTestTimeout.setSingleShot(true);
    m_brokerTestTimeout.start(testTimeoutMs);
    m_brokerTest->start(options);
}
