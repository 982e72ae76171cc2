// The engine's signalling against the loopback fake PBX: registration, calls
// both ways with one event per transition, hold, DTMF, transfer, the call
// limit, impairments, hostile datagrams and who may call in.

#include <QNetworkDatagram>
#include <QtTest>

#include "testsupport/IaxRig.h"

using namespace iax2;
using namespace signaltools;

namespace {

enum : int { TypeDtmf = 1, TypeVoice = 2, TypeControl = 4, TypeIax = 6 };
enum : int {
    CmdNew = 1,
    CmdPing = 2,
    CmdPong = 3,
    CmdHangup = 5,
    CmdReject = 6,
    CmdAccept = 7,
    CmdAuthRep = 9,
    CmdInval = 10,
    CmdLagRq = 11,
    CmdLagRp = 12,
    CmdRegReq = 13,
    CmdRegRel = 17,
    CmdQuelch = 28,
    CmdUnquelch = 29,
    CmdPoke = 30,
    CmdTransfer = 34
};
enum : int { CtlRinging = 3, CtlAnswer = 4, CtlBusy = 5 };
enum : int { IePassword = 7, IeMusicOnHold = 26 };

// A NEW from call number source, as a stranger's phone would send it.
QByteArray newFrame(quint16 source)
{
    return FakePbx::fullFrame(source, 0, 3, 0, 0, TypeIax, CmdNew,
        FakePbx::ieU16(11, 2) + FakePbx::ie(1, "201") + FakePbx::ieU32(9, 4) + FakePbx::ieU32(8, 4));
}

} // namespace

class TestIax2Engine : public QObject
{
    Q_OBJECT

private slots:
    void registration_data()
    {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<bool>("token");
        QTest::addColumn<int>("methods");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right secret") << QStringLiteral("wonder") << false << 2 << true;
        QTest::newRow("wrong secret") << QStringLiteral("wander") << false << 2 << false;
        QTest::newRow("right secret after a call token") << QStringLiteral("wonder") << true << 2 << true;
        QTest::newRow("wrong secret after a call token") << QStringLiteral("nope") << true << 2 << false;
        QTest::newRow("MD5 preferred when both offered") << QStringLiteral("wonder") << false << 3 << true;
        QTest::newRow("plaintext only") << QStringLiteral("wonder") << false << 1 << true;
    }

    void registration()
    {
        QFETCH(QString, secret);
        QFETCH(bool, token);
        QFETCH(int, methods);
        QFETCH(bool, accepted);
        IaxRig rig;
        rig.pbx.setRequireToken(token);
        rig.pbx.setAuthMethods(methods);
        const QByteArray s = secret.toUtf8();
        const int id = rig.engine->registerAccount(rig.account(s.constData()));
        QVERIFY(id > 0);
        QTRY_COMPARE(rig.probe->registrations(accepted ? RegistrationReply::Accepted : RegistrationReply::Rejected), 1);
        QCOMPARE(rig.pbx.regAcks(), accepted ? 1 : 0);
        QVERIFY2(rig.pbx.errors().isEmpty(), qPrintable(rig.pbx.errors().join(", ")));
        // The secret itself goes out only when the registrar offers nothing
        // better, and then with a warning.
        bool plain = false;
        for (const FakePbx::Frame &f : rig.pbx.received())
            plain = plain || f.ies.contains(IePassword);
        QCOMPARE(plain, methods == 1);
        QCOMPARE(rig.probe->texts().join(QLatin1Char('\n')).contains(QLatin1String("plain text")), methods == 1);
        if (accepted) {
            rig.engine->unregisterAccount(id);
            QTRY_COMPARE(rig.pbx.count(TypeIax, CmdRegRel), 2); // release, then its MD5 answer
            QTRY_COMPARE(rig.pbx.regAcks(), 2);
        }
    }

