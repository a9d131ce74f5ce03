#pragma once

#include <QString>

// What the user asked to happen with each call, as the window's boxes and the settings say.
struct CallOptions
{
    bool searchContacts = false;  // "Search in Contact"
    bool createContact = false;   // "Create Contact", while it may be used
    bool createJournal = false;   // "Create Journal"
    bool matchNumberOnly = false; // "MatchNumberOnly": a known number is enough
    QString source;               // where the call came from: the modem's port
};
