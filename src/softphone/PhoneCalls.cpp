#include "softphone/PhoneCalls.h"

#include <QTimer>

#include "core/Logger.h"
#include "core/Privacy.h"
#include "core/TQuorCall.h"
#include "softphone/QuorIaxClient.h"

PhoneCalls::PhoneCalls(QuorIaxClient *voip, QObject *parent)
    : QObject(parent)
    , m_voip(voip)
{
    qRegisterMetaType<TQuorCall *>("TQuorCall*");
    m_attendedTimer = new QTimer(this);
    m_attendedTimer->setSingleShot(true);
    connect(m_attendedTimer, &QTimer::timeout, this, [this] { finishAttendedTransfer(true); });

    connect(m_voip, &QuorIaxClient::signalRingingIn, this, &PhoneCalls::slotPhoneRingingIn);
    connect(m_voip, &QuorIaxClient::signalAccepted, this, &PhoneCalls::slotAccepted);
    connect(m_voip, &QuorIaxClient::signalRingingOut, this, &PhoneCalls::slotRingingOut);
    connect(m_voip, &QuorIaxClient::signalAnswered, this, &PhoneCalls::slotAnswered);
    connect(m_voip, &QuorIaxClient::signalHungUp, this, &PhoneCalls::slotHungUp);
    connect(m_voip, &QuorIaxClient::signalTransferResult, this, &PhoneCalls::slotTransferResult);
}

PhoneCalls::~PhoneCalls()
{
    qDeleteAll(m_calls);
}

// ---------------------------------------------------------------- lookups

TQuorCall *PhoneCalls::findCall(int callNo) const
{
    for (TQuorCall *call : m_calls) {
        if (call->callNo == callNo)
            return call;
    }
    return nullptr;
}

bool PhoneCalls::isOwnCall(const TQuorCall *call) const
{
    return call && m_calls.contains(const_cast<TQuorCall *>(call)) && TQuorCall::isLive(call);
}

TQuorCall *PhoneCalls::talkingCall() const
{
    for (TQuorCall *call : m_calls) {
        if (call->state == CallTalking && !m_info.value(call).forwarding)
            return call;
    }
    return nullptr;
}

TQuorCall *PhoneCalls::heldCall() const
{
    for (TQuorCall *call : m_calls) {
        if (call->state == CallHeld)
            return call;
    }
    return nullptr;
}

TQuorCall *PhoneCalls::currentCall() const
{
    TQuorCall *selected = m_selected ? m_selected() : nullptr;
    if (isOwnCall(selected))
        return selected;
    if (TQuorCall *talking = talkingCall())
        return talking;
    for (auto it = m_calls.crbegin(); it != m_calls.crend(); ++it) {
        if (m_info.value(*it).listed)
            return *it;
    }
    return nullptr;
}

TQuorCall *PhoneCalls::ringingCall() const
{
    TQuorCall *ringing = nullptr;
    TQuorCall *selected = m_selected ? m_selected() : nullptr;
    for (TQuorCall *call : m_calls) {
        if (call->direction == DirectionIncoming && call->state == CallRinging && m_info.value(call).listed
            && (!ringing || call == selected))
            ringing = call;
    }
    return ringing;
}

QDateTime PhoneCalls::answeredAt(const TQuorCall *call) const
{
    return m_info.value(call).answeredAt;
}

QString PhoneCalls::accountUser() const
{
    return m_voip->account().user();
}

bool PhoneCalls::callIsUp() const
{
    for (TQuorCall *call : m_calls) {
        if (call->state == CallTalking || call->state == CallHeld)
            return true;
    }
    return false;
}

bool PhoneCalls::hasLiveVoiceMailCheck() const
{
    for (TQuorCall *call : m_calls) {
        if (m_info.value(call).voiceMailCheck)
            return true;
    }
    return false;
}

QString PhoneCalls::callCaption(const TQuorCall *call)
{
    const QString name = call->name.trimmed();
    const QString number = call->number.trimmed();
    if (!name.isEmpty() && name != number)
        return number.isEmpty() ? name : name + QLatin1Char(' ') + number;
    return number.isEmpty() ? tr("Unknown") : number;
}

QString PhoneCalls::shownCaption(const TQuorCall *call) const
{
    return m_privacy ? Privacy::maskNumbers(callCaption(call)) : callCaption(call);
}

// ---------------------------------------------------------------- records

