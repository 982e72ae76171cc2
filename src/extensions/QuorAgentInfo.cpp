#include "extensions/QuorAgentInfo.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QWindow>

#include "ami/AmiAction.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "extensions/DragRunner.h"
#include "extensions/ForwardTypes.h"
#include "extensions/QuorAgent.h"
#include "extensions/RefusalBox.h"
#include "extensions/StyleSheetResource.h"
#include "softphone/TQuorPhone.h"

AgentInfoImages *QuorAgentInfo::images = nullptr;

namespace {

QPixmap strip(const char *name)
{
    return QPixmap(QStringLiteral(":ui/images/") + QLatin1String(name) + QStringLiteral(".png"));
}

QPixmap large(const char *name)
{
    return QPixmap(QStringLiteral(":/ui/images/agentinfo/agentinfo_") + QLatin1String(name) + QStringLiteral(".png"));
}

QString labelStyle(int pixelSize, const char *colour)
{
    return QStringLiteral("QLabel {\n\tfont: bold %1px \"Arial\", \"Helvetica\", \"Sans-Serif\", \"Sans Serif\";\n"
                          "\tcolor: %2;\n}")
        .arg(pixelSize)
        .arg(QLatin1String(colour));
}

} // namespace

AgentInfoImages::AgentInfoImages()
    : strNoAvail(strip("str_no_avail"))
    , bgUnavailable(large("unavailable"))
    , strAvailable(QStringLiteral(":/ui/images/str_available.png"))
    , bgAvailable(large("available"))
    , strQueue(strip("str_queue"))
    , bgQueue(large("queue"))
    , bgActive(large("active"))
    , strCalling(strip("str_calling"))
    , bgRinging(large("ringing"))
    , strRinging(strip("str_ringing"))
    , strRing(strip("str_ring"))
    , strHold(strip("str_hold"))
    , bgHold(large("hold"))
    , strOffhook(strip("str_offhook"))
    , bgOffhook(large("offhook"))
    , strDnd(strip("str_dnd"))
    , bgDnd(large("dnd"))
    , strFwd(strip("str_fwd"))
    , bgFwd(large("fwd"))
    , strParked(strip("str_parked"))
    , bgParked(large("parked"))
{
}

QuorAgentInfo::QuorAgentInfo(QuorAgent *agent)
    : QWidget(nullptr)
{
    setAcceptDrops(true);
    if (!images)
        images = new AgentInfoImages;
    this->agent = agent;
    if (agent) {
        connect(agent, &QuorAgent::updateInfoState, this, &QuorAgentInfo::stateChanged);
        connect(agent, &QuorAgent::timeoutAgent, this, &QuorAgentInfo::timeoutEvent);
        connect(agent, &QuorAgent::updateVm, this, &QuorAgentInfo::updateMessages);
    }
    fwdTypes = ForwardTypes::names();
}

QuorAgentInfo::~QuorAgentInfo() = default;

void QuorAgentInfo::removeSafely()
{
    agent = nullptr;
    m_removal.remove();
}

void QuorAgentInfo::buildForm()
{
    if (m_built)
        return;
    m_built = true;
    applyStyleSheetResource(this, QStringLiteral(":/ui/css/agentinfo.css"));
    setupUi(this);
    label_mail->hide();
    labelMessage->hide();
    createButtons();
    comboFwdFamily->insertItems(0, fwdTypes);
    comboFwdFamily->setCurrentIndex(0);
    connect(comboFwdFamily, &QComboBox::activated, this, &QuorAgentInfo::setFwdFamily);

    if (m_infoSet)
        label_user->setText(ext);
    if (m_nameText)
        label_name->setText(*m_nameText);
    if (m_detailsText)
        label_info->setText(*m_detailsText);
    Edit_fwd->setText(m_editText);
    labelTimer->setText(m_timerText);
    showDisplay();
    showMessages();
}

