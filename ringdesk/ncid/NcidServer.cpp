#include "ncid/NcidServer.h"

#include "common/CleanText.h"
#include "common/Clock.h"
#include "common/CommandLine.h"
#include "numbers/PhoneNumber.h"

#include <QPointer>
#include <QTcpSocket>

NcidServer::NcidServer(CallHistory& history, QObject* parent)
    : QTcpServer(parent), m_history(history)
{
}

NcidServer::~NcidServer()
{
    close();
    const QList<Client*> all = m_clients.values();
    for (Client* client : all)
        drop(client);
}

bool NcidServer::start(const QString& listen, const QString& allow, QString* problem)
{
    QHostAddress address;
    if (!NetAddress::listen(*this, listen, &address, problem))
        return false;
    QString wrong;
    if (!NetAddress::parseSubnets(allow, &m_allowed, &wrong)) {
        close();
        *problem = QStringLiteral("Allow holds \"%1\", not an address or a network").arg(wrong);
        return false;
    }
    m_address = NetAddress::shown(address, serverPort());
    return true;
}

namespace {

// A text within one line: no control or direction character, a line end becomes a blank.
QString withinLine(const QString& text)
{
    return CleanText::field(text).replace(u'\t', u' ');
}

// A value as a field: a "*" would end the field for every client, a line end the line.
QByteArray field(const QString& value, const char* empty)
{
    const QString text = withinLine(value).replace(u'*', u' ').trimmed();
    return text.isEmpty() ? QByteArray(empty) : text.toUtf8();
}

} // namespace

QByteArray NcidServer::callLine(const QByteArray& type, const CallRecord& call, bool digits)
{
    // The line's month and day when it gave them; the year is the one the call came in.
    const QDateTime received = call.received.isValid() ? call.received.toLocalTime() : Clock::now();
    QDate date = received.date();
    const QDate given(date.year(), call.date.left(2).toInt(), call.date.mid(3, 2).toInt());
    if (given.isValid())
        date = given > received.date().addDays(1) ? given.addYears(-1) : given;
    QTime time = QTime::fromString(call.time, QStringLiteral("HH:mm"));
    if (!time.isValid())
        time = received.time();
    QByteArray number;
    switch (call.withheld) {
    case CallRecord::Withheld::Private:
        number = "PRIVATE";
        break;
    case CallRecord::Withheld::OutOfArea:
        number = "OUT-OF-AREA";
        break;
    case CallRecord::Withheld::No:
        number = field(digits ? PhoneNumber::digits(call.number) : call.number, "NO-NUMBER");
        break;
    }
    // A modem's device path says nothing to a client; NCID's own line name for it is "-".
    const QString line = call.line.startsWith(u'/') ? QString() : call.line;
    return type + ": *DATE*" + date.toString(QStringLiteral("MMddyyyy")).toLatin1() + "*TIME*" +
           time.toString(QStringLiteral("HHmm")).toLatin1() + "*LINE*" + field(line, "-") +
           "*NMBR*" + number + "*MESG*NONE*NAME*" +
           field(call.contactName.isEmpty() ? call.name : call.contactName, "NO NAME") + '*' +
           // What a blocked call got besides the hang-up ("announced", "fax tone"), in a field
           // of its own that clients which do not know it pass over.
           (call.blocked && !call.outcome.isEmpty() ? "HTYPE*" + field(call.outcome, "-") + '*'
                                                    : QByteArray());
}

void NcidServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress from = socket->peerAddress();
    if (!NetAddress::within(from, m_allowed)) {
        // No password exists in the protocol: whoever may connect sees every call.
        if (!m_refused.contains(from.toString()) && m_refused.size() < 256) {
            m_refused.insert(from.toString());
            emit eventLine(QStringLiteral("[NCID: refused %1, outside the allowed networks]")
                               .arg(from.toString()));
        }
        socket->abort();
        socket->deleteLater();
        return;
    }
    // One host's idle connections must not keep every other client out: past its share, its
    // oldest makes room for its newest.
    if (m_book.count(from) >= m_limits.perAddress) {
        auto* oldest = static_cast<QTcpSocket*>(const_cast<void*>(m_book.oldest(&from)));
        if (Client* client = m_clients.value(oldest))
            drop(client, QStringLiteral("its %1 connections are the most one address may have; "
                                        "the oldest makes room for the newest")
                             .arg(m_limits.perAddress));
    }
    if (m_book.count() >= m_limits.clients) {
        if (!std::exchange(m_toldFull, true))
            emit eventLine(QStringLiteral("[NCID: %1 clients are connected, the most allowed; "
                                          "%2 and any more are turned away until one leaves]")
                               .arg(m_limits.clients)
                               .arg(from.toString()));
        socket->abort();
        socket->deleteLater();
        return;
    }
    auto* client = new Client;
    client->socket = socket;
    m_clients.insert(socket, client);
    m_book.add(socket, from);
    connect(socket, &QTcpSocket::readyRead, this, [this, client] { readFrom(client); });
    connect(socket, &QTcpSocket::disconnected, this, [this, client] { drop(client); });
    connect(socket, &QTcpSocket::bytesWritten, this, [client] {
        if (client->socket->bytesToWrite() == 0)
            client->allowance = 0; // the log is out
    });
    // A client may ask for no log right after it connects.
    client->hello.setSingleShot(true);
    connect(&client->hello, &QTimer::timeout, this, [this, client] { finishStartup(client); });
    client->hello.start(m_limits.helloMs);
    if (send(client, "200 Server: ringdesk " + CommandLine::version().toUtf8()))
        send(client, "210 API: 1.0 Feature Set 1");
}

void NcidServer::finishStartup(Client* client)
{
    if (client->noLog || m_limits.logLines <= 0) {
        sendStartup(client, client->noLog ? "251 Call log not sent\r\n" : "252 Call log empty\r\n");
        return;
    }
    // Thousands of lines for each of many clients are read and made apart from the event loop,
    // which the calls need meanwhile. Calls logged from now on wait with the client's live lines.
    m_history.readApart(
        this,
        [lines = m_limits.logLines, digits = m_digits,
         before = m_history.newestId() + 1](const HistoryReader& reader) {
            const QList<CallRecord> calls = reader.page(lines, before, QString());
            QByteArray log;
            for (auto call = calls.crbegin(); call != calls.crend(); ++call)
                log += callLine(call->blocked ? "HUPLOG" : "CIDLOG", *call, digits) + "\r\n";
            return log + (calls.isEmpty() ? "252 Call log empty\r\n" : "250 End of call log\r\n");
        },
        [this, socket = QPointer<QTcpSocket>(client->socket)](const QByteArray& log) {
            if (Client* client = socket ? m_clients.value(socket.data()) : nullptr)
                sendStartup(client, log);
        });
}

void NcidServer::sendStartup(Client* client, QByteArray lines)
{
    lines += "300 End of connection startup\r\n";
    for (const QByteArray& line : std::as_const(client->waiting))
        lines += line + "\r\n";
    client->started = true;
    client->waiting.clear();
    // The start-up may wait for the client as a whole; what comes after it is held to the limit.
    client->allowance += lines.size();
    client->socket->write(lines);
}

void NcidServer::readFrom(Client* client)
{
    client->input += client->socket->readAll();
    qsizetype end;
    while ((end = client->input.indexOf('\n')) >= 0) {
        const QByteArray line = client->input.left(end).trimmed();
        client->input.remove(0, end + 1);
        // Keep-alive empty lines, HELLO: IDENT, GOODBYE and anything unknown ask nothing.
        if (line.startsWith("HELLO:") && line.contains("no_log"))
            client->noLog = true;
        else if (line.startsWith("MSG:")) {
            // The message goes to its sender too, which may drop it: it does not read.
            QTcpSocket* const socket = client->socket;
            relayMessage(client, line.mid(4));
            if (!m_clients.contains(socket))
                return;
        } else if (line == "GOODBYE") {
            drop(client);
            return;
        }
    }
    // A line without an end is never wanted whole.
    if (client->input.size() > 1024)
        client->input.clear();
}

