// Channel tracking: the records of the PBX's live channels from Newchannel to
// Hangup, their names, caller ids, links and states, and what the tiles of
// the extensions involved show.

#include "extensions/QuorExtensions.h"

#include "ami/AmiAction.h"
#include "ami/ChannelName.h"
#include "ami/ManagerSocket.h"
#include "extensions/Channel.h"
#include "extensions/QuorAgent.h"

namespace {

QString extOf(const QString &channel)
{
    return ManagerSocket::extFromChannel(channel);
}

QString techOf(const QString &channel)
{
    return ManagerSocket::techFromChannel(channel);
}

bool unknownName(const QString &name)
{
    return name.isEmpty() || name.contains(QLatin1String("Unknown")) || name.contains(QLatin1String("unknown"));
}

bool sideOf(const QuorAgent *tile, const QString &ext, const QString &tech)
{
    return Channel::matches(ext, tech, tile->extension, tile->tech);
}

} // namespace

// ---------------------------------------------------------------- creation, renaming, caller id

void QuorExtensions::newChannel(const AmiMessage &message)
{
    QString state = message.value(u"State");
    if (state == QLatin1String("Rsrvd"))
        state = QStringLiteral("Offhook");
    const QString callerId = message.value(u"CallerID");
    const QString callerIdName = message.value(u"CallerIDName");
    const QString channel = ChannelName::clean(message.value(u"Channel"));
    const QString uniqueid = message.value(u"Uniqueid");

    if (Channel *known = recordOf(uniqueid)) {
        known->setState(state);
        return;
    }
    auto *record = new Channel(uniqueid, channel, callerId, callerIdName, state);
    addRecord(record);

    const QString tech = techOf(channel);
    if (tech != QLatin1String("Agent")) {
        // The one case-insensitive match: PBXs differ in the case of names.
        const QString lowerTech = Channel::tileTech(tech).toLower();
        const QList<QuorAgent *> list = m_index.lowered(extOf(channel).toLower());
        for (QuorAgent *tile : list) {
            if (tile->tech.toLower() != lowerTech)
                continue;
            if (!tile->channel)
                tile->setChannel(record);
            break;
        }
    }
    record->setState(state);
}

void QuorExtensions::rename(const AmiMessage &message)
{
    const QString newName = message.value(u"Newname");
    const QString uniqueid = message.value(u"Uniqueid");
    QString newUniqueid = message.value(u"NewUniqueid");
    if (newName.contains(QLatin1String("ZOMBIE")))
        return;
    if (newAsterisk)
        newUniqueid = uniqueid;

    if (newUniqueid.isEmpty()) {
        if (Channel *record = recordOf(uniqueid)) {
            record->rename(newName);
            m_recordIndex.refile(record);
        }
        return;
    }
    Channel *source = nullptr;
    Channel *target = nullptr;
    const QList<Channel *> records = *channels;
    for (Channel *record : records) {
        if (record->uniqueid != uniqueid && record->name == newName) {
            record->rename(newName);
            m_recordIndex.refile(record);
            source = record;
        } else if (record->uniqueid == newUniqueid) {
            target = record;
        }
    }
    if (source && target) {
        target->callerId = source->callerId;
        target->callerIdName = source->callerIdName;
    }
}

void QuorExtensions::newCallerId(const AmiMessage &message)
{
    const QString channel = message.value(u"Channel");
    const QString callerId = message.value(u"CallerID");
    QString callerIdName = message.value(u"CallerIDName");
    const QString uniqueid = message.value(u"Uniqueid");

    if (callerIdName == QLatin1String("<Unknown>")) {
        const QString ext = extOf(channel);
        const QString tech = techOf(channel);
        for (const QuorAgent *tile : m_index.exact(ext)) {
            if (sideOf(tile, ext, tech))
                callerIdName = tile->callerIdName;
        }
    }
    if (Channel *record = recordOf(uniqueid)) {
        record->callerIdName = callerIdName;
        record->callerId = callerId;
    }
}

void QuorExtensions::newExten(const AmiMessage &message)
{
    const QString extension = message.value(u"Extension");
    const QString priority = message.value(u"Priority");
    const QString uniqueid = message.value(u"Uniqueid");
    if (extension == QLatin1String("s") || extension == QLatin1String("h"))
        return;

    QString name;
    for (const QuorAgent *tile : m_index.exact(extension))
        name = tile->callerIdName;
    if (priority != QLatin1String("1"))
        return;

    Channel *record = recordOf(uniqueid);
    if (!record)
        return;
    const QString &state = record->state;
    if (state != QLatin1String("Up") && state != QLatin1String("Ring") && state != QLatin1String("Ringing"))
        return;
    for (QuorAgent *tile : std::as_const(tiles)) {
        if (tile->channel == record) {
            tile->setPeerText(name);
            return;
        }
    }
}

