#include "ContactItem.h"

#include "AddressBookPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

ContactItem::ContactItem(const QString& folder) : m_folder(folder)
{
    m_card.setUid(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

ContactItem::ContactItem(const QString& file, int index, VCard card)
    : m_folder(QFileInfo(file).absolutePath()), m_file(file), m_index(index),
      m_card(std::move(card))
{
}

QString ContactItem::property(const QString& name) const
{
    if (name == QLatin1String("FirstName"))
        return m_card.firstName();
    if (name == QLatin1String("LastName"))
        return m_card.lastName();
    if (name == QLatin1String("CompanyName"))
        return m_card.company();
    if (name == QLatin1String("BusinessTelephoneNumber"))
        return m_card.businessPhone();
    return QString();
}

bool ContactItem::setProperty(const QString& name, const QString& value)
{
    if (name == QLatin1String("FirstName"))
        m_card.setNames(m_card.lastName(), value);
    else if (name == QLatin1String("LastName"))
        m_card.setNames(value, m_card.firstName());
    else if (name == QLatin1String("CompanyName"))
        m_card.setCompany(value);
    else if (name == QLatin1String("BusinessTelephoneNumber"))
        m_card.setBusinessPhone(value);
    else
        return false;
    return true;
}

bool ContactItem::Save(QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_card.lastName().isEmpty() && m_card.firstName().isEmpty())
        m_card.setNames(QString(), QString()); // N and FN are required in a 3.0 card
    if (m_file.isEmpty()) {
        if (!AddressBookPaths::ensureFolder(m_folder))
            return fail(QStringLiteral("cannot create the folder %1").arg(m_folder));
        m_file = m_folder + u'/' + m_card.uid() + QStringLiteral(".vcf");
    }
    // A file of several cards (an export) keeps the others as they were read.
    QList<VCard> cards;
    QFile existing(m_file);
    if (existing.open(QIODevice::ReadOnly))
        cards = VCard::parse(existing.readAll());
    existing.close();
    if (m_index < cards.size())
        cards[m_index] = m_card;
    else
        cards = {m_card};
    QByteArray content;
    for (const VCard& card : std::as_const(cards))
        content += card.toVCard30();

    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (!QFileInfo::exists(m_file))
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(content);
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
