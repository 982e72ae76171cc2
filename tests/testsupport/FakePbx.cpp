#include "testsupport/FakePbx.h"

#include "iax2/CodecRegistry.h"

#include <QCryptographicHash>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QtEndian>

#include <cmath>

namespace {

// RFC 5456 numbers, written out here independently of the engine.
enum : int { TypeVoice = 2, TypeControl = 4, TypeIax = 6, CtlRinging = 3 };
enum : int { New = 1, Pong = 3, Ack, Hangup, Reject, Accept, AuthReq, AuthRep, Inval, LagRq, LagRp, RegReq };
enum : int { RegAuth = 14, RegAck, RegRej, RegRel, Vnak, TxReq = 22, TxCnt, TxAcc, TxReady, TxRel, TxRej };
enum : int { Ping = 2, CallToken = 40 };
enum : int { IeCalled = 1, IeCallingNumber, IeCallingName = 4, IeUsername = 6, IePassword, IeCapability, IeFormat };
enum : int { IeVersion = 11, IeAuthMethods = 14, IeChallenge, IeMd5, IeApparentAddr = 18, IeRefresh };
enum : int { IeCallNo = 21, IeCause, IeTransferId = 27, IeCauseCode = 42, IeCallToken = 54 };
const QByteArray kToken = QByteArrayLiteral("1234567890?abcdef");

bool unsequenced(int type, quint32 subclass)
{
    return type == TypeIax && (subclass == Ack || subclass == Inval || subclass == Vnak);
}

quint32 u32(const QByteArray &b)
{
    return qFromBigEndian<quint32>(b.leftJustified(4, '\0').constData());
}

template<typename T>
void put(QByteArray &out, T v, bool bigEndian)
{
    char b[sizeof(T)];
    bigEndian ? qToBigEndian(v, b) : qToLittleEndian(v, b);
    out.append(b, sizeof(T));
}

} // namespace

