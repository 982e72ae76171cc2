// The phone window's calls: dialling, the incoming-call policy, answering,
// hold, transfers, parking, the voicemail check and the call logs.

#include "softphone/TQuorPhone.h"

#include <QTimer>

#include "core/CPushButton.h"
#include "core/Logger.h"
#include "core/Privacy.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableScroll.h"
#include "softphone/CallActions.h"
#include "softphone/TquorAui.h"

// ---------------------------------------------------------------- lookups

TQuorCall *TQuorPhone::findCall(int callNo) const
{
    for (TQuorCall *call : m_calls) {
        if (call->callNo == callNo)
            return call;
    }
    return nullptr;
}

bool TQuorPhone::isOwnCall(const TQuorCall *call) const
{
    // Compared before any dereference: the pointer may come from a tile that
    // kept it after the call ended.
    return call && m_calls.contains(const_cast<TQuorCall *>(call)) && TQuorCall::isLive(call);
}

TQuorCall *TQuorPhone::talkingCall() const
{
    for (TQuorCall *call : m_calls) {
        if (call->state == CallTalking && !m_info.value(call).forwarding)
            return call;
    }
    return nullptr;
}

TQuorCall *TQuorPhone::heldCall() const
{
    for (TQuorCall *call : m_calls) {
        if (call->state == CallHeld)
            return call;
    }
    return nullptr;
}

TQuorCall *TQuorPhone::currentCall() const
{
    TQuorCall *selected = m_activity->selectedCall();
    if (isOwnCall(selected))
        return selected;
    if (TQuorCall *talking = talkingCall())
        return talking;
    for (auto it = m_calls.crbegin(); it != m_calls.crend(); ++it) {
        if (m_activity->rowOf(*it))
            return *it;
    }
    return nullptr;
}

bool TQuorPhone::callIsUp() const
{
    for (TQuorCall *call : m_calls) {
        if (call->state == CallTalking || call->state == CallHeld)
            return true;
    }
    return false;
}

