#include "calls/CallerName.h"

#include <QStringList>

namespace {

QString withoutTrailingSpaces(QString text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == u' ')
        --end;
    text.truncate(end);
    return text;
}

} // namespace

bool CallerName::isCompany(const QString& name)
{
    // The forms of the English- and German-speaking countries and their neighbours that a
    // caller-ID service passes on. Words that are also people's names ("AB", "AS") are left out:
    // a person taken for a company is worse than the other way round.
    static const QStringList forms = {
        QStringLiteral("AG"),      QStringLiteral("BV"),      QStringLiteral("CO"),
        QStringLiteral("COMPANY"), QStringLiteral("CORP"),    QStringLiteral("CORPORATION"),
        QStringLiteral("GMBH"),    QStringLiteral("INC"),     QStringLiteral("INCORPORATED"),
        QStringLiteral("KG"),      QStringLiteral("LIMITED"), QStringLiteral("LLC"),
        QStringLiteral("LLP"),     QStringLiteral("LTD"),     QStringLiteral("NV"),
        QStringLiteral("OY"),      QStringLiteral("PLC"),     QStringLiteral("PTY"),
        QStringLiteral("SA"),      QStringLiteral("SARL"),    QStringLiteral("SAS"),
        QStringLiteral("SPA"),     QStringLiteral("SRL"),     QStringLiteral("ULC")};
    const QString trimmed = name.trimmed();
    const qsizetype space = trimmed.lastIndexOf(u' ');
    if (space <= 0)
        return false;
    QString last = trimmed.mid(space + 1);
    last.remove(u'.').remove(u',');
    return forms.contains(last, Qt::CaseInsensitive);
}

CallerName CallerName::split(const QString& name)
{
    CallerName names;
    if (isCompany(name)) {
        names.company = name.trimmed();
        return names;
    }
    const qsizetype space = name.indexOf(u' ');
    if (space < 0) {
        names.last = name;
    } else {
        names.last = name.left(space);
        names.first = name.mid(space + 1);
    }
    names.last = withoutTrailingSpaces(names.last);
    names.first = withoutTrailingSpaces(names.first);
    return names;
}
