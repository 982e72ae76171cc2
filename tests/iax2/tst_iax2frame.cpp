// Wire-format tests on byte vectors written out by hand from the RFC 5456
// layouts, so that the decoder is not checked against its own encoder.

#include <QtTest>

#include "iax2/Frame.h"
#include "iax2/G711Codec.h"
#include "iax2/Sequencer.h"

using namespace iax2;
using Bytes = std::vector<uint8_t>;
using ms = Sequencer::Millis;

Q_DECLARE_METATYPE(Bytes)

namespace {

Bytes bytes(std::initializer_list<int> list)
{
    return Bytes(list.begin(), list.end());
}

// A NEW from call 0x1234 to nobody: ts 0x00000102, oseq 0, iseq 0, type 6
// (IAX), subclass 1, then VERSION=2, CALLED NUMBER "100", FORMAT=4.
const Bytes kNew = bytes({ 0x92, 0x34, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x06, 0x01, 0x0b, 0x02, 0x00,
    0x02, 0x01, 0x03, '1', '0', '0', 0x09, 0x04, 0x00, 0x00, 0x00, 0x04 });

FullFrame frame(uint8_t command, uint8_t oseq = 0, uint8_t iseq = 0)
{
    FullFrame f;
    f.sourceCall = 7;
    f.destCall = 9;
    f.subclass = command;
    f.oseqno = oseq;
    f.iseqno = iseq;
    return f;
}

// A sequencer that has stamped skip frames and then sent and tracks count more.
void send(Sequencer &seq, int skip, int count)
{
    for (int i = 0; i < skip + count; ++i) {
        FullFrame f = frame(Cmd::Ping);
        seq.stamp(f);
        Bytes wire;
        encodeFullFrame(f, wire);
        if (i >= skip)
            seq.track(f, wire, Sequencer::TimePoint());
    }
}

} // namespace

class TestIax2Frame : public QObject
{
    Q_OBJECT

private slots:
    void fullAndMiniFrames()
    {
        QCOMPARE(classify(kNew.data(), kNew.size()), DatagramKind::Full);
        FullFrame f;
        QVERIFY(parseFullFrame(kNew.data(), kNew.size(), f));
        QVERIFY(f.sourceCall == 0x1234 && f.destCall == 0 && !f.retransmitted && f.timestamp == 0x102u);
        QVERIFY(f.isIax(Cmd::New));
        const auto ies = IeList::parse(f.payload.data(), f.payload.size());
        QVERIFY(ies);
        QCOMPARE(ies->u16(Ie::Version).value_or(0), uint16_t(2));
        QCOMPARE(ies->string(Ie::CalledNumber), std::string("100"));
        QCOMPARE(ies->u32(Ie::Format).value_or(0), uint32_t(FormatUlaw));
        QVERIFY(!ies->u16(Ie::Format)); // wrong width is no value
        Bytes out;
        encodeFullFrame(f, out);
        QCOMPARE(out, kNew);

        const Bytes mini = bytes({ 0x02, 0x03, 0xbe, 0xef, 1, 2, 3 });
        QCOMPARE(classify(mini.data(), mini.size()), DatagramKind::Mini);
        MiniFrame m;
        QVERIFY(parseMiniFrame(mini.data(), mini.size(), m) && m.sourceCall == 0x0203 && m.timestamp == 0xbeef);
        out.clear();
        encodeMiniFrame(m, out);
        QCOMPARE(out, mini);
        QVERIFY(parseMiniFrame(mini.data(), 4, m) && m.payload.empty());
        const Bytes meta = bytes({ 0x00, 0x00, 0x01, 0x00, 0x00, 0x00 });
        QCOMPARE(classify(meta.data(), meta.size()), DatagramKind::Meta);
        QVERIFY(!parseMiniFrame(meta.data(), meta.size(), m));

        // An element's length is one byte: longer strings are cut.
        IeList names;
        names.addString(Ie::CallingName, std::string(300, 'x'));
        out.clear();
        names.appendTo(out);
        QCOMPARE(out.size(), size_t(257));
        QCOMPARE(IeList::parse(out.data(), out.size())->string(Ie::CallingName).size(), size_t(255));
    }

