// The engine's call state machine against the loopback fake PBX: what a caller
// is offered, what each frame of the PBX does to a call, what the user's
// actions put on the wire, attended transfer that fails, and the voicemail
// count of a registration.

#include <QNetworkDatagram>
#include <QtTest>

#include "testsupport/IaxRig.h"

using namespace iax2;

namespace {

// RFC 5456 numbers, written out independently of the engine.
enum : int { TypeDtmf = 1, TypeControl = 4, TypeIax = 6, CtlAnswer = 4 };
enum : int { CmdNew = 1, CmdPing, CmdPong, CmdAck, CmdHangup, CmdReject, CmdAccept, CmdAuthRep = 9 };
enum : int { CmdLagRq = 11, CmdLagRp };
enum : int { CmdVnak = 18, CmdTxReq = 22, CmdTxRej = 27, CmdUnsupport = 33, CmdProvision = 35 };
enum : int { IePassword = 7, IeCapability, IeFormat, IeVersion = 11, IeCause = 22, IeIaxUnknown };
enum : int { IeMsgCount = 24, IeMusicOnHold = 26, IeCauseCode = 42 };
constexpr uint kAll = FormatUlaw | FormatAlaw | FormatGsm | FormatSpeex;

// The engine's signalling the PBX took in, one word per frame: "c4" a control
// frame, "i6/21" an IAX command with its cause code, "+moh" when it asks for
// music on hold. Acknowledgements and our own liveness checks are left out.
QStringList signalling(const FakePbx &pbx)
{
    QStringList out;
    for (const FakePbx::Frame &f : pbx.received()) {
        if (f.mini || (f.type != TypeControl && f.type != TypeIax))
            continue;
        if (f.type == TypeIax && QList<quint32> { CmdPing, CmdAck, CmdLagRq, CmdVnak }.contains(f.subclass))
            continue;
        QString word = QString(QLatin1Char(f.type == TypeIax ? 'i' : 'c')) + QString::number(f.subclass);
        if (f.ies.contains(IeCauseCode))
            word += QLatin1Char('/') + QString::number(quint8(f.ies.value(IeCauseCode).at(0)));
        if (f.ies.contains(IeMusicOnHold))
            word += QStringLiteral("+moh");
        out << word;
    }
    return out;
}

// The IAX commands (ACKs left out) that reached a caller's own socket, each with
// its elements.
QList<QPair<int, QMap<int, QByteArray>>> iaxReplies(QUdpSocket &socket)
{
    QList<QPair<int, QMap<int, QByteArray>>> out;
    while (socket.hasPendingDatagrams()) {
        const QByteArray d = socket.receiveDatagram().data();
        if (d.size() < 12 || !(d[0] & 0x80) || d[10] != TypeIax || d[11] == CmdAck)
            continue;
        QMap<int, QByteArray> ies;
        for (int pos = 12; pos + 2 <= d.size(); pos += 2 + quint8(d[pos + 1]))
            ies.insert(quint8(d[pos]), d.mid(pos + 2, quint8(d[pos + 1])));
        out.append({ int(d[11]), ies });
    }
    return out;
}

quint32 u32(const QByteArray &b)
{
    return qFromBigEndian<quint32>(b.leftJustified(4, '\0').constData());
}

// A dialled call the PBX answered, its leg at the PBX in *leg; -1 on failure.
int answeredOut(IaxRig &rig, const QString &number, FakePbx::Dialogue **leg)
{
    const int call = rig.engine->dial(rig.account(), number.toStdString());
    const auto reached = [&](const char *word) {
        return QTest::qWaitFor([&] { return rig.probe->callEvents(call).contains(QLatin1String(word)); }, 5000);
    };
    if (call < 0 || !reached("ringing"))
        return -1;
    *leg = rig.pbx.latest(QStringLiteral("call-in"));
    rig.pbx.sendControl((*leg)->localNo, CtlAnswer);
    return (*leg)->called == number && reached("answered") ? call : -1;
}

} // namespace

