#include <QtTest>

#include "iax2/media/JitterBuffer.h"

using namespace iax2;

namespace {

// A codec whose payload is [id, frames]: each frame decodes to 160 samples of
// value id; 0xff is refused; concealment gives samples of -1. Output frames then
// tell exactly which payload played when.
class TokenCodec : public Codec
{
public:
    uint32_t format() const override { return FormatSlin; }
    void encode(const int16_t *, std::vector<uint8_t> &) override { }
    bool decode(const uint8_t *data, size_t size, std::vector<int16_t> &out) override
    {
        if (size != 2 || data[0] == 0xff || data[1] == 0)
            return false;
        out.insert(out.end(), size_t(data[1]) * kFrameSamples, int16_t(data[0]));
        return true;
    }
    void conceal(std::vector<int16_t> &out) override { out.insert(out.end(), kFrameSamples, int16_t(-1)); }
};

// Arrivals as "tick:timestamp[:frames|:bad]", the payload id being the
// timestamp's 20 ms slot (0 is 50, 20 is 51...). One token per tick: "."
// while buffering, "c" concealed, else the id played.
QString run(JitterBuffer &jb, const QString &arrivals, int ticks)
{
    TokenCodec codec;
    QList<QStringList> items;
    for (const QString &item : arrivals.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        items << item.split(QLatin1Char(':'));
    QStringList out;
    for (int tick = 0; tick < ticks; ++tick) {
        for (const QStringList &parts : std::as_const(items)) {
            if (parts[0].toInt() != tick)
                continue;
            const uint32_t ts = parts[1].toUInt();
            uint8_t payload[2] = { uint8_t(((ts + 1000u) / 20u) % 100u), 1 };
            if (parts.size() > 2)
                parts[2] == QLatin1String("bad") ? payload[0] = 0xff : payload[1] = uint8_t(parts[2].toInt());
            jb.put(ts, payload, 2);
        }
        int16_t frame[Codec::kFrameSamples];
        const bool playing = jb.get(codec, frame);
        out << (!playing ? QStringLiteral(".") : frame[0] == -1 ? QStringLiteral("c") : QString::number(frame[0]));
    }
    return out.join(QLatin1Char(' '));
}

} // namespace

class TestJitterBuffer : public QObject
{
    Q_OBJECT

private slots:
    void playout_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("arrivals");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("stats"); // late, concealed, resyncs, target in force

        QTest::newRow("reordered frames play in timestamp order") << 40 << "0:0 1:40 1:20 2:80 2:60 3:100 4:120"
                                                                  << ". 50 51 52 53 54 55"
                                                                  << "0 0 0 40";
        QTest::newRow("a frame after its turn is dropped") << 40 << "0:0 1:20 2:60 3:80 5:40 5:100 6:120"
                                                           << ". 50 51 c 53 54 55"
                                                           << "1 1 0 40";
        QTest::newRow("a dry buffer waits for the late frame, and the delay grows") << 40 << "0:0 1:20 4:40 4:60 5:80"
                                                                                    << ". 50 51 c 52 53 54"
                                                                                    << "0 1 0 60";
        QTest::newRow("in order, duplicates play once") << 40 << "0:0 0:0 1:20 1:20 2:40"
                                                        << ". 50 51 52"
                                                        << "0 0 0 40";
        QTest::newRow("a malformed payload is concealed") << 40 << "0:0 1:20:bad 2:40 3:60"
                                                          << ". 50 c 52 53"
                                                          << "0 1 0 40";
        QTest::newRow("timestamps wrap around 2^32") << 40 << "0:4294967256 1:4294967276 2:0 3:20 4:40"
                                                     << ". 48 49 50 51"
                                                     << "0 0 0 40";
        QTest::newRow("sender's clock off the 20 ms grid") << 40 << "0:3 1:22 2:44 3:61 4:83"
                                                           << ". 50 51 52 53"
                                                           << "0 0 0 40";
        QTest::newRow("a far timestamp while playing restarts, not 50 s of concealment")
            << 0 << "0:0 1:20 2:50000 3:50020"
            << "50 51 50 51"
            << "0 0 1 0";
        // Half a second's pause, then a new clock: dry for ten frames, then
        // buffering, then the new stream from its first frame.
        QTest::newRow("a pause, then a new clock")
            << 40 << "0:0 1:20 2:40 3:60 4:80 30:90000 31:90020 32:90040 33:90060 34:90080"
            << ". 50 51 52 53 54 " + QStringList(10, "c").join(' ') + ' ' + QStringList(15, ".").join(' ')
                + " 50 51 52 53 54"
            << "0 10 0 40";
    }

    void playout()
    {
        QFETCH(int, target);
        QFETCH(QString, arrivals);
        QFETCH(QString, expected);
        QFETCH(QString, stats);
        JitterBuffer jb(40);
        jb.setTarget(target);
        QCOMPARE(jb.target(), target);
        QCOMPARE(run(jb, arrivals, int(expected.count(QLatin1Char(' '))) + 1), expected);
        const JitterBuffer::Stats &s = jb.stats();
        QCOMPARE(
            QStringLiteral("%1 %2 %3 %4").arg(s.late).arg(s.concealed).arg(s.resyncs).arg(jb.currentTarget()), stats);
    }

    void shedsFramesWhenTooDeep()
    {
        // Frames in a bunch keep the buffer deep: after a second above target
        // it sheds frames, never below the target.
        JitterBuffer jb(40);
        TokenCodec codec;
        int16_t frame[Codec::kFrameSamples];
        uint8_t p[2] = { 1, 1 };
        uint32_t ts = 0;
        for (int tick = 0; tick < 50; ++tick, ts += 20) {
            jb.put(ts, p, 2);
            jb.get(codec, frame);
        }
        for (int i = 0; i < 15; ++i, ts += 20)
            jb.put(ts, p, 2);
        const int deep = jb.depthMs();
        for (int tick = 0; tick < 400; ++tick, ts += 20) {
            jb.put(ts, p, 2);
            QVERIFY(jb.get(codec, frame));
        }
        QVERIFY(deep >= 300);
        QVERIFY(jb.stats().shrunk >= 10);
        QVERIFY(jb.depthMs() <= jb.currentTarget() + 2 * JitterBuffer::kFrameMs);
        QCOMPARE(int(jb.stats().concealed), 0);
    }

    void hostileInputStaysBounded()
    {
        JitterBuffer jb(40);
        TokenCodec codec;
        uint8_t p[2] = { 9, 1 };
        // Thousands of distinct timestamps at once: the buffer keeps a bounded window.
        for (uint32_t i = 0; i < 5000; ++i)
            jb.put(i * 20, p, 2);
        QVERIFY(jb.depthMs() <= 1000);
        QVERIFY(jb.stats().overflow > 0);
        // Empty, null and oversized payloads are refused outright.
        QVERIFY(!jb.put(1, nullptr, 2));
        QVERIFY(!jb.put(1, p, 0));
        std::vector<uint8_t> huge(100000, 1);
        QVERIFY(!jb.put(3, huge.data(), huge.size()));
        // A payload of many frames still comes out one frame per call.
        JitterBuffer big(0);
        uint8_t many[2] = { 4, 200 };
        QVERIFY(big.put(0, many, 2));
        int16_t frame[Codec::kFrameSamples];
        for (int i = 0; i < 200; ++i) {
            QVERIFY(big.get(codec, frame));
            QCOMPARE(frame[0], int16_t(4));
        }
    }
};

QTEST_GUILESS_MAIN(TestJitterBuffer)
#include "tst_jitterbuffer.moc"
