#include "desktopcontacts/EdsContacts.h"

#include "addressbook/ContactItem.h"
#include "addressbook/JournalItem.h"
#include "addressbook/VCard.h"
#include "numbers/PhoneNumber.h"

#include <QDeadlineTimer>
#include <condition_variable>
#include <libebook/libebook.h>
#include <libecal/libecal.h>
#include <mutex>
#include <thread>

namespace {

// How long a look-up may take before the call goes on without it.
constexpr int lookUpMs = 2000;
// Connecting may start the service first; saving may reach a server.
constexpr int connectMs = 10000;
constexpr int saveMs = 10000;
// A call's look-ups follow one another at once; the next call comes a ring later at the least.
constexpr int restMs = 1000;
// The desktop's service must never hold a call up: every request is cancelled
// once its time is up, from a thread of its own since the request blocks this one.
class Deadline
{
public:
    explicit Deadline(int ms) : m_cancellable(g_cancellable_new())
    {
        m_watch = std::thread([this, ms] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_over; }))
                g_cancellable_cancel(m_cancellable);
        });
    }
    ~Deadline()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_over = true;
        }
        m_done.notify_all();
        m_watch.join();
        g_object_unref(m_cancellable);
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    GCancellable* get() const { return m_cancellable; }
    bool passed() const { return g_cancellable_is_cancelled(m_cancellable); }

private:
    GCancellable* m_cancellable;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_over = false;
    std::thread m_watch;
};

// What went wrong, from a GError it frees.
QString reason(GError* error, const Deadline& deadline, int ms)
{
    QString text =
        deadline.passed()
            ? QStringLiteral("the desktop's address book did not answer within %1 s").arg(ms / 1000)
            : QString::fromUtf8(error ? error->message : "unknown error");
    g_clear_error(&error);
    return text;
}

VCard cardOf(EContact* contact)
{
    gchar* text = e_vcard_to_string(E_VCARD(contact), EVC_FORMAT_VCARD_30);
    const QList<VCard> cards = VCard::parse(QByteArray(text));
    g_free(text);
    return cards.isEmpty() ? VCard() : cards.first();
}

// What tells one version of a contact from another: its revision, which the service keeps to
// the second, and what it holds of what is shown, for two changes within one second.
QString revisionOf(EContact* contact)
{
    const VCard card = cardOf(contact);
    return QStringList{
        QString::fromUtf8(static_cast<const char*>(e_contact_get_const(contact, E_CONTACT_REV))),
        card.fullName(),
        card.lastName(),
        card.firstName(),
        card.company(),
        card.phones().join(u',')}
        .join(u'\n');
}

} // namespace

// The connection to the service, shared by the part and the items it made: dropped when a
// request fails, made again by the next.
struct EdsBooks
{
    struct Book
    {
        EBookClient* client = nullptr;
        QString uid;
        QString name;
    };
    ESourceRegistry* registry = nullptr;
    QList<Book> books;
    ECalClient* memos = nullptr;
    // After a request that took too long, the others of the same call are not asked: the next
    // call asks again.
    QDeadlineTimer resting{0};
    QString tooLong;

    EdsBooks() = default;
    EdsBooks(const EdsBooks&) = delete;
    EdsBooks& operator=(const EdsBooks&) = delete;
    ~EdsBooks() { drop(); }

    void drop()
    {
        for (const Book& book : std::as_const(books))
            g_object_unref(book.client);
        books.clear();
        if (memos)
            g_object_unref(memos);
        memos = nullptr;
        if (registry)
            g_object_unref(registry);
        registry = nullptr;
    }

    // The connection is dropped, and the service left alone for a moment.
    void gaveUp(const QString& why)
    {
        drop();
        tooLong = why;
        resting.setRemainingTime(restMs);
    }

