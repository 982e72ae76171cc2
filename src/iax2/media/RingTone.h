#pragma once

#include <cstdint>
#include <vector>

namespace iax2 {

// The ring tone of an incoming call: a one-second two-note chime, then silence,
// repeating every four seconds. Generated once, handed out in frames of 160
// samples at 8 kHz, the pace at which the engine writes to the ring device.
class RingTone
{
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kFrameSamples = 160;
    static constexpr int kToneMs = 1000;
    static constexpr int kPeriodMs = 4000;
    static constexpr int kPeriodFrames = kPeriodMs * kSampleRate / 1000 / kFrameSamples;
    static constexpr int kToneFrames = kToneMs * kSampleRate / 1000 / kFrameSamples;
    // The two notes, a falling major third.
    static constexpr double kFirstHz = 659.25;
    static constexpr double kSecondHz = 523.25;

    RingTone();

    // The next frame of the cycle; the cycle starts with the tone.
    void nextFrame(int16_t *frame);
    // Back to the start of the tone (a new incoming call).
    void reset() { m_frame = 0; }

    // One burst of the tone, kToneFrames frames long.
    const std::vector<int16_t> &tone() const { return m_tone; }

private:
    std::vector<int16_t> m_tone;
    int m_frame = 0;
};

} // namespace iax2
