#include "monitor/MonitorState.h"

MonitorState::MonitorState(QObject* parent) : QObject(parent)
{
    m_boxesEnabled.fill(true);
    // As the window is laid out: the modem switch and "Search in Contact" start disabled.
    m_boxesEnabled[ModemEnabled] = false;
    m_boxesEnabled[SearchContacts] = false;
}

void MonitorState::setView(View view)
{
    if (m_view == view)
        return;
    m_view = view;
    emit viewChanged(view);
}

void MonitorState::setControlEnabled(Control which, bool enabled)
{
    if (m_enabled.at(which) == enabled)
        return;
    m_enabled[which] = enabled;
    emit controlChanged(which);
}

void MonitorState::setControlVisible(Control which, bool visible)
{
    if (m_visible.at(which) == visible)
        return;
    m_visible[which] = visible;
    emit controlChanged(which);
}

void MonitorState::setField(Field which, const QString& text)
{
    if (m_fields.at(which) == text)
        return;
    m_fields[which] = text;
    emit fieldChanged(which, text);
}

void MonitorState::showCaller(const CallerId& record)
{
    setField(Number, record.number);
    setField(Date, record.date);
    setField(Time, record.time);
    setField(Name, record.name);
}

void MonitorState::setBox(Box which, bool ticked)
{
    if (m_boxes.at(which) == ticked)
        return;
    m_boxes[which] = ticked;
    emit boxShown(which, ticked);
    emit boxChanged(which, ticked);
}

void MonitorState::setBoxEnabled(Box which, bool enabled)
{
    if (m_boxesEnabled.at(which) == enabled)
        return;
    m_boxesEnabled[which] = enabled;
    emit boxEnabledChanged(which, enabled);
}

void MonitorState::withoutAddressBook()
{
    for (Box box : {SearchContacts, CreateContact, CreateJournal})
        setBox(box, false);
    for (Box box : {SearchContacts, CreateContact, CreateJournal})
        setBoxEnabled(box, false);
    setControlEnabled(NewContact, false);
    setControlEnabled(NewJournal, false);
    setControlVisible(SearchNumber, false);
    setControlVisible(SearchName, false);
    setControlEnabled(SearchNumber, false);
    setControlEnabled(SearchName, false);
}

CallOptions MonitorState::callOptions(bool matchNumberOnly) const
{
    CallOptions options;
    options.searchContacts = box(SearchContacts);
    options.createContact = box(CreateContact) && boxEnabled(CreateContact);
    options.createJournal = box(CreateJournal);
    options.matchNumberOnly = matchNumberOnly;
    return options;
}
