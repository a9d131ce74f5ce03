#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

// One request as the reader assembled it: the method, the path and query of its target, the
// header fields (names in lower case) and the body.
struct HttpRequest
{
    QByteArray method;
    QString path;     // decoded
    QByteArray query; // as sent, without "?"
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QHostAddress remote;

    // The field's value; the first one where a client sent it twice.
    QByteArray header(const QByteArray& lowerName) const;
    // A cookie's value from the Cookie fields; empty when it has none.
    QByteArray cookie(const QByteArray& name) const;
    // A value of the query string or of a form body ("a=1&b=x+y"), decoded; empty when missing.
    static QString formValue(const QByteArray& encoded, const QString& name);
    QString queryValue(const QString& name) const { return formValue(query, name); }
};
