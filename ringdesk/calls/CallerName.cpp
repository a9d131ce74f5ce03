#include "calls/CallerName.h"

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

CallerName CallerName::split(const QString& name)
{
    CallerName names;
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
