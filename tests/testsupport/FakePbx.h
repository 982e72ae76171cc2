#pragma once

// A small IAX2 PBX on 127.0.0.1 for the engine's tests, with its own frame
// encoder so that it checks the engine against the RFC layout rather than
// against the engine's own code. It acts as registrar (MD5 challenge), takes
// and places calls, sends and records voice, and can lose, duplicate and
// reorder datagrams on demand. Every datagram in either direction is kept for
// the pcap check.

#include <QElapsedTimer>
#include <QHostAddress>
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
        quint16 source = 0;
        quint16 dest = 0;
        bool retransmitted = false;
        quint32 timestamp = 0;
        quint8 oseq = 0;
        quint8 iseq = 0;
        quint8 type = 0;
        quint32 subclass = 0;
        QByteArray payload;
        QMap<int, QByteArray> ies; // IAX frames only
        bool mini = false;
    };

    struct Dialogue
    {
        quint16 localNo = 0;
        quint16 remoteNo = 0;
        quint16 peerPort = 0;
        quint8 oseq = 0;
        quint8 iseq = 0;
        QElapsedTimer clock;
        QMap<quint8, QByteArray> sent; // for VNAK and retransmission
        quint8 acked = 0; // the engine has every frame before this
        QString kind; // "reg", "call-in" (engine called us), "call-out"
        QString called;
        QString user;
        QByteArray challenge;
        bool authenticated = false;
        bool answered = false;
        quint32 format = 4;
        QVector<qint16> audio; // decoded voice from the engine
        int voiceFrames = 0;
        QTimer *toneTimer = nullptr;
        quint32 toneTs = 0;
        double tonePhase = 0;
        bool toneFullSent = false;
        int toneFrames = 0;
        QByteArray toneHeld; // a mini frame held back to swap with the next
        bool hungUp = false;
        std::shared_ptr<iax2::Codec> encoder;
        std::shared_ptr<iax2::Codec> decoder;
        quint32 codecFormat = 0;
        // Attended transfer, as the engine asked for it on this leg.
        quint32 transferId = 0;
        quint16 transferCall = 0; // the PBX's call number of the other leg
        quint16 transferPort = 0; // where the other leg is, from APPARENT ADDR
        bool transferReady = false; // sent TXREADY
        bool released = false; // got TXREL
        bool transferRejected = false; // got TXREJ
    };

    // What the PBX does with the engine's TXREQ: nothing, join the two legs
    // (TXCNT/TXACC between them, then TXREADY on both), or refuse with TXREJ.
    enum class TransferMode { Ignore, Join, Reject };

    struct Record
    {
        bool fromPbx = false;
        quint16 pbxPort = 0;
        quint16 peerPort = 0;
        qint64 usec = 0;
        QByteArray data;
    };

    explicit FakePbx(QObject *parent = nullptr);
    ~FakePbx() override;

    quint16 port() const { return m_socket.localPort(); }

    // Registrar and caller authentication.
    void addUser(const QString &user, const QString &secret) { m_users[user] = secret; }
    void setRequireToken(bool on) { m_requireToken = on; }
    void setAuthenticateCalls(bool on) { m_authCalls = on; }
    void setRefresh(int seconds) { m_refresh = seconds; }
    // AUTHMETHODS offered: 1 plaintext, 2 MD5 (the default).
    void setAuthMethods(int methods) { m_authMethods = methods; }
    // A registrar that acknowledges but never replies: to the request itself,
    // or to the answer to its challenge.
    enum class Silence { None, ToRequest, ToAnswer };
    void setRegistrarSilence(Silence silence) { m_registrarSilence = silence; }

    // Impairments: drop every n-th datagram from the engine (0: none), send
    // every PBX frame twice, hold back every other PBX full frame and send it
    // after the next one.
    void setDropEvery(int n) { m_dropEvery = n; }
    void setDuplicate(bool on) { m_duplicate = on; }
    void setReorder(bool on) { m_reorder = on; }
    // Voice from startTone: drop every n-th frame (0: none), swap each pair of
    // mini frames.
    void setVoiceLoss(int dropEvery) { m_voiceDropEvery = dropEvery; }
    void setVoiceReorder(bool on) { m_voiceReorder = on; }
    void setTransferMode(TransferMode mode) { m_transferMode = mode; }

    // Places a call to the engine; returns the PBX's call number.
    quint16 callEngine(quint16 enginePort, const QString &number, const QString &callerNumber,
        const QString &callerName, quint32 capability = 4 | 8, quint32 format = 4);
    // Control frames and commands towards the engine on a dialogue.
    void sendControl(quint16 localNo, int control);
    void sendIax(quint16 localNo, int command, const QList<QPair<int, QByteArray>> &ies = {});
    void hangup(quint16 localNo, const QString &cause = QStringLiteral("Normal Clearing"));
    void startTone(quint16 localNo, double hz, double amplitude = 8000);
    void stopTone(quint16 localNo);
    // A comfort-noise frame: the PBX's side falls silent at level (-dBov).
    void sendComfortNoise(quint16 localNo, int level);
    // Sends raw bytes to the engine (hostile-input tests).
    void sendRaw(const QByteArray &data, quint16 enginePort);

    Dialogue *dialogue(quint16 localNo);
    // The newest dialogue of a kind, or nullptr.
    Dialogue *latest(const QString &kind);
    QList<Frame> received() const { return m_received; }
    int count(int type, quint32 subclass) const;
    // Full frames of a type, whatever their subclass.
    int countType(int type) const;
    const Frame *last(int type, quint32 subclass) const;
    int regAcks() const { return m_regAcks; }
    QList<Record> records() const { return m_records; }
    QStringList errors() const { return m_errors; }
    void clearReceived() { m_received.clear(); }

    // Builds a full frame the way RFC 5456 lays it out.
    static QByteArray fullFrame(quint16 source, quint16 dest, quint32 ts, quint8 oseq, quint8 iseq, quint8 type,
        quint32 subclass, const QByteArray &payload = QByteArray());
    static QByteArray ie(int id, const QByteArray &data);
    static QByteArray ieU16(int id, quint16 v);
    static QByteArray ieU32(int id, quint32 v);

