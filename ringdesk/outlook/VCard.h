#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One vCard as other programs write it (2.1, 3.0 or 4.0), kept property by property so that a
// card written back loses nothing it did not understand. Values are held in their escaped text
// form (components separated by unescaped ";"), already freed of quoted-printable and charsets.
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
        bool hasType(const QString& type) const;
    };

    QList<Property> properties;

    // All cards of a file, in order. Text that holds no card gives none.
    static QList<VCard> parse(const QByteArray& data);
    // The card as vCard 3.0, lines folded at 75 octets, CR LF line ends.
    QByteArray toVCard30() const;

    QString uid() const;
    QString lastName() const;  // N, family name
    QString firstName() const; // N, given name
    QString company() const;   // ORG, organisation name
    // The work telephone, or the first one when none is marked work.
    QString businessPhone() const;
    QStringList phones() const;

    void setUid(const QString& uid);
    // Sets N (and FN, kept consistent with it).
    void setNames(const QString& last, const QString& first);
    void setCompany(const QString& company);
    void setBusinessPhone(const QString& number);

    // Splitting and joining escaped structured values.
    static QStringList components(const QString& escaped);
    static QString joined(const QStringList& parts);
    static QString unescape(const QString& escaped);
    static QString escape(const QString& text);

private:
    const Property* find(const QString& name) const;
    Property& findOrAdd(const QString& name);
    void updateFullName();
};
