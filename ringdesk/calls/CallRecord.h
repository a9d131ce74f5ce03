#pragma once

#include <QDateTime>
#include <QString>

// One call, made once where its record is complete and passed as it is to everyone who reads a
// call: call processing, screening, the logs and the history, the window, the notification, the
// household's bus and the web page.
struct CallRecord
{
    enum class Withheld
    {
        No,
        Private,
        OutOfArea
    };

    QString date;   // MM/DD
    QString time;   // HH:MM
    QString number; // as shown: formatted, "Private", "Out of Area" or empty
    QString e164;   // "+442079460958", or empty when the number does not read as one
    QString name;
    bool contactFound = false;
    QDateTime received; // when it was logged
    Withheld withheld = Withheld::No;
    // The contact found, when one was.
    QString contactFirst;
    QString contactLast;
    QString contactCompany;
    QString id;   // made once per call, kept wherever the call travels
    QString line; // the modem's device
    // The monitor that published it, for a call from another machine; empty for our own.
    QString origin;
    // Blocked by call screening, and the entry or rule that blocked it.
    bool blocked = false;
    QString blockRule;
    // The contact found: its UID (or file) and the name it is shown by.
    QString contactUid;
    QString contactName;
    // Where the call came from: the modem's port, or the household's broker.
    QString source;
    // Once known: "answered" or "missed", "passed the check" or "failed the check", and how
    // long it was answered for.
    QString outcome;
    // Its caller is being asked for a key: nobody should be disturbed by it yet.
    bool checking = false;
    int duration = 0;
    // The message its caller left on the answering machine: how long (-1: none), and whether
    // it has been heard.
    int messageSeconds = -1;
    bool messageHeard = false;
    // Its row in the history, once it is there.
    qint64 historyId = 0;

    // The call as one line of the call list and the call log.
    QString logLine() const { return date + u' ' + time + u' ' + number + u' ' + name; }

    // Who called, as a line of text says it: the contact, else the number, else the name.
    QString caller() const
    {
        return !contactName.isEmpty() ? contactName : !number.isEmpty() ? number : name;
    }

    // The number's digits alone.
    QString digits() const
    {
        QString only;
        for (QChar c : number)
            if (c.isDigit())
                only.append(c);
        return only;
    }
};
