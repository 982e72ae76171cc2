// Every PBX event and query answer that the socket emits, handed to the
// extensions panel, with the main window's own work before or after it.

#include "mainwindow/TQuorManager.h"

#include <utility>

#include "ami/AmiAction.h"
#include "ami/AmiMessage.h"
#include "ami/ManagerSocket.h"
#include "extensions/QuorExtensions.h"
#include "extensions/TQuorGroupsEdit.h"

// A slot with work of its own splits the message once; the panel's handler
// and that work read the same fields.

void TQuorManager::sendShowChannels()
{
    m_socket->sendCommand(AmiAction::showChannels());
}

void TQuorManager::PeerEntry(QStringList message)
{
    m_extensions->peerEntry(message);
}

void TQuorManager::PeerStatus(QStringList message)
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
    m_socket->sendCommand(AmiAction::showKey(ext));
    m_extensions->checkDnd(ext);
    m_extensions->extensionStatus(ext, status);
    if (tech == QLatin1String("SIP"))
        m_socket->sendCommand(AmiAction::sipCount());
    else if (tech == QLatin1String("IAX"))
        m_socket->sendCommand(AmiAction::iaxCount());
}

void TQuorManager::ExtensionStatus(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_extensions->extensionStatus(fields.value(u"Exten"), fields.value(u"Status"));
}

void TQuorManager::UserEvent(QStringList message)
{
    const AmiMessage fields(std::move(message));
    const QString act = fields.value(u"Act");
    // Another application's event names no family; a blank family setting
    // must not take it for its own.
    if (act.isEmpty())
        return;
    const QString user
        = m_newAsterisk ? fields.value(u"User") : ManagerSocket::extFromChannel(fields.value(u"Channel"));
    if (act == m_dndFamily)
        m_extensions->checkDnd(user);
    if (act == m_fwdFamilyAll || act == m_fwdFamilyBusy || act == m_fwdFamilyNoAnswer)
        m_extensions->checkFwd(user, act);
}

void TQuorManager::peersCount(QStringList message, QString tech)
{
    const AmiMessage fields(std::move(message));
    const int total = fields.value(u"ListItems").toInt();
    const int available = fields.value(u"ListAvail").toInt();
    if (tech == QLatin1String("SIP"))
        setSipCounts(total, available);
    else if (tech == QLatin1String("IAX"))
        setIaxCounts(total, available);
    else if (tech == QLatin1String("Zap"))
        setZapCount(total);
    if (m_countDone)
        resumeCount();
    if (m_extensions->peersCount(fields, tech) && m_groupsEdit->isVisible())
        refreshGroupEditor();
}

void TQuorManager::Link(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_extensions->link(fields);
    linkQueueCall(fields);
    sendShowChannels();
}

void TQuorManager::Unlink(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_extensions->unlink(fields);
    // Each side as a message of four lines, none of them "key: value": the
    // Hangup handling reads both keys as empty, so only records without a
    // uniqueid end, and the panel finds no channel.
    Hangup({ QStringLiteral("Uniqueid: "), fields.value(u"Uniqueid1"), QStringLiteral("Channel: "),
        fields.value(u"Channel1") });
    Hangup({ QStringLiteral("Uniqueid: "), fields.value(u"Uniqueid2"), QStringLiteral("Channel: "),
        fields.value(u"Channel2") });
    sendShowChannels();
}

void TQuorManager::PeerResponse(QStringList message)
{
    const AmiMessage fields(std::move(message));
    if (fields.value(u"ObjectName") == userName)
        userContext = fields.value(u"Context");
    m_extensions->peerResponse(fields);
}

void TQuorManager::Hangup(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_extensions->hangup(fields);
    endCallRecords(fields.value(u"Uniqueid"), fields.value(u"Channel"));
    sendShowChannels();
}

void TQuorManager::Rename(QStringList message)
{
    // Masquerade names are the PBX's temporary ones: neither the records nor
    // the panel follow them.
    const AmiMessage fields(std::move(message));
    const QString newName = fields.value(u"Newname");
    if (newName.contains(QLatin1String("MASQ")) || newName.contains(QLatin1String("ZOMBIE")))
        return;
    renameCallRecord(fields);
    m_extensions->rename(fields);
}

void TQuorManager::Newcallerid(QStringList message)
{
    m_extensions->newCallerId(message);
}

void TQuorManager::Join(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_extensions->join(fields);
    joinQueueCall(fields);
}

void TQuorManager::Leave(QStringList message)
{
    m_extensions->leave(message);
}

void TQuorManager::MailBoxStatus(QStringList message)
{
    m_extensions->mailBoxStatus(message);
}

void TQuorManager::MailBoxCount(QStringList message)
{
    m_extensions->mailBoxCount(message);
}

void TQuorManager::GetVariable(QStringList message)
{
    if (AmiMessage(message).value(u"Variable") == QLatin1String("transfer"))
        Link(std::move(message));
}

void TQuorManager::Dial(QStringList message)
{
    m_extensions->dial(message);
}

void TQuorManager::Status(QStringList message)
{
    m_extensions->status(message);
}

void TQuorManager::Newstate(QStringList message)
{
    m_extensions->newState(message);
}

void TQuorManager::Newchannel(QStringList message)
{
    const AmiMessage fields(std::move(message));
    m_extensions->newChannel(fields);
    trackNewChannel(fields);
}

void TQuorManager::Newexten(QStringList message)
{
    m_extensions->newExten(message);
}

void TQuorManager::Hold(QStringList message)
{
    m_extensions->hold(message);
}

void TQuorManager::Unhold(QStringList message)
{
    m_extensions->unhold(message);
}

void TQuorManager::ZapDND(QStringList message)
{
    m_extensions->zapDnd(message);
}

void TQuorManager::ParkedCall(QStringList message)
{
    const AmiMessage fields(std::move(message));
    parkCallRecord(fields);
    m_extensions->parkedCall(fields);
}

void TQuorManager::UnParkedCall(QStringList message)
{
    const AmiMessage fields(std::move(message));
    unparkCallRecord(fields);
    m_extensions->unParkedCall(fields);
}

void TQuorManager::ParkedCallGiveUp(QStringList message)
{
    const AmiMessage fields(std::move(message));
    giveUpParkedCall(fields);
    m_extensions->unParkedCall(fields);
}

void TQuorManager::Cdr(QStringList)
{
}

void TQuorManager::DBFilter(QStringList message)
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
    if (m_useFreePbx && key == QLatin1String("cidname"))
        m_extensions->dbCidName(fields);
    if (hasFamily && family == m_dndFamily) {
        m_extensions->dbDnd(fields);
        if (own)
            ownDndAnswer(true);
    }
    if (option == QLatin1String("dnd")) {
        m_extensions->dbDnd(fields);
        if (own)
            ownDndAnswer(false);
    }
    if (hasFamily && (family == m_fwdFamilyAll || family == m_fwdFamilyBusy || family == m_fwdFamilyNoAnswer)) {
        m_extensions->dbFwd(fields);
        if (own)
            ownForwardAnswer(true, fields.value(u"Val"), family);
    }
    if (option == QLatin1String("fwd")) {
        m_extensions->dbFwd(fields);
        if (own)
            ownForwardAnswer(false, QString(), QString());
    }
}

void TQuorManager::keyFilter(QStringList message)
{
    const AmiMessage fields(std::move(message));
    if (fields.value(u"Option") == QLatin1String("fwd"))
        m_extensions->keyFilter(fields);
}