// ---------------------------------------------------------------- link, unlink, dial, hangup

void QuorExtensions::link(const AmiMessage &message)
{
    linkChannels(tiles, message);
}

void QuorExtensions::linkChannels(QList<QuorAgent *> agents, const AmiMessage &message)
{
    const QString channel1 = message.value(u"Channel1");
    const QString channel2 = message.value(u"Channel2");
    const QString uniqueid1 = message.value(u"Uniqueid1");
    const QString uniqueid2 = message.value(u"Uniqueid2");
    const QString callerId1 = message.value(u"CallerID1");
    const QString callerId2 = message.value(u"CallerID2");
    const QString ext1 = extOf(channel1);
    const QString tech1 = techOf(channel1);
    const QString ext2 = extOf(channel2);
    const QString tech2 = techOf(channel2);

    // Only the tiles of the two extensions can match; the panel's own list
    // is looked up instead of walked.
    if (agents.constData() == tiles.constData() && agents.size() == tiles.size())
        agents = tilesOf(ext1, ext2);

    QString name1;
    QString name2;
    for (const QuorAgent *tile : std::as_const(agents)) {
        if (sideOf(tile, ext1, tech1))
            name1 = tile->callerIdName;
        else if (sideOf(tile, ext2, tech2))
            name2 = tile->callerIdName;
    }

    Channel *record1 = recordOf(uniqueid1);
    Channel *record2 = uniqueid2 == uniqueid1 ? nullptr : recordOf(uniqueid2);
    const auto link1 = [&] {
        record1->callerId = callerId1;
        record1->callerIdName = name1;
        record1->link(uniqueid2);
    };
    const auto link2 = [&] {
        record2->callerId = callerId2;
        record2->callerIdName = name2;
        record2->link(uniqueid1);
    };
    // In list order: a tile told of the link reads the other record's names.
    if (record1 && record2 && before(record2, record1)) {
        link2();
        link1();
    } else {
        if (record1)
            link1();
        if (record2)
            link2();
    }

    for (QuorAgent *tile : std::as_const(agents)) {
        if (sideOf(tile, ext1, tech1))
            tile->setPeerText(name2);
        else if (sideOf(tile, ext2, tech2))
            tile->setPeerText(name1);
    }
}

void QuorExtensions::unlink(const AmiMessage &message)
{
    const QString channel1 = message.value(u"Channel1");
    const QString channel2 = message.value(u"Channel2");
    const QString uniqueid1 = message.value(u"Uniqueid1");
    const QString uniqueid2 = message.value(u"Uniqueid2");
    const QString ext1 = extOf(channel1);
    const QString tech1 = techOf(channel1);
    const QString ext2 = extOf(channel2);
    const QString tech2 = techOf(channel2);

    Channel *record1 = recordOf(uniqueid1);
    Channel *record2 = uniqueid2 == uniqueid1 ? nullptr : recordOf(uniqueid2);
    if (record1 && record2 && before(record2, record1))
        std::swap(record1, record2);
    if (record1)
        record1->unlink();
    if (record2)
        record2->unlink();

    const QList<QuorAgent *> list = tilesOf(ext1, ext2);
    for (QuorAgent *tile : list) {
        if (!sideOf(tile, ext1, tech1) && !sideOf(tile, ext2, tech2))
            continue;
        if (tile->forward)
            tile->setForwarded();
        else if (tile->dnd)
            tile->setDndState(true);
    }
}