    bool open(int ms, QString* problem)
    {
        if (registry)
            return true;
        if (!resting.hasExpired()) {
            *problem = tooLong;
            return false;
        }
        Deadline deadline(ms);
        GError* error = nullptr;
        registry = e_source_registry_new_sync(deadline.get(), &error);
        if (!registry) {
            *problem = reason(error, deadline, ms);
            if (deadline.passed())
                gaveUp(*problem);
            return false;
        }
        GList* sources = e_source_registry_list_enabled(registry, E_SOURCE_EXTENSION_ADDRESS_BOOK);
        QStringList failed;
        for (GList* at = sources; at; at = at->next) {
            auto* source = E_SOURCE(at->data);
            // (guint32) -1: connected once the service has the book open, not waiting for a
            // remote server to be reached.
            EClient* client =
                e_book_client_connect_sync(source, guint32(-1), deadline.get(), &error);
            const QString name = QString::fromUtf8(e_source_get_display_name(source));
            if (!client) {
                failed << name + QStringLiteral(": ") + reason(error, deadline, ms);
                continue;
            }
            books.append(
                {E_BOOK_CLIENT(client), QString::fromUtf8(e_source_get_uid(source)), name});
        }
        g_list_free_full(sources, g_object_unref);
        if (books.isEmpty()) {
            *problem = failed.isEmpty() ? QStringLiteral("the desktop has no address book")
                                        : failed.join(QStringLiteral("; "));
            if (deadline.passed())
                gaveUp(*problem);
            else
                drop();
            return false;
        }
        return true;
    }

    EBookClient* client(const QString& uid) const
    {
        for (const Book& book : books)
            if (book.uid == uid)
                return book.client;
        return nullptr;
    }

    ECalClient* memoList(const Deadline& deadline, int ms, QString* problem)
    {
        if (memos || !open(ms, problem))
            return memos;
        ESource* source = e_source_registry_ref_default_memo_list(registry);
        if (!source) {
            *problem = QStringLiteral("the desktop has no memo list");
            return nullptr;
        }
        GError* error = nullptr;
        EClient* client = e_cal_client_connect_sync(source, E_CAL_CLIENT_SOURCE_TYPE_MEMOS,
                                                    guint32(-1), deadline.get(), &error);
        g_object_unref(source);
        if (!client) {
            *problem = reason(error, deadline, ms);
            return nullptr;
        }
        return memos = E_CAL_CLIENT(client);
    }
};

namespace {

// A contact of one of the desktop's address books, as a vCard: its fields read and written as
// the contacts folder's are. Saved only when its revision is the one read, unless the user
// chose to overwrite (reload() first).
class EdsContactItem : public AddressBookItem
{
public:
    EdsContactItem(std::shared_ptr<EdsBooks> books, QString bookUid, QString bookName, VCard card,
                   QString uid, QString revision)
        : m_books(std::move(books)), m_bookUid(std::move(bookUid)), m_bookName(std::move(bookName)),
          m_card(std::move(card)), m_uid(std::move(uid)), m_revision(std::move(revision))
    {
    }

    Kind kind() const override { return Contact; }
    QString field(Field which) const override { return ContactItem::fieldOf(m_card, which); }
    bool setField(Field which, const QString& value) override
    {
        return ContactItem::setFieldOf(m_card, which, value);
    }
    QString fileName() const override
    {
        return m_uid.isEmpty() ? QString() : m_bookName + QStringLiteral(": ") + m_uid;
    }
    QString uid() const override { return m_uid; }
    QString key() const override
    {
        return m_uid.isEmpty() ? QString() : QStringLiteral("desktop:") + m_bookUid + u'/' + m_uid;
    }

    bool changedElsewhere() const override
    {
        if (m_uid.isEmpty())
            return false;
        EContact* now = fetch(nullptr);
        const bool changed = !now || revisionOf(now) != m_revision;
        if (now)
            g_object_unref(now);
        return changed;
    }

    bool reload() override
    {
        EContact* now = m_uid.isEmpty() ? nullptr : fetch(nullptr);
        if (!now)
            return false;
        take(now);
        return true;
    }

