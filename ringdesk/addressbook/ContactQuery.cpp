#include "addressbook/ContactQuery.h"

#include "addressbook/VCard.h"
#include "numbers/PhoneNumber.h"

ContactQuery ContactQuery::name(const QString& last, const QString& first)
{
    ContactQuery query;
    query.lastName = last;
    query.firstName = first;
    return query;
}

ContactQuery ContactQuery::nameAndNumber(const QString& last, const QString& first,
                                         const QString& number)
{
    ContactQuery query = name(last, first);
    query.number = number;
    return query;
}

ContactQuery ContactQuery::numberAlone(const QString& number)
{
    ContactQuery query;
    query.number = number;
    return query;
}

ContactQuery ContactQuery::companyNamed(const QString& company)
{
    ContactQuery query;
    query.company = company;
    return query;
}

bool ContactQuery::matches(const VCard& card, const QString& areaCode) const
{
    auto same = [](const std::optional<QString>& wanted, const QString& have) {
        return !wanted || have.compare(*wanted, Qt::CaseInsensitive) == 0;
    };
    if (!same(lastName, card.lastName()) || !same(firstName, card.firstName()) ||
        !same(company, card.company()))
        return false;
    if (!number)
        return true;
    const QString wanted = PhoneNumber::comparable(*number, areaCode);
    if (wanted.isEmpty())
        return false;
    for (const QString& phone : card.phones())
        if (PhoneNumber::comparable(phone, areaCode) == wanted)
            return true;
    return false;
}