void QuorAgentInfo::createButtons()
{
    struct Replacement
    {
        QPushButton *designed;
        CPushButton **field;
        void (QuorAgentInfo::*slot)();
        const char *hover;
    };
    const Replacement all[] = {
        { buttonCall, &callButton, &QuorAgentInfo::slotCall, ":/ui/images/agentinfo/agentinfo_bt_h.png" },
        { buttonSendVM, &sendVmButton, &QuorAgentInfo::slotSendToVoiceMail,
            ":/ui/images/agentinfo/agentinfo_bt02_h.png" },
        { buttonBlindTransf, &blindTransferButton, &QuorAgentInfo::slotBlindTransfer,
            ":/ui/images/agentinfo/agentinfo_bt01_h.png" },
        { buttonDnd, &dndButton, &QuorAgentInfo::enableDND, ":/ui/images/agentinfo/agentinfo_bt03_h.png" },
        { buttonFwd, &fwdButton, &QuorAgentInfo::enableFWD, ":/ui/images/agentinfo/agentinfo_bt05_h.png" },
        { buttonMsg, &msgButton, &QuorAgentInfo::leaveMessage, ":/ui/images/agentinfo/agentinfo_bt04_h.png" },
        { buttonQuit, &quitButton, nullptr, ":/ui/images/hide_h.png" },
    };
    for (const Replacement &r : all) {
        CPushButton *button = CPushButton::replace(r.designed);
        *r.field = button;
        if (r.slot)
            connect(button, &QPushButton::clicked, this, r.slot);
        button->setHoverIcon(QIcon(QLatin1String(r.hover)));
    }
    connect(quitButton, &QPushButton::clicked, this, &QWidget::close);
    callButton->setAcceptDrops(true);
}

// ---------------------------------------------------------------- following the tile

void QuorAgentInfo::setInfo(TAgentState state, const QString &ext, const QString &dndFamily,
    const QString &fwdFamily, const QString &fwdNumber, const QString &stateText)
{
    this->state = state;
    this->ext = ext;
    m_infoSet = true;
    this->dndFamily = dndFamily;
    this->fwdFamily = fwdFamily;
    this->fwdNumber = fwdNumber;
    this->stateText = stateText;
    if (m_built)
        label_user->setText(this->ext);
    loadFwdFamilies();
    updateDisplay(state);
}

void QuorAgentInfo::setNameText(const QString &text)
{
    m_nameText = text;
    if (m_built)
        label_name->setText(text);
}

void QuorAgentInfo::setDetailsText(const QString &text)
{
    m_detailsText = text;
    if (m_built)
        label_info->setText(text);
}

void QuorAgentInfo::loadFwdFamilies()
{
    fwdFamilies = agent ? agent->fwdFamilies : QStringList();
    // fwdType follows the combo's current entry, the first one at the start.
    if (fwdType.isEmpty())
        fwdType = fwdTypes.first();
    fwdFamily = ForwardTypes::familyOf(fwdType, fwdFamilies, fwdFamily);
}

void QuorAgentInfo::setFwdFamily(int index)
{
    if (state == AgentForward)
        return;
    fwdType = fwdTypes.value(index);
    fwdFamily = ForwardTypes::familyOf(fwdType, fwdFamilies, fwdFamily);
}

void QuorAgentInfo::stateChanged(TAgentState state, QString text)
{
    stateText = text;
    if (state == AgentForward)
        fwdNumber = text;
    if (state == AgentParked)
        parkedTo = text;
    updateDisplay(state);
}

void QuorAgentInfo::timeoutEvent(QString text)
{
    m_timerText = text;
    if (m_built)
        labelTimer->setText(text);
}

void QuorAgentInfo::updateMessages(int count)
{
    vmCount = count;
    if (m_built)
        showMessages();
}

void QuorAgentInfo::showMessages()
{
    label_mail->setVisible(vmCount > 0);
    labelMessage->setVisible(vmCount > 0);
    if (vmCount > 0)
        labelMessage->setText(vmCount == 1 ? tr("1 new message") : QString::number(vmCount) + tr(" new messages"));
}

