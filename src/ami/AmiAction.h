#pragma once

#include <QLatin1StringView>
#include <QString>

// Every AMI action text the program sends, each built here and only here, from
// values that come from the PBX, the settings file or the user. A text is
// complete: every line ends with "\r\n" and an empty line closes it. The case
// of "Action"/"ACTION" and "Command"/"command", the key order and the
// ActionIDs are what the PBX's answers are matched by, so they stay as they
// are.
namespace AmiAction {

// The value with every control character below 0x20 removed (CR, LF and NUL
// among them), so that it cannot end a line of the action or add one; blanks
// are kept. Every value inserted into an action text goes through this.
inline QString value(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).unicode() >= 0x20)
        ++i;
    if (i == text.size())
        return text;
    QString out = text.left(i);
    for (; i < text.size(); ++i) {
        if (text.at(i).unicode() >= 0x20)
            out += text.at(i);
    }
    return out;
}

// --- connection and start-up queries ---
// Begins with an empty line: the PBX answers it, which closes its greeting
// line into a message of its own.
QString login(const QString &user, const QString &secret);
QString showVersion();
QString queueStatus();
QString dahdiShowStatus();
QString zapShowStatus();
QString sipPeers();
QString iaxPeers();
QString zapShowChannels();
QString dahdiShowChannels();
// The channel and call counts.
QString showChannels();
// The peer tables again, answered under ActionIDs that only count.
QString sipCount();
QString iaxCount();

// --- a peer's details and voicemail ---
QString sipShowPeer(const QString &peer);
QString iaxShowPeer(const QString &peer);
QString zapShowChannel(const QString &channel);
// Answered under the ActionID of the Zap request, so one conversion reads both.
QString dahdiShowChannel(const QString &channel);
QString mailBoxCount(const QString &mailbox);

// --- the PBX's database ---
// The DBGet of key in family; option ("dnd" or "fwd") comes back in the
// ActionID and, for a missing entry, in the converted miss.
QString dbCheck(const QString &family, const QString &key, QLatin1StringView option);
// The FreePBX caller name of an extension.
QString dbGetCallerName(const QString &extension);
// The forward entries of an extension, as CLI output.
QString showKey(const QString &extension);
QString databasePut(const QString &family, const QString &key, const QString &text);
QString databaseDel(const QString &family, const QString &key);
// Announces a changed entry, so that every connected client reads it again.
QString userEvent(const QString &family, const QString &user);

// --- calls ---
QString redirect(const QString &channel, const QString &exten, const QString &context);
// The panel's transfer and call: both in the "voip" context.
QString transfer(const QString &channel, const QString &exten);
QString originate(const QString &tech, const QString &from, const QString &to);
QString hangup(const QString &channel);

// --- the own queue membership, always as an IAX2 interface ---
QString queueAdd(const QString &queue, const QString &iaxUser, const QString &memberName, const QString &penalty);
QString queueRemove(const QString &queue, const QString &iaxUser);
QString queuePause(const QString &queue, const QString &iaxUser, bool paused);

} // namespace AmiAction
