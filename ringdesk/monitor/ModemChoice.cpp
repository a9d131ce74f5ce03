#include "monitor/ModemChoice.h"

#include "modem/ModemControl.h"
#include "monitor/MonitorState.h"
#include "monitor/WindowControl.h"

#include <QString>
#include <utility>

using Box = MonitorState::Box;

ModemChoice::ModemChoice(MonitorState& state, ModemControl& modem, WindowControl& window,
                         QObject* parent)
    : QObject(parent), m_state(state), m_modem(modem), m_window(window)
{
    connect(&modem, &ModemControl::searchEnded, this, &ModemChoice::searchEnded);
    connect(&state, &MonitorState::boxChanged, this, [this](Box box) {
        if (box == Box::SearchContacts)
            searchContactsChanged();
    });
}

void ModemChoice::allow(bool findModem, bool createItems)
{
    m_findModemAllowed = findModem;
    m_createItems = createItems;
    m_state.setControlEnabled(MonitorState::FindModem, findModem);
}

void ModemChoice::setModemEnabled(bool on)
{
    if (m_state.box(Box::ModemEnabled) == on)
        return;
    m_state.setBox(Box::ModemEnabled, on);
    switchModem(on);
}

void ModemChoice::switchModem(bool on)
{
    if (!on) {
        manualMode();
        return;
    }
    m_state.setControlEnabled(MonitorState::FindModem, m_findModemAllowed);
    // With a search under way, the rest waits for it; switched off meanwhile, manual mode has had
    // the last word.
    if (m_modem.turnOn()) {
        m_switchingOn = true;
        return;
    }
    enableModemControls();
}

void ModemChoice::searchEnded()
{
    if (m_modem.searching())
        return; // switched off and on again: the newer search has the last word
    if (std::exchange(m_switchingOn, false) && m_modem.isOn())
        enableModemControls();
    emit settled();
}

void ModemChoice::enableModemControls()
{
    if (m_addressBook) {
        for (Box box : {Box::SearchContacts, Box::CreateContact, Box::CreateJournal})
            m_state.setBoxEnabled(box, true);
    }
    m_state.setBoxEnabled(Box::MaximizeOnRing, true);
    m_state.setBoxEnabled(Box::PlaySound, true);
    m_window.setModemMenuChecks(true);
    m_window.setTrayImage(WindowControl::TrayImage::Window);
    searchContactsChanged();
}

void ModemChoice::manualMode()
{
    m_state.setField(MonitorState::Status, QStringLiteral("Manual Mode"));
    m_state.setControlEnabled(MonitorState::FindModem, false);
    m_modem.turnOff();
    for (Box box : {Box::SearchContacts, Box::CreateContact, Box::MaximizeOnRing,
                    Box::CreateJournal, Box::PlaySound})
        m_state.setBoxEnabled(box, false);
    m_window.setModemMenuChecks(false);
    m_window.setTrayImage(WindowControl::TrayImage::ModemOff);
}

void ModemChoice::findModem()
{
    if (!m_state.box(Box::ModemEnabled)) {
        m_modem.settings().port = 0;
        manualMode();
        return;
    }
    m_modem.find();
}

void ModemChoice::searchContactsChanged()
{
    if (!m_state.box(Box::SearchContacts)) {
        m_state.setBoxEnabled(Box::CreateContact, false);
        m_state.setBoxEnabled(Box::CreateJournal, false);
        return;
    }
    if (m_createItems) {
        m_state.setBoxEnabled(Box::CreateContact, true);
        m_state.setBoxEnabled(Box::CreateJournal, true);
    }
}
