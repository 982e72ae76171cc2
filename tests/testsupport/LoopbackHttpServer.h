#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;

// A small web server for tests on 127.0.0.1 and a free port, plain HTTP or TLS
// (QSslServer with a certificate from tests/data). It records the first line of
// every request and answers each with the scripted reply, then closes the
// connection.
class LoopbackHttpServer : public QObject
{
public:
    bool listen();
    // TLS with the PEM certificate and key at these paths.
    bool listenTls(const QString &certificatePath, const QString &keyPath);
    // "http://127.0.0.1:<port>" or "https://...".
    QString baseUrl() const;

    // The reply to every request; past firstWrite bytes, the body waits for writeRest().
    void setReply(int status, const QByteArray &body, qsizetype firstWrite = -1);
    void writeRest();

    // Request lines ("GET /path HTTP/1.1") in arrival order.
    QList<QByteArray> requestLines() const { return m_requestLines; }

private:
    bool listenOn(QTcpServer *server);
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);

    QTcpServer *m_server = nullptr;
    bool m_tls = false;
    int m_status = 200;
    QByteArray m_body;
    qsizetype m_firstWrite = -1;
    QPointer<QTcpSocket> m_held; // the connection whose reply waits for writeRest()
    QList<QByteArray> m_requestLines;
};
