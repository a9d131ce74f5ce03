#include "common/IniDocument.h"

#include "common/TextCodec.h"

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

bool isHexDigit(char16_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void chopTrailingSpaces(QString& text, qsizetype limit)
{
    qsizetype n = text.size();
    while (n > limit && (text.at(n - 1) == u' ' || text.at(n - 1) == u'\t'))
        --n;
    text.truncate(n);
}

char16_t simpleEscape(char c)
{
    switch (c) {
    case 'a':
        return u'\a';
    case 'b':
        return u'\b';
    case 'f':
        return u'\f';
    case 'n':
        return u'\n';
    case 'r':
        return u'\r';
    case 't':
        return u'\t';
    case 'v':
        return u'\v';
    case '"':
    case '?':
    case '\'':
    case '\\':
        return char16_t(c);
    default:
        return 0;
    }
}

// A backslash escape that starts at raw[i] (just past the backslash); returns the next index.
qsizetype readEscape(QByteArrayView raw, qsizetype i, QString& out)
{
    const char c = raw.at(i++);
    if (const char16_t simple = simpleEscape(c)) {
        out += QChar(simple);
        return i;
    }
    const bool hex = c == 'x';
    const bool octal = c >= '0' && c <= '7';
    if (!hex && !octal)
        return i; // an unknown escape drops the character, as QSettings does
    char16_t code = octal ? char16_t(c - '0') : 0;
    bool any = octal;
    while (i < raw.size()) {
        const char d = raw.at(i);
        if (hex && isHexDigit(d))
            code = char16_t(code * 16 + (d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10));
        else if (octal && d >= '0' && d <= '7')
            code = char16_t(code * 8 + (d - '0'));
        else
            break;
        any = true;
        ++i;
    }
    if (any)
        out += QChar(code);
    return i;
}

// As QSettings reads them: a line ends at CR LF, LF or a CR alone.
QList<QByteArray> splitLines(const QByteArray& content)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < content.size(); ++i) {
        const char c = content.at(i);
        if (c != '\n' && c != '\r')
            continue;
        lines.append(content.sliced(start, i - start));
        if (c == '\r' && i + 1 < content.size() && content.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < content.size())
        lines.append(content.sliced(start));
    return lines;
}

} // namespace

QString IniDocument::decodeValue(QByteArrayView raw)
{
    QStringList pieces;
    QString current;
    bool inQuotes = false;
    bool quoted = false;
    bool isList = false;
    qsizetype chopLimit = 0;
    qsizetype i = 0;
    auto skipSpaces = [&] {
        while (i < raw.size() && isSpace(raw.at(i)))
            ++i;
    };
    skipSpaces();
    while (i < raw.size()) {
        const char c = raw.at(i);
        if (c == '\\') {
            if (++i >= raw.size())
                break;
            i = readEscape(raw, i, current);
            chopLimit = current.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipSpaces();
        } else if (c == ',' && !inQuotes) {
            if (!quoted)
                chopTrailingSpaces(current, chopLimit);
            pieces.append(current);
            current.clear();
            isList = true;
            quoted = false;
            chopLimit = 0;
            ++i;
            skipSpaces();
        } else if (c == ';' && !inQuotes) {
            break; // the rest of the line is a comment
        } else {
            qsizetype j = i + 1;
            while (j < raw.size() && raw.at(j) != '\\' && raw.at(j) != '"' && raw.at(j) != ',' &&
                   raw.at(j) != ';')
                ++j;
            current += QString::fromUtf8(raw.sliced(i, j - i));
            i = j;
        }
    }
    if (!quoted)
        chopTrailingSpaces(current, chopLimit);
    if (isList) {
        pieces.append(current);
        // A list someone wrote by hand with unquoted commas reads as its items joined.
        return pieces.join(u',');
    }
    if (current.startsWith(QStringLiteral("@@")))
        return current.mid(1);
    if (current == QStringLiteral("@Invalid()"))
        return QString();
    if (current.startsWith(QStringLiteral("@ByteArray(")) && current.endsWith(u')'))
        return current.mid(11, current.size() - 12);
    return current;
}

QByteArray IniDocument::encodeValue(const QString& value)
{
    // A leading @ marks a typed value for QSettings; doubling it keeps the text plain.
    const QString text = value.startsWith(u'@') ? u'@' + value : value;
    QByteArray out;
    bool needsQuotes = false;
    bool escapeNextIfHex = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == ';' || c == ',' || c == '=')
            needsQuotes = true;
        if (escapeNextIfHex && isHexDigit(c)) {
            out += "\\x" + QByteArray::number(c, 16);
            continue;
        }
        escapeNextIfHex = false;
        switch (c) {
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += char(c);
            break;
        default:
            if (c <= 0x1f || c == 0x7f) {
                out += "\\x" + QByteArray::number(c, 16);
                escapeNextIfHex = true;
            } else if (QChar::isHighSurrogate(c) && i + 1 < text.size()) {
                out += text.mid(i, 2).toUtf8();
                ++i;
            } else {
                out += QString(QChar(c)).toUtf8();
            }
        }
    }
    if (needsQuotes || out.startsWith(' ') || out.endsWith(' '))
        return '"' + out + '"';
    return out;
}

