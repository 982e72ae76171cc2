#pragma once

#include <QDeadlineTimer>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

#include "core/Logger.h"

// The client side of the PBX manager interface (AMI).
//
// Cuts the incoming byte stream into messages (one QStringList of lines per
// message, "\r\n" removed, nothing else changed), recognises each message and
// re-emits it through the signal named after its event or answer; the events
// of newer PBX releases first take the older shape (ami/AmiEventShape.h). The
// text output of the CLI commands sent inside "Action: Command" is converted
// here into messages of the same key-and-value form, so receivers cannot tell
// a converted peer table from native events.
//
// The private slots readyRead() and stateChanged() carry the same names as the
// inherited QIODevice/QAbstractSocket signals and hide them at C++ level. They
// are connected with the string-based syntax, which looks the signal up among
// signals and the slot among slots, so each really reaches the other. Code
// outside this class that wants the inherited signals names them through the
// base class: &QTcpSocket::readyRead, &QAbstractSocket::stateChanged.
class ManagerSocket : public QTcpSocket
{
    Q_OBJECT

public:
    explicit ManagerSocket(QObject *parent = nullptr);
    ~ManagerSocket() override;

    // Writes the text as Latin-1 (other characters become '?'), unchanged: the
    // caller supplies every "\r\n" and the closing empty line.
    void sendCommand(const QString &text);
    // Forgets the driver word and the peer counts (called when the connection
    // is lost, so the next connection detects them afresh).
    void resetCounters();
    // Recognises one finished message and emits its signal.
    void parseMessage(QStringList message);

    // The trace of every accepted message to "manager.log" in the data
    // directory; off unless switched on.
    void setLogToFile(bool on) { logToFile = on; }

    // The value of key (a name without ": ") in message: the first line that
    // starts with key + ":" split at ": " -- its second piece, or the whole
    // line when it holds no ": ". "" when no line matches. AmiMessage reads
    // the same from a message split once, for many keys.
    static QString getValue(const QString &key, const QStringList &message);
    static QString extFromChannel(QString channel);
    static QString techFromChannel(QString channel);
    static QString optionFromActionId(QString actionId);
    static QString familyFromDbKey(QString dbKey);

