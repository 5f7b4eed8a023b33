#include "remote/scpiserver.h"
#include "bert/diagnostics.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <utility>

namespace {
constexpr qint64 ReadChunk = 4096;
}

ScpiServer::ScpiServer(const scpi::CommandSet *set, QObject *parent)
    : QObject(parent), m_set(set), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &ScpiServer::acceptClients);
}

ScpiServer::~ScpiServer()
{
    for (const Client &c : std::as_const(m_clients))
        discard(c);
}

bool ScpiServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    close();
    if (!m_server->listen(address, port)) {
        const QString why = QStringLiteral("SCPI server cannot listen on %1 port %2: %3")
                                .arg(address.toString())
                                .arg(port)
                                .arg(m_server->errorString());
        qCWarning(lcRemote).noquote() << why;
        if (error)
            *error = why;
        return false;
    }
    if (!address.isLoopback()) {
        qCWarning(lcRemote,
                  "SCPI server listening on %s port %u, which is not a loopback address: "
                  "anyone who reaches this machine there can drive the instruments",
                  qPrintable(address.toString()), unsigned(m_server->serverPort()));
    } else {
        qCInfo(lcRemote, "SCPI server listening on %s port %u", qPrintable(address.toString()),
               unsigned(m_server->serverPort()));
    }
    return true;
}

void ScpiServer::close()
{
    m_server->close();
    if (m_clients.isEmpty())
        return;
    const QList<Client> clients = m_clients;
    m_clients.clear();
    for (const Client &c : clients)
        discard(c);
    emit clientsChanged(0);
}

bool ScpiServer::isListening() const
{
    return m_server->isListening();
}

quint16 ScpiServer::port() const
{
    return m_server->serverPort();
}

QHostAddress ScpiServer::address() const
{
    return m_server->serverAddress();
}

void ScpiServer::acceptClients()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const QString peer =
            QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        if (m_clients.size() >= MaxClients) {
            qCWarning(lcRemote, "SCPI client %s refused: %d clients are connected already",
                      qPrintable(peer), MaxClients);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setReadBufferSize(ReadBuffer);
        auto *session = new scpi::Session(m_set, socket);
        m_clients.append({socket, session, peer});
        // One write per reply line.
        connect(session, &scpi::Session::output, socket, [socket, peer](const QByteArray &line) {
            if (socket->write(line) != line.size()) {
                qCWarning(lcRemote, "reply to SCPI client %s lost: %s", qPrintable(peer),
                          qPrintable(socket->errorString()));
            }
        });
        connect(session, &scpi::Session::progressed, this,
                [this, socket, session] { feed(socket, session); });
        connect(socket, &QTcpSocket::readyRead, this,
                [this, socket, session] { feed(socket, session); });
        connect(socket, &QTcpSocket::bytesWritten, this,
                [this, socket, session] { feed(socket, session); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { dropClient(socket); });
        qCInfo(lcRemote, "SCPI client %s connected (%d of %d)", qPrintable(peer),
               int(m_clients.size()), MaxClients);
        emit clientsChanged(int(m_clients.size()));
        feed(socket, session); // what came with the connection
    }
}

void ScpiServer::feed(QTcpSocket *socket, scpi::Session *session)
{
    // A handler could end the connection under us: both are re-checked each round.
    const QPointer<QTcpSocket> alive(socket);
    const QPointer<scpi::Session> running(session);
    while (alive && running && socket->bytesAvailable() > 0 && session->backlog() < FeedBound &&
           socket->bytesToWrite() < MaxUnsent) {
        session->receive(socket->read(ReadChunk));
    }
}

void ScpiServer::dropClient(QTcpSocket *socket)
{
    for (int i = 0; i < m_clients.size(); ++i) {
        if (m_clients[i].socket != socket)
            continue;
        const Client c = m_clients.takeAt(i);
        qCInfo(lcRemote, "SCPI client %s disconnected", qPrintable(c.peer));
        discard(c);
        emit clientsChanged(int(m_clients.size()));
        return;
    }
}

void ScpiServer::discard(const Client &client)
{
    // Deleting the session at once: a call still pending for it (a deferred
    // reply) finds no session and completes into nothing.
    client.socket->disconnect(this);
    delete client.session;
    client.socket->abort();
    client.socket->deleteLater();
}
