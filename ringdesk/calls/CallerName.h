#pragma once

#include <QString>

// A caller-ID name split into a contact's names, or kept whole as a company's.
struct CallerName
{
    QString last;
    QString first;
    QString company; // the whole name, when it ends in a company's legal form ("ACME LTD")

    // The first word is the last name, the rest after the first space the first name (caller-ID
    // services send names surname first); trailing spaces are removed from both. A name that
    // ends in a legal form (see isCompany) is a company's and left whole.
    static CallerName split(const QString& name);
    // The name's last word, without its dots and commas, is a company's legal form (LTD, INC,
    // GMBH, ...), and some name comes before it.
    static bool isCompany(const QString& name);
};
