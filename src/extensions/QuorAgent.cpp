#include "extensions/QuorAgent.h"

#include <QAction>
#include <QFont>
#include <QMenu>
#include <QPalette>

#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "extensions/DialogEnableCf.h"
#include "extensions/QuorAgentInfo.h"
#include "softphone/TQuorPhone.h"

AgentImages *QuorAgent::images = nullptr;

namespace {

QPixmap picture(const char *name)
{
    return QPixmap(QStringLiteral(":/ui/images/") + QLatin1String(name) + QStringLiteral(".png"));
}

QFont labelFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({ QStringLiteral("Arial"), QStringLiteral("Helvetica"), QStringLiteral("Sans-Serif"),
        QStringLiteral("Sans Serif") });
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QPalette textPalette(const QColor &colour)
{
    QPalette palette;
    palette.setColor(QPalette::WindowText, colour);
    return palette;
}

// The few looks the labels switch between, prepared once: a state change sets
// a palette instead of parsing a style sheet.
struct AgentLooks
{
    QFont channelFont = labelFont(12, true);
    QFont timeFont = labelFont(10, false);
    QFont directionFont = labelFont(9, true);
    QFont phoneFont = labelFont(11, true);
    QFont userFont = labelFont(11, true);
    QPalette channel = textPalette(QColor(30, 30, 30, 255));
    QPalette time = textPalette(QColor(0, 0, 80, 255));
    QPalette phoneWhite = textPalette(QColor(255, 255, 255, 255));
    QPalette phoneForward = textPalette(QColor(255, 128, 0, 255));
    QPalette phoneParked = textPalette(QColor(200, 80, 0, 255));
    // No colour of its own: the label takes the tile's.
    QPalette directionPlain;
    QPalette directionOut = textPalette(QColor(203, 0, 0));
    QPalette directionIn = textPalette(QColor(0, 255, 0));
};

AgentLooks *looks = nullptr;

} // namespace

AgentImages::AgentImages()
    : str_no_avail(picture("str_no_avail"))
    , bg_no_avail(picture("bg_no_avail"))
    , str_available(picture("str_available"))
    , bg_avail(picture("bg_avail"))
    , str_queue(picture("str_queue"))
    , bg_queue(picture("bg_queue"))
    , bg_active(picture("bg_active"))
    , str_calling(picture("str_calling"))
    , bg_ringing(picture("bg_ringing"))
    , str_ringing(picture("str_ringing"))
    , str_ring(picture("str_ring"))
    , str_hold(picture("str_hold"))
    , bg_hold(picture("bg_hold"))
    , str_offhook(picture("str_offhook"))
    , bg_offhook(picture("bg_offhook"))
    , str_dnd(picture("str_dnd"))
    , bg_dnd(picture("bg_dnd"))
    , str_fwd(picture("str_fwd"))
    , bg_fwd(picture("bg_fwd"))
    , str_parked(picture("str_parked"))
    , call(QStringLiteral(":/ui/images/bg.png"))
    , callHover(QStringLiteral(":/ui/images/bt_ext_h.png"))
    , blindTransfer(QStringLiteral(":/ui/images/blind_T.png"))
    , blindTransferHover(QStringLiteral(":/ui/images/blind_T_h.png"))
    , sendToVm(QStringLiteral(":/ui/images/send_to_vm.png"))
    , sendToVmHover(QStringLiteral(":/ui/images/send_to_vm_h.png"))
    , sendToVmWaiting(QStringLiteral(":/ui/images/send_to_vm_a.png"))
    , dragGhost(QStringLiteral(":ui/images/icon_ghosh.png"))
    , frame(picture("bt"))
{
}

QuorAgent::QuorAgent(TQuorPhone *phone, QString name, QList<Channel *> *channels, QString tech)
    : QWidget(nullptr)
{
    setupUi(this);
    // The tile has no layout: with fixed sizes, a child's polish or new text
    // asks it for no layout pass either, which Qt would post and match
    // against every pending event, thousands while a peer table makes tiles.
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        child->setFixedSize(child->size());
    setAcceptDrops(true);
    this->channels = channels;
    extension = name;
    number = std::move(name);
    this->tech = std::move(tech);
    createActions();
    // Both sets live to the end of the program; they need the application.
    if (!looks)
        looks = new AgentLooks;
    if (!images)
        images = new AgentImages;
    label_bottone->setPixmap(images->frame);
    showPictures(images->str_available, images->bg_avail);
    initLabels();
    this->phone = phone;
    if (phone)
        connect(phone->calls(), &PhoneCalls::signalAnswered, this, &QuorAgent::slotSendCall);
    info = new QuorAgentInfo(this);
    setupButtons();
}

QuorAgent::~QuorAgent()
{
    // Neither window has a parent; either may be inside its refusal box.
    info->removeSafely();
    if (cfDialog)
        cfDialog->tileRemoved();
}

