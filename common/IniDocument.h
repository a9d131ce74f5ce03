#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// The text of one INI file, read line by line so that one line that cannot be read costs that
// line only. Sections and keys are found without regard to letter case. Lines that are read are
// written back as they stood, comments included; only entries that are set change, and lines
// that could not be read are left out. Values and names are coded the way QSettings codes them,
// so files written by either read the same.
class IniDocument
{
public:
    struct BadLine
    {
        int number; // counted from 1
        QString reason;
    };

    static IniDocument parse(const QByteArray& content);
    QByteArray serialize() const;

    std::optional<QString> value(const QString& section, const QString& key) const;
    // Replaces the entry under the spelling already stored, or adds it at the end of its section.
    void setValue(const QString& section, const QString& key, const QString& value);

    const QList<BadLine>& badLines() const { return m_badLines; }

    // QSettings' coding of one value and of one section or key name.
    static QString decodeValue(QByteArrayView raw);
    static QByteArray encodeValue(const QString& value);
    static QString decodeName(QByteArrayView raw);
    static QByteArray encodeName(const QString& name);

private:
    struct Line
    {
        QByteArray text; // as written to the file, without its line end
        bool isEntry = false;
        QString key; // an entry's, as spelled
    };
    struct Section
    {
        QString name;      // empty for the lines before the first section
        QList<Line> lines; // the header line first, when there is one
    };
    struct Place
    {
        qsizetype section;
        qsizetype line;
    };

    qsizetype sectionFor(const QString& name);
    // The entry read and written for the name: as QSettings reads a file edited by hand that
    // names an entry twice, the last one spelled as asked, else the last of any spelling.
    const Place* find(const QString& section, const QString& key) const;
    void addEntry(qsizetype section, const QString& key, QByteArray text);
    static QString lookupKey(const QString& section, const QString& key);

    QList<Section> m_sections{Section{}};     // the lines before the first section first
    QHash<QString, QList<Place>> m_entries;   // "section\nkey" in lower case -> its entries
    QHash<QString, qsizetype> m_sectionIndex; // section in lower case -> its last block
    QList<BadLine> m_badLines;
};
