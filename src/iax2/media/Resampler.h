#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct SpeexResamplerState_;

namespace iax2 {

// Mono 16-bit sample rate conversion through the speexdsp resampler, e.g.
// between a sound card's 48 kHz and the codecs' 8 kHz. Keeps its filter state
// between calls, so a stream may be fed in pieces of any size.
class Resampler
{
public:
    // Quality 0..10 as speexdsp counts it; 3 is its setting for voice calls.
    Resampler(int inRate, int outRate, int quality = 3);
    ~Resampler();
    Resampler(const Resampler &) = delete;
    Resampler &operator=(const Resampler &) = delete;

    // False when a rate was not positive or speexdsp refused them; process then does nothing.
    bool isValid() const { return m_passThrough || m_state; }
    int inRate() const { return m_inRate; }
    int outRate() const { return m_outRate; }

    // Appends the converted samples of in[0, count) to out.
    void process(const int16_t *in, size_t count, std::vector<int16_t> &out);
    void reset();

private:
    SpeexResamplerState_ *m_state = nullptr;
    int m_inRate;
    int m_outRate;
    bool m_passThrough = false;
};

} // namespace iax2
