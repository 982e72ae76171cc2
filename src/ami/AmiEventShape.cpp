#include "ami/AmiEventShape.h"

#include "ami/AmiMessage.h"
#include "ami/ManagerSocket.h"

using namespace Qt::StringLiterals;

namespace {

bool hasKey(QStringView key, const QStringList &message)
{
    for (const QString &line : message) {
        if (AmiMessage::lineHasKey(line, key))
            return true;
    }
    return false;
}

// Appends "older: " + the value of newer when the message has no line of the
// older key but one of the newer key.
void addOlderKey(const QString &older, const QString &newer, QStringList &message)
{
    if (!hasKey(older, message) && hasKey(newer, message))
        message.append(older + u": "_s + ManagerSocket::getValue(newer, message));
}

} // namespace

namespace AmiEventShape {

bool toOlderShape(QString &event, QStringList &message)
{
    if (event == u"Bridge") {
        const QString bridgeState = ManagerSocket::getValue(u"Bridgestate"_s, message);
        if (bridgeState != u"Link" && bridgeState != u"Unlink")
            return false;
        event = bridgeState;
    } else if (event == u"Hold") {
        if (ManagerSocket::getValue(u"Status"_s, message) == u"Off")
            event = u"Unhold"_s;
    } else if (event == u"Dial") {
        // The end of a dial attempt has no older counterpart.
        if (ManagerSocket::getValue(u"SubEvent"_s, message) == u"End")
            return false;
        addOlderKey(u"Source"_s, u"Channel"_s, message);
        addOlderKey(u"SrcUniqueID"_s, u"UniqueID"_s, message);
    } else if (event == u"Rename") {
        addOlderKey(u"Oldname"_s, u"Channel"_s, message);
    }
    // Only a message without its own "State" has the newer shape: a 1.4 Newchannel keeps CallerIDNum alone.
    if (!hasKey(u"State", message))
        addOlderKey(u"CallerID"_s, u"CallerIDNum"_s, message);
    addOlderKey(u"State"_s, u"ChannelStateDesc"_s, message);
    return true;
}

} // namespace AmiEventShape
