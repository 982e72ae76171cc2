#include "mainwindow/Agent.h"

#include <QDateTime>

Agent::Agent(const QString &location, const QString &queue)
    : queue(queue)
    , location(location)
{
}

QString Agent::lastCallText(const QString &lastCall)
{
    bool ok = false;
    const qint64 seconds = lastCall.toLongLong(&ok, 10);
    if (!ok || seconds <= 0)
        return lastCall;
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}
