#include "iax2/media/AudioLevel.h"

#include <algorithm>
#include <cmath>

namespace iax2 {

float levelDb(const int16_t *samples, size_t count)
{
    if (!samples || count == 0)
        return kSilenceDb;
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i)
        sum += double(samples[i]) * samples[i];
    const double rms = std::sqrt(sum / double(count));
    if (rms < 1.0)
        return kSilenceDb;
    return std::max(kSilenceDb, float(20.0 * std::log10(rms / 32768.0)));
}

void applyGain(int16_t *samples, size_t count, float gain)
{
    if (gain == 1.0f)
        return;
    if (!(gain > 0.0f)) { // also catches NaN
        std::fill(samples, samples + count, int16_t(0));
        return;
    }
    for (size_t i = 0; i < count; ++i)
        samples[i] = static_cast<int16_t>(std::clamp(std::lround(samples[i] * gain), -32768L, 32767L));
}

bool LevelMeter::add(const int16_t *frame, size_t count, float *level)
{
    m_loudest = std::max(m_loudest, levelDb(frame, count));
    if (++m_frames < m_framesPerReport)
        return false;
    if (level)
        *level = m_loudest;
    reset();
    return true;
}

void LevelMeter::reset()
{
    m_frames = 0;
    m_loudest = kSilenceDb;
}

} // namespace iax2
