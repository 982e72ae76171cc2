#include <QtTest>

#include "iax2/media/GsmCodec.h"
#include "iax2/media/MediaCodecs.h"
#include "iax2/media/SpeexCodec.h"
#include "testsupport/ConsoleCapture.h"
#include "testsupport/SignalTools.h"

#include <speex/speex.h>

using namespace iax2;
using namespace signaltools;

Q_DECLARE_METATYPE(iax2::SpeexSettings)

namespace {

constexpr size_t kFrame = Codec::kFrameSamples;

SpeexSettings speex(float quality, int cbr = -1, int vbr = 0, int abr = 0)
{
    SpeexSettings s;
    s.quality = quality;
    s.cbr = cbr;
    s.vbr = vbr;
    s.abr = abr;
    return s;
}

// Runs pcm through encoder and decoder frame by frame, one frame per payload.
std::vector<int16_t> roundTrip(Codec &enc, Codec &dec, const std::vector<int16_t> &pcm, size_t *bytes = nullptr)
{
    std::vector<int16_t> out;
    for (size_t at = 0; at + kFrame <= pcm.size(); at += kFrame) {
        std::vector<uint8_t> payload;
        enc.encode(pcm.data() + at, payload);
        if (bytes)
            *bytes += payload.size();
        if (!dec.decode(payload.data(), payload.size(), out))
            return {};
    }
    return out;
}

QByteArray encoded(Codec &codec)
{
    std::vector<uint8_t> payload;
    codec.encode(tone(500.0, 3000.0, kFrame).data(), payload);
    return QByteArray(reinterpret_cast<const char *>(payload.data()), int(payload.size()));
}

} // namespace

class TestMediaCodecs : public QObject
{
    Q_OBJECT

private slots:
    void toneQuality_data()
    {
        QTest::addColumn<uint32_t>("format");
        QTest::addColumn<SpeexSettings>("settings");
        QTest::addColumn<double>("minSnr");
        QTest::addColumn<int>("minRate");
        QTest::addColumn<int>("maxRate");
        const uint32_t gsm = FormatGsm, spx = FormatSpeex;
        QTest::newRow("gsm") << gsm << SpeexSettings() << 30.0 << 13200 << 13200;
        QTest::newRow("speex encoder default") << spx << SpeexSettings() << 28.0 << 15000 << 15400;
        QTest::newRow("speex cbr 11000") << spx << speex(-1.0f, 11000) << 24.0 << 10000 << 11200;
        QTest::newRow("speex vbr") << spx << speex(-1.0f, -1, 1) << 17.0 << 4000 << 16000;
        QTest::newRow("speex abr 8000") << spx << speex(-1.0f, -1, 0, 8000) << 12.0 << 5000 << 10000;
    }

    void toneQuality()
    {
        QFETCH(uint32_t, format);
        QFETCH(SpeexSettings, settings);
        QFETCH(double, minSnr);
        QFETCH(int, minRate);
        QFETCH(int, maxRate);
        auto enc = createMediaCodec(format, settings);
        auto dec = createMediaCodec(format, settings);
        QVERIFY(enc && dec && enc->format() == format);
        const auto pcm = toneBursts(1000.0, 8000.0, 3 * 8000);
        size_t bytes = 0;
        const auto out = roundTrip(*enc, *dec, pcm, &bytes);
        QCOMPARE(out.size(), pcm.size());
        // Past the first 250 ms (encoder and decoder settle), one second (four
        // whole spurts): power within 50 Hz of the tone against everything else.
        const double snr = bandToRestDb(out, 2000, 8000, 1000.0, 50.0);
        const int rate = int(bytes * 8 / 3);
        QVERIFY2(snr >= minSnr, qPrintable(QStringLiteral("SNR %1 dB").arg(snr)));
        QVERIFY2(rate >= minRate && rate <= maxRate, qPrintable(QStringLiteral("rate %1").arg(rate)));
        // The tone keeps its level: no codec halves or doubles it.
        const double gain = db(power(out.data() + 2000, 8000) / power(pcm.data() + 2000, 8000));
        QVERIFY2(std::abs(gain) < 3.0, qPrintable(QStringLiteral("gain %1 dB").arg(gain)));
        // G.711 belongs to the protocol side, iLBC has no library, and a mask is not a format.
        for (uint32_t f : { uint32_t(FormatUlaw), uint32_t(FormatIlbc), uint32_t(FormatGsm | FormatSpeex), 0u })
            QVERIFY2(!createMediaCodec(f, settings), qPrintable(QString::number(f)));
    }