void QuorAgentInfo::updateDisplay(TAgentState shown)
{
    state = shown;
    m_displayed = true;
    m_cidLook = TextLook::Grey;
    direction = agent ? agent->direction : QString();
    m_cidText = stateText;
    m_timerText.clear();

    const AgentInfoImages &im = *images;
    const auto pictures = [this](const QPixmap &small, const QPixmap &big) {
        m_strip = &small;
        m_background = &big;
    };
    switch (shown) {
    case AgentUnavailable:
        pictures(im.strNoAvail, im.bgUnavailable);
        break;
    case AgentIdle:
        pictures(im.strAvailable, im.bgAvailable);
        break;
    case AgentRingIn:
        pictures(im.strRing, im.bgRinging);
        m_directionLook = TextLook::Green;
        break;
    case AgentCallOut:
        pictures(im.strRinging, im.bgActive);
        m_directionLook = TextLook::Red;
        break;
    case AgentInCall:
        pictures(im.strCalling, im.bgActive);
        m_directionLook = direction == QuorAgent::tr("IN") ? TextLook::Green : TextLook::Red;
        break;
    case AgentHold:
        pictures(im.strHold, im.bgHold);
        break;
    case AgentDnd:
        pictures(im.strDnd, im.bgDnd);
        break;
    case AgentForward: {
        pictures(im.strFwd, im.bgFwd);
        m_cidLook = TextLook::Orange;
        m_cidText = tr("Forwarding to: ") + fwdNumber;
        m_editText = fwdNumber;
        // The combo is locked now: show the type under which the PBX holds
        // the forward, which switching off removes.
        const qsizetype held = agent ? agent->fwdFamilies.indexOf(agent->fwdFamily) : -1;
        if (held >= 0 && held < fwdTypes.size()) {
            fwdType = fwdTypes.at(held);
            fwdFamily = agent->fwdFamily;
        }
        break;
    }
    case AgentOffHook:
        pictures(im.strOffhook, im.bgOffhook);
        break;
    case AgentParked:
        pictures(im.strParked, im.bgParked);
        m_cidLook = TextLook::Orange;
        m_cidText = tr("Parked to: ") + parkedTo;
        break;
    case AgentInQueue:
        pictures(im.strQueue, im.bgQueue);
        m_cidText = tr("Queue ") + stateText;
        break;
    default: // 0 and unknown states: the common steps only
        break;
    }
    if (m_built)
        showDisplay();
}

void QuorAgentInfo::showDisplay()
{
    // Before the first update the form's pictures and texts stay.
    if (!m_displayed)
        return;
    if (m_strip)
        label_status->setPixmap(*m_strip);
    if (m_background)
        label_bt_bg->setPixmap(*m_background);

    const auto look = [](QLabel *label, TextLook wanted, TextLook &shown) {
        if (wanted == shown || wanted == TextLook::Unset)
            return;
        shown = wanted;
        switch (wanted) {
        case TextLook::Grey:
            label->setStyleSheet(labelStyle(14, "rgba(76, 76, 76, 255)"));
            break;
        case TextLook::Orange:
            label->setStyleSheet(labelStyle(14, "rgba(200, 80, 0, 255)"));
            break;
        case TextLook::Green:
            label->setStyleSheet(labelStyle(12, "rgba(0, 90, 0, 255)"));
            break;
        case TextLook::Red:
            label->setStyleSheet(labelStyle(12, "rgba(203, 0, 0, 255)"));
            break;
        case TextLook::Unset:
            break;
        }
    };
    look(label_cid, m_cidLook, m_shownCidLook);
    label_cid->setText(m_cidText);
    look(label_direction, m_directionLook, m_shownDirectionLook);
    label_direction->setText(direction);
    labelTimer->setText(m_timerText);

    dndButton->setToolTip(
        state == AgentDnd ? tr("Disable DND on this extension") : tr("Enable DND on this extension"));
    const bool forwarded = state == AgentForward;
    fwdButton->setToolTip(forwarded ? tr("Disable call forwarding on this extension")
                                    : tr("Enable call forwarding on this extension"));
    if (forwarded)
        Edit_fwd->setText(fwdNumber);
    Edit_fwd->setEnabled(!forwarded);
    comboFwdFamily->setEnabled(!forwarded);
    comboFwdFamily->setCurrentIndex(qMax<qsizetype>(0, fwdTypes.indexOf(fwdType)));
}

