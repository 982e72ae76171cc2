// The places where the main window's own DND and forward, queue, agent and
// call-record work joins the connection cycle and the event routing. Each is
// called at its place in the order; the work itself comes with those features.

#include "mainwindow/TQuorManager.h"

#include "settings/TQuorSettings.h"

void TQuorManager::slotPhoneOptionsChanged()
{
    m_previousForwardFamily = m_forwardFamily;
    readPhoneOptions();
    m_settings->getFwdFamilies(&m_fwdFamilyAll, &m_fwdFamilyBusy, &m_fwdFamilyNoAnswer);
    if (m_forwardFamily != m_previousForwardFamily)
        forwardFamilyChanged(m_previousForwardFamily);
}

void TQuorManager::forwardFamilyChanged(const QString &)
{
}

void TQuorManager::setAsteriskDND()
{
}

void TQuorManager::setAsteriskFWD()
{
}

void TQuorManager::ownDndAnswer(bool)
{
}

void TQuorManager::ownForwardAnswer(bool, const QString &, const QString &)
{
}

void TQuorManager::AgQueueState(QString)
{
}

void TQuorManager::AgentLogin()
{
}

void TQuorManager::AgentPause()
{
}

void TQuorManager::QueueMember(QStringList)
{
}

void TQuorManager::QueueParams(QStringList)
{
}

void TQuorManager::QueueStatusComplete(QStringList)
{
}

void TQuorManager::setPause(QStringList)
{
}
