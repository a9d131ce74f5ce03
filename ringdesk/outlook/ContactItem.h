#pragma once

#include "OutlookItem.h"
#include "VCard.h"

// A contact: one vCard in a .vcf file of the contacts folder. FirstName and LastName are N,
// CompanyName is ORG, BusinessTelephoneNumber the work telephone (the first one when none is
// marked work). A new contact gets a file named after its generated UID, never after caller text.
class ContactItem : public OutlookItem
{
public:
    // A new, unsaved contact for the folder.
    explicit ContactItem(const QString& folder);
    // The card at the given place in an existing file.
    ContactItem(const QString& file, int index, VCard card);

    Kind kind() const override { return Contact; }
    QString property(const QString& name) const override;
    bool setProperty(const QString& name, const QString& value) override;
    bool Save(QString* error = nullptr) override;
    QString fileName() const override { return m_file; }

    const VCard& card() const { return m_card; }

private:
    QString m_folder;
    QString m_file;
    int m_index = 0;
    VCard m_card;
};
