#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include "ami/ManagerSocket.h"

// Records every emission of a ManagerSocket in order: the signal's name, its
// list (or its text arguments, flattened) and, for peersCount, the type.
struct Emission
{
    QByteArray name;
    QStringList lines;
    QString type;

    bool operator==(const Emission &o) const { return name == o.name && lines == o.lines && type == o.type; }
};
Q_DECLARE_METATYPE(Emission)
Q_DECLARE_METATYPE(QList<Emission>)

// Readable form for comparisons in tests.
inline QString describe(const Emission &e)
{
    QString text = QString::fromLatin1(e.name) + u'(';
    for (const QString &line : e.lines) {
        QString shown = line;
        shown.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
        text += u'"' + shown + QStringLiteral("\" ");
    }
    return text + e.type + u')';
}

inline QStringList describe(const QList<Emission> &list)
{
    QStringList out;
    for (const Emission &e : list)
        out << describe(e);
    return out;
}

// The signals that carry one message.
#define AMI_LIST_SIGNALS(X)                                                                                            \
    X(Newcallerid)                                                                                                     \
    X(Cdr) X(MessageWaiting) X(MailBoxStatus) X(MailBoxCount) X(PeerEntry) X(PeerStatus) X(ExtensionStatus)            \
        X(DNDState) X(Link) X(Hangup) X(zapChannel) X(dgvChannel) X(Newchannel) X(Newexten) X(SipPeer) X(IaxPeer)      \
            X(DgvPeer) X(Join) X(Leave) X(Dial) X(Newstate) X(QueueMemberStatus) X(QueueMemberAdded)                   \
                X(QueueMemberRemoved) X(QueueStatusComplete) X(QueueMember) X(QueueParams) X(QueueMemberPaused)        \
                    X(DBGet) X(DBGetCidN) X(DBerror) X(Agents) X(showkey) X(Agentcallbacklogin) X(Agentcallbacklogoff) \
                        X(UserEvent) X(GetVar) X(zapStatus) X(ZapShowChannels) X(Status) X(ParkedCall) X(UnParkedCall) \
                            X(ParkedCallGiveUp) X(ParkedCallTimeOut) X(Unlink) X(Rename) X(Hold) X(Unhold)

class SignalRecorder : public QObject
{
public:
    explicit SignalRecorder(ManagerSocket *socket)
    {
#define AMI_RECORD(sig)                                                                                                \
    connect(socket, &ManagerSocket::sig, this, [this](const QStringList &l) { emissions.append({ #sig, l, {} }); });
        AMI_LIST_SIGNALS(AMI_RECORD)
#undef AMI_RECORD
        connect(socket, &ManagerSocket::asteriskVersion, this, [this](const QString &v) {
            emissions.append({ "asteriskVersion", { v }, {} });
        });
        connect(socket, &ManagerSocket::chanNum, this, [this](const QString &a, const QString &b) {
            emissions.append({ "chanNum", { a, b }, {} });
        });
        connect(socket, &ManagerSocket::logInResponse, this, [this](bool ok, const QString &m) {
            emissions.append({ "logInResponse", { ok ? QStringLiteral("true") : QStringLiteral("false"), m }, {} });
        });
        connect(socket, &ManagerSocket::peersCount, this, [this](const QStringList &l, const QString &t) {
            emissions.append({ "peersCount", l, t });
        });
    }

    QList<QByteArray> names() const
    {
        QList<QByteArray> out;
        for (const Emission &e : emissions)
            out << e.name;
        return out;
    }

    QList<Emission> emissions;
};
