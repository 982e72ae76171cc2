#pragma once

#include <QString>

#include "ami/AmiAction.h"

// The AMI texts of the extensions panel, each built in this one place. Every
// inserted value goes through AmiAction::value, so PBX or settings text can
// never end a line of the action or add one.
namespace PanelText {

using AmiAction::value;

inline QString sipDetails(const QString &name)
{
    return QStringLiteral("Action: SIPShowPeer\r\nPeer: ") + value(name)
        + QStringLiteral("\r\nActionID: SIPShowPeer\r\n\r\n");
}

inline QString iaxDetails(const QString &name)
{
    return QStringLiteral("Action: Command\r\nCommand: iax2 show peer ") + value(name)
        + QStringLiteral("\r\nActionID: IAXShowPeer\r\n\r\n");
}

inline QString zapChannel(const QString &name)
{
    return QStringLiteral("Action: Command\r\nCommand: zap show channel ") + value(name)
        + QStringLiteral("\r\nActionID: ZAPShowPeer\r\n\r\n");
}

inline QString dahdiChannel(const QString &name)
{
    return QStringLiteral("Action: Command\r\nCommand: dahdi show channel ") + value(name)
        + QStringLiteral("\r\nActionID: ZAPShowPeer\r\n\r\n");
}

inline QString mailboxCount(const QString &mailbox)
{
    return QStringLiteral("Action: MailBoxCount\r\nMailBox: ") + value(mailbox)
        + QStringLiteral("\r\nActionID: MailBoxCount\r\n\r\n");
}

// The DBGet of one extension's key; option "dnd" or "fwd" comes back in the
// ActionID (and, for a missing entry, in the AstDB-miss list).
inline QString dbCheck(const QString &family, const QString &ext, const char *option)
{
    const QString key = value(ext);
    return QStringLiteral("Action: DBGet\r\nFamily: ") + value(family) + QStringLiteral("\r\nKey: ") + key
        + QStringLiteral("\r\nActionID: DBcheck/") + key + QLatin1Char('-') + QLatin1String(option)
        + QStringLiteral("\r\n\r\n");
}

inline QString dndQuery(const QString &family, const QString &ext)
{
    return dbCheck(family, ext, "dnd");
}

inline QString forwardReread(const QString &family, const QString &ext)
{
    return dbCheck(family, ext, "fwd");
}

inline QString forwardKey(const QString &ext)
{
    const QString key = value(ext);
    return QStringLiteral("Action: command\r\nCommand: database showkey ") + key
        + QStringLiteral("\r\nActionID: showkey/") + key + QStringLiteral("-fwd\r\n\r\n");
}

inline QString callerName(const QString &ext)
{
    return QStringLiteral("Action: DBGet\r\nFamily: AMPUSER/") + value(ext)
        + QStringLiteral("\r\nKey: cidname\r\nActionID: DBGetCidN\r\n\r\n");
}

inline QString redirect(const QString &channel, const QString &exten, const QString &context)
{
    return QStringLiteral("Action: Redirect\r\nChannel: ") + value(channel) + QStringLiteral("\r\nExten: ")
        + value(exten) + QStringLiteral("\r\nPriority: 1\r\nContext: ") + value(context)
        + QStringLiteral("\r\nActionID: redirectCall\r\n\r\n");
}

inline QString originate(const QString &tech, const QString &from, const QString &to)
{
    return QStringLiteral("ACTION: Originate\r\nChannel: ") + value(tech) + QLatin1Char('/') + value(from)
        + QStringLiteral("\r\nExten: ") + value(to)
        + QStringLiteral("\r\nPriority: 1\r\nContext: voip\r\nActionID: originateCall\r\n\r\n");
}

inline QString transferRedirect(const QString &channel, const QString &exten)
{
    return QStringLiteral("ACTION: Redirect\r\nChannel: ") + value(channel)
        + QStringLiteral("\r\nContext: voip\r\nPriority: 1\r\nExten: ") + value(exten)
        + QStringLiteral("\r\nActionID: transferCall\r\n\r\n");
}

} // namespace PanelText
