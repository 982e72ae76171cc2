#include "mainwindow/Queue.h"

#include "mainwindow/Agent.h"

Queue::Queue(const QString &name)
    : name(name)
{
}

Queue::~Queue()
{
    qDeleteAll(agents);
}

void Queue::addAgent(Agent *agent)
{
    agents.append(agent);
}

void Queue::removeAgent(Agent *agent)
{
    agents.removeOne(agent);
}

Agent *Queue::findAgent(const QString &location, const QString &queue) const
{
    for (Agent *agent : agents) {
        if (agent->location == location && agent->queue == queue)
            return agent;
    }
    return nullptr;
}
