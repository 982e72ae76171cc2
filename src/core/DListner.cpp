#include "core/DListner.h"

#include <QMutexLocker>

#include "core/LoopbackLineServer.h"

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
    const QByteArray question = DListner::question(m_key);
    const QByteArray answer = DListner::answer(m_key);
    LoopbackLineServer server(int(question.size()), kMaxClients);
    quint16 bound = 0;
    if (m_firstPort != 0) {
        for (quint32 p = m_firstPort; p <= m_lastPort; ++p) {
            if (server.listen(quint16(p))) {
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

    // Anything that is not exactly the question gets no answer.
    server.setExpectedStart(question);
    server.setReadTimeout(kClientTimeoutMs);
    server.setLineHandler(
        [question, answer](const QByteArray &line) { return line == question ? answer : QByteArray(); });
    exec();
}
