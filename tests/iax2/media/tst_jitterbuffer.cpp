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

// One output frame as a token: "." while buffering, "c" concealed, else the payload id.
QString token(bool playing, const int16_t *frame)
{
    if (!playing)
        return QStringLiteral(".");
    if (frame[0] == -1)
        return QStringLiteral("c");
    return QString::number(frame[0]);
}

uint8_t idFor(uint32_t ts)
{
    return uint8_t(((ts + 1000u) / 20u) % 100u);
}

// Arrivals as "tick:timestamp[:frames|:bad]"; returns one token per tick.
QString run(JitterBuffer &jb, const QString &arrivals, int ticks)
{
    TokenCodec codec;
    QMultiMap<int, QStringList> byTick;
    const auto items = arrivals.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &item : items) {
        const QStringList parts = item.split(QLatin1Char(':'));
        byTick.insert(parts[0].toInt(), parts);
    }
    QStringList out;
    for (int tick = 0; tick < ticks; ++tick) {
        // QMultiMap gives the last inserted first; arrivals keep their written order.
        auto here = byTick.values(tick);
        std::reverse(here.begin(), here.end());
        for (const QStringList &parts : std::as_const(here)) {
            const uint32_t ts = parts[1].toUInt();
            uint8_t payload[2] = { idFor(ts), 1 };
            if (parts.size() > 2 && parts[2] == QLatin1String("bad"))
                payload[0] = 0xff;
            else if (parts.size() > 2)
                payload[1] = uint8_t(parts[2].toInt());
            jb.put(ts, payload, 2);
        }
        int16_t frame[Codec::kFrameSamples];
        const bool playing = jb.get(codec, frame);
        out << token(playing, frame);
    }
    return out.join(QLatin1Char(' '));
}

} // namespace

class TestJitterBuffer : public QObject
{
    Q_OBJECT

private slots:
    void playout_data();
    void playout();
    void targetDelay();
    void pauseAndTimestampJump();
    void shedsFramesWhenTooDeep();
    void hostileInputStaysBounded();
};

void TestJitterBuffer::playout_data()
{
    QTest::addColumn<QString>("arrivals");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("late");
    QTest::addColumn<int>("concealed");

    // ids: timestamp 0 is 50, 20 is 51, and so on.
    QTest::newRow("in order, starts at the 40 ms target") << "0:0 1:20 2:40 3:60 4:80"
                                                          << ". 50 51 52 53 54" << 0 << 0;
    QTest::newRow("reordered frames play in timestamp order") << "0:0 1:40 1:20 2:80 2:60 3:100 4:120"
                                                              << ". 50 51 52 53 54 55" << 0 << 0;
    QTest::newRow("a lost frame is concealed") << "0:0 1:20 3:60 4:80 5:100"
                                               << ". 50 51 c 53 54" << 0 << 1;
    QTest::newRow("a frame after its turn is dropped") << "0:0 1:20 2:60 3:80 5:40 5:100 6:120"
                                                       << ". 50 51 c 53 54 55" << 1 << 1;
    QTest::newRow("a dry buffer waits for the late frame") << "0:0 1:20 4:40 4:60 5:80"
                                                           << ". 50 51 c 52 53 54" << 0 << 1;
    QTest::newRow("duplicates play once") << "0:0 0:0 1:20 1:20 2:40"
                                          << ". 50 51 52" << 0 << 0;
    QTest::newRow("a payload of two frames plays both") << "0:0:2 1:40 2:60 3:80"
                                                        << ". 50 50 52 53" << 0 << 0;
    QTest::newRow("a malformed payload is concealed") << "0:0 1:20:bad 2:40 3:60"
                                                      << ". 50 c 52 53" << 0 << 1;
    QTest::newRow("timestamps wrap around 2^32") << "0:4294967256 1:4294967276 2:0 3:20 4:40"
                                                 << ". 48 49 50 51" << 0 << 0;
    QTest::newRow("sender's clock off the 20 ms grid") << "0:3 1:22 2:44 3:61 4:83"
                                                       << ". 50 51 52 53" << 0 << 0;
}

void TestJitterBuffer::playout()
{
    QFETCH(QString, arrivals);
    QFETCH(QString, expected);
    QFETCH(int, late);
    QFETCH(int, concealed);
    JitterBuffer jb(40);
    QCOMPARE(run(jb, arrivals, int(expected.count(QLatin1Char(' '))) + 1), expected);
    QCOMPARE(int(jb.stats().late), late);
    QCOMPARE(int(jb.stats().concealed), concealed);
}

