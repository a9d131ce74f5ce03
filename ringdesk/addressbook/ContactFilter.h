#pragma once

#include <QList>
#include <QString>
#include <optional>

class VCard;

// A search filter of the form [Property] = "value" joined by "and", values in double quotes with
// inner quotes doubled. Text compares without regard to case. A telephone term compares numbers,
// not texts: see comparableNumber. An empty telephone term matches no contact.
class ContactFilter
{
public:
    // Nothing when the text does not parse or names a property the address book does not have.
    static std::optional<ContactFilter> parse(const QString& text);

    // The area code completes seven-digit numbers on either side.
    bool matches(const VCard& card, const QString& areaCode = QString()) const;

    struct Term
    {
        QString property; // FirstName, LastName, CompanyName or BusinessTelephoneNumber
        QString value;
    };
    QList<Term> terms;

    static QString digits(const QString& number);
    // The digits that identify a telephone number: an extension ("x22", "ext. 22", ";ext=22",
    // "#22") cut off, a leading 1 of an eleven-digit number dropped, and a seven-digit number
    // preceded by the area code. "+1 (613) 555-0144 x22", "tel:+1-613-555-0144;ext=12" and, with
    // area code 613, "555-0144" all give 6135550144.
    static QString comparableNumber(const QString& number, const QString& areaCode);
};