void QuorExtensions::dial(const AmiMessage &message)
{
    const QString callerIdName = message.value(u"CallerIDName");
    const QString callerId = message.value(u"CallerID");
    const QString destination = message.value(u"Destination");
    const QString destUniqueId = message.value(u"DestUniqueID");
    const QString srcUniqueId = message.value(u"SrcUniqueID");

    const QString callerName = unknownName(callerIdName) ? callerId : callerIdName;
    QString sourceName;
    if (const Channel *source = recordOf(srcUniqueId)) {
        sourceName = source->callerIdName;
        if (sourceName.isEmpty() || sourceName.contains(QLatin1String("unknown")))
            sourceName = source->callerId;
    }

    // The outcome depends on the state of the last bound tile walked, so
    // every tile is visited. That state is read once the walk is over; a
    // record the walk set ringing counts with the state it had before.
    const Channel *last = nullptr;
    const Channel *madeRinging = nullptr;
    QString stateBefore;
    const QList<QuorAgent *> list = tiles;
    for (QuorAgent *tile : list) {
        Channel *bound = tile->channel;
        if (!bound)
            continue;
        last = bound;
        if (bound->uniqueid == destUniqueId
            && (bound->state == QLatin1String("Down") || bound->state == QLatin1String("Ringing"))) {
            madeRinging = bound;
            stateBefore = bound->state;
            bound->setState(QStringLiteral("Ringing"));
            if (sourceName == callerName)
                break;
            tile->setPeerText(callerName);
        } else if (bound->uniqueid == srcUniqueId) {
            if (sourceName == callerName)
                break;
            tile->setPeerText(sourceName);
        }
    }
    const QString lastState = !last ? QString() : last == madeRinging ? stateBefore : last->state;
    if (lastState != QLatin1String("Up") && lastState != QLatin1String("Ring"))
        return;
    if (QuorAgent *tile = tileOf(extOf(destination), techOf(destination)))
        tile->setPeerText(callerName);
}

void QuorExtensions::hangup(const AmiMessage &message)
{
    const QString ext = extOf(message.value(u"Channel"));
    const QString uniqueid = message.value(u"Uniqueid");

    Channel *record = recordOf(uniqueid);
    // A Hangup that arrives while the same record's hangup is being
    // delivered leaves the record to the outer one.
    if (record && !m_hangingUp.contains(record)) {
        // The record stays listed while its tile reacts, so that the tile's
        // search for a waiting call of its extension skips it.
        m_hangingUp.insert(record);
        record->hangup();
        m_hangingUp.remove(record);
        if (m_records.value(uniqueid) == record) {
            channels->removeOne(record);
            m_recordIndex.remove(record);
            m_records.remove(uniqueid);
            disposeRecord(record);
        }
    }

    const QList<QuorAgent *> list = m_index.exact(ext);
    for (QuorAgent *tile : list) {
        if (tile->forward)
            tile->setForwarded();
        if (tile->dnd)
            tile->setDndState(true);
        send(AmiAction::mailBoxCount(tile->mailbox));
    }
}

// ---------------------------------------------------------------- state changes

void QuorExtensions::newState(const AmiMessage &message)
{
    const QString state = message.value(u"State");
    QString callerId = message.value(u"CallerID");
    QString callerIdName = message.value(u"CallerIDName");
    const QString channel = message.value(u"Channel");
    const QString uniqueid = message.value(u"Uniqueid");
    const QString ext = extOf(channel);
    const QString tech = techOf(channel);

    // Some PBXs put the calling channel where the number belongs.
    if (callerId.contains(QLatin1String("IAX2/")) || callerId.contains(QLatin1String("SIP/")))
        callerId = extOf(callerId);

    if (state == QLatin1String("Ringing")) {
        QString calleeName;
        const QList<QuorAgent *> list = tilesOf(ext, callerId);
        for (QuorAgent *tile : list) {
            if (sideOf(tile, ext, tech)) {
                if (ext == callerId)
                    break;
                if (unknownName(callerIdName))
                    callerIdName = callerId;
                calleeName = tile->callerIdName;
                if (calleeName.isEmpty() || calleeName.contains(QLatin1String("unknown")))
                    calleeName = ext;
                tile->setPeerText(callerIdName);
            }
            if (tile->extension == callerId)
                tile->setPeerText(calleeName);
        }
    }

    Channel *record = recordOf(uniqueid);
    if (!record)
        return;
    const QString lowerTech = tech.toLower();
    // A card channel that rings out keeps its "Ring" and its caller id.
    if ((lowerTech == QLatin1String("zap") || lowerTech == QLatin1String("dahdi"))
        && record->state == QLatin1String("Ring") && state == QLatin1String("Ringing"))
        return;
    record->setState(state);
    record->callerId = callerId;
    record->callerIdName = callerIdName;
}

void QuorExtensions::mailBoxStatus(const AmiMessage &message)
{
    const QString mailbox = message.value(u"Mailbox");
    const int waiting = message.value(u"Waiting").toInt();
    const QList<QuorAgent *> &list = m_index.exact(mailbox);
    if (!list.isEmpty())
        list.first()->setVmCount(waiting);
}
