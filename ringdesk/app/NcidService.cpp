#include "app/NcidService.h"

#include "common/SettingsTable.h"
#include "monitor/Monitor.h"
#include "ncid/NcidServer.h"

namespace NcidService {

std::unique_ptr<NcidServer> start(Monitor& monitor)
{
    const QString listen = Settings::NcidListen.read().trimmed();
    if (listen.isEmpty())
        return nullptr;
    auto server = std::make_unique<NcidServer>(monitor.calls().history());
    NcidServer::Limits limits;
    QString problem;
    limits.logLines = Settings::NcidLogLines.whole(&problem);
    if (!problem.isEmpty())
        monitor.events().append(u'[' + problem + u']');
    server->setLimits(limits);
    problem.clear();
    server->setNumbersAsDigits(Settings::NcidNumberFormat.choice(&problem) ==
                               QLatin1String("digits"));
    if (!problem.isEmpty())
        monitor.events().append(u'[' + problem + u']');
    problem.clear();
    if (!server->start(listen, Settings::NcidAllow.read(), &problem)) {
        monitor.events().append(QStringLiteral("[NCID calls not served: %1]").arg(problem));
        return nullptr;
    }
    NcidServer* ncid = server.get();
    QObject::connect(&monitor, &Monitor::callHandled, ncid,
                     [ncid](const CallRecord& call) { ncid->callLogged(call); });
    QObject::connect(&monitor, &Monitor::rang, ncid, &NcidServer::rang);
    QObject::connect(&monitor, &Monitor::lineEvent, ncid, &NcidServer::lineEvent);
    QObject::connect(&monitor, &Monitor::newMessage, ncid, &NcidServer::message);
    QObject::connect(ncid, &NcidServer::eventLine, &monitor.events(),
                     [&monitor](const QString& line) { monitor.events().append(line); });
    monitor.events().append(QStringLiteral("[NCID calls at %1]").arg(ncid->address()));
    return server;
}

} // namespace NcidService
