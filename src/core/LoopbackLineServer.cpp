#include "core/LoopbackLineServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

LoopbackLineServer::LoopbackLineServer(int maxLineBytes, int maxClients, QObject *parent)
    : QObject(parent)
    , m_maxLineBytes(maxLineBytes)
    , m_maxClients(maxClients)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackLineServer::onNewConnection);
}

LoopbackLineServer::~LoopbackLineServer()
{
    close();
}

bool LoopbackLineServer::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

void LoopbackLineServer::close()
{
    m_server.close();
    const QList<QTcpSocket *> sockets = m_clients.keys();
    for (QTcpSocket *socket : sockets) {
        forget(socket);
        socket->abort();
        socket->deleteLater();
    }
}

void LoopbackLineServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_clients.size() >= m_maxClients) {
            socket->abort();
            socket->deleteLater();
            if (m_onRefusal)
                m_onRefusal(Refusal::TooManyClients, {});
            continue;
        }
        Client &client = m_clients[socket];
        client.timer = new QTimer(socket);
        client.timer->setSingleShot(true);
        // The socket holds at most one line past what is read, so a flood
        // cannot grow the buffer.
        socket->setReadBufferSize(m_maxLineBytes + 1);
        connect(client.timer, &QTimer::timeout, this,
            [this, socket] { refuse(socket, Refusal::Timeout, m_clients.value(socket).buffer); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
        client.timer->start(m_readTimeoutMs);
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

// Takes at most one byte past the longest line.
void LoopbackLineServer::readInto(QTcpSocket *socket, Client *client) const
{
    const qint64 room = m_maxLineBytes + 1 - client->buffer.size();
    if (room > 0)
        client->buffer += socket->read(room);
}

void LoopbackLineServer::onReadyRead(QTcpSocket *socket)
{
    const auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    readInto(socket, &it.value());
    const QByteArray buffer = it->buffer;
    const qsizetype head = qMin(buffer.size(), m_expectedStart.size());
    if (buffer.left(head) != m_expectedStart.left(head)) {
        refuse(socket, Refusal::WrongStart, buffer);
        return;
    }
    const qsizetype end = buffer.indexOf('\n');
    if (end >= m_maxLineBytes) {
        // The limit counts the line end too.
        refuse(socket, Refusal::TooLong, buffer);
        return;
    }
    if (end >= 0) {
        // One line per connection: text after it would be a second command
        // smuggled behind a harmless first one.
        if (!buffer.mid(end + 1).trimmed().isEmpty() || socket->bytesAvailable() > 0)
            refuse(socket, Refusal::MoreThanOneLine, buffer);
        else
            finish(socket, buffer.left(end + 1));
        return;
    }
    if (buffer.size() > m_maxLineBytes)
        refuse(socket, Refusal::TooLong, buffer);
}

void LoopbackLineServer::onDisconnected(QTcpSocket *socket)
{
    const auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    readInto(socket, &it.value());
    finish(socket, it->buffer);
}

void LoopbackLineServer::finish(QTcpSocket *socket, QByteArray line)
{
    if (!forget(socket))
        return;
    const QByteArray answer = m_onLine ? m_onLine(line) : QByteArray();
    if (answer.isEmpty() || socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Closed gracefully, so the answer reaches the client before the close.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write(answer);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

void LoopbackLineServer::refuse(QTcpSocket *socket, Refusal why, QByteArray received)
{
    if (!forget(socket))
        return;
    socket->abort();
    socket->deleteLater();
    if (m_onRefusal)
        m_onRefusal(why, received);
}

bool LoopbackLineServer::forget(QTcpSocket *socket)
{
    const auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return false;
    it->timer->stop();
    m_clients.erase(it);
    socket->disconnect(this);
    return true;
}
