#include "calls/ScreeningList.h"

#include "common/CleanText.h"
#include "common/SafeFile.h"
#include "numbers/PhoneNumber.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

namespace {

// A caller-ID name has at most a few dozen characters; longer text is a paste gone wrong.
constexpr int longestEntry = 100;
// E.164 allows 15 digits; fewer than 3 is no caller anyone could be told from another.
constexpr int fewestDigits = 3;
constexpr int mostDigits = 15;

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

// Our writers (the window, the web page, the household's commands, a second monitor) take
// turns on the folder; a hand edit does not lock, which the writer allows for by checking the
// file again before it replaces it.
class FolderLock
{
public:
    explicit FolderLock(const QString& folder)
        : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd;
};

} // namespace

std::optional<ScreeningList::Entry> ScreeningList::read(const QString& text, const NumberPlan& plan,
                                                        QString* reason)
{
    auto refuse = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    if (text.size() > longestEntry)
        return refuse(QStringLiteral("longer than %1 characters").arg(longestEntry));
    Entry entry;
    entry.text = text;
    if (text.startsWith(QLatin1String("name:"), Qt::CaseInsensitive)) {
        const QString pattern = text.mid(5).trimmed();
        if (pattern.isEmpty())
            return refuse(QStringLiteral("a name pattern with no name"));
        entry.kind = Entry::Name;
        entry.pattern = wildcard(pattern);
        return entry;
    }
    if (text.endsWith(u'*')) {
        const QString prefix = text.chopped(1).trimmed();
        if (!numberText(prefix))
            return refuse(QStringLiteral("a prefix is digits followed by *"));
        if (PhoneNumber::digits(prefix).size() > mostDigits)
            return refuse(QStringLiteral("a prefix longer than any number"));
        entry.kind = Entry::Prefix;
        entry.key = plan.e164Prefix(prefix);
        return entry;
    }
    if (!numberText(text))
        return refuse(QStringLiteral("not a number, a prefix ending in * or name: PATTERN"));
    const qsizetype digits = PhoneNumber::digits(text).size();
    if (digits < fewestDigits || digits > mostDigits)
        return refuse(QStringLiteral("one number has %1 to %2 digits, not %3")
                          .arg(fewestDigits)
                          .arg(mostDigits)
                          .arg(digits));
    entry.key = plan.key(text);
    return entry;
}

QString ScreeningList::problemWith(const QString& text, const NumberPlan& plan)
{
    QString reason;
    if (text.trimmed().isEmpty())
        return QStringLiteral("an empty entry");
    read(text.trimmed(), plan, &reason);
    return reason;
}

void ScreeningList::load(const NumberPlan& plan)
{
    QByteArray bytes;
    QString error;
    bool missing = false;
    m_entries.clear();
    m_problems.clear();
    if (!SafeFile::read(m_path, &bytes, &error, &missing)) {
        if (!missing)
            m_problems.append({0, QString(), error});
        return;
    }
    readText(bytes, plan);
}

void ScreeningList::readText(const QByteArray& bytes, const NumberPlan& plan)
{
    m_entries.clear();
    m_problems.clear();
    m_plan = plan;
    const QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString text = entryOf(lines.at(i));
        if (text.isEmpty())
            continue;
        QString reason;
        if (const std::optional<Entry> entry = read(text, plan, &reason))
            m_entries.append(*entry);
        else
            m_problems.append({i + 1, CleanText::field(text.left(longestEntry)), reason});
    }
}

bool ScreeningList::refresh(const NumberPlan& plan)
{
    const FileStamp stamp = FileStamp::of(m_path);
    if (stamp == m_stamp && plan.country() == m_plan.country() &&
        plan.areaCode() == m_plan.areaCode())
        return false;
    m_stamp = stamp;
    m_plan = plan;
    load(plan);
    return true;
}

ScreeningList::Hit ScreeningList::match(const QString& e164, const QString& number,
                                        const QString& name) const
{
    const QString key = e164.isEmpty() ? m_plan.key(number) : e164;
    for (const Entry& entry : m_entries) {
        const bool matches =
            entry.kind == Entry::Name     ? !name.isEmpty() && entry.pattern.match(name).hasMatch()
            : entry.kind == Entry::Prefix ? !key.isEmpty() && key.startsWith(entry.key)
                                          : !key.isEmpty() && key == entry.key;
        if (matches)
            return {entry.text, entry.kind == Entry::Number};
    }
    return {};
}

QStringList ScreeningList::entries(const NumberPlan& plan)
{
    refresh(plan);
    return entryTexts();
}

QStringList ScreeningList::entryTexts() const
{
    QStringList texts;
    for (const Entry& entry : std::as_const(m_entries))
        texts << entry.text;
    return texts;
}

