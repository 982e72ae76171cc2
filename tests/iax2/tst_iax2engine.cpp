// The engine's signalling against the loopback fake PBX.

#include <QNetworkDatagram>
#include <QtTest>

#include <atomic>
#include <memory>

#include "testsupport/IaxRig.h"

using namespace iax2;
using namespace signaltools;

namespace {

// RFC 5456 numbers, written out independently of the engine.
enum : int { TypeDtmf = 1, TypeVoice = 2, TypeControl = 4, TypeIax = 6, CtlRinging = 3, CtlAnswer, CtlBusy };
enum : int { CmdNew = 1, CmdPing, CmdPong, CmdHangup = 5, CmdReject, CmdAuthRep = 9, CmdInval, CmdLagRq, CmdLagRp };
enum : int { CmdRegReq = 13, CmdRegRel = 17, CmdQuelch = 28, CmdUnquelch, CmdPoke, CmdTransfer = 34 };
enum : int { IeCalled = 1, IeCallingName = 4, IePassword = 7, IeMusicOnHold = 26 };

// A NEW from call number source, as a stranger's phone would send it.
QByteArray newFrame(quint16 source, const QByteArray &name = "Stranger")
{
    return FakePbx::fullFrame(source, 0, 3, 0, 0, TypeIax, CmdNew,
        FakePbx::ieU16(11, 2) + FakePbx::ie(IeCalled, "201") + FakePbx::ie(IeCallingName, name) + FakePbx::ieU32(9, 4)
            + FakePbx::ieU32(8, 4));
}

#define NO_PBX_ERRORS(rig) QVERIFY2(rig.pbx.errors().isEmpty(), qPrintable(rig.pbx.errors().join(", ")))

// An independent check of the wire format: tshark's IAX2 dissector reads every
// datagram of the session without a malformed packet or an error.
void checkWithTshark(const FakePbx &pbx)
{
    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty()) {
        qWarning("tshark is not installed: the wire-format check did not run");
        return;
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("session.pcap"));
    QVERIFY(pbx.writePcap(file));
    QProcess proc;
    proc.start(tshark,
        QStringLiteral("-n -r %1 -d udp.port==%2,iax2 -T fields -E separator=| -e iax2.type -e _ws.malformed "
                       "-e _ws.expert.severity")
            .arg(file)
            .arg(pbx.port())
            .split(QLatin1Char(' ')));
    QVERIFY(proc.waitForFinished(60000));
    QCOMPARE(proc.exitCode(), 0);
    const QStringList lines
        = QString::fromUtf8(proc.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), pbx.records().size());
    for (const QString &line : lines) {
        const QStringList f = line.split(QLatin1Char('|'));
        // Severity 8388608 is "error" in the dissector's expert info.
        QVERIFY2(f.size() == 3 && f[1].isEmpty()
                && !f[2].split(QLatin1Char(',')).contains(QStringLiteral("8388608")),
            qPrintable(line));
    }
}

} // namespace

class TestIax2Engine : public QObject
{
    Q_OBJECT

private slots:
    void registration_data()
    {
        QTest::addColumn<bool>("token");
        QTest::addColumn<int>("methods");
        QTest::newRow("MD5") << false << 2;
        QTest::newRow("MD5 after a call token") << true << 2;
        QTest::newRow("MD5 preferred when both offered") << false << 3;
        QTest::newRow("plaintext only") << false << 1;
    }

