#include "addressbook/JournalItem.h"

#include "addressbook/AddressBookPaths.h"
#include "common/SafeFile.h"

#include <QUuid>
#include <libical/ical.h>

namespace {

bool isJournalField(AddressBookItem::Field which)
{
    using F = AddressBookItem::Field;
    return which == F::Subject || which == F::Type || which == F::Contacts ||
           which == F::Companies || which == F::Notes;
}

const char* const companiesProperty = "X-RINGWATCH-COMPANIES";

icaltimetype utc(const QDateTime& moment)
{
    return icaltime_from_timet_with_zone(moment.toSecsSinceEpoch(), 0,
                                         icaltimezone_get_utc_timezone());
}

QString text(const char* value)
{
    return value ? QString::fromUtf8(value) : QString();
}

template <typename Getter>
QString get(icalcomponent* journal, icalproperty_kind kind, Getter getter)
{
    icalproperty* p = icalcomponent_get_first_property(journal, kind);
    return p ? text(getter(p)) : QString();
}

} // namespace

JournalItem::JournalItem(const QString& folder)
    : m_folder(folder), m_uid(QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_start(QDateTime::currentDateTimeUtc())
{
    // iCalendar times carry whole seconds.
    m_start = QDateTime::fromSecsSinceEpoch(m_start.toSecsSinceEpoch(), Qt::UTC);
}

QString JournalItem::field(Field which) const
{
    return m_fields.value(which);
}

bool JournalItem::setField(Field which, const QString& value)
{
    if (!isJournalField(which))
        return false;
    m_fields[which] = value;
    return true;
}

QByteArray JournalItem::toICalendar() const
{
    icalcomponent* calendar =
        icalcomponent_vanew(ICAL_VCALENDAR_COMPONENT, icalproperty_new_version("2.0"),
                            icalproperty_new_prodid("-//Ringwatch//ringdesk//EN"), nullptr);
    icalcomponent* journal = icalcomponent_new(ICAL_VJOURNAL_COMPONENT);
    icalcomponent_add_property(journal, icalproperty_new_uid(m_uid.toUtf8().constData()));
    icalcomponent_add_property(journal,
                               icalproperty_new_dtstamp(utc(QDateTime::currentDateTimeUtc())));
    icalcomponent_add_property(journal, icalproperty_new_dtstart(utc(m_start)));
    auto add = [journal](icalproperty* p) {
        icalcomponent_add_property(journal, p);
    };
    const QByteArray subject = field(Field::Subject).toUtf8();
    const QByteArray type = field(Field::Type).toUtf8();
    const QByteArray contacts = field(Field::Contacts).toUtf8();
    const QByteArray companies = field(Field::Companies).toUtf8();
    const QByteArray body = field(Field::Notes).toUtf8();
    add(icalproperty_new_summary(subject.constData()));
    if (!type.isEmpty())
        add(icalproperty_new_categories(type.constData()));
    if (!contacts.isEmpty())
        add(icalproperty_new_contact(contacts.constData()));
    if (!companies.isEmpty()) {
        icalproperty* p = icalproperty_new_x(companies.constData());
        icalproperty_set_x_name(p, companiesProperty);
        add(p);
    }
    if (!body.isEmpty())
        add(icalproperty_new_description(body.constData()));
    icalcomponent_add_component(calendar, journal);
    char* raw = icalcomponent_as_ical_string_r(calendar);
    const QByteArray out(raw);
    free(raw);
    icalcomponent_free(calendar);
    return out;
}

std::shared_ptr<JournalItem> JournalItem::fromICalendar(const QByteArray& data,
                                                        const QString& folder)
{
    icalcomponent* root = icalparser_parse_string(data.constData());
    if (!root)
        return nullptr;
    icalcomponent* journal = icalcomponent_isa(root) == ICAL_VJOURNAL_COMPONENT
                                 ? root
                                 : icalcomponent_get_first_component(root, ICAL_VJOURNAL_COMPONENT);
    std::shared_ptr<JournalItem> item;
    if (journal) {
        item = std::make_shared<JournalItem>(folder);
        item->m_uid = get(journal, ICAL_UID_PROPERTY, icalproperty_get_uid);
        const icaltimetype start = icalcomponent_get_dtstart(journal);
        if (!icaltime_is_null_time(start))
            item->m_start = QDateTime::fromSecsSinceEpoch(icaltime_as_timet(start), Qt::UTC);
        item->m_fields[Field::Subject] =
            get(journal, ICAL_SUMMARY_PROPERTY, icalproperty_get_summary);
        item->m_fields[Field::Type] =
            get(journal, ICAL_CATEGORIES_PROPERTY, icalproperty_get_categories);
        item->m_fields[Field::Contacts] =
            get(journal, ICAL_CONTACT_PROPERTY, icalproperty_get_contact);
        item->m_fields[Field::Notes] =
            get(journal, ICAL_DESCRIPTION_PROPERTY, icalproperty_get_description);
        for (icalproperty* p = icalcomponent_get_first_property(journal, ICAL_X_PROPERTY); p;
             p = icalcomponent_get_next_property(journal, ICAL_X_PROPERTY)) {
            if (qstrcmp(icalproperty_get_x_name(p), companiesProperty) == 0)
                item->m_fields[Field::Companies] = text(icalproperty_get_x(p));
        }
    }
    icalcomponent_free(root);
    return item;
}

bool JournalItem::save(QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_file.isEmpty()) {
        if (!AddressBookPaths::ensureFolder(m_folder))
            return fail(QStringLiteral("cannot create the folder %1").arg(m_folder));
        m_file = m_folder + u'/' + m_uid + QStringLiteral(".ics");
    }
    QString reason;
    return SafeFile::writeAtomically(m_file, toICalendar(), &reason) || fail(reason);
}
