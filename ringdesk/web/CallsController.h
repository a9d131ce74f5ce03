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
    CallsController(CallScreen& screen, CallHistory& history);

    void addRoutes(WebRoutes& routes);
    // One call as the API and the event stream give it. `fresh`: read the lists again first
    // (once for a page of calls is enough).
    QJsonObject json(const CallRecord& call, bool fresh = true);

private:
    WebReply calls(const HttpRequest& request);
    WebReply csv() const;
    WebReply stats(const HttpRequest& request) const;

    CallScreen& m_screen;
    CallHistory& m_history;
};