    void registration()
    {
        QFETCH(bool, token);
        QFETCH(int, methods);
        IaxRig rig;
        rig.pbx.setRequireToken(token);
        rig.pbx.setAuthMethods(methods);
        rig.pbx.setRefresh(2); // granted for two seconds
        const int id = rig.engine->registerAccount(rig.account());
        QTRY_COMPARE(rig.probe->registrations(RegistrationReply::Accepted), 1);
        QCOMPARE(rig.pbx.regAcks(), 1);
        NO_PBX_ERRORS(rig);
        // The secret goes out only when nothing better is offered, with a warning.
        const QList<FakePbx::Frame> frames = rig.pbx.received();
        QCOMPARE(std::any_of(frames.cbegin(), frames.cend(), [](const auto &f) { return f.ies.contains(IePassword); }),
            methods == 1);
        QCOMPARE(rig.probe->texts().contains(QLatin1String("plain text")), methods == 1);
        QElapsedTimer refreshed;
        refreshed.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->registrations(RegistrationReply::Accepted), 2, 4000);
        QVERIFY2(refreshed.elapsed() < 2000, qPrintable(QString::number(refreshed.elapsed())));
        rig.engine->unregisterAccount(id);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdRegRel), 2); // release, then its answer to the challenge
        QTRY_COMPARE(rig.pbx.regAcks(), 3);
        checkWithTshark(rig.pbx);
    }

    // Every attempt gets a reply deadline, also once the registrar has
    // acknowledged it and nothing is left to resend. An unanswered attempt is
    // tried again after a short back-off that doubles with each failure and
    // starts over once the registrar accepts: here two failures, an acceptance
    // granted for a second, then its refresh and the retries fail again.
    void registrationRetries_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("reply");
        QTest::addColumn<int>("waitMs"); // until the attempt counts as failed
        QTest::newRow("acknowledged, never answered")
            << int(FakePbx::RegistrarFault::SilentToRequest) << int(RegistrationReply::Timeout) << 200;
        QTest::newRow("challenge answered, never answered")
            << int(FakePbx::RegistrarFault::SilentToAnswer) << int(RegistrationReply::Timeout) << 200;
        QTest::newRow("answered with INVAL")
            << int(FakePbx::RegistrarFault::Inval) << int(RegistrationReply::Timeout) << 0;
    }

    void registrationRetries()
    {
        QFETCH(int, fault);
        QFETCH(int, reply);
        QFETCH(int, waitMs);
        Iax2Engine::Config config = loopbackConfig();
        config.registrationReplyTimeoutMs = config.registrationRetryMs = 200;
        IaxRig rig(config);
        rig.pbx.setRefresh(1);
        rig.pbx.setRegistrarFault(FakePbx::RegistrarFault(fault));
        rig.engine->registerAccount(rig.account());
        QTRY_COMPARE(rig.probe->registrations(RegistrationReply(reply)), 2);
        rig.pbx.setRegistrarFault(FakePbx::RegistrarFault::None);
        QTRY_COMPARE(rig.pbx.regAcks(), 1);
        rig.pbx.setRegistrarFault(FakePbx::RegistrarFault(fault));
        const QList<int> gaps = { waitMs + 200, waitMs + 400, 1000, waitMs + 200, waitMs + 400 };
        QList<qint64> opened; // when each attempt's first REGREQ arrived
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
            opened.clear();
            for (const FakePbx::Frame &f : rig.pbx.received()) {
                if (f.type == TypeIax && f.subclass == CmdRegReq && f.dest == 0)
                    opened << f.msecs;
            }
            return opened.size() > gaps.size();
        }()),
            10000);
        for (int i = 0; i < gaps.size(); ++i) {
            const qint64 late = opened[i + 1] - opened[i] - gaps[i];
            QVERIFY2(late > -40 && late < 400, qPrintable(QStringLiteral("retry %1: %2 ms late").arg(i).arg(late)));
        }
        QCOMPARE(rig.probe->registrations(RegistrationReply::Accepted), 1);
        QCOMPARE(rig.probe->texts().contains(QLatin1String("sent no reply within 200 ms")), waitMs > 0);
    }

    // A registration the registrar refuses, challenges again once answered, or
    // challenges in a way that cannot be answered, is not pressed: no further
    // REGREQ until a whole refresh interval later, whatever the short
    // back-off, and each report says why.
    void registrationRejected_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("methods"); // AUTHMETHODS in the challenge
        QTest::addColumn<int>("requests"); // REGREQs of one attempt
        QTest::addColumn<QString>("cause");
        const int rejecting = int(FakePbx::RegistrarFault::Rejecting);
        QTest::newRow("REGREJ") << rejecting << 2 << 2 << "Registration Refused";
        QTest::newRow("MD5 answer challenged again")
            << int(FakePbx::RegistrarFault::Rechallenging) << 2 << 2 << "authentication failed";
        QTest::newRow("only RSA offered")
            << rejecting << 4 << 1 << "the registrar offers no supported authentication method";
    }

    void registrationRejected()
    {
        QFETCH(int, fault);
        QFETCH(int, methods);
        QFETCH(int, requests);
        QFETCH(QString, cause);
        // The engine's clock runs ahead of the wall clock by what the test adds.
        auto ahead = std::make_shared<std::atomic<int>>(0);
        Iax2Engine::Config config = loopbackConfig();
        config.registrationRetryMs = 50;
        config.clock = [ahead] { return std::chrono::steady_clock::now() + std::chrono::milliseconds(ahead->load()); };
        IaxRig rig(config);
        rig.pbx.setAuthMethods(methods);
        rig.pbx.setRegistrarFault(FakePbx::RegistrarFault(fault));
        const Account account = rig.account();
        const int refreshMs = account.refresh * 1000;
        const int early = refreshMs - 3000; // leaves the wall clock three seconds
        rig.engine->registerAccount(account);
        const auto regReqs = [&rig](bool openingOnly) {
            const QList<FakePbx::Frame> frames = rig.pbx.received();
            return int(std::count_if(frames.cbegin(), frames.cend(), [openingOnly](const auto &f) {
                return f.type == TypeIax && f.subclass == CmdRegReq && (!openingOnly || f.dest == 0);
            }));
        };
        const auto attempts = [&regReqs] { return regReqs(true); };
        for (int attempt = 1; attempt <= 3; ++attempt) {
            QTRY_COMPARE(rig.probe->registrations(RegistrationReply::Rejected), attempt);
            QTest::qWait(300); // six short back-offs
            *ahead += early;
            QTest::qWait(100);
            QCOMPARE(attempts(), attempt);
            QCOMPARE(regReqs(false), attempt * requests);
            *ahead += refreshMs - early;
            QTRY_COMPARE(attempts(), attempt + 1);
        }
        for (const RegistrationEvent &e : rig.probe->all<RegistrationEvent>())
            QCOMPARE(QString::fromStdString(e.cause), cause);
        QCOMPARE(rig.probe->registrations(RegistrationReply::Accepted), 0);
        NO_PBX_ERRORS(rig);
    }

    // A call each way in each codec, with one event per transition.
    void call_data()
    {
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<bool>("secure"); // MD5 and a call token
        QTest::addColumn<uint>("format");
        QTest::addColumn<bool>("hangUpHere");
        QTest::newRow("dialled, u-law, hung up here") << true << false << uint(FormatUlaw) << true;
        QTest::newRow("dialled with MD5 and a call token, GSM, hung up by the PBX")
            << true << true << uint(FormatGsm) << false;
        QTest::newRow("incoming, a-law, hung up by the PBX") << false << false << uint(FormatAlaw) << false;
        QTest::newRow("incoming, Speex, hung up here") << false << false << uint(FormatSpeex) << true;
    }

    void call()
    {
        QFETCH(bool, outgoing);
        QFETCH(bool, secure);
        QFETCH(uint, format);
        QFETCH(bool, hangUpHere);
        const uint all = FormatUlaw | FormatAlaw | FormatGsm | FormatSpeex;
        IaxRig rig;
        rig.pbx.setAuthenticateCalls(secure);
        rig.pbx.setRequireToken(secure);
        rig.pbx.setRetransmit(false); // nothing is lost: each frame is acknowledged as it comes
        rig.engine->setFormats(format, all);
        rig.engine->setCallerId("Alice\r\nEvil: yes", "201");
        FakePbx::Dialogue *d = nullptr;
        int call = -1;
        QStringList events;
        if (outgoing) {
            call = rig.engine->dial(rig.account(), "300");
            QTRY_COMPARE(rig.probe->callEvents(call), QStringList({ "accepted", "ringing" }));
            QCOMPARE(rig.probe->all<CallAcceptedEvent>().first().format, uint32_t(format));
            d = rig.pbx.latest(QStringLiteral("call-in"));
            QCOMPARE(d->called, QStringLiteral("300"));
            QCOMPARE(rig.pbx.last(TypeIax, CmdNew)->ies.value(IeCallingName), "AliceEvil: yes"); // no CR/LF on the wire
            QCOMPARE(rig.pbx.count(TypeIax, CmdAuthRep), secure ? 1 : 0);
            rig.pbx.sendControl(d->localNo, CtlAnswer);
            rig.pbx.sendControl(d->localNo, CtlAnswer); // a repeat is no new transition
            events = QStringList { "accepted", "ringing", "answered" };
        } else {
            // The caller prefers u-law but takes ours.
            const quint16 pbxCall = rig.pbx.callEngine(rig.engine->localPort(), "201",
                "555\x07"
                "0100",
                "Bob\r\nSmith", all, FormatUlaw);
            QTRY_COMPARE(rig.probe->count<IncomingCallEvent>(), 1);
            const IncomingCallEvent in = rig.probe->all<IncomingCallEvent>().first();
            call = in.callNo;
            QCOMPARE(QString::fromStdString(in.remoteName + '|' + in.remoteNumber + '|' + in.calledNumber),
                "BobSmith|5550100|201");
            QCOMPARE(in.format, uint32_t(format));
            QTRY_COMPARE(rig.pbx.count(TypeControl, CtlRinging), 1);
            d = rig.pbx.dialogue(pbxCall);
            QCOMPARE(d->format, quint32(format));
            QVERIFY(rig.engine->answer(call));
            QVERIFY(!rig.engine->answer(call));
            events = QStringList { "incoming", "answered" };
        }
        QTRY_COMPARE(rig.probe->callEvents(call), events);
        QCOMPARE(
            rig.engine->callState(call) & (CallComplete | CallRinging | CallSelected), CallComplete | CallSelected);

        // Each side hears the other's tone only; media starts with one full frame.
        const double minShare = format & (FormatUlaw | FormatAlaw) ? 0.9 : 0.6;
        rig.pbx.startTone(d->localNo, 1000);
        rig.audio.inject(tone(600, 8000, 16000));
        QTRY_VERIFY_WITH_TIMEOUT(rig.audio.playedCount() >= 8000 && d->audio.size() >= 8000, 4000);
        const std::vector<int16_t> heard = middle(rig.audio.takePlayed(), 2400);
        const QVector<qint16> sent = middle(d->audio, 2400);
        QVERIFY2(toneShare(heard, 1000) > minShare && toneShare(heard, 600) < 0.1,
            qPrintable(QString::number(toneShare(heard, 1000))));
        QVERIFY2(toneShare(sent, 600) > minShare && toneShare(sent, 1000) < 0.1,
            qPrintable(QString::number(toneShare(sent, 600))));
        QCOMPARE(rig.pbx.count(TypeVoice), 1);

        // The PBX changes to u-law: the engine decodes what the frames say.
        d->format = FormatUlaw;
        rig.audio.takePlayed();
        QTRY_VERIFY_WITH_TIMEOUT(rig.audio.playedCount() >= 4000, 3000);
        QVERIFY(toneShare(middle(rig.audio.takePlayed(), 1600), 1000) > 0.9);

        QVERIFY(rig.engine->sendDtmf('5'));
        QTRY_COMPARE(rig.pbx.count(TypeDtmf, '5'), 1);

        // Hold here with music, then by the peer: once the quelch has crossed,
        // no voice goes out until the call resumes. A frame the engine was
        // already sending may still land on a loaded machine; a stream does not.
        for (const bool byPeer : { false, true }) {
            if (byPeer)
                rig.pbx.sendIax(d->localNo, CmdQuelch);
            else
                QVERIFY(rig.engine->quelch(call, true));
            QTRY_VERIFY(byPeer ? d->acked == d->oseq : rig.pbx.count(TypeIax, CmdQuelch) == 1);
            const int heldAt = d->voiceFrames;
            QTest::qWait(300); // checks that nothing more arrives
            QVERIFY2(d->voiceFrames - heldAt <= 2, qPrintable(QString::number(d->voiceFrames - heldAt)));
            if (byPeer)
                rig.pbx.sendIax(d->localNo, CmdUnquelch);
            else
                QVERIFY(rig.engine->unquelch(call));
            QTRY_VERIFY(d->voiceFrames > heldAt + 5);
        }
        QVERIFY(rig.pbx.last(TypeIax, CmdQuelch)->ies.contains(IeMusicOnHold));

        // Liveness checks are answered with the asker's timestamp.
        rig.pbx.sendIax(d->localNo, CmdLagRq);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdLagRp), 1);
        QVERIFY(rig.pbx.last(TypeIax, CmdLagRp)->timestamp > 0);

        // A blind transfer succeeds when the PBX takes the call away.
        QVERIFY(rig.engine->blindTransfer(call, "400\r\n"));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdTransfer), 1);
        QCOMPARE(rig.pbx.last(TypeIax, CmdTransfer)->ies.value(IeCalled), QByteArrayLiteral("400"));
        QVERIFY(rig.engine->callState(call) & CallTransfer);
        if (hangUpHere) {
            rig.engine->hangup(call);
            QTRY_COMPARE(rig.pbx.count(TypeIax, CmdHangup), 1);
        } else {
            rig.pbx.hangup(d->localNo, QStringLiteral("Bye\r\nnow"));
        }
        events << "held"
               << "resumed"
               << "held by peer"
               << "resumed by peer" << (hangUpHere ? "transfer failed" : "transferred") << "ended";
        QTRY_COMPARE(rig.probe->callEvents(call), events);
        const CallEndedEvent ended = rig.probe->all<CallEndedEvent>().first();
        QVERIFY(ended.wasAnswered && ended.cause == (hangUpHere ? "" : "Byenow"));
        QCOMPARE(ended.reason, hangUpHere ? CallEndReason::HungUpHere : CallEndReason::HungUpByPeer);
        QCOMPARE(rig.engine->callState(call), int(CallFree));
        NO_PBX_ERRORS(rig);
        checkWithTshark(rig.pbx);
    }

    void rejectBusyAndLimit()
    {
        IaxRig rig(loopbackConfig(1));
        rig.callIn(rig.engine->localPort());
        const int first = rig.ringing();
        // The only slot is taken: a second caller gets REJECT, dial gets -1.
        rig.callIn(rig.engine->localPort());
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdReject), 1);
        QCOMPARE(rig.engine->dial(rig.account(), "300"), -1);
        rig.engine->reject(first);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdReject), 2);
        QTRY_COMPARE(rig.probe->callEvents(first), QStringList({ "incoming", "ended" }));
        QVERIFY(!rig.probe->all<CallEndedEvent>().first().wasAnswered);

        rig.probe->clear();
        const quint16 third = rig.callIn(rig.engine->localPort());
        const int call = rig.ringing();
        rig.engine->sendBusy(call);
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlBusy), 1);
        QVERIFY(rig.engine->callState(call) & CallBusy);
        rig.pbx.hangup(third);
        QTRY_COMPARE(rig.engine->callState(call), int(CallFree));
        QVERIFY(rig.engine->dial(rig.account(), "300") >= 0);
    }

    void callbacksAndHangupAll()
    {
        IaxRig rig(loopbackConfig(3));
        // A callback runs outside the engine lock, so it may answer right there.
        std::atomic<int> answeredInCallback { 0 };
        rig.engine->setEventCallback([&](const EngineEvent &e) {
            if (const auto *in = std::get_if<IncomingCallEvent>(&e); in && rig.engine->answer(in->callNo))
                ++answeredInCallback;
        });
        const quint16 in = rig.callIn(rig.engine->localPort());
        QTRY_COMPARE(answeredInCallback.load(), 1);
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlAnswer), 1);
        const int out = rig.engine->dial(rig.account(), "300");
        QTRY_VERIFY(rig.pbx.latest(QStringLiteral("call-in")));
        rig.engine->hangupAll();
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdHangup), 2);
        QTRY_VERIFY(rig.pbx.dialogue(in)->hungUp);
        QCOMPARE(rig.engine->callState(out), int(CallFree));
        rig.engine->setEventCallback(nullptr);
    }

    void impairedNetwork_data()
    {
        QTest::addColumn<int>("dropEvery");
        QTest::addColumn<bool>("reorder"); // the fake PBX then duplicates only what it resends
        QTest::newRow("loss and duplication") << 3 << false;
        QTest::newRow("all three") << 4 << true;
    }

    void impairedNetwork()
    {
        QFETCH(int, dropEvery);
        QFETCH(bool, reorder);
        IaxRig rig;
        rig.pbx.setDropEvery(dropEvery);
        rig.pbx.setDuplicate(true);
        rig.pbx.setReorder(reorder);
        rig.pbx.setAuthenticateCalls(true);
        QVERIFY(rig.registered() >= 0);
        FakePbx::Dialogue *d = nullptr;
        const int call = rig.dialledCall(&d);
        QVERIFY(call >= 0);
        for (char digit : { '1', '2', '3' })
            rig.engine->sendDtmf(digit, call);
        QTRY_VERIFY_WITH_TIMEOUT(rig.pbx.count(TypeDtmf, '3') >= 1, 5000);
        // Each digit reached the PBX's dialogue once, in order, whatever the network did.
        QString digits;
        for (const FakePbx::Frame &f : rig.pbx.received()) {
            if (!f.mini && f.type == TypeDtmf && !digits.endsWith(QChar(f.subclass)))
                digits += QChar(f.subclass);
        }
        QCOMPARE(digits, QStringLiteral("123"));
        rig.engine->hangup(call);
        QTRY_VERIFY_WITH_TIMEOUT(d->hungUp, 5000);
        // Duplicates were not handled twice: one event per transition.
        QTRY_COMPARE(rig.probe->callEvents(call), QStringList({ "accepted", "ringing", "answered", "ended" }));
        QCOMPARE(rig.probe->registrations(RegistrationReply::Accepted), 1);
    }

    void hostileDatagrams()
    {
        IaxRig rig;
        const quint16 port = rig.engine->localPort();
        const quint16 pbxCall = rig.callIn(port);
        const int call = rig.ringing();
        FakePbx::Dialogue *d = rig.pbx.dialogue(pbxCall);
        QTRY_VERIFY(d->remoteNo != 0);
        auto frame = [&](quint16 source, quint16 dest, int type, int subclass, const QByteArray &payload = {}) {
            return FakePbx::fullFrame(source, dest, 50, d->oseq, d->iseq, quint8(type), quint32(subclass), payload);
        };
        for (const QByteArray &junk : { QByteArray(), QByteArray("\x80"), QByteArray(11, '\x80'),
                 QByteArray(5000, '\xff'), QByteArray::fromHex("000000000000"), QByteArray::fromHex("0005"),
                 frame(pbxCall, d->remoteNo, TypeIax, CmdPing, QByteArray::fromHex("01c8")), // an IE of 200 bytes in 2
                 frame(pbxCall, d->remoteNo, TypeVoice, 0xe0), // a bad subclass shift
                 FakePbx::fullFrame(999, 0, 5, 0, 0, TypeIax, CmdNew, QByteArray::fromHex("0b0500")) })
            rig.pbx.sendRaw(junk, port);

        // A stranger on another port speaks for the PBX's call: hung up it must not be.
        QUdpSocket stranger;
        QVERIFY(stranger.bind(QHostAddress::LocalHost, 0));
        stranger.writeDatagram(frame(pbxCall, d->remoteNo, TypeIax, CmdHangup), QHostAddress::LocalHost, port);
        // A frame for a call the engine does not have gets INVAL; a POKE gets a
        // PONG to the poker's call number, without a dialogue kept for it.
        stranger.writeDatagram(FakePbx::fullFrame(77, 4321, 50, 0, 0, TypeIax, CmdPing), QHostAddress::LocalHost, port);
        stranger.writeDatagram(FakePbx::fullFrame(78, 0, 60, 0, 0, TypeIax, CmdPoke), QHostAddress::LocalHost, port);
        QByteArray replies;
        QTRY_VERIFY((replies += stranger.receiveDatagram().data()).size() >= 24);
        QCOMPARE(replies.size(), 24);
        QCOMPARE(int(replies[11]), CmdInval);
        QCOMPARE(int(replies[23]), CmdPong);
        QCOMPARE(int(replies[15]), 78);

        // Still alive and still in the call: it answers and hangs up normally.
        QVERIFY(rig.engine->answer(call));
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlAnswer), 1);
        QTRY_VERIFY(rig.probe->logs().join(QLatin1Char('\n')).contains(QLatin1String("malformed")));
        rig.engine->hangup(call);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdHangup), 1);
    }

    // Calls come from the registrar's address only (with no registration, from
    // loopback only); anyone else's NEW is rejected at once, even in a flood,
    // and logged once per address and minute.
    void callsOnlyFromThePbx()
    {
        IaxRig rig(loopbackConfig(4));
        QUdpSocket early;
        QVERIFY(early.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        early.writeDatagram(newFrame(42), QHostAddress::LocalHost, rig.engine->localPort());
        QVERIFY(rig.ringing() >= 0);
        rig.engine->reject(rig.probe->incomingCall());
        QVERIFY(rig.registered() >= 0);
        rig.probe->clear();

        // 20 addresses send 50 NEWs each while the PBX's address calls from another port.
        QUdpSocket pbxAddress;
        QVERIFY(pbxAddress.bind(QHostAddress::LocalHost, 0));
        std::vector<std::unique_ptr<QUdpSocket>> sockets;
        for (int i = 0; i < 20; ++i) {
            sockets.push_back(std::make_unique<QUdpSocket>());
            QVERIFY(sockets.back()->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(10 + i)), 0));
        }
        for (int round = 0; round < 50; ++round) {
            for (size_t i = 0; i < sockets.size(); ++i)
                sockets[i]->writeDatagram(
                    newFrame(quint16(1 + round * 20 + int(i))), QHostAddress::LocalHost, rig.engine->localPort());
            if (round == 25)
                pbxAddress.writeDatagram(newFrame(7, "Real"), QHostAddress::LocalHost, rig.engine->localPort());
            QTest::qWait(2); // paced, so that the kernel's receive buffer drops none
        }
        QTRY_COMPARE(rig.probe->count<IncomingCallEvent>(), 1);
        QCOMPARE(rig.probe->all<IncomingCallEvent>().first().remoteName, std::string("Real"));
        int rejects = 0;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
            for (const auto &s : sockets) {
                while (s->hasPendingDatagrams())
                    rejects += s->receiveDatagram().data().at(11) == CmdReject ? 1 : 0;
            }
            return rejects == 1000;
        }()),
            5000);
        QCOMPARE(
            rig.probe->logs().filter(QRegularExpression(QStringLiteral("^Refused calls from 127.0.0."))).size(), 20);
    }
};

QTEST_GUILESS_MAIN(TestIax2Engine)
#include "tst_iax2engine.moc"
