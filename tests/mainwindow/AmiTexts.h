#pragma once

#include <QByteArray>
#include <QStringList>

// What a PBX sends, as bytes on the wire.
namespace AmiTexts {

// An answer to "Action: Command": CLI output lines end in a bare line feed.
inline QByteArray commandAnswer(const QByteArray &actionId, const QList<QByteArray> &output)
{
    QByteArray bytes = "Response: Follows\r\nPrivilege: Command\r\nActionID: " + actionId + "\r\n";
    for (const QByteArray &line : output)
        bytes += line + '\n';
    return bytes + "--END COMMAND--\r\n\r\n";
}

inline QByteArray versionAnswer(const QByteArray &version)
{
    return commandAnswer("getVersion", { "Asterisk " + version + " built by root @ pbx on a i686 running Linux" });
}

// The two start-up queries of "show version" and the login: what the window
// sends before any answer, byte for byte.
inline const char kLoginTail[] = "ActionID: logIn\r\n\r\n";
inline const char kStartupQueries[] = "Action: Command\r\nCommand: show version\r\nActionID: getVersion\r\n\r\n"
                                      "Action: Command\r\nCommand: show version\r\nActionID: getVersion\r\n\r\n"
                                      "Action: QueueStatus\r\nActionID: QueueStatus\r\n\r\n"
                                      "Action: Command\r\nCommand: dahdi show status\r\nActionID: dahdiStatus\r\n\r\n"
                                      "Action: Command\r\nCommand: zap show status\r\nActionID: zapStatus\r\n\r\n"
                                      "Action: Command\r\nCommand: sip show peers\r\nActionID: SIPpeers\r\n\r\n"
                                      "Action: Command\r\nCommand: iax2 show peers\r\nActionID: IAXPeers\r\n\r\n";

} // namespace AmiTexts
