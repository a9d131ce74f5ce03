#include "addressbook/VCard.h"

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
    // Most lines say nothing of it; only those that name it are parsed.
    bool named = false;
    for (qsizetype at = line.indexOf('-'); at >= 6 && !named; at = line.indexOf('-', at + 1))
        named = at + 10 <= line.size() &&
                qstrnicmp(line.constData() + at - 6, "QUOTED-PRINTABLE", 16) == 0;
    if (!named)
        return false;
    const qsizetype colon = unquotedIndex(line, ':');
    const qsizetype semicolon = unquotedIndex(line, ';');
    if (colon < 0 || semicolon < 0 || semicolon > colon)
        return false;
    return isQuotedPrintable(parseParams(line.mid(semicolon + 1, colon - semicolon - 1)));
}

// A line that begins a property of its own: a name of the vCard standards (or an X- one), with
// or without a group, then its parameters or its value. A quoted-printable value whose last
// soft line break is broken (a "=" at its very end) must not swallow the END of its card, nor a
// property written after it.
bool startsProperty(const QByteArray& line)
{
    static const QList<QByteArray> names = {
        "BEGIN",        "END",    "VERSION", "N",      "FN",          "ORG",    "TEL",
        "EMAIL",        "ADR",    "LABEL",   "NOTE",   "UID",         "REV",    "PRODID",
        "TITLE",        "ROLE",   "URL",     "BDAY",   "PHOTO",       "LOGO",   "NICKNAME",
        "CATEGORIES",   "GEO",    "TZ",      "KEY",    "SOUND",       "AGENT",  "MAILER",
        "SORT-STRING",  "CLASS",  "KIND",    "GENDER", "ANNIVERSARY", "LANG",   "IMPP",
        "RELATED",      "MEMBER", "SOURCE",  "XML",    "FBURL",       "CALURI", "CALADRURI",
        "CLIENTPIDMAP", "NAME",   "PROFILE"};
    qsizetype end = 0;
    while (end < line.size() && line.at(end) != ':' && line.at(end) != ';')
        ++end;
    if (end == line.size())
        return false;
    QByteArray name = line.left(end).toUpper();
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0)
        name = name.mid(dot + 1);
    return name.startsWith("X-") ? isName(QString::fromLatin1(name)) : names.contains(name);
}

struct LogicalLine
{
    QByteArray text;
    qsizetype begin; // the bytes it was read from, line ends included
    qsizetype end;
};

// Physical lines joined into logical ones: folding (a line end and a blank) and the soft line
// breaks of quoted-printable values (a line ending in "=").
QList<LogicalLine> logicalLines(const QByteArray& data)
{
    // The physical lines point into the data: only a line that is changed gets bytes of its own.
    QList<LogicalLine> physical;
    for (qsizetype pos = 0; pos < data.size();) {
        const qsizetype newline = data.indexOf('\n', pos);
        const qsizetype end = newline < 0 ? data.size() : newline + 1;
        qsizetype textEnd = newline < 0 ? data.size() : newline;
        if (textEnd > pos && data.at(textEnd - 1) == '\r')
            --textEnd;
        physical.append({QByteArray::fromRawData(data.constData() + pos, textEnd - pos), pos, end});
        pos = end;
    }
    QList<LogicalLine> lines;
    for (qsizetype i = 0; i < physical.size(); ++i) {
        const LogicalLine& line = physical.at(i);
        if (!lines.isEmpty() && !line.text.isEmpty() &&
            (line.text.at(0) == ' ' || line.text.at(0) == '\t')) {
            lines.last().text += line.text.mid(1);
            lines.last().end = line.end;
            continue;
        }
        lines << line;
        // A quoted-printable value continues on the next line, which is not indented, after a
        // "=". Only the property's own parameters say whether it is quoted-printable.
        if (declaresQuotedPrintable(line.text)) {
            while (lines.last().text.endsWith('=') && i + 1 < physical.size() &&
                   !startsProperty(physical.at(i + 1).text)) {
                lines.last().text += "\r\n" + physical.at(++i).text;
                lines.last().end = physical.at(i).end;
            }
        }
    }
    return lines;
}

QByteArray fold(const QByteArray& line, const QByteArray& lineEnd)
{
    QByteArray out;
    qsizetype start = 0;
    qsizetype limit = 75;
    while (line.size() - start > limit) {
        qsizetype cut = start + limit;
        // Never inside a UTF-8 sequence.
        while (cut > start && (uchar(line.at(cut)) & 0xC0) == 0x80)
            --cut;
        out += line.mid(start, cut - start) + lineEnd + ' ';
        start = cut;
        limit = 74;
    }
    return out + line.mid(start) + lineEnd;
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
    for (const LogicalLine& logical : logicalLines(data)) {
        const QByteArray& line = logical.text;
        const QByteArray raw = data.mid(logical.begin, logical.end - logical.begin);
        const qsizetype colon = unquotedIndex(line, ':');
        const QByteArray head = colon < 0 ? QByteArray() : line.left(colon);
        QByteArray rawValue = line.mid(colon + 1);
        const qsizetype semicolon = unquotedIndex(head, ';');
        QByteArray name = (semicolon < 0 ? head : head.left(semicolon)).trimmed();
        const QString upperName = QString::fromUtf8(name).toUpper();
        if (upperName == QLatin1String("BEGIN") &&
            rawValue.trimmed().compare("VCARD", Qt::CaseInsensitive) == 0) {
            if (current)
                current->rawEnd = logical.begin; // a card without its END
            cards.append(VCard());
            current = &cards.last();
            current->beginRaw = raw;
            current->rawBegin = logical.begin;
            continue;
        }
        if (!current)
            continue;
        if (upperName == QLatin1String("END")) {
            current->endRaw = raw;
            current->rawEnd = logical.end;
            current = nullptr;
            continue;
        }
        Property p;
        p.raw = raw;
        const qsizetype dot = name.lastIndexOf('.');
        if (dot >= 0) {
            p.group = QString::fromUtf8(name.left(dot));
            name = name.mid(dot + 1);
        }
        const QString upper = QString::fromUtf8(name).toUpper();
        // A line whose name is not a name (noise, a broken export) is kept only as the bytes it
        // was: written anew it could end the card or start another.
        if (colon < 0 || !isName(upper) || (dot >= 0 && !isName(p.group))) {
            current->properties << Property{QString(), QString(), {}, QString(), raw};
            continue;
        }
        p.name = upper;
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
        if (p.name == QLatin1String("VERSION"))
            current->version = p.value.trimmed();
        current->properties << p;
    }
    if (current)
        current->rawEnd = data.size();
    return cards;
}

