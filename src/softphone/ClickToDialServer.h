#pragma once

#include <QObject>

#include "core/LoopbackLineServer.h"

// The local click-to-dial socket: other programs on this machine ask the phone
// to dial by connecting to 127.0.0.1 and sending one line "call:<number>".
//
// Anything on this machine can connect, so a request is trusted no further than
// its shape: one short line, the "call:" prefix and only dialable characters
// (digits, '*', '#', '+' and ASCII letters for named extensions). Anything else
// is refused with a logged warning and the connection is closed. Reading never
// blocks: each connection is served from the event loop with its own deadline.
class ClickToDialServer : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 35400;
    // The longest request line accepted, line end included.
    static constexpr int kMaxLineLength = 128;
    // How long a client may take to send its line.
    static constexpr int kDefaultReadTimeoutMs = 2000;
    // Connections served at once; more are closed at once.
    static constexpr int kMaxConnections = 8;

    explicit ClickToDialServer(QObject *parent = nullptr);
    ~ClickToDialServer() override;

    // Listens on 127.0.0.1 only; port 0 picks a free port (for tests). When the
    // port is taken a warning is logged and the phone carries on without
    // click-to-dial. Returns whether the socket listens.
    bool start(quint16 port = kDefaultPort);
    void stop();

    // For tests; applies to connections accepted afterwards.
    void setReadTimeout(int ms) { m_server.setReadTimeout(ms); }

    bool isListening() const;
    quint16 port() const;

    // The number of a request line, or an empty string when the line is not a
    // valid request; reason then says why (for the log).
    static QString parseRequest(const QByteArray &line, QString *reason = nullptr);
    static bool isDialable(const QString &number);

signals:
    // A valid request: the phone raises its main window and dials the number.
    void signalCallRequest(const QString &number);

private:
    QByteArray onLine(const QByteArray &line);
    void onRefusal(LoopbackLineServer::Refusal why, const QByteArray &received);

    LoopbackLineServer m_server;
};
