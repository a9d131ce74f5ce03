#pragma once

#include <QObject>
#include <QString>
#include <QStringListModel>
#include <array>

// The monitor window's state, kept apart from the widgets: the caller fields, the check boxes
// (state and whether the user may change them), the status line, the two lists and the values
// that mirror settings. Setting a check box to a state it does not have yet emits checkChanged,
// which is where the box's action is connected; setting the state it already has does nothing.
class MonitorState : public QObject
{
    Q_OBJECT
public:
    enum Field
    {
        CallIDDate,
        CallIDTime,
        CallIDNumber,
        CallIDName,
        SystemMessage,
        NameLabel // the caption "Name" or "Company" of the label before the name field
    };
    Q_ENUM(Field)
    // Controls whose "enabled" or "visible" the core decides.
    enum Control
    {
        Command3,
        Command4,
        Command8,
        Picture1,
        Picture2
    };
    Q_ENUM(Control)

    explicit MonitorState(QObject* parent = nullptr);

    QString field(Field which) const { return m_fields.at(which); }
    void setField(Field which, const QString& text);

    // Check1 to Check8: 0 clear, 1 ticked.
    int check(int number) const;
    void setCheck(int number, int value);
    bool checkEnabled(int number) const;
    void setCheckEnabled(int number, bool enabled);

    // Option1 "Events" and Option2 "Log": exactly one is selected; selecting one clears the other
    // and emits optionSelected. A selected option cannot be cleared by itself.
    bool option(int number) const { return number == 2 ? m_logShown : !m_logShown; }
    void setOption(int number, bool selected);

    bool controlEnabled(Control which) const { return m_enabled.at(which); }
    void setControlEnabled(Control which, bool enabled);
    bool controlVisible(Control which) const { return m_visible.at(which); }
    void setControlVisible(Control which, bool visible);

    int okReceived() const { return m_okReceived; }
    int errorReceived() const { return m_errorReceived; }
    void setOkReceived(int value);
    void setErrorReceived(int value);

    // Adds one line at the end of the event list.
    void appendEvent(const QString& line);
    QStringList events() const { return ModemEvents.stringList(); }
    QStringList calls() const { return Calllog.stringList(); }

    QStringListModel ModemEvents;
    QStringListModel Calllog;

    // The caller-ID record's kind: 0 none, 1 begun by a DATE line, 2 number withheld.
    qint16 CallRecordState = 0;
    // Ring polling: 0 idle, 2 a record is arriving, 1 the record is complete.
    qint16 PollState = 0;
    qint16 PollTicks = 0;

    // The state of one command wait: cleared when a wait begins, lowered by its time-out.
    qint16 AwaitingReply = 0;
    // Set once the unload step has begun: nothing may start to wait any more.
    bool ShuttingDown = false;
    void beginShutdown();

    qint16 ContactFound = 0;
    QString CallerLastName;
    QString CallerFirstName;
    QString CallerCompany;

    // Texts as read from the settings at start; written back at exit.
    QString ComPort = QStringLiteral("0");
    QString ModemResponseTimeout = QStringLiteral("3000");
    QString BaudRate = QStringLiteral("9600");
    QString PollInterval = QStringLiteral("100");
    QString CallIDString;
    QString AreaCode;
    QString LogDirectory;
    bool OutlookAvailable = false;

signals:
    void fieldChanged(MonitorState::Field which, const QString& text);
    // The view's turn comes first: a box shows its new state before its action runs (which may
    // take a whole modem search).
    void checkShown(int number, int value);
    void checkChanged(int number, int value);
    void checkEnabledChanged(int number, bool enabled);
    void replyFlagsChanged();
    void optionSelected(int number);
    void shuttingDown();
    void eventAppended(const QString& line);
    void controlChanged(MonitorState::Control which);

private:
    static int index(int number);

    std::array<QString, 6> m_fields{{{}, {}, {}, {}, {}, QStringLiteral("Name")}};
    std::array<int, 8> m_checks{};
    std::array<bool, 8> m_checksEnabled{};
    bool m_logShown = false;
    std::array<bool, 5> m_enabled{true, true, true, true, true};
    std::array<bool, 5> m_visible{true, true, true, true, true};
    int m_okReceived = 0;
    int m_errorReceived = 0;
};
