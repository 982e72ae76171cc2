#pragma once

#include <QList>
#include <QString>

class Agent;

// One call queue of the PBX as its QueueParams event reports it, with the
// members that its member events listed. The queue owns the agents in its
// list; removeAgent hands one back to the caller.
class Queue
{
public:
    explicit Queue(const QString &name);
    ~Queue();
    Queue(const Queue &) = delete;
    Queue &operator=(const Queue &) = delete;

    void addAgent(Agent *agent);
    void removeAgent(Agent *agent);
    // The first member with this interface in this queue; null when none.
    Agent *findAgent(const QString &location, const QString &queue) const;

    QList<Agent *> agents;
    QString name;
    QString max;
    QString calls;
    QString holdTime;
    QString completed;
    QString abandoned;
    QString serviceLevel;
    QString serviceLevelPerf;
    QString weight;
};
