#include "ami/AmiAction.h"

using namespace Qt::StringLiterals;

namespace AmiAction {

// ---------------------------------------------------------------------------
// Connection and start-up queries

QString login(const QString &user, const QString &secret)
{
    return u"\r\nAction: Login\r\nUserName: "_s + value(user) + u"\r\nSecret: "_s + value(secret)
        + u"\r\nActionID: logIn\r\n\r\n"_s;
}

QString showVersion()
{
    return u"Action: Command\r\nCommand: show version\r\nActionID: getVersion\r\n\r\n"_s;
}

QString queueStatus()
{
    return u"Action: QueueStatus\r\nActionID: QueueStatus\r\n\r\n"_s;
}

QString dahdiShowStatus()
{
    return u"Action: Command\r\nCommand: dahdi show status\r\nActionID: dahdiStatus\r\n\r\n"_s;
}

QString zapShowStatus()
{
    return u"Action: Command\r\nCommand: zap show status\r\nActionID: zapStatus\r\n\r\n"_s;
}

QString sipPeers()
{
    return u"Action: Command\r\nCommand: sip show peers\r\nActionID: SIPpeers\r\n\r\n"_s;
}

QString iaxPeers()
{
    return u"Action: Command\r\nCommand: iax2 show peers\r\nActionID: IAXPeers\r\n\r\n"_s;
}

QString zapShowChannels()
{
    return u"Action: Command\r\nCommand: zap show channels\r\nActionID: ZAPPeers\r\n\r\n"_s;
}

QString dahdiShowChannels()
{
    return u"Action: Command\r\nCommand: dahdi show channels\r\nActionID: ZAPPeers\r\n\r\n"_s;
}

QString showChannels()
{
    return u"Action: command\r\nCommand: show channels\r\nActionID: showChannels\r\n\r\n"_s;
}

QString sipCount()
{
    return u"Action: Command\r\nCommand: sip show peers\r\nActionID: SIPCount\r\n\r\n"_s;
}

QString iaxCount()
{
    return u"Action: Command\r\nCommand: iax2 show peers\r\nActionID: IAXCount\r\n\r\n"_s;
}

// ---------------------------------------------------------------------------
// A peer's details and voicemail

QString sipShowPeer(const QString &peer)
{
    return u"Action: SIPShowPeer\r\nPeer: "_s + value(peer) + u"\r\nActionID: SIPShowPeer\r\n\r\n"_s;
}

QString iaxShowPeer(const QString &peer)
{
    return u"Action: Command\r\nCommand: iax2 show peer "_s + value(peer) + u"\r\nActionID: IAXShowPeer\r\n\r\n"_s;
}

QString zapShowChannel(const QString &channel)
{
    return u"Action: Command\r\nCommand: zap show channel "_s + value(channel) + u"\r\nActionID: ZAPShowPeer\r\n\r\n"_s;
}

QString dahdiShowChannel(const QString &channel)
{
    return u"Action: Command\r\nCommand: dahdi show channel "_s + value(channel)
        + u"\r\nActionID: ZAPShowPeer\r\n\r\n"_s;
}

QString mailBoxCount(const QString &mailbox)
{
    return u"Action: MailBoxCount\r\nMailBox: "_s + value(mailbox) + u"\r\nActionID: MailBoxCount\r\n\r\n"_s;
}

// ---------------------------------------------------------------------------
// The PBX's database

QString dbCheck(const QString &family, const QString &key, QLatin1StringView option)
{
    const QString safeKey = value(key);
    return u"Action: DBGet\r\nFamily: "_s + value(family) + u"\r\nKey: "_s + safeKey + u"\r\nActionID: DBcheck/"_s
        + safeKey + u'-' + option + u"\r\n\r\n"_s;
}

QString dbGetCallerName(const QString &extension)
{
    return u"Action: DBGet\r\nFamily: AMPUSER/"_s + value(extension)
        + u"\r\nKey: cidname\r\nActionID: DBGetCidN\r\n\r\n"_s;
}

QString showKey(const QString &extension)
{
    const QString key = value(extension);
    return u"Action: command\r\nCommand: database showkey "_s + key + u"\r\nActionID: showkey/"_s + key
        + u"-fwd\r\n\r\n"_s;
}

QString databasePut(const QString &family, const QString &key, const QString &text)
{
    return u"Action: command\r\nCommand: database put "_s + value(family) + u' ' + value(key) + u' ' + value(text)
        + u"\r\n\r\n"_s;
}

QString databaseDel(const QString &family, const QString &key)
{
    return u"Action: command\r\nCommand: database del "_s + value(family) + u' ' + value(key) + u"\r\n\r\n"_s;
}

QString userEvent(const QString &family, const QString &user)
{
    return u"Action: UserEvent\r\nAct: "_s + value(family) + u"\r\nUser: "_s + value(user) + u"\r\n\r\n"_s;
}

// ---------------------------------------------------------------------------
// Calls

QString redirect(const QString &channel, const QString &exten, const QString &context)
{
    return u"Action: Redirect\r\nChannel: "_s + value(channel) + u"\r\nExten: "_s + value(exten)
        + u"\r\nPriority: 1\r\nContext: "_s + value(context) + u"\r\nActionID: redirectCall\r\n\r\n"_s;
}

QString transfer(const QString &channel, const QString &exten)
{
    return u"ACTION: Redirect\r\nChannel: "_s + value(channel) + u"\r\nContext: voip\r\nPriority: 1\r\nExten: "_s
        + value(exten) + u"\r\nActionID: transferCall\r\n\r\n"_s;
}

QString originate(const QString &tech, const QString &from, const QString &to)
{
    return u"ACTION: Originate\r\nChannel: "_s + value(tech) + u'/' + value(from) + u"\r\nExten: "_s + value(to)
        + u"\r\nPriority: 1\r\nContext: voip\r\nActionID: originateCall\r\n\r\n"_s;
}

QString hangup(const QString &channel)
{
    return u"Action: Hangup\r\nChannel: "_s + value(channel) + u"\r\n\r\n"_s;
}

// ---------------------------------------------------------------------------
// The own queue membership

QString queueAdd(const QString &queue, const QString &iaxUser, const QString &memberName, const QString &penalty)
{
    return u"Action: QueueAdd\r\nQueue: "_s + value(queue) + u"\r\nInterface: IAX2/"_s + value(iaxUser)
        + u"\r\nMemberName: "_s + value(memberName) + u"\r\nPenalty: "_s + value(penalty) + u"\r\nPaused: no\r\n\r\n"_s;
}

QString queueRemove(const QString &queue, const QString &iaxUser)
{
    return u"Action: QueueRemove\r\nQueue: "_s + value(queue) + u"\r\nInterface: IAX2/"_s + value(iaxUser)
        + u"\r\n\r\n"_s;
}

QString queuePause(const QString &queue, const QString &iaxUser, bool paused)
{
    return u"Action: QueuePause\r\nQueue: "_s + value(queue) + u"\r\nInterface: IAX2/"_s + value(iaxUser)
        + u"\r\nPaused: "_s + (paused ? u"true"_s : u"false"_s) + u"\r\n\r\n"_s;
}

} // namespace AmiAction