void TestJitterBuffer::targetDelay()
{
    JitterBuffer jb(40);
    jb.setTarget(100);
    QCOMPARE(jb.target(), 100);
    QCOMPARE(run(jb, "0:0 1:20 2:40 3:60 4:80 5:100 6:120", 7), QStringLiteral(". . . . 50 51 52"));

    // A frame that came late but in time for its held slot raises the delay.
    JitterBuffer adapting(40);
    QCOMPARE(run(adapting, "0:0 1:20 4:40 4:60 5:80", 6), QStringLiteral(". 50 51 c 52 53"));
    QCOMPARE(adapting.currentTarget(), 60);
    QCOMPARE(adapting.target(), 40);

    JitterBuffer none(0);
    QCOMPARE(run(none, "0:0 1:20 2:40", 3), QStringLiteral("50 51 52"));
}

void TestJitterBuffer::pauseAndTimestampJump()
{
    JitterBuffer jb(40);
    QString arrivals;
    for (int i = 0; i < 5; ++i)
        arrivals += QStringLiteral("%1:%2 ").arg(i).arg(i * 20);
    // The peer goes quiet for half a second, then resumes with a new clock.
    for (int i = 0; i < 5; ++i)
        arrivals += QStringLiteral("%1:%2 ").arg(30 + i).arg(90000 + i * 20);
    const QString out = run(jb, arrivals, 36);
    const QStringList tokens = out.split(QLatin1Char(' '));
    // Dry for ten frames (concealed), then silent buffering, then the new stream
    // from its first frame after the 40 ms target.
    QCOMPARE(tokens.mid(0, 6).join(QLatin1Char(' ')), QStringLiteral(". 50 51 52 53 54"));
    QCOMPARE(tokens.mid(6, 10), QStringList(10, QStringLiteral("c")));
    QVERIFY(tokens.mid(16, 15).join(QString()).count(QLatin1Char('.')) == 15);
    QCOMPARE(tokens.mid(31).join(QLatin1Char(' ')), QStringLiteral("50 51 52 53 54"));
    QCOMPARE(jb.currentTarget(), 40); // a pause is not lateness
}

void TestJitterBuffer::shedsFramesWhenTooDeep()
{
    // A peer whose frames arrive in bunches of five every 100 ms keeps the buffer
    // deep; after a second above target it sheds frames, never below the target.
    JitterBuffer jb(40);
    TokenCodec codec;
    int16_t frame[Codec::kFrameSamples];
    uint32_t ts = 0;
    // First a steady second, then 15 frames at once.
    for (int tick = 0; tick < 50; ++tick) {
        uint8_t p[2] = { 1, 1 };
        jb.put(ts, p, 2);
        ts += 20;
        jb.get(codec, frame);
    }
    for (int i = 0; i < 15; ++i) {
        uint8_t p[2] = { 2, 1 };
        jb.put(ts, p, 2);
        ts += 20;
    }
    const int deep = jb.depthMs();
    for (int tick = 0; tick < 400; ++tick) {
        uint8_t p[2] = { 3, 1 };
        jb.put(ts, p, 2);
        ts += 20;
        QVERIFY(jb.get(codec, frame));
    }
    qInfo("depth %d ms after the burst, %d ms later; %d frames shed", deep, jb.depthMs(), int(jb.stats().shrunk));
    QVERIFY(deep >= 300);
    QVERIFY(jb.stats().shrunk >= 10);
    QVERIFY(jb.depthMs() <= jb.currentTarget() + 2 * JitterBuffer::kFrameMs);
    QCOMPARE(int(jb.stats().concealed), 0);
}

void TestJitterBuffer::hostileInputStaysBounded()
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
    // Playing, then a timestamp from far away: a restart, not 50 s of concealment.
    JitterBuffer jump(0);
    QCOMPARE(run(jump, "0:0 1:20 2:50000 3:50020", 4), QStringLiteral("50 51 50 51"));
    QCOMPARE(int(jump.stats().resyncs), 1);
}

QTEST_GUILESS_MAIN(TestJitterBuffer)
#include "tst_jitterbuffer.moc"
