#include <QtTest>

#include "iax2/media/AudioLevel.h"
#include "iax2/media/Resampler.h"
#include "iax2/media/RingTone.h"
#include "iax2/media/SpscRing.h"
#include "testsupport/SignalTools.h"

#include <thread>

using namespace iax2;
using namespace signaltools;

class TestAudioTools : public QObject
{
    Q_OBJECT

private slots:
    void resampler_data()
    {
        QTest::addColumn<int>("deviceRate");
        QTest::newRow("48 kHz") << 48000;
        QTest::newRow("44.1 kHz") << 44100;
        QTest::newRow("8 kHz") << 8000;
    }

    void resampler()
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
        QVERIFY2(bandToRestDb(at8k, 4000, 8000, 1000.0) > 30.0, "capture");
        // Playback direction and back again: still the same tone at the same level.
        Resampler up(8000, deviceRate), back(deviceRate, 8000);
        std::vector<int16_t> atDevice, again;
        for (size_t at = 0; at + 160 <= at8k.size(); at += 160)
            up.process(at8k.data() + at, 160, atDevice);
        back.process(atDevice.data(), atDevice.size(), again);
        QVERIFY(again.size() >= 12000);
        QVERIFY2(bandToRestDb(again, 4000, 8000, 1000.0) > 25.0, "round trip");
        const double gain = db(
            tonePower(again.data() + 4000, 8000, 1000.0) / tonePower(in.data(), size_t(deviceRate), 1000, deviceRate));
        QVERIFY2(std::abs(gain) < 1.0, qPrintable(QString::number(gain)));

        // A reset stream starts clean.
        std::vector<int16_t> out;
        down.reset();
        const std::vector<int16_t> silence(4800, 0);
        down.process(silence.data(), silence.size(), out);
        QVERIFY(!out.empty() && std::all_of(out.begin(), out.end(), [](int16_t s) { return s == 0; }));
    }

    void ringToneCycle()
    {
        RingTone ring;
        std::vector<int16_t> cycle, next;
        int16_t frame[160];
        for (int i = 0; i < 2 * RingTone::kPeriodFrames; ++i) {
            ring.nextFrame(frame);
            auto &into = i < RingTone::kPeriodFrames ? cycle : next;
            into.insert(into.end(), frame, frame + 160);
        }
        // Repeated exactly: a second of the two notes one after the other,
        // without a click, then silence.
        QCOMPARE(next, cycle);
        QVERIFY(std::all_of(cycle.begin() + 8000, cycle.end(), [](int16_t s) { return s == 0; }));
        for (size_t i = 1; i < 8000; ++i)
            QVERIFY2(std::abs(cycle[i] - cycle[i - 1]) < 8000, qPrintable(QString::number(i)));
        QVERIFY(tonePower(cycle.data() + 400, 3200, RingTone::kFirstHz)
            > 10 * tonePower(cycle.data() + 400, 3200, RingTone::kSecondHz));
        QVERIFY(tonePower(cycle.data() + 4400, 3200, RingTone::kSecondHz)
            > 10 * tonePower(cycle.data() + 4400, 3200, RingTone::kFirstHz));
    }

    void levels()
    {
        const auto fullScale = tone(1000.0, 32767.0, 160);
        const std::vector<int16_t> zero(160, 0);
        QVERIFY(std::abs(levelDb(fullScale.data(), 160) - (-3.01f)) < 0.1f);
        QVERIFY(levelDb(zero.data(), 160) == kSilenceDb && levelDb(nullptr, 0) == kSilenceDb);
        // Gain saturates instead of wrapping; NaN mutes.
        std::vector<int16_t> s = { 1000, -1000, 30000, -30000 };
        applyGain(s.data(), s.size(), 2.0f);
        QCOMPARE(s, (std::vector<int16_t> { 2000, -2000, 32767, -32768 }));
        applyGain(s.data(), s.size(), std::nanf(""));
        QCOMPARE(s, (std::vector<int16_t> { 0, 0, 0, 0 }));
    }

    void ring()
    {
        // A producer and a consumer hammering one small ring: every value
        // arrives once and in order.
        SpscRing<int16_t> ring(64);
        constexpr int kCount = 200000;
        std::thread producer([&ring] {
            int16_t chunk[7];
            for (int next = 0; next < kCount;) {
                const int n = std::min(7, kCount - next);
                for (int i = 0; i < n; ++i)
                    chunk[i] = int16_t(next + i);
                const size_t written = ring.write(chunk, size_t(n));
                next += int(written);
                if (written == 0)
                    std::this_thread::yield();
            }
        });
        bool inOrder = true;
        int16_t buf[5];
        for (int expected = 0; expected < kCount;) {
            const size_t got = ring.read(buf, 5);
            for (size_t i = 0; i < got; ++i)
                inOrder = inOrder && buf[i] == int16_t(expected++);
            if (got == 0)
                std::this_thread::yield();
        }
        producer.join();
        QVERIFY(inOrder);

        // Full: the rest is refused, not overwritten; skipped samples are gone.
        SpscRing<int16_t> small(5);
        QCOMPARE(small.capacity(), size_t(8));
        const int16_t a[10] = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 };
        QCOMPARE(small.write(a, 10), size_t(8));
        QCOMPARE(small.skip(3), size_t(3));
        QCOMPARE(small.write(a + 8, 2), size_t(2));
        int16_t out[10] = {};
        QCOMPARE(small.read(out, 10), size_t(7));
        QCOMPARE(std::vector<int16_t>(out, out + 7), (std::vector<int16_t> { 3, 4, 5, 6, 7, 8, 9 }));
        QCOMPARE(small.skip(4), size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestAudioTools)
#include "tst_audiotools.moc"
