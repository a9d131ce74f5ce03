#pragma once

#include "calls/CallHistory.h"
#include "calls/CallScreen.h"
#include "web/WebRoutes.h"

#include <QDateTime>
#include <QJsonObject>
#include <functional>

// The calls and their history for the page: a page of calls (searched, before an id, of one
// number), all of them as CSV, and the numbers of the last days.
class CallsController
{
public:
    // Reads of the history answer on `context`'s thread while it lasts.
    CallsController(CallScreen& screen, CallHistory& history, QObject* context);

    void addRoutes(WebRoutes& routes);
    // One call as the API and the event stream give it. `fresh`: read the lists again first
    // (once for a page of calls is enough).
    QJsonObject json(const CallRecord& call, bool fresh = true);

private:
    void calls(const HttpRequest& request, const WebRoutes::Answer& answer);
    void csv(const WebRoutes::Answer& answer);
    void stats(const HttpRequest& request, const WebRoutes::Answer& answer);
    static QByteArray csvLine(const CallRecord& call);

    CallScreen& m_screen;
    CallHistory& m_history;
    QObject* m_context;
};
