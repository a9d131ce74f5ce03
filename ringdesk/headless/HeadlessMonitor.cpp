#include "headless/HeadlessMonitor.h"

#include "common/AppPaths.h"
#include "common/CleanText.h"
#include "common/Conversions.h"

#include <QCoreApplication>

HeadlessMonitor::HeadlessMonitor(std::FILE* out, QObject* parent)
    : QObject(parent), m_out(out), m_monitor(*this), m_app(m_monitor)
{
    m_monitor.setItemViewer(this);
    connect(&m_monitor.events(), &EventLog::added, this,
            [this](const EventLog::Event& event) { print(event.text); });
    m_app.beforeRunning = [this] {
        if (m_monitor.needsAreaCode())
            m_monitor.events().append(
                QStringLiteral("[No Area Code Found! Numbers are shown as they come; "
                               "set one with config]"));
    };
    connect(&m_monitor, &Monitor::statusChanged, this, [this](const QString& text) {
        if (!text.isEmpty())
            print(QStringLiteral("Status: ") + text);
    });
    connect(&m_monitor, &Monitor::callHandled, this, [this](const CallRecord& c) {
        print(QStringLiteral("Call: %1 %2 %3 %4").arg(c.date, c.time, c.number, c.name));
    });
}

void HeadlessMonitor::start()
{
    m_app.load();
    m_app.activate();
}

void HeadlessMonitor::stop()
{
    if (stopped())
        return;
    m_app.unload();
    QCoreApplication::exit(0);
}

void HeadlessMonitor::playChime()
{
    // A monitor run as a service in the user's session is heard as the window is.
    m_chime.play(AppPaths::dataFile(QStringLiteral("gotit.wav")));
}

void HeadlessMonitor::showModemError(const QStringList& details, bool anyDevice)
{
    if (!anyDevice) {
        // The advice as the window gives it, without a window.
        print(QStringLiteral("No modem was found: none of the ports tried has a device. Check "
                             "that the modem is plugged in (a USB modem shows as /dev/ttyACM0), "
                             "that your user is in the dialout group, and which ports are tried "
                             "(ringdesk-config, \"On Find Modems\")."));
    } else {
        print(QStringLiteral("No Caller Id Features found in Modem(s)"));
    }
    for (const QString& line : details)
        print(QStringLiteral("  ") + line);
}

void HeadlessMonitor::show(const std::shared_ptr<AddressBookItem>& item, bool)
{
    // A contact found or one just created is on disk already; a new journal entry is not.
    if (!item || !item->fileName().isEmpty())
        return;
    const QString what = item->kind() == AddressBookItem::Journal ? QStringLiteral("journal entry")
                                                                  : QStringLiteral("contact");
    QString error;
    if (item->save(&error))
        m_monitor.events().append(
            QStringLiteral("[Saved the %1 to %2]").arg(what, item->fileName()));
    else
        m_monitor.events().append(QStringLiteral("[Couldn't save the %1: %2]").arg(what, error));
}

void HeadlessMonitor::print(const QString& line)
{
    // journalctl shows each line as it comes, also when standard output is a pipe.
    // Whoever reads this in a terminal gets text, never a caller's escape sequences.
    std::fputs(CleanText::field(line).toUtf8().append('\n').constData(), m_out);
    std::fflush(m_out);
}
