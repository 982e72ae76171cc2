// Every PBX event and query answer that the socket emits, handed to the
// extensions panel, with the call-record work and the follow-up queries
// before or after it; and the call records behind the queue and parked
// windows. A slot with work of its own splits the message once; the panel's
// handler and that work read the same fields.

#include "mainwindow/PbxRouter.h"

#include <utility>

#include "ami/AmiAction.h"
#include "ami/AmiMessage.h"
#include "ami/ChannelName.h"
#include "ami/ManagerSocket.h"
#include "extensions/QuorExtensions.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"

void PbxRouter::sendShowChannels()
{
    send(AmiAction::showChannels());
}

void PbxRouter::PeerEntry(QStringList message)
{
    m_panel->peerEntry(message);
}

void PbxRouter::PeerStatus(QStringList message)
{
    const AmiMessage fields(std::move(message));
    const QString peer = fields.value(u"Peer");
    QString status = fields.value(u"PeerStatus");
    QString tech = ManagerSocket::techFromChannel(peer);
    if (tech == QLatin1String("IAX2"))
        tech = QStringLiteral("IAX");
    const QString ext = ManagerSocket::extFromChannel(peer);
    if (status == QLatin1String("Unreachable") || status == QLatin1String("Unregistered"))
        status = QStringLiteral("4");
    else if (status == QLatin1String("Registered"))
        status = QStringLiteral("0");

    // Going unreachable clears the tile's DND and forward; both are asked
    // again, and their answers land on the tile the status below has reset.
    send(AmiAction::showKey(ext));
    m_panel->checkDnd(ext);
    m_panel->extensionStatus(ext, status);
    if (tech == QLatin1String("SIP"))
        send(AmiAction::sipCount());
    else if (tech == QLatin1String("IAX"))
        send(AmiAction::iaxCount());
}

void PbxRouter::ExtensionStatus(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_panel->extensionStatus(fields.value(u"Exten"), fields.value(u"Status"));
}

void PbxRouter::UserEvent(QStringList message)
{
    const AmiMessage fields(std::move(message));
    const QString act = fields.value(u"Act");
    // Another application's event names no family; a blank family setting
    // must not take it for its own.
    if (act.isEmpty())
        return;
    const QString user
        = m_panel->newAsterisk ? fields.value(u"User") : ManagerSocket::extFromChannel(fields.value(u"Channel"));
    if (act == m_dndFamily)
        m_panel->checkDnd(user);
    if (act == m_fwdFamilyAll || act == m_fwdFamilyBusy || act == m_fwdFamilyNoAnswer)
        m_panel->checkFwd(user, act);
}

void PbxRouter::peersCount(QStringList message, QString tech)
{
    const AmiMessage fields(std::move(message));
    const int total = fields.value(u"ListItems").toInt();
    const int available = fields.value(u"ListAvail").toInt();
    if (tech == QLatin1String("SIP")) {
        m_sipPeers = total;
        m_sipAvailable = available;
    } else if (tech == QLatin1String("IAX")) {
        m_iaxPeers = total;
        m_iaxAvailable = available;
    } else if (tech == QLatin1String("Zap")) {
        m_zapPeers = total;
    }
    if (m_countDone)
        resumeCount();
    if (m_panel->peersCount(fields, tech))
        emit discoveryDone();
}

void PbxRouter::Link(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_panel->link(fields);
    linkQueueCall(fields);
    sendShowChannels();
}

void PbxRouter::Unlink(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_panel->unlink(fields);
    // Each side as a message of four lines, none of them "key: value": the
    // Hangup handling reads both keys as empty, so only records without a
    // uniqueid end, and the panel finds no channel.
    Hangup({ QStringLiteral("Uniqueid: "), fields.value(u"Uniqueid1"), QStringLiteral("Channel: "),
        fields.value(u"Channel1") });
    Hangup({ QStringLiteral("Uniqueid: "), fields.value(u"Uniqueid2"), QStringLiteral("Channel: "),
        fields.value(u"Channel2") });
    sendShowChannels();
}

