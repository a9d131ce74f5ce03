#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// One vCard as other programs write it (2.1, 3.0 or 4.0), kept property by property with the
// bytes each was read from, so that a card written back is byte for byte what it was except for
// the properties that were changed: the user's address book is shared with other programs and
// a phone, and must never be damaged by an edit. Values are held in their escaped text form
// (components separated by unescaped ";"), already freed of quoted-printable and charsets.
// A 2.1 card is the exception: written back it becomes 3.0, every value decoded.
class VCard
{
public:
    struct Param
    {
        QString name;  // upper case; a bare 2.1 type such as WORK becomes TYPE
        QString value; // as written, without quotes
    };
    struct Property
    {
        QString group; // "item1" in item1.TEL, or empty
        QString name;  // upper case
        QList<Param> params;
        QString value; // escaped text
        // The lines the property was read from, line ends included; empty once it is changed
        // (or for a new one), and then it is written anew. A line that is not a property has an
        // empty name and is only ever written back as it was.
        QByteArray raw;
        bool hasType(const QString& type) const;
    };

    QList<Property> properties;
    QString version;     // as read; a new card is 3.0
    QByteArray beginRaw; // the BEGIN and END lines as read
    QByteArray endRaw;
    // Where the card stood in the data it was parsed from, END line included.
    qsizetype rawBegin = -1;
    qsizetype rawEnd = -1;

    // All cards of a file, in order. Text that holds no card gives none.
    static QList<VCard> parse(const QByteArray& data);
    // The card as a file holds it: unchanged properties as they were read, changed ones in the
    // card's version, lines folded at 75 octets, with the card's own line ends.
    QByteArray serialize() const;

    // FN, unescaped.
    QString fullName() const;
    void setFullName(const QString& name);
    // REV, the moment of the last change, in UTC.
    void setRevision(const QDateTime& when);
    void setProductId(const QString& id);

    QString uid() const;
    QString lastName() const;  // N, family name
    QString firstName() const; // N, given name
    QString company() const;   // ORG, organisation name
    // The work telephone, or the first one when none is marked work.
    QString businessPhone() const;
    QStringList phones() const;

    void setUid(const QString& uid);
    // Set N or ORG. FN follows them only where it was empty or what they gave before, so a
    // name the user wrote in FN ("Dr. Kim Lee", "Plumber Joe") stays.
    void setNames(const QString& last, const QString& first);
    void setCompany(const QString& company);
    // An empty N, which a 3.0 card must have, where there is none.
    void ensureName();
    // The work telephone, in the form it already has (a tel: URI stays one).
    void setBusinessPhone(const QString& number);

    // Splitting and joining escaped structured values.
    static QStringList components(const QString& escaped);
    static QString joined(const QStringList& parts);
    static QString unescape(const QString& escaped);
    static QString escape(const QString& text);

private:
    const Property* find(const QString& name) const;
    Property& findOrAdd(const QString& name);
    void setValue(const QString& name, const QString& escaped);
    // What N and ORG make of a name: the person's, else the company's.
    QString nameFromFields() const;
    void followFullName(const QString& before);
};
