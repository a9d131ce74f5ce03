#include "web/WebSessions.h"
#include "common/Clock.h"

#include "common/PasswordHash.h"

QByteArray WebSessions::open()
{
    const QByteArray token = PasswordHash::randomBytes(32).toBase64(QByteArray::Base64UrlEncoding |
                                                                    QByteArray::OmitTrailingEquals);
    m_sessions.insert(token, endsAt());
    return token;
}

bool WebSessions::use(const QByteArray& token)
{
    const auto found = m_sessions.find(token);
    if (token.isEmpty() || found == m_sessions.end())
        return false;
    if (*found < Clock::now()) {
        m_sessions.erase(found);
        emit ended(token);
        return false;
    }
    *found = endsAt();
    return true;
}

void WebSessions::close(const QByteArray& token)
{
    m_sessions.remove(token);
    emit ended(token);
}

void WebSessions::expire()
{
    const QDateTime time = Clock::now();
    QList<QByteArray> over;
    for (auto it = m_sessions.cbegin(); it != m_sessions.cend(); ++it)
        if (it.value() < time)
            over << it.key();
    for (const QByteArray& token : std::as_const(over)) {
        m_sessions.remove(token);
        emit ended(token);
    }
}
