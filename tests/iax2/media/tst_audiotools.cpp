#include <QtTest>

#include "iax2/media/AudioLevel.h"
#include "iax2/media/Resampler.h"
#include "iax2/media/RingTone.h"
#include "testsupport/SignalTools.h"
#include "iax2/media/SpscRing.h"

#include <thread>

using namespace iax2;
using namespace signaltools;

class TestAudioTools : public QObject
{
    Q_OBJECT

private slots:
    void resamplerKeepsTheTone_data();
    void resamplerKeepsTheTone();
    void resamplerEdgeCases();
    void ringToneCycle();
    void levels();
    void ringAcrossThreads();
    void ringWrapsAndSkips();
};

void TestAudioTools::resamplerKeepsTheTone_data()
{
    QTest::addColumn<int>("deviceRate");
    QTest::newRow("48 kHz") << 48000;
    QTest::newRow("44.1 kHz") << 44100;
    QTest::newRow("16 kHz") << 16000;
    QTest::newRow("11025 Hz") << 11025;
    QTest::newRow("8 kHz") << 8000;
}

void TestAudioTools::resamplerKeepsTheTone()
{
    QFETCH(int, deviceRate);
    // Capture direction: a 1 kHz tone at the device rate, fed in odd-sized pieces.
    Resampler down(deviceRate, 8000);
    QVERIFY(down.isValid());
    const auto in = tone(1000.0, 10000.0, size_t(deviceRate) * 2, deviceRate);
    std::vector<int16_t> at8k;
    for (size_t at = 0; at < in.size(); at += 441)
        down.process(in.data() + at, std::min<size_t>(441, in.size() - at), at8k);
    // Two seconds in, two seconds out, give or take the filter's delay.
    QVERIFY2(std::abs(int(at8k.size()) - 16000) <= 64, qPrintable(QString::number(at8k.size())));
    const double snr = toneToRestDb(at8k, 4000, 8000, 1000.0);
    QVERIFY2(snr > 30.0, qPrintable(QString::number(snr)));

    // Playback direction and back again: still the same tone at the same level.
    Resampler up(8000, deviceRate), back(deviceRate, 8000);
    std::vector<int16_t> atDevice, again;
    for (size_t at = 0; at + 160 <= at8k.size(); at += 160)
        up.process(at8k.data() + at, 160, atDevice);
    back.process(atDevice.data(), atDevice.size(), again);
    QVERIFY(again.size() >= 12000);
    const double roundTrip = toneToRestDb(again, 4000, 8000, 1000.0);
    QVERIFY2(roundTrip > 25.0, qPrintable(QString::number(roundTrip)));
    const double gain = db(
        tonePower(again.data() + 4000, 8000, 1000.0) / tonePower(in.data(), size_t(deviceRate), 1000.0, deviceRate));
    QVERIFY2(std::abs(gain) < 1.0, qPrintable(QString::number(gain)));
}

void TestAudioTools::resamplerEdgeCases()
{
    for (auto rates : { std::pair { 0, 8000 }, std::pair { 8000, -1 }, std::pair { -5, -5 } }) {
        Resampler r(rates.first, rates.second);
        QVERIFY(!r.isValid());
        std::vector<int16_t> out;
        const int16_t x[4] = { 1, 2, 3, 4 };
        r.process(x, 4, out);
        QVERIFY(out.empty());
    }
    // Nothing in, nothing out; a reset stream starts clean.
    Resampler r(48000, 8000);
    std::vector<int16_t> out;
    r.process(nullptr, 0, out);
    QVERIFY(out.empty());
    const auto loud = tone(1000.0, 20000.0, 4800, 48000);
    r.process(loud.data(), loud.size(), out);
    r.reset();
    out.clear();
    const std::vector<int16_t> silence(4800, 0);
    r.process(silence.data(), silence.size(), out);
    QVERIFY(!out.empty());
    QVERIFY(std::all_of(out.begin(), out.end(), [](int16_t s) { return s == 0; }));
}

