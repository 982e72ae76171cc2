#include "testsupport/FakeAmiServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

FakeAmiServer::FakeAmiServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &FakeAmiServer::onNewConnection);
}

FakeAmiServer::~FakeAmiServer() = default;

bool FakeAmiServer::listen(quint16 port)
{
    if (!m_server->listen(QHostAddress::LocalHost, port))
        return false;
    m_port = m_server->serverPort();
    return true;
}

void FakeAmiServer::close()
{
    m_server->close();
    dropClient();
}

void FakeAmiServer::answerPings()
{
    addResponder(QStringLiteral("Ping"), [](const QStringList &action) {
        return "Event: UserEvent\r\nUserEvent: Sync\r\nMark: " + valueOf(action, QStringLiteral("ActionID")).toLatin1()
            + "\r\n\r\n";
    });
}

void FakeAmiServer::addLoginRule(bool accept)
{
    addRule(QStringLiteral("Login"), loginReply(accept));
}

QByteArray FakeAmiServer::loginReply(bool accept)
{
    return accept ? QByteArray("Response: Success\r\nActionID: {ActionID}\r\nMessage: Authentication accepted\r\n\r\n")
                  : QByteArray("Response: Error\r\nActionID: {ActionID}\r\nMessage: Authentication failed\r\n\r\n");
}

QByteArray FakeAmiServer::refuseLogin()
{
    // After the answer has been sent.
    QTimer::singleShot(0, this, &FakeAmiServer::closeClient);
    return loginReply(false);
}

void FakeAmiServer::sendMessage(const QStringList &lines)
{
    sendRaw(lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n\r\n");
}

void FakeAmiServer::sendRaw(const QByteArray &bytes)
{
    if (m_client)
        m_client->write(bytes);
}

void FakeAmiServer::dropClient()
{
    if (m_client)
        m_client->abort();
}

void FakeAmiServer::closeClient()
{
    if (m_client)
        m_client->disconnectFromHost();
}

void FakeAmiServer::stopReading()
{
    if (!m_client)
        return;
    m_client->disconnect(this);
    m_client->setReadBufferSize(1);
    // A small kernel buffer closes the window after a few kilobytes.
    m_client->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
}

bool FakeAmiServer::hasClient() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

QString FakeAmiServer::valueOf(const QStringList &action, const QString &key)
{
    const QString prefix = key + QLatin1Char(':');
    for (const QString &line : action) {
        if (line.startsWith(prefix, Qt::CaseInsensitive))
            return line.mid(prefix.size()).trimmed();
    }
    return QString();
}

void FakeAmiServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_client) {
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = socket;
        m_buffer.clear();
        m_current.clear();
        connect(socket, &QTcpSocket::readyRead, this, &FakeAmiServer::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->write("Asterisk Call Manager/1.1\r\n");
        emit clientConnected();
    }
}

void FakeAmiServer::onReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket || socket != m_client)
        return;
    const QByteArray bytes = socket->readAll();
    m_received += bytes;
    m_buffer += bytes;
    qsizetype lf;
    while ((lf = m_buffer.indexOf('\n')) >= 0) {
        QByteArray line = m_buffer.left(lf);
        m_buffer.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty()) {
            m_current.append(QString::fromLatin1(line));
            continue;
        }
        QStringList action;
        action.swap(m_current);
        handleAction(action);
        if (socket != m_client)
            return;
    }
}

void FakeAmiServer::handleAction(const QStringList &action)
{
    if (action.isEmpty()) {
        sendRaw("Response: Error\r\nMessage: Missing action in request\r\n\r\n");
        return;
    }
    m_actions.append(action);

    const QString name = valueOf(action, QStringLiteral("Action"));
    const QString id = valueOf(action, QStringLiteral("ActionID"));
    for (const Rule &rule : std::as_const(m_rules)) {
        if (rule.action.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!rule.actionId.isEmpty() && rule.actionId != id)
            continue;
        QByteArray reply = rule.responder ? rule.responder(action) : rule.reply;
        reply.replace("{ActionID}", id.toLatin1());
        sendRaw(reply);
        return;
    }
}
