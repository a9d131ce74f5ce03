#include "state/MonitorState.h"

#include "common/CleanText.h"

MonitorState::MonitorState(QObject* parent) : QObject(parent)
{
    m_checksEnabled.fill(true);
    // As the window is laid out: the modem switch and "Search in Contact" start disabled.
    m_checksEnabled[0] = false;
    m_checksEnabled[1] = false;
}

void MonitorState::setOption(int number, bool selected)
{
    if (!selected || option(number))
        return;
    m_logShown = number == 2;
    emit optionSelected(number);
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

int MonitorState::index(int number)
{
    Q_ASSERT(number >= 1 && number <= 8);
    return qBound(1, number, 8) - 1;
}

int MonitorState::check(int number) const
{
    return m_checks.at(index(number));
}

void MonitorState::setCheck(int number, int value)
{
    int& current = m_checks[index(number)];
    if (current == value)
        return;
    current = value;
    emit checkShown(number, value);
    emit checkChanged(number, value);
}

bool MonitorState::checkEnabled(int number) const
{
    return m_checksEnabled.at(index(number));
}

void MonitorState::setCheckEnabled(int number, bool enabled)
{
    bool& current = m_checksEnabled[index(number)];
    if (current == enabled)
        return;
    current = enabled;
    emit checkEnabledChanged(number, enabled);
}

void MonitorState::setOkReceived(int value)
{
    m_okReceived = value;
    emit replyFlagsChanged();
}

void MonitorState::setErrorReceived(int value)
{
    m_errorReceived = value;
    emit replyFlagsChanged();
}

void MonitorState::appendEvent(const QString& text)
{
    // Event lines quote settings, files, the broker and the modem as they stand.
    const QString line = CleanText::field(text);
    const int row = ModemEvents.rowCount();
    ModemEvents.insertRows(row, 1);
    ModemEvents.setData(ModemEvents.index(row), line);
    emit eventAppended(line);
}

void MonitorState::beginShutdown()
{
    if (ShuttingDown)
        return;
    ShuttingDown = true;
    emit shuttingDown();
}