bool ScreeningList::appendLine(const QString& line, QString* error)
{
    // Another program that replaces the file as we append would drop our line with the old
    // version: then it is appended to the new one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!SafeFile::append(m_path, line.toUtf8() + '\n', error))
            return false;
        refresh(m_plan);
        for (const Entry& entry : std::as_const(m_entries))
            if (entry.text == entryOf(line))
                return true;
    }
    *error = QStringLiteral("another program kept replacing the file");
    return false;
}

int ScreeningList::removeLines(const std::function<bool(const QString& entry)>& drop,
                               QString* error)
{
    // The version read stays open: whatever another program appends to it until the new file
    // has replaced it is carried over, so a hand edit or a shell loop loses no line. A writer
    // that opened the old version just before the rename may write into it a moment later:
    // the old version is looked at again shortly after, and what came is carried over too.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        return 0;
    auto old = std::make_shared<QFile>();
    if (fd < 0 || !old->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *error = QString::fromLocal8Bit(strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const QByteArray bytes = old->readAll();
    QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    const qsizetype count = lines.size();
    lines.removeIf([&](const QString& line) {
        const QString text = entryOf(line);
        return !text.isEmpty() && drop(text);
    });
    const int removed = int(count - lines.size());
    if (removed == 0)
        return 0;
    if (!SafeFile::writeAtomically(m_path, lines.join(u'\n').toUtf8(), error))
        return -1;
    const QByteArray later = old->readAll();
    if (!later.isEmpty() && !SafeFile::append(m_path, later, error))
        return -1;
    for (const int ms : {20, 200, 1000}) {
        QTimer::singleShot(ms, [old, path = m_path] {
            const QByteArray late = old->readAll();
            QString ignored;
            if (!late.isEmpty())
                SafeFile::append(path, late, &ignored);
        });
    }
    refresh(m_plan);
    return removed;
}

bool ScreeningList::add(const QString& number, const NumberPlan& plan, QString* error, bool* added,
                        const QString& comment)
{
    if (const QString why = problemWith(number, plan); !why.isEmpty() || number.endsWith(u'*')) {
        *error = why.isEmpty() ? QStringLiteral("not a number") : why;
        return false;
    }
    if (!QDir().mkpath(QFileInfo(m_path).path())) {
        *error = QStringLiteral("cannot create the folder %1").arg(QFileInfo(m_path).path());
        return false;
    }
    const FolderLock lock(QFileInfo(m_path).path());
    refresh(plan);
    const QString key = plan.key(number);
    if (added)
        *added = false;
    for (const Entry& entry : std::as_const(m_entries))
        if (entry.kind == Entry::Number && entry.key == key)
            return true;
    if (added)
        *added = true;
    // A comment is one line of text, with no '#' of its own to end an entry early.
    const QString note = CleanText::field(comment).simplified().remove(u'#');
    return appendLine(plan.international(number) + (note.isEmpty() ? QString() : "  # " + note),
                      error);
}

int ScreeningList::remove(const QString& number, const NumberPlan& plan, QString* error)
{
    const QString key = plan.key(number);
    if (key.isEmpty())
        return 0;
    const FolderLock lock(QFileInfo(m_path).path());
    m_plan = plan;
    return removeLines(
        [&](const QString& text) {
            return !text.endsWith(u'*') && numberText(text) && plan.key(text) == key;
        },
        error);
}

bool ScreeningList::addEntry(const QString& entry, const NumberPlan& plan, QString* error,
                             bool* added)
{
    const QString text = CleanText::field(entryOf(entry));
    if (const QString why = problemWith(text, plan); !why.isEmpty()) {
        *error = why;
        return false;
    }
    if (!read(text, plan)->key.isEmpty() && !text.endsWith(u'*'))
        return add(text, plan, error, added);
    if (!QDir().mkpath(QFileInfo(m_path).path())) {
        *error = QStringLiteral("cannot create the folder %1").arg(QFileInfo(m_path).path());
        return false;
    }
    const FolderLock lock(QFileInfo(m_path).path());
    if (added)
        *added = false;
    if (entries(plan).contains(text, Qt::CaseInsensitive))
        return true;
    if (added)
        *added = true;
    return appendLine(text, error);
}

int ScreeningList::removeEntry(const QString& entry, const NumberPlan& plan, QString* error)
{
    const QString text = entryOf(entry);
    if (!text.endsWith(u'*') && numberText(text))
        return remove(text, plan, error);
    const FolderLock lock(QFileInfo(m_path).path());
    m_plan = plan;
    return removeLines(
        [&](const QString& line) { return line.compare(text, Qt::CaseInsensitive) == 0; }, error);
}
