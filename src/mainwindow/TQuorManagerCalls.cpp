// The call records behind the queue and parked windows, kept from the PBX
// events at their places in the routing order, and the windows' requests.

#include "mainwindow/TQuorManager.h"

#include "ami/AmiAction.h"
#include "ami/AmiMessage.h"
#include "ami/ChannelName.h"
#include "ami/ManagerSocket.h"
#include "extensions/QuorExtensions.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"
#include "softphone/TQuorPhone.h"

void TQuorManager::trackNewChannel(const AmiMessage &message)
{
    const QString state = message.value(u"State");
    void (ActiveCall::*setPhase)() = nullptr;
    if (state == QLatin1String("Ring"))
        setPhase = &ActiveCall::setRing;
    else if (state == QLatin1String("Ringing"))
        setPhase = &ActiveCall::setRinging;
    else if (state == QLatin1String("Down"))
        setPhase = &ActiveCall::setDown;
    else
        return;
    QString callerId = message.value(u"CallerID");
    if (callerId.isEmpty())
        callerId = message.value(u"CallerIDNum");
    auto *call = new ActiveCall(
        m_queue->frame_Status, m_parked->frame_Status, message.value(u"Uniqueid"), message.value(u"Channel"), callerId);
    activeCalls.append(call);
    m_callIndex.add(call);
    (call->*setPhase)();
}

void TQuorManager::joinQueueCall(const AmiMessage &message)
{
    const QString channel = message.value(u"Channel");
    const QString queue = message.value(u"Queue");
    const QString callerId = message.value(u"CallerID");
    const QString callerIdName = message.value(u"CallerIDName");
    const QString uniqueid = message.value(u"Uniqueid");
    for (ActiveCall *call : m_callIndex.all(&ActiveCall::channel, channel))
        call->joinQueue(queue, uniqueid, callerId, callerIdName);
}

void TQuorManager::linkQueueCall(const AmiMessage &message)
{
    // The queue row is keyed by the queued caller's own uniqueid, whichever
    // side of the bridge the caller is on.
    const QString channel1 = message.value(u"Channel1");
    const QString channel2 = message.value(u"Channel2");
    const QString uniqueid1 = message.value(u"Uniqueid1");
    const QString uniqueid2 = message.value(u"Uniqueid2");
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

void TQuorManager::renameCallRecord(const AmiMessage &message)
{
    if (!message.value(u"NewUniqueid").isEmpty())
        return;
    if (ActiveCall *call = firstCall(&ActiveCall::channel, message.value(u"Oldname"))) {
        call->rename(message.value(u"Newname"), message.value(u"Uniqueid"));
        m_callIndex.update(call);
    }
}

void TQuorManager::parkCallRecord(const AmiMessage &message)
{
    const QString fromExt = ManagerSocket::extFromChannel(message.value(u"From"));
    if (ActiveCall *call = firstCall(&ActiveCall::channel, message.value(u"Channel")))
        call->park(message.value(u"Exten"), fromExt, message.value(u"CallerID"));
}

void TQuorManager::unparkCallRecord(const AmiMessage &message)
{
    const QString channel = message.value(u"Channel");
    if (ActiveCall *call = firstCall(&ActiveCall::channel, channel)) {
        call->unpark();
        m_parked->removeCall(channel);
    }
}

void TQuorManager::giveUpParkedCall(const AmiMessage &message)
{
    // The PBX may name the channel as its parking-lot goto.
    const QString channel = ChannelName::unwrapAsyncGoto(message.value(u"Channel"));
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
