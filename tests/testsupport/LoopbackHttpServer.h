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

    // The reply: a status and a body written in pieces, one write each. Stepped,
    // only the first piece goes out with the headers and writeNextPiece() sends
    // each further one; the connection closes after the last.
    void setReply(int status, const QList<QByteArray> &pieces, bool stepped = false);
    void writeNextPiece();

    // Request lines ("GET /path HTTP/1.1") in arrival order.
    QList<QByteArray> requestLines() const { return m_requestLines; }

private:
    bool listenOn(QTcpServer *server);
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void writePiece(QTcpSocket *socket);

    QTcpServer *m_server = nullptr;
    bool m_tls = false;
    int m_status = 200;
    QList<QByteArray> m_pieces;
    bool m_stepped = false;
    QPointer<QTcpSocket> m_current; // the connection a stepped reply is being written to
    int m_nextPiece = 0;
    QList<QByteArray> m_requestLines;
};