void QuorAgent::removeSafely()
{
    if (m_removal.pending())
        return;
    unbindChannel();
    linkedChannel = nullptr;
    currentCall = nullptr;
    channels = nullptr;
    m_recordIndex = nullptr;
    if (phone)
        disconnect(phone->calls(), nullptr, this, nullptr);
    disconnect(this, &QuorAgent::newExtPosition, nullptr, nullptr);
    disconnect(this, &QuorAgent::updateInfoState, nullptr, nullptr);
    disconnect(this, &QuorAgent::timeoutAgent, nullptr, nullptr);
    disconnect(this, &QuorAgent::updateVm, nullptr, nullptr);
    if (m_menu)
        m_menu->close();
    m_removal.remove();
}

// ---------------------------------------------------------------- labels and looks

void QuorAgent::initLabels()
{
    label_channel->setFont(looks->channelFont);
    label_channel->setPalette(looks->channel);
    showExtension();
    label_time->setFont(looks->timeFont);
    label_time->setPalette(looks->time);
    label_time->clear();
    label_phone->setFont(looks->phoneFont);
    label_phone->setPalette(looks->phoneWhite);
    m_phoneLook = PhoneLook::White;
    label_phone->clear();
    button_user->setFont(looks->userFont);
    button_user->setText(extension);
    label_direction->setFont(looks->directionFont);
    label_direction->setPalette(looks->directionPlain);
    m_directionLook = DirectionLook::Plain;
    setStatusText(QString());
}

void QuorAgent::setPhoneLook(PhoneLook look)
{
    if (look == m_phoneLook)
        return;
    m_phoneLook = look;
    switch (look) {
    case PhoneLook::White:
        label_phone->setPalette(looks->phoneWhite);
        break;
    case PhoneLook::Forward:
        label_phone->setPalette(looks->phoneForward);
        break;
    case PhoneLook::Parked:
        label_phone->setPalette(looks->phoneParked);
        break;
    }
}

void QuorAgent::setDirectionLook(DirectionLook look)
{
    if (look == m_directionLook)
        return;
    m_directionLook = look;
    switch (look) {
    case DirectionLook::Plain:
        label_direction->setPalette(looks->directionPlain);
        break;
    case DirectionLook::Out:
        label_direction->setPalette(looks->directionOut);
        break;
    case DirectionLook::In:
        label_direction->setPalette(looks->directionIn);
        break;
    }
}

void QuorAgent::showPictures(const QPixmap &strip, const QPixmap &background)
{
    label_status->setPixmap(strip);
    label_bg->setPixmap(background);
}

void QuorAgent::announceState()
{
    emit updateInfoState(state, peerText);
}

// ---------------------------------------------------------------- fields

void QuorAgent::setStatusText(const QString &text)
{
    direction = text;
    label_direction->setText(text);
}

void QuorAgent::setQueueName(const QString &text)
{
    queue = text;
}

void QuorAgent::showExtension()
{
    label_channel->setText(extension);
}

void QuorAgent::setCustomIndex(const QString &text)
{
    customIndex = text;
}

void QuorAgent::setDndFamily(const QString &text)
{
    dndFamily = text;
}

void QuorAgent::setMailbox(const QString &text)
{
    mailbox = text.isEmpty() ? extension : text;
    updateToolTip();
}

void QuorAgent::setGroupName(const QString &text)
{
    group = text;
    updateToolTip();
}

void QuorAgent::setCodec(const QString &text)
{
    codec = text;
    updateToolTip();
}

void QuorAgent::setContext(const QString &text)
{
    context = text;
    updateToolTip();
}

void QuorAgent::setCallerIdNum(const QString &text)
{
    number = text;
    updateToolTip();
}

void QuorAgent::setCallerIdName(const QString &text)
{
    callerIdName = text;
    // A peer without a caller-id name keeps its extension on the strip
    // rather than a blank one.
    button_user->setText(text.isEmpty() ? extension : text);
    updateToolTip();
}

void QuorAgent::addFwdFamilies(const QString &all, const QString &busy, const QString &noAnswer)
{
    fwdFamilies = QStringList { all, busy, noAnswer };
}

void QuorAgent::setPrivacy(bool on)
{
    privacy = on;
    updatePeerLabel();
}

// ---------------------------------------------------------------- states

void QuorAgent::setState(TAgentState value)
{
    state = value;
}

void QuorAgent::setUnavailable()
{
    state = AgentUnavailable;
    parked = false;
    dnd = false;
    forward = false;
    free = false;
    inQueue = false;
    peerText.clear();
    updatePeerLabel();
    setStatusText(QString());
    showPictures(images->str_no_avail, images->bg_no_avail);
    announceState();
}

