#include "testsupport/FakePbx.h"

#include "iax2/CodecRegistry.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtEndian>

#include <cmath>

namespace {

// RFC 5456 numbers, written out here independently of the engine.
enum : int { TypeDtmf = 1, TypeVoice = 2, TypeControl = 4, TypeIax = 6, TypeComfortNoise = 10 };
// IAX subclasses 1 to 18 run in order.
enum : int {
    New = 1,
    Ping,
    Pong,
    Ack,
    Hangup,
    Reject,
    Accept,
    AuthReq,
    AuthRep,
    Inval,
    LagRq,
    LagRp,
    RegReq,
    RegAuth,
    RegAck,
    RegRej,
    RegRel,
    Vnak
};
enum : int { TxReq = 22, TxCnt, TxAcc, TxReady, TxRel, TxRej, CallToken = 40 };
enum : int {
    IeCalled = 1,
    IeCallingNumber = 2,
    IeCallingName = 4,
    IeUsername = 6,
    IePassword = 7,
    IeCapability = 8,
    IeFormat = 9,
    IeVersion = 11,
    IeAuthMethods = 14,
    IeChallenge = 15,
    IeMd5 = 16,
    IeApparentAddr = 18,
    IeRefresh = 19,
    IeCallNo = 21,
    IeCause = 22,
    IeTransferId = 27,
    IeCauseCode = 42,
    IeCallToken = 54
};
enum : int { CtlRinging = 3, CtlAnswer = 4 };

bool unsequenced(const FakePbx::Frame &f)
{
    return f.type == TypeIax && (f.subclass == Ack || f.subclass == Inval || f.subclass == Vnak);
}

} // namespace

FakePbx::FakePbx(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
    m_socket.bind(QHostAddress::LocalHost, 0);
    connect(&m_socket, &QUdpSocket::readyRead, this, &FakePbx::readPending);
    connect(&m_retransmitTimer, &QTimer::timeout, this, &FakePbx::retransmit);
    m_retransmitTimer.start(150);
}

void FakePbx::retransmit()
{
    for (Dialogue *d : std::as_const(m_dialogues)) {
        for (quint8 s = d->acked; s != d->oseq; ++s) {
            if (!d->sent.contains(s))
                continue;
            QByteArray again = d->sent.value(s);
            again[2] = char(quint8(again[2]) | 0x80);
            transmit(again, d->peerPort, false);
        }
    }
}

FakePbx::~FakePbx()
{
    qDeleteAll(m_dialogues);
}

QByteArray FakePbx::fullFrame(quint16 source, quint16 dest, quint32 ts, quint8 oseq, quint8 iseq, quint8 type,
    quint32 subclass, const QByteArray &payload)
{
    QByteArray out(12, '\0');
    qToBigEndian<quint16>(quint16(0x8000 | source), out.data());
    qToBigEndian<quint16>(dest, out.data() + 2);
    qToBigEndian<quint32>(ts, out.data() + 4);
    out[8] = char(oseq);
    out[9] = char(iseq);
    out[10] = char(type);
    // Values above one byte travel as a power of two; a byte value goes out
    // as it is, so tests can write any wire subclass.
    quint8 sc = quint8(subclass);
    if (subclass > 0xff) {
        int shift = 0;
        while (shift < 31 && (1u << shift) < subclass)
            ++shift;
        sc = quint8(0x80 | shift);
    }
    out[11] = char(sc);
    return out + payload;
}

QByteArray FakePbx::ie(int id, const QByteArray &data)
{
    return QByteArray(1, char(id)) + QByteArray(1, char(data.size())) + data;
}

QByteArray FakePbx::ieU16(int id, quint16 v)
{
    QByteArray b(2, '\0');
    qToBigEndian(v, b.data());
    return ie(id, b);
}

QByteArray FakePbx::ieU32(int id, quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return ie(id, b);
}

