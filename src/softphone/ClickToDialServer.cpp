#include "softphone/ClickToDialServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include "core/Logger.h"

struct ClickToDialServer::Client
{
    QByteArray buffer;
    QTimer *timer = nullptr;

    // Takes at most one byte past the longest request, so a flood stays bounded.
    void readFrom(QTcpSocket *socket)
    {
        const qint64 room = maxLineLength + 1 - buffer.size();
        if (room > 0)
            buffer += socket->read(room);
    }
};

namespace {

const QByteArray requestPrefix = QByteArrayLiteral("call:");

// Received bytes for a log line: at most one line's worth, control characters
// escaped so that a request cannot forge log lines.
QString forLog(const QByteArray &bytes)
{
    return Logger::escaped(QString::fromLatin1(bytes.left(ClickToDialServer::maxLineLength)));
}

} // namespace

ClickToDialServer::ClickToDialServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ClickToDialServer::onNewConnection);
}

ClickToDialServer::~ClickToDialServer()
{
    stop();
}

bool ClickToDialServer::start(quint16 port)
{
    stop();
    if (!m_server.listen(QHostAddress::LocalHost, port)) {
        Logger::warning(QStringLiteral("Click-to-dial is off: cannot listen on 127.0.0.1 port %1: %2")
                            .arg(port)
                            .arg(m_server.errorString()));
        return false;
    }
    Logger::info(QStringLiteral("Click-to-dial listening on 127.0.0.1 port %1").arg(m_server.serverPort()));
    return true;
}

void ClickToDialServer::stop()
{
    m_server.close();
    const QList<QTcpSocket *> sockets = m_clients.keys();
    for (QTcpSocket *socket : sockets)
        drop(socket);
}

bool ClickToDialServer::isListening() const
{
    return m_server.isListening();
}

quint16 ClickToDialServer::port() const
{
    return m_server.serverPort();
}

bool ClickToDialServer::isDialable(const QString &number)
{
    if (number.isEmpty())
        return false;
    for (const QChar c : number) {
        const ushort u = c.unicode();
        const bool ok = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '*'
            || u == '#' || u == '+';
        if (!ok)
            return false;
    }
    return true;
}

QString ClickToDialServer::parseRequest(const QByteArray &line, QString *reason)
{
    auto fail = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return QString();
    };
    QByteArray text = line;
    if (text.endsWith('\n'))
        text.chop(1);
    if (text.endsWith('\r'))
        text.chop(1);
    if (text.isEmpty())
        return fail(QStringLiteral("empty request"));
    if (text.size() > maxLineLength)
        return fail(QStringLiteral("request too long"));
    if (!text.startsWith(requestPrefix))
        return fail(QStringLiteral("no \"call:\" prefix"));
    // Blanks around the number are harmless; anything else outside the
    // dialable set (line breaks, shell or AMI syntax, bytes above ASCII) is not.
    const QByteArray number = text.mid(requestPrefix.size()).trimmed();
    if (number.isEmpty())
        return fail(QStringLiteral("no number"));
    const QString result = QString::fromLatin1(number);
    if (!isDialable(result))
        return fail(QStringLiteral("characters that cannot be dialled"));
    return result;
}

void ClickToDialServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_clients.size() >= maxConnections) {
            Logger::warning(QStringLiteral("Click-to-dial: too many connections, closing a new one"));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *client = new Client;
        client->timer = new QTimer(socket);
        client->timer->setSingleShot(true);
        client->timer->setInterval(m_readTimeoutMs);
        m_clients.insert(socket, client);
        // The server reads at most one line, so a flood cannot grow the buffer.
        socket->setReadBufferSize(maxLineLength + 1);
        connect(client->timer, &QTimer::timeout, this, [this, socket] { onTimeout(socket); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
        client->timer->start();
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void ClickToDialServer::onReadyRead(QTcpSocket *socket)
{
    Client *client = m_clients.value(socket);
    if (!client)
        return;
    client->readFrom(socket);
    // Refuse what cannot become a request without waiting for the deadline.
    const int head = qMin(client->buffer.size(), requestPrefix.size());
    if (client->buffer.left(head) != requestPrefix.left(head)) {
        refuse(socket, QStringLiteral("no \"call:\" prefix"), client->buffer);
        return;
    }
    const int end = client->buffer.indexOf('\n');
    if (end >= 0) {
        // One line per connection: text after it would be a second command
        // smuggled behind a harmless first one.
        if (!client->buffer.mid(end + 1).trimmed().isEmpty() || socket->bytesAvailable() > 0) {
            refuse(socket, QStringLiteral("more than one line"), client->buffer);
            return;
        }
        finish(socket, client->buffer.left(end + 1));
        return;
    }
    if (client->buffer.size() > maxLineLength)
        refuse(socket, QStringLiteral("request too long"), client->buffer);
}

void ClickToDialServer::onTimeout(QTcpSocket *socket)
{
    Client *client = m_clients.value(socket);
    if (!client)
        return;
    refuse(socket, QStringLiteral("no complete request within %1 ms").arg(m_readTimeoutMs), client->buffer);
}

void ClickToDialServer::onDisconnected(QTcpSocket *socket)
{
    Client *client = m_clients.value(socket);
    if (!client)
        return;
    // A client may end its request by closing instead of sending a line end.
    client->readFrom(socket);
    finish(socket, client->buffer);
}

void ClickToDialServer::finish(QTcpSocket *socket, const QByteArray &line)
{
    QString reason;
    const QString number = parseRequest(line, &reason);
    if (number.isEmpty()) {
        refuse(socket, reason, line);
        return;
    }
    drop(socket);
    Logger::info(QStringLiteral("Click-to-dial request for %1").arg(number));
    emit signalCallRequest(number);
}

void ClickToDialServer::refuse(QTcpSocket *socket, const QString &reason, const QByteArray &received)
{
    Logger::warning(QStringLiteral("Click-to-dial request refused (%1): \"%2\"").arg(reason, forLog(received)));
    drop(socket);
}

void ClickToDialServer::drop(QTcpSocket *socket)
{
    Client *client = m_clients.take(socket);
    if (!client)
        return;
    client->timer->stop();
    delete client;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
