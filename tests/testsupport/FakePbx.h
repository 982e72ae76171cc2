#pragma once

// A small IAX2 PBX on 127.0.0.1 with its own frame encoder, so that the engine
// is checked against the RFC 5456 layout rather than against its own code.
// Every datagram either way is recorded and can be written out as a pcap file.

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <QVector>

#include <memory>

namespace iax2 {
class Codec;
}

class FakePbx : public QObject
{
    Q_OBJECT

public:
    struct Frame
    {
        quint16 source = 0, dest = 0;
        quint32 timestamp = 0;
        quint8 oseq = 0, iseq = 0, type = 0;
        quint32 subclass = 0;
        QByteArray payload;
        QMap<int, QByteArray> ies; // IAX frames only
        bool mini = false;
        qint64 msecs = 0; // arrival on the PBX's clock
    };

    struct Datagram
    {
        quint16 sourcePort = 0, destPort = 0;
        qint64 usec = 0;
        QByteArray payload;
    };

    struct Dialogue
    {
        quint16 localNo = 0, remoteNo = 0, peerPort = 0;
        quint8 oseq = 0, iseq = 0;
        quint8 acked = 0; // the engine has every frame before this
        QElapsedTimer clock;
        QMap<quint8, QByteArray> sent; // for VNAK and retransmission
        QString kind; // "reg", "call-in" (the engine called us), "call-out"
        QString called, user;
        QByteArray challenge;
        quint32 format = 4;
        QVector<qint16> audio; // decoded voice from the engine
        int voiceFrames = 0;
        bool hungUp = false;
        std::shared_ptr<iax2::Codec> encoder, decoder;
        quint32 codecFormat = 0;
        std::unique_ptr<QTimer> toneTimer;
        quint32 toneTs = 0, toneFormat = 0;
        double tonePhase = 0;
        int toneFrames = 0;
        QByteArray toneHeld; // a mini frame held back to swap with the next
        // The other leg of an attended transfer: its call number here, its port.
        quint32 transferId = 0;
        quint16 transferCall = 0, transferPort = 0;
        bool transferReady = false, released = false;
    };

    // The engine's TXREQ is ignored, joined (path test, then TXREADY) or refused;
    // or only the first leg asked tests its path, so the other is never ready.
    enum class TransferMode { Ignore, Join, Reject, JoinFirstLeg };
    // A registrar that acknowledges but never replies (to the request or to its challenge's answer), refuses
    // every answer (with REGREJ, or with a fresh challenge), or answers every request with INVAL.
    enum class RegistrarFault { None, SilentToRequest, SilentToAnswer, Rejecting, Rechallenging, Inval };

    explicit FakePbx(QObject *parent = nullptr);
    ~FakePbx() override;

    quint16 port() const { return m_socket.localPort(); }

    void addUser(const QString &user, const QString &secret) { m_users[user] = secret; }
    void setRequireToken(bool on) { m_requireToken = on; }
    void setAuthenticateCalls(bool on) { m_authCalls = on; }
    void setRefresh(int seconds) { m_refresh = seconds; }
    // AUTHMETHODS offered: 1 plaintext, 2 MD5 (the default).
    void setAuthMethods(int methods) { m_authMethods = methods; }
    void setRegistrarFault(RegistrarFault fault) { m_registrarFault = fault; }
    // Drop every n-th datagram from the engine (0: none); send every PBX frame
    // twice; hold back every other reliable PBX frame and send it after the next.
    void setDropEvery(int n) { m_dropEvery = n; }
    void setDuplicate(bool on) { m_duplicate = on; }
    void setReorder(bool on) { m_reorder = on; }
    // Voice from startTone: drop every n-th frame, swap each pair of mini frames.
    void setVoiceLoss(int dropEvery) { m_voiceDropEvery = dropEvery; }
    void setVoiceReorder(bool on) { m_voiceReorder = on; }
    void setTransferMode(TransferMode mode)
    {
        m_transferMode = mode;
        m_pathTests = 0;
    }
    // The format an ACCEPT names (0: the one the NEW asked for), and what a REGACK carries besides the refresh.
    void setAcceptFormat(quint32 format) { m_acceptFormat = format; }
    void setRegAckIes(const QByteArray &ies) { m_regAckIes = ies; }
    // Off: frames the engine does not acknowledge are not sent again.
    void setRetransmit(bool on) { on ? m_retransmitTimer.start(150) : m_retransmitTimer.stop(); }

