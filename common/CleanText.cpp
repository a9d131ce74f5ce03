#include "common/CleanText.h"

namespace CleanText {

namespace {

bool isLineEnd(char16_t c)
{
    return c == u'\r' || c == u'\n' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isDropped(char16_t c)
{
    return (c < 0x20 && c != u'\t') || (c >= 0x7f && c <= 0x9f) || (c >= 0x202a && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

bool isClean(QStringView text)
{
    for (const QChar c : text)
        if (isLineEnd(c.unicode()) || isDropped(c.unicode()))
            return false;
    return true;
}

QString field(const QString& text)
{
    if (isClean(text))
        return text;
    QString clean;
    clean.reserve(text.size());
    bool inLineEnd = false;
    for (const QChar c : text) {
        if (isLineEnd(c.unicode())) {
            if (!inLineEnd)
                clean += u' ';
            inLineEnd = true;
            continue;
        }
        if (isDropped(c.unicode()))
            continue;
        inLineEnd = false;
        clean += c;
    }
    return clean;
}

QString truncated(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    qsizetype cut = qMax<qsizetype>(length, 0);
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut);
}

} // namespace CleanText
