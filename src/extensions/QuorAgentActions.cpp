// What a user does with a tile: call, transfer, voicemail, DND and forward in
// the PBX's database, its menu, and drag and drop.

#include "extensions/QuorAgent.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include "ami/AmiAction.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "extensions/DialogEnableCf.h"
#include "extensions/DragData.h"
#include "extensions/QuorAgentInfo.h"
#include "extensions/RefusalBox.h"
#include "softphone/TQuorPhone.h"

namespace {

QAction *makeAction(QuorAgent *tile, const QString &text, bool checkable, void (QuorAgent::*slot)())
{
    auto *action = new QAction(text, tile);
    action->setCheckable(checkable);
    QObject::connect(action, &QAction::triggered, tile, slot);
    return action;
}

} // namespace

void QuorAgent::createActions()
{
    actionCall = makeAction(this, tr("&Call"), false, &QuorAgent::slotCall);
    actionBlindTransfer = makeAction(this, tr("&Blind Transfer"), false, &QuorAgent::slotBlindTransfer);
    actionSendToVm = makeAction(this, tr("&Send to Voicemail"), false, &QuorAgent::slotSendToVoiceMail);
    actionDnd = makeAction(this, tr("&Enable DND"), true, &QuorAgent::enableDND);
    actionFwd = makeAction(this, tr("&Enable Forward"), true, &QuorAgent::enableFWD);
    actionLeaveMessage = makeAction(this, tr("&Leave a Message"), false, &QuorAgent::slotLeaveMessageToVm);
}

void QuorAgent::setupButtons()
{
    // The form makes the three buttons as CPushButtons in place, and their
    // faces come from the shared set: replacing designed buttons and reading
    // icons per tile would cost much when a peer table makes thousands of
    // tiles in one go.
    callButton = buttonCall;
    callButton->setNormalIcon(images->call);
    callButton->setHoverIcon(images->callHover);
    connect(callButton, &QPushButton::clicked, this, &QuorAgent::slotCall);
    callButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(callButton, &QWidget::customContextMenuRequested, this, &QuorAgent::createContextMenu);
    // Most of the tile is this button: a drag may start on it too.
    callButton->installEventFilter(this);

    sendVmButton = buttonSendToVoiceMail;
    sendVmButton->setNormalIcon(images->sendToVm);
    sendVmButton->setHoverIcon(images->sendToVmHover);
    connect(sendVmButton, &QPushButton::clicked, this, &QuorAgent::slotSendToVoiceMail);

    blindTransferButton = buttonBlindTransfer;
    blindTransferButton->setNormalIcon(images->blindTransfer);
    blindTransferButton->setHoverIcon(images->blindTransferHover);
    connect(blindTransferButton, &QPushButton::clicked, this, &QuorAgent::slotBlindTransfer);

    for (CPushButton *button : { callButton, sendVmButton, blindTransferButton })
        button->setLayoutDirection(Qt::LeftToRight);
    connect(button_user, &QPushButton::clicked, this, &QuorAgent::extInfo);
}

void QuorAgent::updateActions()
{
    actionDnd->setChecked(state == AgentDnd);
    actionDnd->setText(state == AgentDnd ? tr("&Disable DND") : tr("&Enable DND"));
    actionFwd->setChecked(state == AgentForward);
    actionFwd->setText(state == AgentForward ? tr("&Disable Forward") : tr("&Enable Forward"));
}

void QuorAgent::sendCommand(const QString &text)
{
    if (phone && !m_removal.pending())
        phone->slotExtCmd(text);
}

// ---------------------------------------------------------------- calls

void QuorAgent::slotCall()
{
    if (free && !channel && phone && !m_removal.pending())
        phone->callExtension(number);
}

void QuorAgent::slotBlindTransfer()
{
    if (free && !channel && phone && !m_removal.pending())
        phone->transferTalkingCallTo(number);
}

void QuorAgent::slotSendToVoiceMail()
{
    if (vmPrefix.isEmpty() || !phone || m_removal.pending())
        return;
    QString box = mailbox.split(QLatin1Char('@')).first();
    if (box.isEmpty())
        box = number;
    phone->transferTalkingCallTo(vmPrefix + box);
}

void QuorAgent::slotLeaveMessageToVm()
{
    if (!vmPrefix.isEmpty() && phone && !m_removal.pending())
        phone->callExtension(vmPrefix + extension);
}

// ---------------------------------------------------------------- DND and forward

void QuorAgent::enableDND()
{
    if (m_removal.pending())
        return;
    const QString key = AmiAction::value(extension);
    const QString family = AmiAction::value(dndFamily);
    if (state == AgentForward) {
        {
            SafeRemoval::LoopScope scope(m_removal);
            RefusalBox::show(
                this, tr("Do Not Disturb"), tr("Please Disable the forwarding\n before to enable the DND."));
        }
        if (!m_removal.pending())
            updateActions();
        return;
    }
    if (state == AgentDnd)
        sendCommand(QStringLiteral("Action: command\r\nCommand: database del ") + family + QLatin1Char(' ') + key
            + QStringLiteral("\r\n\r\n"));
    else
        sendCommand(QStringLiteral("Action: command\r\nCommand: database put ") + family + QLatin1Char(' ') + key
            + QStringLiteral(" YES\r\n\r\n"));
    sendCommand(QStringLiteral("Action: UserEvent\r\nAct: ") + family + QStringLiteral("\r\nUser: ") + key
        + QStringLiteral("\r\n\r\n"));
}

