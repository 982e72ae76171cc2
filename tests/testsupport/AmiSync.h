#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QObject>

#include "ami/ManagerSocket.h"

// Waits until a client socket has handled all its FakeAmiServer sent before:
// the server's answerPings() answers a marked Ping behind all it has written.
class AmiSync : public QObject
{
public:
    explicit AmiSync(ManagerSocket *socket)
        : m_socket(socket)
    {
        connect(socket, &ManagerSocket::UserEvent, this, [this](const QStringList &event) {
            if (ManagerSocket::getValue(QStringLiteral("UserEvent"), event) == QLatin1String("Sync"))
                m_seen = ManagerSocket::getValue(QStringLiteral("Mark"), event).toInt();
        });
    }

    bool sync(int timeoutMs = 10000)
    {
        const int mark = ++m_sent;
        m_socket->sendCommand(QStringLiteral("Action: Ping\r\nActionID: %1\r\n\r\n").arg(mark));
        const QDeadlineTimer deadline(timeoutMs);
        while (m_seen < mark && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return m_seen >= mark;
    }

private:
    ManagerSocket *m_socket;
    int m_sent = 0;
    int m_seen = 0;
};
