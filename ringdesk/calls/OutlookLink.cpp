#include "calls/OutlookLink.h"

#include "calls/ContactFilters.h"
#include "numbers/PhoneNumber.h"
#include "state/MonitorState.h"

#include <QRegularExpression>
#include <QScopedValueRollback>

void OutlookLink::SearchInContact(const QString& StringToParse)
{
    MonitorState& s = m_state;
    s.appendEvent(QStringLiteral("[Opening Outlook Contact...]"));
    auto fail = [&s] {
        s.appendEvent(QStringLiteral("[Couldn't find it!]"));
        s.ContactFound = 0;
    };
    if (!m_book.openContacts())
        return fail();
    s.appendEvent(QStringLiteral("[Searching for ") + s.field(MonitorState::CallIDName) +
                  QStringLiteral(" and/or ") + s.field(MonitorState::CallIDNumber) +
                  QStringLiteral("]"));
    const ContactsFolder::Found found = m_book.findContact(StringToParse, s.AreaCode);
    if (!found.item)
        return fail();
    m_book.display(found.item, m_askedByUser);
    CurrentItem = found.item;
    lastFound = found.item;
    s.appendEvent(QStringLiteral("[Found it! Now displaying contact information]"));
    if (found.others > 0)
        s.appendEvent(QStringLiteral("[%1 other contact%2 match%3 as well; the first is shown]")
                          .arg(found.others)
                          .arg(found.others == 1 ? "" : "s")
                          .arg(found.others == 1 ? "es" : ""));
    const QString first = found.item->property(QStringLiteral("FirstName"));
    const QString last = found.item->property(QStringLiteral("LastName"));
    if (!first.isEmpty())
        s.CallerFirstName = first;
    if (!last.isEmpty())
        s.CallerLastName = last;
    // The company always follows the contact found, also when it has none: a journal entry
    // must never carry the company of an earlier caller.
    s.CallerCompany = found.item->property(QStringLiteral("CompanyName"));
    s.ContactFound = 1;
}

void OutlookLink::CreateContact(const QString& ForWhat)
{
    MonitorState& s = m_state;
    CurrentItem = m_book.newContact();
    const QString name = s.field(MonitorState::CallIDName);
    const QString number = s.field(MonitorState::CallIDNumber);
    bool save = false;
    if (ForWhat == QLatin1String("Name")) {
        // The names are split from the name field as it stands now: after a search by number
        // they would otherwise still be those of an earlier caller.
        const PhoneNumber::Names names = PhoneNumber::GetFirstLastName(name);
        s.CallerLastName = names.last;
        s.CallerFirstName = names.first;
        if (!s.CallerLastName.isEmpty() || !s.CallerFirstName.isEmpty() || !number.isEmpty()) {
            CurrentItem->setProperty(QStringLiteral("LastName"), s.CallerLastName);
            CurrentItem->setProperty(QStringLiteral("FirstName"), s.CallerFirstName);
            CurrentItem->setProperty(QStringLiteral("BusinessTelephoneNumber"), number);
            save = true;
        }
    } else if (ForWhat == QLatin1String("Company")) {
        if (!name.isEmpty() || !number.isEmpty()) {
            CurrentItem->setProperty(QStringLiteral("CompanyName"), name);
            CurrentItem->setProperty(QStringLiteral("BusinessTelephoneNumber"), number);
            save = true;
        }
    }
    QString error;
    if (save && !CurrentItem->Save(&error))
        s.appendEvent(QStringLiteral("[Couldn't save the contact: %1]").arg(error));
    m_book.display(CurrentItem, m_askedByUser);
}

void OutlookLink::createForUser(const QString& what, const QString& ForWhat)
{
    const QScopedValueRollback byUser(m_askedByUser, true);
    if (what == QLatin1String("Contact"))
        CreateContact(ForWhat);
    else
        CreateJournal(ForWhat);
}

void OutlookLink::CreateJournal(const QString& ForWhat)
{
    MonitorState& s = m_state;
    CurrentItem = m_book.newJournal();
    if (ForWhat == QLatin1String("Name")) {
        CurrentItem->setProperty(QStringLiteral("ContactNames"),
                                 s.CallerFirstName + u' ' + s.CallerLastName);
        CurrentItem->setProperty(QStringLiteral("Subject"),
                                 s.field(MonitorState::CallIDName) +
                                     QStringLiteral(" logged by Ringwatch"));
        CurrentItem->setProperty(QStringLiteral("Type"), QStringLiteral("Phone Call"));
        CurrentItem->setProperty(QStringLiteral("Companies"), s.CallerCompany);
    }
    m_book.display(CurrentItem, m_askedByUser);
}

bool OutlookLink::SearchByNumber()
{
    const QScopedValueRollback byUser(m_askedByUser, true);
    MonitorState& s = m_state;
    static const QRegularExpression bareDigits(QStringLiteral("^([0-9]{7}|[0-9]{10}|[0-9]{11})$"));
    const QString typed = s.field(MonitorState::CallIDNumber);
    if (bareDigits.match(typed).hasMatch())
        s.setField(MonitorState::CallIDNumber, PhoneNumber::FormatPhoneNumber(typed, s.AreaCode));
    const QString number = s.field(MonitorState::CallIDNumber);
    SearchInContact(ContactFilters::numberOnly(PhoneNumber::SearchNumberWithPrefix(number)));
    if (s.ContactFound == 0)
        SearchInContact(QStringLiteral("[BusinessTelephoneNumber]=") +
                        ContactFilters::quoted(PhoneNumber::SearchNumberWithoutPrefix(number)));
    m_offer = number;
    return s.ContactFound != 0;
}

bool OutlookLink::SearchByName()
{
    const QScopedValueRollback byUser(m_askedByUser, true);
    MonitorState& s = m_state;
    const QString name = s.field(MonitorState::CallIDName);
    if (s.field(MonitorState::NameLabel) != QLatin1String("Name")) {
        SearchInContact(QStringLiteral("[CompanyName] = ") + ContactFilters::quoted(name));
    } else {
        const PhoneNumber::Names names = PhoneNumber::GetFirstLastName(name);
        s.CallerLastName = names.last;
        s.CallerFirstName = names.first;
        // First as typed by a person (JOHN SMITH), then in the caller-ID order (SMITH JOHN).
        SearchInContact(ContactFilters::nameOnly(s.CallerFirstName, s.CallerLastName));
        if (s.ContactFound == 0)
            SearchInContact(ContactFilters::nameOnly(s.CallerLastName, s.CallerFirstName));
    }
    m_offer = name;
    return s.ContactFound != 0;
}