FakePbx::FakePbx(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
    m_socket.bind(QHostAddress::LocalHost, 0);
    connect(&m_socket, &QUdpSocket::readyRead, this, &FakePbx::readPending);
    connect(&m_retransmitTimer, &QTimer::timeout, this, [this] {
        for (const Dialogue *d : std::as_const(m_dialogues))
            resend(*d, d->acked);
    });
    setRetransmit(true);
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
    // Values above one byte travel as a power of two; a byte value goes out as
    // it is, so tests can write any wire subclass.
    int shift = 0;
    while (subclass > 0xff && shift < 31 && (1u << shift) < subclass)
        ++shift;
    out[11] = char(subclass > 0xff ? 0x80 | shift : subclass);
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

iax2::Codec *FakePbx::codec(Dialogue &d, bool encoder)
{
    if (!d.encoder || d.codecFormat != d.format) {
        // G.711 is pinned to its code points by the frame test; GSM and Speex
        // come from their libraries.
        static const iax2::CodecRegistry kCodecs = iax2::CodecRegistry::withMediaCodecs();
        d.encoder = kCodecs.create(d.format);
        d.decoder = kCodecs.create(d.format);
        d.codecFormat = d.format;
    }
    return encoder ? d.encoder.get() : d.decoder.get();
}

FakePbx::Dialogue *FakePbx::latest(const QString &kind) const
{
    Dialogue *found = nullptr;
    for (Dialogue *d : m_dialogues) {
        if (d->kind == kind && (!found || d->localNo > found->localNo))
            found = d;
    }
    return found;
}

int FakePbx::count(int type, qint64 subclass) const
{
    return int(std::count_if(m_received.cbegin(), m_received.cend(),
        [&](const Frame &f) { return !f.mini && f.type == type && (subclass < 0 || f.subclass == subclass); }));
}

const FakePbx::Frame *FakePbx::last(int type, quint32 subclass) const
{
    for (auto it = m_received.crbegin(); it != m_received.crend(); ++it) {
        if (!it->mini && it->type == type && it->subclass == subclass)
            return &*it;
    }
    return nullptr;
}

void FakePbx::sendRaw(const QByteArray &data, quint16 enginePort)
{
    m_records.append({ port(), enginePort, m_clock.nsecsElapsed() / 1000, data });
    m_socket.writeDatagram(data, QHostAddress::LocalHost, enginePort);
}

void FakePbx::transmit(const QByteArray &data, quint16 port, bool reliable)
{
    if (m_reorder && reliable && m_heldBack.isEmpty()) {
        m_heldBack = data;
        m_heldBackPort = port;
        // Never hold a frame for long: a lone frame goes out on its own.
        QTimer::singleShot(100, this, [this] {
            if (!m_heldBack.isEmpty())
                sendRaw(std::exchange(m_heldBack, {}), m_heldBackPort);
        });
        return;
    }
    sendRaw(data, port);
    if (m_reorder && reliable)
        sendRaw(std::exchange(m_heldBack, {}), port);
    else if (m_duplicate)
        sendRaw(data, port);
}

void FakePbx::resend(const Dialogue &d, quint8 from)
{
    for (quint8 s = from; s != d.oseq; ++s) {
        if (d.sent.contains(s)) {
            QByteArray again = d.sent.value(s);
            again[2] = char(quint8(again[2]) | 0x80);
            transmit(again, d.peerPort, false);
        }
    }
}

void FakePbx::send(Dialogue &d, int type, quint32 subclass, const QByteArray &payload, quint32 ts)
{
    const QByteArray bytes = fullFrame(d.localNo, d.remoteNo, ts ? ts : quint32(d.clock.elapsed()) + 1, d.oseq, d.iseq,
        quint8(type), subclass, payload);
    const bool sequenced = !unsequenced(type, subclass);
    if (sequenced)
        d.sent[d.oseq++] = bytes;
    transmit(bytes, d.peerPort, sequenced);
}

quint16 FakePbx::callEngine(quint16 enginePort, const QString &number, const QString &callerNumber,
    const QString &callerName, quint32 capability, quint32 format)
{
    auto *d = new Dialogue;
    d->localNo = m_nextCallNo++;
    d->peerPort = enginePort;
    d->kind = QStringLiteral("call-out");
    d->called = number;
    d->format = format;
    d->clock.start();
    m_dialogues.insert(d->localNo, d);
    send(*d, TypeIax, New,
        ieU16(IeVersion, 2) + ie(IeCalled, number.toUtf8()) + ie(IeCallingNumber, callerNumber.toUtf8())
            + ie(IeCallingName, callerName.toUtf8()) + ieU32(IeFormat, format) + ieU32(IeCapability, capability));
    return d->localNo;
}

void FakePbx::sendControl(quint16 localNo, int control)
{
    if (Dialogue *d = dialogue(localNo))
        send(*d, TypeControl, quint32(control), QByteArray());
}

void FakePbx::sendIax(quint16 localNo, int command, const QByteArray &ies)
{
    if (Dialogue *d = dialogue(localNo))
        send(*d, TypeIax, quint32(command), ies);
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
    d->toneTimer = std::make_unique<QTimer>();
    d->toneTs = (quint32(d->clock.elapsed()) / 20 + 1) * 20;
    connect(d->toneTimer.get(), &QTimer::timeout, this, [this, d, hz, amplitude] { voiceTick(*d, hz, amplitude); });
    d->toneTimer->start(20);
}

void FakePbx::stopTone(quint16 localNo)
{
    if (Dialogue *d = dialogue(localNo))
        d->toneTimer.reset();
}

void FakePbx::voiceTick(Dialogue &d, double hz, double amplitude)
{
    QVector<qint16> pcm(160);
    for (qint16 &s : pcm) {
        s = qint16(amplitude * std::sin(d.tonePhase));
        d.tonePhase += 2 * M_PI * hz / 8000.0;
    }
    std::vector<uint8_t> bytes;
    if (iax2::Codec *enc = codec(d, true))
        enc->encode(pcm.constData(), bytes);
    const QByteArray payload(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
    d.toneTs += 20;
    // A full frame first, on a change of format and at each wrap of the 16-bit
    // timestamp; mini frames between.
    if (++d.toneFrames == 1 || d.toneFormat != d.format || (d.toneTs & 0xffff) < 20) {
        d.toneFormat = d.format;
        return send(d, TypeVoice, d.format, payload, d.toneTs);
    }
    if (m_voiceDropEvery > 0 && d.toneFrames % m_voiceDropEvery == 0)
        return; // lost on the way
    QByteArray mini(4, '\0');
    qToBigEndian<quint16>(d.localNo, mini.data());
    qToBigEndian<quint16>(quint16(d.toneTs), mini.data() + 2);
    mini += payload;
    if (m_voiceReorder && d.toneHeld.isEmpty()) {
        d.toneHeld = mini;
        return;
    }
    transmit(mini, d.peerPort, false);
    if (m_voiceReorder)
        transmit(std::exchange(d.toneHeld, {}), d.peerPort, false);
}

void FakePbx::hear(Dialogue &d, const QByteArray &payload)
{
    std::vector<int16_t> pcm;
    iax2::Codec *dec = codec(d, false);
    if (!dec || !dec->decode(reinterpret_cast<const uint8_t *>(payload.constData()), size_t(payload.size()), pcm))
        m_errors << QStringLiteral("undecodable voice in format %1").arg(d.format);
    for (int16_t v : pcm)
        d.audio.append(v);
    ++d.voiceFrames;
}

void FakePbx::readPending()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const quint16 fromPort = quint16(datagram.senderPort());
        m_records.append({ fromPort, port(), m_clock.nsecsElapsed() / 1000, datagram.data() });
        if (m_dropEvery == 0 || ++m_inCount % m_dropEvery != 0)
            handle(datagram.data(), fromPort);
    }
}

