// SCPI over a raw TCP socket (a VISA "TCPIP::127.0.0.1::5025::SOCKET"
// resource): one scpi::Session per client, its reply lines written back one
// write each.
//
// Limits: MaxClients at once (one more is closed at once, with a warning on
// corvane.remote). A client is read only while its session has less than
// FeedBound bytes waiting to run and less than MaxUnsent bytes of its replies
// are still unsent; past either the server stops reading it (the socket keeps
// at most ReadBuffer bytes, then TCP makes the client wait) and goes on when
// the session progresses or the replies drain. So memory per client stays
// bounded, and a client that floods or never reads its replies slows down only
// itself. Lines too long are dropped by the session with -363.
#pragma once

#include "remote/scpi.h"

#include <QHostAddress>
#include <QList>
#include <QObject>

class QTcpServer;
class QTcpSocket;

class ScpiServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxClients = 8;
    static constexpr int FeedBound = 16 * 1024;
    static constexpr int MaxUnsent = 64 * 1024;
    static constexpr int ReadBuffer = 16 * 1024;

    // The command set must outlive the server.
    explicit ScpiServer(const scpi::CommandSet *set, QObject *parent = nullptr);
    ~ScpiServer() override;

    // Port 0: any free port (see port()). A non-loopback address is the
    // caller's choice; it is logged as a warning. On failure false, and *error
    // (when given) says why; the reason is logged too.
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    // Stops listening and drops every client.
    void close();
    bool isListening() const;
    quint16 port() const;
    QHostAddress address() const;
    int clientCount() const { return int(m_clients.size()); }

signals:
    void clientsChanged(int count);

private:
    struct Client {
        QTcpSocket *socket;
        scpi::Session *session;
        QString peer;
    };
    void acceptClients();
    void feed(QTcpSocket *socket, scpi::Session *session);
    void dropClient(QTcpSocket *socket);
    void discard(const Client &client);

    const scpi::CommandSet *m_set;
    QTcpServer *m_server;
    QList<Client> m_clients;
};
