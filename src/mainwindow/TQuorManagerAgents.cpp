// The PBX's queues and their members, and the user's own queue-agent login,
// logout and pause. The agent page is filled only through the settings
// object's agent operations; the buttons follow the PBX's member events, never
// the actions sent.

#include "mainwindow/TQuorManager.h"

#include <QAction>
#include <QLabel>
#include <QPixmap>

#include <utility>

#include "ami/AmiAction.h"
#include "ami/AmiMessage.h"
#include "ami/ManagerSocket.h"
#include "mainwindow/Agent.h"
#include "mainwindow/Queue.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

namespace {

const char kAgentPicture[] = ":/ui/images/a_login.png";
const char kAgentPausedPicture[] = ":/ui/images/a_login_p.png";

QString agentLine(const QString &memberName, const QString &location, const QString &queue)
{
    return memberName + QLatin1Char(' ') + location + QLatin1Char(' ') + queue;
}

} // namespace

QString TQuorManager::ownInterface() const
{
    return QLatin1String("IAX2/") + m_agentUser;
}

Queue *TQuorManager::findQueue(const QString &name) const
{
    // QueueParams is the only creator and never adds a name twice.
    for (Queue *queue : queues) {
        if (queue->name == name)
            return queue;
    }
    return nullptr;
}

void TQuorManager::QueueParams(QStringList message)
{
    if (message.isEmpty())
        return;
    const AmiMessage fields(std::move(message));
    const QString name = fields.value(u"Queue");
    Queue *queue = findQueue(name);
    if (!queue) {
        queue = new Queue(name);
        queues.append(queue);
    }
    queue->max = fields.value(u"Max");
    queue->calls = fields.value(u"Calls");
    queue->holdTime = fields.value(u"Holdtime");
    queue->completed = fields.value(u"Completed");
    queue->abandoned = fields.value(u"Abandoned");
    queue->serviceLevel = fields.value(u"ServiceLevel");
    queue->serviceLevelPerf = fields.value(u"ServicelevelPerf");
    queue->weight = fields.value(u"Weight");
}

void TQuorManager::QueueMember(QStringList message)
{
    const AmiMessage fields(std::move(message));
    const QString event = fields.value(u"Event");
    const QString queueName = fields.value(u"Queue");
    const QString location = fields.value(u"Location");
    QString memberName = fields.value(u"MemberName");
    if (memberName.isEmpty())
        memberName = fields.value(u"Name");
    const QString membership = fields.value(u"Membership");

    if (location == ownInterface()) {
        if (event == QLatin1String("QueueMember") || event == QLatin1String("QueueMemberAdded"))
            m_phone->setAgentLoggedIn(true);
        else if (event == QLatin1String("QueueMemberRemoved"))
            m_phone->setAgentLoggedIn(false);
        // AgQueueState lists the line again while the membership lasts.
        const qsizetype row = m_agentLines.indexOf(agentLine(memberName, location, queueName));
        if (row >= 0) {
            m_agentLines.removeAt(row);
            m_settings->removeAgentEntry(int(row));
        }
    }

    // A queue that no QueueParams announced has no record to hold the member.
    if (Queue *queue = findQueue(queueName)) {
        Agent *agent = queue->findAgent(location, queueName);
        if (!agent) {
            agent = new Agent(location, queueName);
            queue->addAgent(agent);
        }
        agent->memberName = memberName;
        agent->membership = membership;
        agent->penalty = fields.value(u"Penalty");
        agent->callsTaken = fields.value(u"CallsTaken");
        agent->lastCall = Agent::lastCallText(fields.value(u"LastCall"));
        agent->status = fields.value(u"Status");
        agent->paused = fields.value(u"Paused");
        // Only a removal comes without a membership.
        if (membership.isEmpty()) {
            queue->removeAgent(agent);
            delete agent;
        }
    }
    AgQueueState(queueName);
}

void TQuorManager::QueueStatusComplete(QStringList)
{
    fillComboQueues();
}

void TQuorManager::fillComboQueues()
{
    QStringList names;
    for (const Queue *queue : std::as_const(queues))
        names << queue->name;
    m_settings->setQueues(names);
}

void TQuorManager::setPause(QStringList message)
{
    const AmiMessage fields(std::move(message));
    const QString queueName = fields.value(u"Queue");
    if (Queue *queue = findQueue(queueName)) {
        if (Agent *agent = queue->findAgent(fields.value(u"Location"), queueName))
            agent->paused = fields.value(u"Paused");
    }
    AgQueueState(queueName);
}

