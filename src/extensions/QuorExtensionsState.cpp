// What the PBX keeps outside its channels (voicemail counts, FreePBX caller
// names, DND and forward in the AstDB, DND of card channels) and how calls
// move through queues, hold and parking.

#include "extensions/QuorExtensions.h"

#include "ami/ChannelName.h"
#include "ami/ManagerSocket.h"
#include "extensions/Channel.h"
#include "extensions/QuorAgent.h"
#include "softphone/TQuorPhone.h"

namespace {

bool containsAny(const QString &text, const QStringList &parts)
{
    for (const QString &part : parts) {
        if (text.contains(part))
            return true;
    }
    return false;
}

} // namespace

// ---------------------------------------------------------------- voicemail, caller names, DND, forward

void QuorExtensions::mailBoxCount(const AmiMessage &message)
{
    const QString mailbox = message.value(u"Mailbox");
    const int count = message.value(u"NewMessages").toInt();
    for (QuorAgent *tile : std::as_const(tiles)) {
        if (tile->mailbox != mailbox)
            continue;
        const QString extension = tile->extension;
        tile->setVmCount(count);
        if (phone)
            phone->calls()->setVoiceMailCount(extension, count);
        return;
    }
}

void QuorExtensions::dbCidName(const AmiMessage &message)
{
    const QString family = message.value(u"Family");
    cidName = message.value(u"Val");
    const QString extension = family.mid(family.indexOf(QLatin1Char('/')) + 1);
    const QList<QuorAgent *> &list = m_index.exact(extension);
    if (!list.isEmpty())
        list.first()->setCallerIdName(cidName);
}

void QuorExtensions::dbDnd(const AmiMessage &message)
{
    const QString key = message.value(u"Key");
    const QString family = message.value(u"Family");
    const QString option = message.value(u"Option");
    const QList<QuorAgent *> &list = m_index.exact(key);
    if (list.isEmpty())
        return;
    QuorAgent *tile = list.first();
    if (!dndFamily.isEmpty() && family == dndFamily && option.isEmpty())
        tile->setDndState(true);
    else if (option == QLatin1String("dnd"))
        tile->setDndState(false);
}

void QuorExtensions::dbFwd(const AmiMessage &message)
{
    const QString key = message.value(u"Key");
    const QString family = message.value(u"Family");
    QString number = message.value(u"Value");
    if (number.isEmpty())
        number = message.value(u"Val");
    const QString option = message.value(u"Option");
    const QList<QuorAgent *> &list = m_index.exact(key);
    if (list.isEmpty())
        return;
    QuorAgent *tile = list.first();
    if (option.isEmpty() && fwdFamilies().contains(family))
        tile->setFwdState(true, number, family);
    else if (number.isEmpty() && option == QLatin1String("fwd"))
        tile->setFwdState(false, QString(), QString());
}

void QuorExtensions::keyFilter(const AmiMessage &message)
{
    // An unset family would be found in every line.
    const QStringList families = fwdFamilies();
    if (families.isEmpty())
        return;
    QString family;
    QString number;
    bool taken = false;
    for (const QString &line : message.lines()) {
        QString copy = line;
        copy.remove(QStringLiteral("\r\r"));
        copy.remove(QStringLiteral("\r\n"));
        copy.remove(QLatin1Char('\n'));
        copy.remove(QLatin1Char('\r'));
        copy.remove(QLatin1Char(' '));
        if (copy.isEmpty() || !containsAny(copy, families))
            continue;
        const QStringList parts = copy.split(QLatin1Char(':'), Qt::KeepEmptyParts);
        if (parts.size() != 2 || !containsAny(parts.at(0), families))
            continue;
        family = ManagerSocket::familyFromDbKey(parts.at(0));
        number = parts.at(1);
        taken = true;
    }
    if (!taken)
        return;
    const QList<QuorAgent *> list = m_index.exact(message.value(u"Key"));
    for (QuorAgent *tile : list)
        tile->setFwdState(true, number, family);
}

void QuorExtensions::zapDnd(const AmiMessage &message)
{
    QString channel = message.value(u"Channel");
    const QString dnd = message.value(u"DND");
    const QString status = message.value(u"Status");
    if (channel.contains(QLatin1Char('/')))
        channel = ManagerSocket::extFromChannel(channel);
    const bool on = !(dnd == QLatin1String("Disabled") || status == QLatin1String("disabled"));
    const QList<QuorAgent *> &list = m_index.exact(channel);
    if (!list.isEmpty())
        list.first()->setDndState(on);
}

