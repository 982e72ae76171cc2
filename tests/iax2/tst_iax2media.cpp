// The engine's media path against the loopback fake PBX: the jitter buffer
// under reordering and loss, comfort noise both ways, the ring tone, the codec
// offer, device selection on the engine's thread, attended transfer, and a
// peer's undecodable voice.

#include <QtTest>

#include "iax2/media/AudioLevel.h"
#include "testsupport/IaxRig.h"

#include <atomic>
#include <thread>

using namespace iax2;
using namespace signaltools;

namespace {

enum : int { TypeVoice = 2, TypeIax = 6, TypeComfortNoise = 10, CmdNew = 1, CmdHangup = 5, CmdReject, CmdTxReq = 22 };

// Remembers the thread each device selection ran on.
class ThreadCheckDevice : public MemoryAudioDevice
{
public:
    bool select(int input, int output, int ring) override
    {
        onCallerThread = std::this_thread::get_id() == caller;
        selections.fetch_add(1);
        return MemoryAudioDevice::select(input, output, ring);
    }
    std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> selections { 0 };
    std::atomic<bool> onCallerThread { false };
};

// A rig whose engine offers every codec.
struct MediaRig : IaxRig
{
    explicit MediaRig(int transferTimeoutMs = 5000)
        : IaxRig([transferTimeoutMs] {
            Iax2Engine::Config config = loopbackConfig(3);
            config.attendedTransferTimeoutMs = transferTimeoutMs;
            return config;
        }())
    {
        engine->setFormats(FormatUlaw, FormatUlaw | FormatAlaw | FormatGsm | FormatSpeex);
    }
};

// Talk spurts over a faint hiss: hiss, then 200 ms of tone and 100 ms of hiss
// three times, then hiss. A voice detector learns the background from the hiss.
std::vector<int16_t> talkSpurts(int leadMs, int tailMs)
{
    std::vector<int16_t> out;
    uint32_t seed = 1;
    auto hiss = [&](int ms) {
        for (int i = 0; i < ms * 8; ++i)
            out.push_back(int16_t(int((seed = seed * 1664525u + 1013904223u) >> 24) - 128));
    };
    hiss(leadMs);
    for (int i = 0; i < 3; ++i) {
        const std::vector<int16_t> burst = tone(600, 8000, 1600);
        out.insert(out.end(), burst.begin(), burst.end());
        hiss(100);
    }
    hiss(tailMs);
    return out;
}

// Level of the next half second the engine plays, after what it played so far.
float nextLevel(MemoryAudioDevice &audio, std::vector<int16_t> *played = nullptr)
{
    audio.takePlayed();
    if (!QTest::qWaitFor([&] { return audio.playedCount() >= 4000; }, 3000))
        return 0;
    const std::vector<int16_t> v = audio.takePlayed();
    if (played)
        *played = v;
    return levelDb(v.data(), v.size());
}

} // namespace

class TestIax2Media : public QObject
{
    Q_OBJECT

private slots:
    void jitterThroughTheEngine()
    {
        MediaRig rig;
        rig.pbx.setVoiceLoss(5);
        rig.pbx.setVoiceReorder(true);
        FakePbx::Dialogue *d = nullptr;
        QVERIFY(rig.answeredCall(FormatUlaw, &d) >= 0);
        rig.pbx.startTone(d->localNo, 1000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.audio.playedCount() >= 16000, 4000);
        rig.pbx.stopTone(d->localNo);
        // Past the first frames (buffering), playout is continuous tone: swapped
        // frames are put back in order, lost ones are concealed, never a hole.
        std::vector<int16_t> played = rig.audio.takePlayed();
        played.erase(played.begin(), played.begin() + 1600);
        played.resize(12000);
        for (size_t i = 0; i < played.size(); i += 160)
            QVERIFY2(levelDb(played.data() + i, 160) > kSilenceDb, qPrintable(QString::number(i)));
        QVERIFY2(toneShare(played, 1000) > 0.8, qPrintable(QString::number(toneShare(played, 1000))));
        QTRY_VERIFY(!rig.probe->all<NetStatsEvent>().isEmpty());
        const NetStats stats = rig.probe->all<NetStatsEvent>().last().stats;
        QVERIFY(stats.outOfOrder > 0 && stats.lost > 0);
    }

