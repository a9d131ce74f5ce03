#include "addressbook/ContactFilter.h"

#include "addressbook/VCard.h"

#include <QRegularExpression>

namespace {

const QStringList knownProperties = {QStringLiteral("FirstName"), QStringLiteral("LastName"),
                                     QStringLiteral("CompanyName"),
                                     QStringLiteral("BusinessTelephoneNumber")};

class Reader
{
public:
    explicit Reader(const QString& text) : m_text(text) {}

    void skipBlanks()
    {
        while (m_at < m_text.size() && m_text.at(m_at).isSpace())
            ++m_at;
    }
    bool atEnd()
    {
        skipBlanks();
        return m_at >= m_text.size();
    }
    bool take(QChar c)
    {
        skipBlanks();
        if (m_at < m_text.size() && m_text.at(m_at) == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool takeWord(const QString& word)
    {
        skipBlanks();
        if (m_text.mid(m_at, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            return false;
        const qsizetype after = m_at + word.size();
        if (after < m_text.size() && !m_text.at(after).isSpace())
            return false;
        m_at = after;
        return true;
    }
    std::optional<QString> until(QChar end)
    {
        const qsizetype close = m_text.indexOf(end, m_at);
        if (close < 0)
            return std::nullopt;
        const QString part = m_text.mid(m_at, close - m_at);
        m_at = close + 1;
        return part;
    }
    std::optional<QString> quoted()
    {
        if (!take(u'"'))
            return std::nullopt;
        QString value;
        while (m_at < m_text.size()) {
            const QChar c = m_text.at(m_at++);
            if (c != u'"') {
                value += c;
                continue;
            }
            if (m_at < m_text.size() && m_text.at(m_at) == u'"') {
                value += c;
                ++m_at;
                continue;
            }
            return value;
        }
        return std::nullopt;
    }

private:
    const QString& m_text;
    qsizetype m_at = 0;
};

} // namespace

std::optional<ContactFilter> ContactFilter::parse(const QString& text)
{
    ContactFilter filter;
    Reader in(text);
    do {
        if (!in.take(u'['))
            return std::nullopt;
        const std::optional<QString> name = in.until(u']');
        if (!name)
            return std::nullopt;
        QString property;
        for (const QString& known : knownProperties)
            if (known.compare(name->trimmed(), Qt::CaseInsensitive) == 0)
                property = known;
        if (property.isEmpty() || !in.take(u'='))
            return std::nullopt;
        const std::optional<QString> value = in.quoted();
        if (!value)
            return std::nullopt;
        filter.terms << Term{property, *value};
    } while (in.takeWord(QStringLiteral("and")));
    if (!in.atEnd() || filter.terms.isEmpty())
        return std::nullopt;
    return filter;
}

QString ContactFilter::digits(const QString& number)
{
    QString only;
    for (const QChar c : number)
        if (c.isDigit())
            only += c;
    return only;
}

QString ContactFilter::comparableNumber(const QString& number, const QString& areaCode)
{
    static const QRegularExpression extension(
        QStringLiteral("(?<=[\\d\\s)])\\s*(?:;\\s*ext\\s*=|ext\\.?|x\\.?|#)\\s*\\d+\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    QString text = number;
    const qsizetype cut = text.indexOf(extension);
    if (cut >= 0)
        text.truncate(cut);
    QString only = digits(text);
    if (only.size() == 11 && only.startsWith(u'1'))
        only.remove(0, 1);
    const QString area = digits(areaCode);
    if (only.size() == 7 && !area.isEmpty())
        only.prepend(area);
    return only;
}

bool ContactFilter::matches(const VCard& card, const QString& areaCode) const
{
    for (const Term& term : terms) {
        if (term.property == QLatin1String("BusinessTelephoneNumber")) {
            const QString wanted = comparableNumber(term.value, areaCode);
            if (wanted.isEmpty())
                return false;
            bool any = false;
            for (const QString& phone : card.phones())
                any = any || comparableNumber(phone, areaCode) == wanted;
            if (!any)
                return false;
            continue;
        }
        const QString have = term.property == QLatin1String("FirstName")  ? card.firstName()
                             : term.property == QLatin1String("LastName") ? card.lastName()
                                                                          : card.company();
        if (have.compare(term.value, Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}
