#pragma once

#include <QDateTime>
#include <QString>

// One processed call, as the window showed it when it was logged: what the listeners of a call
// (the desktop notification, later the network) are given.
struct CallRecord
{
    QString date;   // MM/DD
    QString time;   // HH:MM
    QString number; // as shown: formatted, "Private", "Out of Area" or empty
    QString name;
    bool contactFound = false;
    QDateTime received; // when it was logged
};
