#pragma once

#include "common/FileStamp.h"

#include "numbers/NumberPlan.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Block lists the household takes from others (the U.S. regulator's daily complaint file, a
// neighbour's list), each a source of its own, kept apart from the user's blocked.txt: a file
// "<source>.list" in the folder holding the source's numbers in E.164 form, one a line, sorted.
// Importing a source again replaces it whole. The numbers are held as sorted integers, eight
// bytes each, so half a million of them cost 4 MB and a look-up is a binary search.
class ImportedLists
{
public:
    // The data folder's ringdesk/blocklists when no folder is given.
    explicit ImportedLists(const QString& folder = QString());
    QString folder() const { return m_folder; }

    struct Source
    {
        QString name;
        qsizetype numbers = 0;
        QDateTime imported;
    };
    // Reads the folder again when a list came, went or changed; true when it did.
    bool refresh();
    QList<Source> sources() const;
    // The first source (by name) that lists the number; empty when none does.
    QString sourceOf(const QString& e164) const;

    struct Import
    {
        qsizetype numbers = 0;
        QStringList skipped; // "line N: "text": reason", the first few
        qsizetype skippedLines = 0;
        QString error; // nothing was imported, and why
    };
    // Reads a complaint CSV (a header naming Company_Phone_Number, ten-digit North American
    // numbers) or a plain list (one number a line, "#" comments, read by the plan) and makes it
    // the source's list. A file that yields no number leaves the source as it was.
    Import import(const QString& file, const QString& source, const NumberPlan& plan) const;
    // The source's list gone; false, and why, when it cannot be removed.
    bool drop(const QString& source, QString* error) const;
    // Why the text cannot name a source, or nothing when it can.
    static QString problemWithName(const QString& source);

private:
    struct List
    {
        Source source;
        std::vector<quint64> numbers;
    };
    QString pathOf(const QString& source) const;
    QString m_folder;
    QStringList m_seen; // name, size and time of each file as last read
    FileStamp m_folderStamp;
    bool m_read = false;
    QList<List> m_lists;
};