void FakePbx::handle(const QByteArray &data, quint16 fromPort)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const bool full = data.size() >= 1 && (p[0] & 0x80);
    if (data.size() < (full ? 12 : 4)) {
        m_errors << QStringLiteral("short datagram");
        return;
    }
    Frame f;
    f.msecs = m_clock.elapsed();
    f.source = qFromBigEndian<quint16>(p) & 0x7fff;
    f.mini = !full;
    if (f.mini) {
        f.timestamp = qFromBigEndian<quint16>(p + 2);
        f.payload = data.mid(4);
        m_received.append(f);
        for (Dialogue *d : std::as_const(m_dialogues)) {
            if (d->remoteNo == f.source && d->peerPort == fromPort)
                hear(*d, f.payload);
        }
        return;
    }
    f.dest = qFromBigEndian<quint16>(p + 2) & 0x7fff;
    f.timestamp = qFromBigEndian<quint32>(p + 4);
    f.oseq = p[8];
    f.iseq = p[9];
    f.type = p[10];
    f.subclass = (p[11] & 0x80) ? (1u << (p[11] & 0x1f)) : p[11];
    f.payload = data.mid(12);
    for (int pos = 0; f.type == TypeIax && pos < f.payload.size(); pos += 2 + quint8(f.payload[pos + 1])) {
        if (pos + 2 > f.payload.size() || pos + 2 + quint8(f.payload[pos + 1]) > f.payload.size()) {
            m_errors << QStringLiteral("IE past the end in subclass %1").arg(f.subclass);
            break;
        }
        f.ies.insert(quint8(f.payload[pos]), f.payload.mid(pos + 2, quint8(f.payload[pos + 1])));
    }
    if (handlePathTest(f, fromPort))
        return;
    Dialogue *d = dialogueFor(f, fromPort);
    if (!d)
        return;
    if (quint8(f.iseq - d->acked) <= quint8(d->oseq - d->acked))
        d->acked = f.iseq;
    if (f.type == TypeIax && f.subclass == Vnak) {
        m_received.append(f);
        resend(*d, f.iseq);
        return;
    }
    const bool sequenced = !unsequenced(f.type, f.subclass);
    if (sequenced && f.oseq != d->iseq) {
        // Ahead: ask for what is missing; behind: a repeat, acknowledged again.
        if (quint8(f.oseq - d->iseq) < 128)
            send(*d, TypeIax, Vnak, QByteArray());
        else
            send(*d, TypeIax, Ack, QByteArray(), f.timestamp);
        return;
    }
    // Only what passed the sequence check counts as received.
    m_received.append(f);
    if (!sequenced)
        return;
    ++d->iseq;
    send(*d, TypeIax, Ack, QByteArray(), f.timestamp);
    if (f.type == TypeVoice) {
        d->format = f.subclass;
        hear(*d, f.payload);
    }
    if (f.type == TypeIax)
        handleIax(f, *d);
}

