#pragma once

#include "calls/CallHistory.h"
#include "calls/CallScreen.h"
#include "web/CallsController.h"
#include "web/ListsController.h"
#include "web/LoginGate.h"
#include "web/MessagesController.h"
#include "web/StateController.h"
#include "web/WebApp.h"
#include "web/WebLimits.h"
#include "web/WebListener.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <functional>

// The household's web page and its API, served on the event loop, put together from its parts:
// the listener (connections, limits, TLS), the app (Host, page-only changes, sessions, routes)
// and one part per area (calls, lists, state and commands, messages, the live stream). Every page
// and API call wants a session, which a log-in with the password gives (a cookie, HttpOnly,
// SameSite=Strict, Secure under TLS); a session ends after twelve hours unused.
//
// What a stranger can make it hold is bounded: connections before log-in in all and per
// address, ten seconds to send a request, the size of the header fields and of a body (refused
// before it is read), password checks per address (see LoginGate) and the bytes waiting for a
// live page that does not read.
class WebPage : public QObject
{
    Q_OBJECT
public:
    using Limits = WebLimits;

    WebPage(CallScreen& screen, CallHistory& history, QObject* parent = nullptr);
    ~WebPage() override;

    // Listens on "HOST:PORT" (port 0: any free one) with the password's hash; with a certificate
    // and its key, over TLS. `hosts` are further names the page may be asked for by. False, and
    // why, when it cannot.
    bool start(const QString& listen, const QString& passwordHash, const QString& certFile,
               const QString& keyFile, const QStringList& hosts, QString* problem);
    QString address() const { return m_listener.address(); }
    quint16 serverPort() const { return m_listener.serverPort(); }
    bool isListening() const { return m_listener.isListening(); }
    const Limits& limits() const { return m_limits; }
    // Tests shrink the limits.
    void setLimits(const Limits& limits);
    LoginGate& loginGate() { return m_app.loginGate(); }
    qsizetype answersUnread() const { return m_listener.answersUnread(); }

    // The monitor's state for the page: modem port, caller ID on, broker, last event lines.
    void setState(std::function<QJsonObject()> state) { m_state.state = std::move(state); }

    void callLogged(const CallRecord& call);
    void eventAdded(const QString& line);
    // Ends every connection and drops the password checks waiting.
    void stop();

private:
    Limits m_limits;
    WebListener m_listener;
    WebApp m_app;
    CallsController m_calls;
    ListsController m_lists;
    StateController m_state;
    MessagesController m_messages;
};
