#include "calls/ImportedLists.h"

#include "common/AppPaths.h"
#include "common/FileStamp.h"
#include "common/SafeFile.h"
#include "numbers/PhoneNumber.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace {

const QString suffix = QStringLiteral(".list");

// E.164 digits as one integer: fifteen digits at most fit with room to spare.
std::optional<quint64> packed(QStringView e164)
{
    if (e164.size() < 2 || e164.size() > 16 || e164.at(0) != u'+')
        return std::nullopt;
    quint64 value = 0;
    for (QChar c : e164.mid(1)) {
        if (!c.isDigit())
            return std::nullopt;
        value = value * 10 + quint64(c.digitValue());
    }
    return value;
}

// The fields of one CSV line; quotes may hold commas and doubled quotes.
QStringList csvFields(QStringView line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted && c == u'"' && i + 1 < line.size() && line.at(i + 1) == u'"') {
            field.append(c);
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (c == u',' && !quoted) {
            fields.append(field);
            field.clear();
        } else {
            field.append(c);
        }
    }
    fields.append(field);
    return fields;
}

} // namespace

ImportedLists::ImportedLists(const QString& folder)
    : m_folder(folder.isEmpty() ? AppPaths::dataHome() + QStringLiteral("/ringdesk/blocklists")
                                : folder)
{
}

QString ImportedLists::problemWithName(const QString& source)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9_.-]{0,31}$"));
    return name.match(source).hasMatch()
               ? QString()
               : QStringLiteral("a source is named by 1 to 32 letters, digits, \".\", \"_\" or "
                                "\"-\", starting with a letter or digit");
}

QString ImportedLists::pathOf(const QString& source) const
{
    return m_folder + u'/' + source + suffix;
}

bool ImportedLists::refresh()
{
    // Lists come, go and are replaced by renames into the folder, each of which changes the
    // folder itself: while it stands as it did, so do they, and a call costs one look.
    const FileStamp folder = FileStamp::of(m_folder);
    if (m_read && folder == m_folderStamp)
        return false;
    m_folderStamp = folder;
    m_read = true;
    QDir dir(m_folder);
    const QStringList names = dir.entryList({u'*' + suffix}, QDir::Files, QDir::Name);
    QStringList seen;
    for (const QString& name : names) {
        const FileStamp stamp = FileStamp::of(dir.filePath(name));
        seen << QStringLiteral("%1 %2 %3 %4")
                    .arg(name)
                    .arg(stamp.inode)
                    .arg(stamp.size)
                    .arg(stamp.modified);
    }
    if (seen == m_seen)
        return false;
    m_seen = seen;
    m_lists.clear();
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        List list;
        list.source.name = name.chopped(suffix.size());
        list.source.imported = QFileInfo(file).lastModified();
        // Read where it lies: half a million lines copied and split would leave tens of
        // megabytes behind in the heap.
        const qint64 size = file.size();
        const uchar* mapped = size > 0 ? file.map(0, size) : nullptr;
        if (mapped) {
            const char* at = reinterpret_cast<const char*>(mapped);
            const char* const end = at + size;
            list.numbers.reserve(size_t(std::count(at, end, '\n')) + 1);
            while (at < end) {
                const char* lineEnd = std::find(at, end, '\n');
                if (*at == '+') {
                    quint64 value = 0;
                    int digits = 0;
                    const char* c = at + 1;
                    for (; c < lineEnd && *c >= '0' && *c <= '9' && digits < 16; ++c, ++digits)
                        value = value * 10 + quint64(*c - '0');
                    while (c < lineEnd && (*c == ' ' || *c == '\r' || *c == '\t'))
                        ++c;
                    if (c == lineEnd && digits >= 1 && digits <= 15)
                        list.numbers.push_back(value);
                }
                at = lineEnd + 1;
            }
            file.unmap(const_cast<uchar*>(mapped));
        }
        // Sorted when we wrote it; a hand edit may not be.
        if (!std::is_sorted(list.numbers.begin(), list.numbers.end()))
            std::sort(list.numbers.begin(), list.numbers.end());
        list.source.numbers = qsizetype(list.numbers.size());
        m_lists.append(std::move(list));
    }
    return true;
}

