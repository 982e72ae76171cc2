// How a tile follows the Channel record bound to it, and pairs that channel
// with the phone's own call.

#include "extensions/QuorAgent.h"

#include "core/TQuorCall.h"
#include "extensions/Channel.h"
#include "extensions/RecordIndex.h"
#include "softphone/TQuorPhone.h"

bool QuorAgent::setChannel(Channel *ch)
{
    if (channel || !ch || m_removal.pending())
        return false;
    bindChannel(ch);
    if (ch->state == QLatin1String("Ring") || ch->state == QLatin1String("Ringing")) {
        // Stored only: the label shows it with the next direction change.
        direction = ch->state == QLatin1String("Ring") ? tr("OUT") : tr("IN");
        setPhoneLook(PhoneLook::White);
        showPictures(images->str_ringing, images->bg_ringing);
        state = AgentCallOut;
    }
    announceState();
    return true;
}

void QuorAgent::bindChannel(Channel *ch)
{
    channel = ch;
    connect(ch, &Channel::timeoutEvent, this, &QuorAgent::timeoutEvent);
    connect(ch, &Channel::linkEvent, this, &QuorAgent::linkEvent);
    connect(ch, &Channel::unlinkEvent, this, &QuorAgent::unlinkEvent);
    connect(ch, &Channel::hangupEvent, this, &QuorAgent::hangupEvent);
    connect(ch, &Channel::joinQueueEvent, this, &QuorAgent::joinQueueEvent);
    connect(ch, &Channel::parkEvent, this, &QuorAgent::park);
    connect(ch, &Channel::leaveQueueEvent, this, &QuorAgent::leaveQueue);
    connect(ch, &Channel::stateChangedEvent, this, &QuorAgent::stateChangedEvent);
}

void QuorAgent::unbindChannel()
{
    if (channel)
        disconnect(channel, nullptr, this, nullptr);
    channel = nullptr;
}

TQuorCall *QuorAgent::liveCurrentCall() const
{
    return phone && phone->calls()->isOwnCall(currentCall) ? currentCall : nullptr;
}

void QuorAgent::stateChangedEvent()
{
    if (inQueue || state == AgentParked || !channel)
        return;
    const QString &channelState = channel->state;
    if (channelState == QLatin1String("Ring")) {
        setStatusText(tr("OUT"));
        showPictures(images->str_ringing, images->bg_active);
        setDirectionLook(DirectionLook::Out);
        state = AgentCallOut;
    } else if (channelState == QLatin1String("Ringing")) {
        setStatusText(tr("IN"));
        showPictures(images->str_ring, images->bg_ringing);
        setDirectionLook(DirectionLook::In);
        state = AgentRingIn;
    } else if (channelState == QLatin1String("Hold")) {
        showPictures(images->str_hold, images->bg_hold);
        state = AgentHold;
    } else if (channelState == QLatin1String("Unhold")) {
        showPictures(images->str_calling, images->bg_active);
        state = AgentInCall;
    } else if (channelState == QLatin1String("Offhook")) {
        setStatusText(tr("UP"));
        showPictures(images->str_offhook, images->bg_offhook);
        state = AgentOffHook;
    }
    announceState();
}

void QuorAgent::timeoutEvent(QString text)
{
    label_time->setText(text);
    emit timeoutAgent(text);
}

void QuorAgent::unlinkEvent()
{
    linkedChannel = nullptr;
}

void QuorAgent::linkEvent(QString uniqueid, QString uniqueid2)
{
    linkedChannel = nullptr;
    if (!channel || !channels)
        return;
    const QString &other = channel->uniqueid == uniqueid ? uniqueid2 : uniqueid;
    for (Channel *record : std::as_const(*channels)) {
        if (record->uniqueid != other)
            continue;
        showPictures(images->str_calling, images->bg_active);
        linkedChannel = record;
        QString text = record->callerIdName;
        if (text.isEmpty() || peerText.contains(QLatin1String("unknown")))
            text = record->callerId;
        setPeerText(text);
        announceState();
        return;
    }
}

void QuorAgent::joinQueueEvent()
{
    inQueue = true;
    state = AgentInQueue;
    peerText = queue;
    updatePeerLabel();
    setStatusText(tr("OUT"));
    showPictures(images->str_queue, images->bg_queue);
    announceState();
}

void QuorAgent::leaveQueue()
{
    inQueue = false;
    state = AgentInCall;
    peerText.clear();
    updatePeerLabel();
    setPhoneLook(PhoneLook::White);
    showPictures(images->str_calling, images->bg_active);
    setStatusText(tr("OUT"));
    announceState();
}

void QuorAgent::park()
{
    parked = true;
    inQueue = false;
    state = AgentParked;
    peerText = parkSlot;
    updatePeerLabel();
    setStatusText(QString());
    setPhoneLook(PhoneLook::Parked);
    showPictures(images->str_parked, images->bg_hold);
    announceState();
}

void QuorAgent::hangupEvent(QString uniqueid)
{
    inQueue = false;
    parked = false;
    // The record that hangs up is about to be destroyed: stop following it.
    unbindChannel();
    linkedChannel = nullptr;
    currentCall = nullptr;
    peerText.clear();

    // A second call of the same extension that waited gets the tile: the
    // first such record of the channel list.
    if (channels) {
        const QList<Channel *> &candidates = m_recordIndex ? m_recordIndex->withExtension(extension) : *channels;
        for (Channel *record : candidates) {
            if (record->uniqueid == uniqueid || !record->belongsTo(extension, tech))
                continue;
            bindChannel(record);
            label_time->clear();
            if (state != AgentParked) {
                showPictures(images->str_calling, images->bg_active);
                free = false;
            }
            break;
        }
    }

    if (!channel) {
        setStatusText(QString());
        label_time->clear();
        // A waiting call that was bound here took the tile's freedom; without
        // a call it is free again, and only a free tile shows DND or forward.
        if (dnd) {
            free = true;
            setDndState(true);
        } else if (state == AgentParked) {
            // Stays parked until the parking ends.
        } else if (forward) {
            free = true;
            setFwdState(true, fwdNumber, fwdFamily);
        } else {
            peerText.clear();
            updatePeerLabel();
            setIdle();
        }
        return;
    }

    if (channel->linkedTo.isEmpty() || !channels)
        return;
    for (Channel *record : std::as_const(*channels)) {
        if (record->uniqueid == channel->linkedTo) {
            linkedChannel = record;
            peerText = record->callerId;
            updatePeerLabel();
            return;
        }
    }
}

void QuorAgent::setPeerText(QString s)
{
    // The first text of a call stays until it is cleared.
    if (!peerText.isEmpty() && fwdNumber.isEmpty())
        return;
    const qsizetype colon = s.indexOf(QLatin1Char(':'));
    if (colon >= 0)
        s = s.mid(colon + 1);
    peerText = s;
    if (state == AgentInQueue)
        queue = s;
    updatePeerLabel();
}

void QuorAgent::slotSendCall(TQuorCall *call)
{
    if (!channel || !call)
        return;
    if (call->direction == DirectionOutgoing) {
        if (call->dialled == number)
            currentCall = call;
    } else if (call->direction == DirectionIncoming) {
        if (call->number == channel->callerId && channel->callerIdName != QLatin1String("<Unknown>")
            && call->name == channel->callerIdName)
            currentCall = call;
    }
}