private:
    void readPending();
    void handle(const QByteArray &data, quint16 fromPort);
    void handleFull(const Frame &f, quint16 fromPort);
    void send(Dialogue &d, int type, quint32 subclass, const QByteArray &payload, quint32 ts = 0);
    void ack(Dialogue &d, const Frame &f);
    void transmit(const QByteArray &data, quint16 port, bool reliable);
    void voiceTick(quint16 localNo);
    void ensureCodecs(Dialogue &d);
    QByteArray encodeAudio(Dialogue &d, const QVector<qint16> &pcm);
    void decodeAudio(Dialogue &d, const QByteArray &payload);
    void handleTransfer(const Frame &f, Dialogue &d);
    bool handlePathTest(const Frame &f, quint16 fromPort);
    quint16 newCallNo();

    void retransmit();

    QUdpSocket m_socket;
    QTimer m_retransmitTimer;
    QElapsedTimer m_clock;
    QMap<quint16, Dialogue *> m_dialogues;
    QMap<QString, QString> m_users;
    QList<Frame> m_received;
    QList<Record> m_records;
    QStringList m_errors;
    bool m_requireToken = false;
    bool m_authCalls = false;
    int m_refresh = 60;
    int m_authMethods = 2;
    Silence m_registrarSilence = Silence::None;
    int m_dropEvery = 0;
    int m_inCount = 0;
    bool m_duplicate = false;
    bool m_reorder = false;
    int m_voiceDropEvery = 0;
    bool m_voiceReorder = false;
    TransferMode m_transferMode = TransferMode::Ignore;
    QByteArray m_heldBack;
    quint16 m_heldBackPort = 0;
    int m_regAcks = 0;
    quint16 m_nextCallNo = 100;
};