    void subclassCodes_data()
    {
        QTest::addColumn<int>("wire");
        QTest::addColumn<qint64>("value"); // -1: invalid
        QTest::newRow("largest plain") << 0x7f << qint64(0x7f);
        QTest::newRow("power 10") << 0x8a << qint64(1024);
        QTest::newRow("power 31") << 0x9f << qint64(0x80000000u);
        QTest::newRow("power 32 is out of range") << 0xa0 << qint64(-1);
    }

    void subclassCodes()
    {
        QFETCH(int, wire);
        QFETCH(qint64, value);
        const auto decoded = decodeSubclass(uint8_t(wire));
        QCOMPARE(decoded ? qint64(*decoded) : -1, value);
        if (value >= 0)
            QCOMPARE(int(encodeSubclass(uint32_t(value)).value_or(0)), wire);
        QVERIFY(!encodeSubclass(0x300)); // not a power of two
    }

    void rejectsBadDatagrams_data()
    {
        QTest::addColumn<Bytes>("data");
        QTest::newRow("full header cut") << bytes({ 0x80, 1, 0, 2, 0, 0, 0, 0, 0, 0, 6 });
        QTest::newRow("oversized") << Bytes(kMaxDatagram + 1, 0x80);
        QTest::newRow("IE past the end") << Bytes(kNew.begin(), kNew.end() - 1); // FORMAT claims 4 bytes, has 3
        QTest::newRow("IE header cut") << bytes({ 0x80, 1, 0, 2, 0, 0, 0, 0, 0, 0, 6, 1, 0x01 });
    }

    void rejectsBadDatagrams()
    {
        QFETCH(Bytes, data);
        FullFrame f;
        QVERIFY2(classify(data.data(), data.size()) == DatagramKind::Malformed
                || !parseFullFrame(data.data(), data.size(), f) || !IeList::parse(f.payload.data(), f.payload.size()),
            "bad input passed every check");
    }

    void miniTimestamps_data()
    {
        QTest::addColumn<uint>("last");
        QTest::addColumn<int>("low");
        QTest::addColumn<uint>("expected");
        QTest::newRow("wrapped since the last full frame") << 0x0001fff0u << 0x0004 << 0x00020004u;
        QTest::newRow("late frame from before the wrap") << 0x00020010u << 0xfff0 << 0x0001fff0u;
        QTest::newRow("late frame in the first epoch") << 0x00000040u << 0x0020 << 0x00000020u;
    }

    void miniTimestamps()
    {
        QFETCH(uint, last);
        QFETCH(int, low);
        QFETCH(uint, expected);
        QCOMPARE(expandMiniTimestamp(last, uint16_t(low)), uint32_t(expected));
        // Voice goes in a full frame first, on a change of format, and when the upper half changes.
        QVERIFY(needsFullVoiceFrame(true, false, 0, 20) && needsFullVoiceFrame(false, true, 20, 40));
        QVERIFY(!needsFullVoiceFrame(false, false, 0x1ffc0, 0x1ffd4));
        QVERIFY(needsFullVoiceFrame(false, false, 0x1ffec, 0x20000));
    }

