#include "calls/ScreeningList.h"

#include "common/CleanText.h"
#include "common/SafeFile.h"
#include "numbers/PhoneNumber.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The entry of a line: what comes before its comment.
QString entryOf(const QString& line)
{
    const qsizetype hash = line.indexOf(u'#');
    return (hash >= 0 ? line.left(hash) : line).trimmed();
}

bool numberText(const QString& text)
{
    return PhoneNumber::writtenAsNumber(text) && !PhoneNumber::digits(text).isEmpty();
}

// "*" any run of characters, "?" any one; everything else as itself.
QRegularExpression wildcard(const QString& pattern)
{
    QString expression = QStringLiteral("^");
    for (const QChar c : pattern) {
        if (c == u'*')
            expression += QStringLiteral(".*");
        else if (c == u'?')
            expression += u'.';
        else
            expression += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(expression + u'$', QRegularExpression::CaseInsensitiveOption);
}

} // namespace

std::optional<ScreeningList::Entry> ScreeningList::read(const QString& text, const NumberPlan& plan)
{
    Entry entry;
    entry.text = text;
    if (text.startsWith(QLatin1String("name:"), Qt::CaseInsensitive)) {
        const QString pattern = text.mid(5).trimmed();
        if (pattern.isEmpty())
            return std::nullopt;
        entry.kind = Entry::Name;
        entry.pattern = wildcard(pattern);
        return entry;
    }
    if (text.endsWith(u'*')) {
        const QString prefix = text.chopped(1).trimmed();
        if (!numberText(prefix))
            return std::nullopt;
        entry.kind = Entry::Prefix;
        entry.key = plan.e164Prefix(prefix);
        return entry;
    }
    if (!numberText(text))
        return std::nullopt;
    entry.key = plan.key(text);
    return entry;
}

bool ScreeningList::load(const NumberPlan& plan, QList<Problem>* problems)
{
    QByteArray bytes;
    QString error;
    bool missing = false;
    m_entries.clear();
    if (!SafeFile::read(m_path, &bytes, &error, &missing))
        return missing;
    const QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString text = entryOf(lines.at(i));
        if (text.isEmpty())
            continue;
        if (const std::optional<Entry> entry = read(text, plan))
            m_entries.append(*entry);
        else
            problems->append({i + 1, CleanText::field(text)});
    }
    return true;
}

QList<ScreeningList::Problem> ScreeningList::refresh(const NumberPlan& plan)
{
    QList<Problem> problems;
    const FileStamp stamp = FileStamp::of(m_path);
    if (stamp == m_stamp && plan.country() == m_plan.country() &&
        plan.areaCode() == m_plan.areaCode())
        return problems;
    m_stamp = stamp;
    m_plan = plan;
    load(plan, &problems);
    return problems;
}

QString ScreeningList::match(const QString& e164, const QString& number, const QString& name) const
{
    const QString key = e164.isEmpty() ? m_plan.key(number) : e164;
    for (const Entry& entry : m_entries) {
        const bool matches =
            entry.kind == Entry::Name     ? !name.isEmpty() && entry.pattern.match(name).hasMatch()
            : entry.kind == Entry::Prefix ? !key.isEmpty() && key.startsWith(entry.key)
                                          : !key.isEmpty() && key == entry.key;
        if (matches)
            return entry.text;
    }
    return QString();
}

QStringList ScreeningList::entries(const NumberPlan& plan)
{
    refresh(plan);
    QStringList texts;
    for (const Entry& entry : std::as_const(m_entries))
        texts << entry.text;
    return texts;
}

bool ScreeningList::append(const QString& line, QString* error)
{
    QByteArray bytes;
    bool missing = false;
    if (!SafeFile::read(m_path, &bytes, error, &missing) && !missing)
        return false;
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += '\n';
    bytes += line.toUtf8() + '\n';
    if (!QDir().mkpath(QFileInfo(m_path).path())) {
        *error = QStringLiteral("cannot create the folder %1").arg(QFileInfo(m_path).path());
        return false;
    }
    return SafeFile::writeAtomically(m_path, bytes, error);
}

int ScreeningList::removeLines(const std::function<bool(const QString& entry)>& drop,
                               QString* error)
{
    QByteArray bytes;
    bool missing = false;
    if (!SafeFile::read(m_path, &bytes, error, &missing))
        return missing ? 0 : -1;
    QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    const qsizetype before = lines.size();
    lines.removeIf([&](const QString& line) {
        const QString text = entryOf(line);
        return !text.isEmpty() && drop(text);
    });
    const int removed = int(before - lines.size());
    if (removed > 0 && !SafeFile::writeAtomically(m_path, lines.join(u'\n').toUtf8(), error))
        return -1;
    return removed;
}

bool ScreeningList::add(const QString& number, const NumberPlan& plan, QString* error)
{
    if (!numberText(number.trimmed())) {
        *error = QStringLiteral("not a number");
        return false;
    }
    refresh(plan);
    const QString key = plan.key(number);
    for (const Entry& entry : std::as_const(m_entries))
        if (entry.kind == Entry::Number && entry.key == key)
            return true;
    return append(plan.international(number), error);
}

int ScreeningList::remove(const QString& number, const NumberPlan& plan, QString* error)
{
    const QString key = plan.key(number);
    return removeLines(
        [&](const QString& text) {
            return !text.endsWith(u'*') && numberText(text) && plan.key(text) == key;
        },
        error);
}

bool ScreeningList::addEntry(const QString& entry, const NumberPlan& plan, QString* error)
{
    const QString text = CleanText::field(entryOf(entry));
    if (text.isEmpty() || !read(text, plan)) {
        *error = QStringLiteral("not an entry: a number, a prefix ending in * or name: PATTERN");
        return false;
    }
    if (entries(plan).contains(text))
        return true;
    return append(text, error);
}

int ScreeningList::removeEntry(const QString& entry, const NumberPlan& plan, QString* error)
{
    const QString text = entryOf(entry);
    const int same = removeLines([&](const QString& line) { return line == text; }, error);
    if (same != 0 || text.endsWith(u'*') || !numberText(text))
        return same;
    return remove(text, plan, error);
}