TQuorCall *PhoneCalls::addCall(int callNo, int direction, const QString &name, const QString &number)
{
    // The engine reused a slot whose end we never heard of: close that call first.
    if (TQuorCall *stale = findCall(callNo))
        slotHungUp(callNo, stale->state == CallTalking || stale->state == CallHeld);

    auto *call = new TQuorCall;
    call->callNo = callNo;
    call->direction = direction;
    call->name = TQuorCall::cleanNumber(name);
    call->number = TQuorCall::cleanNumber(number);
    call->startTime = QDateTime::currentDateTime();
    call->setState(CallNew);
    call->previousState = CallNew;
    m_calls.append(call);
    m_info.insert(call, CallInfo());
    return call;
}

void PhoneCalls::list(TQuorCall *call)
{
    m_info[call].listed = true;
    emit signalListed(call);
}

void PhoneCalls::setCallState(TQuorCall *call, int state)
{
    if (call->state == state)
        return;
    call->setState(state);
    emit signalStateChanged(call);
}

void PhoneCalls::slotHungUp(int callNo, bool wasAnswered)
{
    TQuorCall *call = findCall(callNo);
    if (!call)
        return;
    m_calls.removeOne(call);
    // A call answered only to be forwarded was not taken by the user: missed.
    int log = RowMissed;
    if (call->direction == DirectionOutgoing)
        log = RowDialled;
    else if (wasAnswered && !m_info.value(call).forwarding)
        log = RowAnswered;
    emit signalCallEnded(call, log);
    m_info.remove(call);
    delete call;
}

// ---------------------------------------------------------------- dialling

int PhoneCalls::dial(const QString &number, bool showCalls)
{
    const QString target = number.trimmed();
    if (target.isEmpty()) {
        emit signalShowMessage(tr("Enter a number to call"), MessageWarning);
        return -1;
    }
    if (TQuorCall::cleanNumber(target) != target) {
        emit signalShowMessage(tr("The number contains characters that cannot be dialled"), MessageError,
            QStringLiteral("Refused to dial \"%1\"").arg(Logger::escaped(target)));
        return -1;
    }
    if (m_calls.size() >= kMaxCalls) {
        emit signalShowMessage(tr("Too many calls: end one before placing another"), MessageWarning);
        return -1;
    }
    if (!accountUser().isEmpty() && target == accountUser()) {
        emit signalShowMessage(tr("You cannot call your own number"), MessageWarning);
        return -1;
    }
    if (hasLiveVoiceMailCheck()) {
        emit signalShowMessage(tr("Voicemail check in progress"), MessageWarning);
        return -1;
    }
    return placeCall(target, showCalls);
}

int PhoneCalls::placeCall(const QString &number, bool showCalls)
{
    TQuorCall *talking = talkingCall();
    const int callNo = m_voip->dial(number);
    if (callNo < 0) {
        emit signalShowMessage(tr("Unable to call %1").arg(number), MessageError);
        return -1;
    }
    // Only a call that is really placed puts the conversation on hold.
    if (talking)
        hold(talking);
    TQuorCall *call = addCall(callNo, DirectionOutgoing, QString(), number);
    call->dialled = number;
    setCallState(call, CallDialling);
    list(call);
    emit signalDialled(call, showCalls);
    Logger::info(QStringLiteral("Calling %1 on line %2").arg(Logger::escaped(number)).arg(callNo));
    return callNo;
}

void PhoneCalls::callExtension(const QString &number)
{
    const QString target = number.trimmed();
    // A blank number goes on to dial, whose check says what is wrong with it.
    if (!target.isEmpty() && target == accountUser())
        return;
    if (!m_calls.isEmpty()) {
        const TQuorCall *current = currentCall();
        if (current && current->direction == DirectionOutgoing && current->state >= CallDialling
            && current->state <= CallRinging)
            return;
    }
    // Placing the call holds the talking one.
    dial(target);
}

void PhoneCalls::callVoiceMail()
{
    const QString number = m_settings.vmNumber.trimmed();
    if (number.isEmpty()) {
        emit signalShowMessage(tr("No voicemail number set"), MessageWarning);
        return;
    }
    const int callNo = dial(number);
    TQuorCall *call = findCall(callNo);
    if (!call || m_settings.vmPassword.isEmpty())
        return;
    m_info[call].voiceMailCheck = true;
    const QString digits = m_settings.vmPassword + QLatin1Char('#');
    QTimer::singleShot(m_vmLoginMs, this, [this, call, callNo, digits] {
        if (!isOwnCall(call) || call->callNo != callNo)
            return;
        m_info[call].voiceMailCheck = false;
        for (const QChar digit : digits) {
            if (!m_voip->sendDtmf(digit, callNo))
                Logger::warning(QStringLiteral("Voicemail login: a password character cannot be sent as a tone"));
        }
    });
}

bool PhoneCalls::sendDtmf(QChar key)
{
    TQuorCall *talking = talkingCall();
    if (talking)
        m_voip->sendDtmf(key, talking->callNo);
    return talking != nullptr;
}

