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
//
// Every change goes through one writer: the folder is locked against our other writers, the
// file read again, and only the lines meant are touched, so a line the user or another program
// wrote meanwhile stays. An addition is appended in place; a removal is written to a new file
// that replaces the old, and what another program appended to the old one meanwhile is
// carried over.
class ScreeningList
{
public:
    explicit ScreeningList(const QString& path = QString()) : m_path(path) {}
    QString path() const { return m_path; }

    // A line that is no entry: its number in the file, its text and why.
    struct Problem
    {
        int line = 0;
        QString text;
        QString reason;
    };
    // Reads the file again when it changed since it was last read, or when the plan that reads
    // its numbers did; true when it did. A missing file is an empty list.
    bool refresh(const NumberPlan& plan);
    // The lines of the file as last read that are no entry.
    QList<Problem> problems() const { return m_problems; }

    struct Hit
    {
        QString entry;       // as written; empty when nothing matched
        bool number = false; // an entry naming the number itself, not a prefix or a pattern
        explicit operator bool() const { return !entry.isEmpty(); }
    };
    // The list as the text of a file would give it, read by the plan; what refresh() does once
    // it has the file's bytes.
    void readText(const QByteArray& text, const NumberPlan& plan);
    QStringList entryTexts() const;

    // The first entry that matches the caller.
    Hit match(const QString& e164, const QString& number, const QString& name) const;

    // Why the text is no entry (one number, one prefix or one name pattern); empty when it is.
    static QString problemWith(const QString& text, const NumberPlan& plan);

    // The number added as a line of its own in international form, with `comment` after it;
    // nothing when it is on the list already. False, and why, when it is no number or the file
    // cannot be written.
    bool add(const QString& number, const NumberPlan& plan, QString* error, bool* added = nullptr,
             const QString& comment = QString());
    // Every line naming this number, in any punctuation, taken out, comments and other entries
    // kept; how many were, or -1 when the file cannot be written.
    int remove(const QString& number, const NumberPlan& plan, QString* error);

    // The entries as written, in file order.
    QStringList entries(const NumberPlan& plan);
    // Any entry as a line of its own; false, and why, when it is no entry or the file cannot be
    // written. *added is false when it was on the list already.
    bool addEntry(const QString& entry, const NumberPlan& plan, QString* error,
                  bool* added = nullptr);
    // The lines holding this entry taken out (a number in any punctuation); how many, or -1
    // when the file cannot be written.
    int removeEntry(const QString& entry, const NumberPlan& plan, QString* error);

private:
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
    static std::optional<Entry> read(const QString& text, const NumberPlan& plan,
                                     QString* reason = nullptr);
    void load(const NumberPlan& plan);
    bool appendLine(const QString& line, QString* error);
    int removeLines(const std::function<bool(const QString& entry)>& drop, QString* error);

    QString m_path;
    FileStamp m_stamp;
    QList<Entry> m_entries;
    QList<Problem> m_problems;
    NumberPlan m_plan{QStringLiteral("US")};
};
