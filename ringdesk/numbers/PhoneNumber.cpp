#include "numbers/PhoneNumber.h"

namespace PhoneNumber {

QString formatNumber(const QString& text, const QString& areaCode)
{
    // Positions count from 1; reading past the end yields nothing.
    auto at = [&text](qsizetype position, qsizetype count) {
        return text.mid(position - 1, count);
    };

    QString result;
    qsizetype length = text.size();
    qsizetype p = 1;
    if (length == 11) {
        result = u'+' + at(1, 1) + u' ';
        p = 2;
    }
    if (length == 10)
        result = QStringLiteral("+1 ");
    if (length >= 7) {
        result += u'(';
        if (length == 7) {
            result += areaCode;
        } else {
            result += at(p, 3);
            p += 3;
            length -= 3;
        }
        result += QStringLiteral(") ");
    }
    for (qsizetype k = 1; k <= length; ++k) {
        if (k == 4 && length >= 7)
            result += u'-';
        result += at(p, 1);
        ++p;
    }
    return result;
}

QString searchNumberWithPrefix(const QString& number)
{
    return number.size() <= 14 ? QStringLiteral("+1 ") + number : number;
}

QString searchNumberWithoutPrefix(const QString& number)
{
    return number.size() > 14 ? number.mid(3) : number;
}

QString digits(const QString& text)
{
    QString only;
    for (const QChar c : text)
        if (c.isDigit())
            only += c;
    return only;
}

bool writtenAsNumber(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!((c >= u'0' && c <= u'9') || c == u' ' || c == u'(' || c == u')' || c == u'.' ||
              c == u'/' || c == u'-' || (c == u'+' && i == 0)))
            return false;
    }
    return true;
}

} // namespace PhoneNumber
