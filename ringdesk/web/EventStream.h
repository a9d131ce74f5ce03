#pragma once

#include "web/WebListener.h"

#include <QObject>
#include <QTimer>

class WebSessions;

// The page's live events: each call as it is logged and each event line, to every page open on
// /api/events, while its session lasts.
class EventStream : public QObject
{
    Q_OBJECT
public:
    EventStream(WebListener& listener, WebSessions& sessions, QObject* parent = nullptr);

    void open(const WebListener::Client& client, const QByteArray& token);
    void push(const QByteArray& event, const QByteArray& data);

private:
    WebListener& m_listener;
    QTimer m_sessionCheck; // ends the live pages of sessions that expired
};
