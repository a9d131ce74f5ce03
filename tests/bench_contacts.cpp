// The address book's index over 50,000 contacts, searched by number as call processing does.
// Prints, for the first start ever and for a later one (index kept between runs), what start-up
// pays and when the first search is done; then later searches, and one right after a card
// changed on disk.
// Run by hand, not by the test suite: bench_contacts [cards]
#include "addressbook/ContactsFolder.h"
#include "common/AddressBookPaths.h"
#include "common/AppPaths.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {

QByteArray cardFor(int i)
{
    const QString number =
        QStringLiteral("(613) %1-%2").arg(200 + i / 10000).arg(i % 10000, 4, 10, QLatin1Char('0'));
    return QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:%1\r\nFN:Person %1\r\n"
                          "N:Person;Number %1;;;\r\nORG:Company %1\r\n"
                          "EMAIL;TYPE=INTERNET:person%1@example.com\r\n"
                          "TEL;TYPE=CELL:+1 819 555 %2\r\nTEL;TYPE=WORK:%3\r\nEND:VCARD\r\n")
        .arg(i)
        .arg(i % 10000, 4, 10, QLatin1Char('0'))
        .arg(number)
        .toUtf8();
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 50000;
    QTemporaryDir dir;
    qputenv("XDG_CACHE_HOME", (dir.path() + "/cache").toUtf8());
    const QString folder = dir.path() + QStringLiteral("/contacts");
    AddressBookPaths::ensureFolder(folder);
    for (int i = 0; i < count; ++i) {
        QFile file(folder + QStringLiteral("/%1.vcf").arg(i, 6, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(cardFor(i));
    }
    const int last = count - 1;
    const ContactQuery filter =
        ContactQuery::numberAlone(QStringLiteral("+1 (613) %1-%2")
                                      .arg(200 + last / 10000)
                                      .arg(last % 10000, 4, 10, QLatin1Char('0')));

    QElapsedTimer clock;
    {
        // The first start ever: nothing kept, the whole folder is read.
        ContactsFolder first;
        first.setPath(folder);
        clock.start();
        first.warmUp();
        const ContactsFolder::Found found = first.find(filter, QStringLiteral("613"));
        std::printf("first start ever: index read, first search done %.0f ms after start (%s)\n",
                    ms(clock.nsecsElapsed()), found.item ? "found" : "NOT FOUND");
    }
    // Every later start: the index kept between runs.
    ContactsFolder contacts;
    contacts.setPath(folder);
    clock.restart();
    contacts.warmUp();
    std::printf("%d cards; start-up pays %.2f ms to start the index\n", count,
                ms(clock.nsecsElapsed()));
    ContactsFolder::Found found = contacts.find(filter, QStringLiteral("613"));
    std::printf("later start: first search done %.1f ms after start (%s)\n",
                ms(clock.nsecsElapsed()), found.item ? "found" : "NOT FOUND");

    QList<double> later;
    for (int i = 0; i < 100; ++i) {
        clock.restart();
        found = contacts.find(filter, QStringLiteral("613"));
        later << ms(clock.nsecsElapsed());
    }
    std::sort(later.begin(), later.end());
    std::printf("later searches: median %.3f ms, max %.3f ms\n", later.at(50), later.last());

    // Another program rewrites one card: the next search reads that file alone.
    QThread::msleep(10);
    QFile changed(folder + QStringLiteral("/000000.vcf"));
    if (changed.open(QIODevice::WriteOnly))
        changed.write(cardFor(0).replace("Person 0", "Someone 0"));
    changed.close();
    clock.restart();
    found = contacts.find(filter, QStringLiteral("613"));
    std::printf("search after a card changed on disk: %.2f ms\n", ms(clock.nsecsElapsed()));
    return 0;
}