    void registrationRefreshesBeforeExpiry()
    {
        IaxRig rig;
        rig.pbx.setRefresh(2); // the registrar grants two seconds
        rig.engine->registerAccount(rig.account());
        QTRY_COMPARE(rig.probe->registrations(RegistrationReply::Accepted), 1);
        QElapsedTimer timer;
        timer.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->registrations(RegistrationReply::Accepted), 2, 4000);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(rig.pbx.regAcks(), 2);
    }

    // Every attempt gets a reply deadline, also once the registrar has
    // acknowledged it and nothing is left to resend; a failed attempt is tried
    // again after the retry delay.
    void registrationWithoutReply_data()
    {
        QTest::addColumn<int>("silence");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("deadline"); // the deadline ends it, not the resends
        QTest::newRow("the registrar hears nothing") << int(FakePbx::Silence::None) << 4000 << false;
        QTest::newRow("acknowledged, never answered") << int(FakePbx::Silence::ToRequest) << 400 << true;
        QTest::newRow("challenge answered, never answered") << int(FakePbx::Silence::ToAnswer) << 400 << true;
    }

    void registrationWithoutReply()
    {
        QFETCH(int, silence);
        QFETCH(int, timeoutMs);
        QFETCH(bool, deadline);
        Iax2Engine::Config config = loopbackConfig();
        config.registrationReplyTimeoutMs = timeoutMs;
        config.registrationRetryMs = 600;
        IaxRig rig(config);
        rig.pbx.setDropEvery(deadline ? 0 : 1);
        rig.pbx.setRegistrarSilence(FakePbx::Silence(silence));
        rig.engine->registerAccount(rig.account());
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->registrations(RegistrationReply::Timeout), 1, 5000);
        QCOMPARE(rig.probe->registrations(RegistrationReply::Accepted), 0);
        const QString texts = rig.probe->texts().join(QLatin1Char('\n'));
        QCOMPARE(texts.contains(QStringLiteral("sent no reply within %1 ms").arg(timeoutMs)), deadline);
        QCOMPARE(texts.contains(QLatin1String("sent no reply")), deadline);
        if (!deadline) {
            // Every resend of the request carried the retransmission flag.
            int retransmitted = 0;
            for (const FakePbx::Record &r : rig.pbx.records())
                retransmitted += (!r.fromPbx && r.data.size() >= 12 && (quint8(r.data[2]) & 0x80)) ? 1 : 0;
            QCOMPARE(retransmitted, 7);
        }
        // The registrar comes back: the next attempt registers.
        rig.pbx.setDropEvery(0);
        rig.pbx.setRegistrarSilence(FakePbx::Silence::None);
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->registrations(RegistrationReply::Accepted), 1, 5000);
    }

    void outgoingCall_data()
    {
        QTest::addColumn<bool>("authenticate");
        QTest::addColumn<uint>("preferred");
        QTest::newRow("u-law") << false << uint(FormatUlaw);
        QTest::newRow("MD5 and call token, a-law") << true << uint(FormatAlaw);
    }

    void outgoingCall()
    {
        QFETCH(bool, authenticate);
        QFETCH(uint, preferred);
        IaxRig rig;
        rig.pbx.setAuthenticateCalls(authenticate);
        rig.pbx.setRequireToken(authenticate);
        rig.engine->setFormats(preferred, FormatUlaw | FormatAlaw);
        rig.engine->setCallerId("Alice\r\nEvil: yes", "201");
        const int call = rig.engine->dial(rig.account(), "300");
        QCOMPARE(call, 0);
        QTRY_COMPARE(rig.probe->callEvents(call), QStringList({ "accepted", "ringing" }));
        QCOMPARE(rig.probe->all<CallAcceptedEvent>().first().format, uint32_t(preferred));
        FakePbx::Dialogue *d = rig.pbx.latest(QStringLiteral("call-in"));
        QVERIFY(d);
        QCOMPARE(d->called, QStringLiteral("300"));
        const FakePbx::Frame *fresh = rig.pbx.last(TypeIax, CmdNew);
        QCOMPARE(fresh->ies.value(4), QByteArrayLiteral("AliceEvil: yes")); // no CR/LF on the wire
        QCOMPARE(rig.pbx.count(TypeIax, CmdAuthRep), authenticate ? 1 : 0);

        // Answered: voice both ways, each side hearing only the other's tone.
        rig.pbx.sendControl(d->localNo, CtlAnswer);
        rig.pbx.sendControl(d->localNo, CtlAnswer); // a repeat is no new transition
        QTRY_COMPARE(rig.probe->lastCallEvent(call), QStringLiteral("answered"));
        QCOMPARE(
            rig.engine->callState(call) & (CallComplete | CallRinging | CallSelected), CallComplete | CallSelected);
        rig.pbx.startTone(d->localNo, 1000);
        rig.audio.inject(tone(600, 8000, 8000));
        QTRY_VERIFY_WITH_TIMEOUT(rig.audio.playedCount() >= 4000 && d->audio.size() >= 4000, 3000);
        const auto heard = middle(rig.audio.takePlayed(), 1600);
        QVERIFY2(toneShare(heard, 1000) > 0.5 && toneShare(heard, 600) < 0.1,
            qPrintable(QString::number(toneShare(heard, 1000))));
        const QVector<qint16> sent = middle(d->audio, 1600);
        QVERIFY2(toneShare(sent, 600) > 0.5 && toneShare(sent, 1000) < 0.1,
            qPrintable(QString::number(toneShare(sent, 600))));
        // Levels follow the injected tone (about -15 dBFS); the statistics count the voice.
        const QList<LevelsEvent> levels = rig.probe->all<LevelsEvent>();
        QVERIFY(std::all_of(levels.cbegin(), levels.cend(), [](const LevelsEvent &l) { return l.input < -10; }));
        QVERIFY(std::any_of(levels.cbegin(), levels.cend(), [](const LevelsEvent &l) { return l.input > -20; }));
        QTRY_VERIFY(!rig.probe->all<NetStatsEvent>().isEmpty()
            && rig.probe->all<NetStatsEvent>().last().stats.packetsIn > 10
            && rig.probe->all<NetStatsEvent>().last().stats.packetsOut > 10);
        // Media starts with a full voice frame, then goes on in mini frames.
        QCOMPARE(rig.pbx.countType(TypeVoice), 1);

        // DTMF, hold with music (nothing is sent while held), resume, transfer, hang up.
        QVERIFY(rig.engine->sendDtmf('5'));
        QVERIFY(!rig.engine->sendDtmf('x'));
        QTRY_COMPARE(rig.pbx.count(TypeDtmf, '5'), 1);
        QVERIFY(rig.engine->quelch(call, true));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdQuelch), 1);
        QVERIFY(rig.pbx.last(TypeIax, CmdQuelch)->ies.contains(IeMusicOnHold));
        const int heldAt = d->voiceFrames;
        QTest::qWait(200); // checks that nothing arrives
        QCOMPARE(d->voiceFrames, heldAt);
        QVERIFY(rig.engine->unquelch(call));
        QTRY_VERIFY(d->voiceFrames > heldAt + 3);
        QVERIFY(rig.engine->blindTransfer(call, "400\r\n"));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdTransfer), 1);
        QCOMPARE(rig.pbx.last(TypeIax, CmdTransfer)->ies.value(1), QByteArrayLiteral("400"));
        QVERIFY(rig.engine->callState(call) & CallTransfer);
        rig.engine->hangup(call);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdHangup), 1);
        QTRY_COMPARE(rig.probe->callEvents(call),
            QStringList({ "accepted", "ringing", "answered", "held", "resumed", "transfer failed", "ended" }));
        const CallEndedEvent ended = rig.probe->all<CallEndedEvent>().first();
        QVERIFY(ended.wasAnswered);
        QCOMPARE(ended.reason, CallEndReason::HungUpHere);
        QCOMPARE(rig.engine->callState(call), int(CallFree));
        QVERIFY2(rig.pbx.errors().isEmpty(), qPrintable(rig.pbx.errors().join(", ")));
    }

    void incomingCall()
    {
        IaxRig rig;
        rig.engine->setFormats(FormatAlaw, FormatUlaw | FormatAlaw);
        const quint16 pbxCall = rig.pbx.callEngine(rig.engine->localPort(), QStringLiteral("201"),
            QStringLiteral("555\x07"
                           "0100"),
            QStringLiteral("Bob\r\nSmith"), FormatUlaw | FormatAlaw, FormatUlaw);
        QTRY_COMPARE(rig.probe->count<IncomingCallEvent>(), 1);
        const IncomingCallEvent ringing = rig.probe->all<IncomingCallEvent>().first();
        const int call = ringing.callNo;
        QCOMPARE(ringing.remoteName, std::string("BobSmith"));
        QCOMPARE(ringing.remoteNumber, std::string("5550100"));
        QCOMPARE(ringing.calledNumber, std::string("201"));
        // Our preference wins when the caller can take it.
        QCOMPARE(ringing.format, uint32_t(FormatAlaw));
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlRinging), 1);
        QCOMPARE(rig.pbx.dialogue(pbxCall)->format, quint32(FormatAlaw));

        QVERIFY(rig.engine->answer(call));
        QVERIFY(!rig.engine->answer(call));
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlAnswer), 1);
        // The PBX sends u-law instead: the engine follows.
        rig.pbx.dialogue(pbxCall)->format = FormatUlaw;
        rig.pbx.startTone(pbxCall, 800);
        QTRY_VERIFY_WITH_TIMEOUT(rig.audio.playedCount() >= 4000, 3000);
        QVERIFY(toneShare(middle(rig.audio.takePlayed(), 1600), 800) > 0.5);

        // The peer puts us on hold: we stop sending until it resumes.
        rig.pbx.sendIax(pbxCall, CmdQuelch);
        QTRY_COMPARE(rig.probe->lastCallEvent(call), QStringLiteral("held by peer"));
        const int before = rig.pbx.dialogue(pbxCall)->voiceFrames;
        QTest::qWait(200); // checks that nothing arrives
        QCOMPARE(rig.pbx.dialogue(pbxCall)->voiceFrames, before);
        rig.pbx.sendIax(pbxCall, CmdUnquelch);
        QTRY_VERIFY(rig.pbx.dialogue(pbxCall)->voiceFrames > before + 3);

        // Liveness checks are answered with the asker's timestamp.
        rig.pbx.sendIax(pbxCall, CmdPing);
        rig.pbx.sendIax(pbxCall, CmdLagRq);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdPong), 1);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdLagRp), 1);
        QVERIFY(rig.pbx.last(TypeIax, CmdLagRp)->timestamp > 0);

        rig.pbx.hangup(pbxCall, QStringLiteral("Bye\r\nnow"));
        QTRY_COMPARE(rig.probe->callEvents(call),
            QStringList({ "incoming", "answered", "held by peer", "resumed by peer", "ended" }));
        const CallEndedEvent ended = rig.probe->all<CallEndedEvent>().first();
        QCOMPARE(ended.reason, CallEndReason::HungUpByPeer);
        QCOMPARE(ended.cause, std::string("Byenow"));
        QVERIFY(ended.wasAnswered);
        QVERIFY2(rig.pbx.errors().isEmpty(), qPrintable(rig.pbx.errors().join(", ")));
    }

    void rejectBusyAndLimit()
    {
        IaxRig rig(loopbackConfig(1));
        rig.callIn(rig.engine->localPort());
        QTRY_VERIFY(rig.probe->incomingCall() >= 0);
        const int first = rig.probe->incomingCall();
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
        QTRY_VERIFY(rig.probe->incomingCall() >= 0);
        const int call = rig.probe->incomingCall();
        rig.engine->sendBusy(call);
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlBusy), 1);
        QVERIFY(rig.engine->callState(call) & CallBusy);
        rig.pbx.hangup(third);
        QTRY_COMPARE(rig.engine->callState(call), int(CallFree));
        QVERIFY(rig.engine->dial(rig.account(), "300") >= 0);
    }

    void callbacksAndShutdown()
    {
        IaxRig rig(loopbackConfig(3));
        // A callback runs outside the engine lock, so it may answer right there.
        std::atomic<int> answeredInCallback { 0 };
        rig.engine->setEventCallback([&](const EngineEvent &e) {
            if (const auto *in = std::get_if<IncomingCallEvent>(&e); in && rig.engine->answer(in->callNo))
                ++answeredInCallback;
        });
        const int id = rig.engine->registerAccount(rig.account());
        const quint16 in = rig.callIn(rig.engine->localPort());
        QTRY_COMPARE(answeredInCallback.load(), 1);
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlAnswer), 1);
        QTRY_COMPARE(rig.pbx.regAcks(), 1);
        const int out = rig.engine->dial(rig.account(), "300");
        QTRY_VERIFY(rig.pbx.latest(QStringLiteral("call-in")));

        // The quit routine: unregister, hang up everything, stop the thread.
        rig.engine->unregisterAccount(id);
        rig.engine->hangupAll();
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdHangup), 2);
        QTRY_VERIFY(rig.pbx.dialogue(in)->hungUp);
        QTRY_COMPARE(rig.pbx.regAcks(), 2);
        QCOMPARE(rig.engine->callState(out), int(CallFree));
        rig.engine->setEventCallback(nullptr);
        rig.engine->stop();
        QVERIFY(!rig.engine->isRunning());
    }

    void impairedNetwork_data()
    {
        QTest::addColumn<int>("dropEvery");
        QTest::addColumn<bool>("duplicate");
        QTest::addColumn<bool>("reorder");
        QTest::newRow("loss") << 3 << false << false;
        QTest::newRow("duplication") << 0 << true << false;
        QTest::newRow("reordering") << 0 << false << true;
        QTest::newRow("all three") << 4 << true << true;
    }

    void impairedNetwork()
    {
        QFETCH(int, dropEvery);
        QFETCH(bool, duplicate);
        QFETCH(bool, reorder);
        IaxRig rig;
        rig.pbx.setDropEvery(dropEvery);
        rig.pbx.setDuplicate(duplicate);
        rig.pbx.setReorder(reorder);
        rig.pbx.setAuthenticateCalls(true);
        rig.engine->registerAccount(rig.account());
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->registrations(RegistrationReply::Accepted), 1, 5000);
        const int call = rig.engine->dial(rig.account(), "300");
        QTRY_VERIFY_WITH_TIMEOUT(rig.probe->count<RingingOutEvent>() == 1, 5000);
        FakePbx::Dialogue *d = rig.pbx.latest(QStringLiteral("call-in"));
        rig.pbx.sendControl(d->localNo, CtlAnswer);
        QTRY_VERIFY_WITH_TIMEOUT(rig.engine->callState(call) & CallComplete, 5000);
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
        QTRY_VERIFY(rig.probe->incomingCall() >= 0);
        const int call = rig.probe->incomingCall();
        FakePbx::Dialogue *d = rig.pbx.dialogue(pbxCall);
        QTRY_VERIFY(d->remoteNo != 0);

        const QList<QByteArray> junk = { QByteArray(), QByteArray("\x80"), QByteArray(11, '\x80'),
            QByteArray(5000, '\xff'), QByteArray::fromHex("000000000000"), QByteArray::fromHex("0005"),
            // an IE that claims 200 bytes in a 14-byte frame
            FakePbx::fullFrame(pbxCall, d->remoteNo, 5, d->oseq, d->iseq, TypeIax, 2, QByteArray::fromHex("01c8")),
            // a bad subclass shift
            FakePbx::fullFrame(pbxCall, d->remoteNo, 5, d->oseq, d->iseq, TypeVoice, 0xe0),
            // a NEW whose IE runs off the end
            FakePbx::fullFrame(999, 0, 5, 0, 0, TypeIax, CmdNew, QByteArray::fromHex("0b0500")) };
        for (const QByteArray &j : junk)
            rig.pbx.sendRaw(j, port);

        // A stranger on another port speaks for the PBX's call: hung up it must not be.
        QUdpSocket stranger;
        QVERIFY(stranger.bind(QHostAddress::LocalHost, 0));
        stranger.writeDatagram(FakePbx::fullFrame(pbxCall, d->remoteNo, 50, d->oseq, d->iseq, TypeIax, CmdHangup),
            QHostAddress::LocalHost, port);
        // A frame for a call the engine does not have gets INVAL; a POKE gets a
        // PONG to the poker's call number, without a dialogue kept for it.
        stranger.writeDatagram(FakePbx::fullFrame(77, 4321, 50, 0, 0, TypeIax, 2), QHostAddress::LocalHost, port);
        stranger.writeDatagram(FakePbx::fullFrame(78, 0, 60, 0, 0, TypeIax, CmdPoke), QHostAddress::LocalHost, port);
        QByteArray replies;
        QTRY_VERIFY((replies += stranger.receiveDatagram().data()).size() >= 24);
        QCOMPARE(replies.size(), 24);
        QCOMPARE(int(quint8(replies[11])), CmdInval);
        QCOMPARE(int(quint8(replies[23])), CmdPong);
        QCOMPARE(int(quint8(replies[15])), 78);

        // Still alive and still in the call: it answers and hangs up normally.
        QVERIFY(rig.engine->answer(call));
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlAnswer), 1);
        QTRY_VERIFY(rig.probe->logs().join(QLatin1Char('\n')).contains(QLatin1String("malformed")));
        rig.engine->hangup(call);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdHangup), 1);
    }

    // Calls come from the registrar's address only (with no registration, from
    // loopback only); anyone else's NEW is rejected at once and logged once
    // per address and minute.
    void callsOnlyFromThePbx_data()
    {
        QTest::addColumn<bool>("registered");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("registered, another address") << true << QStringLiteral("127.0.0.2") << false;
        QTest::newRow("registered, the PBX's address, another port") << true << QStringLiteral("127.0.0.1") << true;
        QTest::newRow("not registered, loopback") << false << QStringLiteral("127.0.0.2") << true;
    }

    void callsOnlyFromThePbx()
    {
        QFETCH(bool, registered);
        QFETCH(QString, source);
        QFETCH(bool, accepted);
        IaxRig rig;
        if (registered) {
            rig.engine->registerAccount(rig.account());
            QTRY_COMPARE(rig.probe->registrations(RegistrationReply::Accepted), 1);
        }
        QUdpSocket caller;
        QVERIFY(caller.bind(QHostAddress(source), 0));
        caller.writeDatagram(newFrame(42), QHostAddress::LocalHost, rig.engine->localPort());
        if (accepted) {
            QTRY_COMPARE(rig.probe->count<IncomingCallEvent>(), 1);
            return;
        }
        QTRY_VERIFY(caller.hasPendingDatagrams());
        const QByteArray reply = caller.receiveDatagram().data();
        QCOMPARE(int(quint8(reply[11])), CmdReject);
        QCOMPARE(rig.probe->count<IncomingCallEvent>(), 0);
    }

    void floodFromOtherAddresses()
    {
        IaxRig rig(loopbackConfig(4));
        rig.engine->registerAccount(rig.account());
        QTRY_COMPARE(rig.probe->registrations(RegistrationReply::Accepted), 1);
        // 20 addresses send 50 NEWs each while the PBX places a real call.
        QList<QUdpSocket *> sockets;
        for (int i = 0; i < 20; ++i) {
            auto *s = new QUdpSocket(this);
            QVERIFY(s->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(10 + i)), 0));
            sockets << s;
        }
        for (int round = 0; round < 50; ++round) {
            for (int i = 0; i < sockets.size(); ++i)
                sockets[i]->writeDatagram(
                    newFrame(quint16(1 + round * 20 + i)), QHostAddress::LocalHost, rig.engine->localPort());
            if (round == 25)
                rig.callIn(rig.engine->localPort(), 4, QStringLiteral("5551234"), QStringLiteral("Real"));
            // Paced so that the kernel's receive buffer does not drop any.
            QTest::qWait(2);
        }
        QTRY_COMPARE(rig.probe->count<IncomingCallEvent>(), 1);
        QCOMPARE(rig.probe->all<IncomingCallEvent>().first().remoteName, std::string("Real"));
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlRinging), 1);
        int rejects = 0;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
            for (QUdpSocket *s : sockets) {
                while (s->hasPendingDatagrams())
                    rejects += quint8(s->receiveDatagram().data().at(11)) == CmdReject ? 1 : 0;
            }
            return rejects == 1000;
        }()),
            5000);
        int refusals = 0;
        for (const QString &line : rig.probe->logs())
            refusals += line.startsWith(QLatin1String("Refused calls from 127.0.0.")) ? 1 : 0;
        QCOMPARE(refusals, 20);
        qDeleteAll(sockets);
    }
};

QTEST_GUILESS_MAIN(TestIax2Engine)
#include "tst_iax2engine.moc"
