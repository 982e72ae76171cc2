#include "ami/ManagerSocket.h"

#include <QHash>

#include <cerrno>
#include <cstring>
#include <utility>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "ami/AmiEventShape.h"
#include "ami/AmiMessage.h"
#include "ami/AmiText.h"

using namespace Qt::StringLiterals;
using namespace AmiText;

ManagerSocket::ManagerSocket(QObject *parent)
    : QTcpSocket(parent)
{
    logFile.path = u"manager.log"_s;
    setReadBufferSize(kReadBufferBytes);
    // String-based on purpose: the slots hide the inherited signals of the same
    // names, and this syntax resolves each name in its own kind (see header).
    connect(this, SIGNAL(stateChanged(QAbstractSocket::SocketState)), this,
        SLOT(stateChanged(QAbstractSocket::SocketState)));
    connect(this, SIGNAL(readyRead()), this, SLOT(readyRead()));
    resume.setSingleShot(true);
    resume.setInterval(0);
    connect(&resume, &QTimer::timeout, this, &ManagerSocket::readyRead);
}

ManagerSocket::~ManagerSocket() = default;

void ManagerSocket::sendCommand(const QString &text)
{
    // Text for a closed socket is lost either way; this only spares the
    // device's "not open" warning on the console.
    if (!isWritable())
        return;
    write(text.toLatin1());
}

void ManagerSocket::resetCounters()
{
    driver.clear();
    iaxCount = 0;
    sipCount = 0;
    iaxCountText = u"0"_s;
    sipCountText = u"0"_s;
}

void ManagerSocket::stateChanged(QAbstractSocket::SocketState socketState)
{
    // Everything read before the connection closed is handled before anyone
    // hears of the close, as if its pass had had the time.
    if (socketState == QAbstractSocket::UnconnectedState && !reading && !backlog.isEmpty()) {
        const QByteArray rest = std::exchange(backlog, {});
        consumeBytes(rest.constData(), rest.size());
    }
    // An unfinished message of an earlier connection must not become the head
    // of the first message of the next one.
    if (socketState == QAbstractSocket::ConnectedState || socketState == QAbstractSocket::UnconnectedState)
        clearFraming();
    if (socketState == QAbstractSocket::ConnectedState)
        watchForDeadPeer();
}

void ManagerSocket::watchForDeadPeer()
{
    setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const qintptr fd = socketDescriptor();
    if (fd < 0)
        return;
    const auto set = [fd](int level, int option, int value, const char *name) {
        if (::setsockopt(int(fd), level, option, &value, sizeof value) != 0)
            Logger::warning(u"Manager connection: %1 not set: %2"_s.arg(QLatin1String(name),
                QString::fromLocal8Bit(std::strerror(errno))));
    };
#if defined(TCP_KEEPIDLE)
    set(IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveIdleS, "TCP_KEEPIDLE");
#elif defined(TCP_KEEPALIVE)
    set(IPPROTO_TCP, TCP_KEEPALIVE, kKeepAliveIdleS, "TCP_KEEPALIVE");
#endif
#if defined(TCP_KEEPINTVL)
    set(IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervalS, "TCP_KEEPINTVL");
#endif
#if defined(TCP_KEEPCNT)
    set(IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes, "TCP_KEEPCNT");
#endif
#if defined(TCP_USER_TIMEOUT)
    set(IPPROTO_TCP, TCP_USER_TIMEOUT, kUnacknowledgedMs, "TCP_USER_TIMEOUT");
#endif
}

void ManagerSocket::clearFraming()
{
    lines.clear();
    pending.clear();
    backlog.clear();
    messageBytes = 0;
    discardingLine = false;
    discardingMessage = false;
    ++framingEpoch;
}

void ManagerSocket::readyRead()
{
    // Delivered inside a receiver's nested event loop: the pass below still
    // owns its chunk and comes back for the rest itself.
    if (reading)
        return;
    // One bounded chunk per pass: the socket takes no more than its read
    // buffer from the kernel, and the rest comes with the next pass of the
    // event loop, so memory stays flat under a flood and no single read holds
    // the GUI thread. readAll() hands the buffer over without a copy. A chunk
    // that takes longer than the pass budget is finished in later passes.
    const QByteArray chunk = backlog.isEmpty() ? readAll() : std::exchange(backlog, {});
    if (!chunk.isEmpty()) {
        const quint64 epoch = framingEpoch;
        const QDeadlineTimer deadline(kPassBudgetMs);
        reading = true;
        const qsizetype used = consumeUntil(chunk.constData(), chunk.size(), &deadline);
        reading = false;
        if (used < chunk.size() && epoch == framingEpoch)
            backlog = chunk.mid(used);
    }
    // Bytes buffered meanwhile (a receiver ran a nested event loop) raise no
    // new readyRead of their own: come back for them in a later pass.
    if (!backlog.isEmpty() || bytesAvailable() > 0)
        resume.start();
}

