// Every PBX event and query answer that the socket emits, handed to the
// extensions panel, with the main window's own work before or after it.

#include "mainwindow/TQuorManager.h"

#include "ami/AmiAction.h"
#include "ami/ManagerSocket.h"
#include "extensions/QuorExtensions.h"
#include "extensions/TQuorGroupsEdit.h"

namespace {

QString value(const char *key, const QStringList &message)
{
    return ManagerSocket::getValue(QLatin1String(key), message);
}

} // namespace

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
    const QString peer = value("Peer", message);
    QString status = value("PeerStatus", message);
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
    m_extensions->extensionStatus(value("Exten", message), value("Status", message));
}

void TQuorManager::UserEvent(QStringList message)
{
    const QString act = value("Act", message);
    // Another application's event names no family; a blank family setting
    // must not take it for its own.
    if (act.isEmpty())
        return;
    const QString user
        = m_newAsterisk ? value("User", message) : ManagerSocket::extFromChannel(value("Channel", message));
    if (act == m_dndFamily)
        m_extensions->checkDnd(user);
    if (act == m_fwdFamilyAll || act == m_fwdFamilyBusy || act == m_fwdFamilyNoAnswer)
        m_extensions->checkFwd(user, act);
}

void TQuorManager::peersCount(QStringList message, QString tech)
{
    const int total = value("ListItems", message).toInt();
    const int available = value("ListAvail", message).toInt();
    if (tech == QLatin1String("SIP"))
        setSipCounts(total, available);
    else if (tech == QLatin1String("IAX"))
        setIaxCounts(total, available);
    else if (tech == QLatin1String("Zap"))
        setZapCount(total);
    if (m_countDone)
        resumeCount();
    if (m_extensions->peersCount(message, tech) && pageShown(m_groupsEdit))
        refreshGroupEditor();
}

void TQuorManager::Link(QStringList message)
{
    m_extensions->link(message);
    linkQueueCall(message);
    sendShowChannels();
}

void TQuorManager::Unlink(QStringList message)
{
    m_extensions->unlink(message);
    // Each side as a message of four lines, none of them "key: value": the
    // Hangup handling reads both keys as empty, so only records without a
    // uniqueid end, and the panel finds no channel.
    Hangup({ QStringLiteral("Uniqueid: "), value("Uniqueid1", message), QStringLiteral("Channel: "),
        value("Channel1", message) });
    Hangup({ QStringLiteral("Uniqueid: "), value("Uniqueid2", message), QStringLiteral("Channel: "),
        value("Channel2", message) });
    sendShowChannels();
}

void TQuorManager::PeerResponse(QStringList message)
{
    if (value("ObjectName", message) == userName)
        userContext = value("Context", message);
    m_extensions->peerResponse(message);
}

void TQuorManager::Hangup(QStringList message)
{
    m_extensions->hangup(message);
    endCallRecords(value("Uniqueid", message), value("Channel", message));
    sendShowChannels();
}

void TQuorManager::Rename(QStringList message)
{
    // Masquerade names are the PBX's temporary ones: neither the records nor
    // the panel follow them.
    const QString newName = value("Newname", message);
    if (newName.contains(QLatin1String("MASQ")) || newName.contains(QLatin1String("ZOMBIE")))
        return;
    renameCallRecord(message);
    m_extensions->rename(message);
}

void TQuorManager::Newcallerid(QStringList message)
{
    m_extensions->newCallerId(message);
}

void TQuorManager::Join(QStringList message)
{
    m_extensions->join(message);
    joinQueueCall(message);
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
    if (value("Variable", message) == QLatin1String("transfer"))
        Link(message);
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
    m_extensions->newChannel(message);
    trackNewChannel(message);
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
    parkCallRecord(message);
    m_extensions->parkedCall(message);
}

void TQuorManager::UnParkedCall(QStringList message)
{
    unparkCallRecord(message);
    m_extensions->unParkedCall(message);
}

void TQuorManager::ParkedCallGiveUp(QStringList message)
{
    giveUpParkedCall(message);
    m_extensions->unParkedCall(message);
}

void TQuorManager::Cdr(QStringList)
{
}

void TQuorManager::DBFilter(QStringList message)
{
    const QString key = value("Key", message);
    if (key.isEmpty())
        return;
    const QString family = value("Family", message);
    const QString option = value("Option", message);
    const bool own = key == userName;
    // A "not found" answer carries no family: it must not match a blank one.
    const bool hasFamily = !family.isEmpty();
    if (m_useFreePbx && key == QLatin1String("cidname"))
        m_extensions->dbCidName(message);
    if (hasFamily && family == m_dndFamily) {
        m_extensions->dbDnd(message);
        if (own)
            ownDndAnswer(true);
    }
    if (option == QLatin1String("dnd")) {
        m_extensions->dbDnd(message);
        if (own)
            ownDndAnswer(false);
    }
    if (hasFamily && (family == m_fwdFamilyAll || family == m_fwdFamilyBusy || family == m_fwdFamilyNoAnswer)) {
        m_extensions->dbFwd(message);
        if (own)
            ownForwardAnswer(true, value("Val", message), family);
    }
    if (option == QLatin1String("fwd")) {
        m_extensions->dbFwd(message);
        if (own)
            ownForwardAnswer(false, QString(), QString());
    }
}

void TQuorManager::keyFilter(QStringList message)
{
    if (value("Option", message) == QLatin1String("fwd"))
        m_extensions->keyFilter(message);
}