// ---------------------------------------------------------------- actions

void QuorAgentInfo::refuse(const QString &title, const QString &text)
{
    SafeRemoval::LoopScope scope(m_removal);
    RefusalBox::show(this, title, text);
}

void QuorAgentInfo::enableDND()
{
    if (!usable())
        return;
    if (state == AgentForward) {
        refuse(tr("Do Not Disturb"), tr("Please Disable the forwarding\n before to enable the DND."));
        return;
    }
    agent->sendCommand(state == AgentDnd ? AmiAction::databaseDel(dndFamily, ext)
                                         : AmiAction::databasePut(dndFamily, ext, QStringLiteral("YES")));
    agent->sendCommand(AmiAction::userEvent(dndFamily, ext));
}

void QuorAgentInfo::enableFWD()
{
    if (!usable())
        return;
    if (state == AgentDnd) {
        refuse(tr("Call Forwarding"), tr("Please Disable the DND\n before to enable the forwarding."));
        return;
    }
    if (state == AgentForward) {
        // Removed where the PBX holds it, as the tile's own menu does.
        const QString held = agent->fwdFamily;
        agent->sendCommand(AmiAction::databaseDel(held, ext));
        agent->sendCommand(AmiAction::userEvent(held, ext));
        return;
    }
    fwdNumber = m_built ? Edit_fwd->text() : m_editText;
    if (AmiAction::value(fwdNumber).isEmpty()) {
        refuse(tr("Call Forwarding"), tr("Call Forwarding:\nPlease fill the Destination Number."));
        return;
    }
    agent->sendCommand(AmiAction::databasePut(fwdFamily, ext, fwdNumber));
    agent->sendCommand(AmiAction::userEvent(fwdFamily, ext));
}

void QuorAgentInfo::leaveMessage()
{
    if (usable())
        agent->slotLeaveMessageToVm();
}

void QuorAgentInfo::slotCall()
{
    if (usable())
        agent->slotCall();
}

void QuorAgentInfo::slotSendToVoiceMail()
{
    if (usable())
        agent->slotSendToVoiceMail();
}

void QuorAgentInfo::slotBlindTransfer()
{
    if (usable())
        agent->slotBlindTransfer();
}

// ---------------------------------------------------------------- moving and drops

void QuorAgentInfo::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragPosition = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
    // Wayland ignores move() of a top-level window: its compositor moves it.
    if (windowHandle() && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        windowHandle()->startSystemMove();
}

void QuorAgentInfo::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    move(event->globalPosition().toPoint() - dragPosition);
    event->accept();
}

void QuorAgentInfo::dragEnterEvent(QDragEnterEvent *event)
{
    const QMimeData *data = event->mimeData();
    // As on the tile: a call of this process's phone that is still live.
    const bool ownCall = usable() && DragRunner::fromThisProcess(event) && agent->phone
        && agent->phone->calls()->isOwnCall(TQuorCall::fromMimeData(data));
    if ((state == AgentIdle || state == AgentInCall) && data->hasFormat(QLatin1String(TQuorCall::mimeType()))
        && ownCall) {
        event->acceptProposedAction();
        return;
    }
    event->ignore();
}

void QuorAgentInfo::dropEvent(QDropEvent *event)
{
    if (usable())
        agent->drop(event);
}