void PbxRouter::PeerResponse(QStringList message)
{
    const AmiMessage fields(std::move(message));
    if (fields.value(u"ObjectName") == userName)
        userContext = fields.value(u"Context");
    m_panel->peerResponse(fields);
}

void PbxRouter::Hangup(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_panel->hangup(fields);
    endCallRecords(fields.value(u"Uniqueid"), fields.value(u"Channel"));
    sendShowChannels();
}

void PbxRouter::Rename(QStringList message)
{
    // Masquerade names are the PBX's temporary ones: neither the records nor
    // the panel follow them.
    const AmiMessage fields(std::move(message));
    const QString newName = fields.value(u"Newname");
    if (newName.contains(QLatin1String("MASQ")) || newName.contains(QLatin1String("ZOMBIE")))
        return;
    renameCallRecord(fields);
    m_panel->rename(fields);
}

void PbxRouter::Newcallerid(QStringList message)
{
    m_panel->newCallerId(message);
}

void PbxRouter::Join(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_panel->join(fields);
    joinQueueCall(fields);
}

void PbxRouter::Leave(QStringList message)
{
    m_panel->leave(message);
}

void PbxRouter::MailBoxStatus(QStringList message)
{
    m_panel->mailBoxStatus(message);
}

void PbxRouter::MailBoxCount(QStringList message)
{
    m_panel->mailBoxCount(message);
}

void PbxRouter::GetVariable(QStringList message)
{
    if (AmiMessage(message).value(u"Variable") == QLatin1String("transfer"))
        Link(std::move(message));
}

void PbxRouter::Dial(QStringList message)
{
    m_panel->dial(message);
}

void PbxRouter::Status(QStringList message)
{
    m_panel->status(message);
}

void PbxRouter::Newstate(QStringList message)
{
    m_panel->newState(message);
}

void PbxRouter::Newchannel(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_panel->newChannel(fields);
    trackNewChannel(fields);
}

void PbxRouter::Newexten(QStringList message)
{
    m_panel->newExten(message);
}

void PbxRouter::Hold(QStringList message)
{
    m_panel->hold(message);
}

void PbxRouter::Unhold(QStringList message)
{
    m_panel->unhold(message);
}

void PbxRouter::ZapDND(QStringList message)
{
    m_panel->zapDnd(message);
}

void PbxRouter::ParkedCall(QStringList message)
{
    const AmiMessage fields(std::move(message));
    parkCallRecord(fields);
    m_panel->parkedCall(fields);
}

void PbxRouter::UnParkedCall(QStringList message)
{
    const AmiMessage fields(std::move(message));
    unparkCallRecord(fields);
    m_panel->unParkedCall(fields);
}

void PbxRouter::ParkedCallGiveUp(QStringList message)
{
    const AmiMessage fields(std::move(message));
    giveUpParkedCall(fields);
    m_panel->unParkedCall(fields);
}

void PbxRouter::Cdr(QStringList)
{
}

void PbxRouter::DBFilter(QStringList message)
{
    const AmiMessage fields(std::move(message));
    const QString key = fields.value(u"Key");
    if (key.isEmpty())
        return;
    const QString family = fields.value(u"Family");
    const QString option = fields.value(u"Option");
    const bool own = key == userName;
    // A "not found" answer carries no family: it must not match a blank one.
    const bool hasFamily = !family.isEmpty();
    if (m_panel->useFreePBX && key == QLatin1String("cidname"))
        m_panel->dbCidName(fields);
    if (hasFamily && family == m_dndFamily) {
        m_panel->dbDnd(fields);
        if (own)
            emit ownDndRead(true);
    }
    if (option == QLatin1String("dnd")) {
        m_panel->dbDnd(fields);
        if (own)
            emit ownDndRead(false);
    }
    if (hasFamily && (family == m_fwdFamilyAll || family == m_fwdFamilyBusy || family == m_fwdFamilyNoAnswer)) {
        m_panel->dbFwd(fields);
        if (own)
            emit ownForwardRead(true, fields.value(u"Val"), family);
    }
    if (option == QLatin1String("fwd")) {
        m_panel->dbFwd(fields);
        if (own)
            emit ownForwardRead(false, QString(), QString());
    }
}

