#include "ContactsFolder.h"

#include "ContactFilter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

const QList<VCard>& ContactsFolder::cardsOf(const QString& file)
{
    static QHash<QString, Cached> cache;
    const QFileInfo info(file);
    Cached& entry = cache[file];
    if (entry.size != info.size() || entry.modified != info.lastModified()) {
        QFile in(file);
        entry.cards = in.open(QIODevice::ReadOnly) ? VCard::parse(in.readAll()) : QList<VCard>();
        entry.size = info.size();
        entry.modified = info.lastModified();
    }
    return entry.cards;
}

ContactsFolder::Found ContactsFolder::ContactItems::Find(const QString& filterText) const
{
    Found found;
    const std::optional<ContactFilter> filter = ContactFilter::parse(filterText);
    if (!filter) {
        found.error = QStringLiteral("the filter cannot be read");
        return found;
    }
    const QDir folder(m_folder.path());
    if (!folder.exists()) {
        found.error = QStringLiteral("there is no contacts folder %1").arg(m_folder.path());
        return found;
    }
    const QStringList files = folder.entryList({QStringLiteral("*.vcf"), QStringLiteral("*.VCF")},
                                               QDir::Files, QDir::Name);
    for (const QString& name : files) {
        const QString file = folder.filePath(name);
        const QList<VCard>& cards = cardsOf(file);
        for (int i = 0; i < cards.size(); ++i) {
            if (filter->matches(cards.at(i))) {
                found.item = std::make_shared<ContactItem>(file, i, cards.at(i));
                return found;
            }
        }
    }
    return found;
}
