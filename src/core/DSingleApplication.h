#pragma once

#include <QByteArray>
#include <QString>

class DListner;

// Guards against a second instance of the program. On construction it asks
// every loopback port of its range whether an instance with the same key is
// listening; when none answers, this instance starts listening on the first
// free port of the range for as long as the guard lives.
//
// Only the key handshake counts as an answer: another program that happens to
// listen on one of the ports does not stop us. When no port can be bound the
// program still runs (with a logged warning); it is then simply not guarded.
// Of two instances started at the same moment, the one on the lower port stays.
class DSingleApplication
{
public:
    static constexpr quint16 kDefaultFirstPort = 35389;
    static constexpr quint16 kDefaultLastPort = 35399;
    // Bounds of one probe; all ports are probed at the same time.
    static constexpr int kConnectTimeoutMs = 300;
    static constexpr int kReplyTimeoutMs = 500;

    explicit DSingleApplication(const QString &key);
    // For tests: a private range of ports.
    DSingleApplication(const QString &key, quint16 firstPort, quint16 lastPort);
    ~DSingleApplication();

    DSingleApplication(const DSingleApplication &) = delete;
    DSingleApplication &operator=(const DSingleApplication &) = delete;

    // True when another instance answered the handshake.
    bool isRunning() const { return m_running; }
    // The port this instance listens on; 0 when another instance runs or no
    // port of the range was free.
    quint16 listeningPort() const;

    // Asks one port whether an instance with the key listens there. Blocks the
    // calling thread for at most the connect and reply timeouts.
    static bool probe(const QByteArray &key, quint16 port);

    // True when an instance answers on any port of the range.
    static bool anyAnswers(const QByteArray &key, quint16 firstPort, quint16 lastPort);

private:
    void start();

    const QByteArray m_key;
    const quint16 m_firstPort;
    const quint16 m_lastPort;
    bool m_running = false;
    DListner *m_listener = nullptr;
};