FakePbx::Dialogue *FakePbx::dialogueFor(const Frame &f, quint16 fromPort)
{
    if (f.dest) {
        Dialogue *d = dialogue(f.dest);
        if (!d && !unsequenced(f.type, f.subclass))
            m_errors << QStringLiteral("frame for unknown call %1").arg(f.dest);
        if (d && d->remoteNo == 0)
            d->remoteNo = f.source;
        return d;
    }
    for (Dialogue *d : std::as_const(m_dialogues)) {
        if (d->remoteNo == f.source && d->peerPort == fromPort)
            return d;
    }
    if (f.type != TypeIax || (f.subclass != New && f.subclass != RegReq && f.subclass != RegRel))
        return nullptr;
    if (m_requireToken) {
        if (!f.ies.contains(IeCallToken)) {
            m_errors << QStringLiteral("opening frame without CALLTOKEN");
            return nullptr;
        }
        if (f.ies.value(IeCallToken).isEmpty()) {
            transmit(fullFrame(0, f.source, f.timestamp, f.iseq, quint8(f.oseq + 1), TypeIax, CallToken,
                         ie(IeCallToken, kToken)),
                fromPort, false);
            return nullptr;
        }
        if (f.ies.value(IeCallToken) != kToken) {
            m_errors << QStringLiteral("wrong token");
            return nullptr;
        }
    }
    auto *d = new Dialogue;
    d->localNo = m_nextCallNo++;
    d->remoteNo = f.source;
    d->peerPort = fromPort;
    d->clock.start();
    d->kind = f.subclass == New ? QStringLiteral("call-in") : QStringLiteral("reg");
    m_dialogues.insert(d->localNo, d);
    return d;
}