    void comfortNoiseBothWays()
    {
        MediaRig rig;
        rig.engine->setFilters(FilterComfortNoise);
        // Hiss, speech, then silence: voice stops and one comfort-noise frame
        // says so each time.
        rig.audio.inject(talkSpurts(500, 1000));
        FakePbx::Dialogue *d = nullptr;
        QVERIFY(rig.answeredCall(FormatUlaw, &d) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(rig.pbx.count(TypeComfortNoise) == 1, 3000);
        const int voiceAtLeadIn = d->voiceFrames;
        QTRY_VERIFY_WITH_TIMEOUT(rig.pbx.count(TypeComfortNoise) == 2, 3000);
        const int voiceAtSilence = d->voiceFrames;
        QVERIFY2(voiceAtSilence - voiceAtLeadIn >= 40, qPrintable(QString::number(voiceAtSilence - voiceAtLeadIn)));
        QTest::qWait(200); // silence must stay silent: nothing may arrive meanwhile
        QCOMPARE(d->voiceFrames, voiceAtSilence);
        QCOMPARE(rig.pbx.count(TypeComfortNoise), 2);
        // Speech again: a full voice frame first, so the peer resynchronises.
        const int fullBefore = rig.pbx.count(TypeVoice);
        rig.audio.inject(talkSpurts(0, 0));
        QTRY_VERIFY(d->voiceFrames > voiceAtSilence + 10);
        QCOMPARE(rig.pbx.count(TypeVoice), fullBefore + 1);

        // The PBX goes quiet at -40 dBov: its noise is heard, once the tone has drained.
        rig.pbx.startTone(d->localNo, 1000);
        QTRY_VERIFY(rig.audio.playedCount() >= 4000);
        rig.pbx.sendComfortNoise(d->localNo, 40);
        nextLevel(rig.audio);
        std::vector<int16_t> noise;
        const float level = nextLevel(rig.audio, &noise);
        QVERIFY2(level > -44 && level < -36, qPrintable(QString::number(level)));
        QVERIFY(toneShare(noise, 1000) < 0.05);
        // A peer claiming full-scale background does not get to blast the user.
        rig.pbx.sendComfortNoise(d->localNo, 0);
        nextLevel(rig.audio);
        const float capped = nextLevel(rig.audio);
        QVERIFY2(capped < -28, qPrintable(QString::number(capped)));
    }

    void ringTone()
    {
        MediaRig rig;
        const quint16 pbxCall = rig.callIn(rig.engine->localPort());
        QTRY_VERIFY(rig.probe->incomingCall() >= 0);
        QTRY_VERIFY(rig.audio.ringFrames() >= 10);
        QCOMPARE(rig.audio.playedCount(), size_t(0));
        // The chime on the speaker too: both notes of it.
        rig.engine->setRingOptions(true, true);
        QTRY_VERIFY(rig.audio.playedCount() >= 4000);
        const std::vector<int16_t> chime = rig.audio.takePlayed();
        QVERIFY2(toneShare(chime, 659.25) + toneShare(chime, 523.25) > 0.3,
            qPrintable(QString::number(toneShare(chime, 659.25))));
        // Answered: once a tick under way is done, nothing more on the ring
        // device and silence on the speaker.
        QVERIFY(rig.engine->answer(rig.probe->incomingCall()));
        QTRY_VERIFY(([&rig] {
            rig.audio.takePlayed();
            const size_t rung = rig.audio.ringFrames();
            QTest::qWait(100);
            const std::vector<int16_t> played = rig.audio.takePlayed();
            return rig.audio.ringFrames() == rung && levelDb(played.data(), played.size()) == kSilenceDb;
        }()));
        rig.pbx.hangup(pbxCall);
    }

    void codecOffer_data()
    {
        QTest::addColumn<uint>("allowed");
        QTest::addColumn<uint>("preferred");
        QTest::addColumn<uint>("offered");
        QTest::addColumn<uint>("effectivePreferred");
        QTest::addColumn<int>("warnings");
        QTest::addColumn<int>("errors");
        const uint ulaw = FormatUlaw, alaw = FormatAlaw, gsm = FormatGsm, speex = FormatSpeex, ilbc = FormatIlbc;
        QTest::newRow("preferred among the allowed") << (ulaw | gsm) << gsm << (ulaw | gsm) << gsm << 0 << 0;
        QTest::newRow("preferred not allowed") << (alaw | speex) << ulaw << (alaw | speex) << alaw << 0 << 0;
        QTest::newRow("two bits preferred") << (ulaw | alaw) << (ulaw | alaw) << (ulaw | alaw) << ulaw << 0 << 0;
        QTest::newRow("iLBC preferred") << (ilbc | gsm) << ilbc << gsm << gsm << 1 << 0;
        QTest::newRow("iLBC alone") << ilbc << ilbc << 0u << 0u << 1 << 1;
        QTest::newRow("nothing") << 0u << ulaw << 0u << 0u << 0 << 1;
    }

    void codecOffer()
    {
        QFETCH(uint, allowed);
        QFETCH(uint, preferred);
        QFETCH(uint, offered);
        QFETCH(uint, effectivePreferred);
        QFETCH(int, warnings);
        QFETCH(int, errors);
        MediaRig rig;
        rig.probe->clear();
        rig.engine->setFormats(preferred, allowed);
        QCOMPARE(rig.engine->allowedFormats(), uint32_t(offered));
        QCOMPARE(rig.engine->preferredFormat(), uint32_t(effectivePreferred));
        auto count = [&rig](int type) {
            const QList<TextEvent> texts = rig.probe->all<TextEvent>();
            return int(std::count_if(texts.cbegin(), texts.cend(), [type](const auto &e) { return e.type == type; }));
        };
        QTRY_COMPARE(count(TextWarning), warnings);
        QTRY_COMPARE(count(TextError), errors);

        const int call = rig.engine->dial(rig.account(), "300");
        if (!offered) {
            // Refused with an error, never sent with an empty capability.
            QCOMPARE(call, -1);
            QTRY_COMPARE(count(TextError), errors + 1);
            rig.callIn(rig.engine->localPort());
            QTRY_COMPARE(rig.pbx.count(TypeIax, CmdReject), 1);
            QTRY_COMPARE(count(TextError), errors + 2);
            QCOMPARE(rig.pbx.count(TypeIax, CmdNew), 0);
            return;
        }
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdNew), 1);
        const FakePbx::Frame *fresh = rig.pbx.last(TypeIax, CmdNew);
        QCOMPARE(qFromBigEndian<quint32>(fresh->ies.value(8).constData()), quint32(offered));
        QCOMPARE(qFromBigEndian<quint32>(fresh->ies.value(9).constData()), quint32(effectivePreferred));
    }

    void deviceSelectionRunsOnTheEngineThread()
    {
        ThreadCheckDevice audio;
        Iax2Engine engine(loopbackConfig(), &audio);
        EngineProbe probe(engine);
        engine.start();
        QVERIFY(engine.selectAudioDevices(MemoryAudioDevice::kId, MemoryAudioDevice::kId, -1));
        QTRY_COMPARE(audio.selections.load(), 1);
        QVERIFY(!audio.onCallerThread);
        // A device that is gone is refused, and the device still hears of it to fall back.
        QVERIFY(!engine.selectAudioDevices(MemoryAudioDevice::kId, 7, -1));
        QTRY_COMPARE(audio.selections.load(), 2);
        QTRY_VERIFY(probe.logs().join(QLatin1Char('\n')).contains(QLatin1String("not available")));
        engine.stop();
    }

    void attendedTransfer_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("ok");
        QTest::newRow("the PBX joins the calls") << int(FakePbx::TransferMode::Join) << true;
        QTest::newRow("the PBX refuses") << int(FakePbx::TransferMode::Reject) << false;
        QTest::newRow("the peers never get ready") << int(FakePbx::TransferMode::Ignore) << false;
    }

    void attendedTransfer()
    {
        QFETCH(int, mode);
        QFETCH(bool, ok);
        MediaRig rig(400); // the five-second limit, shortened
        rig.pbx.setTransferMode(FakePbx::TransferMode(mode));
        FakePbx::Dialogue *first = nullptr;
        FakePbx::Dialogue *second = nullptr;
        const int held = rig.answeredCall(FormatUlaw, &first, QStringLiteral("111"));
        QVERIFY(held >= 0 && rig.engine->quelch(held));
        const int talking = rig.answeredCall(FormatUlaw, &second, QStringLiteral("222"));
        QVERIFY(talking >= 0 && talking != held);
        QTRY_VERIFY(first->remoteNo && second->remoteNo);

        QVERIFY(!rig.engine->attendedTransfer(held, held));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(rig.engine->attendedTransfer(held, talking));
        QVERIFY(!rig.engine->attendedTransfer(held, talking)); // one at a time
        // Each leg was told where the other is: the PBX's address and its call number there.
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdTxReq), 2);
        QCOMPARE(first->transferCall, second->localNo);
        QCOMPARE(second->transferCall, first->localNo);
        QCOMPARE(first->transferPort, rig.pbx.port());
        QCOMPARE(first->transferId, second->transferId);

        QTRY_COMPARE_WITH_TIMEOUT(rig.probe->count<TransferEvent>(), 2, 3000);
        const QList<TransferEvent> results = rig.probe->all<TransferEvent>();
        QCOMPARE(results[0].ok, ok);
        QCOMPARE(results[1].ok, ok);
        QCOMPARE(QSet<int>({ results[0].callNo, results[0].otherCallNo }), QSet<int>({ held, talking }));
        if (ok) {
            // Released to each other, and gone from here without a hang-up.
            QTRY_VERIFY(first->released && second->released);
            QTRY_COMPARE(rig.engine->callState(held), int(CallFree));
            QCOMPARE(rig.engine->callState(talking), int(CallFree));
            QCOMPARE(rig.pbx.count(TypeIax, CmdHangup), 0);
        } else {
            // Both calls stay answered, without the transfer mark, with voice.
            QCOMPARE(rig.engine->callState(held) & (CallComplete | CallTransfer), int(CallComplete));
            QCOMPARE(rig.engine->callState(talking) & (CallComplete | CallTransfer), int(CallComplete));
            QVERIFY(!first->released && !second->released);
            QTRY_VERIFY(rig.probe->texts().contains(QLatin1String("transfer failed")));
            if (mode == int(FakePbx::TransferMode::Ignore)) {
                QVERIFY2(timer.elapsed() >= 350, qPrintable(QString::number(timer.elapsed())));
                QTRY_VERIFY(first->transferRejected && second->transferRejected);
            }
            const int before = second->voiceFrames;
            QTRY_VERIFY(second->voiceFrames > before + 5);
        }
        QVERIFY2(rig.pbx.errors().isEmpty(), qPrintable(rig.pbx.errors().join(", ")));
    }

    // A peer sending undecodable voice is told in the log once per call, not
    // once per frame.
    void corruptVoiceIsLoggedOnce()
    {
        MediaRig rig;
        FakePbx::Dialogue *d = nullptr;
        QVERIFY(rig.answeredCall(FormatSpeex, &d) >= 0);
        rig.pbx.startTone(d->localNo, 1000);
        QTRY_VERIFY(rig.audio.playedCount() >= 1600);
        rig.pbx.stopTone(d->localNo);
        for (int i = 1; i <= 30; ++i) {
            QByteArray mini(4, '\0');
            qToBigEndian<quint16>(d->localNo, mini.data());
            qToBigEndian<quint16>(quint16(d->toneTs + 20 * i), mini.data() + 2);
            rig.pbx.sendRaw(mini + QByteArray(20, '\x50'), rig.engine->localPort()); // Speex mode 10 does not exist
            QTest::qWait(20);
        }
        QTRY_COMPARE(rig.probe->logs().filter(QStringLiteral("cannot be decoded")).size(), 1);
        QTest::qWait(100); // the last frames play out meanwhile
        QCOMPARE(rig.probe->logs().filter(QStringLiteral("cannot be decoded")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestIax2Media)
#include "tst_iax2media.moc"