void FakePbx::ensureCodecs(Dialogue &d)
{
    if (d.encoder && d.codecFormat == d.format)
        return;
    // The engine's codecs: G.711 is pinned to its known code points by the
    // frame test, GSM and Speex come from their libraries.
    static const iax2::CodecRegistry kCodecs = iax2::CodecRegistry::withMediaCodecs();
    d.encoder = kCodecs.create(d.format);
    d.decoder = kCodecs.create(d.format);
    d.codecFormat = d.format;
}

QByteArray FakePbx::encodeAudio(Dialogue &d, const QVector<qint16> &pcm)
{
    ensureCodecs(d);
    if (!d.encoder)
        return QByteArray(int(pcm.size()), '\0');
    std::vector<uint8_t> bytes;
    d.encoder->encode(pcm.constData(), bytes);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

void FakePbx::decodeAudio(Dialogue &d, const QByteArray &payload)
{
    ensureCodecs(d);
    std::vector<int16_t> pcm;
    if (!d.decoder
        || !d.decoder->decode(reinterpret_cast<const uint8_t *>(payload.constData()), size_t(payload.size()), pcm)) {
        m_errors << QStringLiteral("undecodable voice in format %1").arg(d.format);
        return;
    }
    for (int16_t v : pcm)
        d.audio.append(v);
}

void FakePbx::sendComfortNoise(quint16 localNo, int level)
{
    if (Dialogue *d = dialogue(localNo)) {
        stopTone(localNo);
        send(*d, TypeComfortNoise, quint32(level), QByteArray(), d->toneTs ? d->toneTs + 20 : 0);
    }
}

quint16 FakePbx::newCallNo()
{
    return m_nextCallNo++;
}

FakePbx::Dialogue *FakePbx::dialogue(quint16 localNo)
{
    return m_dialogues.value(localNo, nullptr);
}

FakePbx::Dialogue *FakePbx::latest(const QString &kind)
{
    Dialogue *found = nullptr;
    for (Dialogue *d : std::as_const(m_dialogues)) {
        if (d->kind == kind && (!found || d->localNo > found->localNo))
            found = d;
    }
    return found;
}

int FakePbx::count(int type, quint32 subclass) const
{
    int n = 0;
    for (const Frame &f : m_received)
        n += (!f.mini && f.type == type && f.subclass == subclass) ? 1 : 0;
    return n;
}

int FakePbx::countType(int type) const
{
    int n = 0;
    for (const Frame &f : m_received)
        n += (!f.mini && f.type == type) ? 1 : 0;
    return n;
}

const FakePbx::Frame *FakePbx::last(int type, quint32 subclass) const
{
    for (int i = m_received.size() - 1; i >= 0; --i) {
        const Frame &f = m_received[i];
        if (!f.mini && f.type == type && f.subclass == subclass)
            return &m_received[i];
    }
    return nullptr;
}

void FakePbx::transmit(const QByteArray &data, quint16 port, bool reliable)
{
    auto out = [&](const QByteArray &bytes) {
        m_records.append({ true, this->port(), port, m_clock.nsecsElapsed() / 1000, bytes });
        m_socket.writeDatagram(bytes, QHostAddress::LocalHost, port);
    };
    if (m_reorder && reliable) {
        if (m_heldBack.isEmpty()) {
            m_heldBack = data;
            m_heldBackPort = port;
            // Never hold a frame for long: a lone frame goes out on its own.
            QTimer::singleShot(100, this, [this] {
                if (!m_heldBack.isEmpty()) {
                    const QByteArray held = m_heldBack;
                    m_heldBack.clear();
                    m_records.append({ true, this->port(), m_heldBackPort, m_clock.nsecsElapsed() / 1000, held });
                    m_socket.writeDatagram(held, QHostAddress::LocalHost, m_heldBackPort);
                }
            });
            return;
        }
        out(data);
        const QByteArray held = m_heldBack;
        m_heldBack.clear();
        out(held);
        return;
    }
    out(data);
    if (m_duplicate)
        out(data);
}

void FakePbx::sendRaw(const QByteArray &data, quint16 enginePort)
{
    m_records.append({ true, port(), enginePort, m_clock.nsecsElapsed() / 1000, data });
    m_socket.writeDatagram(data, QHostAddress::LocalHost, enginePort);
}

void FakePbx::send(Dialogue &d, int type, quint32 subclass, const QByteArray &payload, quint32 ts)
{
    if (!ts)
        ts = quint32(d.clock.elapsed()) + 1;
    const QByteArray bytes = fullFrame(d.localNo, d.remoteNo, ts, d.oseq, d.iseq, quint8(type), subclass, payload);
    const bool sequenced = !(type == TypeIax && (subclass == Ack || subclass == Inval || subclass == Vnak));
    if (sequenced) {
        d.sent[d.oseq] = bytes;
        ++d.oseq;
    }
    transmit(bytes, d.peerPort, sequenced);
}

void FakePbx::ack(Dialogue &d, const Frame &f)
{
    send(d, TypeIax, Ack, QByteArray(), f.timestamp);
}

quint16 FakePbx::callEngine(quint16 enginePort, const QString &number, const QString &callerNumber,
    const QString &callerName, quint32 capability, quint32 format)
{
    auto *d = new Dialogue;
    d->localNo = newCallNo();
    d->peerPort = enginePort;
    d->kind = QStringLiteral("call-out");
    d->called = number;
    d->format = format;
    d->clock.start();
    m_dialogues.insert(d->localNo, d);
    QByteArray ies = ieU16(IeVersion, 2) + ie(IeCalled, number.toUtf8()) + ie(IeCallingNumber, callerNumber.toUtf8())
        + ie(IeCallingName, callerName.toUtf8()) + ieU32(IeFormat, format) + ieU32(IeCapability, capability);
    send(*d, TypeIax, New, ies);
    return d->localNo;
}

void FakePbx::sendControl(quint16 localNo, int control)
{
    if (Dialogue *d = dialogue(localNo)) {
        if (control == CtlAnswer)
            d->answered = true;
        send(*d, TypeControl, quint32(control), QByteArray());
    }
}

void FakePbx::sendIax(quint16 localNo, int command, const QList<QPair<int, QByteArray>> &ies)
{
    if (Dialogue *d = dialogue(localNo)) {
        QByteArray payload;
        for (const auto &e : ies)
            payload += ie(e.first, e.second);
        send(*d, TypeIax, quint32(command), payload);
    }
}

void FakePbx::hangup(quint16 localNo, const QString &cause)
{
    if (Dialogue *d = dialogue(localNo)) {
        stopTone(localNo);
        d->hungUp = true;
        send(*d, TypeIax, Hangup, ie(IeCause, cause.toUtf8()) + ie(IeCauseCode, QByteArray(1, char(16))));
    }
}

void FakePbx::startTone(quint16 localNo, double hz, double amplitude)
{
    Dialogue *d = dialogue(localNo);
    if (!d || d->toneTimer)
        return;
    d->toneTimer = new QTimer(this);
    d->toneTs = (quint32(d->clock.elapsed()) / 20 + 1) * 20;
    connect(d->toneTimer, &QTimer::timeout, this, [this, localNo, hz, amplitude] {
        Dialogue *d = dialogue(localNo);
        if (!d)
            return;
        QVector<qint16> pcm(160);
        for (int i = 0; i < 160; ++i) {
            pcm[i] = qint16(amplitude * std::sin(d->tonePhase));
            d->tonePhase += 2 * M_PI * hz / 8000.0;
        }
        const QByteArray payload = encodeAudio(*d, pcm);
        d->toneTs += 20;
        ++d->toneFrames;
        if (!d->toneFullSent || (d->toneTs & 0xffff) < 20) {
            d->toneFullSent = true;
            send(*d, TypeVoice, d->format, payload, d->toneTs);
            return;
        }
        if (m_voiceDropEvery > 0 && d->toneFrames % m_voiceDropEvery == 0)
            return; // lost on the way
        QByteArray mini(4, '\0');
        qToBigEndian<quint16>(d->localNo, mini.data());
        qToBigEndian<quint16>(quint16(d->toneTs), mini.data() + 2);
        mini += payload;
        if (m_voiceReorder) {
            if (d->toneHeld.isEmpty()) {
                d->toneHeld = mini;
                return;
            }
            transmit(mini, d->peerPort, false);
            mini = d->toneHeld;
            d->toneHeld.clear();
        }
        transmit(mini, d->peerPort, false);
    });
    d->toneTimer->start(20);
}

void FakePbx::stopTone(quint16 localNo)
{
    if (Dialogue *d = dialogue(localNo)) {
        delete d->toneTimer;
        d->toneTimer = nullptr;
    }
}

void FakePbx::readPending()
{
    while (m_socket.hasPendingDatagrams()) {
        QHostAddress from;
        quint16 fromPort = 0;
        QByteArray data(int(m_socket.pendingDatagramSize()), '\0');
        const qint64 n = m_socket.readDatagram(data.data(), data.size(), &from, &fromPort);
        if (n < 0)
            continue;
        data.truncate(int(n));
        m_records.append({ false, port(), fromPort, m_clock.nsecsElapsed() / 1000, data });
        if (m_dropEvery > 0 && ++m_inCount % m_dropEvery == 0)
            continue;
        handle(data, fromPort);
    }
}

void FakePbx::handle(const QByteArray &data, quint16 fromPort)
{
    if (data.size() < 4) {
        m_errors << QStringLiteral("short datagram");
        return;
    }
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    if (!(p[0] & 0x80)) {
        Frame f;
        f.mini = true;
        f.source = qFromBigEndian<quint16>(p);
        f.timestamp = qFromBigEndian<quint16>(p + 2);
        f.payload = data.mid(4);
        m_received.append(f);
        for (Dialogue *d : std::as_const(m_dialogues)) {
            if (d->remoteNo == f.source && d->peerPort == fromPort) {
                decodeAudio(*d, f.payload);
                ++d->voiceFrames;
            }
        }
        return;
    }
    if (data.size() < 12) {
        m_errors << QStringLiteral("short full frame");
        return;
    }
    Frame f;
    f.source = qFromBigEndian<quint16>(p) & 0x7fff;
    f.dest = qFromBigEndian<quint16>(p + 2) & 0x7fff;
    f.retransmitted = p[2] & 0x80;
    f.timestamp = qFromBigEndian<quint32>(p + 4);
    f.oseq = p[8];
    f.iseq = p[9];
    f.type = p[10];
    f.subclass = (p[11] & 0x80) ? (1u << (p[11] & 0x1f)) : p[11];
    f.payload = data.mid(12);
    if (f.type == TypeIax) {
        int pos = 0;
        while (pos < f.payload.size()) {
            if (pos + 2 > f.payload.size() || pos + 2 + quint8(f.payload[pos + 1]) > f.payload.size()) {
                m_errors << QStringLiteral("IE past the end in subclass %1").arg(f.subclass);
                break;
            }
            const int id = quint8(f.payload[pos]);
            const int len = quint8(f.payload[pos + 1]);
            f.ies.insert(id, f.payload.mid(pos + 2, len));
            pos += 2 + len;
        }
    }
    handleFull(f, fromPort);
}

void FakePbx::handleFull(const Frame &f, quint16 fromPort)
{
    if (handlePathTest(f, fromPort))
        return;
    Dialogue *d = nullptr;
    if (f.dest) {
        d = dialogue(f.dest);
        if (!d) {
            if (!(f.type == TypeIax && (f.subclass == Ack || f.subclass == Inval)))
                m_errors << QStringLiteral("frame for unknown call %1").arg(f.dest);
            return;
        }
        if (d->remoteNo == 0)
            d->remoteNo = f.source;
    } else {
        for (Dialogue *candidate : std::as_const(m_dialogues)) {
            if (candidate->remoteNo == f.source && candidate->peerPort == fromPort)
                d = candidate;
        }
        if (!d) {
            const bool opening
                = f.type == TypeIax && (f.subclass == New || f.subclass == RegReq || f.subclass == RegRel);
            if (!opening)
                return;
            if (m_requireToken) {
                const QByteArray token = f.ies.value(IeCallToken);
                if (!f.ies.contains(IeCallToken)) {
                    m_errors << QStringLiteral("opening frame without CALLTOKEN");
                    return;
                }
                if (token.isEmpty()) {
                    transmit(fullFrame(0, f.source, f.timestamp, f.iseq, quint8(f.oseq + 1), TypeIax, CallToken,
                                 ie(IeCallToken, QByteArrayLiteral("1234567890?abcdef"))),
                        fromPort, false);
                    return;
                }
                if (token != QByteArrayLiteral("1234567890?abcdef")) {
                    m_errors << QStringLiteral("wrong token");
                    return;
                }
            }
            d = new Dialogue;
            d->localNo = newCallNo();
            d->remoteNo = f.source;
            d->peerPort = fromPort;
            d->clock.start();
            d->kind = f.subclass == New ? QStringLiteral("call-in") : QStringLiteral("reg");
            m_dialogues.insert(d->localNo, d);
        }
    }

    if (quint8(f.iseq - d->acked) <= quint8(d->oseq - d->acked))
        d->acked = f.iseq;
    if (f.type == TypeIax && f.subclass == Vnak) {
        m_received.append(f);
        for (quint8 s = f.iseq; s != d->oseq; ++s) {
            if (d->sent.contains(s)) {
                QByteArray again = d->sent.value(s);
                again[2] = char(quint8(again[2]) | 0x80);
                transmit(again, d->peerPort, false);
            }
        }
        return;
    }
    if (!unsequenced(f)) {
        if (f.oseq != d->iseq) {
            if (quint8(f.oseq - d->iseq) < 128)
                send(*d, TypeIax, Vnak, QByteArray());
            else
                ack(*d, f);
            return;
        }
        ++d->iseq;
    }
    // Only what passed the sequence check counts as received.
    m_received.append(f);
    if (f.type == TypeIax && f.subclass == Ack)
        return;
    if (!unsequenced(f))
        ack(*d, f);

    auto challenge = [d, this](int command) {
        d->challenge = QByteArray::number(QRandomGenerator::global()->bounded(100000000, 999999999));
        send(*d, TypeIax, quint32(command),
            ieU16(IeAuthMethods, quint16(m_authMethods)) + ie(IeChallenge, d->challenge)
                + ie(IeUsername, d->user.toUtf8()));
    };
    auto md5Ok = [d, this](const Frame &frame) {
        if ((m_authMethods & 1) && frame.ies.contains(IePassword))
            return m_users.contains(d->user) && frame.ies.value(IePassword) == m_users.value(d->user).toUtf8();
        const QByteArray expected
            = QCryptographicHash::hash(d->challenge + m_users.value(d->user).toUtf8(), QCryptographicHash::Md5).toHex();
        return m_users.contains(d->user) && frame.ies.value(IeMd5) == expected;
    };

    if (f.type == TypeVoice) {
        d->format = f.subclass;
        decodeAudio(*d, f.payload);
        ++d->voiceFrames;
        return;
    }
    if (f.type != TypeIax)
        return;
    switch (f.subclass) {
    case RegReq:
    case RegRel:
        d->user = QString::fromUtf8(f.ies.value(IeUsername));
        if (!f.ies.contains(IeMd5) && !f.ies.contains(IePassword)) {
            if (m_registrarSilence == Silence::ToRequest)
                break;
            challenge(RegAuth);
        } else if (m_registrarSilence == Silence::ToAnswer) {
            break;
        } else if (md5Ok(f)) {
            ++m_regAcks;
            send(*d, TypeIax, RegAck, ie(IeUsername, d->user.toUtf8()) + ieU16(IeRefresh, quint16(m_refresh)));
        } else {
            send(*d, TypeIax, RegRej,
                ie(IeCause, QByteArrayLiteral("Registration Refused")) + ie(IeCauseCode, QByteArray(1, char(29))));
        }
        break;
    case New:
        d->called = QString::fromUtf8(f.ies.value(IeCalled));
        d->user = QString::fromUtf8(f.ies.value(IeUsername));
        d->format = qFromBigEndian<quint32>(f.ies.value(IeFormat).leftJustified(4, '\0').constData());
        if (m_authCalls) {
            challenge(AuthReq);
            break;
        }
        send(*d, TypeIax, Accept, ieU32(IeFormat, d->format));
        send(*d, TypeControl, CtlRinging, QByteArray());
        break;
    case AuthRep:
        if (md5Ok(f)) {
            send(*d, TypeIax, Accept, ieU32(IeFormat, d->format));
            send(*d, TypeControl, CtlRinging, QByteArray());
        } else {
            send(*d, TypeIax, Reject, ie(IeCause, QByteArrayLiteral("Authentication failed")));
        }
        break;
    case Accept:
        if (f.ies.contains(IeFormat))
            d->format = qFromBigEndian<quint32>(f.ies.value(IeFormat).leftJustified(4, '\0').constData());
        break;
    case Ping:
        send(*d, TypeIax, Pong, QByteArray(), f.timestamp);
        break;
    case LagRq:
        send(*d, TypeIax, LagRp, QByteArray(), f.timestamp);
        break;
    case Hangup:
    case Reject:
        d->hungUp = true;
        stopTone(d->localNo);
        break;
    case TxReq:
    case TxRel:
    case TxRej:
        handleTransfer(f, *d);
        break;
    default:
        break;
    }
}

void FakePbx::handleTransfer(const Frame &f, Dialogue &d)
{
    if (f.subclass == TxRel) {
        d.released = true;
        stopTone(d.localNo);
        return;
    }
    if (f.subclass == TxRej) {
        d.transferRejected = true;
        return;
    }
    const QByteArray addr = f.ies.value(IeApparentAddr);
    if (addr.size() != 16 || f.ies.value(IeCallNo).size() != 2 || f.ies.value(IeTransferId).size() != 4) {
        m_errors << QStringLiteral("TXREQ without APPARENT ADDR, CALLNO or TRANSFERID");
        return;
    }
    d.transferPort = qFromBigEndian<quint16>(addr.constData() + 2);
    d.transferCall = qFromBigEndian<quint16>(f.ies.value(IeCallNo).constData());
    d.transferId = qFromBigEndian<quint32>(f.ies.value(IeTransferId).constData());
    switch (m_transferMode) {
    case TransferMode::Ignore:
        return;
    case TransferMode::Reject:
        send(d, TypeIax, TxRej, ie(IeCause, QByteArrayLiteral("Transfer not allowed")));
        return;
    case TransferMode::Join:
        break;
    }
    // This leg tests the path to the other one, as a peer of its own would.
    const QByteArray probe = fullFrame(d.localNo, d.transferCall, quint32(d.clock.elapsed()) + 1, 0, 0, TypeIax, TxCnt,
        ieU32(IeTransferId, d.transferId));
    transmit(probe, d.transferPort, false);
}

bool FakePbx::handlePathTest(const Frame &f, quint16 fromPort)
{
    if (f.type != TypeIax || (f.subclass != TxCnt && f.subclass != TxAcc))
        return false;
    m_received.append(f);
    Dialogue *to = dialogue(f.dest);
    const quint32 id = qFromBigEndian<quint32>(f.ies.value(IeTransferId).leftJustified(4, '\0').constData());
    if (!to || to->transferId != id || to->transferCall != f.source) {
        m_errors << QStringLiteral("path test for an unknown transfer");
        return true;
    }
    if (f.subclass == TxCnt) {
        transmit(fullFrame(to->localNo, f.source, quint32(to->clock.elapsed()) + 1, 0, 1, TypeIax, TxAcc,
                     ieU32(IeTransferId, id)),
            fromPort, false);
    } else if (!to->transferReady) {
        // The path works: this leg is ready; the engine releases both legs.
        to->transferReady = true;
        send(*to, TypeIax, TxReady, ieU16(IeCallNo, f.source));
    }
    return true;
}