    // Places a call to the engine; returns the PBX's call number.
    quint16 callEngine(quint16 enginePort, const QString &number, const QString &callerNumber,
        const QString &callerName, quint32 capability = 4 | 8, quint32 format = 4);
    void sendControl(quint16 localNo, int control);
    void sendIax(quint16 localNo, int command, const QByteArray &ies = {});
    void hangup(quint16 localNo, const QString &cause = QStringLiteral("Normal Clearing"));
    void startTone(quint16 localNo, double hz, double amplitude = 8000);
    void stopTone(quint16 localNo);
    void sendRaw(const QByteArray &data, quint16 enginePort);

    Dialogue *dialogue(quint16 localNo) const { return m_dialogues.value(localNo, nullptr); }
    // The newest dialogue of a kind, or nullptr.
    Dialogue *latest(const QString &kind) const;
    QList<Frame> received() const { return m_received; }
    // Full frames of a type and subclass (-1: any subclass).
    int count(int type, qint64 subclass = -1) const;
    const Frame *last(int type, quint32 subclass) const;
    int regAcks() const { return m_regAcks; }
    QList<Datagram> records() const { return m_records; }
    // The records as a capture file (raw IPv4 with synthetic headers).
    bool writePcap(const QString &path) const;
    QStringList errors() const { return m_errors; }
    void clearReceived() { m_received.clear(); }

    static QByteArray fullFrame(quint16 source, quint16 dest, quint32 ts, quint8 oseq, quint8 iseq, quint8 type,
        quint32 subclass, const QByteArray &payload = QByteArray());
    static QByteArray ie(int id, const QByteArray &data);
    static QByteArray ieU16(int id, quint16 v);
    static QByteArray ieU32(int id, quint32 v);

private:
    void readPending();
    void handle(const QByteArray &data, quint16 fromPort);
    Dialogue *dialogueFor(const Frame &f, quint16 fromPort);
    void handleIax(const Frame &f, Dialogue &d);
    void send(Dialogue &d, int type, quint32 subclass, const QByteArray &payload, quint32 ts = 0);
    void transmit(const QByteArray &data, quint16 port, bool reliable);
    void resend(const Dialogue &d, quint8 from);
    void voiceTick(Dialogue &d, double hz, double amplitude);
    void hear(Dialogue &d, const QByteArray &payload);
    iax2::Codec *codec(Dialogue &d, bool encoder);
    void handleTransfer(const Frame &f, Dialogue &d);
    bool handlePathTest(const Frame &f, quint16 fromPort);

    QUdpSocket m_socket;
    QTimer m_retransmitTimer;
    QElapsedTimer m_clock;
    QMap<quint16, Dialogue *> m_dialogues;
    QMap<QString, QString> m_users;
    QList<Frame> m_received;
    QList<Datagram> m_records;
    QStringList m_errors;
    bool m_requireToken = false, m_authCalls = false, m_duplicate = false, m_reorder = false, m_voiceReorder = false;
    int m_refresh = 60, m_authMethods = 2, m_dropEvery = 0, m_inCount = 0, m_voiceDropEvery = 0, m_regAcks = 0;
    RegistrarFault m_registrarFault = RegistrarFault::None;
    TransferMode m_transferMode = TransferMode::Ignore;
    int m_pathTests = 0;
    quint32 m_acceptFormat = 0;
    QByteArray m_regAckIes;
    QByteArray m_heldBack;
    quint16 m_heldBackPort = 0, m_nextCallNo = 100;
};