    bool save(QString* error) override
    {
        auto fail = [error](const QString& why) {
            if (error)
                *error = why;
            return false;
        };
        QString problem;
        if (!m_books->open(connectMs, &problem))
            return fail(problem);
        EBookClient* client = m_books->client(m_bookUid);
        if (!client)
            return fail(QStringLiteral("the address book %1 is no longer there").arg(m_bookName));
        const bool fresh = m_uid.isEmpty();
        if (fresh) {
            // N and FN are required; a caller known only by number is listed by it.
            m_card.ensureName();
            if (m_card.fullName().isEmpty())
                m_card.setFullName(m_card.businessPhone());
        }
        EContact* contact = e_contact_new_from_vcard(m_card.serialize().constData());
        Deadline deadline(saveMs);
        GError* failure = nullptr;
        bool saved = false;
        if (fresh) {
            gchar* added = nullptr;
            saved = e_book_client_add_contact_sync(client, contact, E_BOOK_OPERATION_FLAG_NONE,
                                                   &added, deadline.get(), &failure);
            m_uid = QString::fromUtf8(added);
            g_free(added);
        } else {
            e_contact_set(contact, E_CONTACT_UID, m_uid.toUtf8().constData());
            saved = e_book_client_modify_contact_sync(client, contact, E_BOOK_OPERATION_FLAG_NONE,
                                                      deadline.get(), &failure);
        }
        g_object_unref(contact);
        if (!saved) {
            const QString why = reason(failure, deadline, saveMs);
            if (deadline.passed())
                m_books->gaveUp(why);
            return fail(why);
        }
        // As the address book keeps it now, with its new revision.
        if (EContact* now = fetch(&problem))
            take(now);
        return true;
    }

private:
    EContact* fetch(QString* problem) const
    {
        QString why;
        if (!m_books->open(connectMs, &why))
            return nullptr;
        EBookClient* client = m_books->client(m_bookUid);
        if (!client)
            return nullptr;
        Deadline deadline(lookUpMs);
        GError* error = nullptr;
        EContact* contact = nullptr;
        if (!e_book_client_get_contact_sync(client, m_uid.toUtf8().constData(), &contact,
                                            deadline.get(), &error)) {
            why = reason(error, deadline, lookUpMs);
            if (deadline.passed())
                m_books->gaveUp(why);
            if (problem)
                *problem = why;
            return nullptr;
        }
        return contact;
    }

    void take(EContact* contact)
    {
        m_card = cardOf(contact);
        m_revision = revisionOf(contact);
        g_object_unref(contact);
    }

    std::shared_ptr<EdsBooks> m_books;
    QString m_bookUid;
    QString m_bookName;
    VCard m_card;
    QString m_uid;
    QString m_revision;
};

// A journal entry kept as a memo (VJOURNAL) in the desktop's default memo list.
class EdsJournalItem : public JournalItem
{
public:
    explicit EdsJournalItem(std::shared_ptr<EdsBooks> books)
        : JournalItem(QString()), m_books(std::move(books))
    {
    }

    QString fileName() const override
    {
        return m_memo.isEmpty() ? QString() : QStringLiteral("memo ") + m_memo;
    }

    bool save(QString* error) override
    {
        auto fail = [error](const QString& why) {
            if (error)
                *error = why;
            return false;
        };
        Deadline deadline(saveMs);
        QString problem;
        ECalClient* memos = m_books->memoList(deadline, saveMs, &problem);
        if (!memos)
            return fail(problem);
        ICalComponent* calendar = i_cal_component_new_from_string(toICalendar().constData());
        ICalComponent* journal =
            calendar ? i_cal_component_get_first_component(calendar, I_CAL_VJOURNAL_COMPONENT)
                     : nullptr;
        if (!journal) {
            if (calendar)
                g_object_unref(calendar);
            return fail(QStringLiteral("the entry is no iCalendar journal"));
        }
        GError* failure = nullptr;
        bool saved = false;
        if (m_memo.isEmpty()) {
            gchar* made = nullptr;
            saved = e_cal_client_create_object_sync(memos, journal, E_CAL_OPERATION_FLAG_NONE,
                                                    &made, deadline.get(), &failure);
            m_memo = QString::fromUtf8(made);
            g_free(made);
        } else {
            saved = e_cal_client_modify_object_sync(memos, journal, E_CAL_OBJ_MOD_ALL,
                                                    E_CAL_OPERATION_FLAG_NONE, deadline.get(),
                                                    &failure);
        }
        g_object_unref(journal);
        g_object_unref(calendar);
        if (!saved) {
            const QString why = reason(failure, deadline, saveMs);
            if (deadline.passed())
                m_books->gaveUp(why);
            return fail(why);
        }
        return true;
    }

private:
    std::shared_ptr<EdsBooks> m_books;
    QString m_memo;
};

// The query the service answers from its index; what it finds is then matched as the contacts
// folder matches, so both kinds of address book find the same contacts.
QByteArray queryFor(const ContactQuery& query)
{
    QList<EBookQuery*> terms;
    auto is = [&terms](EContactField field, const std::optional<QString>& value) {
        if (value && !value->trimmed().isEmpty())
            terms << e_book_query_field_test(field, E_BOOK_QUERY_IS, value->toUtf8().constData());
    };
    is(E_CONTACT_FAMILY_NAME, query.lastName);
    is(E_CONTACT_GIVEN_NAME, query.firstName);
    is(E_CONTACT_ORG, query.company);
    if (query.number) {
        // The numbers that end as the caller's does: the service keeps an index of their ends
        // whatever the desktop's language (its own national-number match scans every card where
        // the language names no country: 2.3 s for 50,000 of them). What it finds is matched as
        // the folder matches, country, area code and all.
        const QString digits = PhoneNumber::digits(*query.number);
        if (digits.size() < 4)
            return QByteArray();
        terms << e_book_query_field_test(E_CONTACT_TEL, E_BOOK_QUERY_ENDS_WITH,
                                         digits.right(4).toUtf8().constData());
    }
    if (terms.isEmpty())
        return QByteArray();
    EBookQuery* all = e_book_query_and(int(terms.size()), terms.data(), TRUE);
    gchar* text = e_book_query_to_string(all);
    e_book_query_unref(all);
    const QByteArray sexp(text);
    g_free(text);
    return sexp;
}

} // namespace

