// The places where the main window's own DND and forward, queue, agent and
// call-record work joins the connection cycle and the event routing. Each is
// called at its place in the order; the work itself comes with those features.

#include "mainwindow/TQuorManager.h"

#include "settings/TQuorSettings.h"

void TQuorManager::trackNewChannel(QStringList)
{
}

void TQuorManager::linkQueueCall(QStringList)
{
}

void TQuorManager::joinQueueCall(QStringList)
{
}

void TQuorManager::endCallRecords(const QString &, const QString &)
{
}

void TQuorManager::renameCallRecord(QStringList)
{
}

void TQuorManager::parkCallRecord(QStringList)
{
}

void TQuorManager::unparkCallRecord(QStringList)
{
}

void TQuorManager::giveUpParkedCall(QStringList)
{
}
