#include "calls/AddressBookContacts.h"

#include "calls/CallerName.h"
#include "numbers/PhoneNumber.h"

#include <QRegularExpression>
#include <QScopedValueRollback>

using Field = AddressBookItem::Field;

void AddressBookContacts::show(const std::shared_ptr<AddressBookItem>& item)
{
    m_lastShown = item;
    m_book.display(item, m_askedByUser);
}

std::optional<FoundContact> AddressBookContacts::find(const ContactQuery& query,
                                                      const QString& shownName,
                                                      const QString& shownNumber)
{
    emit eventLine(QStringLiteral("[Opening Outlook Contact...]"));
    auto fail = [this]() -> std::optional<FoundContact> {
        emit eventLine(QStringLiteral("[Couldn't find it!]"));
        return std::nullopt;
    };
    if (!m_book.openContacts())
        return fail();
    emit eventLine(QStringLiteral("[Searching for ") + shownName + QStringLiteral(" and/or ") +
                   shownNumber + QStringLiteral("]"));
    const ContactsFolder::Found found = m_book.findContact(query, m_plan);
    m_unanswered = !found.error.isEmpty();
    if (m_unanswered && found.error != m_lastError)
        emit eventLine(QStringLiteral("[Address book: %1]").arg(found.error));
    m_lastError = found.error;
    if (!found.item)
        return fail();
    show(found.item);
    m_lastFound = found.item;
    emit eventLine(QStringLiteral("[Found it! Now displaying contact information]"));
    if (found.others > 0)
        emit eventLine(QStringLiteral("[%1 other contact%2 match%3 as well; the first is shown]")
                           .arg(found.others)
                           .arg(found.others == 1 ? "" : "s")
                           .arg(found.others == 1 ? "es" : ""));
    return FoundContact{found.item, found.item->field(Field::FirstName),
                        found.item->field(Field::LastName), found.item->field(Field::Company)};
}

void AddressBookContacts::createContact(NewFor what, const QString& name, const QString& number)
{
    const std::shared_ptr<AddressBookItem> contact = m_book.newContact();
    bool save = false;
    if (what == NewFor::Name) {
        // The names are split from the name as it stands now: after a search by number they
        // would otherwise still be those of an earlier caller.
        const CallerName names = CallerName::split(name);
        if (!names.company.isEmpty() || !names.last.isEmpty() || !names.first.isEmpty() ||
            !number.isEmpty()) {
            contact->setField(Field::LastName, names.last);
            contact->setField(Field::FirstName, names.first);
            contact->setField(Field::Company, names.company);
            contact->setField(Field::WorkPhone, m_plan.international(number));
            save = true;
        }
    } else if (what == NewFor::Company) {
        if (!name.isEmpty() || !number.isEmpty()) {
            contact->setField(Field::Company, name);
            contact->setField(Field::WorkPhone, m_plan.international(number));
            save = true;
        }
    }
    QString error;
    if (save && !contact->save(&error))
        emit eventLine(QStringLiteral("[Couldn't save the contact: %1]").arg(error));
    show(contact);
}

void AddressBookContacts::createJournal(bool forCaller, const QString& contactNames,
                                        const QString& callerName, const QString& company)
{
    const std::shared_ptr<AddressBookItem> journal = m_book.newJournal();
    if (forCaller) {
        journal->setField(Field::Contacts, contactNames);
        journal->setField(Field::Subject, callerName + QStringLiteral(" logged by Ringwatch"));
        journal->setField(Field::Type, QStringLiteral("Phone Call"));
        journal->setField(Field::Companies, company);
    }
    show(journal);
}

void AddressBookContacts::createContactForUser(NewFor what, const QString& name,
                                               const QString& number)
{
    const QScopedValueRollback byUser(m_askedByUser, true);
    createContact(what, name, number);
}

void AddressBookContacts::createJournalForUser()
{
    const QScopedValueRollback byUser(m_askedByUser, true);
    createJournal(false, QString(), QString(), QString());
}

AddressBookContacts::HandSearch AddressBookContacts::searchByNumber(const QString& typed,
                                                                    const QString& shownName)
{
    const QScopedValueRollback byUser(m_askedByUser, true);
    // North American digits are laid out only in the lengths a number has there.
    static const QRegularExpression bareDigits(QStringLiteral("^([0-9]{7}|[0-9]{10}|[0-9]{11})$"));
    static const QRegularExpression anyDigits(QStringLiteral("^[0-9]+$"));
    HandSearch search;
    search.number = (m_plan.northAmerican() ? bareDigits : anyDigits).match(typed).hasMatch()
                        ? m_plan.display(typed)
                        : typed;
    // A number that reads as E.164 is looked for as such, in both searches, as calls are.
    const QString e164 = m_plan.e164(search.number);
    search.found =
        find(ContactQuery::numberAlone(
                 e164.isEmpty() ? PhoneNumber::searchNumberWithPrefix(search.number) : e164),
             shownName, search.number)
            .has_value();
    if (!search.found)
        search.found =
            find(ContactQuery::numberAlone(
                     e164.isEmpty() ? PhoneNumber::searchNumberWithoutPrefix(search.number) : e164),
                 shownName, search.number)
                .has_value();
    search.offer = search.number;
    return search;
}

AddressBookContacts::HandSearch AddressBookContacts::searchByName(const QString& name, bool company,
                                                                  const QString& shownNumber)
{
    const QScopedValueRollback byUser(m_askedByUser, true);
    HandSearch search;
    search.number = shownNumber;
    if (company || CallerName::isCompany(name)) {
        search.found = find(ContactQuery::companyNamed(name), name, shownNumber).has_value();
    } else {
        const CallerName names = CallerName::split(name);
        // First as typed by a person (JOHN SMITH), then in the caller-ID order (SMITH JOHN).
        search.found =
            find(ContactQuery::name(names.first, names.last), name, shownNumber).has_value();
        if (!search.found)
            search.found =
                find(ContactQuery::name(names.last, names.first), name, shownNumber).has_value();
    }
    search.offer = name;
    return search;
}