    void sequenceOrderAndWrap()
    {
        Sequencer seq;
        // Walk through a full wrap of the 8-bit space, in order.
        for (int i = 0; i < 300; ++i)
            QCOMPARE(seq.receive(frame(Cmd::Ping, uint8_t(i))), Sequencer::Verdict::Accept);
        QCOMPARE(seq.iseqno(), uint8_t(300 % 256));
        QCOMPARE(seq.receive(frame(Cmd::Ping, uint8_t(299))), Sequencer::Verdict::Duplicate);
        QCOMPARE(seq.receive(frame(Cmd::Ping, uint8_t(200))), Sequencer::Verdict::Duplicate);
        QCOMPARE(seq.receive(frame(Cmd::Ping, uint8_t(301))), Sequencer::Verdict::Early);
        // ACKs take no sequence number and are never out of order.
        QCOMPARE(seq.receive(frame(Cmd::Ack, 99)), Sequencer::Verdict::Accept);
        QCOMPARE(seq.iseqno(), uint8_t(300 % 256));

        // Outgoing numbering wraps too, and ACK/INVAL/VNAK do not advance it.
        Sequencer out;
        send(out, 256, 0);
        for (uint8_t command : { Cmd::Ack, Cmd::Inval, Cmd::Vnak }) {
            FullFrame f = frame(command);
            out.stamp(f);
        }
        QCOMPARE(out.oseqno(), uint8_t(0));
    }

    void retransmitsWithGrowingInterval()
    {
        Sequencer::Timing timing;
        timing.firstInterval = ms(100);
        timing.maxInterval = ms(400);
        timing.maxSends = 4;
        Sequencer seq(timing);
        send(seq, 0, 1);
        const Sequencer::TimePoint t0;
        QVERIFY(seq.due(t0 + ms(99)).empty());
        const auto again = seq.due(t0 + ms(100));
        QVERIFY(again.size() == 1 && (again[0][2] & 0x80)); // R bit
        // Next after 200 ms, then 400 (capped), then give up.
        QVERIFY(seq.due(t0 + ms(299)).empty());
        QCOMPARE(seq.due(t0 + ms(300)).size(), size_t(1));
        QVERIFY(seq.due(t0 + ms(699)).empty());
        QCOMPARE(seq.due(t0 + ms(700)).size(), size_t(1));
        QVERIFY(!seq.failed());
        QVERIFY(seq.due(t0 + ms(1100)).empty());
        QVERIFY(seq.failed());
    }

    void acknowledgementAndVnak()
    {
        // Sent near the wrap, so acknowledgement arithmetic crosses it.
        Sequencer seq;
        send(seq, 254, 4);
        QCOMPARE(seq.pending(), size_t(4)); // seqnos 254, 255, 0, 1
        seq.acknowledge(200); // stale: acknowledges nothing
        seq.acknowledge(5); // beyond what was sent: forged
        QCOMPARE(seq.pending(), size_t(4));
        // VNAK asking from 255 resends 255, 0, 1 in order.
        const auto resent = seq.resendFrom(255, Sequencer::TimePoint());
        QCOMPARE(resent.size(), size_t(3));
        QVERIFY(resent[0][8] == 255 && resent[1][8] == 0 && resent[2][8] == 1);
        seq.acknowledge(0); // the peer has 254 and 255
        QCOMPARE(seq.pending(), size_t(2));
        QCOMPARE(seq.receive(frame(Cmd::Ack, 0, 2)), Sequencer::Verdict::Accept);
        QVERIFY(seq.idle());
    }

    void g711RoundTrip()
    {
        // Known code points from G.711: u-law 0xff and a-law 0xd5 are zero.
        QCOMPARE(ulawToLinear(0xff), int16_t(0));
        QCOMPARE(ulawToLinear(0x00), int16_t(-32124));
        QCOMPARE(alawToLinear(0xd5), int16_t(8));
        QCOMPARE(alawToLinear(0xaa), int16_t(32256));
        for (int code = 0; code < 256; ++code) {
            // Decoding then encoding is the identity (except u-law's two zeros).
            if (code != 0x7f)
                QCOMPARE(int(linearToUlaw(ulawToLinear(uint8_t(code)))), code);
            QCOMPARE(int(linearToAlaw(alawToLinear(uint8_t(code)))), code);
        }
    }
};

QTEST_GUILESS_MAIN(TestIax2Frame)
#include "tst_iax2frame.moc"
