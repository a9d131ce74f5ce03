// A search by number over 5,000 contacts, the way call processing searches; prints the time of
// the first search (every file read) and of later ones. Run by hand, not by the test suite.
#include "AddressBookPaths.h"
#include "ContactsFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/contacts");
    AddressBookPaths::ensureFolder(folder);
    for (int i = 0; i < 5000; ++i) {
        QFile file(folder + QStringLiteral("/%1.vcf").arg(i, 5, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:%1\r\nFN:Person %1\r\n"
                                  "N:Person;Number %1;;;\r\nORG:Company %1\r\n"
                                  "EMAIL;TYPE=INTERNET:person%1@example.com\r\n"
                                  "TEL;TYPE=CELL:+1 819 555 %2\r\nTEL;TYPE=WORK:(613) 555-%2\r\n"
                                  "END:VCARD\r\n")
                       .arg(i)
                       .arg(i, 4, 10, QLatin1Char('0'))
                       .toUtf8());
    }
    const ContactsFolder contacts(folder);
    // The last contact, and one that is not there: both look at every card.
    for (const char* filter : {R"([BusinessTelephoneNumber] = "(613) 555-4999")",
                               R"([BusinessTelephoneNumber] = "+1 (613) 555-4999")",
                               R"([BusinessTelephoneNumber] = "(613) 555-4999")"}) {
        QElapsedTimer clock;
        clock.start();
        const ContactsFolder::Found found = contacts.Items().Find(QString::fromLatin1(filter));
        std::printf("%-50s %s in %lld ms\n", filter, found.item ? "found" : "not found",
                    static_cast<long long>(clock.elapsed()));
    }
    return 0;
}
