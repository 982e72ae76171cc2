// The call records behind the queue and parked windows, kept from the PBX
// events at their places in the routing order, and the windows' requests.

#include "mainwindow/TQuorManager.h"

#include "ami/AmiAction.h"
#include "ami/ChannelName.h"
#include "ami/ManagerSocket.h"
#include "extensions/QuorExtensions.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"
#include "softphone/TQuorPhone.h"

namespace {

QString field(const char *key, const QStringList &message)
{
    return ManagerSocket::getValue(QLatin1String(key), message);
}

} // namespace

void TQuorManager::trackNewChannel(QStringList message)
{
    const QString state = field("State", message);
    void (ActiveCall::*setPhase)() = nullptr;
    if (state == QLatin1String("Ring"))
        setPhase = &ActiveCall::setRing;
    else if (state == QLatin1String("Ringing"))
        setPhase = &ActiveCall::setRinging;
    else if (state == QLatin1String("Down"))
        setPhase = &ActiveCall::setDown;
    else
        return;
    QString callerId = field("CallerID", message);
    if (callerId.isEmpty())
        callerId = field("CallerIDNum", message);
    auto *call = new ActiveCall(
        m_queue->frame_Status, m_parked->frame_Status, field("Uniqueid", message), field("Channel", message), callerId);
    activeCalls.append(call);
    m_callIndex.add(call);
    (call->*setPhase)();
}

void TQuorManager::joinQueueCall(QStringList message)
{
    const QString channel = field("Channel", message);
    const QString queue = field("Queue", message);
    const QString callerId = field("CallerID", message);
    const QString callerIdName = field("CallerIDName", message);
    const QString uniqueid = field("Uniqueid", message);
    for (ActiveCall *call : m_callIndex.all(&ActiveCall::channel, channel))
        call->joinQueue(queue, uniqueid, callerId, callerIdName);
}

void TQuorManager::linkQueueCall(QStringList message)
{
    // The queue row is keyed by the queued caller's own uniqueid, whichever
    // side of the bridge the caller is on.
    const QString channel1 = field("Channel1", message);
    const QString channel2 = field("Channel2", message);
    const QString uniqueid1 = field("Uniqueid1", message);
    const QString uniqueid2 = field("Uniqueid2", message);
    // One removal for each record on either side; which rows go does not
    // depend on the order of the removals.
    const qsizetype onSide1 = m_callIndex.all(&ActiveCall::channel, channel1).size();
    const qsizetype onSide2 = channel2 == channel1 ? 0 : m_callIndex.all(&ActiveCall::channel, channel2).size();
    for (qsizetype n = 0; n < onSide1; ++n)
        m_queue->removeCall(uniqueid1);
    for (qsizetype n = 0; n < onSide2; ++n)
        m_queue->removeCall(uniqueid2);
}

void TQuorManager::endCallRecords(const QString &uniqueid, const QString &channel)
{
    if (uniqueid.isEmpty())
        return;
    for (ActiveCall *call : m_callIndex.all(&ActiveCall::uniqueid, uniqueid)) {
        if (const qsizetype position = m_callIndex.positionIn(activeCalls, call); position >= 0)
            activeCalls.removeAt(position);
        m_callIndex.remove(call);
        delete call;
        m_queue->removeCall(uniqueid);
        m_parked->removeCall(channel);
    }
}

void TQuorManager::clearCallRecords()
{
    // Their Hangups will never come: the PBX reports only the calls of the
    // new connection.
    m_queue->removeAllCalls();
    m_parked->removeAllCalls();
    m_callIndex.clear();
    qDeleteAll(activeCalls);
    activeCalls.clear();
}

void TQuorManager::renameCallRecord(QStringList message)
{
    if (!field("NewUniqueid", message).isEmpty())
        return;
    if (ActiveCall *call = firstCall(&ActiveCall::channel, field("Oldname", message))) {
        call->rename(field("Newname", message), field("Uniqueid", message));
        m_callIndex.update(call);
    }
}

void TQuorManager::parkCallRecord(QStringList message)
{
    const QString fromExt = ManagerSocket::extFromChannel(field("From", message));
    if (ActiveCall *call = firstCall(&ActiveCall::channel, field("Channel", message)))
        call->park(field("Exten", message), fromExt, field("CallerID", message));
}

void TQuorManager::unparkCallRecord(QStringList message)
{
    const QString channel = field("Channel", message);
    if (ActiveCall *call = firstCall(&ActiveCall::channel, channel)) {
        call->unpark();
        m_parked->removeCall(channel);
    }
}

void TQuorManager::giveUpParkedCall(QStringList message)
{
    // The PBX may name the channel as its parking-lot goto.
    const QString channel = ChannelName::unwrapAsyncGoto(field("Channel", message));
    if (firstCall(&ActiveCall::channel, channel))
        m_parked->removeCall(channel);
}

void TQuorManager::takeQueue(QString channel)
{
    m_socket->sendCommand(AmiAction::redirect(channel, userName, userContext));
}

void TQuorManager::redirectChannel(QString channel, QString exten)
{
    // The typed destination also picks the tile whose context is sent.
    m_extensions->redirectCall(channel, AmiAction::value(exten));
}

void TQuorManager::hangQueue(QString channel)
{
    m_socket->sendCommand(AmiAction::hangup(channel));
}

void TQuorManager::hangPark(QString channel)
{
    hangQueue(channel);
}

void TQuorManager::takePark(QString space)
{
    m_phone->callNumber(space);
}
