#pragma once

#include <cstddef>
#include <cstdint>

namespace iax2 {

// Level of a block of samples in dBFS (RMS against full scale), kSilenceDb for silence.
constexpr float kSilenceDb = -99.0f;
float levelDb(const int16_t *samples, size_t count);

// Multiplies in place, saturating at the 16-bit limits; gain 0 mutes.
void applyGain(int16_t *samples, size_t count, float gain);

// Collects frames and hands out one level about every 100 ms: the loudest frame
// of the period, so a short word still moves the meter.
class LevelMeter
{
public:
    explicit LevelMeter(int framesPerReport = 5)
        : m_framesPerReport(framesPerReport > 0 ? framesPerReport : 1)
    {
    }

    // Returns true and sets level when a period is complete.
    bool add(const int16_t *frame, size_t count, float *level);
    void reset();

private:
    int m_framesPerReport;
    int m_frames = 0;
    float m_loudest = kSilenceDb;
};

} // namespace iax2
