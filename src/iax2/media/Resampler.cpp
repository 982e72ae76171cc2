#include "iax2/media/Resampler.h"

#include <speex/speex_resampler.h>

#include <algorithm>

namespace iax2 {

Resampler::Resampler(int inRate, int outRate, int quality)
    : m_inRate(inRate)
    , m_outRate(outRate)
{
    if (inRate <= 0 || outRate <= 0)
        return;
    if (inRate == outRate) {
        m_passThrough = true;
        return;
    }
    int error = 0;
    m_state = speex_resampler_init(1, spx_uint32_t(inRate), spx_uint32_t(outRate), quality, &error);
    if (m_state && error != RESAMPLER_ERR_SUCCESS) {
        speex_resampler_destroy(m_state);
        m_state = nullptr;
    }
    if (m_state)
        speex_resampler_skip_zeros(m_state);
}

Resampler::~Resampler()
{
    if (m_state)
        speex_resampler_destroy(m_state);
}

void Resampler::process(const int16_t *in, size_t count, std::vector<int16_t> &out)
{
    if (m_passThrough) {
        out.insert(out.end(), in, in + count);
        return;
    }
    if (!m_state || count == 0)
        return;
    while (count > 0) {
        // Room for this piece plus the filter's rounding.
        spx_uint32_t inLen = spx_uint32_t(std::min<size_t>(count, 1u << 20));
        spx_uint32_t outLen = spx_uint32_t(uint64_t(inLen) * uint64_t(m_outRate) / uint64_t(m_inRate) + 16);
        const size_t at = out.size();
        out.resize(at + outLen);
        speex_resampler_process_int(m_state, 0, in, &inLen, out.data() + at, &outLen);
        out.resize(at + outLen);
        if (inLen == 0)
            break; // nothing consumed: never spin
        in += inLen;
        count -= inLen;
    }
}

void Resampler::reset()
{
    if (m_state) {
        speex_resampler_reset_mem(m_state);
        speex_resampler_skip_zeros(m_state);
    }
}

} // namespace iax2
