#pragma once

#include <QString>

// A caller-ID name split into a contact's names.
struct CallerName
{
    QString last;
    QString first;

    // The first word is the last name, the rest after the first space the first name (caller-ID
    // services send names surname first); trailing spaces are removed from both.
    static CallerName split(const QString& name);
};