void ManagerSocket::consumeBytes(const char *data, qsizetype size)
{
    consumeUntil(data, size, nullptr);
}

qsizetype ManagerSocket::consumeUntil(const char *data, qsizetype size, const QDeadlineTimer *deadline)
{
    const quint64 epoch = framingEpoch;
    qsizetype pos = 0;
    while (pos < size && epoch == framingEpoch) {
        const void *found = std::memchr(data + pos, '\n', size_t(size - pos));
        if (!found) {
            const qsizetype rest = size - pos;
            if (discardingLine)
                return size;
            if (pending.size() + rest > kMaxLineBytes) {
                dropOversizedLine(pending.isEmpty() ? QByteArray(data + pos, qMin<qsizetype>(rest, 80)) : pending);
                discardingLine = true;
                return size;
            }
            pending.append(data + pos, rest);
            return size;
        }
        const qsizetype lineEnd = static_cast<const char *>(found) - data + 1;
        const qsizetype contentBytes = lineEnd - pos - 1;
        if (discardingLine) {
            discardingLine = false;
        } else if (pending.size() + contentBytes > kMaxLineBytes) {
            dropOversizedLine(pending.isEmpty() ? QByteArray(data + pos, qMin<qsizetype>(contentBytes, 80)) : pending);
        } else if (!pending.isEmpty()) {
            QByteArray line;
            line.swap(pending);
            line.append(data + pos, lineEnd - pos);
            handleLine(line.constData(), line.size());
        } else {
            handleLine(data + pos, lineEnd - pos);
        }
        pos = lineEnd;
        // Between messages the clock is read once per message, not per line.
        if (deadline && lines.isEmpty() && deadline->hasExpired())
            return pos;
    }
    return pos;
}

// A message missing one of its lines would be read as a different message, so
// the whole message goes, as an oversized message does.
void ManagerSocket::dropOversizedLine(const QByteArray &head)
{
    pending.clear();
    if (discardingMessage)
        return;
    const QString first = lines.isEmpty() ? QString::fromLatin1(head.left(80)) : lines.first();
    Logger::warning(u"AMI: dropping a message with a line of more than %1 bytes, starting with: "_s.arg(kMaxLineBytes)
        + Logger::escaped(first.left(80)));
    discardMessage();
}

// One line including its line feed.
void ManagerSocket::handleLine(const char *data, qsizetype size)
{
    qsizetype len = size;
    if (const void *nul = std::memchr(data, '\0', size_t(size))) {
        len = static_cast<const char *>(nul) - data;
    } else if (len >= 2 && data[len - 2] == '\r') {
        // The line feed is always the last byte, so "\r\n" can only end it.
        len -= 2;
    }

    if (len > 0) {
        if (discardingMessage)
            return;
        messageBytes += len;
        if (lines.size() >= kMaxMessageLines || messageBytes > kMaxMessageBytes) {
            dropMessage(lines.isEmpty() ? QString::fromLatin1(data, qMin<qsizetype>(len, 80)) : lines.first());
            return;
        }
        lines.append(QString::fromLatin1(data, len));
        return;
    }

    if (discardingMessage) {
        discardingMessage = false;
        return;
    }
    if (lines.isEmpty())
        return;
    QStringList message;
    message.swap(lines);
    messageBytes = 0;
    parseMessage(std::move(message));
}

void ManagerSocket::dropMessage(QString firstLine)
{
    Logger::warning(
        u"AMI: dropping a message of more than %1 lines or %2 bytes, starting with: "_s.arg(kMaxMessageLines)
            .arg(kMaxMessageBytes)
        + Logger::escaped(firstLine.left(80)));
    discardMessage();
}

