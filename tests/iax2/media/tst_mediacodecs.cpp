#include <QtTest>

#include "iax2/media/GsmCodec.h"
#include "iax2/media/MediaCodecs.h"
#include "testsupport/ConsoleCapture.h"
#include "testsupport/SignalTools.h"
#include "iax2/media/SpeexCodec.h"

#include <speex/speex.h>

#include <random>

using namespace iax2;
using namespace signaltools;

Q_DECLARE_METATYPE(iax2::SpeexSettings)

namespace {

SpeexSettings speexSettings(float quality, int cbr, int vbr, int abr, int complexity = 3)
{
    SpeexSettings s;
    s.quality = quality;
    s.cbr = cbr;
    s.vbr = vbr;
    s.abr = abr;
    s.complexity = complexity;
    return s;
}

// Runs pcm through encoder and decoder frame by frame, one frame per payload.
std::vector<int16_t> roundTrip(Codec &enc, Codec &dec, const std::vector<int16_t> &pcm, size_t *bytes = nullptr)
{
    std::vector<int16_t> out;
    size_t total = 0;
    for (size_t at = 0; at + Codec::kFrameSamples <= pcm.size(); at += Codec::kFrameSamples) {
        std::vector<uint8_t> payload;
        enc.encode(pcm.data() + at, payload);
        total += payload.size();
        if (!dec.decode(payload.data(), payload.size(), out))
            return {};
    }
    if (bytes)
        *bytes = total;
    return out;
}

} // namespace

class TestMediaCodecs : public QObject
{
    Q_OBJECT

private slots:
    void factory();
    void toneQuality_data();
    void toneQuality();
    void multiFramePayloads();
    void malformedPayloads_data();
    void malformedPayloads();
    void randomPayloadsNeverCrash();
    void concealment();
};

void TestMediaCodecs::factory()
{
    auto gsm = createMediaCodec(FormatGsm, SpeexSettings());
    QVERIFY(gsm);
    QCOMPARE(gsm->format(), uint32_t(FormatGsm));
    auto speex = createMediaCodec(FormatSpeex, SpeexSettings());
    QVERIFY(speex);
    QCOMPARE(speex->format(), uint32_t(FormatSpeex));
    // G.711 belongs to the protocol side, iLBC has no library, and a mask is not a format.
    for (uint32_t f : { uint32_t(FormatUlaw), uint32_t(FormatAlaw), uint32_t(FormatIlbc), uint32_t(FormatG729),
             uint32_t(FormatGsm | FormatSpeex), 0u })
        QVERIFY2(!createMediaCodec(f, SpeexSettings()), qPrintable(QString::number(f)));
}

void TestMediaCodecs::toneQuality_data()
{
    QTest::addColumn<uint32_t>("format");
    QTest::addColumn<SpeexSettings>("settings");
    QTest::addColumn<double>("minSnr");
    QTest::addColumn<int>("minRate");
    QTest::addColumn<int>("maxRate");

    QTest::newRow("gsm") << uint32_t(FormatGsm) << SpeexSettings() << 30.0 << 13200 << 13200;
    QTest::newRow("speex encoder default") << uint32_t(FormatSpeex) << SpeexSettings() << 28.0 << 15000 << 15400;
    QTest::newRow("speex quality 4") << uint32_t(FormatSpeex) << speexSettings(4.0f, -1, 0, 0) << 18.0 << 7900 << 8100;
    QTest::newRow("speex quality 10") << uint32_t(FormatSpeex) << speexSettings(10.0f, -1, 0, 0) << 32.0 << 20000
                                      << 25000;
    QTest::newRow("speex cbr 11000") << uint32_t(FormatSpeex) << speexSettings(-1.0f, 11000, 0, 0) << 24.0 << 10000
                                     << 11200;
    QTest::newRow("speex cbr beats quality")
        << uint32_t(FormatSpeex) << speexSettings(10.0f, 8000, 0, 0) << 18.0 << 7900 << 8100;
    QTest::newRow("speex vbr") << uint32_t(FormatSpeex) << speexSettings(-1.0f, -1, 1, 0) << 17.0 << 4000 << 16000;
    QTest::newRow("speex vbr quality 4") << uint32_t(FormatSpeex) << speexSettings(4.0f, -1, 1, 0) << 12.0 << 2000
                                         << 9000;
    QTest::newRow("speex abr 8000") << uint32_t(FormatSpeex) << speexSettings(-1.0f, -1, 0, 8000) << 12.0 << 5000
                                    << 10000;
}