bool NcidServer::send(Client* client, const QByteArray& line)
{
    if (client->socket->bytesToWrite() + line.size() > m_limits.unread + client->allowance) {
        drop(client, QStringLiteral("it does not read"));
        return false;
    }
    client->socket->write(line + "\r\n");
    return true;
}

void NcidServer::sendToAll(const QByteArray& line)
{
    const QList<Client*> all = m_clients.values();
    for (Client* client : all) {
        if (client->started)
            send(client, line);
        else
            client->waiting.append(line);
    }
}

void NcidServer::drop(Client* client, const QString& why)
{
    if (!m_clients.remove(client->socket))
        return;
    m_book.remove(client->socket);
    m_toldFull = false;
    if (!why.isEmpty())
        emit eventLine(QStringLiteral("[NCID: dropped %1: %2]")
                           .arg(client->socket->peerAddress().toString(), why));
    client->socket->disconnect(this);
    client->socket->abort();
    client->socket->deleteLater();
    delete client;
}

void NcidServer::callLogged(const CallRecord& call)
{
    sendToAll(callLine(call.blocked ? "HUP" : "CID", call, m_digits));
}

void NcidServer::message(const QString& text)
{
    sendToAll("MSG: " + withinLine(text).toUtf8());
}

void NcidServer::relayMessage(Client* client, const QByteArray& line)
{
    // A client's message is free text, then (from newer clients) its fields after "###". Both
    // reach every client and the event lines, so both are held to one short line of text.
    constexpr qsizetype longestText = 300;
    const qsizetype fieldsAt = line.indexOf("###");
    // "***" in the text would start the fields for every client.
    const QString shown = CleanText::truncated(
        withinLine(QString::fromUtf8(fieldsAt < 0 ? line : line.left(fieldsAt)))
            .replace(QStringLiteral("***"), QStringLiteral("*"))
            .simplified(),
        longestText);
    if (shown.isEmpty())
        return;
    // One a second from each client: a client stuck in a loop must not flood the others.
    if (client->lastMessage.isValid() && client->lastMessage.elapsed() < 1000) {
        if (!std::exchange(client->toldTooMany, true))
            emit eventLine(QStringLiteral("[NCID: messages from %1 come faster than one a second; "
                                          "the extra ones are dropped]")
                               .arg(client->socket->peerAddress().toString()));
        return;
    }
    client->lastMessage.start();
    emit eventLine(QStringLiteral("[NCID message from %1: %2]")
                       .arg(client->socket->peerAddress().toString(), shown));
    QByteArray relayed = "MSG: " + shown.toUtf8();
    if (fieldsAt >= 0) {
        // As the protocol's servers pass them on: the fields now start with "***".
        relayed += " ***" +
                   CleanText::truncated(
                       withinLine(QString::fromUtf8(line.mid(fieldsAt + 3))).trimmed(), longestText)
                       .toUtf8();
    }
    sendToAll(relayed);
}

void NcidServer::lineEvent(CallPipeline::LineEvent event, const QString& line)
{
    using Event = CallPipeline::LineEvent;
    switch (event) {
    case Event::RingingStopped:
    case Event::Answered:
        rang(0, line);
        return;
    case Event::EndedUnanswered:
        // The box's call stopped ringing as it ended: clients waiting for the end of the rings
        // hear of it as from a modem.
        rang(0, line);
        rang(-1, line);
        return;
    case Event::EndedAnswered:
        rang(-2, line);
        return;
    }
}

void NcidServer::rang(int count, const QString& line)
{
    const QString name = line.startsWith(u'/') || line.isEmpty() ? QStringLiteral("-") : line;
    sendToAll("CIDINFO: *LINE*" + field(name, "-") + "*RING*" + QByteArray::number(count) +
              "*TIME*" + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toLatin1() +
              '*');
}