void ManagerSocket::discardMessage()
{
    lines.clear();
    messageBytes = 0;
    discardingMessage = true;
}

// ---------------------------------------------------------------------------
// Key lookup and splitters

QString ManagerSocket::getValue(const QString &key, const QStringList &message)
{
    return AmiMessage::valueIn(key, message);
}

QString ManagerSocket::extFromChannel(QString channel)
{
    if (channel.isEmpty())
        return QString();
    const qsizetype slash = channel.indexOf(u'/');
    if (slash >= 0)
        channel.remove(0, slash + 1);
    const qsizetype dash = channel.indexOf(u'-');
    if (dash >= 0)
        channel.truncate(dash);
    return channel;
}

QString ManagerSocket::techFromChannel(QString channel)
{
    if (channel.isEmpty())
        return QString();
    const qsizetype slash = channel.indexOf(u'/');
    if (slash >= 0)
        channel.truncate(slash);
    return channel;
}

QString ManagerSocket::optionFromActionId(QString actionId)
{
    if (actionId.isEmpty())
        return QString();
    const qsizetype dash = actionId.indexOf(u'-');
    if (dash >= 0)
        actionId.remove(0, dash + 1);
    return actionId;
}

QString ManagerSocket::familyFromDbKey(QString dbKey)
{
    if (dbKey.isEmpty())
        return QString();
    qsizetype slash = dbKey.indexOf(u'/');
    if (slash >= 0)
        dbKey.remove(0, slash + 1);
    slash = dbKey.indexOf(u'/');
    if (slash >= 0)
        dbKey.truncate(slash);
    return dbKey;
}

// ---------------------------------------------------------------------------
// Dispatch

namespace {

using ListSignal = void (ManagerSocket::*)(QStringList);

const QHash<QString, ListSignal> &eventSignals()
{
    static const QHash<QString, ListSignal> table = {
        { u"PeerEntry"_s, &ManagerSocket::PeerEntry },
        { u"PeerStatus"_s, &ManagerSocket::PeerStatus },
        { u"ExtensionStatus"_s, &ManagerSocket::ExtensionStatus },
        { u"DNDState"_s, &ManagerSocket::DNDState },
        { u"Link"_s, &ManagerSocket::Link },
        { u"Unlink"_s, &ManagerSocket::Unlink },
        { u"Rename"_s, &ManagerSocket::Rename },
        { u"MessageWaiting"_s, &ManagerSocket::MessageWaiting },
        { u"Hangup"_s, &ManagerSocket::Hangup },
        { u"Newcallerid"_s, &ManagerSocket::Newcallerid },
        { u"Newexten"_s, &ManagerSocket::Newexten },
        { u"Status"_s, &ManagerSocket::Status },
        { u"ParkedCall"_s, &ManagerSocket::ParkedCall },
        { u"UnParkedCall"_s, &ManagerSocket::UnParkedCall },
        { u"ParkedCallGiveUp"_s, &ManagerSocket::ParkedCallGiveUp },
        { u"ParkedCallTimeOut"_s, &ManagerSocket::ParkedCallTimeOut },
        { u"Newchannel"_s, &ManagerSocket::Newchannel },
        { u"Join"_s, &ManagerSocket::Join },
        { u"Leave"_s, &ManagerSocket::Leave },
        { u"Dial"_s, &ManagerSocket::Dial },
        { u"Cdr"_s, &ManagerSocket::Cdr },
        { u"Agents"_s, &ManagerSocket::Agents },
        { u"Agentcallbacklogin"_s, &ManagerSocket::Agentcallbacklogin },
        { u"Agentcallbacklogoff"_s, &ManagerSocket::Agentcallbacklogoff },
        { u"QueueMemberStatus"_s, &ManagerSocket::QueueMemberStatus },
        { u"QueueMemberAdded"_s, &ManagerSocket::QueueMemberAdded },
        { u"QueueMemberRemoved"_s, &ManagerSocket::QueueMemberRemoved },
        { u"QueueStatusComplete"_s, &ManagerSocket::QueueStatusComplete },
        { u"QueueMember"_s, &ManagerSocket::QueueMember },
        { u"QueueParams"_s, &ManagerSocket::QueueParams },
        { u"QueueMemberPaused"_s, &ManagerSocket::QueueMemberPaused },
        { u"Newstate"_s, &ManagerSocket::Newstate },
        { u"Hold"_s, &ManagerSocket::Hold },
        { u"Unhold"_s, &ManagerSocket::Unhold },
        { u"UserEvent"_s, &ManagerSocket::UserEvent },
        { u"DBGetResponse"_s, &ManagerSocket::DBGet },
        { u"ZapShowChannels"_s, &ManagerSocket::ZapShowChannels },
        { u"DahdiShowChannels"_s, &ManagerSocket::ZapShowChannels },
    };
    return table;
}

} // namespace