void TestMediaCodecs::toneQuality()
{
    QFETCH(uint32_t, format);
    QFETCH(SpeexSettings, settings);
    QFETCH(double, minSnr);
    QFETCH(int, minRate);
    QFETCH(int, maxRate);

    auto enc = createMediaCodec(format, settings);
    auto dec = createMediaCodec(format, settings);
    QVERIFY(enc && dec);
    const auto pcm = toneBursts(1000.0, 8000.0, 3 * 8000);
    size_t bytes = 0;
    const auto out = roundTrip(*enc, *dec, pcm, &bytes);
    QCOMPARE(out.size(), pcm.size());
    // Skip the first 250 ms (encoder and decoder settle), then measure one second (four whole spurts):
    // power within 50 Hz of the tone (its bursts widen it) against everything else.
    const double snr = bandToRestDb(out, 2000, 1000.0, 50.0);
    const int rate = int(bytes * 8 / 3);
    qInfo("signal-to-noise %.1f dB (input %.1f dB) at %d bit/s", snr, bandToRestDb(pcm, 2000, 1000.0, 50.0), rate);
    QVERIFY2(snr >= minSnr, qPrintable(QStringLiteral("SNR %1 dB").arg(snr)));
    QVERIFY2(rate >= minRate && rate <= maxRate, qPrintable(QStringLiteral("rate %1").arg(rate)));
    // The tone keeps its level: no codec halves or doubles it.
    const double gain = db(power(out.data() + 2000, 8000) / power(pcm.data() + 2000, 8000));
    QVERIFY2(std::abs(gain) < 3.0, qPrintable(QStringLiteral("gain %1 dB").arg(gain)));
}

void TestMediaCodecs::multiFramePayloads()
{
    const auto pcm = tone(1000.0, 8000.0, 4 * Codec::kFrameSamples);

    // GSM: frames simply follow each other.
    {
        GsmCodec enc, dec;
        std::vector<uint8_t> payload;
        for (int f = 0; f < 4; ++f)
            enc.encode(pcm.data() + f * Codec::kFrameSamples, payload);
        QCOMPARE(payload.size(), size_t(4 * 33));
        std::vector<int16_t> out { 1, 2 };
        QVERIFY(dec.decode(payload.data(), payload.size(), out));
        QCOMPARE(out.size(), size_t(2 + 4 * Codec::kFrameSamples));
        QCOMPARE(out[0], int16_t(1)); // appended, not replaced
    }
    // Speex: several frames packed bit-contiguously into one payload by a peer.
    {
        void *enc = speex_encoder_init(&speex_nb_mode);
        int quality = 4; // 11 kbit/s: 220 bits, not a whole number of bytes
        speex_encoder_ctl(enc, SPEEX_SET_QUALITY, &quality);
        SpeexBits bits;
        speex_bits_init(&bits);
        for (int f = 0; f < 3; ++f) {
            std::vector<int16_t> frame(
                pcm.begin() + f * Codec::kFrameSamples, pcm.begin() + (f + 1) * Codec::kFrameSamples);
            speex_encode_int(enc, frame.data(), &bits);
        }
        std::vector<char> bytes(size_t(speex_bits_nbytes(&bits)));
        speex_bits_write(&bits, bytes.data(), int(bytes.size()));
        speex_bits_destroy(&bits);
        speex_encoder_destroy(enc);

        SpeexCodec dec;
        std::vector<int16_t> out;
        QVERIFY(dec.decode(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), out));
        QCOMPARE(out.size(), size_t(3 * Codec::kFrameSamples));
    }
}

void TestMediaCodecs::malformedPayloads_data()
{
    QTest::addColumn<uint32_t>("format");
    QTest::addColumn<QByteArray>("payload");

    GsmCodec gsm;
    std::vector<uint8_t> gsmFrame;
    gsm.encode(tone(500.0, 3000.0, 160).data(), gsmFrame);
    const QByteArray gsmBytes(reinterpret_cast<const char *>(gsmFrame.data()), int(gsmFrame.size()));
    QByteArray badMagic = gsmBytes + gsmBytes;
    badMagic[33] = char(0x2f);

    SpeexCodec speex(speexSettings(8.0f, -1, 0, 0));
    std::vector<uint8_t> speexFrame;
    speex.encode(tone(500.0, 3000.0, 160).data(), speexFrame);
    const QByteArray speexBytes(reinterpret_cast<const char *>(speexFrame.data()), int(speexFrame.size()));

    QTest::newRow("gsm empty") << uint32_t(FormatGsm) << QByteArray();
    QTest::newRow("gsm one byte short") << uint32_t(FormatGsm) << gsmBytes.left(32);
    QTest::newRow("gsm one byte over") << uint32_t(FormatGsm) << gsmBytes + 'x';
    QTest::newRow("gsm second frame without signature") << uint32_t(FormatGsm) << badMagic;
    QTest::newRow("gsm zeros") << uint32_t(FormatGsm) << QByteArray(33, '\0');
    QTest::newRow("gsm oversized") << uint32_t(FormatGsm) << gsmBytes.repeated(200);
    QTest::newRow("speex empty") << uint32_t(FormatSpeex) << QByteArray();
    QTest::newRow("speex truncated frame") << uint32_t(FormatSpeex) << speexBytes.left(speexBytes.size() / 2);
    QTest::newRow("speex all ones") << uint32_t(FormatSpeex) << QByteArray(38, '\xff');
    QTest::newRow("speex terminator only") << uint32_t(FormatSpeex) << QByteArray(1, '\x7f');
    QTest::newRow("speex invalid mode") << uint32_t(FormatSpeex) << QByteArray(20, '\x50');
    QTest::newRow("speex oversized") << uint32_t(FormatSpeex) << speexBytes.repeated(300);
}

