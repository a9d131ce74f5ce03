#include "common/Conversions.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace Conversions {

std::optional<double> toNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    // The C locale reads "1.5" and "1e3" but refuses "nan", "inf", thousands separators and hex.
    for (const QChar c : trimmed) {
        if (!(c.isDigit() || c == u'.' || c == u'+' || c == u'-' || c == u'e' || c == u'E'))
            return std::nullopt;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint16> toInt16(const QString& text)
{
    const std::optional<double> value = toNumber(text);
    if (!value)
        return std::nullopt;
    // nearbyint rounds in the current mode, which is round-half-to-even unless someone changed it.
    const double rounded = std::nearbyint(*value);
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

std::optional<bool> toTruth(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    const std::optional<double> value = toNumber(trimmed);
    if (!value)
        return std::nullopt;
    return *value != 0.0;
}

bool numericEquals(const QString& text, double value)
{
    const std::optional<double> number = toNumber(text);
    return number && *number == value;
}

double leadingNumber(const QString& text)
{
    QString compact;
    compact.reserve(text.size());
    for (const QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n')
            compact.append(c);
    }

    qsizetype i = 0;
    const qsizetype n = compact.size();
    auto digitAt = [&](qsizetype k) {
        return k < n && compact.at(k).isDigit() && compact.at(k).unicode() < 128;
    };
    if (i < n && (compact.at(i) == u'+' || compact.at(i) == u'-'))
        ++i;
    qsizetype digits = 0;
    while (digitAt(i)) {
        ++i;
        ++digits;
    }
    if (i < n && compact.at(i) == u'.') {
        ++i;
        while (digitAt(i)) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    qsizetype end = i;
    // An exponent counts only when digits follow it: "1e" reads as 1.
    if (i < n && (compact.at(i) == u'e' || compact.at(i) == u'E')) {
        qsizetype k = i + 1;
        if (k < n && (compact.at(k) == u'+' || compact.at(k) == u'-'))
            ++k;
        if (digitAt(k)) {
            while (digitAt(k))
                ++k;
            end = k;
        }
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(compact.left(end), &ok);
    if (!ok || !std::isfinite(value))
        return 0.0;
    return value;
}

QString shortestDecimal(double value)
{
    if (value == 0.0 || !std::isfinite(value))
        return QStringLiteral("0");
    // Fixed notation keeps ordinary values readable as plain digits; only huge or tiny values,
    // which nobody types on purpose, fall back to an exponent.
    const double magnitude = std::fabs(value);
    const char format = (magnitude >= 1e15 || magnitude < 1e-6) ? 'g' : 'f';
    return QString::number(value, format, QLocale::FloatingPointShortest);
}

QString truthText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace Conversions