QString IniDocument::decodeName(QByteArrayView raw)
{
    QString out;
    qsizetype i = 0;
    while (i < raw.size()) {
        const char c = raw.at(i);
        if (c == '\\') {
            out += u'/';
            ++i;
            continue;
        }
        if (c == '%' && i + 1 < raw.size()) {
            const bool wide = raw.at(i + 1) == 'U';
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            bool ok = false;
            const uint code =
                first + digits <= raw.size() ? raw.sliced(first, digits).toUInt(&ok, 16) : 0;
            if (ok) {
                out += QChar(char16_t(code));
                i = first + digits;
                continue;
            }
        }
        qsizetype j = i + 1;
        while (j < raw.size() && raw.at(j) != '%' && raw.at(j) != '\\')
            ++j;
        out += QString::fromUtf8(raw.sliced(i, j - i));
        i = j;
    }
    return out;
}

QByteArray IniDocument::encodeName(const QString& name)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const QChar qc : name) {
        const char16_t c = qc.unicode();
        if (c == '/') {
            out += '\\';
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-' || c == '.') {
            out += char(c);
        } else if (c <= 0xff) {
            out += '%';
            out += hex[c / 16];
            out += hex[c % 16];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(c >> shift) & 0xf];
        }
    }
    return out;
}

QString IniDocument::lookupKey(const QString& section, const QString& key)
{
    return section.toCaseFolded() + u'\n' + key.toCaseFolded();
}

IniDocument IniDocument::parse(const QByteArray& content)
{
    IniDocument doc;
    qsizetype current = 0;
    const QList<QByteArray> lines = splitLines(content);
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QByteArray text = lines.at(n);
        const int number = int(n + 1);
        const QByteArray trimmed = text.trimmed();
        if (!TextCodec::isUtf8(text)) {
            doc.m_badLines.append({number, QStringLiteral("not UTF-8 text")});
            continue;
        }
        if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#')) {
            doc.m_sections[current].lines.append({text, false, {}});
            continue;
        }
        if (trimmed.startsWith('[')) {
            qsizetype close = trimmed.lastIndexOf(']');
            if (close < 0) {
                // Still taken as the section it names, so the entries below it are found.
                doc.m_badLines.append({number, QStringLiteral("its section name is not closed")});
                close = trimmed.size();
                text = trimmed + ']';
            }
            const QString name = decodeName(trimmed.sliced(1, close - 1).trimmed());
            doc.m_sections.append(Section{name, {{text, false, {}}}});
            current = doc.m_sections.size() - 1;
            doc.m_sectionIndex.insert(name.toCaseFolded(), current);
            continue;
        }
        const qsizetype equals = trimmed.indexOf('=');
        const QString key = equals > 0 ? decodeName(trimmed.first(equals).trimmed()) : QString();
        if (key.isEmpty()) {
            doc.m_badLines.append({number, equals < 0 ? QStringLiteral("it has no \"=\"")
                                                      : QStringLiteral("its key is empty")});
            continue;
        }
        Section& section = doc.m_sections[current];
        section.lines.append({text, true, key});
        doc.m_entries[lookupKey(section.name, key)].append({current, section.lines.size() - 1});
    }
    return doc;
}

QByteArray IniDocument::serialize() const
{
    QByteArray out;
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines) {
            out += line.text;
            out += '\n';
        }
    }
    return out;
}

const IniDocument::Place* IniDocument::find(const QString& section, const QString& key) const
{
    const auto found = m_entries.constFind(lookupKey(section, key));
    if (found == m_entries.cend() || found->isEmpty())
        return nullptr;
    for (auto place = found->crbegin(); place != found->crend(); ++place) {
        if (m_sections.at(place->section).name == section &&
            m_sections.at(place->section).lines.at(place->line).key == key)
            return &*place;
    }
    return &found->last();
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const
{
    const Place* found = find(section, key);
    if (!found)
        return std::nullopt;
    const QByteArray& text = m_sections.at(found->section).lines.at(found->line).text;
    return decodeValue(QByteArrayView(text).sliced(text.indexOf('=') + 1));
}

qsizetype IniDocument::sectionFor(const QString& name)
{
    const auto found = m_sectionIndex.constFind(name.toCaseFolded());
    if (found != m_sectionIndex.cend())
        return *found;
    Section& last = m_sections.last();
    if (!last.lines.isEmpty() && !last.lines.last().text.trimmed().isEmpty())
        last.lines.append({QByteArray(), false, {}});
    m_sections.append(Section{name, {{'[' + encodeName(name) + ']', false, {}}}});
    m_sectionIndex.insert(name.toCaseFolded(), m_sections.size() - 1);
    return m_sections.size() - 1;
}

void IniDocument::addEntry(qsizetype index, const QString& key, QByteArray text)
{
    Section& section = m_sections[index];
    // Before the blank lines that end the section, so the file keeps its look.
    qsizetype at = section.lines.size();
    while (at > 1 && section.lines.at(at - 1).text.trimmed().isEmpty())
        --at;
    section.lines.insert(at, {std::move(text), true, key});
    m_entries[lookupKey(section.name, key)].append({index, at});
}

void IniDocument::setValue(const QString& section, const QString& key, const QString& value)
{
    if (const Place* found = find(section, key)) {
        Line& line = m_sections[found->section].lines[found->line];
        line.text = line.text.first(line.text.indexOf('=') + 1) + encodeValue(value);
        return;
    }
    addEntry(sectionFor(section), key, encodeName(key) + '=' + encodeValue(value));
}