void QuorAgent::enableFWD()
{
    if (m_removal.pending())
        return;
    if (state == AgentDnd) {
        {
            SafeRemoval::LoopScope scope(m_removal);
            RefusalBox::show(
                this, tr("Call Forwarding"), tr("Please Disable the DND\n before to enable the forwarding."));
        }
        if (!m_removal.pending())
            updateActions();
        return;
    }
    if (state == AgentForward) {
        const QString key = AmiAction::value(extension);
        const QString family = AmiAction::value(fwdFamily);
        sendCommand(QStringLiteral("Action: command\r\nCommand: database del ") + family + QLatin1Char(' ') + key
            + QStringLiteral("\r\n\r\n"));
        sendCommand(QStringLiteral("Action: UserEvent\r\nAct: ") + family + QStringLiteral("\r\nUser: ") + key
            + QStringLiteral("\r\n\r\n"));
        return;
    }
    auto *dialog = new DialogEnableCf(this);
    cfDialog = dialog;
    dialog->setUser(extension, fwdFamily, fwdNumber);
    dialog->setWindowTitle(QStringLiteral("Enable Call Forwarding"));
    dialog->setWindowOpacity(0.97);
    dialog->show();
}

// ---------------------------------------------------------------- menu and popup

void QuorAgent::createContextMenu(const QPoint &)
{
    if (m_removal.pending())
        return;
    QMenu menu(this);
    m_menu = &menu;
    menu.addAction(actionCall);
    menu.addSeparator();
    menu.addAction(actionBlindTransfer);
    menu.addAction(actionSendToVm);
    menu.addSeparator();
    menu.addAction(actionDnd);
    menu.addAction(actionFwd);
    menu.addSeparator();
    menu.addAction(actionLeaveMessage);
    SafeRemoval::LoopScope scope(m_removal);
    menu.exec(QCursor::pos());
}

void QuorAgent::extInfo()
{
    if (m_removal.pending())
        return;
    info->buildForm();
    info->setWindowTitle(QStringLiteral("Extension ") + extension);
    const Qt::WindowFlags flags = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    // Setting the flags again would hide an open popup.
    if ((info->windowFlags() & flags) != flags)
        info->setWindowFlags(flags);
    info->setWindowOpacity(0.97);
    info->setFixedSize(400, 300);
    const QPixmap background(QStringLiteral(":/ui/images/agentinfo/agentinfo_bg.png"));
    info->Agent_label_bg->setPixmap(background);
    info->setMask(background.mask());
    info->show();
}

// ---------------------------------------------------------------- drag and drop

void QuorAgent::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    // Measured from the tile's corner, wherever the press happened.
    if ((event->position().toPoint() - dragOrigin).manhattanLength() < QApplication::startDragDistance())
        return;
    startDrag();
}

bool QuorAgent::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != callButton)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
        const auto *press = static_cast<QMouseEvent *>(event);
        if (press->button() == Qt::LeftButton)
            m_buttonPress = press->position().toPoint();
    } else if (event->type() == QEvent::MouseMove) {
        // On the button a drag needs a real move from the press, so that a
        // click that trembles still calls.
        const auto *move = static_cast<QMouseEvent *>(event);
        if ((move->buttons() & Qt::LeftButton)
            && (move->position().toPoint() - m_buttonPress).manhattanLength() >= QApplication::startDragDistance()) {
            startDrag();
            if (!m_removal.pending())
                callButton->setDown(false);
            return true;
        }
    }
    return false;
}

void QuorAgent::startDrag()
{
    if (m_removal.pending() || m_removal.inLoop())
        return;
    auto *data = new QMimeData;
    data->setData(QLatin1String(DragData::kTileFormat), DragData::tilePayload(extension, group));
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(images->dragGhost);
    // The panel may remove every tile while the drag runs: the tile stays
    // alive until exec() has returned.
    SafeRemoval::LoopScope scope(m_removal);
    drag->exec(Qt::MoveAction);
}

TQuorCall *QuorAgent::droppedCall(const QDropEvent *event) const
{
    // No source: the drag comes from another application, whose payload may
    // name any address.
    if (!event->source() || !phone)
        return nullptr;
    TQuorCall *call = TQuorCall::fromMimeData(event->mimeData());
    return phone->isOwnCall(call) ? call : nullptr;
}

void QuorAgent::dragEnterEvent(QDragEnterEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!m_removal.pending()) {
        if (free && data->hasFormat(QLatin1String(TQuorCall::mimeType())) && droppedCall(event)) {
            event->acceptProposedAction();
            return;
        }
        if (data->hasFormat(QLatin1String(DragData::kTileFormat))) {
            event->acceptProposedAction();
            return;
        }
    }
    event->ignore();
}

void QuorAgent::dropEvent(QDropEvent *event)
{
    if (m_removal.pending())
        return;
    const QMimeData *data = event->mimeData();
    if (data->hasFormat(QLatin1String(TQuorCall::mimeType()))) {
        TQuorCall *call = droppedCall(event);
        if (!call)
            return;
        if (call->state == CallTalking) {
            if (free && !channel)
                phone->transferTalkingCallTo(number);
            return;
        }
        event->acceptProposedAction();
        // Onto the phone's call with this extension; without one the phone
        // does nothing.
        phone->attendedTransfer(call, liveCurrentCall());
        return;
    }
    if (data->hasFormat(QLatin1String(DragData::kTileFormat))) {
        QString draggedExtension;
        QString draggedGroup;
        DragData::splitTile(data->data(QLatin1String(DragData::kTileFormat)), &draggedExtension, &draggedGroup);
        event->acceptProposedAction();
        emit newExtPosition(draggedExtension, draggedGroup, extension, group);
    }
}

void QuorAgent::drop(QDropEvent *event)
{
    dropEvent(event);
}
