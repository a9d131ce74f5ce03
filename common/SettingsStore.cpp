#include "SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

namespace {

const QFileDevice::Permissions ownerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const QFileDevice::Permissions ownerOnlyDir =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

QString findName(const QStringList& names, const QString& wanted)
{
    for (const QString& name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return name;
    }
    return QString();
}

// QSettings drops lines it cannot parse when it rewrites a file, so those are looked for first:
// a line that is neither blank, a comment, a [section] nor a key=value pair, or text that is not
// UTF-8.
QString formatProblem(const QByteArray& content)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(content);
    if (decoder.hasError())
        return QStringLiteral("it is not UTF-8 text");
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("[\r\n]")));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        const bool section = line.startsWith(u'[') && line.endsWith(u']');
        if (!section && !line.contains(u'='))
            return QStringLiteral("line %1 cannot be read").arg(i + 1);
        if (line.startsWith(u'[') && !section)
            return QStringLiteral("line %1 cannot be read").arg(i + 1);
    }
    return QString();
}

struct Lookup
{
    QString group;
    QString key;
};

Lookup locate(QSettings& settings, const QString& section, const QString& key)
{
    Lookup found;
    found.group = findName(settings.childGroups(), section);
    if (found.group.isEmpty())
        return found;
    settings.beginGroup(found.group);
    found.key = findName(settings.childKeys(), key);
    settings.endGroup();
    return found;
}

QString valueText(const QVariant& value)
{
    // A value that someone wrote by hand with unquoted commas comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

} // namespace

SettingsStore::SettingsStore(const QString& application) : m_path(pathFor(application)) {}

QString SettingsStore::pathFor(const QString& application)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return folder + u'/' + application.toLower() + QStringLiteral(".ini");
}

QString SettingsStore::problem() const
{
    QFileInfo info(m_path);
    if (!info.exists())
        return QString();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Settings file %1 cannot be read (%2); defaults are used")
            .arg(m_path, file.errorString());
    const QString format = formatProblem(file.readAll());
    if (!format.isEmpty())
        return QStringLiteral("Settings file %1 is damaged (%2); defaults are used")
            .arg(m_path, format);
    QSettings settings(m_path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return QStringLiteral("Settings file %1 is damaged; defaults are used").arg(m_path);
    return QString();
}

QString SettingsStore::get(const QString& section, const QString& key,
                           const QString& defaultValue) const
{
    if (!QFileInfo::exists(m_path) || !problem().isEmpty())
        return defaultValue;
    QSettings settings(m_path, QSettings::IniFormat);
    const Lookup found = locate(settings, section, key);
    if (found.key.isEmpty())
        return defaultValue;
    return valueText(settings.value(found.group + u'/' + found.key));
}

bool SettingsStore::keepCopyOfDamagedFile()
{
    if (problem().isEmpty())
        return true;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString copy = m_path + QStringLiteral(".damaged-") + stamp;
    for (int n = 1; QFileInfo::exists(copy); ++n)
        copy = m_path + QStringLiteral(".damaged-") + stamp + u'-' + QString::number(n);
    if (!QFile::copy(m_path, copy))
        return false;
    QFile::setPermissions(copy, ownerOnlyFile);
    m_backupPath = copy;
    return true;
}

bool SettingsStore::save(const QString& section, const QString& key, const QString& value)
{
    const QFileInfo info(m_path);
    QDir folder = info.dir();
    if (!folder.exists()) {
        if (!folder.mkpath(QStringLiteral(".")))
            return false;
        QFile::setPermissions(folder.path(), ownerOnlyDir);
    }

    // QSettings locks and merges its own writes per key; this lock also covers finding the
    // spelling already stored, so two writers never create two spellings of one entry.
    QLockFile lock(folder.filePath(u'.' + info.fileName() + QStringLiteral(".lock")));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(10000))
        return false;

    if (!info.exists()) {
        QFile create(m_path);
        if (!create.open(QIODevice::WriteOnly, ownerOnlyFile))
            return false;
    } else if (!keepCopyOfDamagedFile()) {
        return false;
    }

    QSettings settings(m_path, QSettings::IniFormat);
    const Lookup found = locate(settings, section, key);
    const QString group = found.group.isEmpty() ? section : found.group;
    const QString name = found.key.isEmpty() ? key : found.key;
    settings.setValue(group + u'/' + name, value);
    settings.sync();
    // A FormatError here only repeats what reading found; the entry was still written.
    return settings.status() != QSettings::AccessError;
}

QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue)
{
    return SettingsStore(application).get(section, key, defaultValue);
}

bool SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value)
{
    return SettingsStore(application).save(section, key, value);
}
