#include <QtTest>

#include "iax2/media/AudioFilters.h"
#include "testsupport/SignalTools.h"

using namespace iax2;
using namespace signaltools;

namespace {

// Runs every frame of in through the capture side of filters with mask (the
// far end's playback beside it, when given); returns the output and the
// voice/silence decisions.
std::vector<int16_t> capture(AudioFilters &f, std::vector<int16_t> in, std::vector<bool> *voice = nullptr,
    const std::vector<int16_t> &playback = {})
{
    for (size_t at = 0; at + AudioFilters::kFrameSamples <= in.size(); at += AudioFilters::kFrameSamples) {
        if (!playback.empty())
            f.playback(playback.data() + at);
        const bool v = f.capture(in.data() + at);
        if (voice)
            voice->push_back(v);
    }
    return in;
}

std::vector<int16_t> capture(int mask, const std::vector<int16_t> &in, const std::vector<int16_t> &playback = {})
{
    AudioFilters f;
    f.setMask(mask);
    return capture(f, in, nullptr, playback);
}

std::vector<int16_t> mix(const std::vector<int16_t> &a, const std::vector<int16_t> &b)
{
    std::vector<int16_t> out(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = int16_t(std::clamp(int(a[i]) + int(b[i]), -32768, 32767));
    return out;
}

// How much louder b is than a from second `from` on, in dB.
double gainDb(const std::vector<int16_t> &a, const std::vector<int16_t> &b, int from)
{
    return db(power(b, size_t(from) * 8000) / power(a, size_t(from) * 8000));
}

} // namespace

class TestAudioFilters : public QObject
{
    Q_OBJECT

private slots:
    void denoiseAgcAndEcho()
    {
        // Denoise: after two seconds of adaptation the hiss is well down, while
        // speech over the same hiss keeps most of its power.
        const auto hiss = whiteNoise(800.0, 5 * 8000);
        QVERIFY2(gainDb(hiss, capture(FilterDenoise, hiss), 2) < -6.0, "hiss");
        const auto speech = speechLike(8000.0, 5 * 8000);
        QVERIFY2(
            gainDb(speech, capture(FilterDenoise, mix(speech, whiteNoise(800.0, 5 * 8000, 7))), 2) > -3.0, "speech");

        // Automatic gain control raises quiet speech.
        const auto quiet = speechLike(400.0, 8 * 8000);
        QVERIFY2(gainDb(quiet, capture(FilterAgc, quiet), 5) > 6.0, "AGC");

        // The echo canceller removes the far end's voice heard back by the
        // microphone 10 ms later at half level, and lets near-end speech pass.
        const size_t n = 8 * 8000;
        const auto far = mix(speechLike(9000.0, n), whiteNoise(1500.0, n, 3));
        std::vector<int16_t> mic(n, 0);
        for (size_t i = 80; i < n; ++i)
            mic[i] = int16_t(far[i - 80] / 2);
        QVERIFY2(gainDb(mic, capture(FilterEchoCancel, mic, far), 5) < -10.0, "echo");
        const auto near = speechLike(8000.0, 2 * 8000);
        QVERIFY2(gainDb(near, capture(FilterEchoCancel, near, std::vector<int16_t>(near.size(), 0)), 1) > -3.0, "near");
    }

    void analogGainRisesAndNeverClips()
    {
        AudioFilters f;
        f.setMask(FilterAnalogAgc);
        const auto quiet = speechLike(500.0, 10 * 8000);
        const auto out = capture(f, quiet);
        QVERIFY2(gainDb(quiet, out, 8) > 9.0, qPrintable(QString::number(gainDb(quiet, out, 8))));
        // A sudden loud talker after the gain went up is cut at once, not clipped.
        const auto loud = capture(f, speechLike(20000.0, 8000));
        QVERIFY(*std::max_element(loud.begin(), loud.end()) < 32767);
        QVERIFY(f.inputGain() < 2.0f);
    }

    void comfortNoiseReportsSilence()
    {
        AudioFilters f;
        f.setMask(FilterComfortNoise);
        // Two seconds of low background (about -61 dBFS): silence after a short
        // warm-up, and its level is what a comfort-noise frame carries.
        std::vector<bool> voice;
        capture(f, whiteNoise(30.0, 2 * 8000), &voice);
        QVERIFY(std::count(voice.begin() + 20, voice.end(), false) >= 75);
        QVERIFY2(f.noiseLevel() >= 58 && f.noiseLevel() <= 64, qPrintable(QString::number(f.noiseLevel())));
        // Then speech over the same background: its spurts are voice, hangover included.
        voice.clear();
        capture(f, mix(speechLike(8000.0, 2 * 8000), whiteNoise(30.0, 2 * 8000, 5)), &voice);
        QVERIFY(std::count(voice.begin(), voice.end(), true) >= int(voice.size()) * 2 / 3);
        // With every filter off, the same background is sent as it is, all as voice.
        f.setMask(0);
        voice.clear();
        const auto background = whiteNoise(30.0, 8000);
        QCOMPARE(capture(f, background, &voice), background);
        QVERIFY(std::all_of(voice.begin(), voice.end(), [](bool v) { return v; }));
    }
};

QTEST_GUILESS_MAIN(TestAudioFilters)
#include "tst_audiofilters.moc"
