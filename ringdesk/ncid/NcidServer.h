#pragma once

#include "calls/CallHistory.h"
#include "calls/CallPipeline.h"
#include "calls/CallRecord.h"
#include "net/ConnectionBook.h"
#include "net/NetAddress.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

// The calls for the household's NCID clients (phones, media centres, scripts), in the line
// protocol of the Network Caller ID API, feature set 1: a greeting, the call log from the
// history, then each call as it is logged, each ring and how the call went on, and the messages
// clients send each other. The protocol has no password, so only
// the networks allowed may connect; and what a client can make it hold is bounded: 32 clients,
// and a client that does not read is dropped once what waits for it passes a limit.
class NcidServer : public QTcpServer
{
    Q_OBJECT
public:
    struct Limits
    {
        int clients = 32;
        int perAddress = 8;           // one host's share: its newest connection closes its oldest
        qsizetype unread = 64 * 1024; // bytes waiting for a client before it is dropped
        int helloMs = 250;            // the moment a client has to say HELLO before the log
        int logLines = 200;
    };

    explicit NcidServer(CallHistory& history, QObject* parent = nullptr);
    ~NcidServer() override;

    // Listens on "HOST:PORT" for the networks `allow` lists (CIDR, comma-separated). False, and
    // why, when it cannot.
    bool start(const QString& listen, const QString& allow, QString* problem);
    QString address() const { return m_address; }
    void setLimits(const Limits& limits) { m_limits = limits; }
    // Numbers as bare digits ("16135551234"), for clients that lay them out themselves.
    void setNumbersAsDigits(bool digits) { m_digits = digits; }

    // A call as it is logged: CID, or HUP for a blocked one.
    void callLogged(const CallRecord& call);
    // The call ringing now has rung `count` times.
    void rang(int count, const QString& line);
    // How the call on `line` went on, with the API document's ring codes: 0 when the rings
    // stopped (a call answered stops them too), -1 for a call that ended unanswered, -2 for one
    // that ended after it was answered.
    void lineEvent(CallPipeline::LineEvent event, const QString& line);
    // A message for every client (an MSG: line): a new voice message, say.
    void message(const QString& text);

    // One call as an NCID line ("CID", "HUP", "CIDLOG", "HUPLOG"), without its line end.
    static QByteArray callLine(const QByteArray& type, const CallRecord& call, bool digits = false);

signals:
    void eventLine(const QString& line);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Client
    {
        QTcpSocket* socket = nullptr;
        bool started = false; // the log and the end of start-up are sent
        bool noLog = false;   // it said HELLO: CMD: no_log
        QByteArray input;
        QList<QByteArray> waiting; // live lines while the log is not sent yet
        qsizetype allowance = 0;   // the log's bytes, allowed to wait beyond the limit
        QTimer hello;
        QElapsedTimer lastMessage; // the last MSG: it sent that was passed on
        bool toldTooMany = false;  // its messages too close together were said to be dropped
    };
    void finishStartup(Client* client);
    // The log's lines (each with its line end), then the end of start-up and the live lines
    // that waited.
    void sendStartup(Client* client, QByteArray lines);
    void readFrom(Client* client);
    // A client's MSG: line, for the event lines and every client.
    void relayMessage(Client* client, const QByteArray& line);
    // False when the client was dropped instead: it does not read.
    bool send(Client* client, const QByteArray& line);
    void sendToAll(const QByteArray& line);
    void drop(Client* client, const QString& why = QString());

    CallHistory& m_history;
    Limits m_limits;
    QList<NetAddress::Subnet> m_allowed;
    QString m_address;
    QHash<QTcpSocket*, Client*> m_clients;
    ConnectionBook m_book;
    QSet<QString> m_refused; // addresses told about once
    bool m_toldFull = false; // "full" said, until a place is free again
    bool m_digits = false;
};
