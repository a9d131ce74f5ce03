#pragma once

#include <QObject>

class ModemControl;
class MonitorState;
class WindowControl;

// The user's "Modem Enabled" choice and what follows it: on, the modem is searched for unless its
// line is open, and the boxes a call uses may be changed; off, manual mode, the modem closed and
// those boxes fixed. "Search in Contact" decides whether the two boxes that create items may be
// changed.
class ModemChoice : public QObject
{
    Q_OBJECT
public:
    ModemChoice(MonitorState& state, ModemControl& modem, WindowControl& window,
                QObject* parent = nullptr);

    // What the settings allow: "Find Modem" by hand, contacts and journal entries created.
    void allow(bool findModem, bool createItems);
    // Whether the address book answered; without one its boxes stay fixed.
    void setAddressBookUsable(bool usable) { m_addressBook = usable; }

    void setModemEnabled(bool on);
    void findModem();
    // Manual mode as the switch being off shows it, as at the end of a start without the modem.
    void manualMode();

signals:
    // A modem search ended, and the switch with it: the activation step may go on.
    void settled();

private:
    void switchModem(bool on);
    void searchEnded();
    void enableModemControls();
    void searchContactsChanged();

    MonitorState& m_state;
    ModemControl& m_modem;
    WindowControl& m_window;
    bool m_findModemAllowed = true;
    bool m_createItems = true;
    bool m_addressBook = false;
    bool m_switchingOn = false;
};
