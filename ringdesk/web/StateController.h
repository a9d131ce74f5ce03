#pragma once

#include "calls/CallScreen.h"
#include "web/WebRoutes.h"

#include <QJsonObject>
#include <functional>

// The monitor's state for the page, and what the page asks of it: block or unblock a caller,
// let the next blocked call through.
class StateController
{
public:
    explicit StateController(CallScreen& screen) : m_screen(screen) {}

    // The monitor's state: modem port, caller ID on, broker, last event lines.
    std::function<QJsonObject()> state;

    void addRoutes(WebRoutes& routes);

private:
    WebReply blockOrUnblock(const HttpRequest& request, bool block);

    CallScreen& m_screen;
};
