#pragma once

#include "common/FileStamp.h"
#include "numbers/NumberPlan.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <functional>
#include <optional>

// One of the screening lists, blocked.txt or allowed.txt: plain text a user edits, one entry a
// line, "#" starting a comment. An entry is a number in any punctuation, compared as a number; a
// prefix ending in "*", the start of a number of the user's country unless it has its own
// country code; or "name: PATTERN", the caller-ID name with "*" and "?" as wildcards, without
// regard to case. The file is read again whenever it changed.
class ScreeningList
{
public:
    explicit ScreeningList(const QString& path = QString()) : m_path(path) {}
    QString path() const { return m_path; }

    // A line that is no entry: its number in the file and its text.
    struct Problem
    {
        int line = 0;
        QString text;
    };
    // Reads the file again when it changed since it was last read, or when the plan that reads
    // its numbers did; the lines that are no entry. A missing file is an empty list.
    QList<Problem> refresh(const NumberPlan& plan);

    // The entry that matches the caller, as written in the file; empty when none does.
    QString match(const QString& e164, const QString& number, const QString& name) const;

    // The number added as a line of its own; nothing when it is on the list already. False, and
    // why, when the file cannot be written.
    bool add(const QString& number, const NumberPlan& plan, QString* error);
    // The lines that hold this number alone taken out, comments and other entries kept; how many
    // were, or -1 when the file cannot be written.
    int remove(const QString& number, const NumberPlan& plan, QString* error);

    // The entries as written, in file order.
    QStringList entries(const NumberPlan& plan);
    // Any entry (a number, a prefix, "name: PATTERN") as a line of its own; false, and why, when
    // it is no entry or the file cannot be written.
    bool addEntry(const QString& entry, const NumberPlan& plan, QString* error);
    // The lines holding this entry taken out (a number also as any other way of writing it);
    // how many, or -1 when the file cannot be written.
    int removeEntry(const QString& entry, const NumberPlan& plan, QString* error);

private:
    bool append(const QString& line, QString* error);
    int removeLines(const std::function<bool(const QString& entry)>& drop, QString* error);
    struct Entry
    {
        enum Kind
        {
            Number,
            Prefix,
            Name
        };
        Kind kind = Number;
        QString text; // as written
        QString key;  // the number's key, or the prefix's start
        QRegularExpression pattern;
    };
    static std::optional<Entry> read(const QString& text, const NumberPlan& plan);
    bool load(const NumberPlan& plan, QList<Problem>* problems);

    QString m_path;
    FileStamp m_stamp;
    QList<Entry> m_entries;
    NumberPlan m_plan{QStringLiteral("US")};
};
