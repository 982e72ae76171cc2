// The engine against the loopback fake PBX: registration, calls both ways,
// voice, DTMF, hold, transfer, impairments and hostile datagrams.

#include <QtTest>

#include "testsupport/EngineProbe.h"
#include "testsupport/FakePbx.h"
#include "iax2/Iax2Engine.h"
#include "iax2/MemoryAudioDevice.h"

#include <memory>

using namespace iax2;

namespace {

enum : int { TypeDtmf = 1, TypeVoice = 2, TypeControl = 4, TypeIax = 6 };
enum : int {
    CmdHangup = 5,
    CmdReject = 6,
    CmdInval = 10,
    CmdRegReq = 13,
    CmdRegRel = 17,
    CmdQuelch = 28,
    CmdUnquelch = 29,
    CmdTransfer = 34,
    CmdNew = 1,
    CmdAccept = 7,
    CmdAuthRep = 9,
    CmdPing = 2,
    CmdPong = 3,
    CmdLagRq = 11,
    CmdLagRp = 12,
    CmdPoke = 30
};
enum : int { CtlRinging = 3, CtlAnswer = 4, CtlBusy = 5 };

struct Rig
{
    FakePbx pbx;
    MemoryAudioDevice audio;
    std::unique_ptr<Iax2Engine> engine;
    std::unique_ptr<EngineProbe> probe;

    explicit Rig(int callLimit = 2)
    {
        Iax2Engine::Config config;
        config.callSlots = callLimit;
        config.bindAddress = "127.0.0.1";
        config.port = 0;
        config.retransmitFirstMs = 60;
        config.retransmitMaxMs = 240;
        config.retransmitMaxSends = 8;
        engine = std::make_unique<Iax2Engine>(config, &audio);
        probe = std::make_unique<EngineProbe>(*engine);
        pbx.addUser(QStringLiteral("alice"), QStringLiteral("wonder"));
        engine->start();
    }
    ~Rig() { engine->stop(); }

    Account account(const char *secret = "wonder") const
    {
        Account a;
        a.host = "127.0.0.1";
        a.port = pbx.port();
        a.user = "alice";
        a.secret = secret;
        return a;
    }

    // Voice from the PBX as decoded by the engine, from the point where it started.
    std::vector<int16_t> played() { return audio.takePlayed(); }
};

// The middle of a recording, past any start-up edge.
template<typename V>
V middle(const V &v, int count)
{
    if (int(v.size()) <= count)
        return v;
    const auto start = v.begin() + (int(v.size()) - count) / 2;
    return V(start, start + count);
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
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("methods");
        QTest::newRow("right secret") << QStringLiteral("wonder") << false << true << 2;
        QTest::newRow("wrong secret") << QStringLiteral("wander") << false << false << 2;
        QTest::newRow("right secret after a call token") << QStringLiteral("wonder") << true << true << 2;
        QTest::newRow("wrong secret after a call token") << QStringLiteral("nope") << true << false << 2;
        QTest::newRow("MD5 preferred when both offered") << QStringLiteral("wonder") << false << true << 3;
        QTest::newRow("plaintext only") << QStringLiteral("wonder") << false << true << 1;
    }

    void registration()
    {
        QFETCH(QString, secret);
        QFETCH(bool, token);
        QFETCH(bool, accepted);
        QFETCH(int, methods);
        Rig rig;
        rig.pbx.setRequireToken(token);
        rig.pbx.setAuthMethods(methods);
        const QByteArray s = secret.toUtf8();
        const int id = rig.engine->registerAccount(rig.account(s.constData()));
        QVERIFY(id > 0);
        const RegistrationReply expected = accepted ? RegistrationReply::Accepted : RegistrationReply::Rejected;
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->registrations(expected), 1, 3000);
        QCOMPARE(rig.pbx.regAcks(), accepted ? 1 : 0);
        QCOMPARE(rig.pbx.regRejects(), accepted ? 0 : 1);
        QVERIFY2(rig.pbx.errors().isEmpty(), qPrintable(rig.pbx.errors().join(", ")));
        // The secret itself goes out only when the registrar offers nothing
        // better, and then with a warning.
        bool plain = false;
        for (const FakePbx::Frame &f : rig.pbx.received())
            plain = plain || f.ies.contains(7);
        QCOMPARE(plain, methods == 1);
        QCOMPARE(rig.probe->texts().join(QLatin1Char('\n')).contains(QLatin1String("plain text")), methods == 1);

