#include "addressbook/AddressBook.h"

#include "addressbook/AddressBookPaths.h"
#include "addressbook/DesktopContacts.h"
#include "addressbook/JournalItem.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

namespace {

const QString registryService = QStringLiteral("org.gnome.evolution.dataserver.Sources5");

// Whether the desktop's address-book service runs, or would be started when asked.
bool desktopServiceAnswers()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(registryService))
        return true;
    const QDBusReply<QStringList> activatable =
        bus.interface()->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(registryService);
}

} // namespace

bool AddressBook::usable(QString* problem)
{
    const QString folder = AddressBookPaths::contactsFolder();
    const QFileInfo info(folder);
    if (AddressBookPaths::ensureFolder(folder) && info.isDir() && info.isReadable() &&
        info.isWritable())
        return true;
    if (problem)
        *problem =
            QStringLiteral("the contacts folder %1 cannot be made, read and written").arg(folder);
    return false;
}

bool AddressBook::openContacts(QString* problem)
{
    const QString path = AddressBookPaths::contactsFolder();
    if (!AddressBookPaths::ensureFolder(path)) {
        if (problem)
            *problem = QStringLiteral("cannot create the folder %1").arg(path);
        return false;
    }
    m_contacts.setPath(path, m_country);
    return true;
}

void AddressBook::warmUp()
{
    if (m_desktop)
        return;
    QString problem;
    if (openContacts(&problem))
        m_contacts.warmUp();
}

ContactsFolder::Found AddressBook::findContact(const ContactQuery& query, const NumberPlan& plan)
{
    if (m_desktop)
        return m_desktop->find(query, plan);
    ContactsFolder::Found found;
    m_country = plan.country();
    if (!openContacts(&found.error))
        return found;
    return m_contacts.find(query, plan);
}

std::shared_ptr<AddressBookItem> AddressBook::newContact() const
{
    if (m_desktop)
        return m_desktop->newContact(Settings::ContactsAddressBook.read().trimmed());
    return std::make_shared<ContactItem>(AddressBookPaths::contactsFolder());
}

std::shared_ptr<AddressBookItem> AddressBook::newJournal() const
{
    if (m_desktop)
        return m_desktop->newJournal();
    return std::make_shared<JournalItem>(AddressBookPaths::journalFolder());
}

DesktopContacts* AddressBook::loadDesktop(QString* problem)
{
    static DesktopContacts* loaded = nullptr;
    static QString why;
    if (loaded || !why.isEmpty()) {
        *problem = why;
        return loaded;
    }
    // Beside the program in the build tree, where the package puts it once installed.
    const QString name = QStringLiteral("ringdesk-desktop-contacts");
    for (const QString& folder :
         {QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/ringdesk"),
          QStringLiteral(RINGDESK_PLUGIN_DIR)}) {
        QPluginLoader loader(QDir(folder).filePath(name));
        if (!QFileInfo::exists(loader.fileName()))
            continue;
        if (auto* part = qobject_cast<DesktopContacts*>(loader.instance()))
            return loaded = part;
        why =
            QStringLiteral("%1 cannot be loaded (%2)").arg(loader.fileName(), loader.errorString());
        *problem = why;
        return nullptr;
    }
    why = QStringLiteral("the package ringdesk-desktop-contacts is not installed");
    *problem = why;
    return nullptr;
}

QString AddressBook::chooseSource()
{
    const QString asked = Settings::ContactsSource.choice();
    const QString folder = AddressBookPaths::contactsFolder();
    m_desktop = nullptr;
    if (asked == u"folder") {
        const bool empty = QDir(folder).entryList({QStringLiteral("*.vcf")}, QDir::Files).isEmpty();
        if (empty && desktopServiceAnswers())
            return QStringLiteral("[Contacts: the folder %1, which is empty; the desktop's "
                                  "address book answers: set Contacts/Source to desktop or auto "
                                  "(ringdesk-config, Contacts) to use it]")
                .arg(folder);
        return QStringLiteral("[Contacts: the folder %1]").arg(folder);
    }
    QString problem;
    if (asked == u"auto" && !desktopServiceAnswers())
        problem = QStringLiteral("the desktop's address book does not answer");
    DesktopContacts* desktop = problem.isEmpty() ? loadDesktop(&problem) : nullptr;
    if (desktop && desktop->connectBooks(&problem)) {
        m_desktop = desktop;
        return QStringLiteral("[Contacts: the desktop's address books (%1)]")
            .arg(desktop->bookNames().join(QStringLiteral(", ")));
    }
    // Asked for by name, the desktop's books stay the address book: the service may be
    // starting still, and each call asks it again.
    if (desktop && asked == u"desktop") {
        m_desktop = desktop;
        return QStringLiteral("[Contacts: the desktop's address books, which do not answer yet "
                              "(%1); each call asks them again]")
            .arg(problem);
    }
    return QStringLiteral("[Contacts: %1; the folder %2 is used]").arg(problem, folder);
}

void AddressBook::display(const std::shared_ptr<AddressBookItem>& item, bool askedByUser)
{
    if (m_viewer && item)
        m_viewer->show(item, askedByUser);
}
