#include "addressbook/ContactQuery.h"

#include "addressbook/VCard.h"

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

bool ContactQuery::matches(const VCard& card, const NumberPlan& plan) const
{
    auto same = [](const std::optional<QString>& wanted, const QString& have) {
        return !wanted || have.compare(*wanted, Qt::CaseInsensitive) == 0;
    };
    if (!same(lastName, card.lastName()) || !same(firstName, card.firstName()) ||
        !same(company, card.company()))
        return false;
    if (!number)
        return true;
    const QString wanted = plan.key(*number);
    if (wanted.isEmpty())
        return false;
    for (const QString& phone : card.phones())
        if (plan.key(phone) == wanted)
            return true;
    return false;
}
