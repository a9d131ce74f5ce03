#include "numbers/NumberPlan.h"

#include "common/SettingsTable.h"
#include "numbers/PhoneNumber.h"

#include <QRegularExpression>
#include <map>
#include <mutex>
#include <phonenumbers/phonenumberutil.h>

using i18n::phonenumbers::PhoneNumberUtil;
using LibNumber = i18n::phonenumbers::PhoneNumber;

namespace {

PhoneNumberUtil& util()
{
    return *PhoneNumberUtil::GetInstance();
}

// An extension ("x22", "ext. 22", ";ext=22", "#22") is not part of the number that rings.
QString withoutExtension(const QString& number)
{
    static const QRegularExpression extension(
        QStringLiteral("(?<=[\\d\\s)])\\s*(?:;\\s*ext\\s*=|ext\\.?|x\\.?|#)\\s*\\d+\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const qsizetype cut = number.indexOf(extension);
    return cut >= 0 ? number.left(cut) : number;
}

// The trunk prefix ("0") when a national number of the region is its E.164 number behind it: the
// country code in its place is all parsing would do. Tried on the region's example numbers, as
// some countries do more (Argentina's mobile numbers, say); empty where that is not so. Known
// once per region: parsing takes tens of microseconds, and an address book holds tens of
// thousands of numbers.
QString strippedTrunkPrefix(const QString& region)
{
    static std::mutex mutex;
    static std::map<QString, QString> known;
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = known.find(region);
    if (found != known.end())
        return found->second;
    std::string prefix;
    const std::string code = region.toStdString();
    util().GetNddPrefixForRegion(code, true, &prefix);
    bool holds = !prefix.empty();
    for (const auto type : {PhoneNumberUtil::FIXED_LINE, PhoneNumberUtil::MOBILE}) {
        LibNumber example;
        if (!holds || !util().GetExampleNumberForType(code, type, &example))
            continue;
        std::string national;
        std::string e164;
        util().Format(example, PhoneNumberUtil::NATIONAL, &national);
        util().Format(example, PhoneNumberUtil::E164, &e164);
        const QString digits = PhoneNumber::digits(QString::fromStdString(national));
        holds =
            digits.startsWith(QString::fromStdString(prefix)) &&
            u'+' + QString::number(example.country_code()) + digits.mid(qsizetype(prefix.size())) ==
                QString::fromStdString(e164);
    }
    return known[region] = holds ? QString::fromStdString(prefix) : QString();
}

} // namespace

NumberPlan::NumberPlan(const QString& country, const QString& areaCode)
    : m_country(country.trimmed().toUpper()), m_areaCode(areaCode),
      m_areaDigits(PhoneNumber::digits(areaCode))
{
    if (m_country.isEmpty())
        m_country = systemCountry();
    // What British users type is the code of the United Kingdom.
    if (m_country == u"UK")
        m_country = QStringLiteral("GB");
    m_countryCode = util().GetCountryCodeForRegion(m_country.toStdString());
    if (m_countryCode == 0) {
        // A code libphonenumber does not know reads numbers as the United States does.
        m_country = QStringLiteral("US");
        m_countryCode = 1;
    }
    m_trunkPrefix = strippedTrunkPrefix(m_country);
    std::string national;
    util().GetNddPrefixForRegion(m_country.toStdString(), true, &national);
    m_nationalPrefix = QString::fromStdString(national);
}

QString NumberPlan::systemCountry()
{
    return Settings::systemCountry();
}

namespace {

// Longer than any number of any plan (E.164 allows 15 digits, with an extension a little more):
// such a text is not read as a number. It is the caller who chooses what a caller-ID number
// holds, and the number library's reading grows with the square of its length.
bool tooLong(const QString& text)
{
    return text.size() > NumberPlan::LongestNumber;
}

// The number a text stands for in the given region, or nothing. A number that is not valid as
// dialled within the country but is with a "+" in front came from abroad with its country code
// alone.
bool parse(const QString& text, const QString& region, LibNumber* number, bool* valid)
{
    const std::string digits = text.toStdString();
    const std::string regionCode = region.toStdString();
    const bool parsed =
        util().Parse(digits, regionCode, number) == PhoneNumberUtil::NO_PARSING_ERROR;
    *valid = parsed && util().IsValidNumber(*number);
    if (*valid)
        return true;
    if (!text.startsWith(u'+')) {
        LibNumber abroad;
        if (util().Parse("+" + digits, regionCode, &abroad) == PhoneNumberUtil::NO_PARSING_ERROR &&
            util().IsValidNumber(abroad)) {
            *number = abroad;
            *valid = true;
            return true;
        }
    }
    return parsed && util().IsPossibleNumber(*number);
}

QString format(const LibNumber& number, PhoneNumberUtil::PhoneNumberFormat form)
{
    std::string out;
    util().Format(number, form, &out);
    return QString::fromStdString(out);
}

} // namespace

QString NumberPlan::display(const QString& received) const
{
    const QString digits = PhoneNumber::digits(received);
    if (digits.isEmpty() || digits.size() != received.size() || tooLong(received))
        return received;
    if (northAmerican()) {
        // Ten digits, eleven with the 1, and seven for the area code keep the layout they had;
        // so does whatever cannot be read as a number from abroad.
        const bool domestic = digits.size() == 7 || digits.size() == 10 ||
                              (digits.size() == 11 && digits.startsWith(u'1'));
        LibNumber number;
        bool valid = false;
        if (!domestic && parse(digits, m_country, &number, &valid) && valid &&
            number.country_code() != 1)
            return format(number, PhoneNumberUtil::INTERNATIONAL);
        // Eleven digits without the leading 1 are no number of the plan: the layout would make
        // up a country code ("+0 (207) 946-0958").
        if (digits.size() == 11 && !digits.startsWith(u'1'))
            return received;
        return PhoneNumber::formatNumber(digits, m_areaCode);
    }
    LibNumber number;
    bool valid = false;
    if (!parse(digits, m_country, &number, &valid))
        return received;
    return format(number, int(number.country_code()) == m_countryCode
                              ? PhoneNumberUtil::NATIONAL
                              : PhoneNumberUtil::INTERNATIONAL);
}

QString NumberPlan::e164(const QString& number) const
{
    const QString text = withoutExtension(number).trimmed();
    QString digits = PhoneNumber::digits(text);
    if (digits.isEmpty() || tooLong(number.trimmed()))
        return QString();
    if (northAmerican() && !text.startsWith(u'+')) {
        // The common North American shapes need no parser, and a seven-digit number is the
        // area code's.
        if (digits.size() == 7 && !m_areaDigits.isEmpty())
            digits.prepend(m_areaDigits);
        if (digits.size() == 10)
            return QStringLiteral("+1") + digits;
        if (digits.size() == 11 && digits.startsWith(u'1'))
            return u'+' + digits;
    }
    // A national number behind the trunk prefix, where that is all there is to it; a second
    // prefix digit would be the international prefix ("00").
    if (!m_trunkPrefix.isEmpty() && !text.startsWith(u'+') && digits.startsWith(m_trunkPrefix) &&
        digits.size() > m_trunkPrefix.size() + 4 && digits.at(m_trunkPrefix.size()) != u'0' &&
        PhoneNumber::writtenAsNumber(text))
        return u'+' + QString::number(m_countryCode) + digits.mid(m_trunkPrefix.size());
    // A number written the international way is its digits, unless it keeps the national
    // prefix in parentheses ("+44 (0)20 ...").
    if (text.startsWith(u'+') && !text.contains(QLatin1String("(0)")) &&
        PhoneNumber::writtenAsNumber(text))
        return u'+' + digits;
    LibNumber parsed;
    bool valid = false;
    if (!parse(text, m_country, &parsed, &valid))
        return QString();
    return format(parsed, PhoneNumberUtil::E164);
}

bool NumberPlan::exists(const QString& e164) const
{
    LibNumber number;
    return e164.startsWith(u'+') && !tooLong(e164) &&
           util().Parse(e164.toStdString(), m_country.toStdString(), &number) ==
               PhoneNumberUtil::NO_PARSING_ERROR &&
           util().IsValidNumber(number);
}

QString NumberPlan::key(const QString& number) const
{
    const QString digits = PhoneNumber::digits(withoutExtension(number));
    if (northAmerican() && m_areaDigits.isEmpty() && digits.size() == 7 &&
        !number.trimmed().startsWith(u'+'))
        return digits;
    const QString e = e164(number);
    return e.isEmpty() ? digits : e;
}

QString NumberPlan::e164Prefix(const QString& prefix) const
{
    const QString text = prefix.trimmed();
    const QString digits = PhoneNumber::digits(text);
    if (digits.isEmpty() || tooLong(text))
        return QString();
    if (text.startsWith(u'+'))
        return u'+' + digits;
    const QString country = QString::number(m_countryCode);
    if (northAmerican()) {
        if (digits.startsWith(QLatin1String("011")))
            return u'+' + digits.mid(3);
        return digits.startsWith(u'1') ? u'+' + digits : QStringLiteral("+1") + digits;
    }
    if (digits.startsWith(QLatin1String("00")))
        return u'+' + digits.mid(2);
    if (!m_nationalPrefix.isEmpty() && digits.startsWith(m_nationalPrefix))
        return u'+' + country + digits.mid(m_nationalPrefix.size());
    return u'+' + country + digits;
}

QString NumberPlan::international(const QString& number) const
{
    if (tooLong(number.trimmed()))
        return number;
    LibNumber parsed;
    bool valid = false;
    QString text = withoutExtension(number).trimmed();
    const QString digits = PhoneNumber::digits(text);
    if (northAmerican() && digits.size() == 7 && !m_areaDigits.isEmpty() && !text.startsWith(u'+'))
        text = m_areaDigits + digits;
    if (!parse(text, m_country, &parsed, &valid))
        return number;
    return format(parsed, PhoneNumberUtil::INTERNATIONAL);
}