    // Limits that keep a misbehaving peer from growing memory without bound.
    // Generous: a "sip show peers" answer of thousands of peers is far below.
    static constexpr qsizetype kMaxLineBytes = 64 * 1024;
    static constexpr qsizetype kMaxMessageBytes = 16 * 1024 * 1024;
    static constexpr qsizetype kMaxMessageLines = 200000;
    // What the socket takes from the kernel at once, and so reads per pass:
    // some hundreds of events, so a flood never holds the GUI thread for long.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;
    // A read pass that has spent this long on its chunk leaves the rest for
    // the next pass, at the end of a message: two peer tables that arrived
    // together then cost two passes, not one.
    static constexpr int kPassBudgetMs = 50;
    // A PBX that lost power, or a firewall that forgot an idle connection,
    // sends no FIN or RST: the kernel probes an idle connection after 30 s,
    // every 10 s, and gives up after 5 unanswered probes; data left without
    // an acknowledgement for as long ends it too (where the system offers
    // it), or the actions the user sends would keep the probes from starting.
    // Either way the socket reports an error and the usual drop follows,
    // after about 80 s. Nothing of it reaches the manager.
    static constexpr int kKeepAliveIdleS = 30;
    static constexpr int kKeepAliveIntervalS = 10;
    static constexpr int kKeepAliveProbes = 5;
    static constexpr int kUnacknowledgedMs = (kKeepAliveIdleS + kKeepAliveIntervalS * kKeepAliveProbes) * 1000;

signals:
    void Newcallerid(QStringList message);
    void Cdr(QStringList message);
    void MessageWaiting(QStringList message);
    void MailBoxStatus(QStringList message);
    void MailBoxCount(QStringList message);
    void PeerEntry(QStringList message);
    void PeerStatus(QStringList message);
    void ExtensionStatus(QStringList message);
    void DNDState(QStringList message);
    void Link(QStringList message);
    void Hangup(QStringList message);
    void zapChannel(QStringList message);
    void dgvChannel(QStringList message);
    void Newchannel(QStringList message);
    void Newexten(QStringList message);
    void SipPeer(QStringList message);
    void IaxPeer(QStringList message);
    void DgvPeer(QStringList message);
    void Join(QStringList message);
    void Leave(QStringList message);
    void Dial(QStringList message);
    void Newstate(QStringList message);
    void QueueMemberStatus(QStringList message);
    void QueueMemberAdded(QStringList message);
    void QueueMemberRemoved(QStringList message);
    void QueueStatusComplete(QStringList message);
    void QueueMember(QStringList message);
    void QueueParams(QStringList message);
    void QueueMemberPaused(QStringList message);
    void DBGet(QStringList message);
    void DBGetCidN(QStringList message);
    void DBerror(QStringList message);
    void Agents(QStringList message);
    void showkey(QStringList message);
    void Agentcallbacklogin(QStringList message);
    void Agentcallbacklogoff(QStringList message);
    void UserEvent(QStringList message);
    void GetVar(QStringList message);
    void asteriskVersion(QString version);
    void zapStatus(QStringList message);
    void chanNum(QString channels, QString calls);
    void ZapShowChannels(QStringList message);
    void Status(QStringList message);
    void ParkedCall(QStringList message);
    void UnParkedCall(QStringList message);
    void ParkedCallGiveUp(QStringList message);
    void ParkedCallTimeOut(QStringList message);
    void Unlink(QStringList message);
    void Rename(QStringList message);
    void Hold(QStringList message);
    void Unhold(QStringList message);
    void logInResponse(bool connected, QString message);
    void peersCount(QStringList message, QString type);

private slots:
    void stateChanged(QAbstractSocket::SocketState socketState);
    void readyRead();

protected:
    // Frames raw bytes as they come off the socket; readyRead() feeds it.
    void consumeBytes(const char *data, qsizetype size);

private:
    // Frames bytes until done or, with a deadline, until a message ends after
    // it has passed; returns the bytes used.
    qsizetype consumeUntil(const char *data, qsizetype size, const QDeadlineTimer *deadline);
    void handleLine(const char *data, qsizetype size);
    void dropMessage(QString firstLine);
    void dropOversizedLine(const QByteArray &head);
    void discardMessage();
    void clearFraming();
    // On a connected socket: the keepalive and timeout settings above.
    void watchForDeadPeer();

    void countChannels(QStringList message);
    void readVersion(QStringList message);
    void readLogin(QStringList message);

    void readSipPeers(QStringList message);
    void countSipPeers(QStringList message);
    void readIaxPeers(QStringList message);
    void countIaxPeers(QStringList message);
    void readZapChannels(QStringList message);
    void readDgvChannels(QStringList message);
    void scanSipIax(const QStringList &message, bool sip, bool emitPeers);
    void scanChannelTable(const QStringList &message, bool dgv);

    void readIaxPeer(QStringList message);
    void readZapChannel(QStringList message);
    void readDgvPeer(QStringList message);
    void readCardChannel(const QStringList &message, const QString &channelType);

    void readDriverStatus(QStringList message, QString driverWord);
    void readDbError(QStringList message);
    void readShowKey(QStringList message);

    QString driver;
    int iaxCount = 0;
    QString iaxCountText;
    int sipCount = 0;
    QString sipCountText;
    QString version;
    QStringList lines;
    LogFile logFile;
    bool logToFile = false;

    // Framing state beyond the lines of the message: the bytes of an
    // unfinished line, and the two discard modes of the size limits.
    QByteArray pending;
    qsizetype messageBytes = 0;
    bool discardingLine = false;
    bool discardingMessage = false;
    // Bumped whenever the framing is reset, so a pass over read bytes can tell
    // that a receiver dropped the connection under it.
    quint64 framingEpoch = 0;
    // Bytes read but not framed yet: the rest of a chunk whose pass ran out
    // of time. Framed before anything newer is read.
    QByteArray backlog;
    bool reading = false; // readyRead() is framing a chunk
    // Brings readyRead() back for a backlog or for bytes buffered meanwhile.
    // A zero timer, not a posted call: the event loop first delivers input,
    // paints and the timers already due.
    QTimer resume;
};
