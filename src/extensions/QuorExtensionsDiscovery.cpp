// Discovery: a tile for every peer the PBX lists, then the peer's details,
// voicemail count, DND and forward entries.

#include "extensions/QuorExtensions.h"

#include <QRegularExpression>

#include "ami/AmiAction.h"
#include "extensions/QuorAgent.h"
#include "extensions/TQuorGroupsEdit.h"
#include "settings/TQuorSettings.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kTileWidth = 132;
constexpr int kTileHeight = 55;
// A details answer of this many lines also names two more IAX peers.
constexpr int kIaxPairLines = 30;

// The whole first match of the pattern with the given characters removed, or
// "" without a match.
QString matchWithout(const QRegularExpression &pattern, const QString &text, const QString &remove)
{
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return QString();
    QString part = match.captured(0);
    for (const QChar c : remove)
        part.remove(c);
    return part;
}

} // namespace

void QuorExtensions::peerEntry(const AmiMessage &message)
{
    addPeer(message);
}

void QuorExtensions::addPeer(const AmiMessage &message)
{
    if (settings)
        readFwdFamilies();
    const QString name = message.value(u"ObjectName");
    const QString tech = message.value(u"Channeltype");

    if (tech == QLatin1String("SIP")) {
        send(AmiAction::sipShowPeer(name));
    } else if (tech == QLatin1String("IAX")) {
        send(AmiAction::iaxShowPeer(name));
    } else if (tech == QLatin1String("Zap")) {
        // The channel tables of both drivers list their channels as "Zap".
        if (dahdiDriver) {
            send(AmiAction::dahdiShowChannel(name));
        } else {
            zapDriver = true;
            send(AmiAction::zapShowChannel(name));
        }
    }

    if (findAgent(tech.toLower(), name))
        return;

    auto *tile = new QuorAgent(phone, name, channels, tech);
    tile->setRecordIndex(&m_recordIndex);
    tile->setMaximumSize(kTileWidth, kTileHeight);
    tile->setPrivacy(privacy);
    if (settings) {
        tile->vmPrefix = settings->getVmPrefix();
        tile->setDndFamily(phoneDndFamily());
    }
    tile->addFwdFamilies(fwdFamilyAll, fwdFamilyBusy, fwdFamilyNoAnswer);
    insertAgentSorted(tile);
    if (groupsEdit)
        groupsEdit->placeExtension(tile);
}

void QuorExtensions::peerResponse(const AmiMessage &message)
{
    const QString objectName = message.value(u"ObjectName");
    const QString callerId = message.value(u"Callerid");
    const QString channelType = message.value(u"Channeltype");
    const QString status = message.value(u"Status");
    const QString context = message.value(u"Context");
    const QString codecOrder = message.value(u"CodecOrder");
    const QString voiceMailbox = message.value(u"VoiceMailbox");

    if (message.lines().size() == kIaxPairLines)
        requestIaxPeer(message);

    static const QRegularExpression quoted(QStringLiteral("\".+\""));
    static const QRegularExpression bracketed(QStringLiteral("<.+>"));
    const QString namePart = matchWithout(quoted, callerId, QStringLiteral("\""));
    const QString numberPart = matchWithout(bracketed, callerId, QStringLiteral("<>"));

    QuorAgent *tile = nullptr;
    for (QuorAgent *candidate : m_index.exact(objectName)) {
        if (candidate->tech == channelType) {
            tile = candidate;
            break;
        }
    }
    if (!tile)
        return;

    if (!useFreePBX)
        tile->setCallerIdName(namePart);
    // A peer without a caller-id number is still reached by its name.
    tile->setCallerIdNum(numberPart.isEmpty() ? tile->extension : numberPart);
    tile->setContext(context);
    tile->setCodec(codecOrder);
    tile->setMailbox(voiceMailbox);
    tile->updateInfo();
    tile->hasMailbox = tile->getMailbox() != QLatin1String("not set");
    if (status.isEmpty() || status == QLatin1String("UNREACHABLE"))
        tile->setUnavailable();
    else
        tile->setIdle();
    if (tile->hasMailbox) {
        send(AmiAction::mailBoxCount(tile->getMailbox()));
        send(AmiAction::dbCheck(dndFamily, tile->extension, "dnd"_L1));
        send(AmiAction::showKey(tile->extension));
    }
    if (useFreePBX)
        send(AmiAction::dbGetCallerName(tile->extension));
}

void QuorExtensions::requestIaxPeer(const AmiMessage &message)
{
    for (const int index : { 1, 14 }) {
        QString line = message.lines().value(index);
        line.remove(QLatin1Char(' '));
        const QStringList parts = line.split(QLatin1Char(':'), Qt::KeepEmptyParts);
        // A line without ":" names no peer.
        if (parts.size() < 2)
            continue;
        send(AmiAction::iaxShowPeer(parts.at(1)));
    }
}
