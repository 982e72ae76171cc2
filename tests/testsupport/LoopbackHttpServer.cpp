#include "testsupport/LoopbackHttpServer.h"

#include <QFile>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

bool LoopbackHttpServer::listen()
{
    return listenOn(new QTcpServer(this));
}

bool LoopbackHttpServer::listenTls(const QString &certificatePath, const QString &keyPath)
{
    QFile certificateFile(certificatePath);
    QFile keyFile(keyPath);
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
        return false;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificate(QSslCertificate(certificateFile.readAll(), QSsl::Pem));
    config.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa, QSsl::Pem));
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto *server = new QSslServer(this);
    server->setSslConfiguration(config);
    m_tls = true;
    // A TLS connection is handed out once its handshake is done, which
    // newConnection (emitted on accept) does not wait for.
    connect(server, &QTcpServer::pendingConnectionAvailable, this, &LoopbackHttpServer::onNewConnection);
    return listenOn(server);
}

bool LoopbackHttpServer::listenOn(QTcpServer *server)
{
    m_server = server;
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
    return m_server->listen(QHostAddress::LocalHost, 0);
}

QString LoopbackHttpServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(m_server ? m_server->serverPort() : 0);
}

void LoopbackHttpServer::setReply(int status, const QByteArray &body, qsizetype firstWrite)
{
    m_status = status;
    m_body = body;
    m_firstWrite = firstWrite;
}

void LoopbackHttpServer::writeRest()
{
    if (m_held && m_firstWrite >= 0) {
        m_held->write(m_body.mid(m_firstWrite));
        m_held->disconnectFromHost();
    }
}

void LoopbackHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void LoopbackHttpServer::onReadyRead(QTcpSocket *socket)
{
    const QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", buffer.contains("\r\n\r\n") ? QByteArray() : buffer);
    if (!buffer.contains("\r\n\r\n"))
        return;
    m_requestLines.append(buffer.left(buffer.indexOf("\r\n")));

    // Clients read the status code, never the reason phrase.
    socket->write("HTTP/1.1 " + QByteArray::number(m_status)
        + " Status\r\nContent-Type: application/xml\r\nContent-Length: " + QByteArray::number(m_body.size())
        + "\r\nConnection: close\r\n\r\n" + m_body.left(m_firstWrite < 0 ? m_body.size() : m_firstWrite));
    m_held = socket;
    if (m_firstWrite < 0)
        socket->disconnectFromHost();
}