void TQuorManager::AgQueueState(QString queue)
{
    const bool wasLoggedIn = m_agentLoggedIn;
    showOwnMembership(queue);
    // The phone refreshed the menu before the flag changed here.
    if (m_agentLoggedIn != wasLoggedIn)
        m_agentLoginAction->setText(m_agentLoggedIn ? tr("Agent Logout") : tr("Agent Login"));
}

void TQuorManager::showOwnMembership(const QString &queueName)
{
    const Queue *queue = findQueue(queueName);
    if (!queue) {
        // The page now asks for a queue, so the buttons act on none: a queue
        // passed here earlier (the last member event of the PBX's status, say)
        // would otherwise be joined by a press on "Select a Queue".
        m_agentLoggedIn = false;
        m_agentQueue.clear();
        m_settings->setAgentButton(false, tr("Select a Queue"), tr("Select\na Queue"));
        return;
    }
    m_agentLoggedIn = false;
    m_agentPaused = false;
    setButtonAgent(false, queueName);
    setButtonPause(false);
    const QString own = ownInterface();
    for (const Agent *agent : queue->agents) {
        if (agent->location != own)
            continue;
        m_agentLoggedIn = true;
        setButtonAgent(true, agent->queue);
        if (agent->paused == QLatin1String("1")) {
            m_agentPaused = true;
            setButtonPause(true);
        } else if (agent->paused == QLatin1String("0")) {
            m_agentPaused = false;
            setButtonPause(false);
        }
        const QString line = agentLine(agent->memberName, agent->location, agent->queue);
        if (m_agentLines.contains(line))
            return;
        m_agentLines.append(line);
        m_settings->addAgentEntry(line);
    }
}

void TQuorManager::setButtonAgent(bool loggedIn, QString queue)
{
    m_agentQueue = queue;
    if (loggedIn)
        m_settings->setAgentButton(true, queue + tr(" logout"), queue + tr("\nlogout"));
    else
        m_settings->setAgentButton(false, tr("connect to ") + queue, tr("connect to\n") + queue);
}

void TQuorManager::setButtonPause(bool paused)
{
    m_settings->setPauseButton(paused, paused ? tr("Unpause") : tr("Pause"));
    // While the phone is logged out of every queue it keeps its own picture.
    if (paused)
        m_phone->labelAlogin->setPixmap(QPixmap(QLatin1String(kAgentPausedPicture)));
    else if (m_phone->agentLoggedIn())
        m_phone->labelAlogin->setPixmap(QPixmap(QLatin1String(kAgentPicture)));
}

void TQuorManager::AgentLogin()
{
    if (m_agentQueue.isEmpty()) {
        m_phone->showMessage(tr("Please, select a Queue "), MessageError, QString());
        return;
    }
    if (m_agentLoggedIn) {
        Agentlogout();
        return;
    }
    // The logged-in state follows the PBX's QueueMemberAdded, not this text.
    m_socket->sendCommand(AmiAction::queueAdd(m_agentQueue, m_agentUser, m_agentId, m_penalty));
    m_phone->showMessage(tr("Agent ") + m_agentId + tr(" Logged In"), MessageStatus, QString());
}

void TQuorManager::Agentlogout()
{
    if (m_agentQueue.isEmpty())
        return;
    m_socket->sendCommand(AmiAction::queueRemove(m_agentQueue, m_agentUser));
    m_phone->showMessage(tr("Agent ") + m_agentId + tr(" Logged Off"), MessageError, QString());
    m_socket->sendCommand(AmiAction::queueStatus());
}

void TQuorManager::AgentPause()
{
    if (m_agentLoggedIn && !m_agentPaused) {
        sendQueuePause(true);
        m_phone->showMessage(tr("Agent ") + m_agentId + tr(" Paused"), MessageStatus, QString());
        return;
    }
    AgentUnPause();
}

void TQuorManager::AgentUnPause()
{
    if (!m_agentLoggedIn)
        return;
    sendQueuePause(false);
    m_phone->showMessage(tr("Agent ") + m_agentId + tr(" Unpaused"), MessageStatus, QString());
}

void TQuorManager::sendQueuePause(bool paused)
{
    m_socket->sendCommand(AmiAction::queuePause(m_agentQueue, m_agentUser, paused));
}