void ManagerSocket::parseMessage(QStringList message)
{
    if (message.isEmpty())
        return;
    // The greeting, and whatever was glued to it, has no ": " in its first line.
    if (!message.first().contains(u": "))
        return;

    if (logToFile) {
        Logger::logTo(logFile, message);
        Logger::logTo(logFile, QString());
    }

    QString ev = getValue(u"Event"_s, message);
    if (!ev.isEmpty()) {
        if (!AmiEventShape::toOlderShape(ev, message))
            return;
        const auto it = eventSignals().constFind(ev);
        if (it == eventSignals().constEnd())
            return;
        if (it.value() == &ManagerSocket::ParkedCall) {
            for (QString &line : message)
                line.replace(u"Unqiueid"_s, u"Uniqueid"_s);
        }
        emit(this->*it.value())(message);
        return;
    }

    const QString r = getValue(u"Response"_s, message);
    const QString id = getValue(u"ActionID"_s, message);
    const bool follows = r == u"Follows";

    if (follows && id == u"showChannels")
        countChannels(message);
    else if (follows && id == u"getVersion")
        readVersion(message);
    else if (follows && id == u"zapStatus")
        readDriverStatus(message, u"Zap"_s);
    else if (follows && id == u"dahdiStatus")
        readDriverStatus(message, u"dahdi"_s);
    else if (r == u"Error" && getValue(u"Message"_s, message) == u"Database entry not found")
        readDbError(message);
    else if (r == u"Success" && id == u"GETvar")
        emit GetVar(message);
    else if (follows && id == u"SIPpeers")
        readSipPeers(message);
    else if (id == u"SIPShowPeer")
        emit SipPeer(message);
    else if (follows && id == u"IAXPeers")
        readIaxPeers(message);
    else if (follows && id == u"IAXCount")
        countIaxPeers(message);
    else if (follows && id == u"SIPCount")
        countSipPeers(message);
    else if (follows && id == u"ZAPPeers")
        readZapChannels(message);
    else if (follows && id == u"DGVPeers")
        readDgvChannels(message);
    else if (follows && id.contains(u"showkey"))
        readShowKey(message);
    else if (id == u"MailBoxStatus")
        emit MailBoxStatus(message);
    else if (id == u"MailBoxCount")
        emit MailBoxCount(message);
    else if (id == u"logIn")
        readLogin(message);
    else if (follows && id == u"IAXShowPeer")
        readIaxPeer(message);
    else if (follows && id == u"ZAPShowPeer")
        readZapChannel(message);
    else if (follows && id == u"DGVShowPeer")
        readDgvPeer(message);
}

void ManagerSocket::countChannels(QStringList message)
{
    QString channels;
    QString calls;
    for (const QString &line : std::as_const(message)) {
        const QStringView digits = leadingDigits(line);
        if (digits.isEmpty())
            continue;
        // "1 active channel", "2 active channels".
        if (line.contains(u"active channel"))
            channels = digits.toString();
        // The calls up now, not the "calls processed" since the start.
        if (line.contains(u"active call"))
            calls = digits.toString();
    }
    emit chanNum(channels, calls);
}

void ManagerSocket::readVersion(QStringList message)
{
    bool found = false;
    Fields fields;
    for (const QString &line : std::as_const(message)) {
        if (line.contains(u"Asterisk"))
            found = true;
        else if (line.contains(u"END COMMAND"))
            break;
        if (!found)
            continue;
        splitAtWhitespace(line, fields);
        // A line of a single word has no version word to offer.
        if (fields.size() < 2)
            continue;
        version = fields.at(1).toString();
        emit asteriskVersion(version);
    }
}

void ManagerSocket::readLogin(QStringList message)
{
    const bool connected = getValue(u"Response"_s, message).toLower() == u"success";
    emit logInResponse(connected, getValue(u"Message"_s, message));
}
