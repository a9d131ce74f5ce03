#include "app/WebService.h"

#include "common/SettingsTable.h"
#include "monitor/Monitor.h"
#include "web/WebPage.h"

#include <QJsonArray>

namespace WebService {

std::unique_ptr<WebPage> start(Monitor& monitor)
{
    const QString listen = Settings::WebListen.read().trimmed();
    if (listen.isEmpty())
        return nullptr;
    const QString hash = Settings::WebPasswordHash.read().trimmed();
    if (hash.isEmpty()) {
        monitor.events().append(QStringLiteral(
            "[Web page not served: no password yet; set one with ringdesk --set-web-password]"));
        return nullptr;
    }
    auto server = std::make_unique<WebPage>(monitor.calls().screening(), monitor.calls().history());
    QString problem;
    if (!server->start(listen, hash, Settings::WebCertFile.read().trimmed(),
                       Settings::WebKeyFile.read().trimmed(),
                       Settings::WebHosts.read().split(u',', Qt::SkipEmptyParts), &problem)) {
        monitor.events().append(QStringLiteral("[Web page not served: %1]").arg(problem));
        return nullptr;
    }
    WebPage* web = server.get();
    QObject::connect(&monitor, &Monitor::callHandled, web,
                     [web](const CallRecord& call) { web->callLogged(call); });
    QObject::connect(&monitor.events(), &EventLog::added, web,
                     [web](const EventLog::Event& event) { web->eventAdded(event.text); });
    web->setState([&monitor] {
        const QStringList events = monitor.events().last(20);
        return QJsonObject{
            {QStringLiteral("port"), monitor.modemDevice()},
            {QStringLiteral("open"), monitor.modemOpen()},
            {QStringLiteral("status"), monitor.status()},
            {QStringLiteral("broker"), monitor.brokerAddress()},
            {QStringLiteral("events"), QJsonArray::fromStringList(events)},
        };
    });
    monitor.events().append(QStringLiteral("[Web page at %1]").arg(web->address()));
    return server;
}

} // namespace WebService