QByteArray VCard::serialize() const
{
    // A 2.1 card is written as 3.0 whole: its quoted-printable and charsets are decoded already.
    const bool convert = version == QLatin1String("2.1");
    const bool fresh = beginRaw.isEmpty() || convert;
    const QByteArray lineEnd =
        beginRaw.isEmpty() || beginRaw.endsWith("\r\n") ? QByteArrayLiteral("\r\n") : "\n";
    QByteArray out = fresh ? "BEGIN:VCARD" + lineEnd : beginRaw;
    if (beginRaw.isEmpty() && !find(QStringLiteral("VERSION")))
        out += "VERSION:3.0" + lineEnd;
    for (const Property& p : properties) {
        if (p.name.isEmpty()) {
            if (!convert)
                out += p.raw;
            continue;
        }
        if (!p.raw.isEmpty() && !convert) {
            out += p.raw;
            continue;
        }
        // A line read without its line end (the last of a file) gets one before a new line.
        if (!out.endsWith('\n'))
            out += lineEnd;
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
        const bool versionLine = p.name == QLatin1String("VERSION");
        line += ':' + (versionLine && convert ? QByteArrayLiteral("3.0") : p.value.toUtf8());
        out += fold(line, lineEnd);
    }
    if (endRaw.isEmpty() || convert) {
        if (!out.endsWith('\n'))
            out += lineEnd;
        return out + "END:VCARD" + lineEnd;
    }
    return out + endRaw;
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
    properties.append(Property{QString(), name, {}, QString(), QByteArray()});
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

void VCard::setValue(const QString& name, const QString& escaped)
{
    Property& p = findOrAdd(name);
    if (p.value == escaped && !p.raw.isEmpty())
        return;
    p.value = escaped;
    p.raw.clear();
}

void VCard::setUid(const QString& uid)
{
    setValue(QStringLiteral("UID"), escape(uid));
}

QString VCard::fullName() const
{
    const Property* p = find(QStringLiteral("FN"));
    return p ? unescape(p->value) : QString();
}

void VCard::setFullName(const QString& name)
{
    setValue(QStringLiteral("FN"), escape(name));
}

void VCard::setRevision(const QDateTime& when)
{
    setValue(QStringLiteral("REV"), when.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")));
}

void VCard::setProductId(const QString& id)
{
    setValue(QStringLiteral("PRODID"), escape(id));
}

QString VCard::nameFromFields() const
{
    const QString person = (firstName() + u' ' + lastName()).trimmed();
    return person.isEmpty() ? company() : person;
}

void VCard::followFullName(const QString& before)
{
    const QString full = fullName();
    if (full.isEmpty() || full == before)
        setFullName(nameFromFields());
}

void VCard::setNames(const QString& last, const QString& first)
{
    const Property* old = find(QStringLiteral("N"));
    if (lastName() == last && firstName() == first && (old || (last + first).isEmpty()))
        return; // nothing changes, and no empty N is added to a card that has none
    const QString before = nameFromFields();
    QStringList parts = old ? components(old->value) : QStringList();
    while (parts.size() < 5)
        parts << QString();
    parts[0] = last;
    parts[1] = first;
    setValue(QStringLiteral("N"), joined(parts));
    followFullName(before);
}

void VCard::ensureName()
{
    if (!find(QStringLiteral("N")))
        setValue(QStringLiteral("N"), QStringLiteral(";;;;"));
}

void VCard::setCompany(const QString& company)
{
    const Property* old = find(QStringLiteral("ORG"));
    if (old ? this->company() == company : company.isEmpty())
        return;
    const QString before = nameFromFields();
    QStringList parts = old ? components(old->value) : QStringList{QString()};
    parts[0] = company;
    setValue(QStringLiteral("ORG"), joined(parts));
    followFullName(before);
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
        if (number.isEmpty())
            return;
        properties.append(Property{QString(),
                                   QStringLiteral("TEL"),
                                   {Param{QStringLiteral("TYPE"), QStringLiteral("WORK,VOICE")}},
                                   QString(),
                                   QByteArray()});
        target = &properties.last();
    }
    if (businessPhone() == number)
        return;
    // A telephone is not text: its value is written as it stands, without text escapes. A tel:
    // URI stays one, blanks becoming the hyphens a URI allows.
    bool uri = target->value.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive);
    for (const Param& param : std::as_const(target->params))
        uri = uri || (param.name == QLatin1String("VALUE") &&
                      param.value.compare(QLatin1String("uri"), Qt::CaseInsensitive) == 0);
    QString value = number;
    value.remove(u'\r').replace(u'\n', u' ');
    if (uri)
        value = QStringLiteral("tel:") + value.simplified().replace(u' ', u'-');
    target->value = value;
    target->raw.clear();
}
