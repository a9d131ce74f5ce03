#include "web/HttpRequest.h"

#include <QUrl>

QByteArray HttpRequest::header(const QByteArray& lowerName) const
{
    for (const auto& [name, value] : headers)
        if (name == lowerName)
            return value;
    return QByteArray();
}

QByteArray HttpRequest::cookie(const QByteArray& name) const
{
    for (const auto& [field, value] : headers) {
        if (field != "cookie")
            continue;
        for (const QByteArray& cookie : value.split(';')) {
            const QByteArray pair = cookie.trimmed();
            if (pair.startsWith(name + '='))
                return pair.mid(name.size() + 1);
        }
    }
    return QByteArray();
}

QString HttpRequest::formValue(const QByteArray& encoded, const QString& name)
{
    for (const QByteArray& pair : encoded.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        const QByteArray key = equals < 0 ? pair : pair.left(equals);
        // Forms and URLSearchParams write a blank as "+".
        const auto decode = [](QByteArray text) {
            return QUrl::fromPercentEncoding(text.replace('+', ' '));
        };
        if (decode(key) == name)
            return equals < 0 ? QString() : decode(pair.mid(equals + 1));
    }
    return QString();
}