    void multiFramePayloads()
    {
        // A peer packs several Speex frames bit-contiguously into one payload
        // (at 11 kbit/s, 220 bits: not a whole number of bytes).
        void *enc = speex_encoder_init(&speex_nb_mode);
        int quality = 4;
        speex_encoder_ctl(enc, SPEEX_SET_QUALITY, &quality);
        SpeexBits bits;
        speex_bits_init(&bits);
        std::vector<int16_t> pcm = tone(1000.0, 8000.0, kFrame);
        for (int f = 0; f < 3; ++f)
            speex_encode_int(enc, pcm.data(), &bits);
        std::vector<char> bytes(size_t(speex_bits_nbytes(&bits)));
        speex_bits_write(&bits, bytes.data(), int(bytes.size()));
        speex_bits_destroy(&bits);
        speex_encoder_destroy(enc);
        SpeexCodec dec;
        std::vector<int16_t> out;
        QVERIFY(dec.decode(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), out));
        QCOMPARE(out.size(), size_t(3 * kFrame));
    }

    void malformedPayloads_data()
    {
        QTest::addColumn<uint32_t>("format");
        QTest::addColumn<QByteArray>("payload");
        GsmCodec gsm;
        const QByteArray gsmFrame = encoded(gsm);
        QByteArray badMagic = gsmFrame + gsmFrame;
        badMagic[33] = char(0x2f);
        SpeexCodec spx(speex(8.0f));
        const QByteArray speexFrame = encoded(spx);
        QTest::newRow("gsm one byte short") << uint32_t(FormatGsm) << gsmFrame.left(32);
        QTest::newRow("gsm second frame without signature") << uint32_t(FormatGsm) << badMagic;
        QTest::newRow("gsm oversized") << uint32_t(FormatGsm) << gsmFrame.repeated(200);
        QTest::newRow("speex truncated frame") << uint32_t(FormatSpeex) << speexFrame.left(speexFrame.size() / 2);
        QTest::newRow("speex invalid mode") << uint32_t(FormatSpeex) << QByteArray(20, '\x50');
        QTest::newRow("speex oversized") << uint32_t(FormatSpeex) << speexFrame.repeated(300);
    }

    void malformedPayloads()
    {
        QFETCH(uint32_t, format);
        QFETCH(QByteArray, payload);
        auto codec = createMediaCodec(format, SpeexSettings());
        std::vector<int16_t> out { 7, 7, 7 };
        bool decoded = true;
        // Refused before the library sees it: libspeex would print a line per corrupt frame.
        const QByteArray printed = stderrOf([&] {
            decoded
                = codec->decode(reinterpret_cast<const uint8_t *>(payload.constData()), size_t(payload.size()), out);
        });
        QCOMPARE(printed, QByteArray());
        QVERIFY(!decoded);
        QCOMPARE(out, (std::vector<int16_t> { 7, 7, 7 }));
        // A refused payload does not break the decoder for the good ones after it.
        auto enc = createMediaCodec(format, SpeexSettings());
        const QByteArray good = encoded(*enc);
        QVERIFY(codec->decode(reinterpret_cast<const uint8_t *>(good.constData()), size_t(good.size()), out));
        QCOMPARE(out.size(), size_t(3 + kFrame));
    }

    void randomPayloadsAndLosses()
    {
        std::mt19937 gen(42);
        for (uint32_t format : { uint32_t(FormatGsm), uint32_t(FormatSpeex) }) {
            // Random payloads decode to whole frames or are refused, quietly.
            auto codec = createMediaCodec(format, SpeexSettings());
            int wrong = 0;
            const QByteArray printed = stderrOf([&] {
                for (int i = 0; i < 3000; ++i) {
                    std::vector<uint8_t> payload(gen() % 201);
                    for (auto &b : payload)
                        b = uint8_t(gen());
                    std::vector<int16_t> out;
                    const bool ok = codec->decode(payload.data(), payload.size(), out);
                    wrong += ok != (!out.empty() && out.size() % kFrame == 0) ? 1 : 0;
                }
            });
            QCOMPARE(wrong, 0);
            QVERIFY2(printed.isEmpty(), printed.left(200).constData());

            // A lost frame carries on the tone, a long loss fades to silence.
            auto enc = createMediaCodec(format, SpeexSettings());
            auto dec = createMediaCodec(format, SpeexSettings());
            const auto pcm = tone(1000.0, 8000.0, 10 * kFrame);
            const std::vector<int16_t> out = roundTrip(*enc, *dec, pcm);
            QCOMPARE(out.size(), pcm.size());
            std::vector<int16_t> first, later;
            dec->conceal(first);
            QCOMPARE(first.size(), kFrame);
            QVERIFY2(power(first) > 0.1 * power(out, out.size() - kFrame), qPrintable(QString::number(format)));
            for (int i = 0; i < 30; ++i) {
                later.clear();
                dec->conceal(later);
            }
            QCOMPARE(later.size(), kFrame);
            QVERIFY2(power(later) < 0.01 * power(first), qPrintable(QString::number(format)));
        }
    }
};

QTEST_GUILESS_MAIN(TestMediaCodecs)
#include "tst_mediacodecs.moc"
