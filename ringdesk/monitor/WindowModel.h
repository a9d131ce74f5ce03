#pragma once

#include "monitor/CallListModel.h"

#include <QObject>
#include <QString>
#include <QStringListModel>
#include <array>

// The monitor window's state, kept apart from the widgets and written by the monitor alone: the
// caller's fields, the check boxes (state and whether the user may change them), the status
// line, the two lists and which of them is shown. Setting a box to a state it does not have yet
// emits boxChanged, which is where the box's action is connected; setting the state it already
// has does nothing.
class WindowModel : public QObject
{
    Q_OBJECT
public:
    enum Field
    {
        Date,
        Time,
        Number,
        Name,
        Status,
        NameCaption // "Name" or "Company", the caption of the label before the name field
    };
    Q_ENUM(Field)
    enum Box
    {
        ModemEnabled,
        SearchContacts,
        CreateContact,
        MaximizeOnRing,
        CreateJournal,
        MinimizeOnStart,
        UseTray,
        PlaySound
    };
    Q_ENUM(Box)
    static constexpr int BoxCount = 8;
    // Controls whose "enabled" or "visible" the monitor decides.
    enum Control
    {
        NewContact,
        FindModem,
        NewJournal,
        SearchNumber,
        SearchName
    };
    Q_ENUM(Control)
    // The list shown below the caller: the event list or the call list.
    enum class View
    {
        Events,
        Calls
    };

    explicit WindowModel(QObject* parent = nullptr);

    QString field(Field which) const { return m_fields.at(which); }
    void setField(Field which, const QString& text);

    bool box(Box which) const { return m_boxes.at(which); }
    void setBox(Box which, bool ticked);
    bool boxEnabled(Box which) const { return m_boxesEnabled.at(which); }
    void setBoxEnabled(Box which, bool enabled);

    // Exactly one view is shown; showing one hides the other and emits viewChanged.
    View view() const { return m_view; }
    void setView(View view);

    bool controlEnabled(Control which) const { return m_enabled.at(which); }
    void setControlEnabled(Control which, bool enabled);
    bool controlVisible(Control which) const { return m_visible.at(which); }
    void setControlVisible(Control which, bool visible);

    // Adds one line at the end of the event list (the monitor's event log feeds it).
    void appendEvent(const QString& line);
    QStringList events() const { return eventList.stringList(); }
    // The call list's lines.
    QStringList calls() const { return callList.lines(); }

    QStringListModel eventList;
    CallListModel callList;

signals:
    void fieldChanged(WindowModel::Field which, const QString& text);
    // The view's turn comes first: a box shows its new state before its action runs (which may
    // take a whole modem search).
    void boxShown(WindowModel::Box which, bool ticked);
    void boxChanged(WindowModel::Box which, bool ticked);
    void boxEnabledChanged(WindowModel::Box which, bool enabled);
    void viewChanged(WindowModel::View view);
    void controlChanged(WindowModel::Control which);

private:
    std::array<QString, 6> m_fields{{{}, {}, {}, {}, {}, QStringLiteral("Name")}};
    std::array<bool, BoxCount> m_boxes{};
    std::array<bool, BoxCount> m_boxesEnabled{};
    View m_view = View::Events;
    std::array<bool, 5> m_enabled{true, true, true, true, true};
    std::array<bool, 5> m_visible{true, true, true, true, true};
};
