#include "modem/ModemSwitch.h"

#include "common/Conversions.h"
#include "common/SettingsTable.h"
#include "state/MonitorState.h"
#include "state/WindowControl.h"

ModemSwitch::ModemSwitch(MonitorState& state, WindowControl& window)
    : m_state(state), m_window(window)
{
}

void ModemSwitch::Check1Click()
{
    if (m_state.check(1) == 0) {
        ManualMode();
        return;
    }
    const bool findAllowed = Conversions::toTruth(Settings::ModemFindModem.read()).value_or(true);
    m_state.setControlEnabled(MonitorState::Command4, findAllowed);
    if (!m_port.isOpen()) {
        m_port.SearchModems();
        // Switched off while the search ran: manual mode has already had the last word.
        if (m_state.check(1) == 0)
            return;
    }
    if (m_state.OutlookAvailable) {
        for (int box : {2, 3, 5})
            m_state.setCheckEnabled(box, true);
    }
    m_state.setCheckEnabled(4, true);
    m_state.setCheckEnabled(8, true);
    m_window.SetCallIDMenuChecks(true);
    m_window.SetTrayIconImage(WindowControl::TrayImage::Window);
    if (m_check2Action)
        m_check2Action();
}

void ModemSwitch::ManualMode()
{
    m_state.setField(MonitorState::SystemMessage, QStringLiteral("Manual Mode"));
    m_state.setControlEnabled(MonitorState::Command4, false);
    if (m_port.isOpen())
        m_port.close();
    for (int box : {2, 3, 4, 5, 8})
        m_state.setCheckEnabled(box, false);
    m_window.SetCallIDMenuChecks(false);
    m_window.SetTrayIconImage(WindowControl::TrayImage::ModemOff);
}
