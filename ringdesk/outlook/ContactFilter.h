#pragma once

#include <QList>
#include <QString>
#include <optional>

class VCard;

// A search filter of the form [Property] = "value" joined by "and", values in double quotes with
// inner quotes doubled. Text compares without regard to case; a telephone term matches when any
// telephone of the contact has the same digits, punctuation and spaces ignored.
class ContactFilter
{
public:
    // Nothing when the text does not parse or names a property the address book does not have.
    static std::optional<ContactFilter> parse(const QString& text);

    bool matches(const VCard& card) const;

    struct Term
    {
        QString property; // FirstName, LastName, CompanyName or BusinessTelephoneNumber
        QString value;
    };
    QList<Term> terms;

    static QString digits(const QString& number);
};
