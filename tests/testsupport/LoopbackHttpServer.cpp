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

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(QObject *parent)
    : QObject(parent)
{
}

LoopbackHttpServer::~LoopbackHttpServer() = default;

bool LoopbackHttpServer::listen()
{
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
    return m_server->listen(QHostAddress::LocalHost, 0);
}

bool LoopbackHttpServer::listenTls(const QString &certificatePath, const QString &keyPath)
{
    const QSslCertificate certificate(readFile(certificatePath), QSsl::Pem);
    const QSslKey key(readFile(keyPath), QSsl::Rsa, QSsl::Pem);
    if (certificate.isNull() || key.isNull())
        return false;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificate(certificate);
    config.setPrivateKey(key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);

    auto *server = new QSslServer(this);
    server->setSslConfiguration(config);
    m_server = server;
    m_tls = true;
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
    // A TLS connection is handed out once its handshake is done, which
    // newConnection (emitted on accept) does not wait for.
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &LoopbackHttpServer::onNewConnection);
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 LoopbackHttpServer::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QString LoopbackHttpServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(port());
}

void LoopbackHttpServer::setReply(int status, const QList<QByteArray> &pieces, bool stepped)
{
    m_status = status;
    m_pieces = pieces;
    m_stepped = stepped;
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
    QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("request", buffer);
        return;
    }
    socket->setProperty("request", QByteArray());
    const QByteArray line = buffer.left(buffer.indexOf("\r\n"));
    m_requestLines.append(line);
    emit requestReceived(line);

    qsizetype length = 0;
    for (const QByteArray &piece : std::as_const(m_pieces))
        length += piece.size();
    socket->write("HTTP/1.1 " + QByteArray::number(m_status) + ' ' + reasonPhrase(m_status)
        + "\r\nContent-Type: application/xml\r\nContent-Length: " + QByteArray::number(length)
        + "\r\nConnection: close\r\n\r\n");
    m_current = socket;
    m_nextPiece = 0;
    writePiece(socket);
    while (!m_stepped && m_nextPiece < m_pieces.size())
        writePiece(socket);
}

void LoopbackHttpServer::writeNextPiece()
{
    if (m_current)
        writePiece(m_current);
}

void LoopbackHttpServer::writePiece(QTcpSocket *socket)
{
    if (m_nextPiece < m_pieces.size()) {
        socket->write(m_pieces.at(m_nextPiece++));
        socket->flush();
    }
    if (m_nextPiece >= m_pieces.size())
        socket->disconnectFromHost();
}
