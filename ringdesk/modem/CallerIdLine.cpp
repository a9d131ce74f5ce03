#include "modem/CallerIdLine.h"

#include "common/CleanText.h"

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

MesgDigits decodeMesg(const QString& value)
{
    const QString w = value.mid(2);
    // The count reads the leading hexadecimal characters of its two; none reads as 0.
    int count = 0;
    for (const QChar c : w.left(2)) {
        const int digit = QString(c).toInt(nullptr, 16);
        const bool isHex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!isHex)
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

QString dateText(const QString& value)
{
    return value.mid(0, 2) + u'/' + value.mid(2, 2);
}

QString timeText(const QString& value)
{
    return value.mid(0, 2) + u':' + value.mid(2, 2);
}

} // namespace CallerIdLine