void TestMediaCodecs::malformedPayloads()
{
    QFETCH(uint32_t, format);
    QFETCH(QByteArray, payload);
    auto codec = createMediaCodec(format, SpeexSettings());
    QVERIFY(codec);
    std::vector<int16_t> out { 7, 7, 7 };
    bool decoded = true;
    // Refused before the library sees it: libspeex would print a line per corrupt frame.
    QCOMPARE(stderrOf([&] {
        decoded = codec->decode(reinterpret_cast<const uint8_t *>(payload.constData()), size_t(payload.size()), out);
    }),
        QByteArray());
    QVERIFY(!decoded);
    QCOMPARE(out, (std::vector<int16_t> { 7, 7, 7 }));
    // A refused payload does not break the decoder for the good ones after it.
    auto enc = createMediaCodec(format, SpeexSettings());
    std::vector<uint8_t> good;
    enc->encode(tone(1000.0, 4000.0, 160).data(), good);
    QVERIFY(codec->decode(good.data(), good.size(), out));
    QCOMPARE(out.size(), size_t(3 + 160));
}

void TestMediaCodecs::randomPayloadsNeverCrash()
{
    std::mt19937 gen(42);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 200);
    for (uint32_t format : { uint32_t(FormatGsm), uint32_t(FormatSpeex) }) {
        auto codec = createMediaCodec(format, SpeexSettings());
        int accepted = 0;
        int wrong = 0; // accepted without whole frames, or refused with output
        const QByteArray printed = stderrOf([&] {
            for (int i = 0; i < 3000; ++i) {
                std::vector<uint8_t> payload(size_t(length(gen)));
                for (auto &b : payload)
                    b = uint8_t(byte(gen));
                std::vector<int16_t> out;
                const bool ok = codec->decode(payload.data(), payload.size(), out);
                accepted += ok ? 1 : 0;
                wrong += ok != (!out.empty() && out.size() % Codec::kFrameSamples == 0) ? 1 : 0;
            }
        });
        QCOMPARE(wrong, 0);
        QVERIFY2(printed.isEmpty(), printed.left(200).constData());
        qInfo("format %u: %d of 3000 random payloads decoded", format, accepted);
    }
}

void TestMediaCodecs::concealment()
{
    const auto pcm = tone(1000.0, 8000.0, 10 * 160);
    for (uint32_t format : { uint32_t(FormatGsm), uint32_t(FormatSpeex) }) {
        auto enc = createMediaCodec(format, SpeexSettings());
        auto dec = createMediaCodec(format, SpeexSettings());
        std::vector<int16_t> out = roundTrip(*enc, *dec, pcm);
        QCOMPARE(out.size(), pcm.size());
        // The first concealed frame carries on the tone, a long loss fades to silence.
        std::vector<int16_t> first;
        dec->conceal(first);
        QCOMPARE(first.size(), size_t(160));
        QVERIFY2(power(first) > 0.1 * power(out, out.size() - 160), qPrintable(QString::number(format)));
        std::vector<int16_t> later;
        for (int i = 0; i < 30; ++i) {
            later.clear();
            dec->conceal(later);
        }
        QCOMPARE(later.size(), size_t(160));
        QVERIFY2(power(later) < 0.01 * power(first), qPrintable(QString::number(format)));
        // And a good frame after the loss decodes normally again.
        std::vector<uint8_t> payload;
        enc->encode(pcm.data(), payload);
        std::vector<int16_t> again;
        QVERIFY(dec->decode(payload.data(), payload.size(), again));
        QCOMPARE(again.size(), size_t(160));
    }
}

QTEST_GUILESS_MAIN(TestMediaCodecs)
#include "tst_mediacodecs.moc"
