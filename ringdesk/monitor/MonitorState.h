#pragma once

#include "calls/CallOptions.h"
#include "modem/CallerId.h"

#include <QObject>
#include <QString>
#include <array>

// What the monitor shows and what the user chose, kept apart from any window: the caller's
// fields, the status line, the user's choices (the boxes: whether a call searches the contacts,
// creates a contact or a journal entry, chimes, whether the modem is used; and whether the user
// may change each now), which list is shown. The monitor writes it; a window mirrors it and
// writes back what the user changes. Setting a box to a state it does not have yet emits
// boxChanged, which is where the box's action is connected; setting the state it already has
// does nothing.
class MonitorState : public QObject
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

    explicit MonitorState(QObject* parent = nullptr);

    QString field(Field which) const { return m_fields.at(which); }
    void setField(Field which, const QString& text);
    // The caller's four fields.
    void showCaller(const CallerId& record);

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
    // What the boxes ask of each call; `matchNumberOnly` is the setting's.
    CallOptions callOptions(bool matchNumberOnly) const;
    // Without an address book: its boxes off and fixed, its buttons off, the searches hidden.
    void withoutAddressBook();

signals:
    void fieldChanged(MonitorState::Field which, const QString& text);
    // The view's turn comes first: a box shows its new state before its action runs (which may
    // take a whole modem search).
    void boxShown(MonitorState::Box which, bool ticked);
    void boxChanged(MonitorState::Box which, bool ticked);
    void boxEnabledChanged(MonitorState::Box which, bool enabled);
    void viewChanged(MonitorState::View view);
    void controlChanged(MonitorState::Control which);

private:
    std::array<QString, 6> m_fields{{{}, {}, {}, {}, {}, QStringLiteral("Name")}};
    std::array<bool, BoxCount> m_boxes{};
    std::array<bool, BoxCount> m_boxesEnabled{};
    View m_view = View::Events;
    std::array<bool, 5> m_enabled{true, true, true, true, true};
    std::array<bool, 5> m_visible{true, true, true, true, true};
};
