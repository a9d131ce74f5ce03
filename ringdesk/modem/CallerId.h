#pragma once

#include <QString>

// One caller-ID record as the modem reported it, its fields as the window shows them.
struct CallerId
{
    QString date;   // "MM/DD"
    QString time;   // "HH:MM"
    QString number; // laid out for display, "Private", "Out of Area" or empty
    QString e164;   // the number as E.164, when it reads as one
    QString name;
    // Begun by a DATE line: only such a record is a call.
    bool begun = false;
    // The number was withheld ("P" or "O"): the caller is not looked up, no contact is made.
    bool withheld = false;

    bool operator==(const CallerId& other) const
    {
        return date == other.date && time == other.time && number == other.number &&
               e164 == other.e164 && name == other.name && begun == other.begun &&
               withheld == other.withheld;
    }
    bool operator!=(const CallerId& other) const { return !(*this == other); }
};