void FakePbx::handleIax(const Frame &f, Dialogue &d)
{
    auto challenge = [&d, this](int command) {
        d.challenge = QByteArray::number(QRandomGenerator::global()->bounded(100000000, 999999999));
        send(d, TypeIax, quint32(command),
            ieU16(IeAuthMethods, quint16(m_authMethods)) + ie(IeChallenge, d.challenge)
                + ie(IeUsername, d.user.toUtf8()));
    };
    auto authOk = [&d, &f, this] {
        const QByteArray secret = m_users.value(d.user).toUtf8();
        if ((m_authMethods & 1) && f.ies.contains(IePassword))
            return m_users.contains(d.user) && f.ies.value(IePassword) == secret;
        const QByteArray md5 = QCryptographicHash::hash(d.challenge + secret, QCryptographicHash::Md5).toHex();
        return m_users.contains(d.user) && f.ies.value(IeMd5) == md5;
    };
    auto accept = [&d, this] {
        send(d, TypeIax, Accept, ieU32(IeFormat, m_acceptFormat ? m_acceptFormat : d.format));
        send(d, TypeControl, CtlRinging, QByteArray());
    };
    switch (f.subclass) {
    case RegReq:
    case RegRel:
        d.user = QString::fromUtf8(f.ies.value(IeUsername));
        if (m_registrarFault == RegistrarFault::Inval) {
            send(d, TypeIax, Inval, QByteArray());
        } else if (!f.ies.contains(IeMd5) && !f.ies.contains(IePassword)) {
            if (m_registrarFault != RegistrarFault::SilentToRequest)
                challenge(RegAuth);
        } else if (m_registrarFault == RegistrarFault::SilentToAnswer) {
            break;
        } else if (m_registrarFault == RegistrarFault::Rechallenging) {
            challenge(RegAuth);
        } else if (authOk() && m_registrarFault != RegistrarFault::Rejecting) {
            ++m_regAcks;
            send(d, TypeIax, RegAck,
                ie(IeUsername, d.user.toUtf8()) + ieU16(IeRefresh, quint16(m_refresh)) + m_regAckIes);
        } else {
            send(d, TypeIax, RegRej,
                ie(IeCause, QByteArrayLiteral("Registration Refused")) + ie(IeCauseCode, QByteArray(1, char(29))));
        }
        break;
    case New:
        d.called = QString::fromUtf8(f.ies.value(IeCalled));
        d.user = QString::fromUtf8(f.ies.value(IeUsername));
        d.format = u32(f.ies.value(IeFormat));
        if (m_authCalls)
            challenge(AuthReq);
        else
            accept();
        break;
    case AuthRep:
        if (authOk())
            accept();
        else
            send(d, TypeIax, Reject, ie(IeCause, QByteArrayLiteral("Authentication failed")));
        break;
    case Accept:
        if (f.ies.contains(IeFormat))
            d.format = u32(f.ies.value(IeFormat));
        break;
    case Ping:
    case LagRq:
        send(d, TypeIax, f.subclass == Ping ? Pong : LagRp, QByteArray(), f.timestamp);
        break;
    case Hangup:
    case Reject:
        d.hungUp = true;
        stopTone(d.localNo);
        break;
    case TxReq:
    case TxRel:
        handleTransfer(f, d);
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
    const QByteArray addr = f.ies.value(IeApparentAddr);
    if (addr.size() != 16 || f.ies.value(IeCallNo).size() != 2 || f.ies.value(IeTransferId).size() != 4) {
        m_errors << QStringLiteral("TXREQ without APPARENT ADDR, CALLNO or TRANSFERID");
        return;
    }
    d.transferPort = qFromBigEndian<quint16>(addr.constData() + 2);
    d.transferCall = qFromBigEndian<quint16>(f.ies.value(IeCallNo).constData());
    d.transferId = u32(f.ies.value(IeTransferId));
    if (m_transferMode == TransferMode::Reject)
        send(d, TypeIax, TxRej, ie(IeCause, QByteArrayLiteral("Transfer not allowed")));
    if (m_transferMode != TransferMode::Join && (m_transferMode != TransferMode::JoinFirstLeg || m_pathTests > 0))
        return;
    ++m_pathTests;
    // This leg tests the path to the other one, as a peer of its own would.
    transmit(fullFrame(d.localNo, d.transferCall, quint32(d.clock.elapsed()) + 1, 0, 0, TypeIax, TxCnt,
                 ieU32(IeTransferId, d.transferId)),
        d.transferPort, false);
}

bool FakePbx::handlePathTest(const Frame &f, quint16 fromPort)
{
    if (f.type != TypeIax || (f.subclass != TxCnt && f.subclass != TxAcc))
        return false;
    m_received.append(f);
    Dialogue *to = dialogue(f.dest);
    const quint32 id = u32(f.ies.value(IeTransferId));
    if (!to || to->transferId != id || to->transferCall != f.source) {
        m_errors << QStringLiteral("path test for an unknown transfer");
    } else if (f.subclass == TxCnt) {
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

bool FakePbx::writePcap(const QString &path) const
{
    QByteArray out;
    // Microsecond timestamps, version 2.4, snap length 65535, LINKTYPE_IPV4.
    for (quint32 v : { 0xa1b2c3d4u, 0x00040002u, 0u, 0u, 65535u, 228u })
        put<quint32>(out, v, false);
    quint16 id = 1;
    for (const Datagram &p : m_records) {
        QByteArray ip;
        for (quint16 v : { quint16(0x4500), quint16(28 + p.payload.size()), id++, quint16(0x4000), quint16(0x4011),
                 quint16(0), quint16(0x7f00), quint16(1), quint16(0x7f00), quint16(1) })
            put(ip, v, true);
        quint32 sum = 0;
        for (int i = 0; i < 20; i += 2)
            sum += (quint32(quint8(ip[i])) << 8) | quint8(ip[i + 1]);
        while (sum >> 16)
            sum = (sum & 0xffff) + (sum >> 16);
        qToBigEndian(quint16(~sum), ip.data() + 10);
        // UDP without a checksum, as IPv4 allows.
        for (quint16 v : { p.sourcePort, p.destPort, quint16(8 + p.payload.size()), quint16(0) })
            put(ip, v, true);
        ip.append(p.payload);
        for (quint32 v :
            { quint32(p.usec / 1000000), quint32(p.usec % 1000000), quint32(ip.size()), quint32(ip.size()) })
            put(out, v, false);
        out.append(ip);
    }
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size() && file.commit();
}
