#pragma once

#include <QByteArray>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

// Answers the single-instance handshake of later instances. It binds the first
// free loopback port of its range and serves every connection (a
// LoopbackLineServer) in its own thread, so a slow or hostile client never
// touches the GUI thread.
class DListner : public QThread
{
    Q_OBJECT

public:
    DListner(const QByteArray &key, quint16 firstPort, quint16 lastPort, QObject *parent = nullptr);
    ~DListner() override;

    // Starts the thread and waits until it has bound a port or given up.
    // Returns the bound port, or 0 when no port of the range was free.
    quint16 listen();
    quint16 port() const;

    // The line a probe sends and the line an instance answers with.
    static QByteArray question(const QByteArray &key) { return key + "?\n"; }
    static QByteArray answer(const QByteArray &key) { return key + "!\n"; }

    // A client that has not sent its line in this time is dropped.
    static constexpr int kClientTimeoutMs = 2000;
    // Connections beyond this many at once are closed at once.
    static constexpr int kMaxClients = 16;

protected:
    void run() override;

private:
    const QByteArray m_key;
    const quint16 m_firstPort;
    const quint16 m_lastPort;

    mutable QMutex m_mutex;
    QWaitCondition m_bound;
    bool m_bindDone = false;
    quint16 m_port = 0;
};
