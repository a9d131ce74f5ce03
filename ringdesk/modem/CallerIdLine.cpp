#include "modem/CallerIdLine.h"

#include "common/CleanText.h"
#include "numbers/PhoneNumber.h"

#include <QRegularExpression>

namespace CallerIdLine {

QString value(const QString& line)
{
    // Characters are counted from the one after the four-letter keyword.
    qsizetype p = 4;
    while (p < line.size() && line.at(p) != u'=')
        ++p;
    if (p >= line.size())
        return QString();
    ++p;
    while (p < line.size() && line.at(p) == u' ')
        ++p;
    return CleanText::field(line.mid(p));
}

QStringList fields(const QString& line)
{
    // A keyword with its "=" starts a field wherever it stands: some modems glue a field to the
    // value before it ("NAME=ONMBR=5072884388").
    static const QRegularExpression tag(
        QStringLiteral("(?:DDN_NMBR|DATE|TIME|NMBR|NAME|MESG)\\s*="));
    QStringList parts;
    QString rest = line;
    while (rest.startsWith(QLatin1String("RING"))) {
        parts << QStringLiteral("RING");
        rest = rest.mid(4).trimmed();
    }
    if (!parts.isEmpty() && rest.isEmpty())
        return parts.size() == 1 ? QStringList{line} : parts;
    qsizetype start = 0;
    QRegularExpressionMatchIterator it = tag.globalMatch(rest);
    if (!it.hasNext() || it.peekNext().capturedStart() != 0)
        return {line};
    it.next();
    while (it.hasNext()) {
        const qsizetype next = it.next().capturedStart();
        parts << rest.mid(start, next - start).trimmed();
        start = next;
    }
    parts << rest.mid(start);
    return parts;
}

namespace {

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - '0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - 'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - 'A' + 10;
    return -1;
}

// The bytes of hexadecimal text, as far as it is hexadecimal.
QByteArray bytesOf(QStringView hex)
{
    QByteArray bytes;
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2) {
        const int high = hexDigit(hex.at(i));
        const int low = hexDigit(hex.at(i + 1));
        if (high < 0 || low < 0)
            break;
        bytes.append(char(high * 16 + low));
    }
    return bytes;
}

} // namespace

MesgDigits decodeMesg(const QString& value)
{
    const QString w = value.mid(2);
    // The count reads the leading hexadecimal characters of its two; none reads as 0.
    int count = 0;
    for (const QChar c : w.left(2)) {
        const int digit = hexDigit(c);
        if (digit < 0)
            break;
        count = count * 16 + digit;
    }
    MesgDigits result;
    if (count == 1)
        return result;
    result.hasNumber = true;
    qsizetype q = 3; // the second character of the first data byte
    for (int i = 0; i < count; ++i, q += 2)
        result.digits += w.mid(q, 1);
    return result;
}

Parameter mesgParameter(const QString& value)
{
    const QByteArray bytes = bytesOf(value);
    Parameter parameter;
    if (bytes.size() < 2)
        return parameter;
    parameter.type = quint8(bytes.at(0));
    parameter.data = bytes.mid(2, quint8(bytes.at(1)));
    return parameter;
}

std::optional<QList<Parameter>> packet(const QString& line)
{
    static const QRegularExpression hex(QStringLiteral("^(?:04|80)(?:[0-9A-Fa-f]{2}){4,}$"));
    if (!hex.match(line).hasMatch())
        return std::nullopt;
    const QByteArray bytes = bytesOf(line);
    const QByteArray body = bytes.mid(2, quint8(bytes.at(1)));
    QList<Parameter> parameters;
    if (bytes.at(0) == 0x04) {
        // Eight characters of date and time, then the number or the reason it is absent.
        parameters.append({Parameter::DateTime, body.left(8)});
        const QByteArray number = body.mid(8);
        const bool absent = number == "P" || number == "O";
        parameters.append({absent ? Parameter::NumberAbsent : Parameter::Number, number});
        return parameters;
    }
    // Parameters as far as the line holds them: some modems count the length short, and the
    // checksum that ends the line is no parameter.
    for (qsizetype at = 2; at + 1 < bytes.size();) {
        const int length = quint8(bytes.at(at + 1));
        if (at + 2 + length > bytes.size())
            break;
        parameters.append({quint8(bytes.at(at)), bytes.mid(at + 2, length)});
        at += 2 + length;
    }
    return parameters;
}

QString dateText(const QString& value)
{
    const QString digits = PhoneNumber::digits(value);
    if (digits.isEmpty())
        return QString();
    QString monthDay = digits.left(4);
    if (digits.size() == 6) {
        // MMDDYY unless only YYMMDD reads as a date.
        auto valid = [](QStringView month, QStringView day) {
            return month.toInt() >= 1 && month.toInt() <= 12 && day.toInt() >= 1 &&
                   day.toInt() <= 31;
        };
        const QStringView d(digits);
        if (!valid(d.sliced(0, 2), d.sliced(2, 2)) && valid(d.sliced(2, 2), d.sliced(4, 2)))
            monthDay = digits.mid(2, 4);
    } else if (digits.size() != 4 && digits.size() < 8) {
        monthDay = value; // read by position, as it came
    }
    return monthDay.mid(0, 2) + u'/' + monthDay.mid(2, 2);
}

QString timeText(const QString& value)
{
    const QString digits = PhoneNumber::digits(value);
    if (digits.isEmpty())
        return QString();
    const QString hourMinute = digits.size() == 4 ? digits : value;
    return hourMinute.mid(0, 2) + u':' + hourMinute.mid(2, 2);
}

QString timeInDate(const QString& value)
{
    const QString digits = PhoneNumber::digits(value);
    return digits.size() >= 8 ? timeText(digits.mid(4, 4)) : QString();
}

} // namespace CallerIdLine
