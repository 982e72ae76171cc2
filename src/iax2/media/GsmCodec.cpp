#include "iax2/media/GsmCodec.h"

#include <gsm.h>

namespace iax2 {

namespace {
// A received payload of a hundred GSM frames (2 s) is already far beyond what a
// peer sends in one voice frame; refuse more rather than allocate without bound.
constexpr size_t kMaxFramesPerPayload = 100;
constexpr int kFadeFrames = 5;
} // namespace

GsmCodec::GsmCodec()
    : m_encoder(gsm_create())
    , m_decoder(gsm_create())
{
}

GsmCodec::~GsmCodec()
{
    if (m_encoder)
        gsm_destroy(m_encoder);
    if (m_decoder)
        gsm_destroy(m_decoder);
}

void GsmCodec::encode(const int16_t *pcm, std::vector<uint8_t> &out)
{
    gsm_signal in[kFrameSamples];
    for (int i = 0; i < kFrameSamples; ++i)
        in[i] = pcm[i];
    const size_t at = out.size();
    out.resize(at + kFrameBytes);
    gsm_encode(m_encoder, in, out.data() + at);
}

bool GsmCodec::decode(const uint8_t *data, size_t size, std::vector<int16_t> &out)
{
    if (!data || size == 0 || size % kFrameBytes != 0 || size / kFrameBytes > kMaxFramesPerPayload)
        return false;
    // gsm_decode only checks the signature nibble; check every frame before
    // touching the decoder so a bad payload leaves both out and state alone.
    for (size_t at = 0; at < size; at += kFrameBytes) {
        if ((data[at] >> 4) != GSM_MAGIC)
            return false;
    }
    const size_t frames = size / kFrameBytes;
    const size_t start = out.size();
    out.resize(start + frames * kFrameSamples);
    for (size_t f = 0; f < frames; ++f) {
        gsm_byte frame[kFrameBytes];
        for (size_t i = 0; i < kFrameBytes; ++i)
            frame[i] = data[f * kFrameBytes + i];
        gsm_decode(m_decoder, frame, out.data() + start + f * kFrameSamples);
    }
    const int16_t *last = out.data() + out.size() - kFrameSamples;
    for (int i = 0; i < kFrameSamples; ++i)
        m_last[i] = last[i];
    m_lostInRow = 0;
    return true;
}

void GsmCodec::conceal(std::vector<int16_t> &out)
{
    ++m_lostInRow;
    // Halve the level with each consecutive loss; after kFadeFrames, silence.
    const int divisor = m_lostInRow > kFadeFrames ? 0 : 1 << (m_lostInRow - 1);
    for (int i = 0; i < kFrameSamples; ++i)
        out.push_back(divisor ? static_cast<int16_t>(m_last[i] / divisor) : int16_t(0));
}

} // namespace iax2
