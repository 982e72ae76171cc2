// The softphone's Qt layer over the IAX2 engine, against the loopback fake PBX,
// iaxmodem and a null ALSA device: the engine's events arrive as signals on the
// GUI thread, and each message reaches the log once.

#include <QNetworkDatagram>
#include <QProcess>
#include <QtTest>

#include "core/Logger.h"
#include "iax2/media/PortAudioDevice.h"
#include "softphone/QuorIaxClient.h"
#include "softphone/TVoipAccount.h"
#include "testsupport/ConsoleCapture.h"
#include "testsupport/IaxModem.h"
#include "testsupport/IaxRig.h"
#include "testsupport/TestDataDir.h"

using signaltools::toneShare;

namespace {

enum : int { TypeIax = 6, TypeComfortNoise = 10, CmdHangup = 5, CmdRegReq = 13, CmdRegAck = 15, CmdRegRel = 17 };
enum : int { CmdTransfer = 34 };

QuorIaxClient::Options loopbackOptions(iax2::AudioDevice *audio)
{
    QuorIaxClient::Options o;
    o.engine = loopbackConfig(4);
    o.engine.blindTransferTimeoutMs = 300;
    o.audio = audio;
    o.useSoundCard = audio == nullptr;
    return o;
}

// A sound card that insists on one stream rate, so the conversion to and from
// 8 kHz runs, and notes on the engine's thread the rates its streams run at.
class FixedRateDevice : public iax2::PortAudioDevice
{
public:
    explicit FixedRateDevice(int rate)
        : m_rate(rate)
    {
    }
    bool readFrame(int16_t *frame) override
    {
        streamRateSeen = streamRate();
        return PortAudioDevice::readFrame(frame);
    }
    void writeRingFrame(const int16_t *frame) override
    {
        PortAudioDevice::writeRingFrame(frame);
        ringRateSeen = ringRate();
    }
    void stopRing() override
    {
        PortAudioDevice::stopRing();
        ringRateSeen = ringRate();
    }
    bool select(int input, int output, int ring) override
    {
        const bool ok = PortAudioDevice::select(input, output, ring);
        devicesSeen = QList<int> { inputDevice(), outputDevice(), ringDevice() };
        return ok;
    }
    std::atomic<int> streamRateSeen { 0 }, ringRateSeen { 0 };
    QList<int> devicesSeen;

protected:
    std::vector<int> streamRates() const override { return { m_rate }; }

private:
    int m_rate;
};

// Why PortAudio does not start on this machine, asked of a process of its own
// (a Pa_Initialize hung on a lock a killed sound program left held cannot be
// interrupted in this one); empty when it starts.
QString soundLibraryFault()
{
    constexpr int kLimitMs = 5000;
    QProcess probe;
    probe.setStandardErrorFile(QProcess::nullDevice()); // the back ends' chatter
    probe.start(QStringLiteral(QUOR_SOUND_PROBE), QStringList());
    if (!probe.waitForStarted())
        return QString(); // not the library's doing: let the test run and say what fails
    if (!probe.waitForFinished(kLimitMs)) {
        probe.kill();
        probe.waitForFinished();
        return QStringLiteral("Pa_Initialize hung for %1 s").arg(kLimitMs / 1000);
    }
    if (probe.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("Pa_Initialize crashed");
    if (probe.exitCode() != 0)
        return QStringLiteral("Pa_Initialize returned an error: ") + QString::fromLocal8Bit(probe.readAll().trimmed());
    return QString();
}

int errorsIn(const QSignalSpy &messages)
{
    return int(std::count_if(messages.cbegin(), messages.cend(),
        [](const QList<QVariant> &m) { return m.at(1).value<TMessageType>() == MessageError; }));
}

// The fake PBX and a client whose engine plays into the rig's memory device,
// logging into a data directory of its own.
struct ClientRig : IaxRig
{
    TestDataDir data;
    std::unique_ptr<QuorIaxClient> client;

    ClientRig()
        : IaxRig(loopbackConfig(), false)
    {
        Logger::setProgramLog(QStringLiteral("quorer.log"));
        client = std::make_unique<QuorIaxClient>(loopbackOptions(&audio));
    }

    TVoipAccount account(const QString &secret = QStringLiteral("wonder")) const
    {
        return TVoipAccount(QStringLiteral("127.0.0.1"), pbx.port(), QStringLiteral("alice"), secret,
            QStringLiteral("Alice"), QStringLiteral("201"));
    }

    QString log() const { return QString::fromUtf8(data.read(QStringLiteral("quorer.log"))); }

    // The PBX calls in; the client's call number once it rings (-1 on time-out).
    int ringIn(quint16 *pbxCall, const QString &name = QStringLiteral("Bob"))
    {
        QSignalSpy ringing(client.get(), &QuorIaxClient::signalRingingIn);
        *pbxCall = callIn(client->localPort(), 4, QStringLiteral("5551234"), name);
        return ringing.wait(3000) ? ringing.first().at(0).toInt() : -1;
    }
};

} // namespace

class TestQuorIaxClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // PortAudio reads ALSA's configuration once: a null PCM of our own, so
        // the sound-card tests never touch a real card.
        QVERIFY(m_alsa.isValid());
        QFile conf(m_alsa.filePath(QStringLiteral("asound.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly) && conf.write("pcm.!default { type null }\n") > 0);
        conf.close();
        qputenv("ALSA_CONFIG_PATH", conf.fileName().toLocal8Bit());
    }

    void ringingIn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("answer");
        QTest::newRow("answered here") << "Bob Caller" << true;
        QTest::newRow("missed, control characters in the name") << "Bob\r\nAction: Hangup" << false;
    }

    void ringingIn()
    {
        QFETCH(QString, name);
        QFETCH(bool, answer);
        ClientRig rig;
        QThread *gui = QThread::currentThread();
        bool onGui = false;
        connect(
            rig.client.get(), &QuorIaxClient::signalRingingIn, this, [&] { onGui = QThread::currentThread() == gui; },
            Qt::DirectConnection);
        QSignalSpy answered(rig.client.get(), &QuorIaxClient::signalAnswered);
        QSignalSpy hungUp(rig.client.get(), &QuorIaxClient::signalHungUp);
        QSignalSpy levels(rig.client.get(), &QuorIaxClient::signalLevels);
        quint16 pbxCall = 0;
        QSignalSpy ringing(rig.client.get(), &QuorIaxClient::signalRingingIn);
        const int call = rig.ringIn(&pbxCall, name);
        QVERIFY(onGui);
        QCOMPARE(ringing.first(), QVariantList({ call, name.remove(QRegularExpression("[\r\n]")), "5551234" }));
        if (answer) {
            rig.audio.inject(std::vector<int16_t>(80000, 8000));
            QVERIFY(rig.client->answer(call));
            QTRY_COMPARE(answered.count(), 1);
            QCOMPARE(answered.first().at(0).toInt(), call);
            QTRY_VERIFY(!levels.isEmpty() && levels.last().at(0).toFloat() > -40.0f);
        }
        rig.pbx.hangup(pbxCall);
        QTRY_COMPARE(hungUp.count(), 1);
        QCOMPARE(hungUp.first(), QVariantList({ call, answer }));
        QCOMPARE(answered.count(), answer ? 1 : 0);
        QCOMPARE(ringing.count(), 1);
        QCOMPARE(rig.log().count(QStringLiteral("IAX2: Incoming call")), 1);
    }

    // Quitting releases the registration and hangs up before the engine stops.
    void outgoingCallAndQuit()
    {
        ClientRig rig;
        QSignalSpy registered(rig.client.get(), &QuorIaxClient::signalRegistration);
        QSignalSpy accepted(rig.client.get(), &QuorIaxClient::signalAccepted);
        QSignalSpy ringing(rig.client.get(), &QuorIaxClient::signalRingingOut);
        QSignalSpy answered(rig.client.get(), &QuorIaxClient::signalAnswered);
        QSignalSpy hungUp(rig.client.get(), &QuorIaxClient::signalHungUp);
        rig.client->applyAccount(rig.account());
        QTRY_COMPARE(registered.count(), 1);
        const int call = rig.client->dial(QStringLiteral(" 300 "));
        QTRY_COMPARE(ringing.count(), 1);
        FakePbx::Dialogue *d = rig.pbx.latest(QStringLiteral("call-in"));
        QCOMPARE(d->called, QStringLiteral("300"));
        rig.pbx.sendControl(d->localNo, 4);
        QTRY_COMPARE(answered.count(), 1);
        for (const QSignalSpy *spy : { &accepted, &ringing, &answered })
            QCOMPARE(spy->first().at(0).toInt(), call);

        rig.pbx.clearReceived();
        rig.client->shutdown();
        // What the PBX has now, it read while shutdown() waited.
        QVERIFY(!rig.client->isRunning() && d->hungUp);
        const QList<FakePbx::Frame> frames = rig.pbx.received();
        auto first = [&frames](int command) {
            return std::find_if(frames.cbegin(), frames.cend(), [command](const auto &f) {
                return !f.mini && f.type == TypeIax && int(f.subclass) == command;
            }) - frames.cbegin();
        };
        QVERIFY(first(CmdRegRel) < first(CmdHangup) && first(CmdHangup) < frames.size());
        QCOMPARE(rig.pbx.regAcks(), 2); // the registration and its release
        QCOMPARE(hungUp.count(), 1); // delivered before shutdown() returns
        QCOMPARE(hungUp.first(), QVariantList({ call, true }));
        QCOMPARE(rig.client->dial(QStringLiteral("300")), -1);
        rig.client->applyAccount(rig.account());
        rig.client->shutdown();
        QTest::qWait(100); // nothing may arrive meanwhile
        QCOMPARE(rig.pbx.received().size(), frames.size());
    }

    // What the layer refuses or trims before the engine sees it.
    void refusedAndTrimmed()
    {
        ClientRig rig;
        QSignalSpy messages(rig.client.get(), &QuorIaxClient::signalMessage);
        QCOMPARE(rig.client->dial(QStringLiteral("300")), -1); // no account yet
        quint16 pbxCall = 0;
        const int call = rig.ringIn(&pbxCall);
        QVERIFY(rig.client->answer(call));
        QVERIFY(!rig.client->sendDtmf(QChar(0x0661), call)); // a digit, but not one a tone can carry
        QVERIFY(rig.client->sendDtmf(QLatin1Char('1'), call));
        QVERIFY(!rig.client->blindTransfer(call, QStringLiteral("  ")));
        QVERIFY(rig.client->blindTransfer(call, QStringLiteral(" 400 ")));
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdTransfer), 1);
        QCOMPARE(rig.pbx.last(TypeIax, CmdTransfer)->ies.value(1), QByteArrayLiteral("400"));
        QCOMPARE(rig.pbx.count(1), 1); // the one tone
        rig.client->applyAccount(rig.account());
        rig.client->applyCodecs(0, 0);
        QCOMPARE(rig.client->dial(QStringLiteral("300")), -1);
        QCOMPARE(rig.client->dial(QStringLiteral(" ")), -1);
        QTest::qWait(100);
        QCOMPARE(rig.pbx.count(TypeIax, 1), 0); // no NEW
        QStringList said;
        for (const QList<QVariant> &m : std::as_const(messages))
            said << m.first().toString();
        QCOMPARE(said.filter(QStringLiteral("cannot be placed")),
            QStringList({ "No PBX server set: the call cannot be placed",
                "No usable codec is allowed: the call cannot be placed" }));
    }

    void registration_data()
    {
        QTest::addColumn<QString>("secret");
        QTest::addColumn<bool>("silentPbx");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("state");
        QTest::newRow("accepted") << "wonder" << false << int(QuorIaxClient::RegistrationAccepted)
                                  << int(TVoipAccount::Registered);
        QTest::newRow("rejected") << "wander" << false << int(QuorIaxClient::RegistrationRejected)
                                  << int(TVoipAccount::Rejected);
        QTest::newRow("no answer") << "wonder" << true << int(QuorIaxClient::RegistrationTimeout)
                                   << int(TVoipAccount::TimedOut);
    }

    void registration()
    {
        QFETCH(QString, secret);
        QFETCH(bool, silentPbx);
        QFETCH(int, result);
        QFETCH(int, state);
        ClientRig rig;
        rig.pbx.setDropEvery(silentPbx ? 1 : 0);
        QSignalSpy registered(rig.client.get(), &QuorIaxClient::signalRegistration);
        QSignalSpy messages(rig.client.get(), &QuorIaxClient::signalMessage);
        rig.client->applyAccount(rig.account(secret));
        QTRY_COMPARE_WITH_TIMEOUT(registered.count(), 1, 5000);
        QCOMPARE(registered.first().at(0).toInt(), result);
        QCOMPARE(int(rig.client->account().registrationState()), state);
        if (result == QuorIaxClient::RegistrationRejected) {
            // The registrar's cause travels with the result, said once: by the phone.
            QCOMPARE(registered.first().at(1).toString(), QStringLiteral("Registration Refused"));
            QCOMPARE(errorsIn(messages), 0);
            QCOMPARE(rig.log().count(QStringLiteral("Registration at 127.0.0.1 rejected: Registration Refused")), 1);
        }
    }

    void reRegistersOnlyOnChange()
    {
        ClientRig rig;
        QSignalSpy registered(rig.client.get(), &QuorIaxClient::signalRegistration);
        rig.client->applyAccount(rig.account());
        QTRY_COMPARE(registered.count(), 1);
        // A new caller ID keeps the registration; a new secret replaces it.
        TVoipAccount renamed = rig.account();
        renamed.setCallerIdName(QStringLiteral("Alice Liddell"));
        rig.client->applyAccount(renamed);
        QCOMPARE(int(rig.client->account().registrationState()), int(TVoipAccount::Registered));
        QCOMPARE(rig.client->account().callerIdName(), QStringLiteral("Alice Liddell"));
        rig.pbx.addUser(QStringLiteral("alice"), QStringLiteral("looking-glass"));
        rig.client->applyAccount(rig.account(QStringLiteral("looking-glass")));
        QTRY_COMPARE(registered.count(), 2);
        QCOMPARE(registered.last().at(0).toInt(), int(QuorIaxClient::RegistrationAccepted));
        QTRY_VERIFY(rig.pbx.count(TypeIax, CmdRegRel) >= 1);
        QCOMPARE(rig.pbx.count(TypeIax, CmdRegReq), 4); // two registrations, each challenged once
    }

    // A failed registration is tried again when the account is applied again,
    // even unchanged; a reply to a registration since replaced is not taken.
    void registrationReplaced()
    {
        ClientRig rig;
        QSignalSpy registered(rig.client.get(), &QuorIaxClient::signalRegistration);
        rig.client->applyAccount(rig.account(QStringLiteral("wander")));
        QTRY_COMPARE(registered.count(), 1);
        rig.pbx.addUser(QStringLiteral("alice"), QStringLiteral("wander"));
        rig.client->applyAccount(rig.account(QStringLiteral("wander")));
        QTRY_COMPARE_WITH_TIMEOUT(registered.count(), 2, 1000); // sooner than the engine's own retry
        QCOMPARE(registered.last().at(0).toInt(), int(QuorIaxClient::RegistrationAccepted));

        // A registrar of our own that accepts at once: its reply is on its way
        // when the account changes.
        QUdpSocket registrar;
        QVERIFY(registrar.bind(QHostAddress::LocalHost, 0));
        const TVoipAccount own(QStringLiteral("127.0.0.1"), registrar.localPort(), QStringLiteral("alice"),
            QStringLiteral("wonder"), QString(), QString());
        rig.client->applyAccount(own);
        QVERIFY(registrar.waitForReadyRead(2000));
        const QByteArray request = registrar.receiveDatagram().data();
        const quint16 engineCall = qFromBigEndian<quint16>(request.constData()) & 0x7fff;
        registrar.writeDatagram(FakePbx::fullFrame(9, engineCall, 5, 0, 1, TypeIax, CmdRegAck), QHostAddress::LocalHost,
            rig.client->localPort());
        QThread::msleep(200); // the engine has taken the reply and posted it
        rig.client->applyAccount(TVoipAccount(QStringLiteral("127.0.0.1"), registrar.localPort(), QStringLiteral("bob"),
            QStringLiteral("wonder"), QString(), QString()));
        QTest::qWait(200);
        QCOMPARE(registered.count(), 2);
        QCOMPARE(int(rig.client->account().registrationState()), int(TVoipAccount::Registering));
    }

    void ringOptionsReachTheEngine()
    {
        ClientRig rig;
        const int id = iax2::MemoryAudioDevice::kId;
        rig.client->applyAudioDevices(id, id, id, false, true);
        quint16 pbxCall = 0;
        QVERIFY(rig.ringIn(&pbxCall) >= 0);
        QTest::qWait(200); // a muted ring device stays silent while the call rings
        QCOMPARE(rig.audio.ringFrames(), size_t(0));
        rig.client->applyAudioDevices(id, id, id, true, false);
        QTRY_VERIFY(rig.audio.ringFrames() >= 5 && rig.audio.playedCount() >= 1600); // and on the output too
    }

    // Called, the modem in fax mode answers with its 2100 Hz tone.
    void interopWithModem()
    {
        const QString reason = iaxmodem::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        ClientRig rig;
        rig.client->applyCodecs(4 | 8, 8);
        QSignalSpy answered(rig.client.get(), &QuorIaxClient::signalAnswered);
        QSignalSpy hungUp(rig.client.get(), &QuorIaxClient::signalHungUp);
        QSignalSpy messages(rig.client.get(), &QuorIaxClient::signalMessage);
        const quint16 modemPort = iaxmodem::freeUdpPort();
        iaxmodem::Modem modem(modemPort, rig.client->localPort(), QStringLiteral("alaw"));
        QTRY_VERIFY_WITH_TIMEOUT(modem.openPty(), 5000);
        rig.client->applyAccount(TVoipAccount(
            QStringLiteral("127.0.0.1"), modemPort, {}, {}, QStringLiteral("Quor Test"), QStringLiteral("201")));
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
            best = std::max(
                best, toneShare(std::vector<int16_t>(heard.begin() + long(i), heard.begin() + long(i) + 4000), 2100));
        QVERIFY2(best > 0.9, qPrintable(QStringLiteral("2100 Hz share %1").arg(best)));
        rig.client->hangup(out);
        QTRY_COMPARE(hungUp.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(modem.output().contains("NO CARRIER"), 5000);
        QTest::qWait(300); // a HANGUP the modem did not acknowledge would be resent and lost meanwhile
        for (const QList<QVariant> &m : std::as_const(messages))
            QVERIFY2(!m.at(0).toString().contains(QLatin1String("lost")), qPrintable(m.at(0).toString()));
    }

    void destructionWithCallUp()
    {
        ClientRig rig;
        quint16 pbxCall = 0;
        QVERIFY(rig.client->answer(rig.ringIn(&pbxCall)));
        rig.pbx.startTone(pbxCall, 1000);
        QTRY_VERIFY(rig.audio.playedCount() > 800);
        rig.client.reset(); // while the engine still posts events
        const size_t played = rig.audio.playedCount();
        QTest::qWait(100); // nothing may be played meanwhile
        QCOMPARE(rig.audio.playedCount(), played);
        QVERIFY(!rig.audio.isRunning());
    }

    // PortAudio probes every host API, JACK's included, whose library prints
    // its failure to find a server on the console: it goes to the log instead.
    void soundProbeGoesToTheLog()
    {
        TestDataDir data;
        Logger::setProgramLog(QStringLiteral("quorer.log"));
        const QByteArray printed = stderrOf([] { QuorIaxClient(loopbackOptions(nullptr)).shutdown(); });
        QVERIFY2(printed.isEmpty(), printed.constData());
        QVERIFY(
            QString::fromUtf8(data.read(QStringLiteral("quorer.log"))).contains(QStringLiteral("Sound: PortAudio")));
    }

    // PortAudio at the device's rate or converted to and from 8 kHz: a call with
    // every filter on, the ring on a stream of its own until the answer, and
    // devices that are gone falling back to the defaults, reported.
    void soundCard_data()
    {
        QTest::addColumn<int>("rate"); // 0: the client's own card at the device's rate
        QTest::addColumn<int>("format");
        QTest::newRow("u-law") << 0 << 4;
        QTest::newRow("a-law at 48 kHz") << 48000 << 8;
    }

    void soundCard()
    {
        QFETCH(int, rate);
        QFETCH(int, format);
        if (!m_soundFault)
            m_soundFault = soundLibraryFault();
        if (!m_soundFault->isEmpty())
            QSKIP(qPrintable(QStringLiteral("the sound library does not start on this machine: ") + *m_soundFault));
        TestDataDir data;
        FakePbx pbx;
        std::unique_ptr<FixedRateDevice> card = rate ? std::make_unique<FixedRateDevice>(rate) : nullptr;
        QStringList cardErrors;
        if (card)
            card->setErrorHandler([&cardErrors](const std::string &m) { cardErrors << QString::fromStdString(m); });
        QuorIaxClient client(loopbackOptions(card.get()));
        QSignalSpy messages(&client, &QuorIaxClient::signalMessage);
        QSignalSpy ringingIn(&client, &QuorIaxClient::signalRingingIn);
        QSignalSpy hungUp(&client, &QuorIaxClient::signalHungUp);
        QList<int> defaults { -1, -1, -1 };
        for (const auto &d : client.audioDevices()) {
            defaults[0] = d.defaultInput ? d.id : defaults[0];
            defaults[1] = defaults[2] = d.defaultOutput ? d.id : defaults[1];
        }
        client.applyAudioDevices(4242, INT_MIN, INT_MAX, false, false); // every one of them gone
        if (!card) {
            QTRY_COMPARE(errorsIn(messages), 3);
            QVERIFY(messages.first().at(0).toString().contains(QStringLiteral("is not available")));
            messages.clear();
        }
        client.applyCodecs(4 | 8, format);
        client.applyFilters(1 | 2 | 4 | 8 | 16);
        const quint16 pbxCall = pbx.callEngine(client.localPort(), QStringLiteral("201"), QStringLiteral("5551234"),
            QStringLiteral("Bob"), quint32(format), quint32(format));
        QTRY_COMPARE(ringingIn.count(), 1);
        QTRY_VERIFY(!card || card->ringRateSeen > 0);
        QVERIFY(client.answer(ringingIn.first().at(0).toInt()));
        pbx.startTone(pbxCall, 1000);
        // The null device captures silence: with comfort noise on, a CN frame.
        QTRY_VERIFY(pbx.dialogue(pbxCall)->voiceFrames >= 10 || pbx.count(TypeComfortNoise) >= 1);
        QTRY_VERIFY(!card || (card->ringRateSeen == 0 && card->streamRateSeen == rate));
        pbx.hangup(pbxCall);
        QTRY_COMPARE(hungUp.count(), 1);
        QCOMPARE(errorsIn(messages), 0);
        client.shutdown();
        QVERIFY(!client.isRunning()); // what the engine's thread wrote is read from here on
        QCOMPARE(cardErrors.size(), card ? 3 : 0);
        QVERIFY(!card || card->devicesSeen == defaults);
    }

private:
    QTemporaryDir m_alsa;
    std::optional<QString> m_soundFault; // asked once, for every row
};

QTEST_GUILESS_MAIN(TestQuorIaxClient)
#include "tst_quoriaxclient.moc"