void TestAudioTools::ringToneCycle()
{
    RingTone ring;

    std::vector<int16_t> cycle, next;
    int16_t frame[160];
    for (int i = 0; i < 2 * RingTone::kPeriodFrames; ++i) {
        ring.nextFrame(frame);
        auto &into = i < RingTone::kPeriodFrames ? cycle : next;
        into.insert(into.end(), frame, frame + 160);
    }
    QCOMPARE(cycle.size(), size_t(4 * 8000));
    QCOMPARE(next, cycle); // repeats exactly every four seconds
    // A second of sound, then three of silence.
    QVERIFY(power(cycle.data(), 8000) > 1e6);
    QVERIFY(std::all_of(cycle.begin() + 8000, cycle.end(), [](int16_t s) { return s == 0; }));
    // No click: the burst starts and ends near zero and never jumps.
    QVERIFY(std::abs(cycle[0]) < 200 && std::abs(cycle[7999]) < 200);
    int jump = 0;
    for (size_t i = 1; i < cycle.size(); ++i)
        jump = std::max(jump, std::abs(int(cycle[i]) - int(cycle[i - 1])));
    QVERIFY2(jump < 8000, qPrintable(QString::number(jump)));
    // The two notes, one after the other.
    QVERIFY(tonePower(cycle.data() + 400, 3200, RingTone::kFirstHz)
        > 10 * tonePower(cycle.data() + 400, 3200, RingTone::kSecondHz));
    QVERIFY(tonePower(cycle.data() + 4400, 3200, RingTone::kSecondHz)
        > 10 * tonePower(cycle.data() + 4400, 3200, RingTone::kFirstHz));
    // reset starts a new ring with the tone.
    ring.reset();
    ring.nextFrame(frame);
    QVERIFY(std::equal(frame, frame + 160, cycle.begin()));
}

void TestAudioTools::levels()
{
    const auto fullScale = tone(1000.0, 32767.0, 160);
    QVERIFY(std::abs(levelDb(fullScale.data(), 160) - (-3.01f)) < 0.1f);
    const auto quiet = tone(1000.0, 327.67, 160);
    QVERIFY(std::abs(levelDb(quiet.data(), 160) - (-43.01f)) < 0.1f);
    const std::vector<int16_t> zero(160, 0);
    QCOMPARE(levelDb(zero.data(), 160), kSilenceDb);
    QCOMPARE(levelDb(nullptr, 0), kSilenceDb);

    // One report per five frames, the loudest frame of them.
    LevelMeter meter;
    float level = 0.0f;
    for (int i = 0; i < 4; ++i)
        QVERIFY(!meter.add(i == 1 ? quiet.data() : zero.data(), 160, &level));
    QVERIFY(meter.add(zero.data(), 160, &level));
    QVERIFY(std::abs(level - (-43.01f)) < 0.1f);
    for (int i = 0; i < 4; ++i)
        QVERIFY(!meter.add(zero.data(), 160, &level));
    QVERIFY(meter.add(zero.data(), 160, &level));
    QCOMPARE(level, kSilenceDb);

    // Gain saturates instead of wrapping; zero and NaN mute.
    std::vector<int16_t> s = { 1000, -1000, 30000, -30000 };
    applyGain(s.data(), s.size(), 2.0f);
    QCOMPARE(s, (std::vector<int16_t> { 2000, -2000, 32767, -32768 }));
    applyGain(s.data(), s.size(), std::nanf(""));
    QCOMPARE(s, (std::vector<int16_t> { 0, 0, 0, 0 }));
}

void TestAudioTools::ringAcrossThreads()
{
    // A producer and a consumer hammering one small ring: every value arrives
    // once and in order.
    SpscRing<int16_t> ring(64);
    constexpr int kCount = 200000;
    std::thread producer([&ring] {
        int16_t chunk[7];
        for (int next = 0; next < kCount;) {
            int n = 0;
            while (n < 7 && next + n < kCount) {
                chunk[n] = int16_t(next + n);
                ++n;
            }
            const size_t written = ring.write(chunk, size_t(n));
            next += int(written);
            if (written == 0)
                std::this_thread::yield();
        }
    });
    int expected = 0;
    bool inOrder = true;
    int16_t buf[5];
    while (expected < kCount) {
        const size_t got = ring.read(buf, 5);
        for (size_t i = 0; i < got; ++i) {
            inOrder = inOrder && buf[i] == int16_t(expected);
            ++expected;
        }
        if (got == 0)
            std::this_thread::yield();
    }
    producer.join();
    QVERIFY(inOrder);
    QCOMPARE(ring.readAvailable(), size_t(0));
}

void TestAudioTools::ringWrapsAndSkips()
{
    SpscRing<int16_t> ring(5);
    QCOMPARE(ring.capacity(), size_t(8));
    const int16_t a[10] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 };
    QCOMPARE(ring.write(a, 10), size_t(8)); // full: the rest is refused, not overwritten
    QCOMPARE(ring.writeAvailable(), size_t(0));
    QCOMPARE(ring.skip(3), size_t(3));
    QCOMPARE(ring.write(a + 8, 2), size_t(2));
    int16_t out[10] = {};
    QCOMPARE(ring.read(out, 10), size_t(7));
    QCOMPARE(std::vector<int16_t>(out, out + 7), (std::vector<int16_t> { 3, 4, 5, 6, 7, 8, 9 }));
    QCOMPARE(ring.skip(4), size_t(0));
}

QTEST_GUILESS_MAIN(TestAudioTools)
#include "tst_audiotools.moc"