// ---------------------------------------------------------------- incoming, answering and ending

void PhoneCalls::slotPhoneRingingIn(int callNo, const QString &name, const QString &number)
{
    TQuorCall *call = addCall(callNo, DirectionIncoming, name, number);
    setCallState(call, CallRinging);
    const QString caption = shownCaption(call);
    Logger::info(QStringLiteral("Incoming call on line %1").arg(callNo));

    if (m_settings.dnd) {
        m_voip->reject(callNo);
        emit signalShowMessage(tr("Call from %1 rejected: do not disturb").arg(caption), MessageStatus);
        return;
    }
    if (m_settings.forward && forwardCall(call))
        return;
    if (m_settings.busy && callIsUp()) {
        m_voip->sendBusy(callNo);
        emit signalShowMessage(tr("Call from %1 refused: busy").arg(caption), MessageStatus);
        return;
    }
    list(call);
    emit signalRinging(call);
}

bool PhoneCalls::forwardCall(TQuorCall *call)
{
    QString target;
    if (m_settings.forwardToVm) {
        const QString user = m_settings.vmUser.trimmed();
        const QString mailbox = user.isEmpty() ? accountUser() : user;
        // Without a prefix the call would go to the mailbox's own extension,
        // which is this phone again.
        if (m_settings.vmPrefix.trimmed().isEmpty() || mailbox.isEmpty()) {
            emit signalShowMessage(
                tr("Cannot forward to voicemail: no voicemail prefix or mailbox set"), MessageWarning);
            return false;
        }
        target = m_settings.vmPrefix.trimmed() + mailbox;
    } else {
        target = m_settings.forwardNumber.trimmed();
        if (target.isEmpty()) {
            emit signalShowMessage(tr("Cannot forward the call: no forward number set"), MessageWarning);
            return false;
        }
    }
    const int callNo = call->callNo;
    TQuorCall *talking = talkingCall();
    m_info[call].forwarding = true;
    m_voip->answer(callNo);
    if (!m_voip->blindTransfer(callNo, target)) {
        emit signalShowMessage(tr("Unable to transfer the call"), MessageError);
        m_voip->hangup(callNo);
    } else {
        setCallState(call, CallTransferring);
        emit signalShowMessage(tr("Call from %1 forwarded to %2").arg(shownCaption(call), target), MessageStatus);
    }
    // Answering took the sound device; the conversation keeps it.
    if (talking)
        m_voip->selectCall(talking->callNo);
    return true;
}

bool PhoneCalls::answer(TQuorCall *call)
{
    if (!isOwnCall(call) || call->direction != DirectionIncoming || call->state != CallRinging)
        return false;
    holdTalkingCall();
    if (!m_voip->answer(call->callNo)) {
        emit signalShowMessage(tr("Unable to answer the call"), MessageError);
        return false;
    }
    return true;
}

void PhoneCalls::slotAccepted(int callNo)
{
    if (TQuorCall *call = findCall(callNo); call && call->state < CallAccepted)
        setCallState(call, CallAccepted);
}

void PhoneCalls::slotRingingOut(int callNo)
{
    if (TQuorCall *call = findCall(callNo); call && call->state < CallRinging)
        setCallState(call, CallRinging);
}

void PhoneCalls::slotAnswered(int callNo)
{
    TQuorCall *call = findCall(callNo);
    if (!call)
        return;
    CallInfo &info = m_info[call];
    info.answeredAt = QDateTime::currentDateTime();
    if (info.forwarding)
        return;
    setCallState(call, CallTalking);
    emit signalAnswered(call);
}

void PhoneCalls::hangup(TQuorCall *call)
{
    if (!isOwnCall(call))
        return;
    if (call->direction == DirectionIncoming && call->state == CallRinging)
        m_voip->reject(call->callNo);
    else
        m_voip->hangup(call->callNo);
}

void PhoneCalls::activate(TQuorCall *call)
{
    if (!isOwnCall(call))
        return;
    if (call->direction == DirectionIncoming && call->state == CallRinging) {
        answer(call);
    } else if (call->state == CallHeld) {
        holdTalkingCall();
        resume(call);
    }
}

// ---------------------------------------------------------------- hold

bool PhoneCalls::hold(TQuorCall *call)
{
    if (!isOwnCall(call) || call->state != CallTalking)
        return false;
    if (!m_voip->hold(call->callNo)) {
        emit signalShowMessage(tr("Unable to hold the call"), MessageError);
        return false;
    }
    setCallState(call, CallHeld);
    return true;
}