class TestIax2Calls : public QObject
{
    Q_OBJECT

private slots:
    // The caller's NEW gets an ACCEPT in the format both allow (ours preferred,
    // then the caller's, then u-law, a-law, GSM, Speex in that order) or a
    // REJECT with its cause code.
    void incomingOffer_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("full"); // the only call slot rings already
        QTest::addColumn<uint>("allowed");
        QTest::addColumn<uint>("preferred");
        QTest::addColumn<uint>("capability");
        QTest::addColumn<uint>("format");
        QTest::addColumn<uint>("accepted"); // 0: refused
        QTest::addColumn<int>("causeCode");
        QTest::newRow("another protocol version")
            << 3 << false << kAll << uint(FormatUlaw) << kAll << uint(FormatUlaw) << 0u << 111;
        QTest::newRow("ours preferred") << 2 << false << kAll << uint(FormatGsm) << kAll << uint(FormatUlaw)
                                        << uint(FormatGsm) << 0;
        QTest::newRow("then the caller's") << 2 << false << kAll << uint(FormatUlaw) << uint(FormatAlaw | FormatGsm)
                                           << uint(FormatGsm) << uint(FormatGsm) << 0;
        QTest::newRow("then a-law before GSM")
            << 2 << false << kAll << uint(FormatUlaw) << uint(FormatAlaw | FormatGsm | FormatSpeex) << uint(FormatUlaw)
            << uint(FormatAlaw) << 0;
        QTest::newRow("nothing in common")
            << 2 << false << uint(FormatUlaw) << uint(FormatUlaw) << uint(FormatAlaw) << uint(FormatAlaw) << 0u << 58;
        QTest::newRow("nothing allowed here")
            << 2 << false << uint(FormatIlbc) << uint(FormatIlbc) << kAll << uint(FormatUlaw) << 0u << 58;
        QTest::newRow("a preferred codec not allowed gives way to the lowest allowed")
            << 2 << false << uint(FormatAlaw | FormatGsm) << uint(FormatUlaw) << kAll << uint(FormatAlaw)
            << uint(FormatGsm) << 0;
        QTest::newRow("no free call slot")
            << 2 << true << kAll << uint(FormatUlaw) << kAll << uint(FormatUlaw) << 0u << 34;
    }

    void incomingOffer()
    {
        QFETCH(int, version);
        QFETCH(bool, full);
        QFETCH(uint, allowed);
        QFETCH(uint, preferred);
        QFETCH(uint, capability);
        QFETCH(uint, format);
        QFETCH(uint, accepted);
        QFETCH(int, causeCode);
        IaxRig rig(loopbackConfig(1));
        rig.engine->setFormats(preferred, allowed);
        if (full) {
            rig.callIn(rig.engine->localPort());
            QVERIFY(rig.ringing() >= 0);
            rig.probe->clear();
        }
        QUdpSocket caller;
        QVERIFY(caller.bind(QHostAddress::LocalHost, 0));
        caller.writeDatagram(FakePbx::fullFrame(321, 0, 3, 0, 0, TypeIax, CmdNew,
                                 FakePbx::ieU16(IeVersion, quint16(version)) + FakePbx::ie(1, "201")
                                     + FakePbx::ieU32(IeCapability, capability) + FakePbx::ieU32(IeFormat, format)),
            QHostAddress::LocalHost, rig.engine->localPort());
        QList<QPair<int, QMap<int, QByteArray>>> replies;
        QTRY_VERIFY((replies += iaxReplies(caller)).size() >= 1);
        QCOMPARE(replies.first().first, accepted ? CmdAccept : CmdReject);
        if (accepted) {
            QCOMPARE(u32(replies.first().second.value(IeFormat)), quint32(accepted));
            QTRY_COMPARE(rig.probe->count<IncomingCallEvent>(), 1);
            QCOMPARE(rig.probe->all<IncomingCallEvent>().first().format, uint32_t(accepted));
        } else {
            QCOMPARE(int(replies.first().second.value(IeCauseCode).at(0)), causeCode);
            QTest::qWait(100);
            QCOMPARE(rig.probe->count<IncomingCallEvent>(), 0);
        }
        QCOMPARE(rig.probe->texts().contains(QLatin1String("An incoming call was refused: no usable codec")),
            allowed == FormatIlbc);
    }

    // How the setting-up of a dialled call ends when the PBX asks for what the
    // engine cannot give, or refuses it.
    void outgoingSetup_data()
    {
        QTest::addColumn<int>("methods"); // offered by the PBX's challenge
        QTest::addColumn<QString>("secret");
        QTest::addColumn<uint>("acceptFormat"); // 0: the one asked for
        QTest::addColumn<bool>("established");
        QTest::addColumn<int>("reason");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("sent"); // what the engine said after its NEW and AUTHREP
        QTest::newRow("plaintext only: the secret goes, with a warning")
            << 1 << "wonder" << 0u << true << -1 << "The PBX asks for the password in plain text" << QStringList();
        QTest::newRow("no method known here")
            << 4 << "wonder" << 0u << false << int(CallEndReason::Failed)
            << "The PBX offers no supported authentication method" << QStringList { "i5/50" };
        QTest::newRow("wrong secret") << 2 << "wander" << 0u << false << int(CallEndReason::RejectedByPeer)
                                      << "Call rejected: Authentication failed" << QStringList();
        QTest::newRow("a codec not allowed here")
            << 2 << "wonder" << uint(FormatAlaw) << false << int(CallEndReason::Failed)
            << "The PBX chose a codec that is not allowed" << QStringList { "i5/58" };
    }

    void outgoingSetup()
    {
        QFETCH(int, methods);
        QFETCH(QString, secret);
        QFETCH(uint, acceptFormat);
        QFETCH(bool, established);
        QFETCH(int, reason);
        QFETCH(QString, text);
        QFETCH(QStringList, sent);
        IaxRig rig;
        rig.engine->setFormats(FormatUlaw, FormatUlaw);
        rig.pbx.setAuthenticateCalls(true);
        rig.pbx.setAuthMethods(methods);
        rig.pbx.setAcceptFormat(acceptFormat);
        const int call = rig.engine->dial(rig.account(secret.toLatin1().constData()), "300");
        const QStringList events = established ? QStringList { "accepted", "ringing" } : QStringList { "ended" };
        QTRY_COMPARE(rig.probe->callEvents(call), events);
        QCOMPARE(rig.probe->texts(), text);
        if (!established)
            QCOMPARE(int(rig.probe->all<CallEndedEvent>().first().reason), reason);
        const FakePbx::Frame *answer = rig.pbx.last(TypeIax, CmdAuthRep);
        QCOMPARE(answer && answer->ies.contains(IePassword), methods == 1);
        QTRY_COMPARE(signalling(rig.pbx).filter(QRegularExpression(QStringLiteral("^(?!i1$|i9$)"))), sent);
    }

    // The codecs a dialled call offers: what cannot be offered is said when the
    // user counted on it, a preferred codec not allowed gives way to the lowest
    // allowed, and with nothing left no call goes out.
    void outgoingOffer_data()
    {
        QTest::addColumn<uint>("preferred");
        QTest::addColumn<uint>("allowed");
        QTest::addColumn<uint>("format"); // 0: no call
        QTest::addColumn<uint>("capability");
        QTest::addColumn<QString>("text");
        const QString missing = QStringLiteral("The iLBC codec is not available here and is not offered");
        QTest::newRow("iLBC among others: only logged")
            << uint(FormatUlaw) << uint(FormatUlaw | FormatIlbc) << uint(FormatUlaw) << uint(FormatUlaw) << "";
        QTest::newRow("iLBC preferred: said")
            << uint(FormatIlbc) << uint(FormatIlbc | FormatSpeex) << uint(FormatSpeex) << uint(FormatSpeex) << missing;
        QTest::newRow("a preferred codec not allowed") << uint(FormatUlaw) << uint(FormatSpeex | FormatGsm)
                                                       << uint(FormatGsm) << uint(FormatSpeex | FormatGsm) << "";
        QTest::newRow("only iLBC allowed: no call") << uint(FormatUlaw) << uint(FormatIlbc) << 0u << 0u
                                                    << missing
                + "\nNo usable codec is allowed: calls are refused until one is chosen"
                  "\nNo usable codec is allowed: the call cannot be placed";
    }

    void outgoingOffer()
    {
        QFETCH(uint, preferred);
        QFETCH(uint, allowed);
        QFETCH(uint, format);
        QFETCH(uint, capability);
        QFETCH(QString, text);
        IaxRig rig;
        rig.engine->setFormats(preferred, allowed);
        QCOMPARE(rig.engine->dial(rig.account(), "300") >= 0, format != 0);
        QTRY_COMPARE(rig.probe->texts(), text);
        if (format) {
            QTRY_VERIFY(rig.pbx.last(TypeIax, CmdNew));
            QCOMPARE(u32(rig.pbx.last(TypeIax, CmdNew)->ies.value(IeFormat)), quint32(format));
            QCOMPARE(u32(rig.pbx.last(TypeIax, CmdNew)->ies.value(IeCapability)), quint32(capability));
        } else {
            QTest::qWait(100);
            QCOMPARE(rig.pbx.received().size(), 0);
        }
    }

    // What each frame of the PBX does to a call that rings: one event per
    // transition, the texts the user sees, and the engine's answer on the wire.
    void peerFrames_data()
    {
        QTest::addColumn<bool>("incoming");
        QTest::addColumn<QStringList>("script"); // "c3" control 3, "i6:cause" IAX command 6 with a cause
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("text"); // %1: the call's number
        QTest::addColumn<int>("reason"); // of the end, -1 when the call goes on
        QTest::addColumn<QStringList>("sent");
        const QStringList none;
        QTest::newRow("ringing again, answered twice")
            << false << QStringList { "c3", "c4", "c4", "c3" } << QStringList { "answered" } << "" << -1 << none;
        QTest::newRow("busy") << false << QStringList { "c5" } << none << "Busy" << -1 << none;
        QTest::newRow("congestion") << false << QStringList { "c8" } << none << "Congestion" << -1 << none;
        QTest::newRow("hung up by control") << false << QStringList { "c1" } << QStringList { "ended" } << ""
                                            << int(CallEndReason::HungUpByPeer) << none;
        QTest::newRow("hung up with a cause") << false << QStringList { "i5:Gone" } << QStringList { "ended" } << ""
                                              << int(CallEndReason::HungUpByPeer) << none;
        QTest::newRow("rejected with a cause")
            << false << QStringList { "i6:No route" } << QStringList { "ended" } << "Call rejected: No route"
            << int(CallEndReason::RejectedByPeer) << none;
        QTest::newRow("rejected without one") << false << QStringList { "i6" } << QStringList { "ended" }
                                              << "Call rejected" << int(CallEndReason::RejectedByPeer) << none;
        QTest::newRow("the PBX no longer knows it")
            << false << QStringList { "i10" } << QStringList { "ended" } << "The PBX no longer knows call %1"
            << int(CallEndReason::Lost) << none;
        QTest::newRow("held and resumed by the peer, each twice")
            << false << QStringList { "i28", "i28", "i29", "i29" } << QStringList { "held by peer", "resumed by peer" }
            << "" << -1 << none;
        QTest::newRow("a direct path is refused")
            << false << QStringList { "i22" } << none << "" << -1 << QStringList { "i27" };
        QTest::newRow("an unknown command")
            << false << QStringList { "i35" } << none << "" << -1 << QStringList { "i33" };
        QTest::newRow("liveness checks answered")
            << false << QStringList { "i2", "i11" } << none << "" << -1 << QStringList { "i3", "i12" };
        QTest::newRow("a call that rings here is answered here only")
            << true << QStringList { "c3", "c4" } << none << "" << -1 << none;
        QTest::newRow("a call that rings here is not challenged")
            << true << QStringList { "i8" } << none << "" << -1 << none;
    }

    void peerFrames()
    {
        QFETCH(bool, incoming);
        QFETCH(QStringList, script);
        QFETCH(QStringList, events);
        QFETCH(QString, text);
        QFETCH(int, reason);
        QFETCH(QStringList, sent);
        IaxRig rig;
        int call = -1;
        FakePbx::Dialogue *d = nullptr;
        if (incoming) {
            d = rig.pbx.dialogue(rig.callIn(rig.engine->localPort()));
            call = rig.ringing();
        } else {
            call = rig.engine->dial(rig.account(), "300");
            QTRY_COMPARE(rig.probe->callEvents(call), QStringList({ "accepted", "ringing" }));
            d = rig.pbx.latest(QStringLiteral("call-in"));
        }
        QTRY_VERIFY(d && d->remoteNo != 0 && d->acked == d->oseq);
        rig.probe->clear();
        rig.pbx.clearReceived();
        for (const QString &step : script) {
            const QStringList parts = step.mid(1).split(QLatin1Char(':'));
            if (step.front() == QLatin1Char('c'))
                rig.pbx.sendControl(d->localNo, parts[0].toInt());
            else
                rig.pbx.sendIax(d->localNo, parts[0].toInt(),
                    parts.size() > 1 ? FakePbx::ie(IeCause, parts[1].toUtf8()) : QByteArray());
        }
        QTRY_COMPARE(rig.probe->callEvents(call), events);
        QTRY_COMPARE(signalling(rig.pbx), sent);
        QTRY_COMPARE(rig.probe->texts(), QString(text).replace(QLatin1String("%1"), QString::number(call)));
        QTRY_VERIFY(d->acked == d->oseq); // every frame was taken in
        QTest::qWait(100); // nothing more may follow
        QCOMPARE(rig.probe->callEvents(call), events);
        QCOMPARE(rig.probe->texts(), QString(text).replace(QLatin1String("%1"), QString::number(call)));
        QCOMPARE(signalling(rig.pbx), sent);
        if (reason >= 0) {
            const CallEndedEvent ended = rig.probe->all<CallEndedEvent>().first();
            QCOMPARE(int(ended.reason), reason);
            QCOMPARE(QString::fromStdString(ended.cause), script.first().section(QLatin1Char(':'), 1));
        }
        if (sent == QStringList { "i33" })
            QCOMPARE(rig.pbx.last(TypeIax, CmdUnsupport)->ies.value(IeIaxUnknown), QByteArray(1, char(CmdProvision)));
    }

    // What the user's actions on a call put on the wire, and the events they raise.
    void userActions_data()
    {
        QTest::addColumn<bool>("incoming");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("taken"); // what the call returned
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("text");
        const QStringList none;
        const QStringList ended { "ended" };
        QTest::newRow("reject a call that rings here")
            << true << false << "reject" << true << QStringList { "i6/21" } << ended << "";
        QTest::newRow("reject an answered call: a hang-up")
            << true << true << "reject" << true << QStringList { "i5/16" } << ended << "";
        QTest::newRow("reject a dialled call: a hang-up")
            << false << true << "reject" << true << QStringList { "i5/16" } << ended << "";
        QTest::newRow("hang up a call that rings here")
            << true << false << "hangup" << true << QStringList { "i5/16" } << ended << "";
        QTest::newRow("busy") << true << false << "busy" << true << QStringList { "c5" } << none << "";
        QTest::newRow("answer a dialled call") << false << false << "answer" << false << none << none << "";
        QTest::newRow("hold twice: one transition")
            << false << true << "hold twice" << true << QStringList { "i28+moh", "i28+moh" } << QStringList { "held" }
            << "";
        QTest::newRow("hold without music")
            << true << true << "hold quiet" << true << QStringList { "i28" } << QStringList { "held" } << "";
        QTest::newRow("resume a call not held: no transition")
            << true << true << "resume" << true << QStringList { "i29" } << none << "";
        QTest::newRow("transfer to no number") << true << true << "transfer:\r\n" << false << none << none << "";
        QTest::newRow("transfer the PBX leaves with us")
            << false << true << "transfer:400" << true << QStringList { "i34" } << QStringList { "transfer failed" }
            << "The transfer did not succeed";
        QTest::newRow("transfer the PBX takes with a REJECT")
            << false << true << "transfer:400:rejected" << true << QStringList { "i34" }
            << QStringList { "transferred", "ended" } << "Call rejected";
    }

    void userActions()
    {
        QFETCH(bool, incoming);
        QFETCH(bool, answered);
        QFETCH(QString, action);
        QFETCH(bool, taken);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, events);
        QFETCH(QString, text);
        Iax2Engine::Config config = loopbackConfig();
        config.blindTransferTimeoutMs = 300;
        IaxRig rig(config);
        int call = -1;
        FakePbx::Dialogue *d = nullptr;
        if (incoming) {
            d = rig.pbx.dialogue(rig.callIn(rig.engine->localPort()));
            call = rig.ringing();
            QVERIFY(!answered || rig.engine->answer(call));
        } else if (answered) {
            call = rig.dialledCall(&d);
        } else {
            call = rig.engine->dial(rig.account(), "300");
            QTRY_COMPARE(rig.probe->count<RingingOutEvent>(), 1);
            d = rig.pbx.latest(QStringLiteral("call-in"));
        }
        QVERIFY(call >= 0 && d);
        QTRY_VERIFY(!answered || rig.probe->callEvents(call).contains(QStringLiteral("answered")));
        const QStringList setUp
            = incoming ? QStringList { "i7", "c3" } + QStringList(answered ? 1 : 0, "c4") : QStringList { "i1" };
        QTRY_COMPARE(signalling(rig.pbx), setUp);
        QTRY_VERIFY(d->acked == d->oseq);
        rig.pbx.clearReceived();
        rig.probe->clear();
        bool result = true;
        if (action == QLatin1String("reject"))
            rig.engine->reject(call);
        else if (action == QLatin1String("hangup"))
            rig.engine->hangup(call);
        else if (action == QLatin1String("busy"))
            rig.engine->sendBusy(call);
        else if (action == QLatin1String("answer"))
            result = rig.engine->answer(call);
        else if (action == QLatin1String("hold twice"))
            result = rig.engine->quelch(call) && rig.engine->quelch(call);
        else if (action == QLatin1String("hold quiet"))
            result = rig.engine->quelch(call, false);
        else if (action == QLatin1String("resume"))
            result = rig.engine->unquelch(call);
        else
            result = rig.engine->blindTransfer(call, action.section(QLatin1Char(':'), 1, 1).toStdString());
        QCOMPARE(result, taken);
        if (action.endsWith(QLatin1String(":rejected"))) {
            QTRY_COMPARE(signalling(rig.pbx), sent);
            rig.pbx.sendIax(d->localNo, CmdReject);
        }
        QTRY_COMPARE(signalling(rig.pbx).size(), sent.size());
        QTRY_COMPARE(rig.probe->callEvents(call), events);
        QTest::qWait(action.startsWith(QLatin1String("transfer")) ? 400 : 100); // nothing more may follow
        QCOMPARE(signalling(rig.pbx), sent);
        QCOMPARE(rig.probe->callEvents(call), events);
        if (events.contains(QStringLiteral("ended")))
            QCOMPARE(rig.probe->all<CallEndedEvent>().first().wasAnswered, answered);
        QCOMPARE(rig.probe->texts(), text);
    }

    // Tones go to the selected call unless a call is named.
    void dtmfFollowsTheSelection()
    {
        IaxRig rig(loopbackConfig(3));
        FakePbx::Dialogue *dialled = nullptr;
        FakePbx::Dialogue *answered = nullptr;
        const int a = rig.dialledCall(&dialled);
        const int b = rig.answeredCall(FormatUlaw, &answered); // answering selects it
        QVERIFY(a >= 0 && b >= 0);
        QVERIFY(rig.engine->sendDtmf('1'));
        rig.engine->selectCall(a);
        QVERIFY(rig.engine->sendDtmf('2'));
        QVERIFY(rig.engine->sendDtmf('3', b));
        rig.engine->selectCall(-1);
        QVERIFY(!rig.engine->sendDtmf('4'));
        auto digits = [&rig](const FakePbx::Dialogue *d) {
            QString out;
            for (const FakePbx::Frame &f : rig.pbx.received())
                out += !f.mini && f.type == TypeDtmf && f.source == d->remoteNo ? QString(QChar(f.subclass))
                                                                                : QString();
            return out;
        };
        QTRY_COMPARE(digits(dialled) + digits(answered), QStringLiteral("213"));
    }

    // An attended transfer that fails tells each leg that did not refuse to stay
    // on the path through us, once, and both calls go on.
    void attendedTransferFails_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("heldLegEnds");
        QTest::addColumn<QString>("why");
        QTest::addColumn<bool>("bothLegs"); // our TXREJ goes to the talking leg only, or to both
        QTest::newRow("refused by the PBX")
            << int(FakePbx::TransferMode::Reject) << false << "the PBX refused it" << false;
        QTest::newRow("a call ended") << int(FakePbx::TransferMode::Ignore) << true << "a call ended" << false;
        QTest::newRow("not joined in time")
            << int(FakePbx::TransferMode::Ignore) << false << "the calls were not joined in time" << true;
        QTest::newRow("one leg never ready")
            << int(FakePbx::TransferMode::JoinFirstLeg) << false << "the calls were not joined in time" << true;
    }

    void attendedTransferFails()
    {
        QFETCH(int, mode);
        QFETCH(bool, heldLegEnds);
        QFETCH(QString, why);
        QFETCH(bool, bothLegs);
        Iax2Engine::Config config = loopbackConfig(3);
        config.attendedTransferTimeoutMs = 400;
        IaxRig rig(config);
        rig.pbx.setTransferMode(FakePbx::TransferMode(mode));
        FakePbx::Dialogue *heldLeg = nullptr;
        FakePbx::Dialogue *talkingLeg = nullptr;
        const int held = answeredOut(rig, QStringLiteral("301"), &heldLeg);
        const int talking = answeredOut(rig, QStringLiteral("302"), &talkingLeg);
        rig.callIn(rig.engine->localPort());
        QVERIFY(held >= 0 && talking >= 0 && rig.ringing() >= 0);
        // Only two distinct answered calls, one transfer at a time.
        QVERIFY(!rig.engine->attendedTransfer(held, held));
        QVERIFY(!rig.engine->attendedTransfer(held, rig.probe->incomingCall()));
        QVERIFY(rig.engine->attendedTransfer(held, talking));
        QVERIFY(!rig.engine->attendedTransfer(held, talking));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdTxReq), 2);
        if (heldLegEnds)
            rig.pbx.hangup(heldLeg->localNo);
        QTRY_COMPARE(rig.probe->callEvents(talking).count(QStringLiteral("transfer failed")), 1);
        QTest::qWait(500); // past the limit: nothing more
        QCOMPARE(rig.probe->callEvents(held).count(QStringLiteral("transfer failed")), 1);
        QCOMPARE(rig.probe->callEvents(talking).count(QStringLiteral("transfer failed")), 1);
        QCOMPARE(rig.probe->texts(), QStringLiteral("The attended transfer failed: ") + why);
        QList<quint16> refusedLegs;
        for (const FakePbx::Frame &f : rig.pbx.received())
            refusedLegs << (f.type == TypeIax && f.subclass == CmdTxRej ? QList<quint16> { f.dest } : QList<quint16>());
        const QList<quint16> expected = bothLegs ? QList<quint16> { heldLeg->localNo, talkingLeg->localNo }
                                                 : QList<quint16> { talkingLeg->localNo };
        QCOMPARE(refusedLegs, expected);
        QCOMPARE(rig.engine->callState(talking) & (CallComplete | CallTransfer), int(CallComplete));
        QCOMPARE(rig.engine->callState(held) == CallFree, heldLegEnds);
    }

    // A peer that stops answering loses the call, said to the user.
    void silentPeerLosesTheCall()
    {
        IaxRig rig;
        FakePbx::Dialogue *d = nullptr;
        const int call = rig.dialledCall(&d);
        QVERIFY(call >= 0);
        rig.pbx.setDropEvery(1);
        rig.engine->sendDtmf('1', call);
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->count<CallEndedEvent>(), 1, 5000);
        QCOMPARE(rig.probe->all<CallEndedEvent>().first().reason, CallEndReason::Lost);
        QCOMPARE(rig.probe->texts(), QStringLiteral("Call %1 lost: no answer from the peer").arg(call));
    }

    // The registrar's MSGCOUNT packs old messages in its high octet and new
    // ones in its low octet: only new ones count.
    void registrationMessageCount_data()
    {
        QTest::addColumn<int>("msgCount"); // -1: not sent
        QTest::addColumn<int>("count");
        QTest::newRow("not sent") << -1 << -1;
        QTest::newRow("two new, three old") << 0x0302 << 2;
        QTest::newRow("five old only") << 0x0500 << 0;
    }

    void registrationMessageCount()
    {
        QFETCH(int, msgCount);
        QFETCH(int, count);
        IaxRig rig;
        rig.pbx.setRegAckIes(msgCount < 0 ? QByteArray() : FakePbx::ieU16(IeMsgCount, quint16(msgCount)));
        QVERIFY(rig.registered() >= 0);
        QCOMPARE(rig.probe->all<RegistrationEvent>().first().messageCount, count);
    }
};

QTEST_GUILESS_MAIN(TestIax2Calls)
#include "tst_iax2calls.moc"
