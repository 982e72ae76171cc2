#include "iax2/media/RingTone.h"

#include <algorithm>
#include <cmath>

namespace iax2 {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kAmplitude = 12000.0; // about -9 dBFS at the strike: audible, not harsh
constexpr double kAttackSeconds = 0.005;
constexpr double kDecayPerSecond = 4.0;
constexpr double kFadeOutSeconds = 0.03;

// A struck note: a fundamental with a softer octave, quick attack, exponential
// decay, and a short fade so the note ends on zero without a click.
double note(double hz, double t, double length)
{
    if (t < 0.0 || t >= length)
        return 0.0;
    double envelope = std::exp(-kDecayPerSecond * t);
    if (t < kAttackSeconds)
        envelope *= t / kAttackSeconds;
    if (length - t < kFadeOutSeconds)
        envelope *= (length - t) / kFadeOutSeconds;
    return envelope * (std::sin(2 * kPi * hz * t) + 0.3 * std::sin(4 * kPi * hz * t)) / 1.3;
}
} // namespace

RingTone::RingTone()
{
    const int samples = kToneFrames * kFrameSamples;
    m_tone.resize(size_t(samples));
    const double half = kToneMs / 2000.0;
    for (int i = 0; i < samples; ++i) {
        const double t = double(i) / kSampleRate;
        const double v = note(kFirstHz, t, half) + note(kSecondHz, t - half, half);
        m_tone[size_t(i)] = static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * kAmplitude));
    }
}

void RingTone::nextFrame(int16_t *frame)
{
    if (m_frame < kToneFrames) {
        const auto begin = m_tone.begin() + m_frame * kFrameSamples;
        std::copy(begin, begin + kFrameSamples, frame);
    } else {
        std::fill(frame, frame + kFrameSamples, int16_t(0));
    }
    m_frame = (m_frame + 1) % kPeriodFrames;
}

} // namespace iax2
