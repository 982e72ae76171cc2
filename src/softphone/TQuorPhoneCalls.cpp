// The phone window's side of the calls: the active-call list, the call logs,
// the desktop actions and the buttons that act on the calls.

#include "softphone/TQuorPhone.h"

#include <QTimer>

#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "softphone/CallActions.h"
#include "softphone/TquorAui.h"

// ---------------------------------------------------------------- texts

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

// ---------------------------------------------------------------- what the calls announce

void TQuorPhone::slotCallListed(TQuorCall *call)
{
    m_activity->addRow(rowKindFor(call), call, PhoneCalls::callCaption(call), elapsedText(0));
    if (!m_tick->isActive())
        m_tick->start();
}

void TQuorPhone::slotCallRinging(TQuorCall *call)
{
    m_activity->selectRow(call);
    showActivity();
    raiseMainWindow();
    m_actions->incomingRinging(call->number);
    if (m_tray)
        emit signalMessageCalls(tr("Incoming Call"), m_calls->shownCaption(call), QSystemTrayIcon::Information);
}

void TQuorPhone::slotCallDialled(TQuorCall *call, bool showCalls)
{
    m_activity->selectRow(call);
    if (showCalls)
        showActivity();
    m_actions->outgoing(call->dialled);
}

void TQuorPhone::slotCallStateChanged(TQuorCall *call)
{
    if (m_activity->rowOf(call))
        m_activity->setRowKind(rowKindFor(call), call);
}

void TQuorPhone::slotCallAnswered(TQuorCall *call)
{
    if (call->direction == DirectionIncoming)
        m_actions->incomingAnswered(call->number);
}

void TQuorPhone::slotCallEnded(TQuorCall *call, int logKind)
{
    m_activity->removeRow(call);
    addLogRow(logKind == RowDialled ? m_dialed : logKind == RowAnswered ? m_answered : m_missed, logKind, call);
    if (m_calls->calls().isEmpty()) {
        m_tick->stop();
        if (m_muted)
            setMute();
    }
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

    const QString caption = PhoneCalls::callCaption(call);
    QString when = call->startTime.toString(QStringLiteral("dd/MM hh:mm"));
    const QDateTime answeredAt = m_calls->answeredAt(call);
    if (answeredAt.isValid())
        when += QLatin1Char(' ') + elapsedText(answeredAt.secsTo(QDateTime::currentDateTime()));
    table->addRow(kind, record, caption, when);
    table->setRowToolTip(caption + QLatin1Char('\n') + call->startTime.toString(Qt::TextDate), record);
}

void TQuorPhone::slotVoiceMailCount(int count)
{
    if (count == 0) {
        labelVoiceMail->hide();
        labelMesNum->hide();
        return;
    }
    labelVoiceMail->setToolTip(count == 1 ? tr("1 new message") : QString::number(count) + tr(" new messages"));
    labelMesNum->setText(QString::number(count));
    labelVoiceMail->show();
    labelMesNum->show();
}

void TQuorPhone::slotTick()
{
    const QDateTime now = QDateTime::currentDateTime();
    for (TQuorCall *call : m_calls->calls()) {
        if (!m_activity->rowOf(call))
            continue;
        const QDateTime answeredAt = m_calls->answeredAt(call);
        const QDateTime from = answeredAt.isValid() ? answeredAt : call->startTime;
        m_activity->setRowTimeText(elapsedText(from.secsTo(now)), call);
    }
}

// ---------------------------------------------------------------- what the user asks for

void TQuorPhone::slotCall(const QString &number)
{
    // The address book dials from the keypad page and stays there; the talking
    // call is held once the new one is placed.
    showKeypad();
    m_calls->dial(number, false);
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
    if (!m_calls->sendDtmf(key))
        editDial->insert(QString(key));
}

void TQuorPhone::control()
{
    if (TQuorCall *ringing = m_calls->ringingCall()) {
        m_calls->answer(ringing);
        return;
    }
    const QString typed = editDial->text().trimmed();
    if (!typed.isEmpty()) {
        if (m_calls->dial(typed) >= 0)
            editDial->clear();
        return;
    }
    if (TQuorCall *current = currentCall()) {
        m_calls->hangup(current);
        return;
    }
    showKeypad();
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

void TQuorPhone::slotLevels(float input, float output)
{
    // dBFS to the meters' 0..1 over a 60 dB range.
    auto level = [](float db) { return qBound(0.0, (double(db) + 60.0) / 60.0, 1.0); };
    m_aui->setMeterLevels(level(input), level(output));
}
