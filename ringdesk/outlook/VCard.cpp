#include "VCard.h"

#include <QStringDecoder>

namespace {

bool isQuotedPrintable(const QList<VCard::Param>& params)
{
    for (const VCard::Param& p : params) {
        if ((p.name == QLatin1String("ENCODING") || p.name == QLatin1String("TYPE")) &&
            p.value.compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray decodeQuotedPrintable(const QByteArray& in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c != '=') {
            out += c;
            continue;
        }
        if (i + 1 < in.size() && (in.at(i + 1) == '\r' || in.at(i + 1) == '\n')) {
            // A soft line break.
            ++i;
            if (in.at(i) == '\r' && i + 1 < in.size() && in.at(i + 1) == '\n')
                ++i;
            continue;
        }
        bool ok = false;
        const int byte = in.mid(i + 1, 2).toInt(&ok, 16);
        if (ok && i + 2 < in.size()) {
            out += char(byte);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

QString decodeText(const QByteArray& bytes, const QString& charset)
{
    if (!charset.isEmpty() && charset.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0) {
        QStringDecoder named(charset.toLatin1().constData());
        if (named.isValid())
            return named.decode(bytes);
        return QString::fromLatin1(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

bool isName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        const bool ok = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                        (c >= u'0' && c <= u'9') || c == u'-';
        if (!ok)
            return false;
    }
    return true;
}

// Splits at the first occurrence of a separator that is outside double quotes.
qsizetype unquotedIndex(const QByteArray& line, char separator, qsizetype from = 0)
{
    bool quoted = false;
    for (qsizetype i = from; i < line.size(); ++i) {
        if (line.at(i) == '"')
            quoted = !quoted;
        else if (!quoted && line.at(i) == separator)
            return i;
    }
    return -1;
}

QList<VCard::Param> parseParams(const QByteArray& text)
{
    QList<VCard::Param> params;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = unquotedIndex(text, ';', start);
        if (end < 0)
            end = text.size();
        const QByteArray item = text.mid(start, end - start);
        start = end + 1;
        if (item.isEmpty())
            continue;
        const qsizetype eq = item.indexOf('=');
        VCard::Param p;
        if (eq < 0) {
            p.name = QStringLiteral("TYPE");
            p.value = QString::fromUtf8(item);
        } else {
            p.name = QString::fromUtf8(item.left(eq)).trimmed().toUpper();
            p.value = QString::fromUtf8(item.mid(eq + 1));
        }
        if (p.value.size() >= 2 && p.value.startsWith(u'"') && p.value.endsWith(u'"'))
            p.value = p.value.mid(1, p.value.size() - 2);
        if (isName(p.name))
            params << p;
    }
    return params;
}

bool declaresQuotedPrintable(const QByteArray& line)
{
    const qsizetype colon = unquotedIndex(line, ':');
    const qsizetype semicolon = unquotedIndex(line, ';');
    if (colon < 0 || semicolon < 0 || semicolon > colon)
        return false;
    return isQuotedPrintable(parseParams(line.mid(semicolon + 1, colon - semicolon - 1)));
}

// Physical lines joined into logical ones: folding (CR LF and a blank) and the soft line breaks
// of quoted-printable values (a line ending in "=").
QList<QByteArray> logicalLines(const QByteArray& data)
{
    QList<QByteArray> physical = data.split('\n');
    for (QByteArray& line : physical) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    QList<QByteArray> lines;
    for (qsizetype i = 0; i < physical.size(); ++i) {
        const QByteArray& line = physical.at(i);
        if (!lines.isEmpty() && !line.isEmpty() && (line.at(0) == ' ' || line.at(0) == '\t')) {
            lines.last() += line.mid(1);
            continue;
        }
        lines << line;
        // A quoted-printable value continues on the next line, which is not indented, after a
        // "=". Only the property's own parameters say whether it is quoted-printable.
        if (declaresQuotedPrintable(line)) {
            while (lines.last().endsWith('=') && i + 1 < physical.size())
                lines.last() += "\r\n" + physical.at(++i);
        }
    }
    return lines;
}

QByteArray fold(const QByteArray& line)
{
    QByteArray out;
    qsizetype start = 0;
    qsizetype limit = 75;
    while (line.size() - start > limit) {
        qsizetype cut = start + limit;
        // Never inside a UTF-8 sequence.
        while (cut > start && (uchar(line.at(cut)) & 0xC0) == 0x80)
            --cut;
        out += line.mid(start, cut - start) + "\r\n ";
        start = cut;
        limit = 74;
    }
    return out + line.mid(start) + "\r\n";
}

} // namespace

bool VCard::Property::hasType(const QString& type) const
{
    for (const Param& p : params) {
        if (p.name != QLatin1String("TYPE"))
            continue;
        for (const QString& t : p.value.split(u','))
            if (t.trimmed().compare(type, Qt::CaseInsensitive) == 0)
                return true;
    }
    return false;
}

QList<VCard> VCard::parse(const QByteArray& data)
{
    QList<VCard> cards;
    VCard* current = nullptr;
    for (const QByteArray& line : logicalLines(data)) {
        const qsizetype colon = unquotedIndex(line, ':');
        if (colon < 0)
            continue;
        const QByteArray head = line.left(colon);
        QByteArray rawValue = line.mid(colon + 1);
        const qsizetype semicolon = unquotedIndex(head, ';');
        QByteArray name = (semicolon < 0 ? head : head.left(semicolon)).trimmed();
        const QString upperName = QString::fromUtf8(name).toUpper();
        if (upperName == QLatin1String("BEGIN") &&
            rawValue.trimmed().compare("VCARD", Qt::CaseInsensitive) == 0) {
            cards.append(VCard());
            current = &cards.last();
            continue;
        }
        if (!current)
            continue;
        if (upperName == QLatin1String("END")) {
            current = nullptr;
            continue;
        }
        Property p;
        const qsizetype dot = name.lastIndexOf('.');
        if (dot >= 0) {
            p.group = QString::fromUtf8(name.left(dot));
            name = name.mid(dot + 1);
        }
        p.name = QString::fromUtf8(name).toUpper();
        // A line whose name is not a name (noise, a broken export) is passed over: written back
        // it could end the card or start another.
        if (!isName(p.name) || (dot >= 0 && !isName(p.group)))
            continue;
        if (p.name == QLatin1String("VERSION"))
            continue; // written anew
        if (semicolon >= 0)
            p.params = parseParams(head.mid(semicolon + 1));
        QString charset;
        QList<Param> kept;
        for (const Param& param : std::as_const(p.params)) {
            if (param.name == QLatin1String("CHARSET"))
                charset = param.value;
            else if (!(param.name == QLatin1String("ENCODING") ||
                       param.name == QLatin1String("TYPE")) ||
                     param.value.compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) !=
                         0)
                kept << param;
        }
        if (isQuotedPrintable(p.params))
            rawValue = decodeQuotedPrintable(rawValue);
        p.params = kept;
        p.value = decodeText(rawValue, charset);
        // Line breaks that quoted-printable carried become the escaped \n of later versions.
        p.value.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
        p.value.replace(u'\n', QStringLiteral("\\n"));
        current->properties << p;
    }
    return cards;
}

QByteArray VCard::toVCard30() const
{
    QByteArray out = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    for (const Property& p : properties) {
        QByteArray line;
        if (!p.group.isEmpty())
            line += p.group.toUtf8() + '.';
        line += p.name.toUtf8();
        for (const Param& param : p.params) {
            // A parameter value cannot hold a double quote in any version; one that came in
            // (from a broken card) becomes an apostrophe rather than end the quoting early, and
            // rather than vanish and turn w"ork into a type it never was.
            QString value = param.value;
            value.replace(u'"', u'\'');
            const bool quote = value.contains(u':') || value.contains(u';');
            line += ';' + param.name.toUtf8() + '=' +
                    (quote ? '"' + value.toUtf8() + '"' : value.toUtf8());
        }
        line += ':' + p.value.toUtf8();
        out += fold(line);
    }
    return out + "END:VCARD\r\n";
}

QStringList VCard::components(const QString& escaped)
{
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QChar c = escaped.at(i);
        if (c == u'\\' && i + 1 < escaped.size()) {
            current += c;
            current += escaped.at(++i);
        } else if (c == u';') {
            parts << unescape(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts << unescape(current);
    return parts;
}

QString VCard::joined(const QStringList& parts)
{
    QStringList escaped;
    for (const QString& part : parts)
        escaped << escape(part);
    return escaped.join(u';');
}

QString VCard::unescape(const QString& escaped)
{
    QString text;
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QChar c = escaped.at(i);
        if (c != u'\\' || i + 1 == escaped.size()) {
            text += c;
            continue;
        }
        const QChar next = escaped.at(++i);
        text += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
    }
    return text;
}

QString VCard::escape(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == u'\\' || c == u';' || c == u',')
            out += u'\\';
        if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c != u'\r')
            out += c;
    }
    return out;
}

const VCard::Property* VCard::find(const QString& name) const
{
    for (const Property& p : properties)
        if (p.name == name)
            return &p;
    return nullptr;
}

VCard::Property& VCard::findOrAdd(const QString& name)
{
    for (Property& p : properties)
        if (p.name == name)
            return p;
    properties.append(Property{QString(), name, {}, QString()});
    return properties.last();
}

QString VCard::uid() const
{
    const Property* p = find(QStringLiteral("UID"));
    return p ? unescape(p->value) : QString();
}

QString VCard::lastName() const
{
    const Property* p = find(QStringLiteral("N"));
    return p ? components(p->value).value(0) : QString();
}

QString VCard::firstName() const
{
    const Property* p = find(QStringLiteral("N"));
    return p ? components(p->value).value(1) : QString();
}

QString VCard::company() const
{
    const Property* p = find(QStringLiteral("ORG"));
    return p ? components(p->value).value(0) : QString();
}

QStringList VCard::phones() const
{
    QStringList numbers;
    for (const Property& p : properties)
        if (p.name == QLatin1String("TEL"))
            numbers << unescape(p.value).remove(QStringLiteral("tel:"));
    return numbers;
}

QString VCard::businessPhone() const
{
    const Property* first = nullptr;
    for (const Property& p : properties) {
        if (p.name != QLatin1String("TEL"))
            continue;
        if (p.hasType(QStringLiteral("WORK")))
            return unescape(p.value).remove(QStringLiteral("tel:"));
        if (!first)
            first = &p;
    }
    return first ? unescape(first->value).remove(QStringLiteral("tel:")) : QString();
}

void VCard::setUid(const QString& uid)
{
    findOrAdd(QStringLiteral("UID")).value = escape(uid);
}

void VCard::setNames(const QString& last, const QString& first)
{
    Property& n = findOrAdd(QStringLiteral("N"));
    QStringList parts = components(n.value);
    while (parts.size() < 5)
        parts << QString();
    parts[0] = last;
    parts[1] = first;
    n.value = joined(parts);
    updateFullName();
}

void VCard::setCompany(const QString& company)
{
    Property& org = findOrAdd(QStringLiteral("ORG"));
    QStringList parts = components(org.value);
    parts[0] = company;
    org.value = joined(parts);
    updateFullName();
}

void VCard::updateFullName()
{
    // FN is what most programs list a contact by: the person's name, else the company's.
    QString full = (firstName() + u' ' + lastName()).trimmed();
    if (full.isEmpty())
        full = company();
    findOrAdd(QStringLiteral("FN")).value = escape(full);
}

void VCard::setBusinessPhone(const QString& number)
{
    Property* target = nullptr;
    for (Property& p : properties) {
        if (p.name != QLatin1String("TEL"))
            continue;
        if (p.hasType(QStringLiteral("WORK"))) {
            target = &p;
            break;
        }
        if (!target)
            target = &p;
    }
    if (!target) {
        properties.append(Property{QString(),
                                   QStringLiteral("TEL"),
                                   {Param{QStringLiteral("TYPE"), QStringLiteral("WORK,VOICE")}},
                                   QString()});
        target = &properties.last();
    }
    target->value = escape(number);
}
