// CPU time per call-second of one call's media path: capture filters (all five
// on), encode, decode and the echo reference, on 20 ms frames of a speech-like
// signal over background noise. Target: under 2 % of one core per call.

#include "iax2/media/AudioFilters.h"
#include "iax2/media/Codec.h"
#include "iax2/media/JitterBuffer.h"
#include "iax2/media/MediaCodecs.h"
#include "iax2/media/Resampler.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

using namespace iax2;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSeconds = 60;
constexpr int kFrames = kSeconds * 50;
constexpr int kAllFilters = FilterDenoise | FilterAgc | FilterEchoCancel | FilterAnalogAgc | FilterComfortNoise;

double threadCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Syllables of a gliding voice over a faint hiss.
std::vector<int16_t> makeSignal(size_t samples)
{
    std::mt19937 gen(1);
    std::normal_distribution<double> noise(0.0, 60.0);
    std::vector<int16_t> v(samples);
    double phase = 0.0;
    for (size_t i = 0; i < samples; ++i) {
        const double t = double(i) / 8000.0;
        phase += 2 * kPi * (140.0 + 40.0 * std::sin(2 * kPi * 1.3 * t)) / 8000.0;
        const double envelope = std::fmod(t, 0.3) < 0.2 ? std::sin(kPi * std::fmod(t, 0.3) / 0.2) : 0.0;
        double s = 0.0;
        for (int h = 1; h <= 6; ++h)
            s += std::sin(h * phase) / h;
        v[i] = int16_t(std::clamp(5000.0 * envelope * s + noise(gen), -32768.0, 32767.0));
    }
    return v;
}

struct Result
{
    double cpuSeconds = 0.0;
    size_t bytes = 0;
    int silentFrames = 0;
};

// One call: the near end's microphone through filters and encoder, the far end's
// payloads through jitter buffer and decoder to the speaker (and the echo reference).
Result runCall(
    uint32_t format, const SpeexSettings &speex, const std::vector<int16_t> &mic, const std::vector<int16_t> &farEnd)
{
    auto encoder = createMediaCodec(format, speex);
    auto decoder = createMediaCodec(format, speex);
    auto farEncoder = createMediaCodec(format, speex);
    // The far end's payloads are made before the clock starts: they are the network's.
    std::vector<std::vector<uint8_t>> incoming(kFrames);
    for (int f = 0; f < kFrames; ++f)
        farEncoder->encode(farEnd.data() + size_t(f) * 160, incoming[size_t(f)]);

    AudioFilters filters;
    filters.setMask(kAllFilters);
    JitterBuffer jitter(40);
    std::vector<uint8_t> payload;
    int16_t frame[160], speaker[160];
    Result r;
    const double start = threadCpuSeconds();
    for (int f = 0; f < kFrames; ++f) {
        jitter.put(uint32_t(f * 20), incoming[size_t(f)].data(), incoming[size_t(f)].size());
        jitter.get(*decoder, speaker);
        filters.playback(speaker);

        std::copy(mic.begin() + f * 160, mic.begin() + (f + 1) * 160, frame);
        if (filters.capture(frame)) {
            payload.clear();
            encoder->encode(frame, payload);
            r.bytes += payload.size();
        } else {
            ++r.silentFrames;
        }
    }
    r.cpuSeconds = threadCpuSeconds() - start;
    return r;
}

void report(const char *name, const Result &r)
{
    const double percent = r.cpuSeconds / kSeconds * 100.0;
    std::printf("%-34s %7.3f ms CPU per call-second  %5.2f %% of one core  %s\n", name,
        r.cpuSeconds * 1000.0 / kSeconds, percent, percent < 2.0 ? "ok" : "OVER 2 %");
}

} // namespace

int main()
{
    std::printf("media path per call, all filters on (mask %d), %d s of 20 ms frames, %s build\n", kAllFilters,
        kSeconds, QUOR_BUILD_TYPE);
    const auto mic = makeSignal(size_t(kFrames) * 160);
    auto farEnd = makeSignal(size_t(kFrames) * 160 + 1200);
    farEnd.erase(farEnd.begin(), farEnd.begin() + 1200); // a different talker phase

    SpeexSettings encoderDefault;
    SpeexSettings settingsDefault; // what the settings hand over with "Use Speex defaults"
    settingsDefault.abr = 8000;
    report("GSM", runCall(FormatGsm, SpeexSettings(), mic, farEnd));
    report("Speex (encoder default)", runCall(FormatSpeex, encoderDefault, mic, farEnd));
    report("Speex (settings default, ABR 8k)", runCall(FormatSpeex, settingsDefault, mic, farEnd));

    // The sound card side at 48 kHz: both directions converted, per call-second.
    Resampler down(48000, 8000), up(8000, 48000);
    std::vector<int16_t> device(960, 0), out;
    out.reserve(2048);
    const double start = threadCpuSeconds();
    for (int f = 0; f < kFrames; ++f) {
        out.clear();
        down.process(device.data(), device.size(), out);
        out.clear();
        up.process(mic.data() + size_t(f) * 160, 160, out);
    }
    Result rs;
    rs.cpuSeconds = threadCpuSeconds() - start;
    report("resampling 48 kHz <-> 8 kHz", rs);
    return 0;
}