// ---------------------------------------------------------------- queues, hold, parking

void QuorExtensions::join(const AmiMessage &message)
{
    const QString queue = message.value(u"Queue");
    const QString channel = message.value(u"Channel");
    if (QuorAgent *tile = tileOf(ManagerSocket::extFromChannel(channel), ManagerSocket::techFromChannel(channel)))
        tile->setQueueName(queue);
    if (Channel *record = recordNamed(channel)) {
        record->callerId = queue;
        record->callerIdName = queue;
        record->joinQueue(queue);
    }
}

void QuorExtensions::leave(const AmiMessage &message)
{
    const QString channel = message.value(u"Channel");
    Channel *record = recordOf(message.value(u"Uniqueid"));
    if (record && record->name == channel)
        record->leaveQueue();
}

void QuorExtensions::hold(const AmiMessage &message)
{
    setPartnersHeld(message.value(u"Uniqueid"), true);
}

void QuorExtensions::unhold(const AmiMessage &message)
{
    setPartnersHeld(message.value(u"Uniqueid"), false);
}

// A hold changes the tiles of the parties linked to the held channel, not the
// tile bound to that channel itself.
void QuorExtensions::setPartnersHeld(const QString &uniqueid, bool held)
{
    Channel *record = recordOf(uniqueid);
    if (!record)
        return;
    const QList<QuorAgent *> list = tiles;
    for (QuorAgent *tile : list) {
        if (tile->linkedChannel != record || !tile->channel)
            continue;
        tile->channel->setState(held ? QStringLiteral("Hold") : QStringLiteral("Unhold"));
        if (held)
            tile->setHold();
        else
            tile->setActive();
    }
}

void QuorExtensions::parkedCall(const AmiMessage &message)
{
    const QString exten = message.value(u"Exten");
    const QString channel = ChannelName::unwrapAsyncGoto(message.value(u"Channel"));
    if (QuorAgent *tile = tileOf(ManagerSocket::extFromChannel(channel), ManagerSocket::techFromChannel(channel)))
        tile->setParkSlot(exten);
    if (Channel *record = recordNamed(channel)) {
        record->callerId = message.value(u"CallerID");
        record->callerIdName = message.value(u"CallerIDName");
        record->park(exten);
    }
}

void QuorExtensions::unParkedCall(const AmiMessage &message)
{
    const QString event = message.value(u"Event");
    const QString exten = message.value(u"Exten");
    const QString channel = ChannelName::unwrapAsyncGoto(message.value(u"Channel"));
    const QString from = message.value(u"From");
    const QString callerId = message.value(u"CallerID");
    QString callerIdName = message.value(u"CallerIDName");
    if (callerIdName.isEmpty() || callerIdName.contains(QLatin1String("unknown"))
        || callerIdName.contains(QLatin1String("Unknown")))
        callerIdName = callerId;
    const QString ext = ManagerSocket::extFromChannel(channel);
    const QString tech = ManagerSocket::techFromChannel(channel);
    const QString fromExt = ManagerSocket::extFromChannel(from);
    const QString fromTech = ManagerSocket::techFromChannel(from);

    if (event == QLatin1String("ParkedCallGiveUp") || event == QLatin1String("ParkedCallTimeOut")) {
        const QList<QuorAgent *> list = m_index.exact(ext);
        for (QuorAgent *tile : list) {
            if (Channel::matches(ext, tech, tile->extension, tile->tech) && tile->parkSlot == exten) {
                tile->setStatusText(QStringLiteral("OUT"));
                tile->setUnparked();
                break;
            }
        }
    } else if (event == QLatin1String("UnParkedCall")) {
        QString name;
        const QList<QuorAgent *> list = tilesOf(ext, fromExt);
        for (QuorAgent *tile : list) {
            if (Channel::matches(fromExt, fromTech, tile->extension, tile->tech)) {
                name = tile->callerIdName;
                if (name.isEmpty() || name.contains(QLatin1String("unknown")))
                    name = fromExt;
                tile->setPeerText(callerIdName);
            } else if (Channel::matches(ext, tech, tile->extension, tile->tech)) {
                tile->setUnparked();
                tile->setParkSlot(name);
                break;
            }
        }
    }

    if (Channel *record = recordNamed(channel)) {
        record->callerId = callerId;
        record->callerIdName = callerIdName;
        record->unPark();
    }
}
