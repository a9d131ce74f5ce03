#include "addressbook/ContactItem.h"

#include "addressbook/AddressBookPaths.h"
#include "common/CleanText.h"
#include "common/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace {

const QString productId = QStringLiteral("-//Ringwatch//ringdesk//EN");

QByteArray cardBytes(const QByteArray& content, const VCard& card)
{
    return content.mid(card.rawBegin, card.rawEnd - card.rawBegin);
}

} // namespace

ContactItem::ContactItem(const QString& folder) : m_folder(folder)
{
    m_card.setUid(QUuid::createUuid().toString(QUuid::WithoutBraces));
    m_card.setProductId(productId);
}

ContactItem::ContactItem(const QString& file, VCard card)
    : m_folder(QFileInfo(file).absolutePath()), m_file(file), m_card(std::move(card))
{
    m_stamp = FileStamp::of(m_file);
    // Unchanged, a card writes back as the bytes it was read from; a 2.1 card does not, and its
    // bytes are taken from the file.
    if (m_card.version != QLatin1String("2.1")) {
        m_readAs = m_card.serialize();
        return;
    }
    QFile in(m_file);
    if (in.open(QIODevice::ReadOnly))
        m_readAs = cardBytes(in.readAll(), m_card);
}

QString ContactItem::key() const
{
    return m_file.isEmpty() ? QString() : m_file + u'#' + m_card.uid();
}

QString ContactItem::field(Field which) const
{
    return fieldOf(m_card, which);
}

QString ContactItem::fieldOf(const VCard& card, Field which)
{
    // Another program may have written anything into the card.
    switch (which) {
    case Field::FirstName:
        return CleanText::field(card.firstName());
    case Field::LastName:
        return CleanText::field(card.lastName());
    case Field::Company:
        return CleanText::field(card.company());
    case Field::WorkPhone:
        return CleanText::field(card.businessPhone());
    default:
        return QString();
    }
}

bool ContactItem::setField(Field which, const QString& value)
{
    return setFieldOf(m_card, which, value);
}

bool ContactItem::setFieldOf(VCard& card, Field which, const QString& value)
{
    switch (which) {
    case Field::FirstName:
        card.setNames(card.lastName(), value);
        return true;
    case Field::LastName:
        card.setNames(value, card.firstName());
        return true;
    case Field::Company:
        card.setCompany(value);
        return true;
    case Field::WorkPhone:
        card.setBusinessPhone(value);
        return true;
    default:
        return false;
    }
}

bool ContactItem::changedElsewhere() const
{
    return !m_file.isEmpty() && !(FileStamp::of(m_file) == m_stamp);
}

int ContactItem::placeIn(const QByteArray& content, const QList<VCard>& cards) const
{
    // By UID, the card as it was read first where a file holds one UID twice; by content for a
    // card without UID.
    const QString uid = m_card.uid();
    int sameUid = -1;
    int sameBytes = -1;
    for (int i = 0; i < cards.size(); ++i) {
        const bool uidMatches = !uid.isEmpty() && cards.at(i).uid() == uid;
        const bool bytesMatch = !m_readAs.isEmpty() && cardBytes(content, cards.at(i)) == m_readAs;
        if (uidMatches && bytesMatch)
            return i;
        if (uidMatches && sameUid < 0)
            sameUid = i;
        if (bytesMatch && sameBytes < 0)
            sameBytes = i;
    }
    return sameUid >= 0 ? sameUid : sameBytes;
}

bool ContactItem::reload()
{
    QFile in(m_file);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = in.readAll();
    const QList<VCard> cards = VCard::parse(content);
    const int place = placeIn(content, cards);
    if (place < 0)
        return false;
    m_card = cards.at(place);
    m_readAs = cardBytes(content, m_card);
    m_stamp = FileStamp::of(m_file);
    return true;
}

bool ContactItem::save(QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const bool fresh = m_file.isEmpty();
    if (fresh) {
        // N and FN are required; a caller known only by number is listed by it.
        m_card.ensureName();
        if (m_card.fullName().isEmpty())
            m_card.setFullName(m_card.businessPhone());
        if (!AddressBookPaths::ensureFolder(m_folder))
            return fail(QStringLiteral("cannot create the folder %1").arg(m_folder));
        m_file = m_folder + u'/' + m_card.uid() + QStringLiteral(".vcf");
    }
    m_card.setRevision(QDateTime::currentDateTimeUtc());

    QByteArray content;
    QString reason;
    bool missing = true;
    if (!fresh && !SafeFile::read(m_file, &content, &reason, &missing) && !missing)
        return fail(reason);
    const QList<VCard> cards = VCard::parse(content);
    const int place = placeIn(content, cards);
    const QByteArray written = m_card.serialize();
    QByteArray updated;
    if (place < 0) {
        // Gone from the file meanwhile: it is added again after what the file holds now.
        updated = content;
        if (!updated.isEmpty() && !updated.endsWith('\n'))
            updated += "\r\n";
        updated += written;
    } else {
        const VCard& old = cards.at(place);
        updated = content.left(old.rawBegin) + written + content.mid(old.rawEnd);
    }
    if (!SafeFile::writeAtomically(m_file, updated, &reason))
        return fail(reason);
    // Read back as written, so the next save again changes only what is changed then.
    const qsizetype begin = place < 0 ? updated.size() - written.size() : cards.at(place).rawBegin;
    QList<VCard> again = VCard::parse(updated.mid(begin, written.size()));
    if (!again.isEmpty()) {
        m_card = again.first();
        m_card.rawBegin = begin;
        m_card.rawEnd = begin + written.size();
    }
    m_readAs = written;
    m_stamp = FileStamp::of(m_file);
    return true;
}
