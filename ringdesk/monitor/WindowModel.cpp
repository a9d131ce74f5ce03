#include "monitor/WindowModel.h"

#include "common/CleanText.h"

WindowModel::WindowModel(QObject* parent) : QObject(parent)
{
    m_boxesEnabled.fill(true);
    // As the window is laid out: the modem switch and "Search in Contact" start disabled.
    m_boxesEnabled[ModemEnabled] = false;
    m_boxesEnabled[SearchContacts] = false;
}

void WindowModel::setView(View view)
{
    if (m_view == view)
        return;
    m_view = view;
    emit viewChanged(view);
}

void WindowModel::setControlEnabled(Control which, bool enabled)
{
    if (m_enabled.at(which) == enabled)
        return;
    m_enabled[which] = enabled;
    emit controlChanged(which);
}

void WindowModel::setControlVisible(Control which, bool visible)
{
    if (m_visible.at(which) == visible)
        return;
    m_visible[which] = visible;
    emit controlChanged(which);
}

void WindowModel::setField(Field which, const QString& text)
{
    if (m_fields.at(which) == text)
        return;
    m_fields[which] = text;
    emit fieldChanged(which, text);
}

void WindowModel::setBox(Box which, bool ticked)
{
    if (m_boxes.at(which) == ticked)
        return;
    m_boxes[which] = ticked;
    emit boxShown(which, ticked);
    emit boxChanged(which, ticked);
}

void WindowModel::setBoxEnabled(Box which, bool enabled)
{
    if (m_boxesEnabled.at(which) == enabled)
        return;
    m_boxesEnabled[which] = enabled;
    emit boxEnabledChanged(which, enabled);
}

void WindowModel::appendEvent(const QString& text)
{
    // Event lines quote settings, files, the broker and the modem as they stand.
    const QString line = CleanText::field(text);
    const int row = eventList.rowCount();
    eventList.insertRows(row, 1);
    eventList.setData(eventList.index(row), line);
}
