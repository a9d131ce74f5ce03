#pragma once

#include "numbers/NumberPlan.h"

#include <QString>
#include <optional>

class VCard;

// What a search in the address book asks for: the terms it names, all of which a contact must
// meet. Names compare without regard to case; a number compares as a number (see
// NumberPlan::key), and an empty number is nobody's.
struct ContactQuery
{
    std::optional<QString> lastName;
    std::optional<QString> firstName;
    std::optional<QString> company;
    std::optional<QString> number; // the work phone, or any number of the card

    static ContactQuery name(const QString& last, const QString& first);
    static ContactQuery nameAndNumber(const QString& last, const QString& first,
                                      const QString& number);
    static ContactQuery numberAlone(const QString& number);
    static ContactQuery companyNamed(const QString& company);

    // The plan reads both numbers; its area code completes seven-digit ones on either side.
    bool matches(const VCard& card, const NumberPlan& plan) const;
    bool operator==(const ContactQuery& other) const
    {
        return lastName == other.lastName && firstName == other.firstName &&
               company == other.company && number == other.number;
    }
};