QList<ImportedLists::Source> ImportedLists::sources() const
{
    QList<Source> all;
    for (const List& list : m_lists)
        all.append(list.source);
    return all;
}

QString ImportedLists::sourceOf(const QString& e164) const
{
    const std::optional<quint64> number = packed(e164);
    if (!number)
        return QString();
    for (const List& list : m_lists)
        if (std::binary_search(list.numbers.begin(), list.numbers.end(), *number))
            return list.source.name;
    return QString();
}

ImportedLists::Import ImportedLists::import(const QString& path, const QString& source,
                                            const NumberPlan& plan) const
{
    Import result;
    if (const QString wrong = problemWithName(source); !wrong.isEmpty()) {
        result.error = QStringLiteral("\"%1\" is no source name: %2").arg(source, wrong);
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return result;
    }
    std::vector<quint64> numbers;
    qsizetype column = -1; // the complaint file's number column, once its header is read
    qsizetype lineNumber = 0;
    auto skip = [&result, &lineNumber](const QString& text, const QString& reason) {
        if (++result.skippedLines <= 5)
            result.skipped
                << QStringLiteral("line %1: \"%2\": %3").arg(lineNumber).arg(text.left(60), reason);
    };
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        ++lineNumber;
        if (lineNumber == 1 &&
            line.contains(QLatin1String("Company_Phone_Number"), Qt::CaseInsensitive)) {
            const QStringList header = csvFields(line);
            for (qsizetype i = 0; i < header.size() && column < 0; ++i)
                if (header.at(i).trimmed().compare(QLatin1String("Company_Phone_Number"),
                                                   Qt::CaseInsensitive) == 0)
                    column = i;
            continue;
        }
        if (column >= 0) {
            if (line.isEmpty())
                continue;
            const QStringList fields = csvFields(line);
            const QString digits =
                column < fields.size() ? PhoneNumber::digits(fields.at(column)) : QString();
            // The regulator's numbers are North American, whatever the user's country.
            if (digits.size() == 10 && digits.at(0) >= u'2')
                numbers.push_back(*packed(QStringLiteral("+1") + digits));
            else if (digits.size() == 11 && digits.startsWith(u'1') && digits.at(1) >= u'2')
                numbers.push_back(*packed(u'+' + digits));
            else
                skip(column < fields.size() ? fields.at(column) : line,
                     QStringLiteral("not a ten-digit number"));
            continue;
        }
        const QString entry = line.section(u'#', 0, 0).trimmed();
        if (entry.isEmpty())
            continue;
        const QString e164 = PhoneNumber::writtenAsNumber(entry) ? plan.e164(entry) : QString();
        if (const std::optional<quint64> number = packed(e164))
            numbers.push_back(*number);
        else
            skip(entry, QStringLiteral("not a number"));
    }
    if (file.error() != QFileDevice::NoError) {
        result.error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return result;
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    if (numbers.empty()) {
        result.error =
            QStringLiteral("%1 holds no number; source %2 is left as it was").arg(path, source);
        return result;
    }
    QByteArray text;
    text.reserve(qsizetype(numbers.size()) * 14 + 200);
    text += "# " + source.toUtf8() + ": " + QByteArray::number(qsizetype(numbers.size())) +
            " numbers imported from " + QFileInfo(path).fileName().toUtf8() +
            " by ringdesk --import-blocklist; the next import replaces them\n";
    for (const quint64 number : numbers)
        text += '+' + QByteArray::number(number) + '\n';
    QDir().mkpath(m_folder);
    if (!SafeFile::writeAtomically(pathOf(source), text, &result.error))
        return result;
    result.numbers = qsizetype(numbers.size());
    return result;
}

bool ImportedLists::drop(const QString& source, QString* error) const
{
    if (!problemWithName(source).isEmpty() || !QFile::exists(pathOf(source))) {
        *error = QStringLiteral("no source is named \"%1\"").arg(source);
        return false;
    }
    QFile file(pathOf(source));
    if (!file.remove()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
