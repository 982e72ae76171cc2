// The softphone's Qt layer over the IAX2 engine, against the loopback fake PBX:
// events arrive as signals on the GUI thread, the account registers and
// re-registers, codecs are masked, and quitting releases before it stops.

#include <QtEndian>
#include <QtTest>

#include "testsupport/EngineProbe.h"
#include "testsupport/FakePbx.h"
#include "testsupport/IaxModem.h"
#include "core/Logger.h"
#include "iax2/MemoryAudioDevice.h"
#include "softphone/QuorIaxClient.h"
#include "softphone/TVoipAccount.h"
#include "testsupport/TestDataDir.h"

#include <memory>

namespace {

enum : int { TypeControl = 4, TypeIax = 6, TypeComfortNoise = 10 };
enum : int { CmdNew = 1, CmdHangup = 5, CmdReject = 6, CmdRegReq = 13, CmdRegRel = 17, CmdTransfer = 34 };
enum : int { CtlAnswer = 4 };
enum : int { IeCalled = 1 };

QuorIaxClient::Options loopbackOptions(iax2::AudioDevice *audio)
{
    QuorIaxClient::Options o;
    o.engine.bindAddress = "127.0.0.1";
    o.engine.port = 0;
    o.engine.retransmitFirstMs = 60;
    o.engine.retransmitMaxMs = 240;
    o.engine.retransmitMaxSends = 6;
    o.audio = audio;
    o.useSoundCard = false;
    return o;
}

struct Rig
{
    TestDataDir data;
    FakePbx pbx;
    iax2::MemoryAudioDevice audio;
    std::unique_ptr<QuorIaxClient> client;

    Rig()
    {
        Logger::setProgramLog(QStringLiteral("quorer.log"));
        pbx.addUser(QStringLiteral("alice"), QStringLiteral("wonder"));
        client = std::make_unique<QuorIaxClient>(loopbackOptions(&audio));
    }

    TVoipAccount account(const QString &secret = QStringLiteral("wonder")) const
    {
        return TVoipAccount(QStringLiteral("127.0.0.1"), pbx.port(), QStringLiteral("alice"), secret,
                            QStringLiteral("Alice"), QStringLiteral("201"));
    }

    QString log() const { return QString::fromUtf8(data.read(QStringLiteral("quorer.log"))); }

    // The PBX calls in; returns the client's call number once it rings (-1 on time-out).
    int callIn(quint16 *pbxCall, const QString &name = QStringLiteral("Bob"), quint32 format = 4)
    {
        QSignalSpy ringing(client.get(), &QuorIaxClient::signalRingingIn);
        *pbxCall = pbx.callEngine(client->localPort(), QStringLiteral("201"), QStringLiteral("5551234"), name,
                                  format, format);
        return ringing.wait(3000) ? ringing.first().at(0).toInt() : -1;
    }
};

int countOf(const QSignalSpy &messages, TMessageType type)
{
    int n = 0;
    for (const QList<QVariant> &m : messages)
        n += m.at(1).value<TMessageType>() == type ? 1 : 0;
    return n;
}

// Index of the first frame of a kind the PBX received, -1 when none.
int firstIndex(const FakePbx &pbx, int type, quint32 subclass)
{
    const QList<FakePbx::Frame> frames = pbx.received();
    for (int i = 0; i < frames.size(); ++i) {
        if (!frames[i].mini && frames[i].type == type && frames[i].subclass == subclass)
            return i;
    }
    return -1;
}

} // namespace

class TestQuorIaxClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // PortAudio reads ALSA's configuration once: a null PCM of our own, so the
        // sound-card test never touches a real card.
        QVERIFY(m_alsa.isValid());
        const QString conf = m_alsa.filePath(QStringLiteral("asound.conf"));
        QFile file(conf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("pcm.!default { type null }\n");
        file.close();
        qputenv("ALSA_CONFIG_PATH", conf.toLocal8Bit());
        qputenv("JACK_NO_START_SERVER", "1");
    }

    void portFallback_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("valid");
        QTest::newRow("the default") << QStringLiteral("4569") << 4569 << true;
        QTest::newRow("another port, blanks around it") << QStringLiteral(" 4570 ") << 4570 << true;
        QTest::newRow("the highest port") << QStringLiteral("65535") << 65535 << true;
        QTest::newRow("empty") << QString() << 4569 << false;
        QTest::newRow("letters") << QStringLiteral("iax") << 4569 << false;
        QTest::newRow("zero") << QStringLiteral("0") << 4569 << false;
        QTest::newRow("negative") << QStringLiteral("-5060") << 4569 << false;
        QTest::newRow("past the range") << QStringLiteral("65536") << 4569 << false;
        QTest::newRow("a fraction") << QStringLiteral("4569.5") << 4569 << false;
        QTest::newRow("CR LF behind it") << QStringLiteral("4570\r\nEvil: 1") << 4569 << false;
    }

    void portFallback()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        QFETCH(bool, valid);
        TestDataDir data;
        Logger::setProgramLog(QStringLiteral("quorer.log"));
        TVoipAccount account;
        account.setPort(5000);
        QCOMPARE(account.setPortText(text), valid);
        QCOMPARE(int(account.port()), port);
        const QString log = QString::fromUtf8(data.read(QStringLiteral("quorer.log")));
        QCOMPARE(log.contains(QStringLiteral("is not a port number; using 4569")), !valid);
        // A forged line never enters the log.
        QVERIFY(!log.contains(QStringLiteral("\nEvil")));

        TVoipAccount zero(QStringLiteral("  pbx.example  "), 0, QStringLiteral("u"), QString(), QString(), QString());
        QCOMPARE(int(zero.port()), 4569);
        QCOMPARE(zero.server(), QStringLiteral("pbx.example"));
    }

    void ringingInArrivesOnGuiThread_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expectedName");
        QTest::addColumn<bool>("answer");
        QTest::newRow("answered here") << QStringLiteral("Bob Caller") << QStringLiteral("Bob Caller") << true;
        QTest::newRow("missed") << QStringLiteral("Bob Caller") << QStringLiteral("Bob Caller") << false;
        QTest::newRow("control characters in the name")
            << QStringLiteral("Bob\r\nAction: Hangup") << QStringLiteral("BobAction: Hangup") << true;
    }

    void ringingInArrivesOnGuiThread()
    {
        QFETCH(QString, name);
        QFETCH(QString, expectedName);
        QFETCH(bool, answer);
        Rig rig;
        QThread *gui = QThread::currentThread();
        int ringingCall = -1;
        QString ringingName;
        QString ringingNumber;
        bool onGui = false;
        connect(rig.client.get(), &QuorIaxClient::signalRingingIn, this,
                [&](int call, const QString &n, const QString &number) {
                    ringingCall = call;
                    ringingName = n;
                    ringingNumber = number;
                    onGui = QThread::currentThread() == gui;
                });
        QSignalSpy answered(rig.client.get(), &QuorIaxClient::signalAnswered);
        QSignalSpy hungUp(rig.client.get(), &QuorIaxClient::signalHungUp);
        QSignalSpy levels(rig.client.get(), &QuorIaxClient::signalLevels);

        const quint16 pbxCall =
            rig.pbx.callEngine(rig.client->localPort(), QStringLiteral("201"), QStringLiteral("5551234"), name);
        QTRY_VERIFY(ringingCall >= 0);
        QVERIFY(onGui);
        QCOMPARE(ringingName, expectedName);
        QCOMPARE(ringingNumber, QStringLiteral("5551234"));

        if (answer) {
            rig.audio.inject(std::vector<int16_t>(80000, 8000));
            QVERIFY(rig.client->answer(ringingCall));
            QTRY_COMPARE(answered.count(), 1);
            QCOMPARE(answered.first().at(0).toInt(), ringingCall);
            QTRY_COMPARE(rig.pbx.count(TypeControl, CtlAnswer), 1);
            // The engine's levels, every 100 ms while the call has audio.
            QTRY_VERIFY(!levels.isEmpty());
            QTRY_VERIFY(levels.last().at(0).toFloat() > -40.0f);
        }
        rig.pbx.hangup(pbxCall);
        QTRY_COMPARE(hungUp.count(), 1);
        QCOMPARE(hungUp.first().at(0).toInt(), ringingCall);
        QCOMPARE(hungUp.first().at(1).toBool(), answer);
        QCOMPARE(answered.count(), answer ? 1 : 0);
        // The engine's log lines reach the program log.
        QTRY_VERIFY(rig.log().contains(QStringLiteral("IAX2: Incoming call")));
    }

    void outgoingCall_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("far end hangs up") << QStringLiteral("far end");
        QTest::newRow("we hang up") << QStringLiteral("hang up");
        QTest::newRow("we quit") << QStringLiteral("quit");
    }

    void outgoingCall()
    {
        QFETCH(QString, ending);
        Rig rig;
        QSignalSpy registered(rig.client.get(), &QuorIaxClient::signalRegistration);
        QSignalSpy accepted(rig.client.get(), &QuorIaxClient::signalAccepted);
        QSignalSpy ringing(rig.client.get(), &QuorIaxClient::signalRingingOut);
        QSignalSpy answered(rig.client.get(), &QuorIaxClient::signalAnswered);
        QSignalSpy hungUp(rig.client.get(), &QuorIaxClient::signalHungUp);
        rig.client->applyAccount(rig.account());
        QTRY_COMPARE(registered.count(), 1);

        const int call = rig.client->dial(QStringLiteral(" 300 "));
        QVERIFY(call >= 0);
        QTRY_COMPARE(ringing.count(), 1);
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(accepted.first().at(0).toInt(), call);
        QCOMPARE(ringing.first().at(0).toInt(), call);
        FakePbx::Dialogue *d = rig.pbx.latest(QStringLiteral("call-in"));
        QVERIFY(d);
        QCOMPARE(d->called, QStringLiteral("300"));
        QCOMPARE(answered.count(), 0);
        rig.pbx.sendControl(d->localNo, CtlAnswer);
        QTRY_COMPARE(answered.count(), 1);
        QCOMPARE(answered.first().at(0).toInt(), call);

        if (ending == QLatin1String("far end")) {
            rig.pbx.hangup(d->localNo);
        } else if (ending == QLatin1String("hang up")) {
            rig.client->hangup(call);
            QTRY_VERIFY(d->hungUp);
        } else {
            rig.pbx.clearReceived();
            rig.client->shutdown();
            // Checked before this thread runs its event loop again: what the PBX has
            // now, it read during the client's wait, while the engine still ran.
            QVERIFY(!rig.client->isRunning());
            const int release = firstIndex(rig.pbx, TypeIax, CmdRegRel);
            QVERIFY(release >= 0);
            QVERIFY(firstIndex(rig.pbx, TypeIax, CmdHangup) > release);
            QCOMPARE(rig.pbx.regAcks(), 2); // the registration and its release
            QVERIFY(d->hungUp);
            // The hang-up is delivered before shutdown() returns.
            QCOMPARE(hungUp.count(), 1);

            // Afterwards nothing reaches the network.
            const int frames = rig.pbx.received().size();
            QCOMPARE(rig.client->dial(QStringLiteral("300")), -1);
            rig.client->applyAccount(rig.account());
            rig.client->shutdown();
            QTest::qWait(100);
            QCOMPARE(rig.pbx.received().size(), frames);
        }
        QTRY_COMPARE(hungUp.count(), 1);
        QCOMPARE(hungUp.first().at(0).toInt(), call);
        QCOMPARE(hungUp.first().at(1).toBool(), true);
        QCOMPARE(answered.count(), 1);
    }

    void registration_data()
    {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<bool>("silentPbx");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("state");
        QTest::newRow("accepted") << QStringLiteral("wonder") << false << int(QuorIaxClient::RegistrationAccepted)
                                  << int(TVoipAccount::Registered);
        QTest::newRow("rejected") << QStringLiteral("wander") << false << int(QuorIaxClient::RegistrationRejected)
                                  << int(TVoipAccount::Rejected);
        QTest::newRow("no answer") << QStringLiteral("wonder") << true << int(QuorIaxClient::RegistrationTimeout)
                                   << int(TVoipAccount::TimedOut);
    }

    void registration()
    {
        QFETCH(QString, secret);
        QFETCH(bool, silentPbx);
        QFETCH(int, result);
        QFETCH(int, state);
        Rig rig;
        rig.pbx.setDropEvery(silentPbx ? 1 : 0);
        QSignalSpy registered(rig.client.get(), &QuorIaxClient::signalRegistration);
        QSignalSpy messages(rig.client.get(), &QuorIaxClient::signalMessage);
        rig.client->applyAccount(rig.account(secret));
        QCOMPARE(int(rig.client->account().registrationState()), int(TVoipAccount::Registering));
        QTRY_COMPARE_WITH_TIMEOUT(registered.count(), 1, 5000);
        QCOMPARE(registered.first().at(0).toInt(), result);
        QCOMPARE(int(rig.client->account().registrationState()), state);
        if (result == QuorIaxClient::RegistrationRejected) {
            // The engine's text event, as an error message.
            QTRY_COMPARE(countOf(messages, MessageError), 1);
            QVERIFY(messages.last().at(0).toString().startsWith(QStringLiteral("Registration rejected")));
            QTRY_VERIFY(rig.log().contains(QStringLiteral("IAX2: Registration rejected")));
        }
    }

    void reRegistersOnlyOnChange()
    {
        Rig rig;
        QSignalSpy registered(rig.client.get(), &QuorIaxClient::signalRegistration);
        rig.client->applyAccount(rig.account());
        QTRY_COMPARE(registered.count(), 1);
        QCOMPARE(rig.pbx.regAcks(), 1);

        // Only the caller ID changed: the registration stands.
        TVoipAccount renamed = rig.account();
        renamed.setCallerIdName(QStringLiteral("Alice Liddell"));
        rig.client->applyAccount(renamed);
        QCOMPARE(int(rig.client->account().registrationState()), int(TVoipAccount::Registered));
        QCOMPARE(rig.client->account().callerIdName(), QStringLiteral("Alice Liddell"));

        // A new secret: the old registration is released, a new one made.
        rig.pbx.addUser(QStringLiteral("alice"), QStringLiteral("looking-glass"));
        rig.client->applyAccount(rig.account(QStringLiteral("looking-glass")));
        QTRY_COMPARE(registered.count(), 2);
        QCOMPARE(registered.last().at(0).toInt(), int(QuorIaxClient::RegistrationAccepted));
        QTRY_VERIFY(rig.pbx.count(TypeIax, CmdRegRel) >= 1);
        QCOMPARE(rig.pbx.count(TypeIax, CmdRegReq), 4); // two registrations, each challenged once

        // An account without a server registers nowhere and says so.
        QSignalSpy messages(rig.client.get(), &QuorIaxClient::signalMessage);
        rig.client->applyAccount(TVoipAccount());
        QCOMPARE(int(rig.client->account().registrationState()), int(TVoipAccount::Unregistered));
        QCOMPARE(messages.count(), 1);
        QCOMPARE(rig.client->dial(QStringLiteral("300")), -1);
    }

    void codecMask_data()
    {
        QTest::addColumn<int>("allowed");
        QTest::addColumn<int>("preferred");
        QTest::addColumn<int>("effectiveAllowed");
        QTest::addColumn<int>("effectivePreferred");
        QTest::addColumn<int>("warnings");
        QTest::addColumn<int>("errors");
        // Codec bits: GSM 2, u-law 4, a-law 8, Speex 512, iLBC 1024.
        QTest::newRow("preferred is allowed") << (4 | 8) << 8 << (4 | 8) << 8 << 0 << 0;
        QTest::newRow("preferred not allowed: the first allowed") << (4 | 8) << 2 << (4 | 8) << 4 << 0 << 0;
        QTest::newRow("iLBC preferred") << (4 | 1024) << 1024 << 4 << 4 << 1 << 0;
        QTest::newRow("iLBC allowed beside others") << (8 | 1024) << 8 << 8 << 8 << 0 << 0;
        QTest::newRow("iLBC alone") << 1024 << 1024 << 0 << 0 << 1 << 1;
        QTest::newRow("nothing allowed") << 0 << 4 << 0 << 0 << 0 << 1;
    }

    void codecMask()
    {
        QFETCH(int, allowed);
        QFETCH(int, preferred);
        QFETCH(int, effectiveAllowed);
        QFETCH(int, effectivePreferred);
        QFETCH(int, warnings);
        QFETCH(int, errors);
        Rig rig;
        rig.client->applyAccount(rig.account());
        QSignalSpy messages(rig.client.get(), &QuorIaxClient::signalMessage);
        rig.client->applyCodecs(allowed, preferred);
        QCOMPARE(rig.client->allowedCodecs(), effectiveAllowed);
        QCOMPARE(rig.client->preferredCodec(), effectivePreferred);
        // The engine's text events, on the GUI thread.
        QTRY_COMPARE(countOf(messages, MessageWarning), warnings);
        QTRY_COMPARE(countOf(messages, MessageError), errors);

        const int call = rig.client->dial(QStringLiteral("300"));
        if (!effectiveAllowed) {
            // Refused here with a clear message, never sent with an empty capability.
            QCOMPARE(call, -1);
            QCOMPARE(messages.last().at(1).value<TMessageType>(), MessageError);
            QTest::qWait(50);
            QCOMPARE(rig.pbx.count(TypeIax, CmdNew), 0);
            return;
        }
        QVERIFY(call >= 0);
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdNew), 1);
        const FakePbx::Frame *offer = rig.pbx.last(TypeIax, CmdNew);
        const QByteArray format = offer->ies.value(9);
        const QByteArray capability = offer->ies.value(8);
        QCOMPARE(int(qFromBigEndian<quint32>(format.constData())), effectivePreferred);
        QCOMPARE(int(qFromBigEndian<quint32>(capability.constData())), effectiveAllowed);
    }

    void blindTransfer_data()
    {
        QTest::addColumn<bool>("pbxTakesTheCall");
        QTest::newRow("the PBX takes the call") << true;
        QTest::newRow("the call stays") << false;
    }

    void blindTransfer()
    {
        QFETCH(bool, pbxTakesTheCall);
        Rig rig;
        rig.client->setTransferTimeout(300);
        QSignalSpy result(rig.client.get(), &QuorIaxClient::signalTransferResult);
        QSignalSpy hungUp(rig.client.get(), &QuorIaxClient::signalHungUp);
        quint16 pbxCall = 0;
        const int call = rig.callIn(&pbxCall);
        QVERIFY(rig.client->answer(call));
        QVERIFY(!rig.client->blindTransfer(call, QStringLiteral("  ")));
        QVERIFY(!rig.client->blindTransfer(call + 7, QStringLiteral("400")));
        QVERIFY(rig.client->blindTransfer(call, QStringLiteral("400")));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdTransfer), 1);
        QCOMPARE(rig.pbx.last(TypeIax, CmdTransfer)->ies.value(IeCalled), QByteArrayLiteral("400"));

        if (pbxTakesTheCall)
            rig.pbx.hangup(pbxCall);
        QTRY_COMPARE(result.count(), 1);
        QCOMPARE(result.first().at(0).toInt(), call);
        QCOMPARE(result.first().at(1).toBool(), pbxTakesTheCall);
        QCOMPARE(hungUp.count(), pbxTakesTheCall ? 1 : 0);
        if (!pbxTakesTheCall) {
            // A failed transfer leaves the call up, and says nothing more once it ends.
            QVERIFY(rig.client->callState(call) != iax2::CallFree);
            rig.client->hangup(call);
            QTRY_COMPARE(hungUp.count(), 1);
            QCOMPARE(result.count(), 1);
        }
    }

    void attendedTransfer_data()
    {
        QTest::addColumn<bool>("pbxJoins");
        QTest::newRow("the PBX joins the calls") << true;
        QTest::newRow("the PBX refuses") << false;
    }

    void attendedTransfer()
    {
        QFETCH(bool, pbxJoins);
        Rig rig;
        rig.pbx.setTransferMode(pbxJoins ? FakePbx::TransferMode::Join : FakePbx::TransferMode::Reject);
        QSignalSpy result(rig.client.get(), &QuorIaxClient::signalTransferResult);
        QSignalSpy hungUp(rig.client.get(), &QuorIaxClient::signalHungUp);
        QSignalSpy messages(rig.client.get(), &QuorIaxClient::signalMessage);
        quint16 firstPbx = 0;
        quint16 secondPbx = 0;
        const int held = rig.callIn(&firstPbx, QStringLiteral("First"));
        QVERIFY(rig.client->answer(held));
        QVERIFY(rig.client->hold(held));
        const int talking = rig.callIn(&secondPbx, QStringLiteral("Second"));
        QVERIFY(rig.client->answer(talking));
        QTRY_VERIFY(rig.pbx.dialogue(firstPbx)->remoteNo && rig.pbx.dialogue(secondPbx)->remoteNo);

        QVERIFY(!rig.client->attendedTransfer(held, talking + 5));
        QVERIFY(rig.client->attendedTransfer(held, talking));
        QTRY_COMPARE(result.count(), 2);
        QCOMPARE(QSet<int>({ result[0].at(0).toInt(), result[1].at(0).toInt() }), QSet<int>({ held, talking }));
        QCOMPARE(result[0].at(1).toBool(), pbxJoins);
        QCOMPARE(result[1].at(1).toBool(), pbxJoins);
        if (pbxJoins) {
            // Both calls leave this phone.
            QTRY_COMPARE(hungUp.count(), 2);
            QVERIFY(rig.pbx.dialogue(firstPbx)->released && rig.pbx.dialogue(secondPbx)->released);
        } else {
            // Both stay as they were, and the user hears why.
            QTRY_VERIFY(countOf(messages, MessageWarning) >= 1);
            QCOMPARE(hungUp.count(), 0);
            QVERIFY(rig.client->callState(held) & iax2::CallComplete);
            QVERIFY(rig.client->callState(talking) & iax2::CallComplete);
            QVERIFY(!(rig.client->callState(talking) & iax2::CallTransfer));
        }
    }

    void ringOptionsReachTheEngine()
    {
        Rig rig;
        rig.client->applyAudioDevices(iax2::MemoryAudioDevice::kId, iax2::MemoryAudioDevice::kId,
                                      iax2::MemoryAudioDevice::kId, false, true);
        QVERIFY(rig.client->muteRingDevice());
        quint16 pbxCall = 0;
        const int call = rig.callIn(&pbxCall);
        QVERIFY(call >= 0);
        QTest::qWait(200); // a muted ring device stays silent while the call rings
        QCOMPARE(rig.audio.ringFrames(), size_t(0));
        rig.client->applyAudioDevices(iax2::MemoryAudioDevice::kId, iax2::MemoryAudioDevice::kId,
                                      iax2::MemoryAudioDevice::kId, true, false);
        QTRY_VERIFY(rig.audio.ringFrames() >= 5);
        QTRY_VERIFY(rig.audio.playedCount() >= 1600); // and on the output device too
        rig.pbx.hangup(pbxCall);
    }

    void interopWithModem_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<int>("format");
        QTest::newRow("u-law") << QStringLiteral("ulaw") << 4;
        QTest::newRow("a-law") << QStringLiteral("alaw") << 8;
    }

    void interopWithModem()
    {
        QFETCH(QString, codec);
        QFETCH(int, format);
        const QString reason = iaxmodem::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        Rig rig;
        rig.client->applyCodecs(4 | 8, format);
        QSignalSpy ringing(rig.client.get(), &QuorIaxClient::signalRingingIn);
        QSignalSpy answered(rig.client.get(), &QuorIaxClient::signalAnswered);
        QSignalSpy hungUp(rig.client.get(), &QuorIaxClient::signalHungUp);
        {
            // The phone calls the modem; in fax mode it answers with its 2100 Hz tone.
            const quint16 modemPort = iaxmodem::freeUdpPort();
            iaxmodem::Modem modem(modemPort, rig.client->localPort(), codec);
            QTRY_VERIFY_WITH_TIMEOUT(modem.openPty(), 5000);
            rig.client->applyAccount(TVoipAccount(QStringLiteral("127.0.0.1"), modemPort, QString(), QString(),
                                                  QStringLiteral("Quor Test"), QStringLiteral("201")));
            const int out = rig.client->dial(QStringLiteral("100"));
            QVERIFY(out >= 0);
            QTRY_VERIFY2_WITH_TIMEOUT(modem.output().contains("RING"), qPrintable(modem.log() + rig.log()), 5000);
            modem.command("AT+FCLASS=1\r");
            modem.command("ATA\r");
            QTRY_VERIFY_WITH_TIMEOUT(answered.count() == 1, 5000);
            rig.audio.takePlayed();
            QTRY_VERIFY_WITH_TIMEOUT(rig.audio.playedCount() >= 12000, 5000);
            const std::vector<int16_t> heard = rig.audio.takePlayed();
            double best = 0;
            for (size_t i = 0; i + 4000 <= heard.size(); i += 2000)
                best = std::max(best, toneShare(std::vector<int16_t>(heard.begin() + long(i),
                                                                     heard.begin() + long(i) + 4000), 2100));
            QVERIFY2(best > 0.9, qPrintable(QStringLiteral("2100 Hz share %1").arg(best)));
            rig.client->hangup(out);
            QTRY_COMPARE(hungUp.count(), 1);
        }
        {
            // A modem calls the phone: it rings on the GUI thread with the modem's caller ID.
            iaxmodem::Modem modem(iaxmodem::freeUdpPort(), rig.client->localPort(), codec);
            QTRY_VERIFY_WITH_TIMEOUT(modem.openPty(), 5000);
            modem.command("ATDT201\r");
            QTRY_VERIFY2_WITH_TIMEOUT(ringing.count() == 1, qPrintable(modem.log()), 5000);
            QCOMPARE(ringing.first().at(1).toString(), QStringLiteral("Modem Line"));
            QCOMPARE(ringing.first().at(2).toString(), QStringLiteral("5551234"));
            const int in = ringing.first().at(0).toInt();
            QVERIFY(rig.client->answer(in));
            QTRY_VERIFY_WITH_TIMEOUT(rig.audio.playedCount() >= 1600, 5000);
            rig.client->hangup(in);
            QTRY_COMPARE(hungUp.count(), 2);
            QTRY_VERIFY_WITH_TIMEOUT(modem.output().contains("NO CARRIER"), 5000);
        }
    }

    void destructionWithCallUp()
    {
        Rig rig;
        quint16 pbxCall = 0;
        QVERIFY(rig.client->answer(rig.callIn(&pbxCall)));
        rig.pbx.startTone(pbxCall, 1000);
        QTRY_VERIFY(rig.audio.playedCount() > 800);
        // Events are still being posted while the object goes.
        rig.client.reset();
        const size_t played = rig.audio.playedCount();
        QTest::qWait(100);
        QCOMPARE(rig.audio.playedCount(), played);
        QVERIFY(!rig.audio.isRunning());
        rig.pbx.stopTone(pbxCall);
    }

    void portTakenIsReported()
    {
        Rig rig;
        QuorIaxClient::Options taken = loopbackOptions(&rig.audio);
        taken.engine.port = rig.client->localPort();
        taken.engine.fallbackToAnyPort = false;
        QuorIaxClient second(taken);
        QSignalSpy messages(&second, &QuorIaxClient::signalMessage);
        QVERIFY(!second.isOpen());
        // Posted, so that it reaches slots connected after construction.
        QTRY_COMPARE(countOf(messages, MessageError), 1);
        QCOMPARE(second.dial(QStringLiteral("300")), -1);
        second.shutdown();
    }

    void callsThroughTheSoundCard_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("u-law") << 4;
        QTest::newRow("a-law") << 8;
        QTest::newRow("GSM") << 2;
        QTest::newRow("Speex") << 512;
    }

    void callsThroughTheSoundCard()
    {
        QFETCH(int, format);
        TestDataDir data;
        FakePbx pbx;
        QuorIaxClient::Options options = loopbackOptions(nullptr);
        options.useSoundCard = true;
        QuorIaxClient client(options);
        QSignalSpy messages(&client, &QuorIaxClient::signalMessage);
        QSignalSpy ringingIn(&client, &QuorIaxClient::signalRingingIn);
        QSignalSpy answered(&client, &QuorIaxClient::signalAnswered);
        QSignalSpy hungUp(&client, &QuorIaxClient::signalHungUp);

        const std::vector<iax2::AudioDeviceInfo> devices = client.audioDevices();
        int input = -1;
        int output = -1;
        for (const iax2::AudioDeviceInfo &d : devices) {
            QVERIFY(!d.name.empty());
            QCOMPARE(d.capabilities & ~(1 | 2 | 4), 0);
            if (input < 0 && (d.capabilities & 1))
                input = d.id;
            if (output < 0 && (d.capabilities & 2))
                output = d.id;
        }
        qInfo("%lld sound devices; input %d, output %d", qint64(devices.size()), input, output);
        client.applyAudioDevices(input, output, output, false, false);
        client.applyCodecs(2 | 4 | 8 | 512, format);
        QCOMPARE(client.preferredCodec(), format);
        client.applySpeex(1, -1.0f, -1, 0, 8000, 3);
        client.applyFilters(1 | 2 | 4 | 8 | 16);

        const quint16 pbxCall = pbx.callEngine(client.localPort(), QStringLiteral("201"), QStringLiteral("5551234"),
                                               QStringLiteral("Bob"), quint32(format), quint32(format));
        QTRY_COMPARE(ringingIn.count(), 1);
        QVERIFY(client.answer(ringingIn.first().at(0).toInt()));
        QTRY_COMPARE(answered.count(), 1);
        pbx.startTone(pbxCall, 1000);
        // Media both ways for a moment, with the streams open: the null device
        // captures silence, so with comfort noise on the PBX hears a CN frame.
        QTRY_VERIFY(pbx.dialogue(pbxCall)->voiceFrames >= 10 || pbx.countType(TypeComfortNoise) >= 1);
        pbx.hangup(pbxCall);
        QTRY_COMPARE(hungUp.count(), 1);
        QCOMPARE(pbx.count(TypeIax, CmdReject), 0);
        QCOMPARE(countOf(messages, MessageError), 0);
        client.shutdown();
        QVERIFY(!client.isRunning());
    }

    void staleSoundDeviceIsReported()
    {
        TestDataDir data;
        QuorIaxClient::Options options = loopbackOptions(nullptr);
        options.useSoundCard = true;
        QuorIaxClient client(options);
        if (client.audioDevices().empty())
            QSKIP("PortAudio lists no device here");
        QSignalSpy messages(&client, &QuorIaxClient::signalMessage);
        // A headset unplugged since the settings were saved: the ids are gone.
        client.applyAudioDevices(4242, 4243, 4244, false, false);
        QTRY_VERIFY(countOf(messages, MessageError) >= 3);
        QVERIFY(messages.first().at(0).toString().contains(QStringLiteral("is not available")));
        client.shutdown();
    }

private:
    QTemporaryDir m_alsa;
};

QTEST_GUILESS_MAIN(TestQuorIaxClient)
#include "tst_quoriaxclient.moc"
