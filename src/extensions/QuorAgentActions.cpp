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
#include "extensions/ButtonDrag.h"
#include "extensions/DialogEnableCf.h"
#include "extensions/DragData.h"
#include "extensions/DragRunner.h"
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
    new ButtonDrag(callButton, [this] { startDrag(); });

    sendVmButton = buttonSendToVoiceMail;
    sendVmButton->setNormalIcon(images->sendToVm);
    sendVmButton->setHoverIcon(images->sendToVmHover);
    connect(sendVmButton, &QPushButton::clicked, this, &QuorAgent::slotSendToVoiceMail);

    blindTransferButton = buttonBlindTransfer;
    blindTransferButton->setNormalIcon(images->blindTransfer);
    blindTransferButton->setHoverIcon(images->blindTransferHover);
    connect(blindTransferButton, &QPushButton::clicked, this, &QuorAgent::slotBlindTransfer);

    // Replacing a designed button puts the new one on top of the form's
    // widgets; these were made in place, so they are raised to match: they
    // overlap the name strip's foot, and a click there is a call or transfer.
    for (CPushButton *button : { callButton, sendVmButton, blindTransferButton }) {
        button->setLayoutDirection(Qt::LeftToRight);
        button->raise();
    }
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
        phone->calls()->callExtension(number);
}

void QuorAgent::slotBlindTransfer()
{
    if (free && !channel && phone && !m_removal.pending())
        phone->calls()->transferTalkingCallTo(number);
}

void QuorAgent::slotSendToVoiceMail()
{
    if (vmPrefix.isEmpty() || !phone || m_removal.pending())
        return;
    QString box = mailbox.split(QLatin1Char('@')).first();
    if (box.isEmpty())
        box = number;
    phone->calls()->transferTalkingCallTo(vmPrefix + box);
}

void QuorAgent::slotLeaveMessageToVm()
{
    if (!vmPrefix.isEmpty() && phone && !m_removal.pending())
        phone->calls()->callExtension(vmPrefix + extension);
}

// ---------------------------------------------------------------- DND and forward

void QuorAgent::refuse(const QString &title, const QString &text)
{
    {
        SafeRemoval::LoopScope scope(m_removal);
        RefusalBox::show(this, title, text);
    }
    // The checkable action was toggled by the click: set it back.
    if (!m_removal.pending())
        updateActions();
}

void QuorAgent::changeDatabase(bool put, const QString &family)
{
    sendCommand(put ? AmiAction::databasePut(family, extension, QStringLiteral("YES"))
                    : AmiAction::databaseDel(family, extension));
    // Every client connected to the PBX, this one too, re-reads the entry.
    sendCommand(AmiAction::userEvent(family, extension));
}

void QuorAgent::enableDND()
{
    if (m_removal.pending())
        return;
    if (state == AgentForward)
        refuse(tr("Do Not Disturb"), tr("Please Disable the forwarding\n before to enable the DND."));
    else
        changeDatabase(state != AgentDnd, dndFamily);
}

void QuorAgent::enableFWD()
{
    if (m_removal.pending())
        return;
    if (state == AgentDnd) {
        refuse(tr("Call Forwarding"), tr("Please Disable the DND\n before to enable the forwarding."));
        return;
    }
    if (state == AgentForward) {
        changeDatabase(false, fwdFamily);
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
    // Handlers may have changed the state without the actions (a forward
    // found at discovery): the menu must not offer the opposite of its text.
    updateActions();
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
    DragRunner::exec(drag, Qt::MoveAction);
}

TQuorCall *QuorAgent::droppedCall(const QDropEvent *event) const
{
    // A drag of another application may carry a payload that names any
    // address.
    if (!DragRunner::fromThisProcess(event) || !phone)
        return nullptr;
    TQuorCall *call = TQuorCall::fromMimeData(event->mimeData());
    return phone->calls()->isOwnCall(call) ? call : nullptr;
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
                phone->calls()->transferTalkingCallTo(number);
            return;
        }
        event->acceptProposedAction();
        // Onto the phone's call with this extension; without one the phone
        // does nothing.
        phone->calls()->attendedTransfer(call, liveCurrentCall());
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
