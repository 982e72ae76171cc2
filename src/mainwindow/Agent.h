#pragma once

#include <QString>

// One membership of an interface in a queue, as the PBX's member events
// report it. Values are kept as received, except the last call, which is a
// date text once it is a time.
class Agent
{
public:
    Agent(const QString &location, const QString &queue);

    // LastCall as the PBX sends it (seconds since 1970, UTC) turned into local
    // "yyyy-MM-dd hh:mm:ss"; "0" and anything that is not a positive number
    // stay as received.
    static QString lastCallText(const QString &lastCall);

    QString queue;
    QString location;
    QString memberName;
    QString membership;
    QString penalty;
    QString callsTaken;
    QString lastCall;
    QString status;
    QString paused;
};