EdsContacts::EdsContacts() : m_books(std::make_shared<EdsBooks>()) {}

EdsContacts::~EdsContacts() = default;

bool EdsContacts::connectBooks(QString* problem)
{
    return m_books->open(connectMs, problem);
}

QStringList EdsContacts::bookNames() const
{
    QStringList names;
    for (const EdsBooks::Book& book : std::as_const(m_books->books))
        names << book.name;
    return names;
}

ContactsFolder::Found EdsContacts::find(const ContactQuery& query, const NumberPlan& plan)
{
    ContactsFolder::Found found;
    const QByteArray sexp = queryFor(query);
    if (sexp.isEmpty())
        return found;
    if (!m_books->open(lookUpMs, &found.error))
        return found;
    Deadline deadline(lookUpMs);
    for (const EdsBooks::Book& book : std::as_const(m_books->books)) {
        GSList* contacts = nullptr;
        GError* error = nullptr;
        if (!e_book_client_get_contacts_sync(book.client, sexp.constData(), &contacts,
                                             deadline.get(), &error)) {
            found.error = book.name + QStringLiteral(": ") + reason(error, deadline, lookUpMs);
            if (deadline.passed()) {
                // Whatever the service is doing, the next call asks it afresh.
                m_books->gaveUp(found.error);
                return ContactsFolder::Found{nullptr, 0, found.error};
            }
            continue;
        }
        for (GSList* at = contacts; at; at = at->next) {
            auto* contact = E_CONTACT(at->data);
            VCard card = cardOf(contact);
            if (!query.matches(card, plan))
                continue;
            if (found.item) {
                ++found.others;
                continue;
            }
            found.item =
                std::make_shared<EdsContactItem>(m_books, book.uid, book.name, std::move(card),
                                                 QString::fromUtf8(static_cast<const char*>(
                                                     e_contact_get_const(contact, E_CONTACT_UID))),
                                                 revisionOf(contact));
        }
        g_slist_free_full(contacts, g_object_unref);
    }
    if (found.item)
        found.error.clear(); // another book's trouble does not hide a contact found
    return found;
}

std::shared_ptr<AddressBookItem> EdsContacts::newContact(const QString& bookName)
{
    QString problem;
    QString uid;
    QString name;
    if (m_books->open(connectMs, &problem)) {
        for (const EdsBooks::Book& book : std::as_const(m_books->books))
            if (!bookName.isEmpty() && book.name.compare(bookName, Qt::CaseInsensitive) == 0)
                uid = book.uid, name = book.name;
        if (uid.isEmpty()) {
            if (ESource* source = e_source_registry_ref_default_address_book(m_books->registry)) {
                uid = QString::fromUtf8(e_source_get_uid(source));
                name = QString::fromUtf8(e_source_get_display_name(source));
                g_object_unref(source);
            }
        }
    }
    VCard card;
    card.version = QStringLiteral("3.0");
    return std::make_shared<EdsContactItem>(m_books, uid, name, card, QString(), QString());
}

std::shared_ptr<AddressBookItem> EdsContacts::newJournal()
{
    return std::make_shared<EdsJournalItem>(m_books);
}