bool TQuorPhone::hasLiveVoiceMailCheck() const
{
    for (TQuorCall *call : m_calls) {
        if (m_info.value(call).voiceMailCheck)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------- texts

QString TQuorPhone::callCaption(const TQuorCall *call)
{
    const QString name = call->name.trimmed();
    const QString number = call->number.trimmed();
    if (!name.isEmpty() && name != number)
        return number.isEmpty() ? name : name + QLatin1Char(' ') + number;
    return number.isEmpty() ? tr("Unknown") : number;
}

QString TQuorPhone::shownCaption(const TQuorCall *call) const
{
    return m_privacy ? Privacy::maskNumbers(callCaption(call)) : callCaption(call);
}

QString TQuorPhone::elapsedText(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds / 60) % 60;
    const qint64 s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
}

int TQuorPhone::rowKindFor(const TQuorCall *call)
{
    switch (call->state) {
    case CallTalking:
        return RowTalking;
    case CallHeld:
        return call->direction == DirectionIncoming ? RowHeld : RowHeld2;
    case CallTransferring:
        return RowKeep;
    default:
        return call->direction == DirectionIncoming ? RowIncomingRinging : RowOutgoing;
    }
}

// ---------------------------------------------------------------- records

TQuorCall *TQuorPhone::addCall(int callNo, int direction, const QString &name, const QString &number)
{
    // The engine reused a slot whose end we never heard of: close that call first.
    if (TQuorCall *stale = findCall(callNo))
        slotHungUp(callNo, stale->state == CallTalking || stale->state == CallHeld);

    auto *call = new TQuorCall;
    call->callNo = callNo;
    call->direction = direction;
    call->name = CallActions::cleanNumber(name);
    call->number = CallActions::cleanNumber(number);
    call->startTime = QDateTime::currentDateTime();
    call->setState(CallNew);
    call->previousState = CallNew;
    m_calls.append(call);
    m_info.insert(call, CallInfo());
    if (!m_tick->isActive())
        m_tick->start();
    return call;
}

void TQuorPhone::setCallState(TQuorCall *call, int state)
{
    if (call->state == state)
        return;
    call->setState(state);
    if (m_activity->rowOf(call))
        m_activity->setRowKind(rowKindFor(call), call);
}

void TQuorPhone::fileCall(TQuorCall *call, bool wasAnswered)
{
    // A call answered only to be forwarded was not taken by the user: missed.
    if (call->direction == DirectionOutgoing)
        addLogRow(m_dialed, RowDialled, call);
    else if (wasAnswered && !m_info.value(call).forwarding)
        addLogRow(m_answered, RowAnswered, call);
    else
        addLogRow(m_missed, RowMissed, call);
}

void TQuorPhone::addLogRow(TQuorTable *table, int kind, const TQuorCall *call)
{
    // The log keeps its own copy: the current call's record goes with the call.
    auto *record = new TQuorCall;
    record->direction = call->direction;
    record->name = call->name;
    record->number = call->number;
    record->dialled = call->dialled;
    record->startTime = call->startTime;
    record->state = call->state;
    record->previousState = call->previousState;
    m_logRecords.append(record);

    QString when = call->startTime.toString(QStringLiteral("dd/MM hh:mm"));
    const QDateTime answeredAt = m_info.value(call).answeredAt;
    if (answeredAt.isValid())
        when += QLatin1Char(' ') + elapsedText(answeredAt.secsTo(QDateTime::currentDateTime()));
    table->addRow(kind, record, callCaption(call), when);
    table->setRowToolTip(callCaption(call) + QLatin1Char('\n') + call->startTime.toString(Qt::TextDate), record);
}

// ---------------------------------------------------------------- dialling

void TQuorPhone::callNumber(const QString &number)
{
    dialNumber(number, true);
}

int TQuorPhone::dialNumber(const QString &number, bool showCalls)
{
    const QString target = number.trimmed();
    if (target.isEmpty()) {
        showMessage(tr("Enter a number to call"), MessageWarning);
        return -1;
    }
    if (CallActions::cleanNumber(target) != target) {
        showMessage(tr("The number contains characters that cannot be dialled"), MessageError,
            QStringLiteral("Refused to dial \"%1\"").arg(Logger::escaped(target)));
        return -1;
    }
    if (m_calls.size() >= kMaxCalls) {
        showMessage(tr("Too many calls: end one before placing another"), MessageWarning);
        return -1;
    }
    if (!accountUser().isEmpty() && target == accountUser()) {
        showMessage(tr("You cannot call your own number"), MessageWarning);
        return -1;
    }
    if (hasLiveVoiceMailCheck()) {
        showMessage(tr("Voicemail check in progress"), MessageWarning);
        return -1;
    }
    return placeCall(target, showCalls);
}

int TQuorPhone::placeCall(const QString &number, bool showCalls)
{
    TQuorCall *talking = talkingCall();
    const int callNo = m_voip->dial(number);
    if (callNo < 0) {
        showMessage(tr("Unable to call %1").arg(number), MessageError);
        return -1;
    }
    // Only a call that is really placed puts the conversation on hold.
    if (talking)
        holdCall(talking);
    TQuorCall *call = addCall(callNo, DirectionOutgoing, QString(), number);
    call->dialled = number;
    setCallState(call, CallDialling);
    m_activity->addRow(RowOutgoing, call, callCaption(call), elapsedText(0));
    m_activity->selectRow(call);
    if (showCalls)
        showActivity();
    m_actions->outgoing(number);
    Logger::info(QStringLiteral("Calling %1 on line %2").arg(Logger::escaped(number)).arg(callNo));
    return callNo;
}

void TQuorPhone::dialCode(const QString &code)
{
    callNumber(code);
}

void TQuorPhone::callExtension(const QString &number)
{
    const QString target = number.trimmed();
    if (target.isEmpty() || target == accountUser())
        return;
    if (!m_calls.isEmpty()) {
        const TQuorCall *current = currentCall();
        if (current && current->direction == DirectionOutgoing && current->state >= CallDialling
            && current->state <= CallRinging)
            return;
    }
    // Placing the call holds the talking one.
    callNumber(target);
}

void TQuorPhone::slotCall(const QString &number)
{
    // The address book dials from the keypad page and stays there; the talking
    // call is held once the new one is placed.
    showKeypad();
    dialNumber(number, false);
}

void TQuorPhone::slotClickToDial(const QString &number)
{
    raiseMainWindow();
    callNumber(number);
}

void TQuorPhone::slotLogCall(TQuorCall *record)
{
    if (!record || !m_logRecords.contains(record))
        return;
    callNumber(record->direction == DirectionOutgoing && !record->dialled.isEmpty() ? record->dialled : record->number);
}

void TQuorPhone::sendKey(QChar key)
{
    if (TQuorCall *talking = talkingCall()) {
        m_voip->sendDtmf(key, talking->callNo);
        return;
    }
    editDial->insert(QString(key));
}

void TQuorPhone::control()
{
    TQuorCall *ringing = nullptr;
    TQuorCall *selected = m_activity->selectedCall();
    for (TQuorCall *call : std::as_const(m_calls)) {
        if (call->direction == DirectionIncoming && call->state == CallRinging && m_activity->rowOf(call)
            && (!ringing || call == selected))
            ringing = call;
    }
    if (ringing) {
        answerCall(ringing);
        return;
    }
    const QString typed = editDial->text().trimmed();
    if (!typed.isEmpty()) {
        if (dialNumber(typed, true) >= 0)
            editDial->clear();
        return;
    }
    if (TQuorCall *current = currentCall()) {
        slotHangupCall(current);
        return;
    }
    showKeypad();
}

void TQuorPhone::callVM()
{
    const QString number = m_vmNumber.trimmed();
    if (number.isEmpty()) {
        showMessage(tr("No voicemail number set"), MessageWarning);
        return;
    }
    const int callNo = dialNumber(number, true);
    TQuorCall *call = findCall(callNo);
    if (!call || m_vmPassword.isEmpty())
        return;
    m_info[call].voiceMailCheck = true;
    const QString digits = m_vmPassword + QLatin1Char('#');
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

// ---------------------------------------------------------------- answering and ending

void TQuorPhone::slotPhoneRingingIn(int callNo, const QString &name, const QString &number)
{
    TQuorCall *call = addCall(callNo, DirectionIncoming, name, number);
    setCallState(call, CallRinging);
    const QString caption = shownCaption(call);
    Logger::info(QStringLiteral("Incoming call on line %1").arg(callNo));

    if (m_dnd) {
        m_voip->reject(callNo);
        showMessage(tr("Call from %1 rejected: do not disturb").arg(caption), MessageStatus);
        return;
    }
    if (m_forward) {
        QString target;
        QString missing;
        if (m_forwardToVm) {
            const QString mailbox = m_vmUser.trimmed().isEmpty() ? accountUser() : m_vmUser.trimmed();
            // Without a prefix the call would go to the mailbox's own extension,
            // which is this phone again.
            if (m_vmPrefix.trimmed().isEmpty() || mailbox.isEmpty())
                missing = tr("Cannot forward to voicemail: no voicemail prefix or mailbox set");
            else
                target = m_vmPrefix.trimmed() + mailbox;
        } else {
            target = m_forwardNumber.trimmed();
            if (target.isEmpty())
                missing = tr("Cannot forward the call: no forward number set");
        }
        if (!target.isEmpty()) {
            TQuorCall *talking = talkingCall();
            m_info[call].forwarding = true;
            m_voip->answer(callNo);
            if (!m_voip->blindTransfer(callNo, target)) {
                showMessage(tr("Unable to transfer the call"), MessageError);
                m_voip->hangup(callNo);
            } else {
                setCallState(call, CallTransferring);
                showMessage(tr("Call from %1 forwarded to %2").arg(caption, target), MessageStatus);
            }
            // Answering took the sound device; the conversation keeps it.
            if (talking)
                m_voip->selectCall(talking->callNo);
            return;
        }
        showMessage(missing, MessageWarning);
    }
    if (m_busy && callIsUp()) {
        m_voip->sendBusy(callNo);
        showMessage(tr("Call from %1 refused: busy").arg(caption), MessageStatus);
        return;
    }

    m_activity->addRow(RowIncomingRinging, call, callCaption(call), elapsedText(0));
    m_activity->selectRow(call);
    showActivity();
    raiseMainWindow();
    m_actions->incomingRinging(call->number);
    if (m_tray)
        emit signalMessageCalls(tr("Incoming Call"), caption, QSystemTrayIcon::Information);
}

bool TQuorPhone::answerCall(TQuorCall *call)
{
    if (!isOwnCall(call) || call->direction != DirectionIncoming || call->state != CallRinging)
        return false;
    holdTalkingCall();
    if (!m_voip->answer(call->callNo)) {
        showMessage(tr("Unable to answer the call"), MessageError);
        return false;
    }
    return true;
}

void TQuorPhone::slotAccepted(int callNo)
{
    if (TQuorCall *call = findCall(callNo); call && call->state < CallAccepted)
        setCallState(call, CallAccepted);
}

void TQuorPhone::slotRingingOut(int callNo)
{
    if (TQuorCall *call = findCall(callNo); call && call->state < CallRinging)
        setCallState(call, CallRinging);
}

void TQuorPhone::slotAnswered(int callNo)
{
    TQuorCall *call = findCall(callNo);
    if (!call)
        return;
    CallInfo &info = m_info[call];
    info.answeredAt = QDateTime::currentDateTime();
    if (info.forwarding)
        return;
    setCallState(call, CallTalking);
    if (call->direction == DirectionIncoming)
        m_actions->incomingAnswered(call->number);
    emit signalSendCall(call);
}

void TQuorPhone::slotHungUp(int callNo, bool wasAnswered)
{
    TQuorCall *call = findCall(callNo);
    if (!call)
        return;
    m_activity->removeRow(call);
    m_calls.removeOne(call);
    fileCall(call, wasAnswered);
    m_info.remove(call);
    delete call;
    if (m_calls.isEmpty())
        m_tick->stop();
    if (m_muted && m_calls.isEmpty())
        setMute();
}

void TQuorPhone::hangupCurrent()
{
    slotHangupCall(currentCall());
}

void TQuorPhone::slotHangupCall(TQuorCall *call)
{
    if (!isOwnCall(call))
        return;
    if (call->direction == DirectionIncoming && call->state == CallRinging)
        m_voip->reject(call->callNo);
    else
        m_voip->hangup(call->callNo);
}

void TQuorPhone::slotAnswerCall(TQuorCall *call)
{
    answerCall(call);
}

void TQuorPhone::slotActivityDoubleClick(TQuorCall *call)
{
    if (!isOwnCall(call))
        return;
    if (call->direction == DirectionIncoming && call->state == CallRinging) {
        answerCall(call);
    } else if (call->state == CallHeld) {
        holdTalkingCall();
        resumeCall(call);
    }
}

void TQuorPhone::slotTick()
{
    const QDateTime now = QDateTime::currentDateTime();
    for (TQuorCall *call : std::as_const(m_calls)) {
        if (!m_activity->rowOf(call))
            continue;
        const QDateTime answeredAt = m_info.value(call).answeredAt;
        const QDateTime from = answeredAt.isValid() ? answeredAt : call->startTime;
        m_activity->setRowTimeText(elapsedText(from.secsTo(now)), call);
    }
}

// ---------------------------------------------------------------- hold, mute

bool TQuorPhone::holdCall(TQuorCall *call)
{
    if (!isOwnCall(call) || call->state != CallTalking)
        return false;
    if (!m_voip->hold(call->callNo)) {
        showMessage(tr("Unable to hold the call"), MessageError);
        return false;
    }
    setCallState(call, CallHeld);
    return true;
}

bool TQuorPhone::resumeCall(TQuorCall *call)
{
    if (!isOwnCall(call) || call->state != CallHeld)
        return false;
    if (!m_voip->resume(call->callNo)) {
        showMessage(tr("Unable to resume the call"), MessageError);
        return false;
    }
    m_voip->selectCall(call->callNo);
    setCallState(call, CallTalking);
    return true;
}

void TQuorPhone::holdTalkingCall()
{
    if (TQuorCall *talking = talkingCall())
        holdCall(talking);
}

void TQuorPhone::holdResume()
{
    TQuorCall *call = currentCall();
    if (!call)
        return;
    if (call->state == CallHeld) {
        holdTalkingCall();
        resumeCall(call);
    } else if (call->state == CallTalking) {
        holdCall(call);
    }
}

void TQuorPhone::setMute()
{
    m_muted = !m_muted;
    m_voip->setMute(m_muted);
    auto *button = qobject_cast<CPushButton *>(buttonMute);
    const QString image
        = m_muted ? QStringLiteral(":/ui/images/phone_mute_on.png") : QStringLiteral(":/ui/images/phone_mute.png");
    if (button) {
        button->setNormalIcon(QIcon(image));
        button->setHoverIcon(QIcon(CPushButton::hoverName(image)));
    }
    buttonMute->setToolTip(m_muted ? tr("Unmute") : tr("Mute"));
}

// ---------------------------------------------------------------- transfers and parking

void TQuorPhone::transferTalkingCallTo(const QString &number)
{
    TQuorCall *talking = talkingCall();
    if (!talking)
        return;
    const QString target = number.trimmed();
    if (target.isEmpty() || CallActions::cleanNumber(target) != target) {
        showMessage(tr("No valid number to transfer the call to"), MessageWarning);
        return;
    }
    if (!m_voip->blindTransfer(talking->callNo, target)) {
        showMessage(tr("Unable to transfer the call"), MessageError);
        return;
    }
    setCallState(talking, CallTransferring);
}

void TQuorPhone::attendedTransfer(TQuorCall *heldCall, TQuorCall *talkingCall)
{
    if (!heldCall || !talkingCall)
        return;
    if (heldCall == talkingCall || !isOwnCall(heldCall) || !isOwnCall(talkingCall) || heldCall->state != CallHeld
        || talkingCall->state != CallTalking || m_attended.held) {
        showMessage(tr("Unable to transfer the call"), MessageError);
        return;
    }
    if (!m_voip->attendedTransfer(heldCall->callNo, talkingCall->callNo)) {
        showMessage(tr("Unable to transfer the call"), MessageError);
        return;
    }
    m_attended = { heldCall, talkingCall, heldCall->callNo, talkingCall->callNo };
    setCallState(heldCall, CallTransferring);
    setCallState(talkingCall, CallTransferring);
    // A transfer that worked takes both calls away from this phone before then.
    m_attendedTimer->start(m_transferFailMs);
}

void TQuorPhone::finishAttendedTransfer(bool failed)
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
        showMessage(tr("Unable to transfer the call"), MessageError);
}

void TQuorPhone::MtransferInternal()
{
    TQuorCall *held = heldCall();
    TQuorCall *talking = talkingCall();
    if (!held || !talking) {
        showMessage(tr("Unable to transfer the call"), MessageError);
        return;
    }
    attendedTransfer(held, talking);
}

void TQuorPhone::slotTransferResult(int callNo, bool ok)
{
    if (m_attended.held && (callNo == m_attended.heldNo || callNo == m_attended.talkingNo)) {
        if (!ok)
            finishAttendedTransfer(true);
        return;
    }
    TQuorCall *call = findCall(callNo);
    if (ok || !call || call->state != CallTransferring)
        return;
    CallInfo &info = m_info[call];
    if (!info.forwarding) {
        setCallState(call, call->previousState);
        return;
    }
    // The forward failed but the caller is connected: hand the call to the user
    // rather than leave it up and invisible.
    info.forwarding = false;
    const bool conversation = talkingCall() != nullptr;
    call->setState(CallTalking);
    m_activity->addRow(RowTalking, call, callCaption(call), elapsedText(0));
    if (conversation)
        holdCall(call);
    else
        m_voip->selectCall(callNo);
    showMessage(tr("Unable to forward the call from %1").arg(shownCaption(call)), MessageWarning);
}

void TQuorPhone::parkCall(int callNo)
{
    TQuorCall *call = findCall(callNo);
    if (!call)
        return;
    const QString lot = m_parkingLot.trimmed();
    if (lot.isEmpty()) {
        showMessage(tr("No parking lot set"), MessageWarning);
        return;
    }
    if (!m_voip->blindTransfer(callNo, lot)) {
        showMessage(tr("Unable to park the call"), MessageError);
        return;
    }
    setCallState(call, CallTransferring);
}

void TQuorPhone::slotLevels(float input, float output)
{
    // dBFS to the meters' 0..1 over a 60 dB range.
    auto level = [](float db) { return qBound(0.0, (double(db) + 60.0) / 60.0, 1.0); };
    m_aui->setMeterLevels(level(input), level(output));
}
