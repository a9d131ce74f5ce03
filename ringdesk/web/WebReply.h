#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

// One answer of the web page, as a part decides it and before it is written: its status, type,
// body and further header fields. The failures a part can meet are named here and given their
// statuses in one place.
struct WebReply
{
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    enum class Failure
    {
        BadRequest,      // 400: the request asks for what cannot be done
        LogInFirst,      // 401
        NotFromThisPage, // 403: a change asked from elsewhere
        NotFound,        // 404
        Conflict         // 409: not now, as things stand
    };

    int status = 200;
    QByteArray type;
    QByteArray body;
    Headers headers;
    // The connection becomes the page's live event stream instead.
    bool stream = false;

    static WebReply json(const QJsonObject& object, int status = 200);
    static WebReply text(int status, const QByteArray& body, const Headers& headers = {});
    static WebReply redirect(const QByteArray& location, const Headers& headers = {});
    // A failure of the API: JSON with the error's words; NotFound without words is plain text.
    static WebReply failure(Failure failure, const QString& error = QString());
    static WebReply liveStream();

    // The reason phrase of a status.
    static QByteArray reason(int status);
};
