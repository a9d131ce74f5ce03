#pragma once

#include "calls/CallHistory.h"
#include "web/WebRoutes.h"

// The answering machine's messages for the page: the list (newest first), each one's audio,
// with the byte ranges a browser's audio element asks for (played, it is heard), and deleting
// one. Changes come under the page's session and same-page rules, as the lists do.
class MessagesController
{
public:
    explicit MessagesController(CallHistory& history) : m_history(history) {}

    void addRoutes(WebRoutes& routes);

    // The part of `size` bytes that a Range field ("bytes=0-1023", "bytes=500-", "bytes=-200")
    // asks for, as its first and last byte; nothing for a field that asks for none of it.
    static std::optional<std::pair<qint64, qint64>> range(const QByteArray& field, qint64 size);

private:
    WebReply list() const;
    WebReply audio(const HttpRequest& request);
    WebReply remove(const HttpRequest& request);

    CallHistory& m_history;
};
