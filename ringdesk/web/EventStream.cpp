#include "web/EventStream.h"

#include "web/WebSessions.h"

EventStream::EventStream(WebListener& listener, WebSessions& sessions, QObject* parent)
    : QObject(parent), m_listener(listener)
{
    m_sessionCheck.setInterval(60 * 1000);
    connect(&m_sessionCheck, &QTimer::timeout, &sessions, &WebSessions::expire);
    connect(&sessions, &WebSessions::ended, this, [this](const QByteArray& token) {
        m_listener.endStreams([&token](const QByteArray& stream) { return stream == token; });
    });
}

void EventStream::open(const WebListener::Client& client, const QByteArray& token)
{
    m_listener.startStream(client, token);
    if (!m_sessionCheck.isActive())
        m_sessionCheck.start();
}

void EventStream::push(const QByteArray& event, const QByteArray& data)
{
    if (!m_listener.push("event: " + event + "\ndata: " + data + "\n\n"))
        m_sessionCheck.stop();
}
