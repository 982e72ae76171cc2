#pragma once

#include "iax2/media/Codec.h"

#include <speex/speex_bits.h>

namespace iax2 {

// Speex narrowband through libspeex, tuned by the six user settings. When
// several rate settings are on, ABR wins, then VBR (with the quality as its
// target), then the CBR bit rate, then the plain quality.
class SpeexCodec : public Codec
{
public:
    explicit SpeexCodec(const SpeexSettings &settings = SpeexSettings());
    ~SpeexCodec() override;
    SpeexCodec(const SpeexCodec &) = delete;
    SpeexCodec &operator=(const SpeexCodec &) = delete;

    uint32_t format() const override { return FormatSpeex; }
    // One frame per call, padded to a whole byte with the Speex terminator. Speex
    // packs several frames of one payload bit-contiguously, so send each encoded
    // frame as a payload of its own rather than appending a second one.
    void encode(const int16_t *pcm, std::vector<uint8_t> &out) override;
    // Decodes every frame packed (bit-contiguously) in the payload, up to its terminator.
    bool decode(const uint8_t *data, size_t size, std::vector<int16_t> &out) override;
    // The decoder's own packet loss concealment.
    void conceal(std::vector<int16_t> &out) override;

    // Encoder bit rate in force (bits per second), as the encoder reports it.
    int bitRate() const;

private:
    void *m_encoder = nullptr;
    void *m_decoder = nullptr;
    SpeexBits m_encodeBits;
    SpeexBits m_decodeBits;
    std::vector<int16_t> m_scratch;
};

} // namespace iax2