void PbxRouter::keyFilter(QStringList message)
{
    const AmiMessage fields(std::move(message));
    if (fields.value(u"Option") == QLatin1String("fwd"))
        m_panel->keyFilter(fields);
}

// ---------------------------------------------------------------- call records

void PbxRouter::trackNewChannel(const AmiMessage &message)
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
    auto *call = new ActiveCall(m_queue ? m_queue->frame_Status : nullptr, m_parked ? m_parked->frame_Status : nullptr,
        message.value(u"Uniqueid"), message.value(u"Channel"), callerId);
    activeCalls.append(call);
    m_callIndex.add(call);
    (call->*setPhase)();
}

void PbxRouter::joinQueueCall(const AmiMessage &message)
{
    const QString channel = message.value(u"Channel");
    const QString queue = message.value(u"Queue");
    const QString callerId = message.value(u"CallerID");
    const QString callerIdName = message.value(u"CallerIDName");
    const QString uniqueid = message.value(u"Uniqueid");
    for (ActiveCall *call : m_callIndex.all(&ActiveCall::channel, channel))
        call->joinQueue(queue, uniqueid, callerId, callerIdName);
}

void PbxRouter::linkQueueCall(const AmiMessage &message)
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
    if (!m_queue)
        return;
    for (qsizetype n = 0; n < onSide1; ++n)
        m_queue->removeCall(uniqueid1);
    for (qsizetype n = 0; n < onSide2; ++n)
        m_queue->removeCall(uniqueid2);
}

void PbxRouter::endCallRecords(const QString &uniqueid, const QString &channel)
{
    if (uniqueid.isEmpty())
        return;
    for (ActiveCall *call : m_callIndex.all(&ActiveCall::uniqueid, uniqueid)) {
        if (const qsizetype position = m_callIndex.positionIn(activeCalls, call); position >= 0)
            activeCalls.removeAt(position);
        m_callIndex.remove(call);
        delete call;
        if (m_queue)
            m_queue->removeCall(uniqueid);
        if (m_parked)
            m_parked->removeCall(channel);
    }
}

void PbxRouter::clearCallRecords()
{
    // Their Hangups will never come: the PBX reports only the calls of the
    // new connection.
    if (m_queue)
        m_queue->removeAllCalls();
    if (m_parked)
        m_parked->removeAllCalls();
    m_callIndex.clear();
    qDeleteAll(activeCalls);
    activeCalls.clear();
}

void PbxRouter::renameCallRecord(const AmiMessage &message)
{
    if (!message.value(u"NewUniqueid").isEmpty())
        return;
    const QString oldName = message.value(u"Oldname");
    if (ActiveCall *call = firstCall(&ActiveCall::channel, oldName)) {
        call->rename(message.value(u"Newname"), message.value(u"Uniqueid"));
        m_callIndex.update(call);
        // The parked rows are keyed by the channel, and after a park by
        // masquerade the row belongs to a record that ended with the zombie:
        // every row of the old name follows, or its actions would find no
        // record and the call's end would never remove it.
        if (m_parked)
            m_parked->rekeyCalls(oldName, call->channel);
    }
}

void PbxRouter::parkCallRecord(const AmiMessage &message)
{
    const QString fromExt = ManagerSocket::extFromChannel(message.value(u"From"));
    if (ActiveCall *call = firstCall(&ActiveCall::channel, message.value(u"Channel")))
        call->park(message.value(u"Exten"), fromExt, message.value(u"CallerID"));
}

void PbxRouter::unparkCallRecord(const AmiMessage &message)
{
    const QString channel = message.value(u"Channel");
    if (ActiveCall *call = firstCall(&ActiveCall::channel, channel)) {
        call->unpark();
        if (m_parked)
            m_parked->removeCall(channel);
    }
}

void PbxRouter::giveUpParkedCall(const AmiMessage &message)
{
    // The PBX may name the channel as its parking-lot goto.
    const QString channel = ChannelName::unwrapAsyncGoto(message.value(u"Channel"));
    if (m_parked && firstCall(&ActiveCall::channel, channel))
        m_parked->removeCall(channel);
}
