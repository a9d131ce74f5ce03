#pragma once

#include "calls/CallScreen.h"
#include "web/WebRoutes.h"

// The block and allow lists and the imported sources for the page: read, an entry added or
// removed, a source dropped.
class ListsController
{
public:
    explicit ListsController(CallScreen& screen) : m_screen(screen) {}

    void addRoutes(WebRoutes& routes);

private:
    WebReply list(const HttpRequest& request, CallScreen::List list);
    WebReply sources(const HttpRequest& request);

    CallScreen& m_screen;
};
