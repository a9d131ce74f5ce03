#include "web/WebPage.h"

#include "common/CleanText.h"
#include "common/FileLimit.h"

#include <QJsonArray>
#include <QJsonDocument>

WebPage::WebPage(CallScreen& screen, CallHistory& history, QObject* parent)
    : QObject(parent), m_listener(m_limits, this), m_app(m_listener, m_limits, this),
      m_calls(screen, history, this), m_lists(screen), m_state(screen), m_messages(history)
{
    m_calls.addRoutes(m_app.routes());
    m_lists.addRoutes(m_app.routes());
    m_state.addRoutes(m_app.routes());
    m_messages.addRoutes(m_app.routes());
}

WebPage::~WebPage()
{
    stop();
}

void WebPage::setLimits(const Limits& limits)
{
    m_limits = limits;
    m_app.sessions().setHours(limits.sessionHours);
}

void WebPage::stop()
{
    m_app.stop();
    m_listener.stop();
}

bool WebPage::start(const QString& listen, const QString& passwordHash, const QString& certFile,
                    const QString& keyFile, const QStringList& hosts, QString* problem)
{
    std::optional<TlsIdentity> tls;
    if (!certFile.isEmpty() || !keyFile.isEmpty()) {
        TlsIdentity identity;
        if (!TlsIdentity::load(certFile, keyFile, &identity, problem))
            return false;
        tls = identity;
    }
    // Whatever the limits say, the server leaves the process most of its files: a reserve of
    // 256 and half of the rest for the modem, the logs, the address book and the broker.
    if (const long files = FileLimit::current(); files > 0) {
        const int budget = std::max(8, int((files - 256) / 2));
        m_limits.connectionsSignedIn = std::min(m_limits.connectionsSignedIn, budget / 4);
        m_limits.streams = std::min(m_limits.streams, budget / 4);
        m_limits.connectionsBeforeLogIn =
            std::min(m_limits.connectionsBeforeLogIn,
                     budget - m_limits.connectionsSignedIn - m_limits.streams);
    }
    if (!m_listener.start(listen, tls, problem))
        return false;
    m_app.setPassword(passwordHash);
    m_app.setHosts(hosts);
    return true;
}

void WebPage::callLogged(const CallRecord& call)
{
    m_app.stream().push("call", QJsonDocument(m_calls.json(call)).toJson(QJsonDocument::Compact));
}

void WebPage::eventAdded(const QString& line)
{
    m_app.stream().push(
        "event", QJsonDocument(QJsonArray{CleanText::field(line)}).toJson(QJsonDocument::Compact));
}
