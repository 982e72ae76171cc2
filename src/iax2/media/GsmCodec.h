#pragma once

#include "iax2/media/Codec.h"

struct gsm_state;

namespace iax2 {

// GSM 06.10 full rate through libgsm: 33 bytes per 160 samples.
class GsmCodec : public Codec
{
public:
    static constexpr size_t kFrameBytes = 33;

    GsmCodec();
    ~GsmCodec() override;
    GsmCodec(const GsmCodec &) = delete;
    GsmCodec &operator=(const GsmCodec &) = delete;

    uint32_t format() const override { return FormatGsm; }
    void encode(const int16_t *pcm, std::vector<uint8_t> &out) override;
    // A payload is any whole number of frames; anything else, or a frame
    // without the GSM signature nibble, is refused.
    bool decode(const uint8_t *data, size_t size, std::vector<int16_t> &out) override;
    // libgsm has no loss concealment: repeat the last good frame, fading out
    // over a few losses so a long gap turns into silence instead of a buzz.
    void conceal(std::vector<int16_t> &out) override;

private:
    ::gsm_state *m_encoder = nullptr;
    ::gsm_state *m_decoder = nullptr;
    int16_t m_last[kFrameSamples] = {};
    int m_lostInRow = 0;
};

} // namespace iax2
