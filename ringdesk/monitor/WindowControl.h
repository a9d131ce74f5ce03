#pragma once

#include <QStringList>

// What the monitor asks of the window it runs in. The desktop program gives these their bodies;
// tests and the monitor without a window use the do-nothing defaults.
class WindowControl
{
public:
    enum class TrayImage
    {
        Window,
        ModemOff
    };

    virtual ~WindowControl() = default;

    // Brings the window back to its normal state and out of the tray.
    virtual void bringBack() {}
    // The tray icon's picture: the window's own icon, or the modem-off icon in manual mode.
    virtual void setTrayImage(TrayImage) {}
    // Check marks of the tray menu: "&Enable" while the modem switch is on, else "&Disable".
    virtual void setModemMenuChecks(bool enabled) { (void)enabled; }
    // The standard beep.
    virtual void beep() {}
    // The short chime that says a caller has been identified.
    virtual void playChime() {}
    // The modem stopped answering on `device`: calls are not seen until it answers again.
    virtual void modemNotAnswering(const QString& device) { Q_UNUSED(device) }
    // A contact's call went unanswered: "Missed call from <name>".
    virtual void missedCall(const QString& name) { Q_UNUSED(name) }
    // "No Caller Id Features found in Modem(s)", with a way to the modem section of the help;
    // "No modem was found" when no port tried had a device behind it. `details`: the ports
    // that did not open, and why.
    virtual void showModemError(const QStringList& details, bool anyDevice)
    {
        Q_UNUSED(details)
        Q_UNUSED(anyDevice)
    }
};
