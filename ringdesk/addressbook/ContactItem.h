#pragma once

#include "addressbook/AddressBookItem.h"
#include "addressbook/VCard.h"
#include "common/FileStamp.h"

// A contact: one vCard in a .vcf file of the contacts folder. The first and last name are N, the
// company is ORG, the work phone the telephone marked work (the first one when none is). A new
// contact gets a file named after its generated UID, never after caller text. A contact read from a
// file is written back into that file by its UID (by its content when it has none), never by its
// place, so the other cards of a shared file stay byte for byte.
class ContactItem : public AddressBookItem
{
public:
    // A new, unsaved contact for the folder: UID and PRODID set, as a 3.0 card.
    explicit ContactItem(const QString& folder);
    // A card read from an existing file.
    ContactItem(const QString& file, VCard card);

    Kind kind() const override { return Contact; }
    QString field(Field which) const override;
    // Changes the card only where the value differs from what it holds.
    bool setField(Field which, const QString& value) override;
    // Writes the card (REV set to now) into the file as the file is now.
    bool save(QString* error = nullptr) override;
    QString fileName() const override { return m_file; }

    // True when the file was changed by someone else since the card was read or saved.
    bool changedElsewhere() const override;
    // The card as the file holds it now; false when it is no longer there.
    bool reload() override;
    // What tells this contact from others: its file and UID (empty before its first save).
    QString key() const override;
    QString uid() const override { return m_card.uid(); }

    const VCard& card() const { return m_card; }

    // A contact's fields on any card, as this class reads and writes them: the desktop's
    // address book keeps its contacts as vCards too.
    static QString fieldOf(const VCard& card, Field which);
    static bool setFieldOf(VCard& card, Field which, const QString& value);

private:
    // The place of this card among the cards of the file's content, or -1.
    int placeIn(const QByteArray& content, const QList<VCard>& cards) const;

    QString m_folder;
    QString m_file;
    VCard m_card;
    QByteArray m_readAs; // the card's bytes as read, to find a card without UID again
    FileStamp m_stamp;
};