bool PhoneCalls::resume(TQuorCall *call)
{
    if (!isOwnCall(call) || call->state != CallHeld)
        return false;
    if (!m_voip->resume(call->callNo)) {
        emit signalShowMessage(tr("Unable to resume the call"), MessageError);
        return false;
    }
    m_voip->selectCall(call->callNo);
    setCallState(call, CallTalking);
    return true;
}

void PhoneCalls::holdTalkingCall()
{
    if (TQuorCall *talking = talkingCall())
        hold(talking);
}

void PhoneCalls::holdResume()
{
    TQuorCall *call = currentCall();
    if (!call)
        return;
    if (call->state == CallHeld) {
        holdTalkingCall();
        resume(call);
    } else if (call->state == CallTalking) {
        hold(call);
    }
}

// ---------------------------------------------------------------- transfers, parking, voicemail count

void PhoneCalls::transferTalkingCallTo(const QString &number)
{
    TQuorCall *talking = talkingCall();
    if (!talking)
        return;
    const QString target = number.trimmed();
    if (target.isEmpty() || TQuorCall::cleanNumber(target) != target) {
        emit signalShowMessage(tr("No valid number to transfer the call to"), MessageWarning);
        return;
    }
    if (!m_voip->blindTransfer(talking->callNo, target)) {
        emit signalShowMessage(tr("Unable to transfer the call"), MessageError);
        return;
    }
    setCallState(talking, CallTransferring);
}

void PhoneCalls::attendedTransfer(TQuorCall *heldCall, TQuorCall *talkingCall)
{
    if (!heldCall || !talkingCall)
        return;
    if (heldCall == talkingCall || !isOwnCall(heldCall) || !isOwnCall(talkingCall) || heldCall->state != CallHeld
        || talkingCall->state != CallTalking || m_attended.held
        || !m_voip->attendedTransfer(heldCall->callNo, talkingCall->callNo)) {
        emit signalShowMessage(tr("Unable to transfer the call"), MessageError);
        return;
    }
    m_attended = { heldCall, talkingCall, heldCall->callNo, talkingCall->callNo };
    setCallState(heldCall, CallTransferring);
    setCallState(talkingCall, CallTransferring);
    // A transfer that worked takes both calls away from this phone before then.
    m_attendedTimer->start(m_transferFailMs);
}

void PhoneCalls::transferHeldToTalking()
{
    TQuorCall *held = heldCall();
    TQuorCall *talking = talkingCall();
    if (!held || !talking) {
        emit signalShowMessage(tr("Unable to transfer the call"), MessageError);
        return;
    }
    attendedTransfer(held, talking);
}

void PhoneCalls::finishAttendedTransfer(bool failed)
{
    m_attendedTimer->stop();
    const PendingTransfer pending = m_attended;
    m_attended = PendingTransfer();
    bool stuck = false;
    auto restore = [this, &stuck](TQuorCall *call, int callNo) {
        if (isOwnCall(call) && call->callNo == callNo && call->state == CallTransferring) {
            setCallState(call, call->previousState);
            stuck = true;
        }
    };
    restore(pending.held, pending.heldNo);
    restore(pending.talking, pending.talkingNo);
    if (failed && stuck)
        emit signalShowMessage(tr("Unable to transfer the call"), MessageError);
}

void PhoneCalls::slotTransferResult(int callNo, bool ok)
{
    if (m_attended.held && (callNo == m_attended.heldNo || callNo == m_attended.talkingNo)) {
        if (!ok)
            finishAttendedTransfer(true);
        return;
    }
    TQuorCall *call = findCall(callNo);
    if (ok || !call || call->state != CallTransferring)
        return;
    if (!m_info.value(call).forwarding) {
        setCallState(call, call->previousState);
        return;
    }
    // The forward failed but the caller is connected: hand the call to the user
    // rather than leave it up and invisible.
    m_info[call].forwarding = false;
    const bool conversation = talkingCall() != nullptr;
    call->setState(CallTalking);
    list(call);
    if (conversation)
        hold(call);
    else
        m_voip->selectCall(callNo);
    emit signalShowMessage(tr("Unable to forward the call from %1").arg(shownCaption(call)), MessageWarning);
}

void PhoneCalls::parkCall(int callNo)
{
    TQuorCall *call = findCall(callNo);
    if (!call)
        return;
    const QString lot = m_settings.parkingLot.trimmed();
    if (lot.isEmpty()) {
        emit signalShowMessage(tr("No parking lot set"), MessageWarning);
        return;
    }
    if (!m_voip->blindTransfer(callNo, lot)) {
        emit signalShowMessage(tr("Unable to park the call"), MessageError);
        return;
    }
    setCallState(call, CallTransferring);
}

void PhoneCalls::setVoiceMailCount(const QString &mailbox, int count)
{
    if (mailbox == accountUser())
        emit signalVoiceMailCount(count);
}
