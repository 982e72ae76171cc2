#include <QtTest>

#include "iax2/media/AudioFilters.h"
#include "testsupport/SignalTools.h"

using namespace iax2;
using namespace signaltools;

namespace {
constexpr size_t kFrame = AudioFilters::kFrameSamples;

// Runs every frame of in through the capture side; collects the output and the
// voice/silence decisions.
std::vector<int16_t> runCapture(AudioFilters &f, const std::vector<int16_t> &in, std::vector<bool> *voice = nullptr,
    const std::vector<int16_t> *playback = nullptr)
{
    std::vector<int16_t> out(in);
    for (size_t at = 0; at + kFrame <= out.size(); at += kFrame) {
        if (playback)
            f.playback(playback->data() + at);
        const bool v = f.capture(out.data() + at);
        if (voice)
            voice->push_back(v);
    }
    return out;
}

std::vector<int16_t> mix(const std::vector<int16_t> &a, const std::vector<int16_t> &b)
{
    std::vector<int16_t> out(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = int16_t(std::clamp(int(a[i]) + int(b[i]), -32768, 32767));
    return out;
}
} // namespace

class TestAudioFilters : public QObject
{
    Q_OBJECT

private slots:
    void noFiltersLeaveAudioAlone();
    void denoiseLowersNoise();
    void agcRaisesQuietSpeech();
    void analogGainIsSlowAndNeverClips();
    void echoCancellerRemovesThePlayback();
    void comfortNoiseReportsSilence();
};

void TestAudioFilters::noFiltersLeaveAudioAlone()
{
    AudioFilters f;
    const auto in = speechLike(6000.0, 8000);
    std::vector<bool> voice;
    const auto out = runCapture(f, in, &voice);
    QCOMPARE(out, in);
    // Without comfort noise every frame counts as voice: the engine sends them all.
    QVERIFY(std::all_of(voice.begin(), voice.end(), [](bool v) { return v; }));
}

void TestAudioFilters::denoiseLowersNoise()
{
    AudioFilters f;
    f.setMask(FilterDenoise);
    const auto noise = whiteNoise(800.0, 5 * 8000);
    const auto out = runCapture(f, noise);
    // After two seconds of adaptation the hiss is well down...
    const double reduction = db(power(noise, 2 * 8000) / power(out, 2 * 8000));
    qInfo("noise reduced by %.1f dB", reduction);
    QVERIFY2(reduction > 6.0, qPrintable(QString::number(reduction)));

    // ...while speech over the same noise keeps most of its power.
    AudioFilters g;
    g.setMask(FilterDenoise);
    const auto speech = speechLike(8000.0, 5 * 8000);
    const auto noisy = mix(speech, whiteNoise(800.0, 5 * 8000, 7));
    const auto cleaned = runCapture(g, noisy);
    const double speechLoss = db(power(speech, 2 * 8000) / power(cleaned, 2 * 8000));
    qInfo("speech level change %.1f dB", -speechLoss);
    QVERIFY2(speechLoss < 3.0, qPrintable(QString::number(speechLoss)));
}

void TestAudioFilters::agcRaisesQuietSpeech()
{
    AudioFilters f;
    f.setMask(FilterAgc);
    const auto quiet = speechLike(400.0, 8 * 8000);
    const auto out = runCapture(f, quiet);
    const double gain = db(power(out, 5 * 8000) / power(quiet, 5 * 8000));
    qInfo("AGC gain %.1f dB", gain);
    QVERIFY2(gain > 6.0, qPrintable(QString::number(gain)));
}

void TestAudioFilters::analogGainIsSlowAndNeverClips()
{
    AudioFilters f;
    f.setMask(FilterAnalogAgc);
    const auto quiet = speechLike(500.0, 10 * 8000);
    const auto out = runCapture(f, quiet);
    // Slow: the first 200 ms are hardly touched; after ten seconds it has risen.
    const double early = db(power(out.data(), 1600) / power(quiet.data(), 1600));
    const double late = db(power(out, 8 * 8000) / power(quiet, 8 * 8000));
    qInfo("analog gain early %.2f dB, late %.1f dB, factor %.2f", early, late, double(f.inputGain()));
    QVERIFY2(std::abs(early) < 1.0, qPrintable(QString::number(early)));
    QVERIFY2(late > 9.0, qPrintable(QString::number(late)));

    // A sudden loud talker after the gain went up is cut at once, not clipped.
    const auto loud = speechLike(20000.0, 8000);
    const auto loudOut = runCapture(f, loud);
    const int peak = *std::max_element(loudOut.begin(), loudOut.end());
    QVERIFY2(peak < 32767, qPrintable(QString::number(peak)));
    QVERIFY(f.inputGain() < 2.0f);

    // A quiet room's steady hiss is not speech: the gain does not creep up on it.
    AudioFilters hiss;
    hiss.setMask(FilterAnalogAgc);
    runCapture(hiss, whiteNoise(200.0, 10 * 8000));
    QVERIFY2(hiss.inputGain() < 1.2f, qPrintable(QString::number(double(hiss.inputGain()))));
}

void TestAudioFilters::echoCancellerRemovesThePlayback()
{
    AudioFilters f;
    f.setMask(FilterEchoCancel);
    // The far end's voice, heard back by the microphone 10 ms later at half level.
    const size_t n = 8 * 8000;
    const auto far = mix(speechLike(9000.0, n), whiteNoise(1500.0, n, 3));
    std::vector<int16_t> mic(n, 0);
    for (size_t i = 80; i < n; ++i)
        mic[i] = int16_t(far[i - 80] / 2);
    const auto out = runCapture(f, mic, nullptr, &far);
    const double reduction = db(power(mic, 5 * 8000) / power(out, 5 * 8000));
    qInfo("echo reduced by %.1f dB", reduction);
    QVERIFY2(reduction > 10.0, qPrintable(QString::number(reduction)));

    // Near-end speech over no far-end audio passes.
    AudioFilters g;
    g.setMask(FilterEchoCancel);
    const auto near = speechLike(8000.0, 2 * 8000);
    std::vector<int16_t> silence(near.size(), 0);
    const auto kept = runCapture(g, near, nullptr, &silence);
    QVERIFY(db(power(near, 8000) / power(kept, 8000)) < 3.0);
}

void TestAudioFilters::comfortNoiseReportsSilence()
{
    AudioFilters f;
    f.setMask(FilterComfortNoise);
    // Two seconds of low background (about -61 dBFS): silence after a short warm-up,
    // and its level is what a comfort-noise frame carries.
    std::vector<bool> voice;
    runCapture(f, whiteNoise(30.0, 2 * 8000), &voice);
    QVERIFY(std::count(voice.begin() + 20, voice.end(), false) >= 75);
    QVERIFY2(f.noiseLevel() >= 58 && f.noiseLevel() <= 64, qPrintable(QString::number(f.noiseLevel())));

    // Then speech over the same background: its spurts are voice, hangover included.
    voice.clear();
    const auto speech = mix(speechLike(8000.0, 2 * 8000), whiteNoise(30.0, 2 * 8000, 5));
    runCapture(f, speech, &voice);
    const int voiced = int(std::count(voice.begin(), voice.end(), true));
    qInfo("voiced frames in speech: %d of %d", voiced, int(voice.size()));
    QVERIFY(voiced >= int(voice.size()) * 2 / 3);
    // With comfort noise off, the same background is sent as audio.
    f.setMask(0);
    voice.clear();
    runCapture(f, whiteNoise(30.0, 8000), &voice);
    QVERIFY(std::all_of(voice.begin(), voice.end(), [](bool v) { return v; }));
}

QTEST_GUILESS_MAIN(TestAudioFilters)
#include "tst_audiofilters.moc"
