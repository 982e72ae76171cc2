#include "core/DSingleApplication.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <memory>
#include <vector>

#include "core/DListner.h"
#include "core/Logger.h"

DSingleApplication::DSingleApplication(const QString &key)
    : DSingleApplication(key, kDefaultFirstPort, kDefaultLastPort)
{
}

DSingleApplication::DSingleApplication(const QString &key, quint16 firstPort, quint16 lastPort)
    : m_key(key.toUtf8())
    , m_firstPort(firstPort)
    , m_lastPort(lastPort)
{
    start();
}

DSingleApplication::~DSingleApplication()
{
    delete m_listener;
}

quint16 DSingleApplication::listeningPort() const
{
    return m_listener ? m_listener->port() : 0;
}

bool DSingleApplication::probe(const QByteArray &key, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(DListner::question(key));

    const QByteArray expected = DListner::answer(key);
    QByteArray reply;
    QDeadlineTimer deadline(kReplyTimeoutMs);
    while (reply.size() < expected.size() && !reply.contains('\n')) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
        reply += socket.read(expected.size() - reply.size());
    }
    socket.abort();
    return reply == expected;
}

bool DSingleApplication::anyAnswers(const QByteArray &key, quint16 firstPort, quint16 lastPort)
{
    if (firstPort == 0 || firstPort > lastPort)
        return false;
    // All ports at once, so the check costs one probe's time at most.
    std::atomic<bool> answered { false };
    std::vector<std::unique_ptr<QThread>> probes;
    for (quint32 p = firstPort; p <= lastPort; ++p) {
        const auto port = quint16(p);
        probes.emplace_back(QThread::create([&answered, key, port] {
            if (probe(key, port))
                answered = true;
        }));
        probes.back()->start();
    }
    for (auto &thread : probes)
        thread->wait();
    return answered;
}

void DSingleApplication::start()
{
    if (anyAnswers(m_key, m_firstPort, m_lastPort)) {
        m_running = true;
        return;
    }

    m_listener = new DListner(m_key, m_firstPort, m_lastPort);
    const quint16 port = m_listener->listen();
    if (port == 0) {
        Logger::warning(QStringLiteral("Single-instance guard: no free port from %1 to %2; another instance will not "
                                       "be detected")
                            .arg(m_firstPort)
                            .arg(m_lastPort));
        return;
    }
    // Two instances started at the same moment both find the range silent and
    // bind different ports; the one on the lower port is the one that stays.
    if (port > m_firstPort && anyAnswers(m_key, m_firstPort, port - 1)) {
        delete m_listener;
        m_listener = nullptr;
        m_running = true;
    }
}