void QuorAgent::setIdle()
{
    free = true;
    peerText.clear();
    updatePeerLabel();
    label_phone->clear();
    showPictures(images->str_available, images->bg_avail);
    state = AgentIdle;
    announceState();
}

void QuorAgent::setActive()
{
    if (state == AgentParked || (inQueue && parked))
        return;
    showPictures(images->str_calling, images->bg_active);
    state = AgentInCall;
    announceState();
}

void QuorAgent::setHold()
{
    state = AgentHold;
    showPictures(images->str_hold, images->bg_hold);
    announceState();
}

void QuorAgent::setForwarded()
{
    setStatusText(QString());
    label_time->clear();
    setPhoneLook(PhoneLook::Forward);
    peerText = fwdNumber;
    updatePeerLabel();
    showPictures(images->str_fwd, images->bg_fwd);
    state = AgentForward;
    announceState();
}

void QuorAgent::setUnparked()
{
    state = AgentInCall;
    parked = false;
    peerText.clear();
    updatePeerLabel();
    setPhoneLook(PhoneLook::White);
    showPictures(images->str_calling, images->bg_active);
    announceState();
}

void QuorAgent::setParkSlot(QString slot)
{
    const qsizetype colon = slot.indexOf(QLatin1Char(':'));
    if (colon >= 0)
        slot = slot.mid(colon + 1);
    parkSlot = slot;
    if (state == AgentParked)
        return;
    peerText = slot;
    updatePeerLabel();
    // Shown even under privacy: a parking space is no caller's number.
    label_phone->setText(slot);
}

void QuorAgent::setFwdState(bool on, const QString &number, const QString &family)
{
    if (!free || dnd)
        return;
    forward = on;
    fwdNumber = number;
    fwdFamily = family;
    setStatusText(QString());
    label_time->clear();
    if (on) {
        inQueue = false;
        setPhoneLook(PhoneLook::Forward);
        peerText = number;
        updatePeerLabel();
        showPictures(images->str_fwd, images->bg_fwd);
        state = AgentForward;
    } else {
        peerText.clear();
        updatePeerLabel();
        setPhoneLook(PhoneLook::White);
        showPictures(images->str_available, images->bg_avail);
        state = AgentIdle;
    }
    updateActions();
    announceState();
}

void QuorAgent::setDndState(bool on)
{
    if (!free || forward)
        return;
    dnd = on;
    setStatusText(QString());
    label_time->clear();
    label_phone->clear();
    if (on) {
        inQueue = false;
        showPictures(images->str_dnd, images->bg_dnd);
        state = AgentDnd;
    } else {
        showPictures(images->str_available, images->bg_avail);
        state = AgentIdle;
    }
    updateActions();
    announceState();
}

void QuorAgent::setVmCount(int n)
{
    vmCount = n;
    if (n < 1) {
        sendVmButton->setNormalIcon(images->sendToVm);
        return;
    }
    sendVmButton->setNormalIcon(images->sendToVmWaiting);
    sendVmButton->setToolTip(n == 1 ? tr("1 new message") : QString::number(n) + tr(" new messages"));
    emit updateVm(n);
}

void QuorAgent::updatePeerLabel()
{
    if (privacy) {
        label_phone->setText(peerText.isEmpty() ? QString() : QStringLiteral("xxxxxxx"));
        return;
    }
    if (state != AgentParked) {
        label_phone->setText(peerText);
        return;
    }
    if (!peerText.isEmpty())
        label_phone->setText(QStringLiteral("Parked to: ") + peerText);
}

QString QuorAgent::detailsText() const
{
    QString text;
    if (!callerIdName.isEmpty())
        text += QStringLiteral("CallerIDName: ") + callerIdName + QStringLiteral(" \n");
    if (!number.isEmpty())
        text += QStringLiteral("CallerIDNum: ") + number + QStringLiteral(" \n");
    if (!extension.isEmpty())
        text += QStringLiteral("Extension: ") + extension + QStringLiteral(" \n");
    if (!tech.isEmpty())
        text += QStringLiteral("Type: ") + tech + QStringLiteral(" \n");
    if (!context.isEmpty())
        text += QStringLiteral("Context: ") + context;
    if (!codec.isEmpty())
        text += QStringLiteral("\nCodec: ") + codec + QStringLiteral(" ");
    if (!mailbox.isEmpty())
        text += QStringLiteral("\nMailbox: ") + mailbox;
    if (!group.isEmpty())
        text += QStringLiteral("\nGroup: ") + group;
    return text;
}

void QuorAgent::updateToolTip()
{
    button_user->setToolTip(detailsText());
}

void QuorAgent::updateInfo()
{
    info->setDetailsText(detailsText());
    info->setNameText(callerIdName);
    info->setInfo(state, extension, dndFamily, fwdFamily, fwdNumber, peerText);
}