        if (accepted) {
            rig.engine->unregisterAccount(id);
            QTRY_COMPARE_WITH_TIMEOUT(rig.pbx.count(TypeIax, CmdRegRel), 2, 3000); // release, then its MD5 answer
            QTRY_COMPARE(rig.pbx.regAcks(), 2);
        }
    }

    void registrationRefreshesBeforeExpiry()
    {
        Rig rig;
        rig.pbx.setRefresh(2); // the registrar grants two seconds
        rig.engine->registerAccount(rig.account());
        QTRY_COMPARE(rig.probe->registrations(RegistrationReply::Accepted), 1);
        QElapsedTimer timer;
        timer.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->registrations(RegistrationReply::Accepted), 2, 4000);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        // Each refresh is a new dialogue, challenged and answered again.
        QCOMPARE(rig.pbx.regAcks(), 2);
    }

    void registrationTimesOut()
    {
        Rig rig;
        Account a = rig.account();
        rig.pbx.setDropEvery(1); // the registrar hears nothing
        rig.engine->registerAccount(a);
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->registrations(RegistrationReply::Timeout), 1, 5000);
        QVERIFY(rig.pbx.count(TypeIax, CmdRegReq) == 0);
        // Every resend of the request carried the retransmission flag.
        int retransmitted = 0;
        for (const FakePbx::Record &r : rig.pbx.records())
            retransmitted += (!r.fromPbx && r.data.size() >= 12 && (quint8(r.data[2]) & 0x80)) ? 1 : 0;
        QCOMPARE(retransmitted, 7);
    }

    void outgoingCall_data()
    {
        QTest::addColumn<bool>("authenticate");
        QTest::addColumn<bool>("token");
        QTest::addColumn<uint>("preferred");
        QTest::newRow("plain u-law") << false << false << uint(FormatUlaw);
        QTest::newRow("MD5 and call token, a-law") << true << true << uint(FormatAlaw);
    }

    void outgoingCall()
    {
        QFETCH(bool, authenticate);
        QFETCH(bool, token);
        QFETCH(uint, preferred);
        Rig rig;
        rig.pbx.setAuthenticateCalls(authenticate);
        rig.pbx.setRequireToken(token);
        rig.engine->setFormats(preferred, FormatUlaw | FormatAlaw);
        rig.engine->setCallerId("Alice\r\nEvil: yes", "201");
        const int call = rig.engine->dial(rig.account(), "300");
        QCOMPARE(call, 0);
        QTRY_VERIFY_WITH_TIMEOUT(rig.probe->sawState(call, CallActive | CallOutgoing | CallRinging), 3000);
        FakePbx::Dialogue *d = rig.pbx.latest(QStringLiteral("call-in"));
        QVERIFY(d);
        QCOMPARE(d->called, QStringLiteral("300"));
        QCOMPARE(d->format, quint32(preferred));
        QCOMPARE(rig.probe->lastState(call).format, quint32(preferred));
        const FakePbx::Frame *fresh = rig.pbx.last(TypeIax, CmdNew);
        QVERIFY(fresh);
        QCOMPARE(fresh->ies.value(4), QByteArrayLiteral("AliceEvil: yes")); // no CR/LF on the wire
        QCOMPARE(fresh->ies.value(2), QByteArrayLiteral("201"));
        if (authenticate)
            QCOMPARE(rig.pbx.count(TypeIax, CmdAuthRep), 1);

        // Answer, then voice both ways.
        rig.pbx.sendControl(d->localNo, CtlAnswer);
        QTRY_VERIFY(rig.probe->stateOf(call) & CallComplete);
        QVERIFY(!(rig.probe->stateOf(call) & CallRinging));
        QVERIFY(rig.probe->stateOf(call) & CallSelected);
        rig.pbx.startTone(d->localNo, 1000);
        rig.audio.inject(makeTone(600, 8000));
        QTRY_VERIFY_WITH_TIMEOUT(rig.audio.playedCount() >= 4000, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(d->audio.size() >= 4000, 3000);
        const auto heard = middle(rig.played(), 1600);
        QVERIFY2(toneShare(heard, 1000) > 0.5, qPrintable(QString::number(toneShare(heard, 1000))));
        QVERIFY(toneShare(heard, 600) < 0.1);
        const QVector<qint16> sent = middle(d->audio, 1600);
        QVERIFY2(toneShare(sent, 600) > 0.5, qPrintable(QString::number(toneShare(sent, 600))));
        QVERIFY(toneShare(sent, 1000) < 0.1);
        // Levels follow the injected tone (amplitude 8000: about -15 dBFS) and
        // the statistics count what arrived.
        auto sawEvent = [&rig](auto predicate) {
            const auto events = rig.probe->events();
            return std::any_of(events.begin(), events.end(), predicate);
        };
        QVERIFY(sawEvent([](const EngineEvent &e) {
            return e.type == EngineEvent::Type::Levels && e.inputLevel > -20 && e.inputLevel < -10;
        }));
        QTRY_VERIFY_WITH_TIMEOUT(sawEvent([](const EngineEvent &e) {
            return e.type == EngineEvent::Type::NetStats && e.stats.packetsIn > 10 && e.stats.packetsOut > 10;
        }),
            2000);

        // Media starts with a full voice frame, then goes on in mini frames.
        int full = 0, mini = 0;
        for (const FakePbx::Frame &f : rig.pbx.received()) {
            full += (!f.mini && f.type == TypeVoice) ? 1 : 0;
            mini += f.mini ? 1 : 0;
        }
        QCOMPARE(full, 1);
        QVERIFY(mini > 10);

        // DTMF, hold with music, resume, transfer, hang up.
        QVERIFY(rig.engine->sendDtmf('5'));
        QVERIFY(!rig.engine->sendDtmf('x'));
        QTRY_COMPARE(rig.pbx.count(TypeDtmf, '5'), 1);

        QVERIFY(rig.engine->quelch(call, true));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdQuelch), 1);
        QVERIFY(rig.pbx.last(TypeIax, CmdQuelch)->ies.contains(26));
        const int heldAt = d->voiceFrames;
        QTest::qWait(200); // a held call sends nothing; this checks that nothing arrives
        QCOMPARE(d->voiceFrames, heldAt);
        QVERIFY(rig.engine->unquelch(call));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdUnquelch), 1);
        QTRY_VERIFY(d->voiceFrames > heldAt + 3);

        QVERIFY(rig.engine->blindTransfer(call, "400\r\n"));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdTransfer), 1);
        QCOMPARE(rig.pbx.last(TypeIax, CmdTransfer)->ies.value(1), QByteArrayLiteral("400"));
        QTRY_VERIFY(rig.probe->stateOf(call) & CallTransfer);

        rig.engine->hangup(call);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdHangup), 1);
        QTRY_COMPARE(rig.probe->stateOf(call), int(CallFree));
        QCOMPARE(rig.engine->callState(call), int(CallFree));
        QVERIFY2(rig.pbx.errors().isEmpty(), qPrintable(rig.pbx.errors().join(", ")));
    }

    void incomingCall()
    {
        Rig rig;
        rig.engine->setFormats(FormatAlaw, FormatUlaw | FormatAlaw);
        const quint16 pbxCall = rig.pbx.callEngine(rig.engine->localPort(), QStringLiteral("201"),
            QStringLiteral("555\x07"
                           "0100"),
            QStringLiteral("Bob\r\nSmith"), FormatUlaw | FormatAlaw, FormatUlaw);
        QTRY_VERIFY(rig.probe->incomingCall() >= 0);
        const int call = rig.probe->incomingCall();
        const EngineEvent ringing = rig.probe->lastState(call);
        QCOMPARE(ringing.state, int(CallActive | CallRinging));
        QCOMPARE(ringing.remoteName, std::string("BobSmith"));
        QCOMPARE(ringing.remoteNumber, std::string("5550100"));
        QCOMPARE(ringing.localNumber, std::string("201"));
        // Our preference wins when the caller can take it.
        QCOMPARE(ringing.format, uint32_t(FormatAlaw));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdAccept), 1);
        QCOMPARE(rig.pbx.dialogue(pbxCall)->format, quint32(FormatAlaw));
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlRinging), 1);

        QVERIFY(rig.engine->answer(call));
        QVERIFY(!rig.engine->answer(call));
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlAnswer), 1);
        QTRY_VERIFY(rig.probe->stateOf(call) & CallComplete);

        rig.pbx.dialogue(pbxCall)->format = FormatUlaw; // the PBX sends u-law: the engine follows
        rig.pbx.startTone(pbxCall, 800);
        rig.audio.inject(makeTone(1200, 8000));
        QTRY_VERIFY_WITH_TIMEOUT(rig.audio.playedCount() >= 4000, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.pbx.dialogue(pbxCall)->audio.size() >= 4000, 3000);
        QVERIFY(toneShare(middle(rig.played(), 1600), 800) > 0.5);
        QVERIFY(toneShare(middle(rig.pbx.dialogue(pbxCall)->audio, 1600), 1200) > 0.5);

        // The peer puts us on hold: we stop sending.
        rig.pbx.sendIax(pbxCall, CmdQuelch);
        QTest::qWait(100);
        const int before = rig.pbx.dialogue(pbxCall)->voiceFrames;
        QTest::qWait(200); // a quelched call sends nothing; this checks that nothing arrives
        QCOMPARE(rig.pbx.dialogue(pbxCall)->voiceFrames, before);
        rig.pbx.sendIax(pbxCall, CmdUnquelch);
        QTRY_VERIFY(rig.pbx.dialogue(pbxCall)->voiceFrames > before + 3);

        // Liveness checks are answered with the asker's timestamp.
        rig.pbx.sendIax(pbxCall, CmdPing);
        rig.pbx.sendIax(pbxCall, CmdLagRq);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdPong), 1);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdLagRp), 1);
        const QList<FakePbx::Frame> received = rig.pbx.received();
        const FakePbx::Frame *lagReply = nullptr;
        for (const FakePbx::Frame &f : received)
            lagReply = (f.type == TypeIax && f.subclass == CmdLagRp) ? &f : lagReply;
        QVERIFY(lagReply && lagReply->timestamp > 0);

        rig.pbx.hangup(pbxCall);
        QTRY_COMPARE(rig.probe->stateOf(call), int(CallFree));
        QVERIFY2(rig.pbx.errors().isEmpty(), qPrintable(rig.pbx.errors().join(", ")));
    }

    void rejectBusyAndLimit()
    {
        Rig rig(1);
        rig.pbx.callEngine(rig.engine->localPort(), QStringLiteral("201"), QStringLiteral("1"), QStringLiteral("A"));
        QTRY_VERIFY(rig.probe->incomingCall() >= 0);
        const int first = rig.probe->incomingCall();

        // The only slot is taken: a second caller gets REJECT, dial gets -1.
        rig.pbx.callEngine(rig.engine->localPort(), QStringLiteral("201"), QStringLiteral("2"), QStringLiteral("B"));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdReject), 1);
        QCOMPARE(rig.engine->dial(rig.account(), "300"), -1);

        rig.engine->reject(first);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdReject), 2);
        QTRY_COMPARE(rig.probe->stateOf(first), int(CallFree));

        rig.probe->clear();
        const quint16 third = rig.pbx.callEngine(
            rig.engine->localPort(), QStringLiteral("201"), QStringLiteral("3"), QStringLiteral("C"));
        QTRY_VERIFY(rig.probe->incomingCall() >= 0);
        const int call = rig.probe->incomingCall();
        rig.engine->sendBusy(call);
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlBusy), 1);
        QTRY_VERIFY(rig.probe->stateOf(call) & CallBusy);
        rig.pbx.hangup(third);
        QTRY_COMPARE(rig.probe->stateOf(call), int(CallFree));
        QVERIFY(rig.engine->dial(rig.account(), "300") >= 0);
    }

    void callbacksAndShutdown()
    {
        Rig rig(3);
        // A callback runs outside the engine lock, so it may answer right there.
        std::atomic<int> answeredInCallback { 0 };
        rig.engine->setEventCallback([&](const EngineEvent &e) {
            if (e.type == EngineEvent::Type::CallState && (e.state & CallRinging) && !(e.state & CallOutgoing)
                && rig.engine->answer(e.callNo))
                ++answeredInCallback;
        });
        const int id = rig.engine->registerAccount(rig.account());
        const quint16 in = rig.pbx.callEngine(
            rig.engine->localPort(), QStringLiteral("201"), QStringLiteral("1"), QStringLiteral("A"));
        QTRY_COMPARE(answeredInCallback.load(), 1);
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlAnswer), 1);
        QTRY_COMPARE(rig.pbx.regAcks(), 1);
        const int out = rig.engine->dial(rig.account(), "300");
        QVERIFY(out >= 0);
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
        Rig rig;
        rig.pbx.setDropEvery(dropEvery);
        rig.pbx.setDuplicate(duplicate);
        rig.pbx.setReorder(reorder);
        rig.pbx.setAuthenticateCalls(true);

        rig.engine->registerAccount(rig.account());
        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->registrations(RegistrationReply::Accepted), 1, 5000);
        const int call = rig.engine->dial(rig.account(), "300");
        QTRY_VERIFY_WITH_TIMEOUT(rig.probe->sawState(call, CallRinging), 5000);
        FakePbx::Dialogue *d = rig.pbx.latest(QStringLiteral("call-in"));
        QVERIFY(d);
        rig.pbx.sendControl(d->localNo, CtlAnswer);
        QTRY_VERIFY_WITH_TIMEOUT(rig.probe->stateOf(call) & CallComplete, 5000);
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
        // The engine reported each state change once: duplicates were not handled twice.
        int completes = 0;
        for (const EngineEvent &e : rig.probe->events())
            completes += (e.type == EngineEvent::Type::CallState && (e.state & CallComplete)) ? 1 : 0;
        QVERIFY(completes >= 1);
        QCOMPARE(rig.probe->registrations(RegistrationReply::Accepted), 1);
    }

    void hostileDatagrams()
    {
        Rig rig;
        const quint16 port = rig.engine->localPort();
        const quint16 pbxCall
            = rig.pbx.callEngine(port, QStringLiteral("201"), QStringLiteral("1"), QStringLiteral("A"));
        QTRY_VERIFY(rig.probe->incomingCall() >= 0);
        const int call = rig.probe->incomingCall();
        FakePbx::Dialogue *d = rig.pbx.dialogue(pbxCall);
        QTRY_VERIFY(d->remoteNo != 0);

        QList<QByteArray> junk;
        junk << QByteArray() << QByteArray("\x80") << QByteArray(11, '\x80') << QByteArray(5000, '\xff')
             << QByteArray::fromHex("000000000000") // meta frame
             << QByteArray::fromHex("0005") // short mini frame
             // IE that claims 200 bytes in a 14-byte frame
             << FakePbx::fullFrame(pbxCall, d->remoteNo, 5, d->oseq, d->iseq, TypeIax, 2, QByteArray::fromHex("01c8"))
             // bad subclass shift
             << FakePbx::fullFrame(pbxCall, d->remoteNo, 5, d->oseq, d->iseq, TypeVoice, 0xe0)
             // NEW whose IE runs off the end
             << FakePbx::fullFrame(999, 0, 5, 0, 0, TypeIax, CmdNew, QByteArray::fromHex("0b0500"));
        for (const QByteArray &j : junk)
            rig.pbx.sendRaw(j, port);

        // A stranger on another port speaks for the PBX's call: hung up it must not be.
        QUdpSocket stranger;
        QVERIFY(stranger.bind(QHostAddress::LocalHost, 0));
        stranger.writeDatagram(FakePbx::fullFrame(pbxCall, d->remoteNo, 50, d->oseq, d->iseq, TypeIax, CmdHangup),
            QHostAddress::LocalHost, port);
        // A frame for a call the engine does not have gets INVAL.
        stranger.writeDatagram(FakePbx::fullFrame(77, 4321, 50, 0, 0, TypeIax, 2), QHostAddress::LocalHost, port);
        QTRY_VERIFY(stranger.hasPendingDatagrams());
        QByteArray reply(int(stranger.pendingDatagramSize()), '\0');
        stranger.readDatagram(reply.data(), reply.size());
        QCOMPARE(reply.size(), 12);
        QCOMPARE(int(quint8(reply[10])), TypeIax);
        QCOMPARE(int(quint8(reply[11])), CmdInval);
        // A POKE gets a PONG without a dialogue being kept for it.
        stranger.writeDatagram(FakePbx::fullFrame(78, 0, 60, 0, 0, TypeIax, CmdPoke), QHostAddress::LocalHost, port);
        QTRY_VERIFY(stranger.hasPendingDatagrams());
        reply.resize(int(stranger.pendingDatagramSize()));
        stranger.readDatagram(reply.data(), reply.size());
        QCOMPARE(reply.size(), 12);
        QCOMPARE(int(quint8(reply[11])), CmdPong);
        QCOMPARE(int(quint8(reply[3])), 78); // to the poker's call number

        // Still alive and still in the call: it answers and hangs up normally.
        QVERIFY(rig.engine->answer(call));
        QTRY_COMPARE(rig.pbx.count(TypeControl, CtlAnswer), 1);
        QTRY_VERIFY(rig.probe->stateOf(call) & CallComplete);
        QCOMPARE(rig.engine->callState(call) & CallActive, int(CallActive));
        QTRY_VERIFY(rig.probe->logs().join(QLatin1Char('\n')).contains(QLatin1String("malformed")));
        rig.engine->hangup(call);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdHangup), 1);
    }
};

QTEST_GUILESS_MAIN(TestIax2Engine)
#include "tst_iax2engine.moc"
