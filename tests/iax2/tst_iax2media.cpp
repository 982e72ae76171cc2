// The engine's media path and codec offer against the loopback fake PBX.

#include <QtTest>

#include "iax2/media/AudioLevel.h"
#include "testsupport/IaxRig.h"

#include <atomic>
#include <thread>

using namespace iax2;
using namespace signaltools;

namespace {

enum : int { TypeVoice = 2, TypeIax = 6, TypeComfortNoise = 10, CmdNew = 1, CmdReject = 6 };

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
    MediaRig()
    {
        engine->setFormats(FormatUlaw, FormatUlaw | FormatAlaw | FormatGsm | FormatSpeex);
    }
};

// Hiss, then 200 ms of tone and 100 ms of hiss three times, then hiss.
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

    void comfortNoiseWhenSilent()
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
    }

    void ringTone()
    {
        MediaRig rig;
        const quint16 pbxCall = rig.callIn(rig.engine->localPort());
        QTRY_VERIFY(rig.probe->incomingCall() >= 0);
        QTRY_VERIFY(rig.audio.ringFrames() >= 10);
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

    void iLbcIsNeverOffered()
    {
        MediaRig rig;
        rig.probe->clear();
        auto texts = [&rig](int type) {
            const QList<TextEvent> all = rig.probe->all<TextEvent>();
            return int(std::count_if(all.cbegin(), all.cend(), [type](const auto &e) { return e.type == type; }));
        };
        // No codec here: it is left out with a warning, and the next allowed one is preferred.
        rig.engine->setFormats(FormatIlbc, FormatIlbc | FormatGsm);
        QCOMPARE(rig.engine->allowedFormats(), uint32_t(FormatGsm));
        QCOMPARE(rig.engine->preferredFormat(), uint32_t(FormatGsm));
        QTRY_COMPARE(texts(TextWarning), 1);
        // Nothing left: calls are refused both ways, never offered with an empty capability.
        rig.engine->setFormats(FormatIlbc, FormatIlbc);
        QCOMPARE(rig.engine->allowedFormats(), uint32_t(0));
        QCOMPARE(rig.engine->dial(rig.account(), "300"), -1);
        rig.callIn(rig.engine->localPort());
        QTRY_COMPARE(rig.pbx.count(TypeIax, CmdReject), 1);
        QTRY_COMPARE(texts(TextError), 3);
        QCOMPARE(rig.pbx.count(TypeIax, CmdNew), 0);
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
