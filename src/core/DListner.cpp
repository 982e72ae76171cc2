#include "core/DListner.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

DListner::DListner(const QByteArray &key, quint16 firstPort, quint16 lastPort, QObject *parent)
    : QThread(parent)
    , m_key(key)
    , m_firstPort(firstPort)
    , m_lastPort(lastPort)
{
}

DListner::~DListner()
{
    quit();
    wait();
}

quint16 DListner::listen()
{
    start();
    QMutexLocker lock(&m_mutex);
    // Binding a loopback port takes microseconds; the bound only guards
    // against a thread that never gets scheduled.
    while (!m_bindDone) {
        if (!m_bound.wait(&m_mutex, 5000))
            break;
    }
    return m_port;
}

quint16 DListner::port() const
{
    QMutexLocker lock(&m_mutex);
    return m_port;
}

void DListner::run()
{
    int clients = 0;
    QTcpServer server;
    quint16 bound = 0;
    if (m_firstPort != 0) {
        for (quint32 p = m_firstPort; p <= m_lastPort; ++p) {
            if (server.listen(QHostAddress::LocalHost, quint16(p))) {
                bound = quint16(p);
                break;
            }
        }
    }
    {
        QMutexLocker lock(&m_mutex);
        m_port = bound;
        m_bindDone = true;
        m_bound.wakeAll();
    }
    if (bound == 0)
        return;

    const QByteArray question = DListner::question(m_key);
    const QByteArray answer = DListner::answer(m_key);

    connect(&server, &QTcpServer::newConnection, &server, [&server, &clients, question, answer] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            if (clients >= MaxClients) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            ++clients;
            QObject::connect(socket, &QObject::destroyed, &server, [&clients] { --clients; });

            // Every way out ends here once, so the socket is deleted exactly once.
            auto drop = [socket] {
                if (socket->property("quorDropped").toBool())
                    return;
                socket->setProperty("quorDropped", true);
                socket->deleteLater();
            };
            QObject::connect(socket, &QTcpSocket::disconnected, socket, drop);

            auto *timer = new QTimer(socket);
            timer->setSingleShot(true);
            QObject::connect(timer, &QTimer::timeout, socket, [socket, drop] {
                socket->abort();
                drop();
            });
            timer->start(ClientTimeoutMs);

            // Reads at most one question's worth of bytes; anything that is not
            // exactly the question gets no answer.
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, drop, question, answer] {
                QByteArray line = socket->property("quorLine").toByteArray();
                line += socket->read(question.size() - line.size());
                socket->setProperty("quorLine", line);
                if (!line.contains('\n') && line.size() < question.size())
                    return;
                if (line == question) {
                    socket->write(answer);
                    socket->disconnectFromHost();
                } else {
                    socket->abort();
                    drop();
                }
            });
        }
    });

    exec();
}
