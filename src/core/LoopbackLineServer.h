#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;
class QTimer;

// A server on 127.0.0.1 that takes one short line per connection and closes
// it. Anything on this machine can connect, so a client is trusted no further
// than the shape of what it sends: one line of at most maxLineBytes (line end
// included) that starts with the expected bytes, sent within the deadline.
// A client that breaks a rule is refused and closed at once; clients beyond
// maxClients are closed on arrival. Served from the event loop of the thread
// that owns the server, so a slow or hostile client never blocks it.
class LoopbackLineServer : public QObject
{
    Q_OBJECT

public:
    enum class Refusal { TooManyClients, WrongStart, TooLong, MoreThanOneLine, Timeout };

    // The owner's answer to a line: bytes written back before the connection
    // closes, or nothing. A client that closed first hands over what it sent,
    // which may lack the line end or be empty.
    using LineHandler = std::function<QByteArray(const QByteArray &line)>;
    using RefusalHandler = std::function<void(Refusal why, const QByteArray &received)>;

    LoopbackLineServer(int maxLineBytes, int maxClients, QObject *parent = nullptr);
    ~LoopbackLineServer() override;

    // 127.0.0.1 only; port 0 picks a free port.
    bool listen(quint16 port);
    // Stops listening and closes every client.
    void close();
    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

    // A client whose first bytes differ from these is refused without waiting
    // for its line end.
    void setExpectedStart(const QByteArray &start) { m_expectedStart = start; }
    // Applies to connections accepted afterwards.
    void setReadTimeout(int ms) { m_readTimeoutMs = ms; }
    int readTimeout() const { return m_readTimeoutMs; }
    void setLineHandler(LineHandler handler) { m_onLine = std::move(handler); }
    void setRefusalHandler(RefusalHandler handler) { m_onRefusal = std::move(handler); }

private:
    struct Client
    {
        QByteArray buffer;
        QTimer *timer = nullptr;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void onDisconnected(QTcpSocket *socket);
    void readInto(QTcpSocket *socket, Client *client) const;
    // By value: forgetting the client frees the buffer the bytes may come from.
    void finish(QTcpSocket *socket, QByteArray line);
    void refuse(QTcpSocket *socket, Refusal why, QByteArray received);
    // Forgets the client; returns false when it was already gone.
    bool forget(QTcpSocket *socket);

    const int m_maxLineBytes;
    const int m_maxClients;
    QTcpServer m_server;
    QHash<QTcpSocket *, Client> m_clients;
    QByteArray m_expectedStart;
    int m_readTimeoutMs = 2000;
    LineHandler m_onLine;
    RefusalHandler m_onRefusal;
};
